// The page "Descadastrados" as the operator drives it: paste and add, search, remove only after saying yes.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSqlQuery>
#include <QTableView>
#include <gtest/gtest.h>

#include "TempDataDir.h"
#include "contacts/DescadastradosPage.h"
#include "store/TADO.h"

namespace {

QVariant scalar(TADO* ado, const QString& sql) {
    QSqlQuery q(ado->database());
    if (!q.exec(sql) || !q.next())
        return {};
    return q.value(0);
}

TEST(DescadastradosPage, AddSearchAndRemoveWithConfirmation) {
    TempDataDir data;
    ASSERT_TRUE(data.start().ok);
    TADO* ado = data.ado.get();
    QSqlQuery(ado->database())
        .exec(
            "INSERT INTO dbCLIENTE (NOME, FONE, EMAIL, ID_GRUPO, DESATIVADO) VALUES ('Ana', '11987654321', '', 1, 0)");
    DescadastradosPage page(ado);
    QStringList asked;
    bool answer = false;
    page.setConfirm([&](const QString& text) {
        asked << text;
        return answer;
    });
    page.reload();
    page.pasteBox()->setPlainText("(11) 98765-4321\nana@x.com\n---\n");
    page.noteBox()->setText("pediu na loja");
    page.IncluirClick();
    EXPECT_EQ(page.statusLabel()->text(),
              QString::fromUtf8("Incluídos: 2  Já na lista: 0  Contatos desativados: 1  Sem endereço: 1"));
    EXPECT_TRUE(page.pasteBox()->toPlainText().isEmpty());
    ASSERT_EQ(page.table()->model()->rowCount(), 2);

    page.searchBox()->setText("5511987654321"); // any spelling finds the number
    ASSERT_EQ(page.table()->model()->rowCount(), 1);
    EXPECT_EQ(page.table()->model()->index(0, 0).data().toString(), "+5511987654321");

    page.RemoverClick(); // nothing selected: nothing asked
    EXPECT_TRUE(asked.isEmpty());
    page.table()->setCurrentIndex(page.table()->model()->index(0, 0));
    page.RemoverClick(); // the operator says no
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].startsWith("Remover +5511987654321 da lista de descadastrados?")) << asked[0].toStdString();
    EXPECT_EQ(scalar(ado, "SELECT count(*) FROM dbDESCADASTRO").toInt(), 2);
    answer = true;
    page.table()->setCurrentIndex(page.table()->model()->index(0, 0));
    page.RemoverClick();
    EXPECT_EQ(scalar(ado, "SELECT count(*) FROM dbDESCADASTRO").toInt(), 1);
    EXPECT_EQ(scalar(ado, "SELECT TIPO || '|' || DESTINATARIO FROM dbHISTORICO").toString(),
              "Descadastro|+5511987654321");
    EXPECT_EQ(page.statusLabel()->text(), "Removido da lista de descadastrados: +5511987654321");
}

} // namespace
