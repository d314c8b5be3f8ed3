#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

#include "TempDataDir.h"
#include "WaitUntil.h"
#include "store/PgSchema.h"
#include "store/StatusSink.h"
#include "store/StoreWatcher.h"

namespace {

// The window's data module and its watcher on a database of the test's own; "another station" writes to the same
// database through a connection of its own.
class StoreWatcherTest : public StoreParam {
protected:
    void SetUp() override {
        StoreParam::SetUp();
        if (IsSkipped())
            return;
        VESTRAL_START_STORE(d, GetParam());
        watcher = std::make_unique<StoreWatcher>(d.ado->store());
        QObject::connect(watcher.get(), &StoreWatcher::tablesChanged, d.ado.get(), [this](const QStringList& t) {
            ++reports;
            if (t.contains("dbCLIENTE"))
                ++contactReports;
            d.ado->rereadTables(t);
        });
        QObject::connect(d.ado->dbCLIENTE, &Dataset::afterRefresh, [this] { ++contactRereads; });
        QString error;
        other = PgSchema::connect(d.ado->store(), otherName, &error);
        ASSERT_TRUE(other.isOpen()) << error.toStdString();
        ASSERT_TRUE(watcher->start()) << watcher->error().toStdString();
    }
    void TearDown() override {
        watcher.reset();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(otherName);
    }
    // A statement of the other station (autocommit).
    void write(const QString& sql) {
        QSqlQuery q(other);
        ASSERT_TRUE(q.exec(sql)) << q.lastError().text().toStdString() << " : " << sql.toStdString();
    }
    bool holds(Dataset* ds, const QString& field, const QString& value) {
        for (int row = 0; row < ds->fetchedCount(); ++row)
            if (ds->valueAt(row, ds->fieldIndex(field)).toString() == value)
                return true;
        return false;
    }

    TempDataDir d;
    std::unique_ptr<StoreWatcher> watcher;
    const QString otherName = QStringLiteral("outra-estacao");
    QSqlDatabase other;
    int reports = 0;
    int contactReports = 0;
    int contactRereads = 0;
};

// On the file there is one program: nothing listens, nothing polls.
TEST(StoreWatcherOnTheFile, NothingRuns) {
    TempDataDir d;
    ASSERT_TRUE(d.start(StoreLocation::Kind::Sqlite).ok);
    StoreWatcher watcher(d.ado->store());
    EXPECT_FALSE(watcher.start());
    EXPECT_FALSE(watcher.listening());
    watcher.poll();
    EXPECT_EQ(watcher.reconnects(), 0);
}

// A server that takes the connection and never answers (a network gone half-way): the window thread is not held
// by the watcher's attempt; it gives up, says why, and tries again at the next poll.
TEST(StoreWatcherSilentServer, AConnectThatIsNeverAnsweredGivesUp) {
    QTcpServer silent; // the system takes the connection into its backlog; nothing is ever read or written
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    StoreLocation where;
    where.kind = StoreLocation::Kind::Postgres;
    where.host = "127.0.0.1";
    where.port = silent.serverPort();
    where.user = "vestral";
    where.database = "vestral";
    StoreWatcher watcher(where);
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(watcher.start());
    EXPECT_FALSE(watcher.listening());
    EXPECT_TRUE(watcher.error().startsWith("Não foi possível conectar ao banco de dados 127.0.0.1:"))
        << watcher.error().toStdString();
    EXPECT_LT(elapsed.elapsed(), 60000); // a bound far above the 2 s the attempt is given
}

TEST_P(StoreWatcherTest, EachSharedTableChangedElsewhereReachesItsDatasetAndTheCounts) {
    int contacts = -1;
    QObject::connect(d.ado.get(), &TADO::contactsCountChanged, [&](int n) { contacts = n; });
    QString outboxPanel;
    QObject listener; // the status sink outlives the test
    QObject::connect(StatusSink::instance(), &StatusSink::panelChanged, &listener, [&](int panel, const QString& text) {
        if (panel == StatusSink::Outbox)
            outboxPanel = text;
    });
    const struct {
        const char* sql;
        Dataset* dataset;
        const char* field;
        const char* value;
    } cases[] = {
        {"INSERT INTO dbCLIENTE (NOME, FONE) VALUES ('Maria da Outra', '11999990001')", d.ado->dbCLIENTE, "NOME",
         "Maria da Outra"},
        {"UPDATE dbCLIENTE SET NOME = 'Maria Alterada' WHERE NOME = 'Maria da Outra'", d.ado->dbCLIENTE, "NOME",
         "Maria Alterada"},
        {"INSERT INTO dbGRUPO (ID_GRUPO, GRUPO) VALUES (77, 'Grupo da Outra')", d.ado->dbGRUPO, "GRUPO",
         "Grupo da Outra"},
        {"INSERT INTO dbMENSAGEM (FONE, MENSAGEM) VALUES ('11999990002', 'da outra')", d.ado->dbMENSAGEM, "MENSAGEM",
         "da outra"},
        {"INSERT INTO dbSMS (FONE, SMS, ENTRADA) VALUES ('11999990003', 'recebido na outra', 2)", d.ado->dbSMS, "SMS",
         "recebido na outra"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        write(QString::fromUtf8(c.sql));
        EXPECT_TRUE(waitUntil([&] { return holds(c.dataset, c.field, c.value); }));
    }
    EXPECT_EQ(contacts, 1);
    EXPECT_EQ(outboxPanel, "SMS para envio: 1");
    write("DELETE FROM dbCLIENTE");
    EXPECT_TRUE(waitUntil([&] { return d.ado->dbCLIENTE->isEmpty() && contacts == 0; }));
}

// One counter step and one notification per statement, however many rows it touches.
TEST_P(StoreWatcherTest, AStatementOfManyRowsBumpsItsTableOnce) {
    auto counter = [&] {
        QSqlQuery q(other);
        EXPECT_TRUE(q.exec("SELECT CASE WHEN is_called THEN last_value ELSE 0 END FROM " +
                           PgSchema::changeCounter("dbCLIENTE")) &&
                    q.next());
        return q.value(0).toLongLong();
    };
    const qint64 before = counter();
    write("INSERT INTO dbCLIENTE (NOME) SELECT 'c' || g FROM generate_series(1, 5000) g");
    EXPECT_EQ(counter(), before + 1);
    write("UPDATE dbCLIENTE SET FONE = '1'");
    write("DELETE FROM dbCLIENTE WHERE NOME LIKE 'c1%'");
    EXPECT_EQ(counter(), before + 3);
    write("UPDATE dbCLIENTE SET FONE = '2' WHERE 1 = 0"); // a statement that changed no row still counts
    EXPECT_EQ(counter(), before + 4);
}

// The watcher's connection is killed, and rows change while it is down: their notifications are lost. After the
// reconnect the grids are right; and a change whose notification never came (only the counter moved) is read.
TEST_P(StoreWatcherTest, ALostNotificationIsMadeUpByTheReconnectAndByTheCounters) {
    write("INSERT INTO dbCLIENTE (NOME) VALUES ('Antes')");
    ASSERT_TRUE(waitUntil([&] { return holds(d.ado->dbCLIENTE, "NOME", "Antes"); }));
    const qint64 pid = watcher->serverPid();
    ASSERT_GT(pid, 0);
    write(QStringLiteral("SELECT pg_terminate_backend(%1, 60000)").arg(pid)); // returns once it is gone
    write("INSERT INTO dbCLIENTE (NOME) VALUES ('Durante a queda')");
    write("UPDATE dbCLIENTE SET NOME = 'Antes, mudado' WHERE NOME = 'Antes'");
    write("INSERT INTO dbGRUPO (ID_GRUPO, GRUPO) VALUES (78, 'Durante a queda')");
    EXPECT_TRUE(waitUntil([&] {
        return holds(d.ado->dbCLIENTE, "NOME", "Durante a queda") && holds(d.ado->dbCLIENTE, "NOME", "Antes, mudado") &&
               holds(d.ado->dbGRUPO, "GRUPO", "Durante a queda");
    }));
    EXPECT_EQ(watcher->reconnects(), 1);
    EXPECT_TRUE(watcher->listening());
    EXPECT_NE(watcher->serverPid(), pid);

    // A change whose notification was lost on the way: no trigger ran, only the counter moved.
    ASSERT_TRUE(d.pg->server->exec(d.pg->name, "SET session_replication_role = replica; "
                                               "INSERT INTO dbCLIENTE (NOME) VALUES ('Sem aviso'); "
                                               "SELECT nextval('" +
                                                   PgSchema::changeCounter("dbCLIENTE") + "');"));
    EXPECT_TRUE(waitUntil([&] { return holds(d.ado->dbCLIENTE, "NOME", "Sem aviso"); }));
}

// Another station inserts 10,000 contacts one statement at a time: the window reads them again a bounded number of
// times (one per gathering interval and poll at most), not once per row, and ends with every row counted.
TEST_P(StoreWatcherTest, ABurstOfTenThousandInsertsCostsABoundedNumberOfRereads) {
    int count = -1;
    QObject::connect(d.ado.get(), &TADO::contactsCountChanged, [&](int n) { count = n; });
    std::atomic<bool> done{false};
    std::atomic<int> failed{0};
    const StoreLocation where = d.ado->store();
    QElapsedTimer elapsed;
    elapsed.start();
    std::thread writer([&] {
        {
            QString error;
            QSqlDatabase db = PgSchema::connect(where, "rajada", &error);
            QSqlQuery q(db);
            q.prepare("INSERT INTO dbCLIENTE (NOME, FONE) VALUES (?, ?)");
            for (int i = 0; i < 10000; ++i) {
                q.addBindValue(QStringLiteral("Rajada %1").arg(i));
                q.addBindValue(QStringLiteral("1199%1").arg(i, 7, 10, QLatin1Char('0')));
                if (!q.exec())
                    ++failed;
            }
        }
        QSqlDatabase::removeDatabase("rajada");
        done = true;
    });
    // The writer ends by itself (10,000 statements); the window's events go on meanwhile.
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    writer.join();
    EXPECT_EQ(failed, 0);
    EXPECT_TRUE(waitUntil([&] { return count == 10000; })) << count;
    const qint64 ms = elapsed.elapsed();
    // The bound follows from the intervals, whatever the machine's speed: one report per gathering interval, and
    // each poll can add one (a moved counter is reported at two polls).
    const qint64 bound = ms / StoreWatcher::kGatherMs + 2 * (ms / StoreWatcher::kPollMs) + 4;
    EXPECT_LE(contactRereads, bound) << ms << " ms";
    EXPECT_LT(contactRereads, 1000);
    RecordProperty("rereads", contactRereads);
    RecordProperty("ms", int(ms));
    EXPECT_GE(contactReports, 1);
}

// The operator is editing a contact when another station changes the contacts: the edit is not cancelled nor
// overwritten; once posted, the other station's row shows too. A re-read keeps the operator's current row.
TEST_P(StoreWatcherTest, ARereadNeverTouchesTheRowBeingEditedAndKeepsTheCurrentRow) {
    write("INSERT INTO dbCLIENTE (NOME) VALUES ('Bruno'), ('Carla'), ('Diego')");
    Dataset* c = d.ado->dbCLIENTE;
    ASSERT_TRUE(waitUntil([&] { return c->recordCount() == 3; }));
    ASSERT_TRUE(c->locate("NOME", "Carla"));
    write("INSERT INTO dbCLIENTE (NOME) VALUES ('Aline')"); // sorts before the current row
    ASSERT_TRUE(waitUntil([&] { return c->recordCount() == 4; }));
    EXPECT_EQ(c->text("NOME"), "Carla");
    EXPECT_EQ(c->recNo(), 2);

    c->edit();
    c->setValue("NOME", "Carla Editada");
    const int before = reports;
    write("INSERT INTO dbCLIENTE (NOME) VALUES ('Eva')");
    ASSERT_TRUE(waitUntil([&] { return reports > before; }));
    EXPECT_EQ(c->state(), Dataset::State::Edit);
    EXPECT_EQ(c->text("NOME"), "Carla Editada");
    EXPECT_FALSE(holds(c, "NOME", "Eva"));
    ASSERT_TRUE(c->post()) << c->lastError().toStdString();
    EXPECT_TRUE(waitUntil([&] { return holds(c, "NOME", "Eva"); }));
    EXPECT_TRUE(holds(c, "NOME", "Carla Editada"));
    EXPECT_EQ(c->text("NOME"), "Carla Editada");
}

// Only a shared store is watched (the case on the file is above).
INSTANTIATE_TEST_SUITE_P(Store, StoreWatcherTest, ::testing::Values(StoreLocation::Kind::Postgres), storeName);

} // namespace
