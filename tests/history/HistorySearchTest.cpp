#include <QCoreApplication>
#include <QSignalSpy>
#include <QThread>

#include "HistoryFixture.h"
#include "history/HistorySearch.h"
#include "history/HistoryWriter.h"
#include "store/StatusSink.h"

using namespace HistorySearch;

namespace {

struct StatementCase {
    bool period;
    Outcome outcome;
    Channel channel;
    QStringList extra; // lines between the WHERE line and ORDER BY
};

TEST(HistorySearchStatement, LinesFollowPeriodOutcomeAndChannel) {
    const QString p = "AND (dbHISTORICO.DATA BETWEEN :Inicial and :Final)";
    const QString sent = "AND (dbHISTORICO.ENVIADO = True)";
    const QString failed = "AND (dbHISTORICO.ENVIADO = False)";
    const QString sms = "AND (dbHISTORICO.TIPO = 'SMS')";
    const QString mail = "AND (dbHISTORICO.TIPO = 'E-Mail')";
    const StatementCase cases[] = {
        {false, Outcome::All, Channel::All, {}},
        {true, Outcome::All, Channel::All, {p}},
        {false, Outcome::Sent, Channel::All, {sent}},
        {false, Outcome::Failed, Channel::Email, {failed, mail}},
        {true, Outcome::Failed, Channel::Sms, {p, failed, sms}},
        {true, Outcome::Sent, Channel::Email, {p, sent, mail}},
        {false, Outcome::All, Channel::Sms, {sms}},
    };
    for (const StatementCase& c : cases) {
        Filter f;
        f.usePeriod = c.period;
        f.outcome = c.outcome;
        f.channel = c.channel;
        const QStringList expected = QStringList{"SELECT *", "FROM dbHISTORICO", "WHERE (ID_HISTORICO <> -1)"} +
                                     c.extra + QStringList{"ORDER BY DATA ASC"};
        EXPECT_EQ(statementLines(f), expected) << c.extra.join(" ").toStdString();
    }
}

TEST(HistorySearchStatement, DayFirstBoundsBecomeStoreText) {
    const std::pair<const char*, const char*> cases[] = {
        {"01-12-2026 00:00:00", "2026-12-01 00:00:00"},
        {"31-12-2026 23:59:59", "2026-12-31 23:59:59"},
        {" 29-02-2024 12:05:09 ", "2024-02-29 12:05:09"},
        {"29-02-2026 12:00:00", ""}, // no such day
        {"2026-12-01 00:00:00", ""},
        {"01-12-2026", ""},
        {"", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(storeBound(QString::fromUtf8(in)), QString::fromUtf8(out)) << in;
    EXPECT_EQ(dayFirstBound(QDate(2026, 3, 4), QTime(5, 6, 7)), "04-03-2026 05:06:07");
}

class HistorySearchDbBase : public HistoryFixture {
protected:
    void SetUp() override {
        HistoryFixture::SetUp();
        addHistory("2026-11-30 23:59:59", "1", "SMS", true);
        addHistory("2026-12-01 00:00:00", "2", "SMS", false);
        addHistory("2026-12-15 10:00:00", "(Ana) ana@x.com", "E-Mail", false);
        addHistory("2026-12-31 23:59:59", "(Bia) bia@x.com", "E-Mail", true);
        addHistory("2027-01-01 00:00:00", "5", "SMS", true);
        addHistory("2026-12-10 08:00:00", "6", "SMS", true); // inserted late, dated early
    }
    Filter december() const {
        Filter f;
        f.usePeriod = true;
        f.fromDate = QDate(2026, 12, 1);
        f.fromTime = QTime(0, 0, 0);
        f.toDate = QDate(2026, 12, 31);
        f.toTime = QTime(23, 59, 59);
        return f;
    }
    QStringList search(const Filter& f) {
        QString error;
        EXPECT_TRUE(run(ado()->dbHISTORICO, f, &error)) << error.toStdString();
        return resultColumn("DESTINATARIO");
    }
};

class HistorySearchDb : public OnBothStores<HistorySearchDbBase> {};

TEST_P(HistorySearchDb, PeriodBoundsAreInclusiveAndOrderIsByDate) {
    EXPECT_EQ(search(december()), (QStringList{"2", "6", "(Ana) ana@x.com", "(Bia) bia@x.com"}));
}

TEST_P(HistorySearchDb, UncheckedPeriodReturnsEveryRowOldestFirst) {
    Filter f = december();
    f.usePeriod = false;
    EXPECT_EQ(search(f), (QStringList{"1", "2", "6", "(Ana) ana@x.com", "(Bia) bia@x.com", "5"}));
}

TEST_P(HistorySearchDb, FromAfterToFindsNothing) {
    Filter f = december();
    std::swap(f.fromDate, f.toDate);
    EXPECT_TRUE(search(f).isEmpty());
    EXPECT_EQ(totalText(ado()->dbHISTORICO->recordCount()), "Total de Registros: 0");
}

TEST_P(HistorySearchDb, OutcomeAndChannelCombine) {
    struct Case {
        Outcome outcome;
        Channel channel;
        QStringList rows;
    } cases[] = {
        {Outcome::Failed, Channel::Email, {"(Ana) ana@x.com"}},
        {Outcome::Failed, Channel::Sms, {"2"}},
        {Outcome::Sent, Channel::Sms, {"6"}},
        {Outcome::Sent, Channel::All, {"6", "(Bia) bia@x.com"}},
        {Outcome::All, Channel::Email, {"(Ana) ana@x.com", "(Bia) bia@x.com"}},
    };
    for (const Case& c : cases) {
        Filter f = december();
        f.outcome = c.outcome;
        f.channel = c.channel;
        EXPECT_EQ(search(f), c.rows) << c.rows.join(",").toStdString();
    }
}

TEST_P(HistorySearchDb, AppendedRowJoinsFilteredResultAndPanelCountsIt) {
    Filter f = december();
    f.outcome = Outcome::Failed;
    f.channel = Channel::Email;
    ASSERT_EQ(search(f).size(), 1);
    QSignalSpy panel(StatusSink::instance(), &StatusSink::panelChanged);
    QSignalSpy count(ado(), &TADO::historyCountChanged);
    // Sent, SMS and dated now: matches none of the filters, still joins the list.
    EXPECT_EQ(HistoryWriter::append("5511999990000", "oi", HistoryWriter::kSms, true), QString());
    EXPECT_EQ(resultColumn("DESTINATARIO"), (QStringList{"(Ana) ana@x.com", "5511999990000"}));
    ASSERT_FALSE(count.isEmpty());
    EXPECT_EQ(count.last().at(0).toInt(), 2);
    ASSERT_FALSE(panel.isEmpty());
    EXPECT_EQ(panel.last().at(0).toInt(), int(StatusSink::History));
    EXPECT_EQ(panel.last().at(1).toString(), "Total SMS Histórico: 2");
    // The row is stored with its key and the table's time stamp.
    Dataset* h = ado()->dbHISTORICO;
    EXPECT_EQ(h->integer("ID_HISTORICO"), 7);
    EXPECT_FALSE(h->text("DATA").isEmpty());
    EXPECT_EQ(h->state(), Dataset::State::Browse);
    EXPECT_EQ(column("SELECT ENVIADO FROM dbHISTORICO WHERE ID_HISTORICO = 7"), QStringList{"1"});
}

TEST_P(HistorySearchDb, WriterKeepsTheRowWhenTheResultSetIsClosed) {
    ado()->dbHISTORICO->close();
    EXPECT_EQ(HistoryWriter::append("(Ana) ana@x.com", "<p>x</p>", HistoryWriter::kEmail, false), QString());
    EXPECT_EQ(column("SELECT TIPO || ':' || ENVIADO FROM dbHISTORICO WHERE ID_HISTORICO = 7"), QStringList{"E-Mail:0"});
}

TEST_P(HistorySearchDb, WriterFromAnotherThreadIsHandedToTheWindowThread) {
    ASSERT_TRUE(run(ado()->dbHISTORICO, december(), nullptr));
    QString error = "not run";
    QThread* t = QThread::create([&] { error = HistoryWriter::append("77", "x", HistoryWriter::kSms, false); });
    t->start();
    while (!t->wait(10))
        QCoreApplication::processEvents();
    delete t;
    EXPECT_EQ(error, QString());
    EXPECT_EQ(resultColumn("DESTINATARIO").last(), "77");
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Store, HistorySearchDb, kBothStores, storeName);
