#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "MissingPeer.h"
#include "PgServer.h"
#include "contacts/ContactSearch.h"
#include "history/FailedContacts.h"
#include "history/HistorySearch.h"
#include "optout/SuppressionList.h"
#include "optout/SuppressionSet.h"
#include "sms/DeliveryReports.h"
#include "sms/ModemSetup.h"
#include "store/PgCopy.h"
#include "store/PgSchema.h"
#include "store/Schema.h"
#include "store/SqlDialect.h"
#include "store/TADO.h"

namespace {

// A data module on an empty database of the test's own.
class PgStore : public ::testing::Test {
protected:
    void SetUp() override {
        if (!db.ok())
            VESTRAL_SKIP_MISSING_PEER("PostgreSQL: " << db.why.toStdString());
    }
    TADO::StartResult start(const StoreLocation& where) {
        ado = std::make_unique<TADO>();
        ado->setStore(where);
        return ado->start(dir.path());
    }
    TADO::StartResult start() { return start(db.location()); }
    QVariant scalar(const QString& sql) {
        QSqlQuery q(ado->database());
        EXPECT_TRUE(q.exec(sql)) << q.lastError().text().toStdString() << " : " << sql.toStdString();
        return q.next() ? q.value(0) : QVariant();
    }
    void TearDown() override { ado.reset(); }

    PgDatabase db;
    QTemporaryDir dir;
    std::unique_ptr<TADO> ado;
};

TEST_F(PgStore, EmptyDatabaseGetsTheWholeSchemaOnceAndTheSecondStartRunsNothing) {
    auto r = start();
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_TRUE(r.created);
    EXPECT_FALSE(r.executed.isEmpty());
    for (const QString& t : PgCopy::tables())
        EXPECT_TRUE(Schema::hasTable(ado->database(), t)) << t.toStdString();
    EXPECT_EQ(scalar("SELECT count(*) FROM dbCFG").toInt(), 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM dbPORTA WHERE ATIVO = 0 AND VELOCIDADE = 115200").toInt(), 64);
    EXPECT_EQ(scalar("SELECT count(*) FROM dbGRUPO").toInt(), 1);
    EXPECT_EQ(PgSchema::version(ado->database()), PgSchema::kVersion);
    ado.reset();
    r = start();
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_FALSE(r.created);
    EXPECT_TRUE(r.executed.isEmpty()) << r.executed.join('\n').toStdString();
    EXPECT_EQ(scalar("SELECT count(*) FROM dbCFG").toInt(), 1);
}

// Stamps as SQLite keeps them; keys that restart; the TEXT(30) bound; the indexes the searches use.
TEST_F(PgStore, StampsKeysBoundsAndIndexesBehaveAsOnTheFile) {
    ASSERT_TRUE(start().ok);
    QSqlQuery q(ado->database());
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(q.exec("INSERT INTO dbHISTORICO (DESTINATARIO, TIPO) VALUES ('1', 'SMS')"));
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$")
                    .match(scalar("SELECT DATA FROM dbHISTORICO LIMIT 1").toString())
                    .hasMatch());
    ASSERT_TRUE(q.exec("DELETE FROM dbHISTORICO WHERE ID_HISTORICO < 3"));
    ASSERT_TRUE(ado->resetCounter("dbHISTORICO"));
    ASSERT_TRUE(q.exec("INSERT INTO dbHISTORICO (DESTINATARIO, TIPO) VALUES ('2', 'SMS') RETURNING ID_HISTORICO"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 4);
    ASSERT_TRUE(q.exec("DELETE FROM dbHISTORICO"));
    ASSERT_TRUE(ado->resetCounter("dbHISTORICO"));
    ASSERT_TRUE(q.exec("INSERT INTO dbHISTORICO (DESTINATARIO, TIPO) VALUES ('3', 'SMS') RETURNING ID_HISTORICO"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 1);

    q.prepare("INSERT INTO dbCLIENTE (NOME, TEXTO5) VALUES ('x', ?)");
    q.addBindValue(QString(31, 'a'));
    EXPECT_FALSE(q.exec());
    q.addBindValue(QString(30, QChar(0x00E3)));
    EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString();
    for (const char* ix : {"ix_historico_data", "ix_cliente_nome", "ix_mensagem_porta"})
        EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM pg_indexes WHERE indexname = '%1'").arg(ix)).toInt(), 1)
            << ix;
}

// The same matches on a database whose character type leaves accented capitals alone (locale "C": the fold is done
// by hand) and on one whose lower() folds them (C.UTF-8: lower() alone); NULL names match nothing.
TEST_F(PgStore, LikeFoldsAccentedCapitalsWhateverTheServerLocale) {
    const QString utf8 = db.name + "_utf8";
    ASSERT_TRUE(db.server->exec("postgres", "CREATE DATABASE " + utf8 + " OWNER " + db.location().user +
                                                " TEMPLATE template0 ENCODING 'UTF8' LC_CTYPE 'C.UTF-8' "
                                                "LC_COLLATE 'C.UTF-8'"));
    for (const bool byHand : {true, false}) {
        SCOPED_TRACE(byHand ? "locale C" : "locale C.UTF-8");
        ASSERT_TRUE(start(byHand ? db.location() : db.server->location(utf8)).ok);
        QSqlQuery q(ado->database());
        ASSERT_TRUE(q.exec("SELECT prosrc FROM pg_proc WHERE proname = 'vestral_dobra'") && q.next());
        EXPECT_EQ(q.value(0).toString().contains("translate"), byHand) << q.value(0).toString().toStdString();
        ASSERT_TRUE(q.exec("INSERT INTO dbCLIENTE (NOME) VALUES ('ÂNGELA'), ('Ângela Souza'), ('JOÃO'), ('angelo'), "
                           "(NULL), ('ŒUVRE ŠÍPEK')"));
        const struct {
            const char* pattern;
            int found;
        } cases[] = {{"%ângela%", 2}, {"%ÂNGELA%", 2},    {"joão", 1}, {"%ANGEL%", 1},
                     {"%\\%%", 0},    {"œuvre šípek", 1}, {"%", 5},    {"", 0}};
        for (const auto& c : cases) {
            q.prepare("SELECT count(*) FROM dbCLIENTE WHERE " + SqlDialect::foldedLike(ado->database(), "NOME", ":p"));
            q.bindValue(":p", QString::fromUtf8(c.pattern));
            ASSERT_TRUE(q.exec() && q.next()) << q.lastError().text().toStdString();
            EXPECT_EQ(q.value(0).toInt(), c.found) << c.pattern;
        }
        ado.reset();
    }
    db.server->exec("postgres", "DROP DATABASE IF EXISTS " + utf8 + " WITH (FORCE)");
}

// The statements of the design compare yes/no columns with TRUE and FALSE, as SQLite takes them.
TEST_F(PgStore, YesNoColumnsCompareWithTrueAndFalseAndTakeBooleans) {
    ASSERT_TRUE(start().ok);
    QSqlQuery q(ado->database());
    ASSERT_TRUE(q.exec("INSERT INTO dbHISTORICO (TIPO, ENVIADO) VALUES ('SMS', 1), ('SMS', 0), ('SMS', 1)"));
    EXPECT_EQ(scalar("SELECT count(*) FROM dbHISTORICO WHERE (dbHISTORICO.ENVIADO = True)").toInt(), 2);
    EXPECT_EQ(scalar("SELECT count(*) FROM dbHISTORICO WHERE (dbHISTORICO.ENVIADO = False)").toInt(), 1);
    Dataset* c = ado->dbCLIENTE;
    c->append();
    c->setValue("NOME", "Ana");
    c->setValue("DESATIVADO", true);
    ASSERT_TRUE(c->post()) << c->lastError().toStdString();
    EXPECT_EQ(scalar("SELECT DESATIVADO FROM dbCLIENTE").toInt(), 1);
}

// The contact search and the failed-contact actions, with their own statements, on the server.
TEST_F(PgStore, ContactSearchAndFailedContactsMatchWithoutCase) {
    ASSERT_TRUE(start().ok);
    QSqlQuery q(ado->database());
    ASSERT_TRUE(
        q.exec("INSERT INTO dbCLIENTE (NOME, FONE, EMAIL, ID_GRUPO) VALUES ('Ângela', '1', "
               "'Angela@Exemplo.com.br', 1), ('Bruno', '2', 'bruno@exemplo.com.br', 1), ('ÉRICA', '3', '', 1)"));
    ContactSearch search(ado->dbCLIENTE);
    const struct {
        const char* column;
        const char* text;
        int found;
    } cases[] = {{"NOME", "ângela", 1},   {"NOME", "érica", 1}, {"NOME", "R", 2},
                 {"EMAIL", "EXEMPLO", 2}, {"NOME", "%", 0},     {"FONE", "_", 0}};
    for (const auto& c : cases) {
        ASSERT_TRUE(search.searchColumn(c.column, QString::fromUtf8(c.text))) << search.lastError().toStdString();
        EXPECT_EQ(ado->dbCLIENTE->recordCount(), c.found) << c.column << " " << c.text;
    }
    ASSERT_TRUE(search.byStatus(ContactSearch::Ativado)) << search.lastError().toStdString();
    EXPECT_EQ(ado->dbCLIENTE->recordCount(), 3);

    ASSERT_TRUE(q.exec("INSERT INTO dbHISTORICO (DESTINATARIO, TIPO, ENVIADO) VALUES "
                       "('(Ângela) ANGELA@exemplo.com.br', 'E-Mail', 0), ('2', 'SMS', 1)"));
    Dataset* h = ado->dbHISTORICO;
    HistorySearch::Filter failed;
    failed.outcome = HistorySearch::Outcome::Failed;
    h->setSql(HistorySearch::statementLines(failed));
    ASSERT_TRUE(h->open()) << h->lastError().toStdString();
    EXPECT_EQ(h->recordCount(), 1);
    const FailedContacts::Result r = FailedContacts::apply(ado.get(), h, FailedContacts::Action::Disable);
    EXPECT_EQ(r.contactsChanged, 1);
    EXPECT_EQ(scalar("SELECT NOME FROM dbCLIENTE WHERE DESATIVADO = 1").toString(), "Ângela");
}

// The recipient set's statement quotes names the Jet way; the server reads it without the brackets.
TEST_F(PgStore, BracketedNamesOfTheDesignReadOnTheServer) {
    ASSERT_TRUE(start().ok);
    QSqlQuery q(ado->database());
    ASSERT_TRUE(q.exec("INSERT INTO dbCLIENTE (NOME, ID_GRUPO) VALUES ('Ana', 1)"));
    const QString sql =
        "SELECT dbCLIENTE.NOME FROM dbGRUPO INNER JOIN dbCLIENTE ON dbGRUPO.[ID_GRUPO] = dbCLIENTE.[ID_GRUPO];";
    EXPECT_FALSE(q.exec(sql));
    ASSERT_TRUE(q.exec(SqlDialect::plainNames(ado->database(), sql))) << q.lastError().text().toStdString();
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toString(), "Ana");
}

// A message's references are remembered outside any transaction too (the report read later by the inbox):
// PostgreSQL takes no savepoint there.
TEST_F(PgStore, DeliveryReferencesAreRememberedWithoutTheCallersTransaction) {
    ASSERT_TRUE(start().ok);
    QSqlDatabase conn = ado->database();
    QSqlQuery q(conn);
    ASSERT_TRUE(q.exec("INSERT INTO dbHISTORICO (DESTINATARIO, TIPO, ENVIADO) VALUES ('1', 'SMS', 1)"));
    QString error;
    EXPECT_TRUE(DeliveryReports::remember(conn, 1, {7, 8}, 1, &error)) << error.toStdString();
    EXPECT_EQ(scalar("SELECT count(*) FROM dbENTREGA_PENDENTE WHERE ID_HISTORICO = 1").toInt(), 2);
    EXPECT_FALSE(DeliveryReports::remember(conn, 1, {300}, 1, &error));
    EXPECT_EQ(scalar("SELECT count(*) FROM dbENTREGA_PENDENTE").toInt(), 2);
}

// What version 4 added: the station of an awaited delivery report, the shared tables' change counters and triggers.
QStringList versionFourUndone() {
    QStringList s{"ALTER TABLE dbENTREGA_PENDENTE DROP COLUMN ESTACAO", "DROP FUNCTION vestral_mudou() CASCADE"};
    for (const QString& t : PgSchema::watchedTables())
        s << "DROP SEQUENCE " + PgSchema::changeCounter(t);
    return s;
}

// A database of version 4, whose claims walk the whole outbox for rows to the same number and whose held delivery
// reports have no number: the next start adds the index of the claimed and in-flight rows' numbers (a claim's
// look-up uses it) and the held reports' number.
TEST_F(PgStore, AVersionFourDatabaseGainsTheIndexOfBusyNumbersAndTheHeldReportsNumber) {
    ASSERT_TRUE(start().ok);
    ado.reset();
    for (const char* sql :
         {"DROP INDEX ix_mensagem_fone_ocupada", "UPDATE vestral_esquema SET VERSAO = 4",
          "INSERT INTO dbMENSAGEM (FONE, MENSAGEM) SELECT '5511' || g, 'x' FROM "
          "generate_series(1, 20000) g",
          "UPDATE dbMENSAGEM SET FICHA_VALIDADE = '2099-01-01 00:00:00' WHERE ID % 1000 = 0", "ANALYZE dbMENSAGEM"})
        ASSERT_TRUE(db.server->exec(db.name, sql)) << sql;
    const auto r = start();
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(PgSchema::version(ado->database()), PgSchema::kVersion);
    QSqlQuery q(ado->database());
    ASSERT_TRUE(q.exec("EXPLAIN SELECT 1 FROM dbMENSAGEM o WHERE o.FONE = '551150' AND (o.ENVIANDO IS NOT NULL OR "
                       "o.FICHA_VALIDADE >= '2026-01-01 00:00:00')"));
    QString plan;
    while (q.next())
        plan += q.value(0).toString() + "\n";
    EXPECT_TRUE(plan.contains("ix_mensagem_fone_ocupada")) << plan.toStdString();
    EXPECT_TRUE(q.exec("SELECT FONE FROM dbENTREGA_PENDENTE")) << q.lastError().text().toStdString();
}

// A database of version 3: the next start adds the report's station (rows kept, matched by any station) and
// the change counters, and a statement on a shared table then bumps its counter.
TEST_F(PgStore, AVersionThreeDatabaseGainsTheChangeCountersAndTheReportStation) {
    ASSERT_TRUE(start().ok);
    ado.reset();
    for (const QString& sql : versionFourUndone() + QStringList{"UPDATE vestral_esquema SET VERSAO = 3",
                                                                "INSERT INTO dbENTREGA_PENDENTE (PORTA, REFERENCIA, "
                                                                "ID_HISTORICO, ENVIO) VALUES (1, 5, 1, '2026-01-01')"})
        ASSERT_TRUE(db.server->exec(db.name, sql)) << sql.toStdString();
    const auto r = start();
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(PgSchema::version(ado->database()), PgSchema::kVersion);
    EXPECT_EQ(scalar("SELECT PORTA || '|' || coalesce(ESTACAO, '-') FROM dbENTREGA_PENDENTE").toString(), "1|-");
    for (const QString& t : PgSchema::watchedTables()) {
        const QString counter =
            "SELECT CASE WHEN is_called THEN last_value ELSE 0 END FROM " + PgSchema::changeCounter(t);
        const qint64 before = scalar(counter).toLongLong();
        scalar("DELETE FROM " + t + " WHERE 1 = 0 RETURNING 1");
        EXPECT_EQ(scalar(counter).toLongLong(), before + 1) << t.toStdString();
    }
}

// A database made by the program before stations shared the store (version 1): the next start adds the stations
// table, the outbox's claim columns and the token counter, and keeps the rows waiting in the outbox.
TEST_F(PgStore, AVersionOneDatabaseGainsTheStationColumnsAndKeepsItsOutbox) {
    ASSERT_TRUE(start().ok);
    ado.reset();
    for (const char* sql :
         {"DROP TABLE dbESTACAO", "ALTER TABLE dbMENSAGEM DROP COLUMN ESTACAO",
          "ALTER TABLE dbMENSAGEM DROP COLUMN FICHA", "ALTER TABLE dbMENSAGEM DROP COLUMN FICHA_VALIDADE",
          "DROP SEQUENCE vestral_ficha", "UPDATE vestral_esquema SET VERSAO = 1",
          // one set of slots, keyed by number
          "ALTER TABLE dbPORTA DROP COLUMN ESTACAO", "ALTER TABLE dbPORTA DROP COLUMN ROWID",
          "ALTER TABLE dbPORTA ADD PRIMARY KEY (ID)", "ALTER TABLE dbPORTA_ATIVA DROP COLUMN ESTACAO",
          "ALTER TABLE dbHISTORICO DROP COLUMN ESTACAO", "UPDATE dbPORTA SET LIMITE_DIA = 9 WHERE ID = 4",
          "INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('11999990001', 'oi', 3)"})
        ASSERT_TRUE(db.server->exec(db.name, sql)) << sql;
    for (const QString& sql : versionFourUndone())
        ASSERT_TRUE(db.server->exec(db.name, sql)) << sql.toStdString();
    const auto r = start();
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_FALSE(r.created);
    EXPECT_EQ(PgSchema::version(ado->database()), PgSchema::kVersion);
    EXPECT_EQ(scalar("SELECT count(*) FROM dbESTACAO").toInt(), 0);
    // The slots of before are the first station's to start, its settings kept.
    EXPECT_EQ(scalar("SELECT count(*) FROM dbPORTA").toInt(), 64);
    EXPECT_EQ(ado->dbPORTA->recordCount(), 64);
    EXPECT_TRUE(ado->dbPORTA->locate("ID", 4));
    EXPECT_EQ(ado->dbPORTA->integer("LIMITE_DIA"), 9);
    EXPECT_EQ(scalar("SELECT FONE || '|' || PORTA || '|' || coalesce(ESTACAO, '-') || '|' || coalesce(FICHA, 0) "
                     "FROM dbMENSAGEM")
                  .toString(),
              "11999990001|3|-|0");
    EXPECT_GT(scalar("SELECT nextval('vestral_ficha')").toLongLong(), 0);
}

TEST_F(PgStore, ANewerSchemaIsRefusedAndLeftAsItIs) {
    ASSERT_TRUE(start().ok);
    ado.reset();
    ASSERT_TRUE(db.server->exec(db.name, "UPDATE vestral_esquema SET VERSAO = 99"));
    const auto r = start();
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.indexOf("versão 99 do esquema, mais nova"), -1) << r.error.toStdString();
    EXPECT_EQ(db.server->scalar(db.name, "SELECT VERSAO FROM vestral_esquema"), "99");
}

TEST_F(PgStore, ADatabaseOfSomethingElseIsRefusedAndNothingIsAdded) {
    ASSERT_TRUE(db.server->exec(db.name, "CREATE TABLE clientes (id integer); CREATE TABLE dbcfg (x integer)"));
    const auto r = start();
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.indexOf("não é do VESTRAL SMS"), -1) << r.error.toStdString();
    EXPECT_EQ(db.server->scalar(db.name, "SELECT string_agg(table_name, ',' ORDER BY table_name) FROM "
                                         "information_schema.tables WHERE table_schema = 'public'"),
              "clientes,dbcfg");
}

TEST_F(PgStore, AServerThatIsDownIsSaidWithHostAndPortAndNoWindowData) {
    ASSERT_TRUE(db.server->stop());
    const auto r = start();
    QString why;
    const bool back = db.server->start(&why);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.startsWith(
        QStringLiteral("Não foi possível conectar ao banco de dados 127.0.0.1:%1: ").arg(db.server->port())))
        << r.error.toStdString();
    EXPECT_GT(r.error.size(), 60) << "libpq's reason follows";
    EXPECT_FALSE(ado->dbCFG->isOpen());
    ASSERT_TRUE(back) << why.toStdString();
}

// The password comes from libpq's own sources (here PGPASSWORD), never from the URL; a wrong one is said
// without being shown.
TEST_F(PgStore, AWrongPasswordIsRefusedWithoutShowingItAndTheRightOneConnects) {
    ASSERT_TRUE(db.server->exec(
        db.name,
        QStringLiteral("ALTER DATABASE %1 OWNER TO %2").arg(db.name, QString::fromLatin1(PgServer::kPasswordRole))));
    const StoreLocation where = db.server->location(db.name, QString::fromLatin1(PgServer::kPasswordRole));
    const QByteArray wrong = "errada-K9z";
    qputenv("PGPASSWORD", wrong);
    auto r = start(where);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.startsWith("Não foi possível conectar ao banco de dados")) << r.error.toStdString();
    EXPECT_NE(r.error.indexOf("senhador"), -1) << r.error.toStdString(); // libpq names the role
    EXPECT_EQ(r.error.indexOf(QString::fromLatin1(wrong)), -1);
    ado.reset();
    qputenv("PGPASSWORD", PgServer::kPassword);
    r = start(where);
    qunsetenv("PGPASSWORD");
    EXPECT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.error.indexOf(QString::fromLatin1(PgServer::kPassword)), -1);
}

// Two stations starting on the same empty database at once: one creates, the other waits and finds it made.
TEST_F(PgStore, TwoStationsStartingTogetherCreateTheSchemaOnce) {
    ASSERT_TRUE(start().ok);
    QString error;
    QSqlDatabase other = PgSchema::connect(db.location(), "vestral-segunda-estacao", &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    const PgSchema::Prepared p = PgSchema::prepare(other);
    EXPECT_TRUE(p.error.isEmpty()) << p.error.toStdString();
    EXPECT_FALSE(p.created);
    other.close();
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase("vestral-segunda-estacao");
    EXPECT_EQ(scalar("SELECT count(*) FROM dbCFG").toInt(), 1);
}

// The slot's SIM, the opt-out list and a SIM's count of the day, on the server: a new PIN lifts the
// refusal of the old one (not a re-save of the same), a number listed in one spelling is found in another
// (the list read without SQLite's own operators), and only today's sent SMS of that SIM count.
TEST_F(PgStore, PinRefusalOptOutListAndTodaysCountOnTheServer) {
    ASSERT_TRUE(start().ok);
    QSqlQuery q(ado->database());
    ASSERT_TRUE(q.exec("UPDATE dbPORTA SET PIN = '1234' WHERE ID = 3"));
    ASSERT_TRUE(q.exec("UPDATE dbPORTA SET PIN_RECUSADO = 1 WHERE ID = 3")); // the SIM refused it
    ASSERT_TRUE(q.exec("UPDATE dbPORTA SET PIN = '1234' WHERE ID = 3"));
    EXPECT_EQ(scalar("SELECT PIN_RECUSADO FROM dbPORTA WHERE ID = 3").toInt(), 1);
    ASSERT_TRUE(q.exec("UPDATE dbPORTA SET PIN = '4321' WHERE ID = 3"));
    EXPECT_EQ(scalar("SELECT PIN_RECUSADO FROM dbPORTA WHERE ID = 3").toInt(), 0);

    const SuppressionList::AddResult added = SuppressionList::add(
        ado->database(), {{"+55 11 98765-4321", "SAIR", "1"}, {"Cliente@Example.com", {}, {}}, {"12ab", {}, {}}},
        SuppressionList::kOrigemOperador);
    ASSERT_TRUE(added.ok()) << added.error.toStdString();
    EXPECT_EQ(added.added, 3);
    EXPECT_EQ(SuppressionList::add(ado->database(), {{"(11) 98765-4321", {}, {}}}, SuppressionList::kOrigemSms).already,
              1);
    SuppressionSet set;
    QString error;
    ASSERT_TRUE(set.load(ado->database(), &error)) << error.toStdString();
    EXPECT_EQ(set.size(), 3);
    EXPECT_TRUE(set.containsPhone("011987654321"));
    EXPECT_FALSE(set.containsPhone("11987654320"));
    EXPECT_TRUE(set.containsEmail("cliente@example.com"));

    ASSERT_TRUE(q.exec("INSERT INTO dbHISTORICO (DESTINATARIO, TIPO, ENVIADO, IMSI) VALUES ('1', 'SMS', 1, '7240'), "
                       "('2', 'SMS', 1, '7240'), ('3', 'SMS', 0, '7240'), ('4', 'SMS', 1, '9999')"));
    ASSERT_TRUE(q.exec("INSERT INTO dbHISTORICO (DATA, DESTINATARIO, TIPO, ENVIADO, IMSI) VALUES "
                       "('2001-01-01 10:00:00', '5', 'SMS', 1, '7240')"));
    EXPECT_EQ(ModemSetup::sentToday(ado.get(), "7240"), 2);
}

} // namespace
