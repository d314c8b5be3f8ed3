#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "CampaignTestSupport.h"
#include "DamagedDatabase.h"
#include "MissingPeer.h"
#include "campaign/RecipientModel.h"
#include "campaign/TDM.h"

namespace {

QStringList names(const TDM& set) {
    QStringList out;
    for (int i = 0; i < set.recordCount(); ++i)
        out << set.value(i, "NOME").toString();
    return out;
}

class RecipientSetBase : public ::testing::Test {
protected:
    // The store the test runs on: the SQLite file unless the test runs on both (OnBothStores).
    virtual StoreLocation::Kind storeKind() const { return StoreLocation::Kind::Sqlite; }
    void SetUp() override {
        VESTRAL_START_STORE(m_data, storeKind());
        ado = m_data.ado.get();
        sql(ado, "INSERT INTO dbGRUPO (ID_GRUPO, GRUPO) VALUES (2, 'D''Ávila'), (3, 'TODOS')");
        addContact(ado, "Carla", "11999990003", 1);
        addContact(ado, "Ana", "11999990002", 2, true);
        addContact(ado, "Ana", "11999990001", 1);
        addContact(ado, "Bruno", "11999990004", 3, true);
        addContact(ado, "Sem grupo", "11999990005", QVariant());
        addContact(ado, "Grupo apagado", "11999990006", 9);
        set = std::make_unique<TDM>(ado);
        ASSERT_TRUE(set->connectSource(TDM::CadastroLocal));
    }
    TempDataDir m_data;
    TADO* ado = nullptr;
    std::unique_ptr<TDM> set;
};

class RecipientSet : public OnBothStores<RecipientSetBase> {};

TEST_P(RecipientSet, LocalJoinLeavesOutContactsWithoutGroupOrderedByNameThenPhone) {
    EXPECT_EQ(names(*set), QStringList({"Ana", "Ana", "Bruno", "Carla"}));
    EXPECT_EQ(set->value(0, "TELEFONE").toString(), "11999990001");
    EXPECT_EQ(set->value(1, "GRUPO").toString(), "D'Ávila");
    EXPECT_EQ(set->fieldNames().mid(0, 5), QStringList({"NOME", "TELEFONE", "EMAIL", "GRUPO", "DESATIVADO"}));
    EXPECT_EQ(set->fieldNames().size(), 16);
    RecipientModel model(set.get());
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.columnCount(), 14);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "TELEFONE");
}

TEST_P(RecipientSet, GroupAndStatusFilter) {
    struct Case {
        QString group;
        int status;
        TDM::Source source;
        QStringList expected;
    };
    const Case cases[] = {
        {"TODOS", TDM::Todos, TDM::CadastroLocal, {"Ana", "Ana", "Bruno", "Carla"}},
        {"TODOS", TDM::Ativado, TDM::CadastroLocal, {"Ana", "Carla"}},
        {"TODOS", TDM::Desativado, TDM::CadastroLocal, {"Ana", "Bruno"}},
        {"GERAL", TDM::Todos, TDM::CadastroLocal, {"Ana", "Carla"}},
        {"D'Ávila", TDM::Todos, TDM::CadastroLocal, {"Ana"}},
        {"D'Ávila", TDM::Ativado, TDM::CadastroLocal, {}},
        {"GERAL", TDM::Desativado, TDM::CadastroLocal, {}},
        {"todos", TDM::Todos, TDM::CadastroLocal, {}}, // only "TODOS" itself lifts the group condition
        // Ignored: empty group text, or the external source chosen on the page; the last filter stays.
        {"", TDM::Ativado, TDM::CadastroLocal, {}},
        {"GERAL", TDM::Todos, TDM::Integracao, {}},
    };
    for (const Case& c : cases) {
        set->filter(c.group, c.status, c.source);
        EXPECT_EQ(names(*set), c.expected) << c.group.toStdString() << " " << c.status;
    }
}

TEST_P(RecipientSet, FilterSurvivesReconnect) {
    set->filter("TODOS", TDM::Desativado, TDM::CadastroLocal);
    addContact(ado, "Zeca", "11999990009", 1, true);
    ASSERT_TRUE(set->connectSource(TDM::CadastroLocal));
    EXPECT_EQ(names(*set), QStringList({"Ana", "Bruno", "Zeca"}));
}

TEST_P(RecipientSet, Marks) {
    EXPECT_TRUE(set->markedRows().isEmpty());
    set->moveTo(2);
    set->markFrom(set->recNo());
    EXPECT_EQ(set->markedRows(), QList<int>({2, 3}));
    set->setMarked(0, true);
    EXPECT_EQ(set->markedRows(), QList<int>({0, 2, 3})); // in the set's order, not the marking order
    set->unmarkAll();
    EXPECT_TRUE(set->markedRows().isEmpty());
    set->markAll();
    EXPECT_EQ(set->markedRows(), QList<int>({0, 1, 2, 3}));
    EXPECT_EQ(set->recNo(), 0);
    // Rows hidden by a filter lose their marks; reloading drops every mark.
    set->filter("GERAL", TDM::Todos, TDM::CadastroLocal);
    set->filter("TODOS", TDM::Todos, TDM::CadastroLocal);
    EXPECT_EQ(set->markedRows(), QList<int>({0, 3}));
    ASSERT_TRUE(set->connectSource(TDM::CadastroLocal));
    EXPECT_TRUE(set->markedRows().isEmpty());
}

TEST_P(RecipientSet, MarkAllOnEmptySet) {
    set->filter("D'Ávila", TDM::Ativado, TDM::CadastroLocal);
    set->markAll();
    EXPECT_TRUE(set->markedRows().isEmpty());
    EXPECT_EQ(set->recNo(), -1);
}

// An external source through unixODBC and the SQLite ODBC driver.
class OdbcSource : public RecipientSetBase {
protected:
    void makeExternal() {
        const QString path = m_ext.filePath("externo.db");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "external-setup");
            db.setDatabaseName(path);
            ASSERT_TRUE(db.open());
            QSqlQuery q(db);
            ASSERT_TRUE(q.exec("CREATE TABLE clientes (NOME TEXT, TELEFONE TEXT, EMAIL TEXT, TEXTO TEXT)"));
            ASSERT_TRUE(q.exec("INSERT INTO clientes VALUES ('Zé Ávila', '(21) 3333-4444', 'ze@x.com', 't1'),"
                               " ('Maria', '21988887777', 'm@x.com', 't2')"));
            db.close();
        }
        QSqlDatabase::removeDatabase("external-setup");
        connection = "DRIVER=SQLite3;Database=" + path;
    }
    QTemporaryDir m_ext;
    QString connection;
};

TEST_F(OdbcSource, ReadsTheConfiguredQueryThroughTheDriverManager) {
    if (!QSqlDatabase::isDriverAvailable("QODBC"))
        VESTRAL_SKIP_MISSING_PEER("Qt ODBC driver not installed (libqt6sql6-odbc)");
    makeExternal();
    setSetting(ado, "ADOCONNECTION", connection);
    setSetting(ado, "QUERY", "SELECT NOME, TELEFONE, EMAIL, TEXTO FROM clientes ORDER BY NOME");
    set->filter("GERAL", TDM::Todos, TDM::CadastroLocal); // a local filter stays in force
    QString error;
    ASSERT_TRUE(set->connectSource(TDM::Integracao, &error)) << error.toStdString();
    EXPECT_TRUE(set->isConnected());
    EXPECT_EQ(set->recordCount(), 0); // no GRUPO column: nothing passes the group filter
    set->setFilter({});
    EXPECT_EQ(names(*set), QStringList({"Maria", "Zé Ávila"}));
    EXPECT_EQ(set->value(1, "TELEFONE").toString(), "(21) 3333-4444");
    EXPECT_FALSE(set->filter("GERAL", TDM::Todos, TDM::Integracao));
    QString merged;
    EXPECT_FALSE(Merge::apply("[NOME]", set->fieldsOf(0), &merged, &error)); // no TEXTO0 column
    EXPECT_TRUE(error.contains("TEXTO0"));
}

TEST_F(OdbcSource, BadConnectionLeavesTheSetClosedWithTheDriverText) {
    if (!QSqlDatabase::isDriverAvailable("QODBC"))
        VESTRAL_SKIP_MISSING_PEER("Qt ODBC driver not installed (libqt6sql6-odbc)");
    struct Case {
        QString connection;
        QString query;
    };
    makeExternal();
    const Case cases[] = {
        {"DRIVER=NoSuchDriver;Database=/tmp/x.db", "SELECT 1"},
        {connection, "SELECT * FROM tabela_inexistente"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(set->connectSource(TDM::CadastroLocal));
        setSetting(ado, "ADOCONNECTION", c.connection);
        setSetting(ado, "QUERY", c.query);
        QString error;
        EXPECT_FALSE(set->connectSource(TDM::Integracao, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(set->isOpen());
        EXPECT_EQ(set->recordCount(), 0);
        EXPECT_TRUE(TDM::connectionErrorText(error).startsWith("Erro na conexão com o Banco de Dados:\r"));
    }
}

} // namespace

namespace {

// A damaged page in the middle of the contacts: the set is not loaded from the rows before it.
TEST(RecipientSetReadError, ADamagedPageStopsTheLoadWithTheDamagedFileText) {
    QTemporaryDir dir;
    ASSERT_EQ(makeDamagedContacts(dir.path(), 5000), QString());
    TADO ado;
    ASSERT_TRUE(ado.start(dir.path()).ok);
    TDM set(&ado);
    QString error;
    EXPECT_FALSE(set.connectSource(TDM::CadastroLocal, &error));
    EXPECT_TRUE(error.startsWith("O banco de dados está danificado: ")) << error.toStdString();
    EXPECT_FALSE(set.isOpen());
    EXPECT_EQ(set.recordCount(), 0);
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Store, RecipientSet, kBothStores, storeName);
