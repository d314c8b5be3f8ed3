// The SMS inbox: the AT+CMGL listing read by its "+CMGL:" headers, fed through the response
// handler whole or in pieces, the transfer to dbSMS, and a reading against the simulated modem.
#include "SmsBench.h"
#include "sms/InboxListing.h"
#include "sms/SmsInbox.h"
#include "sms/SmsStation.h"

#include <gtest/gtest.h>

using namespace modemsim;

namespace {

const QByteArray kEcho = "AT+CMGL=\"ALL\"\r";
const QByteArray kThree = kEcho +
                          "\r\n+CMGL: 1,\"REC UNREAD\",\"+5511911110001\",,\"09/12/2026,08:00:00-12\"\r\nUm\r\n"
                          "+CMGL: 2,\"REC READ\",\"+5511911110002\",,\"26/12/10,09:30:15+08\"\r\nDois\r\n"
                          "+CMGL: 3,\"REC UNREAD\",\"+5511911110003\",\"Fulano\",\"11/12/2026,23:59:59-04\"\r\nTres\r\n"
                          "\r\nOK\r\n";

struct ListingCase {
    const char* name;
    QByteArray listing;
    InboxListing::State state;
    QList<InboxRecord> records;
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
        {"error answer", kEcho + "\r\n+CMS ERROR: 302\r\n", InboxListing::State::Failed, {}},
        {"plain error", kEcho + "\r\nERROR\r\n", InboxListing::State::Failed, {}},
        {"half a listing", kThree.left(120), InboxListing::State::Incomplete, {}},
    };
    for (const ListingCase& c : cases) {
        EXPECT_EQ(InboxListing::state(c.listing), c.state) << c.name;
        if (c.state != InboxListing::State::Complete)
            continue;
        const QList<InboxRecord> got = InboxListing::parse(c.listing);
        ASSERT_EQ(got.size(), c.records.size()) << c.name;
        for (int i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].codigo, c.records[i].codigo) << c.name << " #" << i;
            EXPECT_EQ(got[i].fone, c.records[i].fone) << c.name << " #" << i;
            EXPECT_EQ(got[i].data, c.records[i].data) << c.name << " #" << i;
            EXPECT_EQ(got[i].sms, c.records[i].sms) << c.name << " #" << i;
        }
    }
}

TEST(InboxListing, TimeStampsAndHeaderItems) {
    EXPECT_EQ(InboxListing::stampText("\"09/12/2026,08:00:00-12\""), "09/12/2026 08:00:00");
    EXPECT_EQ(InboxListing::receivedAt("09/12/2026 08:00:00"), QDateTime(QDate(2026, 12, 9), QTime(8, 0)));
    EXPECT_EQ(InboxListing::receivedAt("26/12/10 09:30:15"), QDateTime(QDate(2026, 12, 10), QTime(9, 30, 15)));
    EXPECT_FALSE(InboxListing::receivedAt("sem data").isValid());
    EXPECT_EQ(InboxListing::headerItems("CMGL: 1,\"REC READ\",\"+55\",,\"a,b\"\r\n"),
              (QStringList{"CMGL: 1", "\"REC READ\"", "\"+55\"", "\"a,b\""}));
    EXPECT_EQ(InboxListing::headerItems("CMGL: 1,'x,y',\"\",z"), (QStringList{"CMGL: 1", "'x,y'", "\"\"", "z"}));
}

// The reader collects slot 1's listing whatever the deliveries look like; at the final OK the
// records are staged and moved to dbSMS in the order listed.
TEST(SmsInbox, SameRowsWhateverTheDeliveries) {
    for (int piece : {0, 1, 7, 64}) {
        TempDataDir data;
        ASSERT_TRUE(data.start().ok);
        InboxMode mode;
        SmsInbox inbox(data.ado.get(), &mode);
        inbox.setPause(0);
        SlotState state;
        ResponseHandler handler(1, state, &mode);
        int beeps = 0;
        inbox.setBeep([&] { ++beeps; });
        std::optional<int> stored;
        QObject::connect(&inbox, &SmsInbox::readingEnded, [&](int n, bool) { stored = n; });
        mode.on = true;
        mode.slot = 1;
        const int step = piece == 0 ? int(kThree.size()) : piece;
        for (int at = 0; at < kThree.size(); at += step)
            EXPECT_TRUE(handler.feed(kThree.mid(at, step)).empty());
        EXPECT_FALSE(mode.on) << piece;
        ASSERT_TRUE(SmsBench::waitUntil([&] { return stored.has_value(); }, 5000)) << piece;
        EXPECT_EQ(*stored, 3);
        EXPECT_EQ(beeps, 1);
        QSqlQuery q(data.ado->database());
        q.exec("SELECT ID_SMS, RECEBIDO, ENTRADA, FONE, SMS, LIDO FROM dbSMS ORDER BY ID");
        const QStringList texts = {"Um", "Dois", "Tres"};
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(q.next()) << piece;
            EXPECT_EQ(q.value(0).toInt(), i + 1);
            EXPECT_EQ(q.value(2).toInt(), 1);
            EXPECT_EQ(q.value(4).toString(), texts[i]);
            EXPECT_EQ(q.value(5).toInt(), 0);
        }
        EXPECT_EQ(q.value(1).toString(), "2026-12-11 23:59:59");
        q.exec("SELECT COUNT(*) FROM dbSMS_BUFFER");
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), 0);
    }
}

TEST(SmsInbox, UnreadableDateAndIndexKeepTheMessage) {
    TempDataDir data;
    ASSERT_TRUE(data.start().ok);
    InboxMode mode;
    SmsInbox inbox(data.ado.get(), &mode);
    inbox.setPause(0);
    SlotState state;
    ResponseHandler handler(1, state, &mode);
    bool ended = false;
    QObject::connect(&inbox, &SmsInbox::readingEnded, [&] { ended = true; });
    mode.on = true;
    mode.slot = 1;
    handler.feed(QByteArray(kEcho + "\r\n+CMGL: x,\"REC UNREAD\",\"123\",,\"ontem\"\r\nfica inteiro\r\n\r\nOK\r\n"));
    ASSERT_TRUE(SmsBench::waitUntil([&] { return ended; }, 5000));
    QSqlQuery q(data.ado->database());
    q.exec("SELECT ID_SMS, RECEBIDO, SMS FROM dbSMS");
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 0);
    EXPECT_TRUE(q.value(1).isNull());
    EXPECT_EQ(q.value(2).toString(), "fica inteiro");
}

TEST(SmsInbox, ReadsAndDeletesTheModemsMessages) {
    PortConfig config;
    config.inbox = {{"+5511911110001", "26/12/09,08:00:00+00", "Primeira", false},
                    {"+5511911110002", "26/12/09,08:01:00+00", "Segunda\r\ncom duas linhas", false}};
    SmsBench bench;
    ASSERT_TRUE(bench.start({config, PortConfig{}}));
    SmsInbox inbox(bench.data.ado.get(), &bench.inbox);
    inbox.setChannel(bench.slots[0].channel.get());
    inbox.setPause(50);
    std::optional<int> stored;
    QObject::connect(&inbox, &SmsInbox::readingEnded, [&](int n, bool) { stored = n; });
    ASSERT_EQ(inbox.Button13Click(), SmsInbox::Start::Started);
    ASSERT_TRUE(SmsBench::waitUntil([&] { return stored.has_value(); }, 10000));
    EXPECT_EQ(*stored, 2);
    EXPECT_EQ(bench.count("dbSMS"), 2);
    SmsBench::waitUntil([&] { return bench.sim->inbox(0).empty() || bench.sim->inbox(0)[1].sender.empty(); }, 2000);
    for (const StoredSms& sms : bench.sim->inbox(0))
        EXPECT_TRUE(sms.sender.empty());
    const std::string received = bench.sim->received(0);
    EXPECT_NE(received.find("AT+CMGF=1\r\nAT+CMGL=\"ALL\"\r\n"), std::string::npos);
    EXPECT_NE(received.find("AT+CMGD=1\r\n"), std::string::npos);
    EXPECT_NE(received.find("AT+CMGD=2\r\n"), std::string::npos);
    QSqlQuery q = bench.sql("SELECT SMS, RECEBIDO FROM dbSMS ORDER BY ID");
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(1).toString(), "2026-12-09 08:00:00"); // the modem's yy/MM/dd
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toString(), "Segunda\r\ncom duas linhas");
}

TEST(SmsInbox, ClosedPortAndSilentModem) {
    PortConfig silent;
    silent.silent = true;
    SmsBench bench;
    ASSERT_TRUE(bench.start({silent}, false));
    SmsInbox inbox(bench.data.ado.get(), &bench.inbox);
    inbox.setChannel(bench.slots[0].channel.get());
    inbox.setPause(0);
    inbox.setTimeLimit(200);
    EXPECT_EQ(inbox.Button13Click(), SmsInbox::Start::PortClosed);
    bench.slots[0].channel->open();
    std::optional<bool> timedOut;
    QObject::connect(&inbox, &SmsInbox::readingEnded, [&](int, bool t) { timedOut = t; });
    ASSERT_EQ(inbox.Button13Click(), SmsInbox::Start::Started);
    EXPECT_TRUE(bench.inbox.on);
    EXPECT_EQ(inbox.Button13Click(), SmsInbox::Start::Busy);
    ASSERT_TRUE(SmsBench::waitUntil([&] { return timedOut.has_value(); }, 5000));
    EXPECT_TRUE(*timedOut);
    EXPECT_FALSE(bench.inbox.on);
}

// The clock reads slot 1's inbox at second 15 only, and not while slot 1's worker is sending.
TEST(SmsStation, ClockReadsAtSecondFifteenWhenSlotOneIsIdle) {
    SmsBench bench;
    ASSERT_TRUE(bench.start({PortConfig{}}));
    SmsStation station(bench.data.ado.get());
    station.setSlot(1, bench.slots[0].channel.get(), bench.slots[0].state.get());
    station.setInboxMode(&bench.inbox);
    station.inbox()->setPause(0);
    const QDate day(2026, 12, 9);
    auto listed = [&] { return bench.sim->received(0).find("AT+CMGL") != std::string::npos; };

    // Slot 1's worker pausing before its row (a long TEMPO_SMS): no reading.
    bench.activate({1});
    bench.setTempoSms(600000);
    bench.addRow(1, "5511900000001", "um");
    station.sender()->btEnvioSMSClick();
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
