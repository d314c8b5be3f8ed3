#include <QSignalSpy>
#include <QSqlQuery>
#include <QThread>
#include <gtest/gtest.h>

#include "TempDataDir.h"
#include "store/DatasetModel.h"

namespace {

class DatasetTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(d.start().ok); }
    void addContact(const QString& nome, const QString& fone) {
        Dataset* c = d.ado->dbCLIENTE;
        c->append();
        c->setValue("NOME", nome);
        c->setValue("FONE", fone);
        c->setValue("ID_GRUPO", 1);
        ASSERT_TRUE(c->post()) << c->lastError().toStdString();
    }
    TempDataDir d;
};

TEST_F(DatasetTest, ContactEventsKeepPanelCountButSearchDoesNot) {
    QSignalSpy panel(d.ado.get(), &TADO::contactsCountChanged);
    addContact("Bia", "2");
    addContact("Ana", "1");
    // append (row started) and post each report the count.
    ASSERT_EQ(panel.count(), 4);
    EXPECT_EQ(panel.last().at(0).toInt(), 2);
    Dataset* c = d.ado->dbCLIENTE;
    EXPECT_EQ(c->integer("ID_CLIENTE"), 2); // key read back after insert
    c->setSql({"SELECT *", "FROM dbCLIENTE", "WHERE NOME LIKE 'a%'", "ORDER BY NOME ASC"});
    ASSERT_TRUE(c->open());
    EXPECT_EQ(c->recordCount(), 1);
    EXPECT_EQ(panel.count(), 4);
    ASSERT_TRUE(c->remove());
    EXPECT_EQ(panel.count(), 5);
    EXPECT_EQ(panel.last().at(0).toInt(), 0);
    ASSERT_TRUE(c->refresh());
    EXPECT_EQ(panel.count(), 6);
}

TEST_F(DatasetTest, EditCancelRestoresAndPostWrites) {
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

TEST_F(DatasetTest, RefusedPostKeepsEditingAndReportsError) {
    addContact("Ana", "1");
    Dataset* c = d.ado->dbCLIENTE;
    c->setValue("TEXTO", QString(31, 'x'));
    EXPECT_FALSE(c->post());
    EXPECT_FALSE(c->lastError().isEmpty());
    EXPECT_EQ(c->state(), Dataset::State::Edit);
    c->cancel();
    EXPECT_EQ(c->state(), Dataset::State::Browse);
}

TEST_F(DatasetTest, AppendCancelLeavesNoRow) {
    Dataset* g = d.ado->dbGRUPO;
    const int before = g->recordCount();
    g->append();
    EXPECT_EQ(g->recordCount(), before + 1);
    g->cancel();
    EXPECT_EQ(g->recordCount(), before);
    EXPECT_EQ(g->recNo(), 0);
}

TEST_F(DatasetTest, CancelledRowIsNotPostedByAGridThatFollows) {
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

TEST_F(DatasetTest, HistoryInsertReportsCountAndDefaultDate) {
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

TEST_F(DatasetTest, SavingSettingsSwitchesScheduledSend) {
    QSignalSpy timer(d.ado.get(), &TADO::autoSendChanged);
    Dataset* cfg = d.ado->dbCFG;
    for (bool on : {true, false}) {
        cfg->setValue("AUTO", on);
        ASSERT_TRUE(cfg->post());
        ASSERT_FALSE(timer.isEmpty());
        EXPECT_EQ(timer.takeLast().at(0).toBool(), on);
    }
}

TEST_F(DatasetTest, NavigationAndModel) {
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

TEST_F(DatasetTest, WorkerThreadsUseTheirOwnConnection) {
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

} // namespace

namespace {

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

TEST_F(LazyDataset, GridFetchesAsItScrollsAndCountReadsTheRest) {
    fill(1000);
    Dataset* h = history();
    DatasetModel model(h);
    EXPECT_EQ(model.rowCount(), Dataset::kFetchBatch);
    EXPECT_TRUE(model.canFetchMore({}));
    model.fetchMore({});
    EXPECT_EQ(model.rowCount(), 2 * Dataset::kFetchBatch);
    EXPECT_FALSE(h->eof());
    h->moveTo(700); // navigation reads what it needs
    EXPECT_EQ(h->text("DESTINATARIO"), "700");
    EXPECT_EQ(h->recordCount(), 1000);
    EXPECT_EQ(model.rowCount(), 1000);
    EXPECT_FALSE(model.canFetchMore({}));
    h->last();
    EXPECT_TRUE(h->eof());
    EXPECT_EQ(h->text("DESTINATARIO"), "999");
}

TEST_F(LazyDataset, WritesCommitWhileAReadIsUnfinished) {
    fill(1000);
    Dataset* h = history();
    ASSERT_TRUE(h->canFetchMore());
    // A write through the window thread's connection must reach the file at once: the workers'
    // connections read it.
    QSqlQuery w(d.ado->database());
    ASSERT_TRUE(w.exec("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('1', 'x', 1)"));
    int seen = -1;
    QThread* other = QThread::create([&] {
        {
            QSqlQuery r(d.ado->database());
            r.exec("SELECT count(*) FROM dbMENSAGEM");
            seen = r.next() ? r.value(0).toInt() : -2;
        }
        d.ado->releaseThreadConnection();
    });
    other->start();
    other->wait();
    delete other;
    EXPECT_EQ(seen, 1);
    // Appending to the unfinished snapshot reads it whole first and puts the row last.
    h->append();
    h->setValue("DESTINATARIO", "novo");
    ASSERT_TRUE(h->post());
    EXPECT_EQ(h->recNo(), 1000);
    EXPECT_EQ(h->recordCount(), 1001);
}

} // namespace
