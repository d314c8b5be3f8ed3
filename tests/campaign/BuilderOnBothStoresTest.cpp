// The outbox builder on both stores around the sizes where its rows change statement (on a database server
// many rows go in one statement): every recipient once, in order, on the slots' blocks, and a build stopped
// half-way leaves the outbox as it was.
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "CampaignTestSupport.h"
#include "MissingPeer.h"
#include "PgServer.h"
#include "campaign/OutboxBuilder.h"
#include "campaign/TDM.h"

namespace {

class BuilderOnBothStores : public ::testing::TestWithParam<StoreLocation::Kind> {
protected:
    void SetUp() override {
        ado = std::make_unique<TADO>();
        if (GetParam() == StoreLocation::Kind::Postgres) {
            pg = std::make_unique<PgDatabase>();
            if (!pg->ok())
                VESTRAL_SKIP_MISSING_PEER("PostgreSQL: " << pg->why.toStdString());
            ado->setStore(pg->location());
        } else {
            ado->setStore(StoreLocation{});
        }
        const TADO::StartResult r = ado->start(dir.path());
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        setSetting(ado.get(), "BODY_SMS", "Ola [NOME]");
        setSetting(ado.get(), "CASCATA", 100);
    }
    void TearDown() override {
        ado.reset();
        pg.reset();
    }

    void addContacts(int n) {
        QSqlDatabase db = ado->database();
        ASSERT_TRUE(db.transaction());
        QSqlQuery q(db);
        q.prepare("INSERT INTO dbCLIENTE (NOME, FONE, ID_GRUPO) VALUES (?, ?, 1)");
        for (int i = 0; i < n; ++i) {
            q.addBindValue(QStringLiteral("Contato %1").arg(i, 5, 10, QLatin1Char('0')));
            q.addBindValue(QStringLiteral("1191%1").arg(i, 7, 10, QLatin1Char('0')));
            ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
        }
        ASSERT_TRUE(db.commit());
    }

    OutboxBuilder::Result build(const std::function<bool(const OutboxBuilder::Progress&)>& progress = {}) {
        TDM set(ado.get());
        EXPECT_TRUE(set.connectSource(TDM::CadastroLocal));
        set.markAll();
        OutboxBuilder builder(ado.get());
        builder.setVerificaPortas([this] {
            sql(ado.get(), "DELETE FROM dbPORTA_ATIVA");
            for (int s : {1, 2, 3})
                sql(ado.get(), "INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (?, 100)", {s});
            return true;
        });
        if (progress)
            builder.setProgress(progress);
        return builder.run(&set);
    }

    QList<QVariantList> outbox() {
        QList<QVariantList> rows;
        QSqlQuery q("SELECT FONE, PORTA FROM dbMENSAGEM ORDER BY ID", ado->database());
        while (q.next())
            rows.append({q.value(0).toString(), q.value(1).isNull() ? QVariant() : QVariant(q.value(1).toInt())});
        return rows;
    }

    QTemporaryDir dir;
    std::unique_ptr<PgDatabase> pg;
    std::unique_ptr<TADO> ado;
};

TEST_P(BuilderOnBothStores, EveryRecipientOnceInOrderWhateverTheBatch) {
    int built = 0;
    for (const int n : {1, 255, 256, 257, 513}) {
        SCOPED_TRACE(n);
        sql(ado.get(), "DELETE FROM dbCLIENTE");
        sql(ado.get(), "DELETE FROM dbMENSAGEM");
        addContacts(n);
        const OutboxBuilder::Result r = build();
        EXPECT_EQ(r.outcome, OutboxBuilder::Outcome::Done) << r.error.toStdString();
        EXPECT_EQ(r.written, n);
        const QList<QVariantList> rows = outbox();
        ASSERT_EQ(rows.size(), n);
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(rows[i][0].toString(), QStringLiteral("1191%1").arg(i, 7, 10, QLatin1Char('0'))) << i;
            // Blocks of CASCATA (100) rows per ready slot, slots 1, 2, 3 in turn; on the server, the pool that every
            // station's slots claim from (no slot).
            if (GetParam() == StoreLocation::Kind::Postgres)
                EXPECT_TRUE(rows[i][1].isNull()) << i;
            else
                EXPECT_EQ(rows[i][1].toInt(), (i / 100) % 3 + 1) << i;
        }
        built += n;
    }
    EXPECT_EQ(built, 1282);
}

// Stopped by the operator after 300 rows were built (more than a statement's worth staged): nothing reaches
// the outbox and the slots' quotas are as they were.
TEST_P(BuilderOnBothStores, CancelledBuildLeavesTheOutboxAsItWas) {
    addContacts(700);
    const OutboxBuilder::Result r = build([](const OutboxBuilder::Progress& p) { return p.visited < 300; });
    EXPECT_NE(r.outcome, OutboxBuilder::Outcome::Done);
    EXPECT_EQ(outbox().size(), 0);
}

// On the server the slots' quotas are spent when the slots claim, not by the build.
TEST_P(BuilderOnBothStores, QuotasSpentByTheBuildOnTheFileOnly) {
    addContacts(50);
    ASSERT_EQ(build().outcome, OutboxBuilder::Outcome::Done);
    QSqlQuery q("SELECT SUM(QTD) FROM dbPORTA_ATIVA", ado->database());
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), GetParam() == StoreLocation::Kind::Postgres ? 300 : 250);
}

INSTANTIATE_TEST_SUITE_P(Stores, BuilderOnBothStores, kBothStores, storeName);

} // namespace
