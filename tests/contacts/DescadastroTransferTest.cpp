#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "TempDataDir.h"
#include "contacts/DescadastroTransfer.h"
#include "contacts/SpreadsheetReader.h"
#include "store/TADO.h"

namespace {

class DescadastroTransferTestBase : public ::testing::Test {
protected:
    // The store the test runs on: the SQLite file unless the test runs on both (OnBothStores).
    virtual StoreLocation::Kind storeKind() const { return StoreLocation::Kind::Sqlite; }
    void SetUp() override { VESTRAL_START_STORE(m_data, storeKind()); }
    TADO* ado() const { return m_data.ado.get(); }
    QStringList addresses() {
        QStringList out;
        QSqlQuery q("SELECT ENDERECO || '|' || ORIGEM FROM dbDESCADASTRO ORDER BY ID", ado()->database());
        while (q.next())
            out << q.value(0).toString();
        return out;
    }
    TempDataDir m_data;
    QTemporaryDir m_files;
};

TEST(DescadastroPaste, SplitsLinesCommasSemicolonsAndTabs) {
    EXPECT_EQ(DescadastroTransfer::splitPasted(" 11987654321\r\n\r\nana@x.com;  (21) 9999-8888,\tb@y.com\n"
                                               "11987654321\x1b"),
              (QStringList{"11987654321", "ana@x.com", "(21) 9999-8888", "b@y.com", "11987654321\x1b"}));
    EXPECT_TRUE(DescadastroTransfer::splitPasted(" \n\t,;").isEmpty());
    EXPECT_EQ(DescadastroTransfer::splitPasted(QString(200000, 'a')).size(), 1);
}

// Pasted: every spelling once, the note kept, an e-mail in lower case; one transaction.
class DescadastroTransferTest : public OnBothStores<DescadastroTransferTestBase> {};

TEST_P(DescadastroTransferTest, PastedAddressesAreAddedOnce) {
    const auto r =
        DescadastroTransfer::addPasted(ado(), "11987654321\n+55 11 98765-4321\nANA@x.com\n.", "lista da loja");
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.added, 2);
    EXPECT_EQ(r.already, 1);
    EXPECT_EQ(r.unusable, QStringList{"."});
    EXPECT_EQ(addresses(), (QStringList{"+5511987654321|OPERADOR", "ana@x.com|OPERADOR"}));
    EXPECT_EQ(DescadastroTransfer::summary(r),
              QString::fromUtf8("Incluídos: 2  Já na lista: 1  Contatos desativados: 0  Sem endereço: 1"));
}

// A contact sheet: names and free texts are not addresses; numbers and e-mails of every column are.
TEST_P(DescadastroTransferTest, FileImportTakesNumbersAndEmailsOnly) {
    const QString path = m_files.filePath("sair.csv");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Ana;(11) 98765-4321;ana@x.com;cliente\nLOJA;12345;;\nBia;021 99999-8888;;\n");
    f.close();
    const auto r = DescadastroTransfer::importFile(ado(), path);
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(addresses(),
              (QStringList{QString::fromUtf8("+5511987654321|IMPORTAÇÃO"), QString::fromUtf8("ana@x.com|IMPORTAÇÃO"),
                           QString::fromUtf8("+5521999998888|IMPORTAÇÃO")}));
    const auto missing = DescadastroTransfer::importFile(ado(), m_files.filePath("nada.xlsx"));
    EXPECT_FALSE(missing.ok());
    EXPECT_EQ(addresses().size(), 3);
}

// The export is a workbook the spreadsheet reader reads back, title row first.
TEST_P(DescadastroTransferTest, ExportWritesTheWholeList) {
    ASSERT_TRUE(DescadastroTransfer::addPasted(ado(), "11987654321\nana@x.com", "nota\r\ncom quebra").ok());
    const QString path = m_files.filePath("descadastrados.xlsx");
    const SpreadsheetWriteResult w = DescadastroTransfer::exportFile(ado(), path);
    ASSERT_TRUE(w.ok()) << w.error.toStdString();
    const SpreadsheetData back = SpreadsheetReader::read(path);
    ASSERT_TRUE(back.ok()) << back.error.toStdString();
    ASSERT_EQ(back.rows.size(), 3);
    EXPECT_EQ(back.rows[0].mid(0, 5),
              (QStringList{QString::fromUtf8("Endereço"), "Data", "Origem", "Entrada", "Texto"}));
    QStringList firstColumn{back.rows[1][0], back.rows[2][0]};
    firstColumn.sort();
    EXPECT_EQ(firstColumn, (QStringList{"+5511987654321", "ana@x.com"}));
    EXPECT_EQ(back.rows[1][2], "OPERADOR");
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Store, DescadastroTransferTest, kBothStores, storeName);
