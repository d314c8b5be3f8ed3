#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>

#include "TempDataDir.h"
#include "contacts/ContactSearch.h"
#include "store/TADO.h"

namespace {

class ContactSearchTestBase : public ::testing::Test {
protected:
    // The store the test runs on: the SQLite file unless the test runs on both (OnBothStores).
    virtual StoreLocation::Kind storeKind() const { return StoreLocation::Kind::Sqlite; }
    void SetUp() override {
        VESTRAL_START_STORE(m_data, storeKind());
        ado = m_data.ado.get();
        exec("INSERT INTO dbGRUPO (ID_GRUPO, GRUPO) VALUES (2, 'VIP')");
        add("Ângela Souza", "11 5555-0001", 1, false, "50% off");
        add("angelo", "11 5555-0002", 2, true, "a_b");
        add("O'Brien", "11 5555-0003", 2, false, "");
        add("Bruna", "21 5555-0004", 1, false, "cinquenta");
        add("Carla", "21 5555-0005", QVariant(), true, "abb");
        ASSERT_TRUE(ado->dbCLIENTE->refresh());
    }
    void exec(const QString& sql, const QVariantList& values = {}) {
        QSqlQuery q(ado->database());
        ASSERT_TRUE(q.prepare(sql)) << q.lastError().text().toStdString();
        for (const QVariant& v : values)
            q.addBindValue(v);
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    }
    void add(const QString& nome, const QString& fone, const QVariant& grupo, bool off, const QString& texto5) {
        exec("INSERT INTO dbCLIENTE (NOME, FONE, ID_GRUPO, DESATIVADO, TEXTO5) VALUES (?, ?, ?, ?, ?)",
             {nome, fone, grupo, off ? 1 : 0, texto5});
    }
    QStringList listed() const {
        QStringList out;
        Dataset* d = ado->dbCLIENTE;
        for (int i = 0; i < d->recordCount(); ++i)
            out << d->valueAt(i, d->fieldIndex("NOME")).toString();
        return out;
    }

    TempDataDir m_data;
    TADO* ado = nullptr;
};

class ContactSearchTest : public OnBothStores<ContactSearchTestBase> {};

TEST_P(ContactSearchTest, TextIsFoundLiterallyAnywhereWithoutCase) {
    struct Case {
        QString column;
        QString text;
        QStringList expected;
    };
    const Case cases[] = {
        {"NOME", "ang", {"angelo"}},       // "a" and "Â" are different letters
        {"NOME", "âng", {"Ângela Souza"}}, // case folds for accented letters too
        {"NOME", "ÂNGELA", {"Ângela Souza"}},
        {"NOME", "zA", {"Ângela Souza"}},
        {"NOME", "o'b", {"O'Brien"}},
        {"NOME", "'", {"O'Brien"}},
        {"NOME", "", {"Bruna", "Carla", "O'Brien", "angelo", "Ângela Souza"}}, // the database's name order
        {"FONE", "21 ", {"Bruna", "Carla"}},
        {"TEXTO5", "%", {"Ângela Souza"}}, // a per cent sign is a per cent sign
        {"TEXTO5", "a_b", {"angelo"}},     // "_" is no wildcard: "abb" stays out
        {"TEXTO5", "_", {"angelo"}},
        {"TEXTO5", "\\", {}},
        {"TEXTO4", "a", {}}, // only the box's own column
        {"NOME; DROP TABLE dbCLIENTE", "a", {"Bruna", "Carla", "O'Brien", "angelo", "Ângela Souza"}}, // unknown column
    };
    ContactSearch search(ado->dbCLIENTE);
    for (const Case& c : cases) {
        ASSERT_TRUE(search.searchColumn(c.column, c.text)) << search.lastError().toStdString();
        EXPECT_EQ(listed(), c.expected) << c.column.toStdString() << " / " << c.text.toStdString();
    }
}

TEST_P(ContactSearchTest, StatusAndGroupCriteria) {
    ContactSearch search(ado->dbCLIENTE);
    const int before = ado->dbCLIENTE->recordCount();
    int counted = -1;
    QObject::connect(ado, &TADO::contactsCountChanged, [&counted](int n) { counted = n; });
    ASSERT_TRUE(search.byStatus(ContactSearch::Ativado));
    EXPECT_EQ(listed(), QStringList({"Bruna", "O'Brien", "Ângela Souza"}));
    ASSERT_TRUE(search.byStatus(ContactSearch::Desativado));
    EXPECT_EQ(listed(), QStringList({"Carla", "angelo"}));
    ASSERT_TRUE(search.byGroup(true, 2));
    EXPECT_EQ(listed(), QStringList({"O'Brien", "angelo"}));
    ASSERT_TRUE(search.byGroup(true, QVariant())); // ticked without a group: everyone
    EXPECT_EQ(listed().size(), before);
    ASSERT_TRUE(search.byGroup(false, 2));
    EXPECT_EQ(listed().size(), before);
    EXPECT_EQ(counted, -1); // a search leaves "Contatos Cadastrados:" alone
}

TEST_P(ContactSearchTest, DeleteAllRestartsNumbering) {
    const int shown = ado->dbCLIENTE->recordCount();
    ASSERT_EQ(shown, 5);
    QString error;
    ASSERT_TRUE(ContactSearch::deleteAllContacts(ado, &error)) << error.toStdString();
    EXPECT_EQ(ado->dbCLIENTE->recordCount(), shown); // the list is not reopened
    ASSERT_TRUE(ado->dbCLIENTE->refresh());
    EXPECT_EQ(ado->dbCLIENTE->recordCount(), 0);
    ado->dbCLIENTE->append();
    ado->dbCLIENTE->setValue("NOME", "Novo");
    ASSERT_TRUE(ado->dbCLIENTE->post()) << ado->dbCLIENTE->lastError().toStdString();
    EXPECT_EQ(ado->dbCLIENTE->integer("ID_CLIENTE"), 1);
    QSqlQuery q("SELECT COUNT(*) FROM dbGRUPO", ado->database());
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 2); // groups untouched
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Store, ContactSearchTest, kBothStores, storeName);
