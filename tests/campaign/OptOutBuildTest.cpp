#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTextStream>

#include "CampaignTestSupport.h"
#include "MissingPeer.h"
#include "campaign/BuildOutboxCommand.h"
#include "campaign/OutboxBuilder.h"
#include "campaign/TDM.h"
#include "optout/SuppressionList.h"

namespace {

class OptOutBuildBase : public ::testing::Test {
protected:
    // The store the test runs on: the SQLite file unless the test runs on both (OnBothStores).
    virtual StoreLocation::Kind storeKind() const { return StoreLocation::Kind::Sqlite; }
    void SetUp() override {
        VESTRAL_START_STORE(m_data, storeKind());
        ado = m_data.ado.get();
        setSetting(ado, "CASCATA", 100);
        setSetting(ado, "BODY_SMS", "Ola [NOME]");
    }
    BuildOutboxCommand::Ports ports() {
        BuildOutboxCommand::Ports p;
        p.openAll = [] { return true; };
        p.verificaPortas = [this] {
            sql(ado, "DELETE FROM dbPORTA_ATIVA");
            sql(ado, "INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (1, 100)");
            return true;
        };
        return p;
    }
    QStringList outbox() {
        QStringList phones;
        QSqlQuery q("SELECT FONE FROM dbMENSAGEM ORDER BY ID", ado->database());
        while (q.next())
            phones << q.value(0).toString();
        return phones;
    }
    void optOut(const QString& address) {
        ASSERT_TRUE(SuppressionList::add(ado->database(), address, SuppressionList::kOrigemOperador).ok());
    }
    TempDataDir m_data;
    TADO* ado = nullptr;
};

// Every contact, disabled ones included (status "all"), is looked up; a listed number in any spelling and
// a listed e-mail leave the recipient out with one log line each and the count in the summary.
class OptOutBuild : public OnBothStores<OptOutBuildBase> {};

TEST_P(OptOutBuild, LocalContactsOnTheListGetNoRow) {
    addContact(ado, "Ana", "(11) 98765-4321", 1);
    addContact(ado, "Bia", "11 98765 4322", 1);
    addContact(ado, "Caio", "(11) 98765-4323", 1);
    addContact(ado, "Davi", "011987654324", 1);
    optOut("5511987654321");
    optOut("bia@x.com");
    optOut("(11) 98765-4324");
    sql(ado, "UPDATE dbCLIENTE SET DESATIVADO = 0"); // as if the operator enabled them again by hand
    QString out, err;
    QTextStream o(&out), e(&err);
    EXPECT_EQ(BuildOutboxCommand::run(ado, ports(), {}, o, e), 0) << err.toStdString();
    EXPECT_EQ(outbox(), QStringList{"11987654323"});
    EXPECT_EQ(out.count(QString::fromUtf8("Descadastrado, não enviado: ")), 3) << out.toStdString();
    EXPECT_TRUE(out.contains(QString::fromUtf8(" Descadastrado, não enviado: 11987654321\n")));
    EXPECT_TRUE(out.contains(QString::fromUtf8(" Descadastrado, não enviado: 011987654324\n")));
    EXPECT_TRUE(out.contains(QString::fromUtf8("Descadastrados, não enviados: 3\nSMS para envio: 1\n")))
        << out.toStdString();
}

// A list that cannot be read stops the build before any row: nobody on it may get a message by accident.
TEST_P(OptOutBuild, UnreadableListStopsTheBuild) {
    addContact(ado, "Ana", "(11) 98765-4321", 1);
    sql(ado, "ALTER TABLE dbDESCADASTRO RENAME TO perdida");
    QString out, err;
    QTextStream o(&out), e(&err);
    EXPECT_EQ(BuildOutboxCommand::run(ado, ports(), {}, o, e), 1);
    // The server's own text names the table: SQLite as written, PostgreSQL folded to lower case.
    EXPECT_TRUE(err.contains("dbDESCADASTRO", Qt::CaseInsensitive)) << err.toStdString();
    EXPECT_TRUE(outbox().isEmpty());
}

// An external source through unixODBC (SQLite ODBC driver) that returns a listed number.
TEST_P(OptOutBuild, ExternalSourceRecipientOnTheListGetsNoRow) {
    if (!QSqlDatabase::isDriverAvailable("QODBC"))
        VESTRAL_SKIP_MISSING_PEER("Qt ODBC driver not installed (libqt6sql6-odbc)");
    QTemporaryDir dir;
    const QString path = dir.filePath("externo.db");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "optout-external");
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        // The columns every merge reads (TEXTO, TEXTO0 ... TEXTO9) are left to their NULL.
        ASSERT_TRUE(q.exec("CREATE TABLE clientes (NOME TEXT, TELEFONE TEXT, EMAIL TEXT, TEXTO TEXT, TEXTO0 TEXT, "
                           "TEXTO1 TEXT, TEXTO2 TEXT, TEXTO3 TEXT, TEXTO4 TEXT, TEXTO5 TEXT, TEXTO6 TEXT, TEXTO7 TEXT, "
                           "TEXTO8 TEXT, TEXTO9 TEXT)"));
        ASSERT_TRUE(q.exec("INSERT INTO clientes (NOME, TELEFONE, EMAIL) VALUES ('Zé', '(21) 3333-4444', 'ze@x.com'),"
                           " ('Maria', '021 98888-7777', 'm@x.com'), ('Rui', '21977776666', 'RUI@X.COM')"));
        db.close();
    }
    QSqlDatabase::removeDatabase("optout-external");
    setSetting(ado, "ADOCONNECTION", QString("DRIVER=SQLite3;Database=" + path));
    setSetting(ado, "QUERY", "SELECT * FROM clientes ORDER BY NOME");
    optOut("+55 21 98888-7777");
    optOut("rui@x.com");
    TDM set(ado);
    QString error;
    ASSERT_TRUE(set.connectSource(TDM::Integracao, &error)) << error.toStdString();
    set.setFilter({});
    set.markAll();
    OutboxBuilder builder(ado);
    builder.setVerificaPortas(ports().verificaPortas);
    QStringList log;
    builder.setLog([&log](const QString& line) { log << line; });
    const OutboxBuilder::Result r = builder.run(&set);
    ASSERT_EQ(r.outcome, OutboxBuilder::Outcome::Done) << r.error.toStdString();
    EXPECT_EQ(r.suppressed, 2);
    EXPECT_EQ(outbox(), QStringList{"2133334444"});
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[0].endsWith(QString::fromUtf8(" Descadastrado, não enviado: 021988887777")))
        << log[0].toStdString();
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Store, OptOutBuild, kBothStores, storeName);
