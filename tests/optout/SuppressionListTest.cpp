#include <gtest/gtest.h>

#include <QSqlQuery>
#include <QVariant>

#include "TempDataDir.h"
#include "optout/InboxOptOut.h"
#include "optout/SuppressionList.h"
#include "optout/SuppressionSet.h"
#include "store/Dataset.h"
#include "store/TADO.h"

namespace {

QVariant scalar(QSqlDatabase db, const QString& sql) {
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next())
        return {};
    return q.value(0);
}

// The first column of every row, joined with commas (group_concat is SQLite's only).
QString joined(QSqlDatabase db, const QString& sql) {
    QSqlQuery q(db);
    QStringList values;
    if (q.exec(sql))
        while (q.next())
            values << q.value(0).toString();
    return values.join(',');
}

void addContact(QSqlDatabase db, const QString& nome, const QString& fone, const QString& email = {}) {
    QSqlQuery q(db);
    q.prepare("INSERT INTO dbCLIENTE (NOME, FONE, EMAIL, ID_GRUPO, DESATIVADO) VALUES (?, ?, ?, 1, 0)");
    q.addBindValue(nome);
    q.addBindValue(fone);
    q.addBindValue(email);
    ASSERT_TRUE(q.exec());
}

void receive(QSqlDatabase db, const QString& fone, const QString& sms, int entrada = 1) {
    QSqlQuery q(db);
    q.prepare("INSERT INTO dbSMS (ID_SMS, DATA, RECEBIDO, ENTRADA, FONE, SMS, LIDO) VALUES (1, "
              "'2026-12-10 10:00:00', '2026-12-10 09:59:00', ?, ?, ?, 0)");
    q.addBindValue(entrada);
    q.addBindValue(fone);
    q.addBindValue(sms);
    ASSERT_TRUE(q.exec());
}

class SuppressionListTestBase : public ::testing::Test {
protected:
    // The store the test runs on: the SQLite file unless the test runs on both (OnBothStores).
    virtual StoreLocation::Kind storeKind() const { return StoreLocation::Kind::Sqlite; }
    void SetUp() override {
        VESTRAL_START_STORE(d, storeKind());
        db = d.ado->database();
    }
    TempDataDir d;
    QSqlDatabase db;
};

// Five spellings of one number make one row; each spelling disables the contacts written any way.
class SuppressionListTest : public OnBothStores<SuppressionListTestBase> {};

TEST_P(SuppressionListTest, OneRowPerPersonWhateverTheSpelling) {
    addContact(db, "Ana", "(11) 98765-4321");
    addContact(db, "Ana outra vez", "+55 11 98765 4321");
    addContact(db, "Bia", "(11) 98765-4320", "Bia@Exemplo.com");
    const QStringList spellings{"+55 11 98765-4321", "5511987654321", "011987654321", "(11) 98765-4321", "11987654321"};
    const SuppressionList::AddResult first =
        SuppressionList::add(db, spellings.first(), SuppressionList::kOrigemOperador, "pediu por telefone");
    ASSERT_TRUE(first.ok()) << first.error.toStdString();
    EXPECT_EQ(first.added, 1);
    EXPECT_EQ(first.contactsDisabled, 2);
    for (const QString& s : spellings.mid(1)) {
        const auto again = SuppressionList::add(db, s, SuppressionList::kOrigemSms);
        EXPECT_EQ(again.added, 0) << s.toStdString();
        EXPECT_EQ(again.already, 1) << s.toStdString();
    }
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM dbDESCADASTRO").toInt(), 1);
    EXPECT_EQ(scalar(db, "SELECT ENDERECO || '|' || ORIGEM || '|' || TEXTO FROM dbDESCADASTRO").toString(),
              QString::fromUtf8("+5511987654321|OPERADOR|pediu por telefone"));
    EXPECT_EQ(scalar(db, "SELECT DESATIVADO FROM dbCLIENTE WHERE NOME = 'Bia'").toInt(), 0);
    EXPECT_TRUE(SuppressionList::reasonFor(db, "11 98765 4321", {}).startsWith("Descadastrado em "));
    EXPECT_TRUE(SuppressionList::reasonFor(db, "11 98765 4320", "bia@exemplo.com").isEmpty());

    const auto byMail = SuppressionList::add(db, " BIA@exemplo.COM ", SuppressionList::kOrigemEmail);
    EXPECT_EQ(byMail.added, 1);
    EXPECT_EQ(byMail.contactsDisabled, 1);
    EXPECT_EQ(scalar(db, "SELECT ENDERECO FROM dbDESCADASTRO WHERE ORIGEM = 'E-MAIL'").toString(), "bia@exemplo.com");

    // Hostile texts: a number that is not one is kept as written, an empty one is refused.
    const auto odd =
        SuppressionList::add(db, QList<SuppressionList::Addition>{{"LOJA\x1b[2J", {}, {}}, {"   ", {}, {}}},
                             SuppressionList::kOrigemImportacao);
    EXPECT_EQ(odd.added, 1);
    EXPECT_EQ(odd.unusable, QStringList{"   "});
    EXPECT_EQ(scalar(db, "SELECT NORMALIZADO FROM dbDESCADASTRO WHERE ENDERECO = 'LOJA?[2J'").toInt(), 0);
}

// Removal: any spelling finds the row, the history keeps it, the contacts stay disabled.
TEST_P(SuppressionListTest, RemovalIsKeptInTheHistory) {
    addContact(db, "Ana", "11987654321");
    ASSERT_EQ(SuppressionList::add(db, "11987654321", SuppressionList::kOrigemSms).added, 1);
    QString error;
    EXPECT_EQ(SuppressionList::remove(d.ado.get(), "21 99999-0000", {}, &error), SuppressionList::Removal::NotFound);
    EXPECT_EQ(SuppressionList::remove(d.ado.get(), "(11) 98765-4321", "cliente voltou", &error),
              SuppressionList::Removal::Removed)
        << error.toStdString();
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM dbDESCADASTRO").toInt(), 0);
    EXPECT_EQ(scalar(db, "SELECT DESTINATARIO || '|' || TIPO || '|' || MENSAGEM FROM dbHISTORICO").toString(),
              "+5511987654321|Descadastro|Removido da lista de descadastrados: cliente voltou");
    EXPECT_EQ(scalar(db, "SELECT DESATIVADO FROM dbCLIENTE").toInt(), 1);
    EXPECT_EQ(SuppressionList::remove(d.ado.get(), "11987654321", {}, &error), SuppressionList::Removal::NotFound);
}

TEST_P(SuppressionListTest, SearchFindsAnySpellingAndText) {
    SuppressionList::add(db, "11987654321", SuppressionList::kOrigemSms, "Sair", "entrada 1");
    SuppressionList::add(db, "ana@exemplo.com", SuppressionList::kOrigemEmail, "100%_certo");
    QList<SuppressionList::Entry> rows;
    QString error;
    ASSERT_TRUE(SuppressionList::list(db, {}, &rows, &error)) << error.toStdString();
    EXPECT_EQ(rows.size(), 2);
    ASSERT_TRUE(SuppressionList::list(db, "(11) 98765-4321", &rows, &error));
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].entrada, "entrada 1");
    ASSERT_TRUE(SuppressionList::list(db, "%_", &rows, &error));
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].endereco, "ana@exemplo.com");
    ASSERT_TRUE(SuppressionList::list(db, "'; DROP TABLE dbDESCADASTRO; --", &rows, &error));
    EXPECT_TRUE(rows.isEmpty());
}

// Stored messages are judged once: a whole keyword opts out, a sentence is marked, the rest is left.
// A concatenated message is stored joined, and the joined text is what counts.
TEST_P(SuppressionListTest, ReceivedMessagesAreJudgedOnce) {
    addContact(db, "Ana", "(11) 98765-4321");
    receive(db, "+5511987654321", "Sair\r\n");
    receive(db, "+5511987654321", "SAIR!!!");
    receive(db, "+5521988887777", QString::fromUtf8("não quero sair"), 2);
    receive(db, "+5531977776666", "SAIR e me mande o boleto do mes, obrigado"); // first part was "SAIR"
    receive(db, "+5541966665555", QString::fromUtf8("S") + QString::fromUtf8("air."));
    receive(db, "EMPRESA", "STOP");
    receive(db, "+5551955554444", "Bom dia");
    const InboxOptOut::Result r = InboxOptOut::judgePending(d.ado.get());
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.judged, 7);
    EXPECT_EQ(r.optedOut, 3); // Ana once, the joined "Sair." and the alphanumeric sender kept as written
    EXPECT_EQ(r.mentions, 2);
    EXPECT_EQ(r.disabled, 1);
    EXPECT_EQ(joined(db, "SELECT DESCADASTRO FROM dbSMS ORDER BY ID"), "1,1,2,2,1,1,0");
    EXPECT_EQ(
        scalar(db, "SELECT ENTRADA || '|' || TEXTO FROM dbDESCADASTRO WHERE ENDERECO = '+5511987654321'").toString(),
        "entrada 1|Sair");
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM dbDESCADASTRO WHERE ENDERECO = '+5531977776666'").toInt(), 0);
    const InboxOptOut::Result again = InboxOptOut::judgePending(d.ado.get());
    EXPECT_EQ(again.judged, 0);
}

// The operator's own keywords apply to the next pass.
TEST_P(SuppressionListTest, KeywordsComeFromTheSettings) {
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec("UPDATE dbCFG SET PALAVRAS_SAIR = 'BASTA'"));
    receive(db, "+5511987654321", "Sair");
    receive(db, "+5521988887777", "basta!");
    const InboxOptOut::Result r = InboxOptOut::judgePending(d.ado.get());
    EXPECT_EQ(r.optedOut, 1);
    EXPECT_EQ(scalar(db, "SELECT ENDERECO FROM dbDESCADASTRO").toString(), "+5521988887777");
}

// A file made before the list gets the table, the settings and the mark; stored messages are judged later.
TEST(SuppressionListUpgrade, OlderFileGetsTheListAndJudgesStoredMessages) {
    TempDataDir d;
    {
        TADO ado;
        ASSERT_TRUE(ado.start(d.path()).ok);
        QSqlQuery q(ado.database());
        ASSERT_TRUE(q.exec("DROP TABLE dbDESCADASTRO"));
        ASSERT_TRUE(q.exec("ALTER TABLE dbSMS DROP COLUMN DESCADASTRO"));
        ASSERT_TRUE(q.exec("ALTER TABLE dbCFG DROP COLUMN PALAVRAS_SAIR"));
        ASSERT_TRUE(q.exec("ALTER TABLE dbCFG DROP COLUMN RODAPE_SAIR"));
        receive(ado.database(), "11987654321", "PARE");
        ado.releaseThreadConnection();
    }
    auto r = d.start();
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_TRUE(r.warnings.isEmpty()) << r.warnings.join("|").toStdString();
    QSqlDatabase db = d.ado->database();
    EXPECT_EQ(scalar(db, "SELECT PALAVRAS_SAIR FROM dbCFG").toString(),
              "SAIR, PARE, STOP, CANCELAR, DESCADASTRAR, REMOVER");
    EXPECT_EQ(scalar(db, "SELECT RODAPE_SAIR FROM dbCFG").toInt(), 1);
    EXPECT_EQ(InboxOptOut::judgePending(d.ado.get()).optedOut, 1);
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Store, SuppressionListTest, kBothStores, storeName);
