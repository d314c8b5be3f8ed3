#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include "MissingPeer.h"
#include "PgServer.h"
#include "sms/OutboxCommit.h"
#include "store/TADO.h"

// The server gone in the middle of work: stopped as if killed (pg_ctl stop -m immediate) and started again on the
// same port. The connection of each thread is opened again on its next operation, and a result that must be stored
// once is stored once.
namespace {

class PgReconnect : public ::testing::Test {
protected:
    void SetUp() override {
        if (!db.ok())
            VESTRAL_SKIP_MISSING_PEER("PostgreSQL: " << db.why.toStdString());
        ado = std::make_unique<TADO>();
        ado->setStore(db.location());
        const auto r = ado->start(dir.path());
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        EXPECT_FALSE(ado->inTransaction());
    }
    void TearDown() override {
        if (db.ok() && !db.server->running()) {
            QString why;
            EXPECT_TRUE(db.server->start(&why)) << why.toStdString();
        }
        ado.reset();
    }
    // The server killed and back: every connection open before is dead on the client's side.
    void restart() {
        QString why;
        ASSERT_TRUE(db.server->stop(&why)) << why.toStdString();
        ASSERT_TRUE(db.server->start(&why)) << why.toStdString();
    }
    int count(const QString& sql) { return db.server->scalar(db.name, sql).toInt(); }
    qint64 addOutboxRow(const QString& phone) {
        QSqlQuery q(ado->database());
        q.prepare("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES (?, 'oi', 1) RETURNING ID");
        q.addBindValue(phone);
        EXPECT_TRUE(q.exec() && q.next()) << q.lastError().text().toStdString();
        return q.value(0).toLongLong();
    }
    // The history row as the response handler writes it, on this thread's connection.
    QString insertHistory(const QString& phone) {
        QSqlQuery q(ado->database());
        q.prepare("INSERT INTO dbHISTORICO (DESTINATARIO, TIPO, ENVIADO) VALUES (?, 'SMS', 1)");
        q.addBindValue(phone);
        return q.exec() ? QString() : q.lastError().text();
    }

    PgDatabase db;
    QTemporaryDir dir;
    std::unique_ptr<TADO> ado;
};

// One statement after the restart, on the window thread and on a worker's own connection: it runs, and so do
// the datasets of the window.
TEST_F(PgReconnect, TheNextOperationAfterARestartWorksOnEveryThread) {
    for (const bool onWorker : {false, true}) {
        SCOPED_TRACE(onWorker ? "worker thread" : "window thread");
        QString error;
        int found = -1;
        auto work = [&] {
            QSqlQuery warm(ado->database());
            if (!warm.exec("SELECT count(*) FROM dbPORTA")) {
                error = "before: " + warm.lastError().text();
                return;
            }
            warm.finish();
            restart();
            QSqlQuery q(ado->database());
            if (!q.exec("SELECT count(*) FROM dbPORTA") || !q.next())
                error = q.lastError().text();
            else
                found = q.value(0).toInt();
        };
        if (onWorker) {
            std::unique_ptr<QThread> t(QThread::create([&] {
                work();
                ado->releaseThreadConnection();
            }));
            t->start();
            ASSERT_TRUE(t->wait(120000));
        } else {
            work();
        }
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        EXPECT_EQ(found, 64);
    }
    EXPECT_TRUE(ado->dbCLIENTE->refresh()) << ado->dbCLIENTE->lastError().toStdString();
}

// The result of a send (history row plus the outbox row's removal) when the server dies under it:
// - the connection drops before the history row: retried once on a new connection, stored once;
// - the commit reached the server but its answer was lost (the outbox row is gone): not stored a second time;
// - the server stays down: a clear message naming no password, the outbox row kept for a later run.
TEST_F(PgReconnect, ASendResultIsStoredOnceWhateverMomentTheServerDies) {
    enum class Fault { BeforeHistory, AfterCommitReached, StaysDown };
    const struct {
        const char* name;
        Fault fault;
        bool stored;
    } cases[] = {{"drop before history", Fault::BeforeHistory, true},
                 {"commit reached, answer lost", Fault::AfterCommitReached, true},
                 {"server stays down", Fault::StaysDown, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString phone = QString::fromLatin1(c.name);
        const qint64 id = addOutboxRow(phone);
        int calls = 0;
        const QString error = OutboxCommit::recordResult(ado.get(), id, [&]() -> QString {
            if (++calls > 1)
                return insertHistory(phone);
            QString why;
            if (c.fault == Fault::AfterCommitReached) {
                // What the commit did on the server, then the connection goes before its answer.
                db.server->exec(db.name, QStringLiteral("INSERT INTO dbHISTORICO (DESTINATARIO, TIPO, ENVIADO) "
                                                        "VALUES ('%1', 'SMS', 1); DELETE FROM dbMENSAGEM WHERE ID = %2")
                                             .arg(phone)
                                             .arg(id));
                restart();
                return {};
            }
            EXPECT_TRUE(db.server->stop(&why)) << why.toStdString();
            if (c.fault == Fault::BeforeHistory) {
                EXPECT_TRUE(db.server->start(&why)) << why.toStdString();
            }
            return insertHistory(phone);
        });
        QString why;
        ASSERT_TRUE(db.server->running() || db.server->start(&why)) << why.toStdString();
        const int history =
            count(QStringLiteral("SELECT count(*) FROM dbhistorico WHERE destinatario = '%1'").arg(phone));
        const int outbox = count(QStringLiteral("SELECT count(*) FROM dbmensagem WHERE id = %1").arg(id));
        if (c.stored) {
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
            EXPECT_EQ(history, 1);
            EXPECT_EQ(outbox, 0);
        } else {
            EXPECT_TRUE(error.startsWith("Conexão com o banco de dados perdida: ")) << error.toStdString();
            EXPECT_EQ(error.indexOf(PgServer::kPassword), -1);
            EXPECT_EQ(history, 0);
            EXPECT_EQ(outbox, 1);
        }
    }
    // And the connection works again for the next one.
    const qint64 next = addOutboxRow("depois");
    EXPECT_EQ(OutboxCommit::recordResult(ado.get(), next, [&] { return insertHistory("depois"); }), QString());
}

} // namespace
