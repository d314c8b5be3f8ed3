// Results kept in the journal while the database was away, put into the database once it is back: exactly once,
// whatever happened to the outbox row meanwhile, on both stores.
#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>

#include "TempDataDir.h"
#include "sms/JournalReplay.h"
#include "store/TADO.h"

namespace {

class JournalReplayBase : public ::testing::Test {
protected:
    virtual StoreLocation::Kind storeKind() const { return StoreLocation::Kind::Sqlite; }
    void SetUp() override {
        VESTRAL_START_STORE(data, storeKind());
        ado = data.ado.get();
    }
    qint64 outboxRow(const QString& fone, qint64 token) {
        QSqlQuery q(ado->database());
        q.prepare("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA, ENVIANDO, FICHA) VALUES (?, 'oi', 1, "
                  "'2026-12-10 18:00:00', ?)");
        q.addBindValue(fone);
        q.addBindValue(token);
        EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString();
        EXPECT_TRUE(q.exec("SELECT max(ID) FROM dbMENSAGEM") && q.next());
        return q.value(0).toLongLong();
    }
    QString scalar(const QString& sql) {
        QSqlQuery q(ado->database());
        EXPECT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        return q.next() ? q.value(0).toString() : QString();
    }
    ResultJournal::Entry entry(qint64 id, qint64 token, const QString& fone) {
        ResultJournal::Entry e;
        e.outboxId = id;
        e.token = token;
        e.slot = 3;
        e.station = "balcao";
        e.destinatario = fone;
        e.mensagem = "Olá\nmundo";
        e.tipo = "SMS";
        e.enviado = true;
        e.imsi = "724051234567890";
        e.references = {7};
        e.when = QDateTime(QDate(2026, 12, 10), QTime(17, 30, 5));
        return e;
    }
    ResultJournal journal() const { return ResultJournal(QDir(data.path()).filePath(ResultJournal::kFileName)); }

    TempDataDir data;
    TADO* ado = nullptr;
};

class JournalReplayTest : public OnBothStores<JournalReplayBase> {};

// The row still waiting, a row already stored by an earlier replay that was killed before emptying the file, and a
// row whose claim moved on: each ends as the table says, and a second replay changes nothing.
TEST_P(JournalReplayTest, EachEntryEndsOnceWhateverHappenedToItsRow) {
    const qint64 waiting = outboxRow("5511900000001", 41);
    const qint64 moved = outboxRow("5511900000003", 99);
    const qint64 gone = waiting + 1000; // stored by an earlier replay: its outbox row went then
    ResultJournal j = journal();
    QString error;
    ASSERT_TRUE(j.append(entry(waiting, 41, "5511900000001"), &error));
    ASSERT_TRUE(j.append(entry(gone, 42, "5511900000002"), &error));
    ResultJournal::Entry late = entry(moved, 43, "5511900000003");
    late.references = {8}; // a reference of its own: a reused one replaces the one awaited before
    ASSERT_TRUE(j.append(late, &error));
    QStringList lines;
    const int applied = JournalReplay::applyPending(ado, data.path(), [&](const QString& l) { lines << l; });
    EXPECT_EQ(applied, 3) << lines.join('|').toStdString();
    EXPECT_TRUE(j.isEmpty());
    // The waiting row: its history row with the modem's time, its SIM and its reference; its outbox row gone.
    EXPECT_EQ(scalar("SELECT count(*) FROM dbMENSAGEM WHERE ID = " + QString::number(waiting)), "0");
    EXPECT_EQ(scalar("SELECT DATA || '|' || IMSI || '|' || ENVIADO FROM dbHISTORICO WHERE DESTINATARIO = "
                     "'5511900000001'"),
              "2026-12-10 17:30:05|724051234567890|1");
    // The reference points at that history row (on the server, not at a key a trigger's counter drew).
    EXPECT_EQ(scalar("SELECT count(*) FROM dbENTREGA_PENDENTE e JOIN dbHISTORICO h ON h.ID_HISTORICO = e.ID_HISTORICO "
                     "WHERE e.REFERENCIA = 7 AND h.DESTINATARIO = '5511900000001'"),
              "1");
    // Stored before: nothing written again.
    EXPECT_EQ(scalar("SELECT count(*) FROM dbHISTORICO WHERE DESTINATARIO = '5511900000002'"), "0");
    // Its claim moved on: the modem's result is in the history, the row stays for whoever holds it now.
    EXPECT_EQ(scalar("SELECT count(*) FROM dbHISTORICO WHERE DESTINATARIO = '5511900000003'"), "1");
    EXPECT_EQ(scalar("SELECT STATUS_ENTREGA FROM dbHISTORICO WHERE DESTINATARIO = '5511900000003'"),
              "POSSÍVEL DUPLICADA");
    EXPECT_EQ(scalar("SELECT FICHA FROM dbMENSAGEM WHERE ID = " + QString::number(moved)), "99");
    EXPECT_EQ(JournalReplay::applyPending(ado, data.path(), [](const QString&) {}), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM dbHISTORICO"), "2");
}

// Killed after the commit and before the file was emptied: the same entries applied again store nothing twice.
TEST_P(JournalReplayTest, AReplayRepeatedAfterAKillStoresNothingTwice) {
    const qint64 id = outboxRow("5511900000009", 5);
    for (int round = 0; round < 2; ++round) {
        QString error;
        EXPECT_NE(JournalReplay::store(ado, entry(id, 5, "5511900000009"), &error), ResultJournal::Applied::Failed)
            << error.toStdString();
    }
    EXPECT_EQ(scalar("SELECT count(*) FROM dbHISTORICO WHERE DESTINATARIO = '5511900000009'"), "1");
    EXPECT_EQ(scalar("SELECT count(*) FROM dbMENSAGEM"), "0");
}

INSTANTIATE_TEST_SUITE_P(Store, JournalReplayTest, kBothStores, storeName);

// The server still away when the replay is tried: nothing is lost, the operator reads why, and the next try once
// it is back stores the results.
class JournalReplayServerTest : public OnBothStores<JournalReplayBase> {};

TEST_P(JournalReplayServerTest, AServerStillAwayKeepsTheJournalForTheNextTry) {
    const qint64 first = outboxRow("5511900000011", 1);
    const qint64 second = outboxRow("5511900000012", 2);
    ResultJournal j = journal();
    QString error;
    ASSERT_TRUE(j.append(entry(first, 1, "5511900000011"), &error));
    ASSERT_TRUE(j.append(entry(second, 2, "5511900000012"), &error));
    QString why;
    ASSERT_TRUE(data.pg->server->stop(&why)) << why.toStdString();
    QStringList lines;
    EXPECT_EQ(JournalReplay::applyPending(ado, data.path(), [&](const QString& l) { lines << l; }), 0);
    ASSERT_TRUE(data.pg->server->start(&why)) << why.toStdString();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().startsWith("Banco de dados indisponível: ")) << lines.first().toStdString();
    EXPECT_EQ(j.read().size(), 2);
    EXPECT_EQ(JournalReplay::applyPending(ado, data.path(), [](const QString&) {}), 2);
    EXPECT_EQ(scalar("SELECT count(*) FROM dbHISTORICO"), "2");
    EXPECT_EQ(scalar("SELECT count(*) FROM dbMENSAGEM"), "0");
    EXPECT_TRUE(j.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Store, JournalReplayServerTest, ::testing::Values(StoreLocation::Kind::Postgres), storeName);

} // namespace
