// The claims of a shared outbox, on a PostgreSQL server: which rows a slot may claim (pool rows, expired
// claims, claims of a station gone silent — never a row in flight, never a number another slot is sending
// to), and that every later write about a row holds only under its current token.
#include "sms/OutboxClaims.h"
#include "MissingPeer.h"
#include "PgServer.h"
#include "sms/OutboxCommit.h"
#include "store/TADO.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

class OutboxClaimsTest : public ::testing::Test {
protected:
    void SetUp() override {
        pg = std::make_unique<PgDatabase>();
        if (!pg->ok())
            VESTRAL_SKIP_MISSING_PEER("PostgreSQL: " << pg->why.toStdString());
        ado = std::make_unique<TADO>();
        ado->setStore(pg->location());
        const TADO::StartResult r = ado->start(dir.path());
        ASSERT_TRUE(r.ok) << r.error.toStdString();
    }
    void TearDown() override {
        ado.reset();
        pg.reset();
    }

    void exec(const QString& sql) {
        QSqlQuery q(ado->database());
        ASSERT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    }
    QString value(const QString& sql) {
        QSqlQuery q(ado->database());
        EXPECT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        return q.next() ? q.value(0).toString() : QStringLiteral("<nenhuma>");
    }
    // A row of the outbox; `claim` is the SQL of its claim columns' values (ESTACAO, PORTA, FICHA,
    // FICHA_VALIDADE, ENVIANDO).
    qint64 row(const QString& fone, const QString& claim) {
        QSqlQuery q(ado->database());
        const QString sql = QStringLiteral("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, ESTACAO, PORTA, FICHA, "
                                           "FICHA_VALIDADE, ENVIANDO) VALUES ('%1', 'texto', %2) RETURNING ID")
                                .arg(fone, claim);
        EXPECT_TRUE(q.exec(sql) && q.next()) << sql.toStdString() << q.lastError().text().toStdString();
        return q.value(0).toLongLong();
    }
    static QString in(int seconds) {
        return QStringLiteral("to_char(localtimestamp + interval '%1 seconds', 'YYYY-MM-DD HH24:MI:SS')").arg(seconds);
    }
    void heartbeat(const QString& station, int secondsAgo) {
        exec(QStringLiteral("INSERT INTO dbESTACAO (NOME, HOST, BATIDA) VALUES ('%1', 'pc', %2)")
                 .arg(station, in(-secondsAgo)));
    }

    QTemporaryDir dir;
    std::unique_ptr<PgDatabase> pg;
    std::unique_ptr<TADO> ado;
};

// One row at a time, alone in the outbox but for the row that may stand in its way (same number).
TEST_F(OutboxClaimsTest, WhatASlotMayClaim) {
    struct Case {
        const char* name;
        QString claim;         // the row's claim columns
        QString other;         // another row to the same number ("" = none)
        int stationBHeartbeat; // seconds since station B's heartbeat (-1: B has no row in dbESTACAO)
        bool claimable;
    };
    const QString none = QStringLiteral("NULL, NULL, NULL, NULL, NULL");
    const Case cases[] = {
        {"a pool row", none, {}, -1, true},
        {"a row with a slot and no station", QStringLiteral("NULL, 3, NULL, NULL, NULL"), {}, -1, true},
        {"another station's live claim", QStringLiteral("'B', 2, 77, %1, NULL").arg(in(50)), {}, 1, false},
        {"another station's expired claim", QStringLiteral("'B', 2, 77, %1, NULL").arg(in(-1)), {}, 1, true},
        {"a live claim of a station silent for 40 s", QStringLiteral("'B', 2, 77, %1, NULL").arg(in(50)), {}, 40, true},
        {"a live claim of a station silent for 10 s",
         QStringLiteral("'B', 2, 77, %1, NULL").arg(in(50)),
         {},
         10,
         false},
        {"a live claim of a station with no heartbeat",
         QStringLiteral("'B', 2, 77, %1, NULL").arg(in(50)),
         {},
         -1,
         false},
        {"an expired claim in flight", QStringLiteral("'B', 2, 77, %1, %2").arg(in(-100), in(-90)), {}, 1, false},
        {"a silent station's row in flight", QStringLiteral("'B', 2, 77, %1, %2").arg(in(50), in(-5)), {}, 40, false},
        {"an interrupted row of its own slot",
         QStringLiteral("'A', 1, 77, %1, %2").arg(in(-100), in(-90)),
         {},
         -1,
         false},
        {"a pool row whose number is in flight elsewhere", none,
         QStringLiteral("'B', 2, 78, %1, %2").arg(in(50), in(-1)), 1, false},
        {"a pool row whose number another slot has claimed", none, QStringLiteral("'A', 2, 78, %1, NULL").arg(in(50)),
         -1, false},
        {"a pool row whose number's other claim expired", none, QStringLiteral("'B', 2, 78, %1, NULL").arg(in(-1)), 1,
         true},
        {"a pool row whose number this slot already holds", none, QStringLiteral("'A', 1, 78, %1, NULL").arg(in(50)),
         -1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        exec("DELETE FROM dbMENSAGEM");
        exec("DELETE FROM dbESTACAO");
        if (c.stationBHeartbeat >= 0)
            heartbeat("B", c.stationBHeartbeat);
        if (!c.other.isEmpty())
            row("5511900000001", c.other);
        const qint64 id = row("5511900000001", c.claim);
        QString error;
        const QList<OutboxRow> claimed = OutboxClaims::claim(ado.get(), "A", 1, 10, &error);
        EXPECT_EQ(error, QString());
        bool got = false;
        for (const OutboxRow& r : claimed)
            got = got || r.id == id;
        EXPECT_EQ(got, c.claimable);
        if (got) {
            EXPECT_EQ(value(QStringLiteral("SELECT ESTACAO || '|' || PORTA FROM dbMENSAGEM WHERE ID = %1").arg(id)),
                      "A|1");
            EXPECT_GT(claimed.first().token, 0); // a token of the sequence, not the taken claim's
            EXPECT_NE(claimed.first().token, 77);
        }
    }
}

// A batch is the cascade's size, oldest first, each row with a token of its own that only grows; the next claim
// takes the next rows.
TEST_F(OutboxClaimsTest, BatchesInOrderWithGrowingTokens) {
    for (int i = 0; i < 5; ++i)
        row(QStringLiteral("551190000000%1").arg(i), QStringLiteral("NULL, NULL, NULL, NULL, NULL"));
    QString error;
    const QList<OutboxRow> first = OutboxClaims::claim(ado.get(), "A", 1, 3, &error);
    const QList<OutboxRow> second = OutboxClaims::claim(ado.get(), "B", 1, 3, &error);
    const QList<OutboxRow> none = OutboxClaims::claim(ado.get(), "C", 1, 0, &error);
    ASSERT_EQ(first.size(), 3);
    ASSERT_EQ(second.size(), 2);
    EXPECT_TRUE(none.isEmpty());
    EXPECT_EQ(first.at(0).fone, "5511900000000");
    EXPECT_EQ(second.at(0).fone, "5511900000003");
    EXPECT_LT(first.at(0).id, first.at(2).id);
    EXPECT_LT(first.at(2).token, second.at(0).token);
    EXPECT_NE(first.at(0).token, first.at(1).token);
}

// The mark before AT+CMGS and the result after it, each under the token the worker holds.
TEST_F(OutboxClaimsTest, MarkAndResultOnlyUnderTheCurrentToken) {
    enum class Token { Current, TakenOver, Expired };
    struct Case {
        const char* name;
        Token token;
        OutboxClaims::Mark mark;
    };
    const Case cases[] = {
        {"token current", Token::Current, OutboxClaims::Mark::Marked},
        {"claim taken over by another station", Token::TakenOver, OutboxClaims::Mark::TakenOver},
        // Expired but not taken: the token is still the row's, the send goes on.
        {"claim expired, nobody took it", Token::Expired, OutboxClaims::Mark::Marked},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        exec("DELETE FROM dbMENSAGEM");
        exec("DELETE FROM dbHISTORICO");
        row("5511900000001", QStringLiteral("NULL, NULL, NULL, NULL, NULL"));
        row("5511900000002", QStringLiteral("NULL, NULL, NULL, NULL, NULL"));
        QString error;
        const QList<OutboxRow> batch = OutboxClaims::claim(ado.get(), "A", 1, 2, &error);
        ASSERT_EQ(batch.size(), 2);
        const OutboxRow& mine = batch.at(0);
        if (c.token == Token::Expired)
            exec(QStringLiteral("UPDATE dbMENSAGEM SET FICHA_VALIDADE = %1").arg(in(-5)));
        if (c.token == Token::TakenOver)
            exec(QStringLiteral("UPDATE dbMENSAGEM SET ESTACAO = 'B', FICHA = nextval('vestral_ficha') WHERE ID = %1")
                     .arg(mine.id));
        EXPECT_EQ(OutboxClaims::markInFlight(ado.get(), mine, batch.mid(1), &error), c.mark);
        EXPECT_EQ(error, QString());
        const QString marked =
            value(QStringLiteral("SELECT ENVIANDO IS NOT NULL FROM dbMENSAGEM WHERE ID = %1").arg(mine.id));
        EXPECT_EQ(marked, c.mark == OutboxClaims::Mark::Marked ? "true" : "false");
        // The row still waiting in the batch had its claim renewed with the mark.
        EXPECT_EQ(value(QStringLiteral("SELECT FICHA_VALIDADE > %1 FROM dbMENSAGEM WHERE ID = %2")
                            .arg(in(30))
                            .arg(batch.at(1).id)),
                  "true");

        // The modem answered: the history row is written either way; the outbox row goes only under the token.
        bool takenOver = false;
        const QString stored = OutboxCommit::recordResult(
            ado.get(), mine.id, mine.token,
            [&](bool refused) {
                QSqlQuery q(ado->database());
                if (!q.exec("INSERT INTO dbHISTORICO (DESTINATARIO, MENSAGEM, TIPO, ENVIADO) VALUES ('5511900000001', "
                            "'texto', 'SMS', 1)"))
                    return q.lastError().text();
                return refused ? OutboxClaims::markPossibleDuplicate(ado->database()) : QString();
            },
            false, &takenOver);
        EXPECT_EQ(stored, QString());
        const bool refusedExpected = c.token == Token::TakenOver;
        EXPECT_EQ(takenOver, refusedExpected);
        EXPECT_EQ(value(QStringLiteral("SELECT COUNT(*) FROM dbMENSAGEM WHERE ID = %1").arg(mine.id)),
                  refusedExpected ? "1" : "0");
        EXPECT_EQ(value("SELECT COUNT(*) FROM dbHISTORICO"), "1");
        EXPECT_EQ(value("SELECT COALESCE(STATUS_ENTREGA, '-') FROM dbHISTORICO"),
                  refusedExpected ? OutboxClaims::kPossibleDuplicate : QStringLiteral("-"));
    }
}

// A worker that ends before its batch's rows gives them back at once; "Reenviar Interrompidas" puts the rows in
// flight back in the pool, for any station.
TEST_F(OutboxClaimsTest, ReleaseAndResendReturnRowsToThePool) {
    for (int i = 0; i < 3; ++i)
        row(QStringLiteral("551190000000%1").arg(i), QStringLiteral("NULL, NULL, NULL, NULL, NULL"));
    QString error;
    QList<OutboxRow> batch = OutboxClaims::claim(ado.get(), "A", 1, 3, &error);
    ASSERT_EQ(batch.size(), 3);
    ASSERT_EQ(OutboxClaims::markInFlight(ado.get(), batch.at(0), {}, &error), OutboxClaims::Mark::Marked);
    batch[0].inFlight = true;
    // Another station took the third row meanwhile: the release leaves its claim alone.
    exec(QStringLiteral("UPDATE dbMENSAGEM SET ESTACAO = 'B', FICHA = nextval('vestral_ficha') WHERE ID = %1")
             .arg(batch.at(2).id));
    OutboxClaims::release(ado.get(), batch);
    EXPECT_EQ(value("SELECT string_agg(COALESCE(ESTACAO, '-') || COALESCE(PORTA::text, '-'), ',' ORDER BY ID) "
                    "FROM dbMENSAGEM"),
              "A1,--,B1");
    EXPECT_EQ(OutboxCommit::clearInFlight(ado.get(), &error), 1);
    EXPECT_EQ(value("SELECT COUNT(*) FROM dbMENSAGEM WHERE ESTACAO IS NULL AND PORTA IS NULL AND FICHA IS NULL AND "
                    "ENVIANDO IS NULL"),
              "2");
}

} // namespace
