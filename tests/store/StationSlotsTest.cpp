#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>

#include "TempDataDir.h"
#include "store/Schema.h"
#include "store/Station.h"

namespace {

// A name with quotes, a backslash and accents, 64 characters long: it must reach the store only as a bound value.
const QString kOdd = QStringLiteral("Balcão 'A'; \\\"ção\" -- ") + QString(42, QChar(0x00E7));

int scalar(QSqlDatabase db, const QString& sql, const QVariantList& binds = {}) {
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant& v : binds)
        q.addBindValue(v);
    EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString() << " : " << sql.toStdString();
    return q.next() ? q.value(0).toInt() : -1;
}

class StationSlots : public StoreParam {
protected:
    void TearDown() override { Station::setCurrent(QString()); }

    // Starts the data module of `d` as `station` on the store of this run (the same database each time).
    TADO::StartResult startAs(TempDataDir& d, const QString& station, const StoreLocation& where) {
        Station::setCurrent(station);
        return d.start(where);
    }
};

// Each station sees and edits only its own 64 slots, and its own active list, though their numbers are the same.
// On the file (one station) a renamed machine keeps the slots it had.
TEST_P(StationSlots, AStationSeesOnlyItsOwnSlotsAndARenamedFileKeepsThem) {
    ASSERT_EQ(kOdd.size(), Station::kMaxName);
    ASSERT_TRUE(Station::validate(kOdd).isEmpty());
    const bool shared = GetParam() == StoreLocation::Kind::Postgres;
    std::shared_ptr<PgDatabase> pg;
    StoreLocation where;
    if (shared) {
        pg = std::make_shared<PgDatabase>();
        ASSERT_TRUE(pg->ok()) << pg->why.toStdString();
        where = pg->location();
    }
    TempDataDir first;
    {
        auto r = startAs(first, kOdd, where);
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        Dataset* ports = first.ado->dbPORTA;
        ASSERT_TRUE(ports->fetchAll());
        EXPECT_EQ(ports->recordCount(), 64);
        ports->locate("ID", 3);
        ports->edit();
        ports->setValue("LIMITE_DIA", 77);
        ASSERT_TRUE(ports->post()) << ports->lastError().toStdString();
        QSqlQuery q(first.ado->database());
        q.prepare("INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD, ESTACAO) VALUES (3, 10, ?)");
        q.addBindValue(kOdd);
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
        first.ado->releaseThreadConnection();
        first.ado.reset();
    }
    TempDataDir second;
    if (!shared)
        QFile::copy(QDir(first.path()).filePath("BDSMS.db"), QDir(second.path()).filePath("BDSMS.db"));
    auto r = startAs(second, QStringLiteral("fundos"), where);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    QSqlDatabase db = second.ado->database();
    Dataset* ports = second.ado->dbPORTA;
    ASSERT_TRUE(ports->fetchAll());
    EXPECT_EQ(ports->recordCount(), 64);
    ASSERT_TRUE(ports->locate("ID", 3));
    EXPECT_EQ(ports->integer("LIMITE_DIA"), shared ? 0 : 77);
    EXPECT_EQ(ports->text("ESTACAO"), QStringLiteral("fundos"));
    EXPECT_EQ(second.ado->dbPORTA_ATIVA->recordCount(), shared ? 0 : 1);
    // The other station's rows are where it left them, its name intact.
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM dbPORTA WHERE ESTACAO = ?", {kOdd}), shared ? 64 : 0);
    EXPECT_EQ(scalar(db, "SELECT LIMITE_DIA FROM dbPORTA WHERE ESTACAO = ? AND ID = 3", {kOdd}), shared ? 77 : -1);
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM dbPORTA"), shared ? 128 : 64);
    // An edit here reaches this station's slot only.
    ports->edit();
    ports->setValue("LIMITE_DIA", 5);
    ASSERT_TRUE(ports->post()) << ports->lastError().toStdString();
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM dbPORTA WHERE LIMITE_DIA = 5"), 1);
    // Started again, a station adds no second set of slots.
    ASSERT_TRUE(Schema::adoptStationSlots(db, QStringLiteral("fundos"), nullptr));
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM dbPORTA"), shared ? 128 : 64);
    second.ado->releaseThreadConnection();
}

INSTANTIATE_TEST_SUITE_P(Store, StationSlots, kBothStores, storeName);

} // namespace
