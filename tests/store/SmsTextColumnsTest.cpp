#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

#include "TempDataDir.h"
#include "store/Schema.h"
#include "store/SmsModeSettings.h"
#include "store/TableRebuild.h"

namespace {

// The settings and outbox tables as files made before PDU mode hold them: 160 characters at most.
const char* const kOldCfg =
    "CREATE TABLE dbCFG (\n  EMPRESA TEXT,\n  HOST TEXT,\n  USERNAME TEXT,\n  PASSWORD TEXT,\n  PORTA INTEGER,\n"
    "  TLS TEXT,\n  SSL INTEGER NOT NULL DEFAULT 1,\n  METHODSLL TEXT CHECK (length(METHODSLL) <= 30),\n"
    "  ASSUNTO TEXT,\n  BODY_EMAIL TEXT,\n  BODY_SMS TEXT CHECK (length(BODY_SMS) <= 160),\n  HORARIO TEXT,\n"
    "  AUTO INTEGER NOT NULL DEFAULT 0,\n  ADOCONNECTION TEXT,\n  QUERY TEXT,\n  CASCATA INTEGER,\n"
    "  TEMPO_SMS INTEGER,\n  TEMPO_EMAIL INTEGER,\n  VERSAO TEXT\n)";
const char* const kOldMensagem = "CREATE TABLE dbMENSAGEM (\n  ID INTEGER PRIMARY KEY AUTOINCREMENT,\n  FONE TEXT,\n"
                                 "  MENSAGEM TEXT CHECK (length(MENSAGEM) <= 160),\n  PORTA INTEGER\n)";

QVariant scalar(const QSqlDatabase& db, const QString& sql) {
    QSqlQuery q(db);
    EXPECT_TRUE(q.exec(sql)) << q.lastError().text().toStdString() << " : " << sql.toStdString();
    return q.next() ? q.value(0) : QVariant();
}

void run(const QSqlDatabase& db, const QString& sql) {
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec(sql)) << q.lastError().text().toStdString() << " : " << sql.toStdString();
}

// Old tables with rows: outbox ids 3, 7 and 8 left after sends, the auto-number at 20, one in-flight mark.
void fillOldTables(const QSqlDatabase& db) {
    run(db, "DROP TABLE IF EXISTS dbCFG");
    run(db, "DROP TABLE IF EXISTS dbMENSAGEM");
    run(db, kOldCfg);
    run(db, kOldMensagem);
    run(db, "CREATE INDEX IX_MENSAGEM_PORTA ON dbMENSAGEM (PORTA, ID)");
    run(db,
        "INSERT INTO dbCFG (EMPRESA, BODY_SMS, CASCATA) VALUES ('Loja', 'Ola [NOME], " + QString(140, 'x') + "', 7)");
    run(db, "INSERT INTO dbMENSAGEM (ID, FONE, MENSAGEM, PORTA) VALUES (3, '11999990003', 'tres', 1), "
            "(7, '11999990007', '" +
                QString(160, 'y') + "', 2), (8, '11999990008', 'oito', 2)");
    run(db, "UPDATE sqlite_sequence SET seq = 20 WHERE name = 'dbMENSAGEM'");
}

QString outboxDump(const QSqlDatabase& db) {
    QSqlQuery q(db);
    EXPECT_TRUE(q.exec("SELECT ID || '|' || FONE || '|' || MENSAGEM || '|' || PORTA FROM dbMENSAGEM ORDER BY ID"));
    QStringList rows;
    while (q.next())
        rows << q.value(0).toString();
    return rows.join('\n');
}

bool insertsText(const QSqlDatabase& db, const QString& sql, int length) {
    QSqlQuery q(db);
    q.prepare(sql);
    q.addBindValue(QString(length, QChar(0x00E3)));
    return q.exec();
}

// A plain connection to a database file of its own, without the data module.
struct RawFile {
    QTemporaryDir dir;
    QString name = QStringLiteral("raw");
    QSqlDatabase db;
    RawFile() {
        db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(dir.path() + "/old.db");
        db.open();
        QSqlQuery(db).exec("PRAGMA journal_mode = WAL");
    }
    ~RawFile() {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
};

void checkUpgraded(const TADO::StartResult& r, const QSqlDatabase& db);

TEST(SmsTextColumns, UpgradeOfOldFileWidensBothChecksKeepingRowsKeysAndIndex) {
    TempDataDir d;
    {
        TADO ado;
        ASSERT_TRUE(ado.start(d.path()).ok);
        fillOldTables(ado.database());
        ado.releaseThreadConnection();
    }
    auto r = d.start();
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    checkUpgraded(r, d.ado->database());
    d.ado.reset();
    auto again = d.start();
    ASSERT_TRUE(again.ok);
    EXPECT_TRUE(again.executed.isEmpty()) << again.executed.join("|").toStdString();
}

void checkUpgraded(const TADO::StartResult& r, const QSqlDatabase& db) {
    EXPECT_TRUE(r.warnings.isEmpty()) << r.warnings.join("|").toStdString();
    // MODO_SMS, CONFIRMA_ENTREGA, the three opt-out settings, ESPERA_REDE_S and ENVIANDO added, then the two
    // tables rebuilt, then the outbox's three claim columns.
    EXPECT_EQ(r.executed.size(), 12) << r.executed.join("|").toStdString();
    EXPECT_EQ(TableRebuild::lengthBound(db, "dbMENSAGEM", "MENSAGEM"), kSmsColumnMaxChars);
    EXPECT_EQ(TableRebuild::lengthBound(db, "dbCFG", "BODY_SMS"), kSmsColumnMaxChars);
    EXPECT_EQ(outboxDump(db), "3|11999990003|tres|1\n7|11999990007|" + QString(160, 'y') + "|2\n8|11999990008|oito|2");
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM sqlite_master WHERE name = 'IX_MENSAGEM_PORTA'").toInt(), 1);
    EXPECT_TRUE(Schema::hasColumn(db, "dbMENSAGEM", "ENVIANDO"));
    EXPECT_EQ(scalar(db, "SELECT EMPRESA || CASCATA || length(BODY_SMS) FROM dbCFG").toString(), "Loja7152");
    QString err;
    const SmsModeSettings mode = readSmsMode(db, &err);
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();
    EXPECT_EQ(mode.mode, SmsMode::Text);
    EXPECT_FALSE(mode.confirmDelivery);
    // Deleted ids are not handed out again: the auto-number goes on after 20.
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('1', 'x', 1)"));
    EXPECT_EQ(q.lastInsertId().toInt(), 21);
    EXPECT_TRUE(insertsText(db, "INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('1', ?, 1)", 918));
    EXPECT_FALSE(insertsText(db, "INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('1', ?, 1)", 919));
    EXPECT_TRUE(insertsText(db, "UPDATE dbCFG SET BODY_SMS = ?", 918));
    EXPECT_FALSE(insertsText(db, "UPDATE dbCFG SET BODY_SMS = ?", 919));
}

TEST(SmsTextColumns, FreshFileHoldsSixPartTextsAndTextMode) {
    TempDataDir d;
    ASSERT_TRUE(d.start().ok);
    QSqlDatabase db = d.ado->database();
    EXPECT_EQ(TableRebuild::lengthBound(db, "dbMENSAGEM", "MENSAGEM"), kSmsColumnMaxChars);
    EXPECT_EQ(TableRebuild::lengthBound(db, "dbCFG", "BODY_SMS"), kSmsColumnMaxChars);
    EXPECT_EQ(scalar(db, "SELECT MODO_SMS || CONFIRMA_ENTREGA FROM dbCFG").toString(), "TEXTO0");
    EXPECT_FALSE(insertsText(db, "UPDATE dbCFG SET MODO_SMS = ?", 3)) << "only TEXTO or PDU";
}

TEST(SmsTextColumns, ViewOverTheOutboxSurvivesTheRebuild) {
    RawFile f;
    fillOldTables(f.db);
    run(f.db, "CREATE VIEW vPENDENTES AS SELECT ID, FONE FROM dbMENSAGEM WHERE PORTA = 2");
    EXPECT_EQ(TableRebuild::widenLengthCheck(f.db, "dbMENSAGEM", "MENSAGEM", 918), QString());
    EXPECT_EQ(scalar(f.db, "SELECT group_concat(ID) FROM vPENDENTES").toString(), "7,8");
    EXPECT_EQ(TableRebuild::lengthBound(f.db, "dbMENSAGEM", "MENSAGEM"), 918);
}

class RebuildFailure : public ::testing::TestWithParam<const char*> {};

// A failure at any step leaves the table as it was: definition, rows, index, auto-number; no half-built copy.
TEST_P(RebuildFailure, LeavesTheOldTableIntact) {
    RawFile f;
    fillOldTables(f.db);
    const QString before = outboxDump(f.db);
    const QString failAt = QString::fromLatin1(GetParam());
    const QString err = TableRebuild::widenLengthCheck(f.db, "dbMENSAGEM", "MENSAGEM", 918,
                                                       [&](const QString& step) { return step != failAt; });
    EXPECT_TRUE(err.contains(failAt)) << err.toStdString();
    EXPECT_EQ(TableRebuild::lengthBound(f.db, "dbMENSAGEM", "MENSAGEM"), 160);
    EXPECT_EQ(outboxDump(f.db), before);
    EXPECT_EQ(scalar(f.db, "SELECT count(*) FROM sqlite_master WHERE name = 'IX_MENSAGEM_PORTA'").toInt(), 1);
    EXPECT_EQ(scalar(f.db, "SELECT seq FROM sqlite_sequence WHERE name = 'dbMENSAGEM'").toInt(), 20);
    EXPECT_EQ(scalar(f.db, "SELECT count(*) FROM sqlite_master WHERE name LIKE '%reconstruida%'").toInt(), 0);
    // The connection is usable afterwards and a second try succeeds.
    EXPECT_EQ(TableRebuild::widenLengthCheck(f.db, "dbMENSAGEM", "MENSAGEM", 918), QString());
    EXPECT_EQ(outboxDump(f.db), before);
    EXPECT_EQ(scalar(f.db, "SELECT seq FROM sqlite_sequence WHERE name = 'dbMENSAGEM'").toInt(), 20);
}

INSTANTIATE_TEST_SUITE_P(Steps, RebuildFailure,
                         ::testing::Values("create", "copy", "drop", "rename", "indexes", "sequence", "commit"));

// The process is killed after the old table was dropped and the copy renamed, before the commit: the journal
// brings the old table back at the next open.
TEST(SmsTextColumns, KillBeforeCommitLeavesTheOldTable) {
    GTEST_FLAG_SET(death_test_style, "fast"); // the child must see this test's file
    QTemporaryDir dir;
    const QString path = dir.path() + "/old.db";
    QString before;
    {
        RawFile f;
        f.db.close();
        f.db.setDatabaseName(path);
        ASSERT_TRUE(f.db.open());
        run(f.db, "PRAGMA journal_mode = WAL");
        fillOldTables(f.db);
        before = outboxDump(f.db);
    }
    auto killedRebuild = [&] {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "child");
        db.setDatabaseName(path);
        if (!db.open())
            std::_Exit(3);
        TableRebuild::widenLengthCheck(db, "dbMENSAGEM", "MENSAGEM", 918, [](const QString& step) {
            if (step == QLatin1String("commit"))
                std::raise(SIGKILL);
            return true;
        });
        std::_Exit(4);
    };
    EXPECT_EXIT(killedRebuild(), ::testing::KilledBySignal(SIGKILL), "");
    RawFile f;
    f.db.close();
    f.db.setDatabaseName(path);
    ASSERT_TRUE(f.db.open());
    EXPECT_EQ(TableRebuild::lengthBound(f.db, "dbMENSAGEM", "MENSAGEM"), 160);
    EXPECT_EQ(outboxDump(f.db), before);
    EXPECT_EQ(scalar(f.db, "SELECT count(*) FROM sqlite_master WHERE name LIKE '%reconstruida%'").toInt(), 0);
    EXPECT_EQ(scalar(f.db, "PRAGMA integrity_check").toString(), "ok");
}

TEST(SmsTextColumns, RebuildFailureDuringUpgradeWarnsAndStartGoesOn) {
    TempDataDir d;
    {
        TADO ado;
        ASSERT_TRUE(ado.start(d.path()).ok);
        fillOldTables(ado.database());
        // Something already holds the name the rebuild needs.
        run(ado.database(), "CREATE TABLE dbMENSAGEM_reconstruida (x)");
        ado.releaseThreadConnection();
    }
    auto r = d.start();
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    ASSERT_EQ(r.warnings.size(), 1) << r.warnings.join("|").toStdString();
    EXPECT_TRUE(r.warnings[0].startsWith("Erro - Ampliando Coluna MENSAGEM = ")) << r.warnings[0].toStdString();
    QSqlDatabase db = d.ado->database();
    EXPECT_EQ(TableRebuild::lengthBound(db, "dbMENSAGEM", "MENSAGEM"), 160);
    EXPECT_EQ(TableRebuild::lengthBound(db, "dbCFG", "BODY_SMS"), kSmsColumnMaxChars);
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM dbMENSAGEM").toInt(), 3);
}

struct ModeCase {
    const char* name;
    const char* setup; // statements run on a file whose settings table was replaced by a plain one
    SmsMode mode;
    bool confirm;
    const char* errorPart; // empty: the read succeeds
};

class ReadSmsMode : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ReadSmsMode, ReportsBadValuesInsteadOfTakingDefaults) {
    const ModeCase& c = GetParam();
    RawFile f;
    for (const QString& sql : QString::fromUtf8(c.setup).split(';', Qt::SkipEmptyParts))
        run(f.db, sql);
    QString err = "stale";
    const SmsModeSettings s = readSmsMode(f.db, &err);
    if (QByteArray(c.errorPart).isEmpty()) {
        EXPECT_TRUE(err.isEmpty()) << err.toStdString();
        EXPECT_EQ(s.mode, c.mode);
        EXPECT_EQ(s.confirmDelivery, c.confirm);
    } else {
        EXPECT_TRUE(err.startsWith("Não foi possível ler o modo de envio de SMS: ")) << err.toStdString();
        EXPECT_TRUE(err.contains(QString::fromUtf8(c.errorPart))) << err.toStdString();
    }
}

#define CFG "CREATE TABLE dbCFG (MODO_SMS TEXT, CONFIRMA_ENTREGA INTEGER);"
INSTANTIATE_TEST_SUITE_P(
    Cases, ReadSmsMode,
    ::testing::Values(
        ModeCase{"text", CFG "INSERT INTO dbCFG VALUES ('TEXTO', 0)", SmsMode::Text, false, ""},
        ModeCase{"pduConfirm", CFG "INSERT INTO dbCFG VALUES ('PDU', 1)", SmsMode::Pdu, true, ""},
        ModeCase{"lowerCase", CFG "INSERT INTO dbCFG VALUES ('pdu', 0)", SmsMode::Text, false, "pdu"},
        ModeCase{"nullMode", CFG "INSERT INTO dbCFG VALUES (NULL, 0)", SmsMode::Text, false, "MODO_SMS"},
        ModeCase{"confirmTwo", CFG "INSERT INTO dbCFG VALUES ('PDU', 2)", SmsMode::Text, false, "CONFIRMA_ENTREGA"},
        ModeCase{"confirmNull", CFG "INSERT INTO dbCFG VALUES ('PDU', NULL)", SmsMode::Text, false, "CONFIRMA_ENTREGA"},
        ModeCase{"noRow", CFG, SmsMode::Text, false, "não tem linha"},
        ModeCase{"noColumn", "CREATE TABLE dbCFG (EMPRESA TEXT);INSERT INTO dbCFG VALUES ('x')", SmsMode::Text, false,
                 "MODO_SMS"},
        ModeCase{"noTable", "", SmsMode::Text, false, "dbCFG"}),
    [](const auto& tp) { return std::string(tp.param.name); });
#undef CFG

TEST(SmsTextColumns, WriteSmsModeRoundTripsAndRefusesAnEmptySettingsTable) {
    TempDataDir d;
    ASSERT_TRUE(d.start().ok);
    QSqlDatabase db = d.ado->database();
    QString err;
    ASSERT_TRUE(writeSmsMode(db, {SmsMode::Pdu, true}, &err)) << err.toStdString();
    const SmsModeSettings s = readSmsMode(db, &err);
    EXPECT_TRUE(err.isEmpty());
    EXPECT_EQ(s.mode, SmsMode::Pdu);
    EXPECT_TRUE(s.confirmDelivery);
    run(db, "DELETE FROM dbCFG");
    EXPECT_FALSE(writeSmsMode(db, {SmsMode::Text, false}, &err));
    EXPECT_TRUE(err.contains("não tem linha")) << err.toStdString();
}

} // namespace
