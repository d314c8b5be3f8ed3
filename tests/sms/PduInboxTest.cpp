// The inbox in PDU mode: the AT+CMGL=4 listing read from the hostile side (bad hex, lengths that
// disagree, PDUs the decoder refuses, positions listed twice, status reports), concatenated parts
// joined (out of order, twice, same reference from two senders, UCS-2), the day-long wait for a
// missing part on an injected clock and across a new reader, and deletions that stop half-way.
// PDUs come from the simulator's own encoder.
#include "SimPdu.h"
#include "SmsBench.h"
#include "sms/PduInboxListing.h"
#include "sms/SmsInbox.h"
#include "sms/SmsStation.h"
#include "store/SmsModeSettings.h"

#include <gtest/gtest.h>

#include <deque>

#include <QSet>
#include <QTimeZone>
#include <QTimer>

#include <map>

namespace {

using modemsim::DeliverSpec;

const QDateTime kT0(QDate(2026, 12, 9), QTime(12, 0), QTimeZone(0));

DeliverSpec message(const std::string& sender, const std::string& text, bool ucs2 = false) {
    DeliverSpec d;
    d.sender = sender;
    d.text = text;
    d.ucs2 = ucs2;
    return d;
}

DeliverSpec part(DeliverSpec d, int reference, int total, int sequence) {
    d.concatenated = true;
    d.reference = reference;
    d.total = total;
    d.sequence = sequence;
    return d;
}

struct Listed {
    int stat = 0;
    QByteArray hex;
    int length = 0;
};

Listed listed(const DeliverSpec& d, int stat = 0) {
    int length = 0;
    const std::string hex = modemsim::encodeDeliverPdu(d, &length);
    return {stat, QByteArray::fromStdString(hex), length};
}

// A modem in PDU mode answering from its memory; AT+CMGD removes a position unless told to refuse it.
struct PduModem {
    explicit PduModem(ResponseHandler& h) : handler(h) {}
    ResponseHandler& handler;
    int piece = 0;
    int lateMs = 0; // a slow modem
    std::deque<QByteArray> queue;
    std::map<int, Listed> memory;
    QSet<int> refuseDelete;
    QByteArray listingError; // when set, the answer to AT+CMGL=4
    bool textOnly = false;   // AT+CMGF=0 is refused
    QByteArrayList commands;

    SmsInbox::Port port() {
        return {[] { return true; }, [this](const QByteArray& bytes) { answer(bytes); }};
    }
    QByteArray listing() const {
        if (!listingError.isEmpty())
            return listingError;
        QByteArray out;
        for (const auto& [index, m] : memory)
            out += "\r\n+CMGL: " + QByteArray::number(index) + "," + QByteArray::number(m.stat) + ",," +
                   QByteArray::number(m.length) + "\r\n" + m.hex;
        return out + "\r\n\r\nOK\r\n";
    }
    QByteArray deletion(const QByteArray& index) {
        const int n = index.toInt();
        if (refuseDelete.contains(n) || !memory.count(n))
            return "\r\n+CMS ERROR: 321\r\n";
        memory.erase(n);
        return "\r\nOK\r\n";
    }
    void answer(const QByteArray& bytes) {
        const QByteArray cmd = bytes.trimmed();
        commands << cmd;
        QByteArray reply = "\r\nOK\r\n";
        if (cmd == "AT+CMGF=0" && textOnly)
            reply = "\r\nERROR\r\n";
        else if (cmd == "AT+CMGL=4")
            reply = listing();
        else if (cmd.startsWith("AT+CMGD="))
            reply = deletion(cmd.mid(8));
        // Answers leave in the order of their commands, each `lateMs` after the one before.
        queue.push_back(cmd + "\r" + reply);
        QTimer::singleShot(lateMs * int(queue.size()), [this] {
            const QByteArray all = queue.front();
            queue.pop_front();
            const int step = piece == 0 ? int(all.size()) : piece;
            for (int at = 0; at < all.size(); at += step)
                handler.feed(all.mid(at, step));
        });
    }
    QByteArrayList deletes() const {
        QByteArrayList out;
        for (const QByteArray& c : commands)
            if (c.startsWith("AT+CMGD="))
                out << c;
        return out;
    }
    QList<int> positions() const {
        QList<int> out;
        for (const auto& entry : memory)
            out << entry.first;
        return out;
    }
};

struct PduReading {
    TempDataDir data;
    StoreLocation::Kind store = StoreLocation::Kind::Sqlite; // the store start() opens
    InboxMode mode;
    SlotState state;
    ResponseHandler handler{1, state, &mode};
    PduModem modem{handler};
    std::unique_ptr<SmsInbox> inbox;
    QDateTime now = kT0;
    std::optional<int> stored;
    QStringList log;
    QList<int> reports;

    bool start() { return data.start(store).ok && renew(); }
    // A new reader on the same database, as after a restart of the program.
    bool renew() {
        inbox = std::make_unique<SmsInbox>(data.ado.get(), &mode);
        inbox->setPort(modem.port());
        inbox->setSettle(0);
        inbox->setPduMode([] { return true; });
        inbox->setClock([this] { return now; });
        QObject::connect(inbox.get(), &SmsInbox::readingEnded, [this](int n, bool) { stored = n; });
        QObject::connect(inbox.get(), &SmsInbox::logLine, [this](const QString& l) { log << l; });
        QObject::connect(inbox.get(), &SmsInbox::statusReportListed,
                         [this](int index, const QByteArray&, int) { reports << index; });
        return true;
    }
    bool read() {
        stored.reset();
        modem.commands.clear();
        if (inbox->readModemInbox() != SmsInbox::Start::Started)
            return false;
        return SmsBench::waitUntil([this] { return stored.has_value(); }, 60000);
    }
    QStringList column(const char* sql) {
        QSqlQuery q(data.ado->database());
        q.exec(QString::fromLatin1(sql));
        QStringList values;
        while (q.next())
            values << q.value(0).toString();
        return values;
    }
    QStringList rows() {
        return column("SELECT FONE || '|' || SMS || '|' || COALESCE(RECEBIDO, '') FROM dbSMS ORDER BY ID");
    }
};

// A text of n characters that needs UCS-2 ("ç" is not in the GSM alphabet).
std::string portuguese(int n) {
    const std::string letters[] = {"a", "ç", "ã", "õ", "é", " "};
    std::string out;
    for (int i = 0; i < n; ++i)
        out += letters[i % 6];
    return out;
}

} // namespace

TEST(PduInboxListing, EntriesOfHostileAnswers) {
    struct Case {
        const char* name;
        QByteArray answer;
        QList<int> indices;
        QList<int> lengths;
        QList<QByteArray> hex;
    };
    const Case cases[] = {
        {"empty", "AT+CMGL=4\r\r\nOK\r\n", {}, {}, {}},
        {"two", "\r\n+CMGL: 1,0,,5\r\nAABB\r\n+CMGL: 12,1,,7\r\nCC\r\n\r\nOK\r\n", {1, 12}, {5, 7}, {"AABB", "CC"}},
        {"nameWithCommas", "\r\n+CMGL: 3,1,\"Ana, Bia\",9\r\nDD\r\n\r\nOK\r\n", {3}, {9}, {"DD"}},
        {"headerWithoutPdu", "\r\n+CMGL: 4,0,,9\r\n\r\nOK\r\n", {4}, {9}, {""}},
        {"headerThenHeader", "\r\n+CMGL: 4,0,,9\r\n+CMGL: 5,0,,2\r\nEE\r\n", {4, 5}, {9, 2}, {"", "EE"}},
        {"unreadableIndex", "\r\n+CMGL: x,0,,9\r\nFF\r\n+CMGL: 999999,0,,9\r\nFF\r\n", {-1, -1}, {9, 9}, {"FF", "FF"}},
        {"tooFewItems", "\r\n+CMGL: 7\r\nFF\r\n", {-1}, {-1}, {"FF"}},
        {"bareLf", "\n+CMGL: 2,0,,3\nABCDEF\nOK\n", {2}, {3}, {"ABCDEF"}},
        // Unsolicited lines a modem sends while it lists: a delivery report and its PDU, announcements.
        {"reportBetweenHeaderAndPdu", "\r\n+CMGL: 1,0,,5\r\n+CDS: 2\r\n0011\r\nAABB\r\n\r\nOK\r\n", {1}, {5}, {"AABB"}},
        {"reportBetweenEntries",
         "\r\n+CMGL: 1,0,,5\r\nAABB\r\n\r\n+CDS: 2\r\n\r\n0011\r\n+CMGL: 2,0,,3\r\nCC\r\nOK\r\n",
         {1, 2},
         {5, 3},
         {"AABB", "CC"}},
        {"announcementsAfterHeader",
         "\r\n+CMGL: 3,0,,5\r\n+CDSI: \"SR\",4\r\n+CMTI: \"SM\",9\r\nDD\r\nOK\r\n",
         {3},
         {5},
         {"DD"}},
    };
    for (const Case& c : cases) {
        const QList<PduInboxListing::Entry> got = PduInboxListing::entries(c.answer);
        ASSERT_EQ(got.size(), c.indices.size()) << c.name;
        for (qsizetype i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].index, c.indices[i]) << c.name << " #" << i;
            EXPECT_EQ(got[i].length, c.lengths[i]) << c.name << " #" << i;
            EXPECT_EQ(got[i].hex, c.hex[i]) << c.name << " #" << i;
        }
    }
}

TEST(PduInboxListing, SortRefusesWhatCannotBeTaken) {
    const Listed good = listed(message("+5511911110001", "bom dia"));
    const Listed twin = listed(message("+5511911110002", "outro"));
    modemsim::StatusReportSpec report;
    report.recipient = "+5511911110003";
    int reportLength = 0;
    const QByteArray reportHex = QByteArray::fromStdString(modemsim::encodeStatusReportPdu(report, &reportLength));
    QByteArray badHex = good.hex;
    badHex[4] = 'G';
    auto entry = [](int index, int stat, int length, const QByteArray& hex) {
        PduInboxListing::Entry e;
        e.index = index;
        e.stat = stat;
        e.length = length;
        e.hex = hex;
        return e;
    };
    const QList<PduInboxListing::Entry> entries{
        entry(1, 0, good.length, good.hex),          // taken
        entry(2, 0, good.length, badHex),            // not hex
        entry(3, 0, good.length + 1, good.hex),      // the modem's length disagrees
        entry(4, 0, good.length, good.hex.left(30)), // truncated
        entry(5, 0, twin.length, twin.hex),          // listed twice
        entry(5, 1, twin.length, twin.hex),
        entry(6, 0, reportLength, reportHex), // a status report: set aside
        entry(7, 3, good.length, "00"),       // an outgoing message the modem keeps: ignored
        entry(-1, 0, good.length, good.hex),  // no position
    };
    const PduInboxListing::Sorted s = PduInboxListing::sort(entries);
    ASSERT_EQ(s.parts.size(), 1);
    EXPECT_EQ(s.parts[0].index, 1);
    EXPECT_EQ(s.parts[0].sender, "+5511911110001");
    EXPECT_EQ(s.parts[0].text, "bom dia");
    QList<int> refused;
    for (const auto& r : s.refused) {
        refused << r.index;
        EXPECT_FALSE(r.reason.isEmpty()) << r.index;
    }
    EXPECT_EQ(refused, (QList<int>{2, 3, 4, 5, 5, -1}));
    ASSERT_EQ(s.reports.size(), 1);
    EXPECT_EQ(s.reports[0].index, 6);
}

TEST(PduInboxListing, CodigoKeepsWholePositionsWithinItsColumn) {
    EXPECT_EQ(PduInboxListing::codigo({3, 10, 7}), "3,10,7");
    QList<int> many;
    for (int i = 100; i < 120; ++i)
        many << i;
    const QString cut = PduInboxListing::codigo(many);
    EXPECT_LE(cut.size(), 50);
    EXPECT_EQ(PduInboxListing::indices(cut), many.mid(0, 12)); // 12 × "1xx," = 47 characters, and no half number
    EXPECT_TRUE(PduInboxListing::indices("1,x").isEmpty());
    EXPECT_EQ(PduInboxListing::stampText(QDateTime(QDate(2026, 12, 9), QTime(10, 20, 30), QTimeZone(-3 * 3600))),
              "09/12/2026 10:20:30");
}

class PduInboxOnStore : public StoreParam {};

TEST_P(PduInboxOnStore, ReadingsJoinStoreAndDelete) {
    const std::string ucs2Text = portuguese(100);
    DeliverSpec longUcs2 = message("+5511911110001", ucs2Text, true);
    longUcs2.reference = 7;
    longUcs2.concatenated = true;
    const std::vector<DeliverSpec> twoUcs2 = modemsim::splitForDelivery(longUcs2);
    ASSERT_EQ(twoUcs2.size(), 2u);
    const DeliverSpec a = message("+5511911110002", "Ola ");
    const DeliverSpec b = message("+5511911110003", "Oi ");
    struct Case {
        const char* name;
        std::map<int, Listed> memory;
        QStringList rows;
        QList<int> left;
    };
    const QString recebido = QStringLiteral("|2026-12-09 10:20:30");
    const std::vector<Case> cases{
        {"single", {{3, listed(message("+5511911110009", "Bom dia"))}}, {"+5511911110009|Bom dia" + recebido}, {}},
        {"nationalAndAlphanumeric",
         {{1, listed(message("11911110009", "um"))}, {2, listed(message("Banco", "dois"))}},
         {"11911110009|um" + recebido, "Banco|dois" + recebido},
         {}},
        {"twoPartUcs2",
         {{4, listed(twoUcs2[0])}, {9, listed(twoUcs2[1])}},
         {"+5511911110001|" + QString::fromStdString(ucs2Text) + recebido},
         {}},
        {"outOfOrder",
         {{1, listed(part(a, 5, 3, 3))}, {2, listed(part(a, 5, 3, 1))}, {3, listed(part(a, 5, 3, 2))}},
         {"+5511911110002|Ola Ola Ola " + recebido},
         {}},
        {"duplicatePart",
         {{1, listed(part(a, 5, 2, 1))}, {2, listed(part(a, 5, 2, 1))}, {3, listed(part(a, 5, 2, 2))}},
         {"+5511911110002|Ola Ola " + recebido},
         {}},
        {"sameReferenceTwoSenders",
         {{1, listed(part(a, 9, 2, 1))},
          {2, listed(part(b, 9, 2, 1))},
          {3, listed(part(b, 9, 2, 2))},
          {4, listed(part(a, 9, 2, 2))}},
         {"+5511911110002|Ola Ola " + recebido, "+5511911110003|Oi Oi " + recebido},
         {}},
        {"missingPartWaits",
         {{1, listed(part(a, 5, 2, 1))}, {2, listed(message("+551", "so"))}},
         {"+551|so" + recebido},
         {1}},
    };
    // Whole, in pieces, and from a slow modem whose "OK" to AT+CMGF=0 must not end the listing.
    const std::pair<int, int> deliveries[] = {{0, 0}, {7, 0}, {7, 30}};
    for (const auto& [piece, late] : deliveries) {
        for (const Case& c : cases) {
            PduReading r;
            r.store = GetParam();
            ASSERT_TRUE(r.start());
            r.modem.piece = piece;
            r.modem.lateMs = late;
            r.modem.memory = c.memory;
            ASSERT_TRUE(r.read()) << c.name;
            EXPECT_FALSE(r.mode.on) << c.name;
            EXPECT_EQ(r.modem.commands.mid(0, 2), (QByteArrayList{"AT+CMGF=0", "AT+CMGL=4"})) << c.name;
            EXPECT_EQ(r.rows(), c.rows) << c.name << " " << piece;
            EXPECT_EQ(*r.stored, c.rows.size()) << c.name;
            EXPECT_EQ(r.modem.positions(), c.left) << c.name << " " << piece;
            EXPECT_TRUE(r.column("SELECT CODIGO FROM dbSMS_BUFFER").isEmpty()) << c.name;
            EXPECT_TRUE(r.inbox->lastError().isEmpty()) << c.name;
        }
    }
}

// A PDU the program cannot take stays on the modem, said once per program run however often the
// clock reads; the good message beside it is stored; a status report is handed on, not stored.
TEST(PduInbox, RefusedPdusStayAndAreLoggedOnce) {
    PduReading r;
    ASSERT_TRUE(r.start());
    const Listed good = listed(message("+5511911110001", "fica"));
    Listed badHex = good;
    badHex.hex[6] = 'Z';
    Listed badLength = good;
    badLength.length += 3;
    modemsim::StatusReportSpec report;
    report.recipient = "+5511911110003";
    Listed reportPdu;
    reportPdu.hex = QByteArray::fromStdString(modemsim::encodeStatusReportPdu(report, &reportPdu.length));
    r.modem.memory = {{1, badHex}, {2, badLength}, {3, good}, {4, reportPdu}};
    for (int reading = 0; reading < 3; ++reading) {
        ASSERT_TRUE(r.read());
        EXPECT_EQ(r.modem.deletes(), reading == 0 ? QByteArrayList{"AT+CMGD=3"} : QByteArrayList{}) << reading;
    }
    EXPECT_EQ(r.modem.positions(), (QList<int>{1, 2, 4}));
    EXPECT_EQ(r.rows(), QStringList{"+5511911110001|fica|2026-12-09 10:20:30"});
    EXPECT_EQ(r.log.filter("NÃO PÔDE SER LIDO (MANTIDO NO MODEM)").size(), 2) << r.log.join('\n').toStdString();
    EXPECT_EQ(r.log.filter("SMS 2 NÃO PÔDE SER LIDO").size(), 1);
    EXPECT_EQ(r.reports, (QList<int>{4, 4, 4}));
}

// A part that never comes: the others stay on the modem for a day counted from the first reading
// that saw them (kept in the database, so a new reader goes on counting), then what arrived is
// stored with "[parte faltando]" in the gap. A clock set back does not stretch the wait for ever.
TEST_P(PduInboxOnStore, MissingPartWaitsADayAcrossRestarts) {
    const DeliverSpec a = message("+5511911110002", "A");
    PduReading r;
    r.store = GetParam();
    ASSERT_TRUE(r.start());
    r.modem.memory = {{1, listed(part(a, 5, 3, 1))}, {2, listed(part(a, 5, 3, 3))}};
    struct Step {
        qint64 secs;
        bool restart;
        int stored;
    };
    const Step steps[] = {{0, false, 0}, {3600, true, 0}, {24 * 3600 - 1, true, 0}, {24 * 3600, false, 1}};
    for (const Step& s : steps) {
        if (s.restart) {
            ASSERT_TRUE(r.renew());
        }
        r.now = kT0.addSecs(s.secs);
        ASSERT_TRUE(r.read()) << s.secs;
        EXPECT_EQ(*r.stored, s.stored) << s.secs;
    }
    EXPECT_EQ(r.rows(), QStringList{"+5511911110002|A[parte faltando]A|2026-12-09 10:20:30"});
    EXPECT_TRUE(r.modem.positions().isEmpty());
    // Its first-seen time is kept until a listing no longer shows its parts (a refused deletion
    // would otherwise restart the wait and the message be stored a second time a day later).
    EXPECT_EQ(r.column("SELECT COUNT(*) FROM dbSMS_PARTE"), QStringList{"1"});
    ASSERT_TRUE(r.read());
    EXPECT_TRUE(r.column("SELECT VISTO FROM dbSMS_PARTE").isEmpty());

    // Seen "tomorrow" by a clock that was wrong, then read with the right time: the wait starts again.
    r.modem.memory = {{5, listed(part(a, 6, 2, 1))}};
    r.now = kT0.addDays(2);
    ASSERT_TRUE(r.read());
    r.now = kT0.addDays(1);
    ASSERT_TRUE(r.read());
    EXPECT_EQ(r.column("SELECT VISTO FROM dbSMS_PARTE"), QStringList{kT0.addDays(1).toUTC().toString(Qt::ISODate)});
    r.now = kT0.addDays(2).addSecs(-1);
    ASSERT_TRUE(r.read());
    EXPECT_EQ(*r.stored, 0);
    r.now = kT0.addDays(2);
    ASSERT_TRUE(r.read());
    EXPECT_EQ(*r.stored, 1);
}

// The modem refuses some deletions (as a reading killed between them would leave it): the message is
// stored once; the next reading deletes the parts left behind without storing anything again.
TEST(PduInbox, DeletionsThatStopHalfWayDoNotStoreTwice) {
    const DeliverSpec a = message("+5511911110002", "parte ");
    for (const QSet<int>& refused : {QSet<int>{2}, QSet<int>{1, 2, 3}, QSet<int>{1}}) {
        PduReading r;
        ASSERT_TRUE(r.start());
        r.modem.memory = {{1, listed(part(a, 5, 3, 1))}, {2, listed(part(a, 5, 3, 2))}, {3, listed(part(a, 5, 3, 3))}};
        r.modem.refuseDelete = refused;
        ASSERT_TRUE(r.read());
        EXPECT_EQ(*r.stored, 1);
        EXPECT_EQ(r.modem.deletes().size(), 3);
        EXPECT_EQ(r.column("SELECT CODIGO FROM dbSMS_BUFFER"), QStringList{"1,2,3"});
        r.modem.refuseDelete.clear();
        ASSERT_TRUE(r.renew());
        ASSERT_TRUE(r.read());
        EXPECT_EQ(*r.stored, 0);
        EXPECT_EQ(r.modem.deletes().size(), refused.size());
        EXPECT_TRUE(r.modem.positions().isEmpty());
        EXPECT_EQ(r.rows(), QStringList{"+5511911110002|parte parte parte |2026-12-09 10:20:30"});
        EXPECT_TRUE(r.column("SELECT CODIGO FROM dbSMS_BUFFER").isEmpty());
    }
}

TEST(PduInbox, RefusedListingAndHugeListing) {
    PduReading r;
    ASSERT_TRUE(r.start());
    // A modem that has no PDU mode is not asked for a PDU listing.
    r.modem.textOnly = true;
    ASSERT_TRUE(r.read());
    EXPECT_EQ(*r.stored, 0);
    EXPECT_EQ(r.inbox->lastError(), "Erro ao ler os SMS do modem: ERROR");
    EXPECT_EQ(r.modem.commands, QByteArrayList{"AT+CMGF=0"});
    r.modem.textOnly = false;

    r.modem.listingError = "\r\n+CMS ERROR: 302\r\n";
    ASSERT_TRUE(r.read());
    EXPECT_EQ(*r.stored, 0);
    EXPECT_EQ(r.inbox->lastError(), "Erro ao ler os SMS do modem: +CMS ERROR: 302");
    EXPECT_TRUE(r.modem.deletes().isEmpty());

    r.modem.listingError.clear();
    constexpr int kMessages = 600;
    for (int i = 0; i < kMessages; ++i)
        r.modem.memory[i] = listed(message("+55119" + std::to_string(1000000 + i), "msg " + std::to_string(i)));
    ASSERT_TRUE(r.read());
    EXPECT_TRUE(r.inbox->lastError().isEmpty());
    EXPECT_EQ(*r.stored, kMessages);
    EXPECT_TRUE(r.modem.positions().isEmpty());
    EXPECT_EQ(r.column("SELECT COUNT(DISTINCT FONE) FROM dbSMS"), QStringList{QString::number(kMessages)});
}

// The station reads dbCFG.MODO_SMS at each reading: the setting changes the next reading's mode.
TEST(PduInbox, StationFollowsTheSettingAtEachReading) {
    PduReading r;
    ASSERT_TRUE(r.start());
    SmsStation station(r.data.ado.get());
    station.setInboxMode(&r.mode);
    station.inbox()->setPort(r.modem.port());
    station.inbox()->setSettle(0);
    bool ended = false;
    QObject::connect(station.inbox(), &SmsInbox::readingEnded, [&](int, bool) { ended = true; });
    for (SmsMode mode : {SmsMode::Pdu, SmsMode::Text, SmsMode::Pdu}) {
        QString error;
        ASSERT_TRUE(writeSmsMode(r.data.ado->database(), {mode, false}, &error)) << error.toStdString();
        r.modem.commands.clear();
        ended = false;
        station.readInbox();
        ASSERT_TRUE(SmsBench::waitUntil([&] { return ended; }, 60000));
        ASSERT_FALSE(r.modem.commands.isEmpty());
        EXPECT_EQ(r.modem.commands.first(), mode == SmsMode::Pdu ? "AT+CMGF=0" : "AT+CMGF=1");
    }
}

// A message stored with a missing part after its day, whose deletion the modem refused (a reading
// killed at that point leaves the same): later readings, even by a new reader, only delete it.
TEST_P(PduInboxOnStore, IncompleteMessageStoredOnceWhenItsDeletionFails) {
    const DeliverSpec a = message("+5511911110002", "B");
    PduReading r;
    r.store = GetParam();
    ASSERT_TRUE(r.start());
    r.modem.memory = {{1, listed(part(a, 5, 3, 1))}, {2, listed(part(a, 5, 3, 2))}};
    ASSERT_TRUE(r.read());
    r.modem.refuseDelete = {1, 2};
    r.now = kT0.addDays(1);
    ASSERT_TRUE(r.read());
    EXPECT_EQ(*r.stored, 1);
    r.modem.refuseDelete = {2};
    for (int minute = 1; minute <= 2; ++minute) {
        ASSERT_TRUE(r.renew());
        r.now = kT0.addDays(1).addSecs(60 * minute);
        ASSERT_TRUE(r.read());
        EXPECT_EQ(*r.stored, 0) << minute;
    }
    r.modem.refuseDelete.clear();
    ASSERT_TRUE(r.read());
    EXPECT_TRUE(r.modem.positions().isEmpty());
    EXPECT_EQ(r.rows(), QStringList{"+5511911110002|BB[parte faltando]|2026-12-09 10:20:30"});
    EXPECT_TRUE(r.column("SELECT CODIGO FROM dbSMS_BUFFER").isEmpty());
}

// A message stored after its day with a part missing, whose deletions the modem still refuses when the missing
// part arrives: the parts already stored are only deleted, never stored again inside a complete copy; the late
// part is stored on its own, with the gaps where the stored parts stand (no text is stored twice, none is lost).
TEST(PduInbox, LatePartOfAStoredIncompleteMessageIsNotStoredWithItsSiblingsAgain) {
    const QString sender = QStringLiteral("+5511911110003");
    const auto piece = [](const char* text, int sequence) {
        return listed(part(message("+5511911110003", text), 9, 3, sequence));
    };
    for (const bool newReader : {false, true}) {
        PduReading r;
        ASSERT_TRUE(r.start());
        r.modem.memory = {{1, piece("um ", 1)}, {2, piece("dois ", 2)}};
        ASSERT_TRUE(r.read());
        r.modem.refuseDelete = {1, 2};
        r.now = kT0.addDays(1);
        ASSERT_TRUE(r.read());
        EXPECT_EQ(*r.stored, 1);
        r.modem.memory[3] = piece("tres", 3);
        if (newReader) {
            ASSERT_TRUE(r.renew());
        }
        r.now = kT0.addDays(1).addSecs(60);
        ASSERT_TRUE(r.read());
        EXPECT_EQ(*r.stored, 1) << newReader;
        r.modem.refuseDelete.clear();
        ASSERT_TRUE(r.read());
        EXPECT_EQ(*r.stored, 0) << newReader;
        EXPECT_TRUE(r.modem.positions().isEmpty()) << newReader;
        const QString stamp = QStringLiteral("|2026-12-09 10:20:30");
        EXPECT_EQ(r.rows(), QStringList({sender + "|um dois [parte faltando]" + stamp,
                                         sender + "|[parte faltando][parte faltando]tres" + stamp}))
            << newReader;
        EXPECT_TRUE(r.column("SELECT CODIGO FROM dbSMS_BUFFER").isEmpty()) << newReader;
    }
}

INSTANTIATE_TEST_SUITE_P(Store, PduInboxOnStore, kBothStores, storeName);
