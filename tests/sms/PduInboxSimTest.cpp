// The inbox in PDU mode against the simulated modem: a long UCS-2 message received in two parts
// becomes one dbSMS row; a message with a part that never came stays on the modem for a day on an
// injected clock, then is stored with "[parte faltando]" in the gap.
#include "SmsBench.h"
#include "sms/SmsInbox.h"

#include <gtest/gtest.h>

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
        inbox.setPause(20);
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

} // namespace

TEST(PduInboxSim, TwoPartUcs2MessageBecomesOneRow) {
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

TEST(PduInboxSim, MissingPartStaysADayThenIsStoredWithTheGap) {
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
