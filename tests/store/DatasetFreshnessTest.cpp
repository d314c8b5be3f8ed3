#include <QAbstractItemModelTester>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

#include "FreshCount.h"
#include "TempDataDir.h"
#include "store/DatasetModel.h"

namespace {

// Collects what QAbstractItemModelTester reports, so a model announcing its changes out of Qt's
// order fails the test instead of scrolling past in the log.
class ModelTesterLog {
public:
    ModelTesterLog() {
        s_messages.clear();
        m_previous = qInstallMessageHandler(&ModelTesterLog::handle);
    }
    ~ModelTesterLog() { qInstallMessageHandler(m_previous); }
    const QStringList& messages() const { return s_messages; }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type != QtDebugMsg && context.category && QByteArray(context.category) == "qt.modeltest")
            s_messages << text;
    }
    static inline QStringList s_messages;
    QtMessageHandler m_previous = nullptr;
};

// A dataset the window or a command reads, the table under it and how to add one row there.
struct Listing {
    const char* name;
    const char* table;
    const char* insert; // one row; ? is the row number
    std::function<Dataset*(TADO*)> dataset;
};

const Listing kListings[] = {
    {"contacts", "dbCLIENTE", "INSERT INTO dbCLIENTE (NOME, FONE, ID_GRUPO) VALUES ('Nome ' || ?, '11', 1)",
     [](TADO* a) { return a->dbCLIENTE; }},
    {"outbox", "dbMENSAGEM", "INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES (?, 'x', 1)",
     [](TADO* a) { return a->dbMENSAGEM; }},
    {"history", "dbHISTORICO", "INSERT INTO dbHISTORICO (DESTINATARIO, TIPO) VALUES (?, 'SMS')",
     [](TADO* a) {
         a->dbHISTORICO->setSql({"SELECT *", "FROM dbHISTORICO", "ORDER BY DATA ASC"});
         return a->dbHISTORICO;
     }},
    {"received", "dbSMS", "INSERT INTO dbSMS (ID_SMS, FONE, SMS, LIDO) VALUES (?, '11', 'x', 0)",
     [](TADO* a) { return a->dbSMS; }},
};

void insertRows(QSqlDatabase& db, const Listing& l, int from, int count) {
    db.transaction();
    QSqlQuery q(db);
    q.prepare(QString::fromLatin1(l.insert));
    for (int i = from; i < from + count; ++i) {
        q.addBindValue(i);
        if (!q.exec())
            ADD_FAILURE() << q.lastError().text().toStdString();
    }
    db.commit();
}

// Every row a grid shows once it has scrolled to the end.
int shownRows(DatasetModel& model) {
    while (model.canFetchMore({}))
        model.fetchMore({});
    return model.rowCount();
}

// The count a scratch query reads on the window thread's connection, as Manutenção does.
int scratchCount(TADO* ado, const char* table) {
    ado->Query->setSql(QStringLiteral("SELECT COUNT(*) AS TOTAL FROM %1").arg(QLatin1String(table)));
    if (!ado->Query->open())
        return -1;
    return ado->Query->integer("TOTAL");
}

class DatasetFreshness : public ::testing::TestWithParam<std::tuple<int, int>> {
protected:
    void SetUp() override { ASSERT_TRUE(d.start().ok); }
    TempDataDir d;
};

TEST_P(DatasetFreshness, ShownRowsAndCountsAreTheFilesAsItIsNow) {
    const Listing& l = kListings[std::get<0>(GetParam())];
    const int rows = std::get<1>(GetParam());
    TADO* ado = d.ado.get();
    const QString path = ado->databasePath();
    onWorkerThread(ado, [&](QSqlDatabase& db) { insertRows(db, l, 0, rows); });

    ModelTesterLog log;
    Dataset* ds = l.dataset(ado);
    ASSERT_TRUE(ds->isOpen() ? ds->refresh() : ds->open()) << ds->lastError().toStdString();
    EXPECT_LE(ds->fetchedCount(), Dataset::kFetchBatch);

    // Rows written while the grid shows only its first page: by a worker, and by another program.
    onWorkerThread(ado, [&](QSqlDatabase& db) { insertRows(db, l, rows, 7); });
    {
        const QString other = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", other);
            db.setDatabaseName(path);
            ASSERT_TRUE(db.open());
            insertRows(db, l, rows + 7, 3);
        }
        QSqlDatabase::removeDatabase(other);
    }
    const int now = freshCount(path, QLatin1String(l.table));
    ASSERT_EQ(now, rows + 10);
    // Any later read on this thread sees them, whatever the grid left unread.
    EXPECT_EQ(scratchCount(ado, l.table), now);
    // A result held whole is counted by the rows it holds; a longer one is counted when first asked
    // (here), so it already sees the rows written since. Either way no row is read for it.
    EXPECT_EQ(ds->recordCount(), ds->canFetchMore() ? now : rows);
    EXPECT_LE(ds->fetchedCount(), Dataset::kFetchBatch);

    // (The tester reads every row as it starts: it comes after the part-read dataset was proved.)
    DatasetModel model(ds);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);

    ASSERT_TRUE(ds->refresh()) << ds->lastError().toStdString();
    EXPECT_EQ(ds->recordCount(), now);
    EXPECT_EQ(shownRows(model), now);
    EXPECT_EQ(ds->recordCount(), now);

    ds->close(); // shown again
    ASSERT_TRUE(ds->open());
    EXPECT_EQ(ds->recordCount(), now);
    EXPECT_EQ(shownRows(model), now);
    EXPECT_TRUE(log.messages().isEmpty()) << log.messages().join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Listings, DatasetFreshness,
                         ::testing::Combine(::testing::Range(0, int(std::size(kListings))),
                                            ::testing::Values(0, 255, 256, 257, 10000)),
                         [](const auto& param) {
                             return std::string(kListings[std::get<0>(param.param)].name) + "_" +
                                    std::to_string(std::get<1>(param.param));
                         });

// A listing read a page at a time while another program deletes the rows the grid has already passed
// and inserts rows before and after it. `insert` adds one row whose order value is :v and whose tag
// (the column read back) is :v as text; order values are 1.. for rows inserted before the grid's place,
// 1000000.. for the rows there at the start, 2000000.. for rows inserted after the end.
struct PagedListing {
    const char* name;
    const char* table;
    const char* tag;
    const char* order; // the rows in the listing's order, for the deletion
    const char* insert;
    std::function<Dataset*(TADO*)> dataset;
};

const PagedListing kPagedListings[] = {
    {"contacts", "dbCLIENTE", "FONE", "NOME, ID_CLIENTE",
     "INSERT INTO dbCLIENTE (NOME, FONE, ID_GRUPO) VALUES (printf('Nome %08d', :v / 2), CAST(:v AS TEXT), 1)",
     [](TADO* a) { return a->dbCLIENTE; }},
    {"outbox", "dbMENSAGEM", "FONE", "ID",
     "INSERT INTO dbMENSAGEM (ID, FONE, MENSAGEM, PORTA) VALUES (:v, CAST(:v AS TEXT), 'x', 1)",
     [](TADO* a) { return a->dbMENSAGEM; }},
    {"history", "dbHISTORICO", "DESTINATARIO", "DATA, ID_HISTORICO",
     "INSERT INTO dbHISTORICO (DATA, DESTINATARIO, TIPO) "
     "VALUES (datetime('2026-01-01', '+' || (:v / 2) || ' seconds'), CAST(:v AS TEXT), 'SMS')",
     [](TADO* a) {
         a->dbHISTORICO->setSql({"SELECT *", "FROM dbHISTORICO", "ORDER BY DATA ASC"});
         return a->dbHISTORICO;
     }},
};

constexpr int kAtStart = 1000000;
constexpr int kAfterEnd = 2000000;

// Runs `work` on a connection of another program to the same file, in one transaction.
template <typename Fn> void asOtherProgram(const QString& path, Fn work) {
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        db.transaction();
        work(db);
        ASSERT_TRUE(db.commit()) << db.lastError().text().toStdString();
    }
    QSqlDatabase::removeDatabase(name);
}

void insertOrdered(QSqlDatabase& db, const PagedListing& l, int from, int count) {
    QSqlQuery q(db);
    ASSERT_TRUE(q.prepare(QString::fromLatin1(l.insert))) << q.lastError().text().toStdString();
    for (int v = from; v < from + count; ++v) {
        q.bindValue(":v", v);
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    }
}

class DatasetPages : public ::testing::TestWithParam<std::tuple<int, int>> {
protected:
    void SetUp() override { ASSERT_TRUE(d.start().ok); }
    TempDataDir d;
};

TEST_P(DatasetPages, RowsWrittenBetweenPagesAreNeitherSkippedNorRepeated) {
    const PagedListing& l = kPagedListings[std::get<0>(GetParam())];
    const int changed = std::get<1>(GetParam());
    TADO* ado = d.ado.get();
    const QString path = ado->databasePath();
    const int atStart = changed + 6 * Dataset::kFetchBatch;
    asOtherProgram(path, [&](QSqlDatabase& db) { insertOrdered(db, l, kAtStart, atStart); });

    ModelTesterLog log;
    Dataset* ds = l.dataset(ado);
    ASSERT_TRUE(ds->isOpen() ? ds->refresh() : ds->open()) << ds->lastError().toStdString();
    DatasetModel model(ds);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    ASSERT_LT(model.rowCount(), atStart - Dataset::kFetchBatch); // the tester read a few pages, not all

    // The first rows in the listing's order go (the grid has shown some of them), as many rows come in
    // before the grid's place and as many after the end.
    asOtherProgram(path, [&](QSqlDatabase& db) {
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("DELETE FROM %1 WHERE rowid IN (SELECT rowid FROM %1 ORDER BY %2 LIMIT %3)")
                               .arg(QLatin1String(l.table), QLatin1String(l.order))
                               .arg(changed)))
            << q.lastError().text().toStdString();
        insertOrdered(db, l, 1, changed / 2);
        insertOrdered(db, l, kAfterEnd, changed);
    });
    shownRows(model);
    ASSERT_FALSE(ds->readFailed()) << ds->lastError().toStdString();

    QHash<int, int> shown; // order value: times shown
    QList<int> order;
    const int tag = ds->fieldIndex(QLatin1String(l.tag));
    for (int row = 0; row < ds->fetchedCount(); ++row) {
        const int v = ds->valueAt(row, tag).toInt();
        ++shown[v];
        order << v;
    }
    int missing = 0;
    for (int v = kAtStart + changed; v < kAtStart + atStart; ++v)
        missing += !shown.contains(v);
    for (int v = kAfterEnd; v < kAfterEnd + changed; ++v)
        missing += !shown.contains(v);
    EXPECT_EQ(missing, 0) << "rows there all along or inserted after the end, not shown";
    int repeated = 0;
    for (auto it = shown.cbegin(); it != shown.cend(); ++it)
        repeated += it.value() > 1;
    EXPECT_EQ(repeated, 0);
    EXPECT_TRUE(std::is_sorted(order.cbegin(), order.cend(), [](int a, int b) { return a / 2 < b / 2; }));
    EXPECT_TRUE(log.messages().isEmpty()) << log.messages().join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Listings, DatasetPages,
                         ::testing::Combine(::testing::Range(0, int(std::size(kPagedListings))),
                                            ::testing::Values(0, 31, 33, 500, 10000)),
                         [](const auto& param) {
                             return std::string(kPagedListings[std::get<0>(param.param)].name) + "_" +
                                    std::to_string(std::get<1>(param.param));
                         });

} // namespace
