#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TempDataDir.h"
#include "store/Schema.h"

namespace {

QStringList textoColumns() {
    QStringList c{"TEXTO"};
    for (int i = 0; i <= 9; ++i)
        c << QStringLiteral("TEXTO%1").arg(i);
    return c;
}

QVariant scalar(QSqlDatabase db, const QString& sql) {
    QSqlQuery q(db);
    EXPECT_TRUE(q.exec(sql)) << q.lastError().text().toStdString() << " : " << sql.toStdString();
    return q.next() ? q.value(0) : QVariant();
}

// Makes an "older" file: the current schema, then the named columns and tables taken away.
void makeOlderFile(const QString& dir, const QStringList& dropCfg, const QStringList& dropCliente,
                   const QStringList& dropTables) {
    {
        TADO ado;
        ASSERT_TRUE(ado.start(dir).ok);
        QSqlDatabase db = ado.database();
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("INSERT INTO dbCLIENTE (NOME, FONE, TEXTO3) VALUES ('Ana', '11999990000', 'x')"));
        for (const QString& c : dropCfg)
            ASSERT_TRUE(q.exec("ALTER TABLE dbCFG DROP COLUMN " + c)) << q.lastError().text().toStdString();
        for (const QString& c : dropCliente)
            ASSERT_TRUE(q.exec("ALTER TABLE dbCLIENTE DROP COLUMN " + c)) << q.lastError().text().toStdString();
        for (const QString& t : dropTables)
            ASSERT_TRUE(q.exec("DROP TABLE " + t));
        ado.releaseThreadConnection();
    }
}

TEST(Schema, FirstStartCreatesEverything) {
    TempDataDir d;
    auto r = d.start();
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_TRUE(r.created);
    EXPECT_TRUE(r.warnings.isEmpty());
    QSqlDatabase db = d.ado->database();
    for (const QString& t : Schema::shippedTables() + QStringList{"dbSMS", "dbSMS_BUFFER", "dbENTREGA_PENDENTE",
                                                                  "dbSMS_PARTE", "dbDESCADASTRO"})
        EXPECT_TRUE(Schema::hasTable(db, t)) << t.toStdString();
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM dbCFG").toInt(), 1);
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM dbPORTA WHERE ATIVO = 0 AND VELOCIDADE = 115200 "
                         "AND PARIDADE = 'pNone' AND DATABITS = 8 AND STOPBITS = 1")
                  .toInt(),
              64);
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM dbGRUPO").toInt(), 1);
    EXPECT_EQ(Schema::columns(db, "dbCLIENTE").mid(6), textoColumns());
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(d.ado->databasePath()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(d.ado->dbPORTA->recordCount(), 64);
    EXPECT_EQ(d.ado->dbHISTORICO->recordCount(), 0);
}

struct UpgradeCase {
    const char* name;
    QStringList dropCfg, dropCliente, dropTables;
    int statements;
};

class SchemaUpgrade : public ::testing::TestWithParam<UpgradeCase> {};

TEST_P(SchemaUpgrade, BringsOlderFileToCurrentSchema) {
    const UpgradeCase& c = GetParam();
    TempDataDir d;
    makeOlderFile(d.path(), c.dropCfg, c.dropCliente, c.dropTables);
    auto r = d.start();
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_FALSE(r.created);
    EXPECT_TRUE(r.warnings.isEmpty()) << r.warnings.join("|").toStdString();
    EXPECT_EQ(r.executed.size(), c.statements) << r.executed.join("|").toStdString();
    QSqlDatabase db = d.ado->database();
    for (const char* col : {"TEMPO_EMAIL", "TEMPO_SMS", "SSL", "METHODSLL"})
        EXPECT_TRUE(Schema::hasColumn(db, "dbCFG", col));
    EXPECT_EQ(Schema::columns(db, "dbCLIENTE").mid(6), textoColumns());
    EXPECT_TRUE(Schema::hasTable(db, "dbSMS"));
    EXPECT_TRUE(Schema::hasTable(db, "dbSMS_BUFFER"));
    EXPECT_TRUE(Schema::hasTable(db, "dbSMS_PARTE"));
    // Each added settings column holds its default; columns that were there keep their value.
    auto cfg = d.ado->dbCFG;
    EXPECT_EQ(cfg->integer("TEMPO_EMAIL"), c.dropCfg.contains("TEMPO_EMAIL") ? 5 : 1000);
    EXPECT_EQ(cfg->integer("TEMPO_SMS"), c.dropCfg.contains("TEMPO_SMS") ? 5 : 1000);
    EXPECT_TRUE(cfg->boolean("SSL"));
    EXPECT_EQ(cfg->text("METHODSLL"), c.dropCfg.contains("METHODSLL") ? "sslvSSLv2" : "sslvTLSv1");
    // Contacts otherwise unchanged.
    EXPECT_EQ(scalar(db, "SELECT NOME || FONE FROM dbCLIENTE").toString(), "Ana11999990000");
    EXPECT_EQ(scalar(db, "SELECT TEXTO3 FROM dbCLIENTE").toString(),
              c.dropCliente.contains("TEXTO3") ? QString() : QString("x"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SchemaUpgrade,
    ::testing::Values(UpgradeCase{"current", {}, {}, {}, 0},
                      UpgradeCase{"noSettingsColumns", {"TEMPO_EMAIL", "TEMPO_SMS", "SSL", "METHODSLL"}, {}, {}, 4},
                      UpgradeCase{"noTextoColumns", {}, textoColumns(), {}, 11},
                      UpgradeCase{"sslButNoTempoSms", {"TEMPO_SMS"}, {}, {}, 1},
                      UpgradeCase{"noReceivedSmsTables", {}, {}, {"dbSMS", "dbSMS_BUFFER"}, 2},
                      UpgradeCase{"noPartWaitTable", {}, {}, {"dbSMS_PARTE"}, 1},
                      UpgradeCase{"everythingOld",
                                  {"TEMPO_EMAIL", "TEMPO_SMS", "SSL", "METHODSLL"},
                                  textoColumns(),
                                  {"dbSMS", "dbSMS_BUFFER", "dbSMS_PARTE"},
                                  18}),
    [](const auto& tp) { return std::string(tp.param.name); });

// A file from before delivery reports: history rows without ENTREGUE/STATUS_ENTREGA, no table of awaited
// reports; and one whose upgrade stopped after the table, before its second index.
TEST(Schema, UpgradeAddsDeliveryColumnsAndTableKeepingHistory) {
    for (const bool stoppedHalfway : {false, true}) {
        TempDataDir d;
        {
            TADO ado;
            ASSERT_TRUE(ado.start(d.path()).ok);
            QSqlQuery q(ado.database());
            ASSERT_TRUE(q.exec("INSERT INTO dbHISTORICO (DESTINATARIO, MENSAGEM, TIPO, ENVIADO) "
                               "VALUES ('11999990000', 'oi', 'SMS', 1)"));
            if (stoppedHalfway) {
                ASSERT_TRUE(q.exec("DROP INDEX IX_ENTREGA_PENDENTE_HISTORICO"));
            } else {
                ASSERT_TRUE(q.exec("DROP TABLE dbENTREGA_PENDENTE"));
                for (const char* c : {"ENTREGUE", "STATUS_ENTREGA"})
                    ASSERT_TRUE(q.exec(QStringLiteral("ALTER TABLE dbHISTORICO DROP COLUMN ") + c));
            }
            ado.releaseThreadConnection();
        }
        auto r = d.start();
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        EXPECT_TRUE(r.warnings.isEmpty()) << r.warnings.join("|").toStdString();
        EXPECT_EQ(r.executed.size(), stoppedHalfway ? 1 : 5) << r.executed.join("|").toStdString();
        QSqlDatabase db = d.ado->database();
        EXPECT_EQ(scalar(db, "SELECT DESTINATARIO || '|' || ifnull(ENTREGUE, '-') || '|' || "
                             "ifnull(STATUS_ENTREGA, '-') FROM dbHISTORICO")
                      .toString(),
                  "11999990000|-|-");
        EXPECT_EQ(scalar(db, "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND "
                             "tbl_name = 'dbENTREGA_PENDENTE'")
                      .toInt(),
                  2);
        // The reference is a modem's 0..255 count: anything else is refused by the table itself.
        QSqlQuery q(db);
        EXPECT_FALSE(q.exec("INSERT INTO dbENTREGA_PENDENTE (PORTA, REFERENCIA, ENVIO) VALUES (1, 256, '')"));
        EXPECT_TRUE(q.exec("INSERT INTO dbENTREGA_PENDENTE (PORTA, REFERENCIA, ENVIO) VALUES (1, 255, '')"));
    }
}

// A file from before the modem set-up: the slots' SIM columns, the history's IMSI and the network wait are added,
// the slots keep their settings, and a refused PIN stays refused until a different PIN is saved.
TEST(Schema, UpgradeAddsSlotSimColumnsAndPinRefusalLiftsOnNewPin) {
    TempDataDir d;
    {
        TADO ado;
        ASSERT_TRUE(ado.start(d.path()).ok);
        QSqlQuery q(ado.database());
        ASSERT_TRUE(q.exec("DROP TRIGGER TR_PORTA_PIN"));
        for (const char* c : {"PIN", "PIN_RECUSADO", "SMSC", "IMEI", "IMSI", "ICCID", "MODELO", "LIMITE_DIA"})
            ASSERT_TRUE(q.exec(QStringLiteral("ALTER TABLE dbPORTA DROP COLUMN ") + c)) << c;
        ASSERT_TRUE(q.exec("ALTER TABLE dbHISTORICO DROP COLUMN IMSI"));
        ASSERT_TRUE(q.exec("ALTER TABLE dbCFG DROP COLUMN ESPERA_REDE_S"));
        ASSERT_TRUE(q.exec("UPDATE dbPORTA SET ATIVO = 1, COM = 7 WHERE ID = 3"));
        ado.releaseThreadConnection();
    }
    auto r = d.start();
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_TRUE(r.warnings.isEmpty()) << r.warnings.join("|").toStdString();
    EXPECT_EQ(r.executed.size(), 11) << r.executed.join("|").toStdString();
    QSqlDatabase db = d.ado->database();
    EXPECT_EQ(scalar(db, "SELECT ESPERA_REDE_S FROM dbCFG").toInt(), 60);
    EXPECT_EQ(scalar(db, "SELECT COM || '|' || ATIVO || '|' || ifnull(PIN, '') || '|' || PIN_RECUSADO || '|' || "
                         "LIMITE_DIA FROM dbPORTA WHERE ID = 3")
                  .toString(),
              "7|1||0|0");
    EXPECT_TRUE(Schema::hasColumn(db, "dbHISTORICO", "IMSI"));
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec("UPDATE dbPORTA SET PIN = '1234' WHERE ID = 3"));
    ASSERT_TRUE(q.exec("UPDATE dbPORTA SET PIN_RECUSADO = 1 WHERE ID = 3"));      // the SIM refused it
    ASSERT_TRUE(q.exec("UPDATE dbPORTA SET PIN = '1234', COM = 8 WHERE ID = 3")); // same PIN saved again
    EXPECT_EQ(scalar(db, "SELECT PIN_RECUSADO FROM dbPORTA WHERE ID = 3").toInt(), 1);
    ASSERT_TRUE(q.exec("UPDATE dbPORTA SET PIN = '4321' WHERE ID = 3"));
    EXPECT_EQ(scalar(db, "SELECT PIN_RECUSADO FROM dbPORTA WHERE ID = 3").toInt(), 0);
}

// A name taken by something else stops the start with the database's reason rather than run without the table.
TEST(Schema, DeliveryTableThatCannotBeMadeStopsTheStart) {
    TempDataDir d;
    {
        TADO ado;
        ASSERT_TRUE(ado.start(d.path()).ok);
        QSqlQuery q(ado.database());
        ASSERT_TRUE(q.exec("DROP TABLE dbENTREGA_PENDENTE"));
        ASSERT_TRUE(q.exec("CREATE TABLE IX_ENTREGA_PENDENTE_REF (x)"));
        ado.releaseThreadConnection();
    }
    auto r = d.start();
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains("IX_ENTREGA_PENDENTE_REF")) << r.error.toStdString();
}

TEST(Schema, AddColumnFailureWarnsAndGoesOn) {
    TempDataDir d;
    {
        TADO ado;
        ASSERT_TRUE(ado.start(d.path()).ok);
        QSqlQuery q(ado.database());
        // A settings "table" that cannot take new columns: a view over a copy lacking TEMPO_EMAIL.
        ASSERT_TRUE(q.exec("CREATE TABLE cfg_old AS SELECT EMPRESA, HOST, TEMPO_SMS, SSL, METHODSLL, AUTO FROM dbCFG"));
        ASSERT_TRUE(q.exec("DROP TABLE dbCFG"));
        ASSERT_TRUE(q.exec("CREATE VIEW dbCFG AS SELECT * FROM cfg_old"));
        ado.releaseThreadConnection();
    }
    auto r = d.start();
    // Every missing column is tried in turn, each failure with its own warning.
    ASSERT_EQ(r.warnings.size(), 7) << r.warnings.join("|").toStdString();
    EXPECT_TRUE(r.warnings[0].startsWith("Erro - Criando Coluna TEMPO_EMAIL = ")) << r.warnings[0].toStdString();
    EXPECT_TRUE(r.warnings[1].startsWith("Erro - Criando Coluna MODO_SMS = ")) << r.warnings[1].toStdString();
    EXPECT_TRUE(r.warnings[2].startsWith("Erro - Criando Coluna CONFIRMA_ENTREGA = ")) << r.warnings[2].toStdString();
    EXPECT_TRUE(r.warnings[3].startsWith("Erro - Criando Coluna PALAVRAS_SAIR = ")) << r.warnings[3].toStdString();
    EXPECT_TRUE(r.warnings[4].startsWith("Erro - Criando Coluna RODAPE_SAIR = ")) << r.warnings[4].toStdString();
    EXPECT_TRUE(r.warnings[5].startsWith("Erro - Criando Coluna ESPERA_REDE_S = ")) << r.warnings[5].toStdString();
    EXPECT_TRUE(r.warnings[6].startsWith("Erro - Criando Coluna CONFIRMA_SAIR = ")) << r.warnings[6].toStdString();
}

struct BadFileCase {
    const char* name;
    QByteArray content;
    const char* errorPart;
};

class SchemaBadFile : public ::testing::TestWithParam<BadFileCase> {};

TEST_P(SchemaBadFile, RefusesToRunWithoutItsData) {
    TempDataDir d;
    QFile f(d.path() + "/BDSMS.db");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(GetParam().content);
    f.close();
    if (GetParam().content == "sqlite") {
        f.remove();
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other");
        db.setDatabaseName(f.fileName());
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec("CREATE TABLE outra (x)");
        db.close();
    }
    QSqlDatabase::removeDatabase("other");
    auto r = d.start();
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.startsWith("Não foi possível abrir o banco de dados")) << r.error.toStdString();
    EXPECT_TRUE(r.error.contains(GetParam().errorPart)) << r.error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cases, SchemaBadFile,
                         ::testing::Values(BadFileCase{"garbage", QByteArray(4096, 'x'), "not a database"},
                                           BadFileCase{"otherDatabase", "sqlite", "dbGRUPO"}),
                         [](const auto& tp) { return std::string(tp.param.name); });

TEST(Schema, CounterRestartsAtOneAfterFullClearAndContinuesAfterPartial) {
    TempDataDir d;
    ASSERT_TRUE(d.start().ok);
    QSqlDatabase db = d.ado->database();
    QSqlQuery q(db);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(q.exec("INSERT INTO dbHISTORICO (DESTINATARIO, TIPO) VALUES ('1', 'SMS')"));
    ASSERT_TRUE(q.exec("DELETE FROM dbHISTORICO WHERE ID_HISTORICO < 3"));
    ASSERT_TRUE(d.ado->resetCounter("dbHISTORICO"));
    ASSERT_TRUE(q.exec("INSERT INTO dbHISTORICO (DESTINATARIO, TIPO) VALUES ('2', 'SMS')"));
    EXPECT_EQ(q.lastInsertId().toInt(), 4);
    ASSERT_TRUE(q.exec("DELETE FROM dbHISTORICO"));
    ASSERT_TRUE(d.ado->resetCounter("dbHISTORICO"));
    ASSERT_TRUE(q.exec("INSERT INTO dbHISTORICO (DESTINATARIO, TIPO) VALUES ('3', 'SMS')"));
    EXPECT_EQ(q.lastInsertId().toInt(), 1);
    // The table supplies the time stamp in a form that sorts and compares as text.
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$")
                    .match(scalar(db, "SELECT DATA FROM dbHISTORICO").toString())
                    .hasMatch());
}

TEST(Schema, TextFieldsRefuseMoreThanThirtyCharacters) {
    TempDataDir d;
    ASSERT_TRUE(d.start().ok);
    QSqlQuery q(d.ado->database());
    q.prepare("INSERT INTO dbCLIENTE (NOME, TEXTO5) VALUES ('x', ?)");
    q.addBindValue(QString(31, 'a'));
    EXPECT_FALSE(q.exec());
    q.addBindValue(QString(30, QChar(0x00E3)));
    EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString();
}

} // namespace
