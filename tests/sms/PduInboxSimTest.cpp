// The inbox in PDU mode against the simulated modem: a long UCS-2 message received in two parts
// becomes one dbSMS row; a message with a part that never came stays on the modem for a day on an
// injected clock, then is stored with "[parte faltando]" in the gap.
#include "ModemTestRig.h"
#include "SmsBench.h"
#include "sms/SmsCommands.h"
#include "sms/SmsInbox.h"
#include "store/SmsModeSettings.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTimeZone>

using namespace modemsim;

namespace {

const QDateTime kT0(QDate(2026, 12, 9), QTime(12, 0), QTimeZone(0));

struct PduReader {
    SmsInbox inbox;
    QDateTime now = kT0;
    std::optional<int> stored;

    explicit PduReader(SmsBench& bench) : inbox(bench.data.ado.get(), &bench.inbox) {
        inbox.setChannel(bench.slots[0].channel.get());
        inbox.setSettle(20);
        inbox.setPduMode([] { return true; });
        inbox.setClock([this] { return now; });
        QObject::connect(&inbox, &SmsInbox::readingEnded, [this](int n, bool) { stored = n; });
    }
    bool read() {
        stored.reset();
        if (inbox.readModemInbox() != SmsInbox::Start::Started)
            return false;
        return SmsBench::waitUntil([this] { return stored.has_value(); }, 60000);
    }
};

int onModem(SmsBench& bench) {
    int n = 0;
    for (const StoredSms& m : bench.sim->inbox(0))
        n += m.sender.empty() ? 0 : 1;
    return n;
}

QStringList texts(SmsBench& bench) {
    QStringList out;
    QSqlQuery q = bench.sql("SELECT FONE || '|' || SMS || '|' || RECEBIDO FROM dbSMS ORDER BY ID");
    while (q.next())
        out << q.value(0).toString();
    return out;
}

// Ten messages of three parts each, as a phone sends them, stored on the SIM in order.
struct LongMessages {
    std::vector<std::string> texts;
    std::vector<StoredSms> parts;
    LongMessages() {
        for (int n = 0; n < 10; ++n) {
            DeliverSpec m;
            m.sender = "+55119111100" + std::to_string(10 + n);
            m.concatenated = true;
            m.reference = n;
            m.text = std::string(153, char('a' + n)) + std::string(153, char('A' + n)) + std::to_string(n);
            texts.push_back(m.text);
            for (StoredSms& part : storedParts(m))
                parts.push_back(part);
        }
    }
};

int count(const QSqlDatabase& db, const QString& sql, const QVariantList& values = {}) {
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    q.exec();
    return q.next() ? q.value(0).toInt() : -1;
}

void setPduMode(TADO* ado) {
    QString error;
    ASSERT_TRUE(writeSmsMode(ado->database(), {SmsMode::Pdu, false}, &error)) << error.toStdString();
}

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

class PduInboxSimOnStore : public StoreParam {};

TEST_P(PduInboxSimOnStore, TwoPartUcs2MessageBecomesOneRow) {
    DeliverSpec message;
    message.sender = "+5511911110001";
    message.timestamp = "26/12/09,10:20:30-12";
    message.ucs2 = true;
    message.concatenated = true;
    message.reference = 42;
    for (int i = 0; i < 20; ++i)
        message.text += "ação ";
    PortConfig config;
    config.inbox = storedParts(message);
    ASSERT_EQ(config.inbox.size(), 2u);
    SmsBench bench;
    bench.store = GetParam();
    ASSERT_TRUE(bench.start({config, PortConfig{}}));
    PduReader r(bench);
    ASSERT_TRUE(r.read());
    EXPECT_EQ(*r.stored, 1);
    EXPECT_EQ(onModem(bench), 0);
    const std::string received = bench.sim->received(0);
    EXPECT_NE(received.find("AT+CMGF=0\r\nAT+CMGL=4\r\n"), std::string::npos) << received;
    EXPECT_EQ(texts(bench),
              QStringList{"+5511911110001|" + QString::fromStdString(message.text) + "|2026-12-09 10:20:30"});
    EXPECT_EQ(bench.count("dbSMS_BUFFER"), 0);
}

TEST_P(PduInboxSimOnStore, MissingPartStaysADayThenIsStoredWithTheGap) {
    DeliverSpec message;
    message.sender = "+5511911110002";
    message.timestamp = "26/12/09,10:20:30-12";
    message.concatenated = true;
    message.reference = 7;
    message.text = std::string(153, 'a') + std::string(153, 'b') + "c";
    std::vector<StoredSms> parts = storedParts(message);
    ASSERT_EQ(parts.size(), 3u);
    parts.erase(parts.begin() + 1);
    PortConfig config;
    config.inbox = parts;
    SmsBench bench;
    bench.store = GetParam();
    ASSERT_TRUE(bench.start({config, PortConfig{}}));
    PduReader r(bench);
    for (const qint64 secs : {qint64(0), qint64(24 * 3600 - 60)}) {
        r.now = kT0.addSecs(secs);
        ASSERT_TRUE(r.read()) << secs;
        EXPECT_EQ(*r.stored, 0) << secs;
        EXPECT_EQ(onModem(bench), 2) << secs;
    }
    r.now = kT0.addSecs(24 * 3600);
    ASSERT_TRUE(r.read());
    EXPECT_EQ(*r.stored, 1);
    EXPECT_EQ(onModem(bench), 0);
    EXPECT_EQ(texts(bench),
              QStringList{"+5511911110002|" + QString(153, u'a') + "[parte faltando]c|2026-12-09 10:20:30"});
}

TEST(PduInboxCommand, ExitCodesInPduMode) {
    for (const bool listError : {false, true}) {
        PortConfig config;
        config.inbox = LongMessages().parts;
        config.listError = listError;
        ModemTestRig rig({config});
        rig.station.reset();
        setPduMode(rig.ado());
        QString out, err;
        QTextStream o(&out), e(&err);
        EXPECT_EQ(SmsCommands::receiveSms(rig.ado(), o, e), listError ? 1 : 0) << err.toStdString();
        EXPECT_TRUE(out.contains(listError ? "SMS RECEBIDOS: 0\n" : "SMS RECEBIDOS: 10\n")) << out.toStdString();
        EXPECT_TRUE(listError ? err.startsWith("Erro ao ler os SMS do modem: ") : err.isEmpty()) << err.toStdString();
        EXPECT_NE(rig.sim->received(0).find("AT+CMGF=0\r\nAT+CMGL=4\r\n"), std::string::npos);
    }
}

// `--receive-sms` in PDU mode killed (SIGKILL) after the listing and between part deletions, then
// read again: no part was deleted before its message was stored, and each message is stored once.
TEST(PduInboxCommand, KillMidDeletionThenSecondReading) {
    const QString child = QStringLiteral(INBOX_READER_CHILD);
    const LongMessages messages;
    for (std::size_t deletions : {std::size_t(0), std::size_t(1), std::size_t(8), std::size_t(20)}) {
        PortConfig config;
        config.inbox = messages.parts;
        ModemTestRig rig({config});
        rig.station.reset();
        setPduMode(rig.ado());
        QProcess reading;
        reading.start(child, {rig.data.path()});
        ASSERT_TRUE(reading.waitForStarted(10000));
        auto seen = [&] {
            const std::string received = rig.sim->received(0);
            return deletions == 0 ? received.find("AT+CMGL=4") != std::string::npos
                                  : occurrences(received, "AT+CMGD=") >= deletions;
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
        QSqlDatabase db = rig.ado()->database();
        for (std::size_t i = 0; i < afterKill.size(); ++i) {
            const std::size_t message = i / 3;
            const int stored = count(db, "SELECT COUNT(*) FROM dbSMS WHERE SMS = ?",
                                     {QString::fromStdString(messages.texts[message])});
            EXPECT_LE(stored, 1) << deletions;
            if (afterKill[i].sender.empty()) {
                EXPECT_EQ(stored, 1) << deletions << ": part " << i + 1 << " deleted, its message not stored";
            }
        }
        QString out, err;
        QTextStream o(&out), e(&err);
        EXPECT_EQ(SmsCommands::receiveSms(rig.ado(), o, e), 0) << err.toStdString();
        for (const std::string& text : messages.texts)
            EXPECT_EQ(count(db, "SELECT COUNT(*) FROM dbSMS WHERE SMS = ?", {QString::fromStdString(text)}), 1)
                << deletions << ": " << text.substr(0, 3);
        EXPECT_EQ(count(db, "SELECT COUNT(*) FROM dbSMS"), 10) << deletions;
        EXPECT_EQ(count(db, "SELECT COUNT(*) FROM dbSMS_BUFFER"), 0) << deletions;
        for (const StoredSms& m : rig.sim->inbox(0))
            EXPECT_TRUE(m.sender.empty()) << deletions;
    }
}

INSTANTIATE_TEST_SUITE_P(Store, PduInboxSimOnStore, kBothStores, storeName);
