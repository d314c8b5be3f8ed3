// The SMS inbox against the simulated modem: forged headers and early "OK" lines in texts, refused
// commits, what an interrupted reading left, `--receive-sms` exit codes, and a reading killed in
// the middle (a child process) followed by a second one.
#include "ModemTestRig.h"
#include "SmsBench.h"
#include "sms/SmsCommands.h"
#include "sms/SmsInbox.h"
#include "sms/SmsStation.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>

#include <set>

using namespace modemsim;

namespace {

StoredSms sms(int n, const std::string& text = {}) {
    const std::string two = (n < 10 ? "0" : "") + std::to_string(n);
    return {"+55119111100" + two, "26/12/09,08:" + two + ":00+00", text.empty() ? "Mensagem " + two : text, false};
}

std::vector<StoredSms> messages(int count) {
    std::vector<StoredSms> all;
    for (int n = 1; n <= count; ++n)
        all.push_back(sms(n));
    return all;
}

int rows(const QSqlDatabase& db, const QString& sql, const QVariantList& values = {}) {
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    q.exec();
    return q.next() ? q.value(0).toInt() : -1;
}

int timesStored(const QSqlDatabase& db, const StoredSms& m) {
    return rows(db, QStringLiteral("SELECT COUNT(*) FROM dbSMS WHERE FONE = ? AND SMS = ?"),
                {QString::fromStdString(m.sender), QString::fromStdString(m.text)});
}

// Every message the modem no longer holds is in dbSMS, once; none is there twice.
void expectNoneDeletedUnstored(const QSqlDatabase& db, const std::vector<StoredSms>& before,
                               const std::vector<StoredSms>& now, const char* name) {
    for (std::size_t i = 0; i < before.size(); ++i) {
        const int stored = timesStored(db, before[i]);
        EXPECT_LE(stored, 1) << name << " #" << i + 1;
        if (now[i].sender.empty()) {
            EXPECT_EQ(stored, 1) << name << " #" << i + 1 << " deleted on the modem, not stored";
        }
    }
}

// An inbox on the bench's slot 1.
struct Reader {
    SmsInbox inbox;
    std::optional<int> stored;
    QStringList log;
    QStringList warnings;

    explicit Reader(SmsBench& bench) : inbox(bench.data.ado.get(), &bench.inbox) {
        inbox.setChannel(bench.slots[0].channel.get());
        inbox.setSettle(20);
        QObject::connect(&inbox, &SmsInbox::readingEnded, [this](int n, bool) { stored = n; });
        QObject::connect(&inbox, &SmsInbox::logLine, [this](const QString& l) { log << l; });
        QObject::connect(&inbox, &SmsInbox::storeFailed, [this](const QString& t) { warnings << t; });
    }
    bool read() {
        stored.reset();
        if (inbox.readModemInbox() != SmsInbox::Start::Started)
            return false;
        return SmsBench::waitUntil([this] { return stored.has_value(); }, 20000);
    }
};

} // namespace

class InboxModemOnStore : public StoreParam {};

TEST_P(InboxModemOnStore, ReadsAndDeletesTheModemsMessages) {
    PortConfig config;
    config.inbox = {{"+5511911110001", "26/12/09,08:00:00+00", "Primeira", false},
                    {"+5511911110002", "26/12/09,08:01:00+00", "Segunda\r\ncom duas linhas", false}};
    SmsBench bench;
    bench.store = GetParam();
    ASSERT_TRUE(bench.start({config, PortConfig{}}));
    Reader r(bench);
    ASSERT_TRUE(r.read());
    EXPECT_EQ(*r.stored, 2);
    for (const StoredSms& m : bench.sim->inbox(0))
        EXPECT_TRUE(m.sender.empty());
    const std::string received = bench.sim->received(0);
    EXPECT_NE(
        received.find("AT+CMGF=1\r\nAT+CSCS=\"8859-1\"\r\nAT+CMGL=\"ALL\"\r\nAT+CPMS?\r\nAT+CMGD=1\r\nAT+CMGD=2\r\n"),
        std::string::npos)
        << received;
    EXPECT_EQ(received.find("AT+CMGR"), std::string::npos); // the count agrees: no reading one by one
    QSqlQuery q = bench.sql("SELECT SMS, RECEBIDO FROM dbSMS ORDER BY ID");
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(1).toString(), "2026-12-09 08:00:00"); // the modem's yy/MM/dd
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toString(), "Segunda\r\ncom duas linhas");
    EXPECT_EQ(bench.count("dbSMS_BUFFER"), 0);
}

// The simulated modem lists in the set selected on it ("IRA" when fresh), as a real one does: the
// reading selects "8859-1" itself, or "IRA" when the modem refuses it, so the stored texts are
// exact where Latin-1 carries them and "?" where the set does not, never mojibake ("OlÃ¡").
TEST(SmsInbox, ReceivedTextsAsTheModemsSetCarriesThem) {
    const std::string texts[] = {"Olá, João! Ação ç ã õ é", "€", "oi 😀", "plain ASCII", "byte \xc3\xbf aqui"};
    struct Modem {
        const char* name;
        std::set<std::string> charsets;
        const char* commands;
        QStringList stored;
        QString sender;
    };
    const Modem modems[] = {
        {"takes 8859-1",
         {"GSM", "IRA", "8859-1", "UCS2"},
         "AT+CMGF=1\r\nAT+CSCS=\"8859-1\"\r\nAT+CMGL",
         {QStringLiteral("Olá, João! Ação ç ã õ é"), "?", "oi ?", "plain ASCII", QStringLiteral("byte ÿ aqui")},
         QStringLiteral("Loja São")},
        {"takes IRA only",
         {"GSM", "IRA", "UCS2"},
         "AT+CMGF=1\r\nAT+CSCS=\"8859-1\"\r\nAT+CSCS=\"IRA\"\r\nAT+CMGL",
         {"Ol?, Jo?o! A??o ? ? ? ?", "?", "oi ?", "plain ASCII", "byte ? aqui"},
         "Loja S?o"},
        {"refuses both",
         {"GSM", "UCS2"},
         "AT+CMGF=1\r\nAT+CSCS=\"8859-1\"\r\nAT+CSCS=\"IRA\"\r\nAT+CMGL",
         {"Ol?, Jo?o! A??o ? ? ? ?", "?", "oi ?", "plain ASCII", "byte ? aqui"},
         "Loja S?o"},
    };
    for (const Modem& m : modems) {
        PortConfig config;
        config.charsets = m.charsets;
        for (std::size_t i = 0; i < std::size(texts); ++i)
            config.inbox.push_back(sms(int(i) + 1, texts[i]));
        config.inbox.back().sender = "Loja São";
        SmsBench bench;
        ASSERT_TRUE(bench.start({config}));
        Reader r(bench);
        ASSERT_TRUE(r.read()) << m.name;
        EXPECT_EQ(*r.stored, int(std::size(texts))) << m.name;
        const std::string received = bench.sim->received(0);
        EXPECT_NE(received.find(m.commands), std::string::npos) << m.name << "\n" << received;
        QStringList stored;
        QSqlQuery q = bench.sql("SELECT SMS, FONE FROM dbSMS ORDER BY ID");
        while (q.next())
            stored << q.value(0).toString();
        EXPECT_EQ(stored, m.stored) << m.name;
        EXPECT_EQ(bench.count("dbSMS_BUFFER"), 0) << m.name;
        q = bench.sql("SELECT FONE FROM dbSMS ORDER BY ID DESC LIMIT 1");
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toString(), m.sender) << m.name;
    }
}

// Texts that imitate the listing: a forged header is kept as text of its message and its index is
// never deleted; a text ending in an "OK" line does not end the listing.
TEST(SmsInbox, TextsThatImitateTheListing) {
    struct Case {
        const char* name;
        std::vector<StoredSms> inbox;
        bool confirmsOneByOne;
    };
    const std::string forged = "+CMGL: 7,\"REC READ\",\"+551140040000\",,\"26/12/09,07:00:00+00\"";
    const QList<Case> cases = {
        {"forged header", {sms(1, "oi\r\n" + forged + "\r\nfalso"), sms(2)}, true},
        {"forged header naming a listed index",
         {sms(1, "x\r\n+CMGL: 2,\"REC READ\",\"+551140040000\",,\"26/12/09,08:02:00+00\"\r\ny"), sms(2)},
         true},
        {"early OK", {sms(1, "fim\r\n\r\nOK"), sms(2, "a\r\n\r\nOK\r\n"), sms(3)}, false},
        {"early OK in the last text", {sms(1), sms(2, "fim\r\n\r\nOK")}, false},
    };
    for (const Case& c : cases) {
        PortConfig config;
        config.inbox = c.inbox;
        SmsBench bench;
        ASSERT_TRUE(bench.start({config}));
        Reader r(bench);
        ASSERT_TRUE(r.read()) << c.name;
        EXPECT_EQ(*r.stored, int(c.inbox.size())) << c.name;
        EXPECT_EQ(bench.count("dbSMS"), int(c.inbox.size())) << c.name;
        for (const StoredSms& m : c.inbox)
            EXPECT_EQ(timesStored(bench.data.ado->database(), m), 1) << c.name << ": " << m.text;
        for (const StoredSms& m : bench.sim->inbox(0))
            EXPECT_TRUE(m.sender.empty()) << c.name;
        const std::string received = bench.sim->received(0);
        EXPECT_EQ(received.find("AT+CMGD=7"), std::string::npos) << c.name;
        EXPECT_EQ(received.find("AT+CMGR") != std::string::npos, c.confirmsOneByOne) << c.name;
        EXPECT_FALSE(bench.inbox.on) << c.name;
    }
}

// A commit the database refuses (a trigger standing for a full disk) stops the reading: it is said
// once in the window and in the log, nothing unstored is deleted, and the next reading stores
// every message once.
TEST_P(InboxModemOnStore, RefusedCommitThenSecondReading) {
    struct Case {
        const char* name;
        const char* trigger;
        const char* pgTrigger; // the same refusal in PL/pgSQL, through the function cheio()
        const char* drop;
        int storedFirst;
    };
    const QList<Case> cases = {
        {"dbSMS refuses the second message",
         "CREATE TRIGGER cheio BEFORE INSERT ON dbSMS WHEN NEW.FONE = '+5511911110002' "
         "BEGIN SELECT RAISE(ABORT, 'disco cheio'); END",
         "CREATE TRIGGER cheio BEFORE INSERT ON dbSMS FOR EACH ROW WHEN (NEW.FONE = '+5511911110002') "
         "EXECUTE FUNCTION cheio()",
         "DROP TRIGGER cheio ON dbSMS", 1},
        {"staging refused",
         "CREATE TRIGGER cheio BEFORE INSERT ON dbSMS_BUFFER BEGIN SELECT RAISE(ABORT, 'disco cheio'); END",
         "CREATE TRIGGER cheio BEFORE INSERT ON dbSMS_BUFFER FOR EACH ROW EXECUTE FUNCTION cheio()",
         "DROP TRIGGER cheio ON dbSMS_BUFFER", 0},
    };
    const bool pg = GetParam() == StoreLocation::Kind::Postgres;
    for (const Case& c : cases) {
        PortConfig config;
        config.inbox = messages(3);
        SmsBench bench;
        bench.store = GetParam();
        ASSERT_TRUE(bench.start({config}));
        if (pg)
            bench.sql("CREATE FUNCTION cheio() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                      "RAISE EXCEPTION 'disco cheio'; END $$");
        bench.sql(QString::fromLatin1(pg ? c.pgTrigger : c.trigger));
        Reader r(bench);
        for (int attempt = 0; attempt < 2; ++attempt) {
            ASSERT_TRUE(r.read()) << c.name;
            EXPECT_EQ(*r.stored, attempt == 0 ? c.storedFirst : 0) << c.name;
            EXPECT_TRUE(r.inbox.lastError().startsWith("Não foi possível gravar no banco de dados: ")) << c.name;
            EXPECT_TRUE(r.inbox.lastError().contains("disco cheio")) << r.inbox.lastError().toStdString();
            expectNoneDeletedUnstored(bench.data.ado->database(), config.inbox, bench.sim->inbox(0), c.name);
        }
        EXPECT_EQ(r.warnings.size(), 1) << c.name; // said once, not at every reading
        EXPECT_EQ(r.log.filter(" ENTRADA 1 ERRO AO GRAVAR SMS RECEBIDO: ").size(), 2) << c.name;
        bench.sql(QString::fromLatin1(pg ? c.drop : "DROP TRIGGER cheio"));
        ASSERT_TRUE(r.read()) << c.name;
        EXPECT_TRUE(r.inbox.lastError().isEmpty()) << c.name;
        for (const StoredSms& m : config.inbox)
            EXPECT_EQ(timesStored(bench.data.ado->database(), m), 1) << c.name << ": " << m.text;
        for (const StoredSms& m : bench.sim->inbox(0))
            EXPECT_TRUE(m.sender.empty()) << c.name;
        EXPECT_EQ(bench.count("dbSMS_BUFFER"), 0) << c.name;
    }
}

// What an earlier reading left (as a kill at each point would leave it, or as readings before this
// fix left it) is settled by the next one: every message stored once, and a newer message that
// took a freed index is stored before that index is deleted again.
TEST(SmsInbox, SettlesWhatAnEarlierReadingLeft) {
    const QString stage = "INSERT INTO dbSMS_BUFFER (CODIGO, FONE, DATA, SMS) VALUES ('%1', '+55119111100%2', "
                          "'26/12/09 08:%2:00', 'Mensagem %2')";
    const QString store = "INSERT INTO dbSMS (ID_SMS, RECEBIDO, ENTRADA, FONE, SMS, LIDO) VALUES (%1, "
                          "'2026-12-09 08:%2:00', 1, '+55119111100%2', 'Mensagem %2', 0)";
    struct Case {
        const char* name;
        QStringList before;
        int newRows;
    };
    const QList<Case> cases = {
        {"staged, not stored", {stage.arg(1).arg("01"), stage.arg(2).arg("02")}, 3},
        {"staged twice by two readings",
         {stage.arg(1).arg("01"), stage.arg(2).arg("02"), stage.arg(1).arg("01"), stage.arg(2).arg("02")},
         3},
        {"stored, not yet deleted", {stage.arg(1).arg("01"), store.arg(1).arg("01")}, 2},
        {"stored without a staged row", {store.arg(2).arg("02")}, 2},
        {"stored and deleted, its index taken by a newer message", {stage.arg(1).arg("09"), store.arg(1).arg("09")}, 3},
        {"staged row of a message no longer on the modem", {stage.arg(5).arg("05")}, 3},
    };
    for (const Case& c : cases) {
        PortConfig config;
        config.inbox = messages(3);
        SmsBench bench;
        ASSERT_TRUE(bench.start({config}));
        for (const QString& sql : c.before)
            bench.sql(sql);
        const int rowsBefore = bench.count("dbSMS");
        Reader r(bench);
        ASSERT_TRUE(r.read()) << c.name;
        EXPECT_EQ(*r.stored, c.newRows) << c.name;
        EXPECT_EQ(bench.count("dbSMS"), rowsBefore + c.newRows) << c.name;
        for (const StoredSms& m : config.inbox)
            EXPECT_EQ(timesStored(bench.data.ado->database(), m), 1) << c.name << ": " << m.text;
        for (const StoredSms& m : bench.sim->inbox(0))
            EXPECT_TRUE(m.sender.empty()) << c.name;
        EXPECT_EQ(bench.count("dbSMS_BUFFER"), 0) << c.name;
        const std::string received = bench.sim->received(0);
        EXPECT_EQ(received.find("AT+CMGD=1\r\nAT+CMGD=1"), std::string::npos) << c.name;
    }
}

// A text-mode reading that stored its messages but did not get to delete them (the modem refused, as a reading
// killed at that point leaves it), then the operator switches to PDU mode: the PDU reading settles what the text
// one left by what both modes read alike, and stores nothing twice.
TEST(SmsInbox, TextReadingLeftoversSettledByAPduReading) {
    PortConfig config;
    config.inbox = {sms(1), sms(2, "Olá, ação às 10h"), sms(3, "Linha 1\nLinha 2")};
    DeliverSpec joined; // two parts: text mode lists (and stores) each on its own
    joined.sender = "+5511911110004";
    joined.timestamp = "26/12/09,08:04:00+00";
    joined.concatenated = true;
    joined.reference = 7;
    joined.text = std::string(160, 'x') + "fim";
    for (const StoredSms& part : storedParts(joined))
        config.inbox.push_back(part);
    config.refusedDeletions = 5;
    SmsBench bench;
    ASSERT_TRUE(bench.start({config}));
    Reader r(bench);
    bool pdu = false;
    r.inbox.setPduMode([&pdu] { return pdu; });
    ASSERT_TRUE(r.read());
    EXPECT_EQ(*r.stored, 5);
    EXPECT_EQ(bench.count("dbSMS_BUFFER"), 5);
    pdu = true;
    ASSERT_TRUE(r.read());
    EXPECT_EQ(*r.stored, 0);
    EXPECT_EQ(bench.count("dbSMS"), 5);
    // Each listed message (each part, in text mode) once; the text is as the text mode read it (its character set).
    for (const StoredSms& m : config.inbox) {
        const auto listed = std::count_if(config.inbox.begin(), config.inbox.end(),
                                          [&](const StoredSms& o) { return o.sender == m.sender; });
        EXPECT_EQ(rows(bench.data.ado->database(), "SELECT COUNT(*) FROM dbSMS WHERE FONE = ?",
                       {QString::fromStdString(m.sender)}),
                  int(listed))
            << m.sender;
    }
    for (const StoredSms& m : bench.sim->inbox(0))
        EXPECT_TRUE(m.sender.empty()) << m.text;
    EXPECT_EQ(bench.count("dbSMS_BUFFER"), 0);
}

TEST(SmsInbox, ClosedPortAndSilentModem) {
    PortConfig silent;
    silent.silent = true;
    SmsBench bench;
    ASSERT_TRUE(bench.start({silent}, false));
    SmsInbox inbox(bench.data.ado.get(), &bench.inbox);
    inbox.setChannel(bench.slots[0].channel.get());
    inbox.setTimeLimit(200);
    EXPECT_EQ(inbox.readModemInbox(), SmsInbox::Start::PortClosed);
    bench.slots[0].channel->open();
    std::optional<bool> timedOut;
    QObject::connect(&inbox, &SmsInbox::readingEnded, [&](int, bool t) { timedOut = t; });
    ASSERT_EQ(inbox.readModemInbox(), SmsInbox::Start::Started);
    EXPECT_TRUE(bench.inbox.on);
    EXPECT_EQ(inbox.readModemInbox(), SmsInbox::Start::Busy);
    ASSERT_TRUE(SmsBench::waitUntil([&] { return timedOut.has_value(); }, 5000));
    EXPECT_TRUE(*timedOut);
    EXPECT_FALSE(bench.inbox.on);
    EXPECT_TRUE(inbox.lastError().isEmpty());
}

// The clock reads slot 1's inbox at second 15 only, and not while slot 1's worker is sending.
TEST(SmsStation, ClockReadsAtSecondFifteenWhenSlotOneIsIdle) {
    SmsBench bench;
    ASSERT_TRUE(bench.start({PortConfig{}}));
    SmsStation station(bench.data.ado.get());
    station.setSlot(1, bench.slots[0].channel.get(), bench.slots[0].state.get());
    station.setInboxMode(&bench.inbox);
    const QDate day(2026, 12, 9);
    auto listed = [&] { return bench.sim->received(0).find("AT+CMGL") != std::string::npos; };

    // Slot 1's worker pausing before its row (a long TEMPO_SMS): no reading.
    bench.activate({1});
    bench.setTempoSms(600000);
    bench.addRow(1, "5511900000001", "um");
    station.sender()->startSend();
    ASSERT_TRUE(SmsBench::waitUntil([&] { return station.sender()->slotBusy(1); }, 5000));
    station.clockTick(QDateTime(day, QTime(10, 0, 15)));
    EXPECT_FALSE(station.inbox()->busy());
    station.sender()->stopAndWait();

    station.clockTick(QDateTime(day, QTime(10, 0, 14)));
    EXPECT_FALSE(listed());
    std::optional<int> stored;
    QObject::connect(station.inbox(), &SmsInbox::readingEnded, [&](int n, bool) { stored = n; });
    station.clockTick(QDateTime(day, QTime(10, 1, 15)));
    ASSERT_TRUE(SmsBench::waitUntil([&] { return stored.has_value(); }, 5000));
    EXPECT_TRUE(listed());
    EXPECT_EQ(*stored, 0);
}

TEST(InboxCommand, ExitCodes) {
    struct Case {
        const char* name;
        bool listError;
        const char* trigger;
        int code;
        const char* err;
    };
    const QList<Case> cases = {
        {"stored", false, nullptr, 0, ""},
        {"listing refused", true, nullptr, 1, "Erro ao ler os SMS do modem: ERROR\n"},
        {"commit refused", false,
         "CREATE TRIGGER cheio BEFORE INSERT ON dbSMS BEGIN SELECT RAISE(ABORT, 'disco cheio'); END", 1,
         "Não foi possível gravar no banco de dados: disco cheio"},
    };
    for (const Case& c : cases) {
        PortConfig config;
        config.inbox = messages(2);
        config.listError = c.listError;
        ModemTestRig rig({config});
        rig.station.reset();
        if (c.trigger)
            rig.exec(QString::fromLatin1(c.trigger));
        QString out, err;
        QTextStream o(&out), e(&err);
        EXPECT_EQ(SmsCommands::receiveSms(rig.ado(), o, e), c.code) << c.name << ": " << err.toStdString();
        EXPECT_TRUE(*c.err ? err.startsWith(QString::fromUtf8(c.err)) : err.isEmpty())
            << c.name << ": " << err.toStdString();
        EXPECT_TRUE(out.contains(c.code == 0 ? "SMS RECEBIDOS: 2\n" : "SMS RECEBIDOS: 0\n")) << out.toStdString();
        if (c.code != 0) {
            EXPECT_TRUE(out.contains(" ENTRADA 1 ERRO AO ")) << c.name << ": " << out.toStdString();
        }
    }
}

// `--receive-sms` killed (SIGKILL) at several points of a 30-message reading, then read again:
// no message was deleted on the modem before it was stored, and in the end each is stored once.
TEST(InboxCommand, KillMidTransferThenSecondReading) {
    const QString child = QStringLiteral(INBOX_READER_CHILD);
    for (int deletions : {0, 1, 7, 20}) {
        PortConfig config;
        config.inbox = messages(30);
        ModemTestRig rig({config});
        rig.station.reset();
        QProcess reading;
        reading.start(child, {rig.data.path()});
        ASSERT_TRUE(reading.waitForStarted(10000));
        auto seen = [&] {
            const std::string received = rig.sim->received(0);
            std::size_t count = 0;
            for (std::size_t at = received.find("AT+CMGD="); at != std::string::npos;
                 at = received.find("AT+CMGD=", at + 1))
                ++count;
            return deletions == 0 ? received.find("AT+CPMS?") != std::string::npos : int(count) >= deletions;
        };
        QElapsedTimer guard; // only keeps a broken build from hanging
        guard.start();
        while (!seen() && !reading.waitForFinished(2) && reading.state() != QProcess::NotRunning &&
               guard.elapsed() < 60000) {
        }
        reading.kill();
        reading.waitForFinished(10000);
        const std::vector<StoredSms> afterKill = rig.sim->inbox(0);
        EXPECT_TRUE(
            std::any_of(afterKill.begin(), afterKill.end(), [](const StoredSms& m) { return !m.sender.empty(); }))
            << "killed after " << deletions << ": the reading had already ended";
        expectNoneDeletedUnstored(rig.ado()->database(), config.inbox, afterKill, "after the kill");

        QString out, err;
        QTextStream o(&out), e(&err);
        EXPECT_EQ(SmsCommands::receiveSms(rig.ado(), o, e), 0) << err.toStdString();
        for (const StoredSms& m : config.inbox)
            EXPECT_EQ(timesStored(rig.ado()->database(), m), 1) << deletions << ": " << m.text;
        EXPECT_EQ(rows(rig.ado()->database(), "SELECT COUNT(*) FROM dbSMS"), 30) << deletions;
        EXPECT_EQ(rows(rig.ado()->database(), "SELECT COUNT(*) FROM dbSMS_BUFFER"), 0) << deletions;
        for (const StoredSms& m : rig.sim->inbox(0))
            EXPECT_TRUE(m.sender.empty()) << deletions;
    }
}

INSTANTIATE_TEST_SUITE_P(Store, InboxModemOnStore, kBothStores, storeName);
