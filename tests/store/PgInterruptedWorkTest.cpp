// An outbox build and a contacts import on a PostgreSQL store whose server is killed (pg_ctl stop -m immediate)
// and started again in the middle: all or nothing reaches the tables, the operator is told the connection was
// lost, and the same work done again afterwards goes through on a new connection.
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "CuttingProxy.h"
#include "MissingPeer.h"
#include "PgServer.h"
#include "campaign/OutboxBuilder.h"
#include "campaign/TDM.h"
#include "contacts/ContactImport.h"
#include "contacts/ImportPreviewModel.h"
#include "contacts/TransferStatus.h"
#include "store/TADO.h"

namespace {

const QString kLost = QStringLiteral("Conexão com o banco de dados perdida: ");

class PgInterrupted : public ::testing::Test {
protected:
    void SetUp() override {
        if (!db.ok())
            VESTRAL_SKIP_MISSING_PEER("PostgreSQL: " << db.why.toStdString());
        ado = std::make_unique<TADO>();
        ado->setStore(db.location());
        const auto r = ado->start(dir.path());
        ASSERT_TRUE(r.ok) << r.error.toStdString();
    }
    void TearDown() override {
        QString why;
        if (db.ok()) {
            EXPECT_TRUE(db.server->running() || db.server->start(&why)) << why.toStdString();
        }
        ado.reset();
    }
    void restart() {
        QString why;
        ASSERT_TRUE(db.server->stop(&why)) << why.toStdString();
        ASSERT_TRUE(db.server->start(&why)) << why.toStdString();
    }
    int count(const QString& sql) { return db.server->scalar(db.name, sql).toInt(); }

    PgDatabase db;
    QTemporaryDir dir;
    std::unique_ptr<TADO> ado;
};

TEST_F(PgInterrupted, AnOutboxBuildWhoseServerDiesWritesNoRowAndTheNextBuildWritesThemAll) {
    const int contacts = 2 * OutboxBuilder::kProgressEvery + 10;
    ASSERT_TRUE(db.server->exec(db.name, QStringLiteral("INSERT INTO dbCLIENTE (NOME, FONE, ID_GRUPO, DESATIVADO) "
                                                        "SELECT 'C' || g, '5511' || lpad(g::text, 8, '0'), 1, 0 "
                                                        "FROM generate_series(1, %1) g; UPDATE dbCFG SET BODY_SMS = "
                                                        "'Ola [NOME]'")
                                             .arg(contacts)));
    ado->dbCFG->refresh();
    for (const bool serverDies : {true, false}) {
        SCOPED_TRACE(serverDies ? "server dies" : "server stays");
        TDM set(ado.get());
        ASSERT_TRUE(set.connectSource(TDM::CadastroLocal));
        set.markAll();
        OutboxBuilder builder(ado.get());
        builder.setVerificaPortas([this] {
            QSqlQuery q(ado->database());
            return q.exec("DELETE FROM dbPORTA_ATIVA") &&
                   q.exec(QStringLiteral("INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (1, 100000)"));
        });
        bool died = false;
        builder.setProgress([&](const OutboxBuilder::Progress&) {
            if (serverDies && !died) {
                died = true;
                restart();
            }
            return true;
        });
        const OutboxBuilder::Result r = builder.run(&set);
        if (serverDies) {
            EXPECT_TRUE(died);
            EXPECT_EQ(r.outcome, OutboxBuilder::Outcome::Failed);
            EXPECT_TRUE(r.error.startsWith(kLost)) << r.error.toStdString();
            EXPECT_EQ(r.error.indexOf(PgServer::kPassword), -1);
            EXPECT_EQ(r.written, 0);
            EXPECT_EQ(count("SELECT count(*) FROM dbmensagem"), 0);
            EXPECT_EQ(count("SELECT qtd FROM dbporta_ativa WHERE entrada = 1"), 100000);
        } else {
            EXPECT_EQ(r.outcome, OutboxBuilder::Outcome::Done) << r.error.toStdString();
            EXPECT_EQ(r.written, contacts);
            EXPECT_EQ(count("SELECT count(*) FROM dbmensagem"), contacts);
            EXPECT_EQ(count("SELECT count(DISTINCT fone) FROM dbmensagem"), contacts);
        }
    }
}

// The server dies while the import's transaction is open, with rows of earlier statements written in it: a
// trigger holds the insert of contact 300 until the test has stopped the server. The save fails while the server
// is still away; the next save, once it is back, reconnects and stores every row once.
TEST_F(PgInterrupted, AnImportWhoseServerDiesStoresNothingAndSayingItAgainStoresEveryRowOnce) {
    const int rows = 600;
    const QString path = dir.filePath("contatos.csv");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("NOME,TELEFONE,EMAIL,TEXTO,TEXTO0,TEXTO1,TEXTO2,TEXTO3,TEXTO4,TEXTO5,TEXTO6,TEXTO7,TEXTO8,TEXTO9\n");
        for (int i = 1; i <= rows; ++i)
            f.write(QStringLiteral("Contato %1,5511%2,,,,,,,,,,,,\n").arg(i).arg(i, 8, 10, QChar('0')).toUtf8());
    }
    ASSERT_TRUE(db.server->exec(
        db.name, "CREATE FUNCTION segura() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF NEW.NOME = 'Contato 300' "
                 "THEN PERFORM pg_sleep(60); END IF; RETURN NEW; END $$; CREATE TRIGGER segura BEFORE INSERT ON "
                 "dbCLIENTE FOR EACH ROW EXECUTE FUNCTION segura()"));
    TransferStatus status;
    ContactImport import(&status);
    ASSERT_EQ(import.read(path).outcome, ContactImport::ReadOutcome::Finished);
    const int listed = int(import.preview()->rows().size());
    ASSERT_GE(listed, rows);
    std::thread killer([this] {
        for (int i = 0; i < 600 && db.server->scalar(db.name, "SELECT count(*) FROM pg_stat_activity WHERE "
                                                              "wait_event = 'PgSleep'") != "1";
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        restart();
        EXPECT_TRUE(db.server->exec(db.name, "DROP TRIGGER segura ON dbCLIENTE"));
    });
    const ContactImport::SaveResult first = import.save(ado.get(), 1);
    killer.join();
    EXPECT_FALSE(first.ok());
    EXPECT_TRUE(first.error.startsWith(kLost)) << first.error.toStdString();
    EXPECT_EQ(first.saved, 0);
    EXPECT_EQ(count("SELECT count(*) FROM dbcliente"), 0) << "the save is all or nothing, never a part of it";
    EXPECT_EQ(int(import.preview()->rows().size()), listed) << "every row waits for the next save";

    const ContactImport::SaveResult again = import.save(ado.get(), 1);
    EXPECT_TRUE(again.ok()) << "again: " << again.error.toStdString();
    EXPECT_EQ(again.saved, listed);
    EXPECT_EQ(count("SELECT count(*) FROM dbcliente"), listed);
    EXPECT_EQ(count("SELECT count(DISTINCT fone) FROM dbcliente"), listed);
}

// A COMMIT lost with the connection, on its way to the server (nothing stored) or on its way back (all stored,
// but the broken connection cannot say so): the build and the import tell which, from the server, so a stored
// build is not reported as failed and done again, and a lost one is reported and stores nothing.
TEST_F(PgInterrupted, ACommitLostWithTheConnectionIsReportedAsWhatTheServerDid) {
    const int contacts = 40;
    const int rows = 300;
    ASSERT_TRUE(db.server->exec(db.name, QStringLiteral("INSERT INTO dbCLIENTE (NOME, FONE, ID_GRUPO, DESATIVADO) "
                                                        "SELECT 'C' || g, '5511' || lpad(g::text, 8, '0'), 1, 0 "
                                                        "FROM generate_series(1, %1) g; UPDATE dbCFG SET BODY_SMS = "
                                                        "'Ola [NOME]'")
                                             .arg(contacts)));
    const QString path = dir.filePath("contatos.csv");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("NOME,TELEFONE,EMAIL,TEXTO,TEXTO0,TEXTO1,TEXTO2,TEXTO3,TEXTO4,TEXTO5,TEXTO6,TEXTO7,TEXTO8,TEXTO9\n");
        for (int i = 1; i <= rows; ++i)
            f.write(QStringLiteral("Importado %1,5521%2,,,,,,,,,,,,\n").arg(i).arg(i, 8, 10, QChar('0')).toUtf8());
    }
    struct Case {
        const char* name;
        CuttingProxy::Direction cut;
        bool stored;
    };
    const Case cases[] = {
        {"the COMMIT never reaches the server", CuttingProxy::Direction::ToServer, false},
        {"the COMMIT's answer never comes back", CuttingProxy::Direction::ToClient, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(
            db.server->exec(db.name, "DELETE FROM dbMENSAGEM; DELETE FROM dbCLIENTE WHERE NOME !~ '^C[0-9]+$'"));
        CuttingProxy proxy(db.server->port());
        ASSERT_GT(proxy.port(), 0);
        StoreLocation through = db.location();
        through.port = proxy.port();
        ado.reset();
        ado = std::make_unique<TADO>();
        ado->setStore(through);
        const auto started = ado->start(dir.path());
        ASSERT_TRUE(started.ok) << started.error.toStdString();

        {
            TDM set(ado.get());
            ASSERT_TRUE(set.connectSource(TDM::CadastroLocal));
            set.markAll();
            OutboxBuilder builder(ado.get());
            builder.setVerificaPortas([this] {
                QSqlQuery q(ado->database());
                return q.exec("DELETE FROM dbPORTA_ATIVA") &&
                       q.exec(QStringLiteral("INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (1, 100000)"));
            });
            proxy.arm(c.cut, "COMMIT", "COPY dbMENSAGEM");
            const OutboxBuilder::Result r = builder.run(&set);
            EXPECT_EQ(proxy.cuts(), 1);
            if (c.stored) {
                EXPECT_EQ(r.outcome, OutboxBuilder::Outcome::Done) << r.error.toStdString();
                EXPECT_EQ(r.written, contacts);
            } else {
                EXPECT_EQ(r.outcome, OutboxBuilder::Outcome::Failed);
                EXPECT_TRUE(r.error.startsWith(kLost)) << r.error.toStdString();
                EXPECT_EQ(r.written, 0);
            }
            EXPECT_EQ(count("SELECT count(*) FROM dbmensagem"), c.stored ? contacts : 0);
            EXPECT_EQ(count("SELECT count(DISTINCT fone) FROM dbmensagem"), c.stored ? contacts : 0);
        }
        {
            TransferStatus status;
            ContactImport import(&status);
            ASSERT_EQ(import.read(path).outcome, ContactImport::ReadOutcome::Finished);
            const int listed = int(import.preview()->rows().size());
            proxy.arm(c.cut, "COMMIT", "INSERT INTO dbCLIENTE");
            const ContactImport::SaveResult saved = import.save(ado.get(), 1);
            EXPECT_EQ(proxy.cuts(), 2);
            const int imported = count("SELECT count(*) FROM dbcliente WHERE nome !~ '^C[0-9]+$'");
            if (c.stored) {
                EXPECT_TRUE(saved.ok()) << saved.error.toStdString();
                EXPECT_EQ(saved.saved, listed);
                EXPECT_EQ(imported, listed);
                EXPECT_EQ(int(import.preview()->rows().size()), 0) << "nothing waits to be saved again";
            } else {
                EXPECT_FALSE(saved.ok());
                EXPECT_TRUE(saved.error.startsWith(kLost)) << saved.error.toStdString();
                EXPECT_EQ(saved.saved, 0);
                EXPECT_EQ(imported, 0);
                EXPECT_EQ(int(import.preview()->rows().size()), listed) << "every row waits for the next save";
            }
        }
        ado.reset();
    }
}

} // namespace
