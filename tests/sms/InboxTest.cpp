// The SMS inbox: the AT+CMGL listing read by its "+CMGL:" headers and closed by the AT+CPMS? count,
// the answers of AT+CMGR and AT+CMGD, and readings against a scripted modem fed through the
// response handler whole or in pieces.
#include "SmsBench.h"
#include "sms/InboxListing.h"
#include "sms/SmsInbox.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include <QElapsedTimer>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>

namespace {

using Event = InboxListing::ListingReader::Event;

const QByteArray kEcho = "AT+CMGL=\"ALL\"\r";
const QByteArray kThreeBody = "\r\n+CMGL: 1,\"REC UNREAD\",\"+5511911110001\",,\"09/12/2026,08:00:00-12\"\r\nUm\r\n"
                              "+CMGL: 2,\"REC READ\",\"+5511911110002\",,\"26/12/10,09:30:15+08\"\r\nDois\r\n"
                              "+CMGL: 3,\"REC UNREAD\",\"+5511911110003\",\"Fulano\",\"11/12/2026,23:59:59-04\"\r\n"
                              "Tres\r\n\r\nOK\r\n";
const QByteArray kThree = kEcho + kThreeBody;

QByteArray cpms(int used) {
    const QByteArray memory = "\"SM\"," + QByteArray::number(used) + ",50";
    return "\r\n+CPMS: " + memory + "," + memory + "," + memory + "\r\n\r\nOK\r\n";
}

QByteArray cmgr(const char* sender, const char* stamp, const char* text) {
    return QByteArray("\r\n+CMGR: \"REC READ\",\"") + sender + "\",,\"" + stamp + "\"\r\n" + text + "\r\n\r\nOK\r\n";
}

struct ListingCase {
    const char* name;
    QByteArray listing;
    InboxListing::State state;
    QList<InboxRecord> records;
};

void expectRecords(const QList<InboxRecord>& got, const QList<InboxRecord>& want, const char* name) {
    ASSERT_EQ(got.size(), want.size()) << name;
    for (int i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].codigo, want[i].codigo) << name << " #" << i;
        EXPECT_EQ(got[i].fone, want[i].fone) << name << " #" << i;
        EXPECT_EQ(got[i].data, want[i].data) << name << " #" << i;
        EXPECT_EQ(got[i].sms, want[i].sms) << name << " #" << i;
    }
}

// A modem that answers from a script: each command's echo and answer go through the response
// handler after the write returns, whole or in pieces of `piece` bytes.
struct ScriptedModem {
    explicit ScriptedModem(ResponseHandler& h) : handler(h) {}
    ResponseHandler& handler;
    int piece = 0;
    int lateMs = 0; // a slow modem
    std::deque<QByteArray> queue;
    QByteArray listing;
    std::optional<int> used;
    QMap<QByteArray, QByteArray> readings; // AT+CMGR index -> answer
    QByteArrayList commands;
    QSet<QByteArray> refused; // commands answered "ERROR"
    // Messages (sender, text) the modem writes in the set selected with AT+CSCS; before any, in
    // its own set (UTF-8 here). When given, they make the listing and the readings.
    QList<std::pair<QString, QString>> inbox;
    QByteArray charset;
    // How the modem echoes the command line written and frames its answer (the echo, CR, then the answer
    // by default).
    std::function<QByteArray(const QByteArray& cmd, const QByteArray& answer)> shape;

    SmsInbox::Port port() {
        return {[] { return true; }, [this](const QByteArray& bytes) { answer(bytes); }};
    }
    void answer(const QByteArray& bytes) {
        const QByteArray cmd = bytes.trimmed();
        commands << cmd;
        QByteArray reply = "\r\nOK\r\n";
        if (refused.contains(cmd))
            reply = "\r\nERROR\r\n";
        else if (cmd.startsWith("AT+CSCS=\""))
            charset = cmd.mid(9).chopped(1);
        else if (cmd == "AT+CMGL=\"ALL\"" && !inbox.isEmpty())
            reply = inboxListing();
        else if (cmd.startsWith("AT+CMGR=") && !inbox.isEmpty())
            reply = inboxReading(cmd.mid(8).toInt());
        else if (cmd == "AT+CMGL=\"ALL\"")
            reply = listing;
        else if (cmd == "AT+CPMS?")
            reply = used ? cpms(*used) : QByteArray("\r\nERROR\r\n");
        else if (cmd.startsWith("AT+CMGR="))
            reply = readings.value(cmd.mid(8), "\r\n+CMS ERROR: 321\r\n");
        // Answers leave in the order of their commands, each `lateMs` after the one before.
        queue.push_back(shape ? shape(cmd, reply) : cmd + "\r" + reply);
        QTimer::singleShot(lateMs * int(queue.size()), [this] {
            const QByteArray all = queue.front();
            queue.pop_front();
            const int step = piece == 0 ? int(all.size()) : piece;
            for (int at = 0; at < all.size(); at += step)
                handler.feed(all.mid(at, step));
        });
    }
    // A character the selected set lacks becomes "?", as modems write it.
    QByteArray inSet(const QString& text) const {
        if (charset.isEmpty())
            return text.toUtf8();
        QByteArray out;
        const char32_t top = charset == "8859-1" ? 0xFF : 0x7F;
        for (const char32_t c : text.toUcs4())
            out.append(c <= top ? char(c) : '?');
        return out;
    }
    QByteArray header(int index) const {
        return "\"REC READ\",\"" + inSet(inbox[index - 1].first) + "\",,\"26/12/09,08:0" + QByteArray::number(index) +
               ":00+00\"";
    }
    QByteArray inboxListing() const {
        QByteArray out = "\r\n";
        for (int i = 1; i <= inbox.size(); ++i)
            out += "+CMGL: " + QByteArray::number(i) + "," + header(i) + "\r\n" + inSet(inbox[i - 1].second) + "\r\n";
        return out + "\r\nOK\r\n";
    }
    QByteArray inboxReading(int index) const {
        if (index < 1 || index > inbox.size())
            return "\r\n+CMS ERROR: 321\r\n";
        return "\r\n+CMGR: " + header(index) + "\r\n" + inSet(inbox[index - 1].second) + "\r\n\r\nOK\r\n";
    }
    int count(const QByteArray& prefix) const {
        return int(
            std::count_if(commands.begin(), commands.end(), [&](const QByteArray& c) { return c.startsWith(prefix); }));
    }
};

// One slot-1 handler, the inbox on a scripted modem, and a database.
struct ScriptedReading {
    TempDataDir data;
    StoreLocation::Kind store = StoreLocation::Kind::Sqlite; // the store start() opens
    InboxMode mode;
    SlotState state;
    ResponseHandler handler{1, state, &mode};
    ScriptedModem modem{handler};
    std::unique_ptr<SmsInbox> inbox;
    std::optional<int> stored;
    QStringList log;
    QStringList warnings;
    int beeps = 0;

    bool start() {
        if (!data.start(store).ok)
            return false;
        inbox = std::make_unique<SmsInbox>(data.ado.get(), &mode);
        inbox->setPort(modem.port());
        inbox->setSettle(0);
        inbox->setBeep([this] { ++beeps; });
        QObject::connect(inbox.get(), &SmsInbox::readingEnded, [this](int n, bool) { stored = n; });
        QObject::connect(inbox.get(), &SmsInbox::logLine, [this](const QString& l) { log << l; });
        QObject::connect(inbox.get(), &SmsInbox::storeFailed, [this](const QString& t) { warnings << t; });
        return true;
    }
    bool read() {
        stored.reset();
        modem.commands.clear();
        if (inbox->readModemInbox() != SmsInbox::Start::Started)
            return false;
        return SmsBench::waitUntil([this] { return stored.has_value(); }, 10000);
    }
    QStringList column(const char* sql) {
        QSqlQuery q(data.ado->database());
        q.exec(QString::fromLatin1(sql));
        QStringList values;
        while (q.next())
            values << q.value(0).toString();
        return values;
    }
};

} // namespace

TEST(InboxListing, ReadsRecordsByTheirHeaders) {
    const QList<ListingCase> cases = {
        {"empty listing", kEcho + "\r\nOK\r\n", InboxListing::State::Complete, {}},
        {"three records",
         kThree,
         InboxListing::State::Complete,
         {{"1", "+5511911110001", "09/12/2026 08:00:00", "Um"},
          {"2", "+5511911110002", "26/12/10 09:30:15", "Dois"},
          {"3", "+5511911110003", "11/12/2026 23:59:59", "Tres"}}},
        {"text lines ending in OK, beginning with + and empty are kept",
         kEcho +
             "\r\n+CMGL: 4,\"REC UNREAD\",\"123\",,\"01/02/2026,03:04:05-00\"\r\nTudo OK\r\n+55 ligue\r\n\r\nfim\r\n"
             "\r\nOK\r\n",
         InboxListing::State::Complete,
         {{"4", "123", "01/02/2026 03:04:05", "Tudo OK\r\n+55 ligue\r\n\r\nfim"}}},
        {"a line that is just OK inside a text does not end the listing",
         kEcho + "\r\n+CMGL: 5,\"REC UNREAD\",\"123\",,\"01/02/2026,03:04:05-00\"\r\nlinha\r\nOK\r\n",
         InboxListing::State::Incomplete,
         {}},
        {"unreadable index and date keep the text",
         kEcho + "\r\n+CMGL: x,\"REC UNREAD\",\"123\",,\"??\"\r\ntexto\r\n\r\nOK\r\n",
         InboxListing::State::Complete,
         {{"", "123", "??", "texto"}}},
        {"header with the text lengths after the stamp",
         kEcho + "\r\n+CMGL: 6,\"REC READ\",\"123\",,\"26/12/09,08:00:00+00\",145,4\r\nabcd\r\n\r\nOK\r\n",
         InboxListing::State::Complete,
         {{"6", "123", "26/12/09 08:00:00", "abcd"}}},
        {"empty text",
         kEcho + "\r\n+CMGL: 7,\"REC READ\",\"1\",,\"26/12/09,08:00:00+00\"\r\n\r\n\r\nOK\r\n",
         InboxListing::State::Complete,
         {{"7", "1", "26/12/09 08:00:00", ""}}},
        {"error answer", kEcho + "\r\n+CMS ERROR: 302\r\n", InboxListing::State::Failed, {}},
        {"plain error", kEcho + "\r\nERROR\r\n", InboxListing::State::Failed, {}},
        {"an error line inside a text",
         kEcho + "\r\n+CMGL: 1,\"REC READ\",\"1\",,\"x,y\"\r\nERROR\r\n",
         InboxListing::State::Incomplete,
         {}},
        {"half a listing", kThree.left(120), InboxListing::State::Incomplete, {}},
    };
    for (const ListingCase& c : cases) {
        EXPECT_EQ(InboxListing::state(c.listing), c.state) << c.name;
        if (c.state == InboxListing::State::Complete)
            expectRecords(InboxListing::parse(c.listing), c.records, c.name);
    }
}

TEST(InboxListing, TimeStampsHeaderItemsAndReplies) {
    EXPECT_EQ(InboxListing::stampText("\"09/12/2026,08:00:00-12\""), "09/12/2026 08:00:00");
    EXPECT_EQ(InboxListing::receivedAt("09/12/2026 08:00:00"), QDateTime(QDate(2026, 12, 9), QTime(8, 0)));
    EXPECT_EQ(InboxListing::receivedAt("26/12/10 09:30:15"), QDateTime(QDate(2026, 12, 10), QTime(9, 30, 15)));
    EXPECT_FALSE(InboxListing::receivedAt("sem data").isValid());
    EXPECT_EQ(InboxListing::headerItems("CMGL: 1,\"REC READ\",\"+55\",,\"a,b\"\r\n"),
              (QStringList{"CMGL: 1", "\"REC READ\"", "\"+55\"", "\"a,b\""}));
    EXPECT_EQ(InboxListing::headerItems("CMGL: 1,'x,y',\"\",z"), (QStringList{"CMGL: 1", "'x,y'", "\"\"", "z"}));

    const QList<std::pair<QByteArray, std::optional<int>>> counts = {
        {"+CPMS: \"SM\",3,30,\"SM\",3,30,\"SM\",3,30", 3},
        {"+CPMS: 12,50,12,50,12,50", 12},
        {"+CPMS: \"ME\",0,100", 0},
        {"+CPMS: \"SM\"", std::nullopt},
        {"+CPMS: \"SM\",-1,30", std::nullopt},
        {"+CPMS: \"SM\",99999999999,30", std::nullopt},
        {"+CPMS:", std::nullopt},
        {"+CMGL: 3", std::nullopt},
    };
    for (const auto& [line, used] : counts)
        EXPECT_EQ(InboxListing::cpmsUsed(line), used) << line.constData();

    const auto own = InboxListing::cmgrHeader("+CMGR: \"REC READ\",\"+5511911110001\",,\"26/12/09,08:00:00+00\"");
    ASSERT_TRUE(own.has_value());
    EXPECT_EQ(own->fone, "+5511911110001");
    EXPECT_EQ(own->data, "26/12/09 08:00:00");
    const auto named = InboxListing::cmgrHeader("+CMGR: \"REC READ\",\"+55\",\"Ana\",\"26/12/09,08:00:00+00\",145,4");
    ASSERT_TRUE(named.has_value());
    EXPECT_EQ(named->data, "26/12/09 08:00:00");
    EXPECT_FALSE(InboxListing::cmgrHeader("+CMGR: \"REC READ\"").has_value());
    EXPECT_FALSE(InboxListing::cmgrHeader("+CMGL: 1,\"REC READ\",\"+55\",,\"a,b\"").has_value());
}

// The listing is closed by the AT+CPMS? answer: a text that ends like the listing does not end
// it, and the echo of AT+CPMS? is not part of it.
TEST(InboxListing, ReaderTakesTheListingUpToTheCount) {
    const QByteArray early = "\r\n+CMGL: 1,\"REC READ\",\"+551\",,\"26/12/09,08:00:00+00\"\r\nfim\r\n\r\nOK\r\n"
                             "+CMGL: 2,\"REC READ\",\"+552\",,\"26/12/09,08:01:00+00\"\r\nb\r\n\r\nOK\r\n";
    struct Case {
        const char* name;
        QByteArray stream;
        QByteArray listing;
        std::optional<int> used;
    };
    const QList<Case> cases = {
        {"plain", kThree + "AT+CPMS?\r" + cpms(3), kThree, 3},
        {"empty", kEcho + "\r\nOK\r\nAT+CPMS?\r" + cpms(0), kEcho + "\r\nOK\r\n", 0},
        {"early OK in a text", kEcho + early + "AT+CPMS?\r" + cpms(2), kEcho + early, 2},
        {"early OK in the last text", kEcho + early + "\r\nOK\r\nAT+CPMS?\r" + cpms(2), kEcho + early + "\r\nOK\r\n",
         2},
        {"count refused", kThree + "AT+CPMS?\r\r\nERROR\r\n", kThree, std::nullopt},
        {"no echo", kThree + cpms(5), kThree, 5},
    };
    for (const Case& c : cases) {
        InboxListing::ListingReader reader;
        int listingEnded = 0;
        Event last = Event::None;
        for (const char ch : c.stream) {
            const Event e = reader.append(ch);
            listingEnded += e == Event::ListingEnded;
            if (e != Event::None)
                last = e;
        }
        EXPECT_EQ(listingEnded, 1) << c.name;
        EXPECT_EQ(last, Event::CountEnded) << c.name;
        EXPECT_EQ(reader.listing(), c.listing) << c.name;
        EXPECT_EQ(reader.used(), c.used) << c.name;
    }
    const QList<InboxRecord> texts = InboxListing::parse(kEcho + early + "\r\nOK\r\n");
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[0].sms, "fim\r\n\r\nOK");
    EXPECT_EQ(texts[1].sms, "b\r\n\r\nOK");
}

// Only the headers given delimit records; the others are text of the record before them.
TEST(InboxListing, RecordsDelimitedByTheKeptHeadersOnly) {
    const QByteArray listing = kEcho + "\r\n+CMGL: 1,\"REC READ\",\"+551\",,\"26/12/09,08:00:00+00\"\r\noi\r\n"
                                       "+CMGL: 7,\"REC READ\",\"+551140040000\",,\"26/12/09,08:00:00+00\"\r\nfalso\r\n"
                                       "+CMGL: 2,\"REC READ\",\"+552\",,\"26/12/09,08:01:00+00\"\r\nb\r\n\r\nOK\r\n";
    const QList<InboxListing::Header> all = InboxListing::headers(listing);
    ASSERT_EQ(all.size(), 3);
    expectRecords(InboxListing::records(listing, {all[0], all[2]}),
                  {{"1", "+551", "26/12/09 08:00:00",
                    "oi\r\n+CMGL: 7,\"REC READ\",\"+551140040000\",,\"26/12/09,08:00:00+00\"\r\nfalso"},
                   {"2", "+552", "26/12/09 08:01:00", "b"}},
                  "forged middle header");
    expectRecords(InboxListing::records(listing, {all[1]}),
                  {{"7", "+551140040000", "26/12/09 08:00:00",
                    "falso\r\n+CMGL: 2,\"REC READ\",\"+552\",,\"26/12/09,08:01:00+00\"\r\nb"}},
                  "only the middle one");
    EXPECT_TRUE(InboxListing::records(listing, {}).isEmpty());
}

// The end of the listing is found in time linear in its size: 4 MiB of line breaks inside a
// text (64 KiB took seconds when every line end rescanned the listing).
TEST(InboxListing, EndOfListingCheckIsLinear) {
    QByteArray stream = kEcho + "\r\n+CMGL: 1,\"REC READ\",\"+551\",,\"26/12/09,08:00:00+00\"\r\n";
    stream += QByteArray(4 * 1024 * 1024, '\n');
    stream += "\r\n\r\nOK\r\nAT+CPMS?\r" + cpms(1);
    QElapsedTimer timer;
    timer.start();
    InboxListing::ListingReader reader;
    Event last = Event::None;
    for (const char ch : stream)
        if (const Event e = reader.append(ch); e != Event::None)
            last = e;
    ASSERT_EQ(last, Event::CountEnded);
    const QList<InboxRecord> records = InboxListing::parse(reader.listing());
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].sms.size(), 4 * 1024 * 1024);
    // A bound hundreds of times above the linear work; the quadratic check needed hours here.
    EXPECT_LT(timer.elapsed(), 20000);
}

class InboxOnStore : public StoreParam {};

// Whatever the deliveries look like, a listing whose count agrees is stored in the order listed,
// each message deleted after it was stored, with no AT+CMGR.
// Whole or in pieces, and from a modem slower than any fixed pause: its "OK" to AT+CMGF=1 is not
// the end of the listing (that "OK" once ended the reading with nothing stored).
TEST_P(InboxOnStore, SameRowsWhateverTheDeliveries) {
    const std::pair<int, int> deliveries[] = {{0, 0}, {1, 0}, {7, 0}, {64, 0}, {0, 30}, {7, 200}};
    for (const auto& [piece, late] : deliveries) {
        ScriptedReading r;
        r.store = GetParam();
        ASSERT_TRUE(r.start());
        r.modem.piece = piece;
        r.modem.lateMs = late;
        r.modem.listing = kThreeBody;
        r.modem.used = 3;
        ASSERT_TRUE(r.read()) << piece;
        EXPECT_FALSE(r.mode.on) << piece;
        EXPECT_EQ(*r.stored, 3) << piece;
        EXPECT_EQ(r.beeps, 1);
        EXPECT_EQ(r.modem.commands, (QByteArrayList{"AT+CMGF=1", "AT+CSCS=\"8859-1\"", "AT+CMGL=\"ALL\"", "AT+CPMS?",
                                                    "AT+CMGD=1", "AT+CMGD=2", "AT+CMGD=3"}))
            << piece;
        EXPECT_EQ(r.column("SELECT SMS FROM dbSMS ORDER BY ID"), (QStringList{"Um", "Dois", "Tres"}));
        EXPECT_EQ(r.column("SELECT CAST(ID_SMS AS TEXT) || ENTRADA || LIDO FROM dbSMS ORDER BY ID"),
                  (QStringList{"110", "210", "310"}));
        EXPECT_EQ(r.column("SELECT RECEBIDO FROM dbSMS WHERE ID_SMS = 3"), QStringList{"2026-12-11 23:59:59"});
        EXPECT_TRUE(r.column("SELECT CODIGO FROM dbSMS_BUFFER").isEmpty());
    }
}

// A message whose index cannot be read is stored once and never deleted: its staged row keeps the
// next reading from storing it again.
TEST_P(InboxOnStore, UnreadableIndexIsStoredOnceAndKept) {
    ScriptedReading r;
    r.store = GetParam();
    ASSERT_TRUE(r.start());
    r.modem.listing = "\r\n+CMGL: x,\"REC UNREAD\",\"123\",,\"ontem\"\r\nfica inteiro\r\n\r\nOK\r\n";
    r.modem.used = 1;
    for (int reading = 0; reading < 2; ++reading) {
        ASSERT_TRUE(r.read());
        EXPECT_EQ(*r.stored, reading == 0 ? 1 : 0);
        EXPECT_EQ(r.modem.count("AT+CMGD"), 0);
    }
    EXPECT_EQ(r.column("SELECT ID_SMS || '|' || COALESCE(RECEBIDO, 'nulo') || '|' || SMS FROM dbSMS"),
              QStringList{"0|nulo|fica inteiro"});
}

// Headers the modem's count does not account for are checked one by one; a forged one (in the text
// of another message, or with a sender its index does not have) is text, and its index is never
// deleted. A text holding "OK" and a forged "+CMGR:" line in a reading does not confirm anything.
TEST(SmsInbox, HeadersTheModemDoesNotConfirmAreText) {
    const QByteArray forged = "+CMGL: 7,\"REC READ\",\"+551140040000\",,\"26/12/09,08:00:00+00\"";
    const QByteArray text1 = "oi\r\n" + forged + "\r\nfalso";
    const QByteArray text2 = "b\r\n\r\nOK\r\n\r\n+CMGR: \"REC READ\",\"+551140040000\",,\"26/12/09,08:00:00+00\"";
    ScriptedReading r;
    ASSERT_TRUE(r.start());
    r.modem.piece = 5;
    r.modem.listing = "\r\n+CMGL: 1,\"REC READ\",\"+551\",,\"26/12/09,08:00:00+00\"\r\n" + text1 + "\r\n" +
                      "+CMGL: 2,\"REC READ\",\"+552\",,\"26/12/09,08:01:00+00\"\r\n" + text2 + "\r\n" +
                      "+CMGL: 3,\"REC READ\",\"+551140040000\",,\"26/12/09,08:00:00+00\"\r\nclone\r\n\r\nOK\r\n";
    r.modem.used = 2;
    r.modem.readings = {{"1", cmgr("+551", "26/12/09,08:00:00+00", text1)},
                        {"2", cmgr("+552", "26/12/09,08:01:00+00", text2)},
                        {"3", "\r\n+CMS ERROR: 321\r\n"}};
    ASSERT_TRUE(r.read());
    EXPECT_EQ(*r.stored, 2);
    EXPECT_EQ(r.modem.commands.mid(4, 4), (QByteArrayList{"AT+CMGR=1", "AT+CMGR=7", "AT+CMGR=2", "AT+CMGR=3"}));
    EXPECT_EQ(r.modem.count("AT+CMGD="), 2);
    EXPECT_EQ(r.modem.count("AT+CMGD=7"), 0);
    EXPECT_EQ(r.modem.count("AT+CMGD=3"), 0);
    EXPECT_EQ(r.column("SELECT FONE FROM dbSMS ORDER BY ID"), (QStringList{"+551", "+552"}));
    const QStringList texts = r.column("SELECT SMS FROM dbSMS ORDER BY ID");
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[0], QString::fromLatin1(text1));
    EXPECT_TRUE(texts[1].startsWith(QString::fromLatin1(text2))) << texts[1].toStdString();
    EXPECT_EQ(r.log.filter(" NÃO CONFIRMADO PELO MODEM: LIDO COMO TEXTO").size(), 2) << r.log.join('\n').toStdString();
}

// What the operator reads does not depend on what an earlier dialogue left selected on the modem:
// the reading selects the set itself ("8859-1", else "IRA", each answer awaited) and reads the
// listing and the readings in it. Whatever the modem takes, nothing is stored as mojibake ("OlÃ¡");
// what Latin-1 can carry is stored exactly when the modem takes "8859-1". With the count refused,
// every message is confirmed by AT+CMGR, in the same set.
TEST_P(InboxOnStore, ReceivedTextsInTheSetTheReadingSelected) {
    const QString joao = QStringLiteral("Olá, João! Ação ç ã õ é");
    const QString texts[] = {joao, QStringLiteral("€"), QStringLiteral("oi 😀 tchau"), QStringLiteral("plain ASCII"),
                             QStringLiteral("byte \u00ff aqui")};
    struct Modem {
        const char* name;
        QSet<QByteArray> refused;
        QByteArrayList charsetCommands;
        QString sender; // as stored
    };
    const QByteArray latin1 = "AT+CSCS=\"8859-1\"", ira = "AT+CSCS=\"IRA\"";
    const Modem modems[] = {{"takes 8859-1", {}, {latin1}, QStringLiteral("Loja São")},
                            {"takes IRA only", {latin1}, {latin1, ira}, QStringLiteral("Loja S?o")},
                            {"refuses both", {latin1, ira}, {latin1, ira}, QStringLiteral("Loja S??o")}};
    for (const Modem& m : modems) {
        for (const bool counted : {true, false}) {
            const std::string name = std::string(m.name) + (counted ? "" : ", confirmed one by one");
            ScriptedReading r;
            r.store = GetParam();
            ASSERT_TRUE(r.start());
            r.modem.piece = 3;
            r.modem.refused = m.refused;
            for (const QString& t : texts)
                r.modem.inbox.append({QStringLiteral("Loja São"), t});
            if (counted)
                r.modem.used = int(r.modem.inbox.size());
            ASSERT_TRUE(r.read()) << name;
            EXPECT_EQ(*r.stored, int(std::size(texts))) << name;
            const qsizetype listingAt = r.modem.commands.indexOf("AT+CMGL=\"ALL\"");
            EXPECT_EQ(r.modem.commands.mid(1, listingAt - 1), m.charsetCommands) << name;
            EXPECT_EQ(r.modem.count("AT+CMGR="), counted ? 0 : int(std::size(texts))) << name;
            QStringList want;
            for (const QString& t : texts) {
                // The bytes the modem wrote, read in the set the reading chose.
                const QByteArray bytes = r.modem.inSet(t);
                want << (r.modem.charset == "8859-1"
                             ? QString::fromLatin1(bytes)
                             : QString::fromLatin1(bytes).replace(QRegularExpression("[^\\x00-\\x7f]"), "?"));
            }
            EXPECT_EQ(r.column("SELECT SMS FROM dbSMS ORDER BY ID"), want) << name;
            EXPECT_EQ(r.column("SELECT DISTINCT FONE FROM dbSMS"), QStringList{m.sender}) << name;
            if (m.refused.isEmpty()) { // Latin-1 carries these exactly; the others have no Latin-1 form
                EXPECT_EQ(want[0], joao);
                EXPECT_EQ(want[3], QStringLiteral("plain ASCII"));
                EXPECT_EQ(want[4], QStringLiteral("byte \u00ff aqui"));
                EXPECT_EQ(want[1], QStringLiteral("?"));
            } else if (m.refused.size() == 1) {
                EXPECT_EQ(want[0], QStringLiteral("Ol?, Jo?o! A??o ? ? ? ?"));
            }
            for (const QString& got : r.column("SELECT SMS FROM dbSMS"))
                EXPECT_FALSE(got.contains(QChar(0xC3)) || got.contains(QChar(0xE2)) || got.contains(QChar(0xF0)))
                    << name << ": " << got.toStdString();
            EXPECT_EQ(r.modem.count("AT+CMGD="), int(std::size(texts))) << name;
        }
    }
}

// Echo on (the factory default): the modem echoes the command's CR at once and the LF written after it
// only after its answer, or echoes twice, or writes lines of its own inside the echo and after the answer.
// Every such reading stores the three messages once, whole or byte by byte.
TEST(SmsInbox, ReadsFromAModemWithEchoOnWhateverItsOrder) {
    using Shape = std::function<QByteArray(const QByteArray&, const QByteArray&)>;
    const std::pair<const char*, Shape> shapes[] = {
        {"LF echoed after the answer",
         [](const QByteArray& c, const QByteArray& a) -> QByteArray { return c + "\r" + a + "\n"; }},
        {"LF echoed before the answer",
         [](const QByteArray& c, const QByteArray& a) -> QByteArray { return c + "\r\n" + a; }},
        {"double echo",
         [](const QByteArray& c, const QByteArray& a) -> QByteArray { return c + "\r" + c + "\r" + a + "\n"; }},
        {"line of its own inside the echo",
         [](const QByteArray& c, const QByteArray& a) -> QByteArray {
             return c.left(3) + "\r\n*EMRDY: 1\r\n" + c.mid(3) + "\r" + a;
         }},
        {"lines of its own before the echo and after the answer",
         [](const QByteArray& c, const QByteArray& a) -> QByteArray {
             return "\r\n^SRVST:0\r\n" + c + "\r" + a + "\n\r\n^RSSI:14\r\n\r\n+CMTI: \"SM\",4\r\n";
         }},
    };
    for (const auto& [name, shape] : shapes) {
        for (const int piece : {0, 1}) {
            ScriptedReading r;
            ASSERT_TRUE(r.start());
            r.modem.shape = shape;
            r.modem.piece = piece;
            r.modem.listing = kThreeBody;
            r.modem.used = 3;
            ASSERT_TRUE(r.read()) << name << " " << piece;
            EXPECT_EQ(*r.stored, 3) << name << " " << piece;
            EXPECT_FALSE(r.log.join('\n').contains("SEM RESPOSTA")) << name << r.log.join('\n').toStdString();
            EXPECT_EQ(r.column("SELECT SMS FROM dbSMS ORDER BY ID"), (QStringList{"Um", "Dois", "Tres"})) << name;
            EXPECT_EQ(r.modem.count("AT+CMGD="), 3) << name;
        }
    }
}

// Lines of the modem's own inside a text-mode listing are dropped where a blank line frames them, as the
// modem writes them; a text's own line that looks like one ("RING", "+CPIN: READY") is the customer's text.
TEST(InboxListing, LinesOfTheModemsOwnLeaveTheTextsWhole) {
    const QByteArray h1 = "+CMGL: 1,\"REC READ\",\"+5511911110001\",,\"26/12/09,08:00:00+00\"";
    const QByteArray h2 = "+CMGL: 2,\"REC READ\",\"+5511911110002\",,\"26/12/09,08:01:00+00\"";
    struct Case {
        const char* name;
        QByteArray listing;
        QStringList texts;
    };
    const QList<Case> cases{
        {"noise after a text",
         "\r\n" + h1 + "\r\nUm\r\n\r\n^RSSI:14\r\n" + h2 + "\r\nDois\r\n\r\nOK\r\n",
         {"Um", "Dois"}},
        {"noise before a text's CR LF",
         "\r\n" + h1 + "\r\nUm\r\n^RSSI:14\r\n\r\n" + h2 + "\r\nDois\r\n\r\nOK\r\n",
         {"Um", "Dois"}},
        {"noise after a header",
         "\r\n" + h1 + "\r\n\r\n+CMTI: \"SM\",3\r\nUm\r\n" + h2 + "\r\nDois\r\n\r\nOK\r\n",
         {"Um", "Dois"}},
        {"noise before the final OK",
         "\r\n" + h1 + "\r\nUm\r\n" + h2 + "\r\nDois\r\n\r\nRDY\r\n\r\nOK\r\n",
         {"Um", "Dois"}},
        {"noise before the last text's CR LF",
         "\r\n" + h1 + "\r\nUm\r\n" + h2 + "\r\nDois\r\n^BOOT:1,0\r\n\r\n\r\nOK\r\n",
         {"Um", "Dois"}},
        {"texts that are RING", "\r\n" + h1 + "\r\nRING\r\n" + h2 + "\r\nRING\r\n\r\nOK\r\n", {"RING", "RING"}},
        {"texts whose last line looks like a modem's own",
         "\r\n" + h1 + "\r\nAlo\r\nRING\r\n" + h2 + "\r\nSIM\r\n+CPIN: READY\r\n\r\nOK\r\n",
         {"Alo\r\nRING", "SIM\r\n+CPIN: READY"}},
        {"a text and noise that look alike",
         "\r\n" + h1 + "\r\nRING\r\n\r\nRING\r\n" + h2 + "\r\nDois\r\n\r\nOK\r\n",
         {"RING", "Dois"}},
    };
    for (const Case& c : cases) {
        QStringList texts;
        for (const InboxRecord& record : InboxListing::parse(InboxListing::withoutNoise(c.listing)))
            texts << record.sms;
        EXPECT_EQ(texts, c.texts) << c.name;
    }
}

// A line of the modem's own at every line boundary of the listing (after a line's CR LF, or between a line and
// its CR LF), whole and byte by byte: the three texts are stored as they are, once.
TEST(SmsInbox, LinesOfTheModemsOwnAnywhereInTheListing) {
    const QByteArrayList noise{"^RSSI:14", "+CMTI: \"SM\",4", "RING", "+ZUSIMR:2", "^BOOT:35323129,0,0,0,26", "RDY"};
    QList<qsizetype> cuts;
    // Not inside the final "\r\nOK\r\n": the modem writes its result whole.
    const qsizetype result = kThreeBody.size() - 6;
    for (qsizetype at = kThreeBody.indexOf("\r\n"); at >= 0 && at <= result; at = kThreeBody.indexOf("\r\n", at + 2))
        cuts << at << (at + 2 <= result ? at + 2 : kThreeBody.size());
    int n = 0;
    for (const qsizetype at : cuts) {
        const QByteArray line = noise[n++ % noise.size()];
        const QByteArray listing = kThreeBody.left(at) + "\r\n" + line + "\r\n" + kThreeBody.mid(at);
        for (const int piece : {0, 1}) {
            ScriptedReading r;
            ASSERT_TRUE(r.start());
            r.modem.piece = piece;
            r.modem.listing = listing;
            r.modem.used = 3;
            ASSERT_TRUE(r.read()) << listing.toStdString();
            EXPECT_EQ(r.column("SELECT SMS FROM dbSMS ORDER BY ID"), (QStringList{"Um", "Dois", "Tres"}))
                << piece << " " << listing.toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Store, InboxOnStore, kBothStores, storeName);
