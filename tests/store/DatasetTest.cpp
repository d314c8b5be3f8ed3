#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QThread>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "DamagedDatabase.h"
#include "MissingPeer.h"
#include "PgServer.h"
#include "TempDataDir.h"
#include "store/DatasetModel.h"
#include "store/Integrity.h"
#include "store/SqlDialect.h"

namespace {

// The dataset cases run on both stores: the SQLite file and a PostgreSQL database of their own.
class DatasetTest : public ::testing::TestWithParam<StoreLocation::Kind> {
protected:
    void SetUp() override {
        StoreLocation where;
        if (GetParam() == StoreLocation::Kind::Postgres) {
            pg = std::make_unique<PgDatabase>();
            if (!pg->ok())
                VESTRAL_SKIP_MISSING_PEER("PostgreSQL: " << pg->why.toStdString());
            where = pg->location();
        }
        const TADO::StartResult r = d.start(where);
        ASSERT_TRUE(r.ok) << r.error.toStdString();
    }
    void addContact(const QString& nome, const QString& fone) {
        Dataset* c = d.ado->dbCLIENTE;
        c->append();
        c->setValue("NOME", nome);
        c->setValue("FONE", fone);
        c->setValue("ID_GRUPO", 1);
        ASSERT_TRUE(c->post()) << c->lastError().toStdString();
    }
    std::unique_ptr<PgDatabase> pg; // outlives the data module
    TempDataDir d;
};

TEST_P(DatasetTest, ContactEventsKeepPanelCountButSearchDoesNot) {
    QSignalSpy panel(d.ado.get(), &TADO::contactsCountChanged);
    addContact("Bia", "2");
    addContact("Ana", "1");
    // append (row started) and post each report the count.
    ASSERT_EQ(panel.count(), 4);
    EXPECT_EQ(panel.last().at(0).toInt(), 2);
    Dataset* c = d.ado->dbCLIENTE;
    EXPECT_EQ(c->integer("ID_CLIENTE"), 2); // key read back after insert
    c->setSql({"SELECT *", "FROM dbCLIENTE", "WHERE " + SqlDialect::foldedLike(d.ado->database(), "NOME", "'a%'"),
               "ORDER BY NOME ASC"});
    ASSERT_TRUE(c->open());
    EXPECT_EQ(c->recordCount(), 1);
    EXPECT_EQ(panel.count(), 4);
    ASSERT_TRUE(c->remove());
    EXPECT_EQ(panel.count(), 5);
    EXPECT_EQ(panel.last().at(0).toInt(), 0);
    ASSERT_TRUE(c->refresh());
    EXPECT_EQ(panel.count(), 6);
}

TEST_P(DatasetTest, EditCancelRestoresAndPostWrites) {
    addContact("Ana", "1");
    Dataset* c = d.ado->dbCLIENTE;
    c->edit();
    c->setValue("NOME", "Outra");
    c->cancel();
    EXPECT_EQ(c->text("NOME"), "Ana");
    c->setValue("NOME", "Ana Maria"); // typing starts the edit
    EXPECT_EQ(c->state(), Dataset::State::Edit);
    ASSERT_TRUE(c->post());
    QSqlQuery q(d.ado->database());
    q.exec("SELECT NOME FROM dbCLIENTE");
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toString(), "Ana Maria");
}

TEST_P(DatasetTest, RefusedPostKeepsEditingAndReportsError) {
    addContact("Ana", "1");
    Dataset* c = d.ado->dbCLIENTE;
    c->setValue("TEXTO", QString(31, 'x'));
    EXPECT_FALSE(c->post());
    EXPECT_FALSE(c->lastError().isEmpty());
    EXPECT_EQ(c->state(), Dataset::State::Edit);
    c->cancel();
    EXPECT_EQ(c->state(), Dataset::State::Browse);
}

TEST_P(DatasetTest, AppendCancelLeavesNoRow) {
    Dataset* g = d.ado->dbGRUPO;
    const int before = g->recordCount();
    g->append();
    EXPECT_EQ(g->recordCount(), before + 1);
    g->cancel();
    EXPECT_EQ(g->recordCount(), before);
    EXPECT_EQ(g->recNo(), 0);
}

TEST_P(DatasetTest, CancelledRowIsNotPostedByAGridThatFollows) {
    addContact("Ana", "1");
    addContact("Bia", "2");
    Dataset* c = d.ado->dbCLIENTE;
    // A grid moves its current row when a row goes away; that move must not save the cancelled row.
    QObject::connect(c, &Dataset::rowRemoved, c, [c] { c->moveTo(0); });
    c->append();
    c->setValue("NOME", "Descartada");
    c->cancel();
    EXPECT_EQ(c->state(), Dataset::State::Browse);
    ASSERT_TRUE(c->refresh());
    EXPECT_EQ(c->recordCount(), 2);
    const QString before = c->text("NOME");
    c->edit();
    c->setValue("NOME", "Outra");
    c->cancel();
    EXPECT_EQ(c->text("NOME"), before);
}

TEST_P(DatasetTest, HistoryInsertReportsCountAndDefaultDate) {
    QSignalSpy panel(d.ado.get(), &TADO::historyCountChanged);
    Dataset* h = d.ado->dbHISTORICO;
    h->append();
    h->setValue("DESTINATARIO", "11999990000");
    h->setValue("TIPO", "SMS");
    h->setValue("ENVIADO", true);
    ASSERT_TRUE(h->post());
    ASSERT_EQ(panel.count(), 1);
    EXPECT_EQ(panel[0].at(0).toInt(), 1);
    EXPECT_FALSE(h->text("DATA").isEmpty());
    EXPECT_EQ(h->integer("ID_HISTORICO"), 1);
}

TEST_P(DatasetTest, SavingSettingsSwitchesScheduledSend) {
    QSignalSpy timer(d.ado.get(), &TADO::autoSendChanged);
    Dataset* cfg = d.ado->dbCFG;
    for (bool on : {true, false}) {
        cfg->setValue("AUTO", on);
        ASSERT_TRUE(cfg->post());
        ASSERT_FALSE(timer.isEmpty());
        EXPECT_EQ(timer.takeLast().at(0).toBool(), on);
    }
}

TEST_P(DatasetTest, NavigationAndModel) {
    for (const char* n : {"C", "A", "B"})
        addContact(n, "1");
    Dataset* c = d.ado->dbCLIENTE;
    ASSERT_TRUE(c->refresh());
    DatasetModel model(c);
    model.setColumns({{"NOME", "Nome"}, {"DESATIVADO", "Desativado", 0, true}});
    EXPECT_EQ(model.rowCount(), 3);
    c->first();
    EXPECT_TRUE(c->bof());
    EXPECT_EQ(c->text("NOME"), "A");
    c->next();
    c->next();
    EXPECT_TRUE(c->eof());
    EXPECT_EQ(model.data(model.index(2, 0), Qt::DisplayRole).toString(), "C");
    EXPECT_EQ(model.data(model.index(2, 1), Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Nome");
    EXPECT_TRUE(c->locate("NOME", "B"));
    EXPECT_EQ(c->recNo(), 1);
}

TEST_P(DatasetTest, WorkerThreadsUseTheirOwnConnection) {
    constexpr int kThreads = 4, kRows = 50;
    QList<QThread*> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads << QThread::create([this, t] {
            {
                QSqlDatabase db = d.ado->database();
                QSqlQuery q(db);
                q.prepare("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES (?, 'x', ?)");
                for (int i = 0; i < kRows; ++i) {
                    q.addBindValue(QString::number(i));
                    q.addBindValue(t + 1);
                    q.exec();
                }
            }
            d.ado->releaseThreadConnection();
        });
        threads.last()->start();
    }
    for (QThread* th : threads) {
        th->wait();
        delete th;
    }
    ASSERT_TRUE(d.ado->dbMENSAGEM->refresh());
    EXPECT_EQ(d.ado->dbMENSAGEM->recordCount(), kThreads * kRows);
}

INSTANTIATE_TEST_SUITE_P(Stores, DatasetTest,
                         ::testing::Values(StoreLocation::Kind::Sqlite, StoreLocation::Kind::Postgres), storeName);

} // namespace

namespace {

// What QAbstractItemModelTester reports while it lives.
struct ModelOrderLog {
    ModelOrderLog() {
        s_log = this;
        previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& c, const QString& text) {
            if (type != QtDebugMsg && c.category && QByteArray(c.category) == "qt.modeltest")
                s_log->messages << text;
        });
    }
    ~ModelOrderLog() { qInstallMessageHandler(previous); }
    QStringList messages;
    QtMessageHandler previous = nullptr;
    static inline ModelOrderLog* s_log = nullptr;
};

class LazyDataset : public DatasetTest {
protected:
    void fill(int n) {
        QSqlDatabase db = d.ado->database();
        db.transaction();
        QSqlQuery q(db);
        q.prepare("INSERT INTO dbHISTORICO (DESTINATARIO, TIPO) VALUES (?, 'SMS')");
        for (int i = 0; i < n; ++i) {
            q.addBindValue(QString::number(i));
            q.exec();
        }
        db.commit();
    }
    Dataset* history() {
        Dataset* h = d.ado->dbHISTORICO;
        h->setSql({"SELECT *", "FROM dbHISTORICO", "ORDER BY ID_HISTORICO"});
        EXPECT_TRUE(h->open());
        return h;
    }
};

TEST_P(LazyDataset, GridFetchesAsItScrollsAndCountReadsNoRow) {
    fill(1000);
    Dataset* h = history();
    DatasetModel model(h);
    EXPECT_EQ(h->recordCount(), 1000); // COUNT(*), not every row
    EXPECT_EQ(model.rowCount(), Dataset::kFetchBatch);
    EXPECT_TRUE(model.canFetchMore({}));
    model.fetchMore({});
    EXPECT_EQ(model.rowCount(), 2 * Dataset::kFetchBatch);
    EXPECT_FALSE(h->eof());
    h->moveTo(700); // navigation reads what it needs
    EXPECT_EQ(h->text("DESTINATARIO"), "700");
    EXPECT_LT(model.rowCount(), 1000);
    h->last();
    EXPECT_TRUE(h->eof());
    EXPECT_EQ(h->text("DESTINATARIO"), "999");
    EXPECT_EQ(model.rowCount(), 1000);
    EXPECT_FALSE(model.canFetchMore({}));
}

TEST_P(LazyDataset, AppendEditAndDeleteReadNoMoreRowsAndPagesDoNotRepeatThem) {
    fill(1000);
    Dataset* h = history();
    h->moveTo(3);
    ASSERT_TRUE(h->remove());
    EXPECT_EQ(h->recordCount(), 999);
    h->append();
    h->setValue("DESTINATARIO", "novo");
    ASSERT_TRUE(h->post());
    EXPECT_EQ(h->fetchedCount(), Dataset::kFetchBatch); // the rest was not read for it
    EXPECT_EQ(h->recNo(), Dataset::kFetchBatch - 1);
    EXPECT_EQ(h->recordCount(), 1000);
    h->moveTo(10);
    h->setValue("DESTINATARIO", "editado");
    ASSERT_TRUE(h->post());
    EXPECT_EQ(h->fetchedCount(), Dataset::kFetchBatch);
    // The stored row lies in a later page too (ORDER BY ID_HISTORICO): it is not shown twice, and
    // the row the deletion moved up is not skipped.
    ASSERT_TRUE(h->fetchAll());
    EXPECT_EQ(h->fetchedCount(), 1000);
    EXPECT_EQ(h->recordCount(), 1000);
    QSet<QString> seen;
    for (int row = 0; row < h->fetchedCount(); ++row)
        seen.insert(h->valueAt(row, h->fieldIndex("DESTINATARIO")).toString());
    EXPECT_EQ(seen.size(), 1000);
    EXPECT_TRUE(seen.contains("novo"));
    EXPECT_TRUE(seen.contains("999"));
    EXPECT_FALSE(seen.contains("3"));
}

TEST_P(LazyDataset, RowsDeletedByAWorkerBetweenPagesAreNotSkipped) {
    fill(600);
    Dataset* h = history();
    // A sender takes rows from the front while the grid has read only its first page.
    QSqlQuery w(d.ado->database());
    ASSERT_TRUE(w.exec("DELETE FROM dbHISTORICO WHERE ID_HISTORICO <= 20"));
    ASSERT_TRUE(h->fetchAll());
    QSet<QString> seen;
    for (int row = 0; row < h->fetchedCount(); ++row)
        seen.insert(h->valueAt(row, h->fieldIndex("DESTINATARIO")).toString());
    for (int i = 20; i < 600; ++i)
        EXPECT_TRUE(seen.contains(QString::number(i))) << i;
    EXPECT_EQ(h->fetchedCount(), seen.size()); // and none twice
}

// The statements a connection runs, as SQLite expands them.
class StatementLog {
public:
    explicit StatementLog(const QSqlDatabase& db) : m_db(handleOf(db)) {
        sqlite3_trace_v2(m_db, SQLITE_TRACE_STMT, &StatementLog::traced, this);
    }
    ~StatementLog() { sqlite3_trace_v2(m_db, 0, nullptr, nullptr); }
    int counts() const {
        return int(
            std::count_if(m_lines.cbegin(), m_lines.cend(), [](const QString& l) { return l.contains("COUNT(*)"); }));
    }
    void clear() { m_lines.clear(); }

private:
    static sqlite3* handleOf(const QSqlDatabase& db) {
        return *static_cast<sqlite3* const*>(db.driver()->handle().data());
    }
    static int traced(unsigned, void* self, void* statement, void*) {
        if (const char* sql = sqlite3_sql(static_cast<sqlite3_stmt*>(statement)))
            static_cast<StatementLog*>(self)->m_lines << QString::fromUtf8(sql);
        return 0;
    }
    sqlite3* m_db;
    QStringList m_lines;
};

// Opening or refreshing a long result counts nothing: the count is read when first asked for (the
// window asks, a command that only walks the rows does not), once, and it is the count of then.
// The statement log follows SQLite's own trace: these cases run on the file only.
class LazyDatasetOnFile : public LazyDataset {};

TEST_P(LazyDatasetOnFile, CountIsReadWhenFirstAskedForOnly) {
    fill(1000);
    StatementLog log(d.ado->database());
    Dataset* h = history();
    DatasetModel model(h);
    model.fetchMore({});
    ASSERT_TRUE(h->refresh());
    h->moveTo(300);
    EXPECT_EQ(log.counts(), 0);
    fill(5); // written after the open
    EXPECT_EQ(h->recordCount(), 1005);
    EXPECT_EQ(h->recordCount(), 1005);
    EXPECT_EQ(log.counts(), 1);
    h->append(); // a row being inserted counts as soon as it is shown
    EXPECT_EQ(h->recordCount(), 1006);
    h->cancel();
    EXPECT_EQ(h->recordCount(), 1005);
    EXPECT_EQ(log.counts(), 1);

    // Counted for the first time while a row is being inserted, and after a delete.
    ASSERT_TRUE(h->refresh());
    h->moveTo(2);
    ASSERT_TRUE(h->remove());
    h->append();
    h->setValue("DESTINATARIO", "novo");
    EXPECT_EQ(h->recordCount(), 1005);
    ASSERT_TRUE(h->post());
    EXPECT_EQ(h->recordCount(), 1005);
    EXPECT_EQ(log.counts(), 2);
    EXPECT_EQ(h->fetchedCount(), 2 * Dataset::kFetchBatch); // the count read no row
    // A result held whole is counted by its rows.
    log.clear();
    h->setSql(QStringLiteral("SELECT * FROM dbHISTORICO WHERE ID_HISTORICO <= 10"));
    ASSERT_TRUE(h->open());
    EXPECT_EQ(h->recordCount(), 9);
    EXPECT_EQ(log.counts(), 0);
}

// A count that cannot be read is a failed read: said once, the grid told there is no more, and
// the count is what is held.
TEST_P(LazyDataset, ACountThatFailsIsAFailedRead) {
    fill(600);
    Dataset* h = history();
    QSignalSpy said(h, &Dataset::readError);
    QSqlQuery w(d.ado->database());
    ASSERT_TRUE(w.exec("ALTER TABLE dbHISTORICO RENAME TO dbHISTORICO_x"));
    EXPECT_EQ(h->recordCount(), Dataset::kFetchBatch);
    EXPECT_EQ(said.count(), 1);
    EXPECT_TRUE(h->readFailed());
    EXPECT_FALSE(h->canFetchMore());
    EXPECT_TRUE(h->lastError().contains("dbHISTORICO")) << h->lastError().toStdString();
    EXPECT_EQ(h->recordCount(), Dataset::kFetchBatch);
    EXPECT_EQ(said.count(), 1);
}

TEST_P(LazyDataset, ModelAnnouncesEveryChangeInQtsOrder) {
    fill(300);
    Dataset* h = history();
    ModelOrderLog log;
    DatasetModel model(h);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    h->append();
    h->setValue("DESTINATARIO", "a");
    h->cancel();
    h->append();
    h->setValue("DESTINATARIO", "b");
    ASSERT_TRUE(h->post());
    model.fetchMore({});
    h->moveTo(5);
    ASSERT_TRUE(h->remove());
    ASSERT_TRUE(h->refresh());
    h->last();
    h->close();
    ASSERT_TRUE(h->open());
    EXPECT_TRUE(log.messages.isEmpty()) << log.messages.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Stores, LazyDatasetOnFile, ::testing::Values(StoreLocation::Kind::Sqlite), storeName);
INSTANTIATE_TEST_SUITE_P(Stores, LazyDataset,
                         ::testing::Values(StoreLocation::Kind::Sqlite, StoreLocation::Kind::Postgres), storeName);

} // namespace

namespace {

TEST(DamagedDatabase, AReadErrorIsNotTheEndOfTheRows) {
    QTemporaryDir dir;
    ASSERT_EQ(makeDamagedContacts(dir.path(), 5000), QString());
    TADO ado;
    ASSERT_TRUE(ado.start(dir.path()).ok); // the first page and the count are sound
    Dataset* c = ado.dbCLIENTE;
    EXPECT_EQ(c->recordCount(), 5000);
    QSignalSpy said(c, &Dataset::readError);
    EXPECT_FALSE(c->fetchAll());
    EXPECT_TRUE(c->readFailed());
    EXPECT_LT(c->fetchedCount(), 5000);
    ASSERT_EQ(said.count(), 1);
    EXPECT_TRUE(Integrity::isDamage(said[0].at(0).toString())) << said[0].at(0).toString().toStdString();
    EXPECT_TRUE(Integrity::readErrorText(c->lastError()).startsWith("O banco de dados está danificado: "));
    // A grid that scrolls on is told there is no more, not handed blank rows.
    EXPECT_FALSE(c->canFetchMore());
    // The check finds it, read-only, beside the open program; a sound file passes.
    const QStringList problems = Integrity::check(ado.databasePath(), true);
    EXPECT_FALSE(problems.isEmpty());
    EXPECT_FALSE(Integrity::check(ado.databasePath(), false).isEmpty());
    QTemporaryDir sound;
    {
        TADO fresh;
        ASSERT_TRUE(fresh.start(sound.path()).ok);
    }
    EXPECT_EQ(Integrity::check(sound.path() + "/BDSMS.db", true), QStringList());
    EXPECT_FALSE(Integrity::check(sound.path() + "/nenhum.db", false).isEmpty());
}

TEST(DamagedDatabase, TheBackgroundCheckReportsOnTheOwnersThread) {
    QTemporaryDir dir;
    ASSERT_EQ(makeDamagedContacts(dir.path(), 5000), QString());
    IntegrityCheck check;
    QSignalSpy done(&check, &IntegrityCheck::finished);
    check.start(dir.path() + "/BDSMS.db");
    ASSERT_TRUE(done.wait(120000));
    EXPECT_FALSE(done[0].at(0).toStringList().isEmpty());
}

// A file the program may not write is said at start, with SQLite's reason, unless only reading.
TEST(ReadOnlyDatabase, StartSaysItCannotWrite) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to drop to another user";
    QTemporaryDir dir;
    {
        TADO ado;
        ASSERT_TRUE(ado.start(dir.path()).ok);
    }
    const QByteArray file = QFile::encodeName(dir.path() + "/BDSMS.db");
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    ASSERT_EQ(::chmod(file.constData(), 0444), 0);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        QByteArray text = "setuid failed";
        if (::setgid(65534) == 0 && ::setuid(65534) == 0) {
            TADO writer;
            const TADO::StartResult w = writer.start(dir.path());
            TADO reader;
            const TADO::StartResult r = reader.start(dir.path(), TADO::Access::ReadOnly);
            text = (w.ok ? QByteArray("ok") : w.error.toUtf8()) + '\n' + (r.ok ? "ok" : r.error.toUtf8());
        }
        [[maybe_unused]] const auto n = ::write(fds[1], text.constData(), size_t(text.size()));
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray text;
    char buffer[512];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    const QStringList lines = QString::fromUtf8(text).split('\n');
    ASSERT_EQ(lines.size(), 2) << text.toStdString();
    EXPECT_TRUE(lines[0].startsWith("Não foi possível gravar no banco de dados: ")) << text.toStdString();
    EXPECT_TRUE(lines[0].contains("readonly")) << text.toStdString();
    EXPECT_EQ(lines[1], "ok");
}

} // namespace
