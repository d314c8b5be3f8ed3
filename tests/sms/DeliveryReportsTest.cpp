#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>

#include "TempDataDir.h"
#include "sms/DeliveryReports.h"
#include "store/Station.h"

namespace {

using Kind = DeliveryReports::Kind;

const QDateTime kT0(QDate(2026, 3, 2), QTime(10, 0, 0));

QDateTime at(int secs) {
    return kT0.addSecs(secs);
}

// A report as the decoder gives it: the centre took the part at `centre`, the phone got it at `discharge`.
pdu::StatusReport report(int ref, std::uint8_t status, int centre, int discharge = -1) {
    pdu::StatusReport r;
    r.reference = ref;
    r.status = status;
    r.state = pdu::deliveryState(status);
    r.statusText = pdu::deliveryStatusText(status);
    r.centreTime.time = at(centre);
    r.dischargeTime.time = at(discharge < 0 ? centre + 5 : discharge);
    return r;
}

class DeliveryReportsTestBase : public ::testing::Test {
protected:
    void SetUp() override { VESTRAL_START_STORE(d, storeKind()); }
    // The store the test runs on: the SQLite file unless the test runs on both (OnBothStores).
    virtual StoreLocation::Kind storeKind() const { return StoreLocation::Kind::Sqlite; }
    QSqlDatabase db() { return d.ado->database(); }

    qint64 history(const QString& fone) {
        QSqlQuery q(db());
        q.prepare("INSERT INTO dbHISTORICO (DESTINATARIO, MENSAGEM, TIPO, ENVIADO) VALUES (?, 'oi', 'SMS', 1)");
        q.addBindValue(fone);
        EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString();
        // The newest key: QPSQL has no insert id for a table without OIDs.
        EXPECT_TRUE(q.exec("SELECT MAX(ID_HISTORICO) FROM dbHISTORICO") && q.next());
        return q.value(0).toLongLong();
    }
    qint64 sent(int porta, const QList<int>& refs, int secs, const QString& fone = "11999990000") {
        const qint64 id = history(fone);
        QSqlDatabase conn = db();
        QString error;
        EXPECT_TRUE(DeliveryReports::remember(conn, porta, refs, id, &error, at(secs))) << error.toStdString();
        return id;
    }
    DeliveryReports::Outcome apply(int porta, const pdu::StatusReport& r, int nowSecs) {
        QSqlDatabase conn = db();
        return DeliveryReports::apply(conn, porta, r, at(nowSecs));
    }
    // "STATUS_ENTREGA|ENTREGUE" of a history row.
    QString state(qint64 id) {
        QSqlQuery q(db());
        q.prepare("SELECT STATUS_ENTREGA, ENTREGUE FROM dbHISTORICO WHERE ID_HISTORICO = ?");
        q.addBindValue(id);
        EXPECT_TRUE(q.exec() && q.next());
        return q.value(0).toString() + "|" + q.value(1).toString();
    }
    int rows() {
        QSqlQuery q(db());
        EXPECT_TRUE(q.exec("SELECT COUNT(*) FROM dbENTREGA_PENDENTE") && q.next());
        return q.value(0).toInt();
    }

    TempDataDir d;
};

class DeliveryReportsTest : public OnBothStores<DeliveryReportsTestBase> {};

TEST_P(DeliveryReportsTest, UnknownReferenceIsHeldThenLoggedAndDroppedChangingNothing) {
    const qint64 other = sent(1, {8}, 0);
    auto out = apply(1, report(7, 0x00, 2), 10);
    EXPECT_EQ(out.kind, Kind::Held);
    EXPECT_TRUE(out.logLine.isEmpty());
    EXPECT_EQ(state(other), "Pendente|");
    // The same reference on another slot is another modem's count.
    EXPECT_EQ(apply(2, report(8, 0x00, 2), 10).kind, Kind::Held);
    EXPECT_EQ(state(other), "Pendente|");
    QSqlDatabase conn = db();
    EXPECT_TRUE(DeliveryReports::expire(conn, at(10 + DeliveryReports::kHoldSeconds)).isEmpty());
    const QStringList lines = DeliveryReports::expire(conn, at(11 + DeliveryReports::kHoldSeconds));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "02/03/2026 10:02:11 ENTRADA 1 RELATÓRIO DE ENTREGA ID 7 SEM ENVIO CORRESPONDENTE: DESCARTADO");
    EXPECT_EQ(rows(), 1);
}

TEST_P(DeliveryReportsTest, RepeatedOrLateReportNeverChangesAFinalPart) {
    const qint64 id = sent(1, {5}, 0);
    auto out = apply(1, report(5, 0x00, 1, 30), 31);
    EXPECT_EQ(out.kind, Kind::Applied);
    EXPECT_EQ(out.logLine, "02/03/2026 10:00:31 ENTRADA 1 RELATÓRIO DE ENTREGA PARA 11999990000 ID 5: Entregue");
    EXPECT_EQ(state(id), "Entregue|2026-03-02 10:00:30");
    EXPECT_EQ(apply(1, report(5, 0x00, 1, 40), 41).kind, Kind::Repeated);
    EXPECT_EQ(apply(1, report(5, 0x41, 1, 50), 51).kind, Kind::Repeated);
    EXPECT_EQ(apply(1, report(5, 0x21, 1, 60), 61).kind, Kind::Repeated);
    EXPECT_EQ(state(id), "Entregue|2026-03-02 10:00:30");
}

TEST_P(DeliveryReportsTest, ReportBeforeItsSendWasRecordedIsAdopted) {
    EXPECT_EQ(apply(3, report(42, 0x00, 1, 4), 5).kind, Kind::Held);
    const qint64 id = sent(3, {42}, 0);
    EXPECT_EQ(state(id), "Entregue|2026-03-02 10:00:04");
    EXPECT_EQ(rows(), 1);
}

TEST_P(DeliveryReportsTest, WrappedReferenceMatchesTheNewestSendOnly) {
    const qint64 old = sent(1, {9}, 0);
    const qint64 renewed = sent(1, {9}, 20 * 60); // 256 sends later
    const auto stale = apply(1, report(9, 0x00, 1), 20 * 60 + 5);
    EXPECT_EQ(stale.kind, Kind::Stale);
    EXPECT_TRUE(stale.logLine.endsWith("ENTRADA 1 RELATÓRIO DE ENTREGA ID 9 DE UM ENVIO ANTERIOR: DESCARTADO"));
    EXPECT_EQ(state(old), "Pendente|");
    EXPECT_EQ(state(renewed), "Pendente|");
    EXPECT_EQ(apply(1, report(9, 0x00, 20 * 60 + 2), 20 * 60 + 9).kind, Kind::Applied);
    EXPECT_EQ(state(renewed), "Entregue|2026-03-02 10:20:07");
    EXPECT_EQ(state(old), "Pendente|");
}

TEST_P(DeliveryReportsTest, ReportOfANewerSendNotYetRecordedIsNotTakenByTheOlderRow) {
    const qint64 old = sent(1, {9}, 0);
    EXPECT_EQ(apply(1, report(9, 0x00, 30 * 60), 30 * 60 + 5).kind, Kind::Held);
    EXPECT_EQ(state(old), "Pendente|");
    const qint64 renewed = sent(1, {9}, 30 * 60 - 1);
    EXPECT_EQ(state(renewed), "Entregue|2026-03-02 10:30:05");
    EXPECT_EQ(rows(), 1);
}

TEST_P(DeliveryReportsTest, FailureOfPartTwoOfThreeFailsTheMessage) {
    const qint64 id = sent(1, {10, 11, 12}, 0);
    EXPECT_EQ(apply(1, report(10, 0x00, 1), 10).statusEntrega, "Pendente");
    const auto failed = apply(1, report(11, 0x41, 1), 11);
    EXPECT_EQ(failed.statusEntrega, "Falhou: destino incompatível");
    EXPECT_EQ(apply(1, report(12, 0x00, 1), 12).statusEntrega, "Falhou: destino incompatível");
    EXPECT_EQ(state(id), "Falhou: destino incompatível|");
}

TEST_P(DeliveryReportsTest, PendingThenDeliveredAndPartsOutOfOrder) {
    const qint64 id = sent(1, {254, 255, 0}, 0); // the reference wraps inside one message
    EXPECT_EQ(apply(1, report(255, 0x21, 1), 5).statusEntrega, "Pendente");
    EXPECT_EQ(apply(1, report(0, 0x00, 1, 50), 51).statusEntrega, "Pendente");
    EXPECT_EQ(apply(1, report(254, 0x00, 1, 20), 52).statusEntrega, "Pendente");
    QSqlDatabase conn = db();
    EXPECT_EQ(DeliveryReports::outstanding(conn, at(0)), 1);
    EXPECT_EQ(DeliveryReports::outstanding(conn, at(1)), 0); // sent before the run began
    const auto done = apply(1, report(255, 0x00, 1, 40), 60);
    EXPECT_EQ(done.kind, Kind::Applied);
    EXPECT_EQ(state(id), "Entregue|2026-03-02 10:00:50"); // the latest part's delivery
    EXPECT_EQ(DeliveryReports::outstanding(conn, at(0)), 0);
}

TEST_P(DeliveryReportsTest, AMessageWhosePartWasOverwrittenByAWrapNeverReadsDelivered) {
    const qint64 id = sent(1, {1, 2}, 0);
    sent(1, {2}, 15 * 60);
    EXPECT_EQ(apply(1, report(1, 0x00, 1), 10).statusEntrega, "Pendente");
    EXPECT_EQ(state(id), "Pendente|");
}

// Two stations on one store count their modems' references on their own: the same slot number and the same
// reference, for different numbers and for the same number. Each report reaches only its own station's send,
// and one station's new send of a reference never drops the other's awaited row.
TEST_P(DeliveryReportsTest, SameSlotAndReferenceOnTwoStationsNeverCross) {
    struct StationGuard {
        QString before = Station::current();
        ~StationGuard() { Station::setCurrent(before); }
    } guard;
    for (const bool sameNumber : {false, true}) {
        SCOPED_TRACE(sameNumber ? "same number" : "different numbers");
        const int ref = sameNumber ? 21 : 20;
        Station::setCurrent("estacao-a");
        const qint64 a = sent(1, {ref}, 0, "11999990001");
        Station::setCurrent("estacao-b");
        const qint64 b = sent(1, {ref}, 3, sameNumber ? "11999990001" : "11999990002");
        EXPECT_EQ(state(a), "Pendente|");
        // B's report: only B's row.
        EXPECT_EQ(apply(1, report(ref, 0x41, 4), 10).kind, Kind::Applied);
        EXPECT_EQ(state(b), "Falhou: destino incompatível|");
        EXPECT_EQ(state(a), "Pendente|");
        // A's report, later: A's row, and B's failure stays.
        Station::setCurrent("estacao-a");
        EXPECT_EQ(apply(1, report(ref, 0x00, 2, 7), 12).kind, Kind::Applied);
        EXPECT_EQ(state(a), "Entregue|2026-03-02 10:00:07");
        EXPECT_EQ(state(b), "Falhou: destino incompatível|");
    }
    // A report no station of its own sent is held, not given to the other station's send.
    Station::setCurrent("estacao-c");
    EXPECT_EQ(apply(1, report(20, 0x00, 3), 14).kind, Kind::Held);
    // A row remembered before rows carried their station (an upgraded store) is matched by the station at hand.
    const qint64 older = sent(2, {40}, 0);
    QSqlQuery(db()).exec("UPDATE dbENTREGA_PENDENTE SET ESTACAO = NULL WHERE REFERENCIA = 40");
    Station::setCurrent("estacao-d");
    EXPECT_EQ(apply(2, report(40, 0x00, 2), 15).kind, Kind::Applied);
    EXPECT_EQ(state(older), "Entregue|2026-03-02 10:00:07");
}

// A report names the number it is about: one for another number than the newest send of its reference on the slot
// is not that send's (an older send of the wrapped reference, or one not recorded yet), whatever its time says.
// The number is compared on its last eight digits, as the centre may write it with the country code.
TEST_P(DeliveryReportsTest, AReportForAnotherNumberIsNotTakenByTheSendOfItsReference) {
    const qint64 id = sent(1, {30}, 0, "11999990001");
    auto r = report(30, 0x00, 2);
    r.recipient.number = "+5511988887777";
    EXPECT_EQ(apply(1, r, 10).kind, Kind::Held);
    EXPECT_EQ(state(id), "Pendente|");
    r.recipient.number = "+5511999990001";
    EXPECT_EQ(apply(1, r, 11).kind, Kind::Applied);
    EXPECT_EQ(state(id), "Entregue|2026-03-02 10:00:07");
    // A short code or an empty number is not judged.
    const qint64 shortCode = sent(1, {31}, 0, "28888");
    r.reference = 31;
    r.recipient.number = "28888";
    EXPECT_EQ(apply(1, r, 12).kind, Kind::Applied);
    EXPECT_EQ(state(shortCode), "Entregue|2026-03-02 10:00:07");
}

// A report held because its send was not recorded yet names its number too: a send of the same reference to
// another number (the modem reused it, or the report is of a send this station never recorded) does not adopt it;
// the send it names does, and one with no number or a short code is not judged.
TEST_P(DeliveryReportsTest, AHeldReportIsAdoptedOnlyByASendToItsNumber) {
    struct Case {
        const char* name;
        const char* reported;
        const char* sentTo;
        bool adopted;
    };
    const Case cases[] = {
        {"another number", "+5511988887777", "11999990001", false},
        {"the same number, with the country code", "+5511999990001", "11999990001", true},
        {"the same number, as typed", "11999990001", "11999990001", true},
        {"a report without a number", "", "11999990001", true},
        {"a short code", "28888", "11999990001", true},
    };
    int ref = 40;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = report(++ref, 0x00, 1, 4);
        r.recipient.number = c.reported;
        EXPECT_EQ(apply(2, r, 5).kind, Kind::Held);
        const qint64 id = sent(2, {ref}, 0, c.sentTo);
        EXPECT_EQ(state(id), c.adopted ? "Entregue|2026-03-02 10:00:04" : "Pendente|");
    }
}

TEST_P(DeliveryReportsTest, BadReferenceOrDatabaseErrorKeepsNothing) {
    const qint64 id = history("1");
    QSqlDatabase conn = db();
    QString error;
    for (const int bad : {256, -1, 1000000}) {
        error.clear();
        EXPECT_FALSE(DeliveryReports::remember(conn, 1, {3, bad}, id, &error, at(0)));
        EXPECT_TRUE(error.contains("inválida")) << error.toStdString();
    }
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(state(id), "|");
    // Remembered inside the caller's transaction: its rollback takes the references with it.
    ASSERT_TRUE(conn.transaction());
    EXPECT_TRUE(DeliveryReports::remember(conn, 1, {3}, id, &error, at(0)));
    ASSERT_TRUE(conn.rollback());
    EXPECT_EQ(rows(), 0);
    QSqlQuery(conn).exec("DROP TABLE dbENTREGA_PENDENTE");
    EXPECT_FALSE(DeliveryReports::remember(conn, 1, {3}, id, &error, at(0)));
    const auto out = DeliveryReports::apply(conn, 1, report(3, 0, 1), at(9));
    EXPECT_EQ(out.kind, Kind::Failed);
    EXPECT_TRUE(out.logLine.contains("ENTRADA 1 RELATÓRIO DE ENTREGA ID 3 NÃO GRAVADO: ")) << out.logLine.toStdString();
}

TEST_P(DeliveryReportsTest, RowsExpireAfterTheKeepDays) {
    const qint64 id = sent(1, {4}, 0);
    QSqlDatabase conn = db();
    DeliveryReports::expire(conn, at(DeliveryReports::kKeepDays * 86400));
    EXPECT_EQ(rows(), 1);
    DeliveryReports::expire(conn, at(DeliveryReports::kKeepDays * 86400 + 1));
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(apply(1, report(4, 0x00, 1), DeliveryReports::kKeepDays * 86400 + 2).kind, Kind::Held);
    EXPECT_EQ(state(id), "Pendente|");
}

// --send-outbox's wait after its workers: ends at the last report, after 10 s, or at once when nothing is awaited.
TEST(DeliveryReportsWait, EndsWhenEveryReportCameOrTenSecondsPassed) {
    const struct {
        int outstanding;
        int msSinceLastSend;
        bool over;
    } cases[] = {{0, 0, true},     {-1, 0, true},      {3, 0, false},    {1, 9999, false},
                 {1, 10000, true}, {255, 60000, true}, {1, -5000, false}};
    for (const auto& c : cases) {
        const QDateTime now = kT0.addMSecs(c.msSinceLastSend);
        EXPECT_EQ(DeliveryReports::waitOver(c.outstanding, kT0, now), c.over)
            << c.outstanding << " " << c.msSinceLastSend;
    }
    EXPECT_TRUE(DeliveryReports::waitOver(1, QDateTime(), kT0));
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Store, DeliveryReportsTest, kBothStores, storeName);
