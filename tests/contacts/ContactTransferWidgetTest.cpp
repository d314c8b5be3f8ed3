// The import and export as the operator drives them from the contacts page.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

#include "TempDataDir.h"
#include "contacts/ContactImport.h"
#include "contacts/ContactTransferWidget.h"
#include "contacts/ContatosPage.h"
#include "contacts/GroupChooser.h"
#include "contacts/ImportPanelWidget.h"
#include "contacts/SpreadsheetReader.h"
#include "contacts/SpreadsheetWriter.h"
#include "contacts/TransferStatus.h"
#include "store/TADO.h"

namespace {

QString dataFile(const QString& name) {
    return qEnvironmentVariable("VESTRAL_SOURCE_DIR") + "/tests/data/" + name;
}

class ContactTransferWidgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_data.start().ok);
        ado = m_data.ado.get();
        QSqlQuery(ado->database()).exec("INSERT INTO dbGRUPO (ID_GRUPO, GRUPO) VALUES (7, 'Clientes VIP')");
        ado->dbGRUPO->refresh();
        page = std::make_unique<ContatosPage>(ado);
        page->resize(1200, 800);
        page->show();
        transfer = page->findChild<ContactTransferWidget*>();
        ASSERT_NE(transfer, nullptr);
        transfer->setDialogs({[this](const QString& q) {
                                  questions << q;
                                  return answer;
                              },
                              [this] { return importFile; }, [this] { return exportFile; },
                              [this](const QString& e) { errors << e; }, [this](const QString& w) { warnings << w; }});
        transfer->status()->setWait([this](int) {
            ++pauses;
            if (duringPause)
                duringPause();
            if (pauses == stopAtPause)
                transfer->stopButton()->click();
        });
        TransferStatus::clearStop();
    }
    void TearDown() override { TransferStatus::clearStop(); }

    bool panelShown() const { return transfer->importPanel()->isVisibleTo(page.get()); }
    int stored(const QString& where = "1") {
        QSqlQuery q(ado->database());
        q.exec("SELECT COUNT(*) FROM dbCLIENTE WHERE " + where);
        return q.next() ? q.value(0).toInt() : -1;
    }
    QString sheet(const QString& name, const QList<QStringList>& rows) {
        const QString path = m_files.filePath(name);
        EXPECT_TRUE(SpreadsheetWriter::write(path, rows).ok());
        return path;
    }

    TempDataDir m_data;
    QTemporaryDir m_files;
    TADO* ado = nullptr;
    std::unique_ptr<ContatosPage> page;
    ContactTransferWidget* transfer = nullptr;
    bool answer = true;
    QString importFile;
    QString exportFile;
    QStringList questions;
    QStringList errors;
    QStringList warnings;
    int pauses = 0;
    int stopAtPause = -1;
    std::function<void()> duringPause;
};

TEST_F(ContactTransferWidgetTest, ImportReadsIntoThePanelAndSavesIntoTheChosenGroup) {
    answer = false;
    page->importButton()->click();
    EXPECT_EQ(questions, QStringList{QString::fromUtf8(ContactTransferWidget::ImportQuestion)});
    EXPECT_FALSE(panelShown()); // "No" ends it

    answer = true;
    importFile = dataFile("contatos_texto.xlsx");
    page->importButton()->click();
    ASSERT_TRUE(panelShown());
    EXPECT_FALSE(transfer->isVisibleTo(page.get())); // the status panel hides after the read
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    QTableView* list = transfer->importPanel()->previewList();
    ASSERT_EQ(list->model()->rowCount(), 250);
    ASSERT_EQ(list->model()->columnCount(), 15);
    EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), "Indice");
    EXPECT_EQ(list->model()->headerData(1, Qt::Horizontal).toString(), "Nome do Contato");
    EXPECT_EQ(list->model()->headerData(14, Qt::Horizontal).toString(), "TEXTO9");
    EXPECT_EQ(list->model()->index(1, 1).data().toString(), "Ângela Çé€");

    GroupChooser* chooser = transfer->importPanel()->groupChooser();
    const int vip = chooser->findData(7);
    ASSERT_GE(vip, 0);
    chooser->setCurrentIndex(vip);
    Q_EMIT chooser->activated(vip);
    EXPECT_EQ(ado->dbGRUPO->value("ID_GRUPO").toInt(), 7);

    transfer->importPanel()->saveButton()->click();
    EXPECT_FALSE(panelShown());
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(stored("ID_GRUPO = 7 AND DESATIVADO = 0"), 250);
    EXPECT_EQ(ado->dbCLIENTE->recordCount(), 250);
}

TEST_F(ContactTransferWidgetTest, ARefusedRowKeepsThePanelOpenOnThatRow) {
    importFile = sheet("longo.xls", {{"A"}, {"B"}, {"C", "", "", QString(31, 'x')}, {"D"}});
    page->importButton()->click();
    ASSERT_TRUE(panelShown());
    transfer->importPanel()->saveButton()->click();
    EXPECT_TRUE(panelShown());
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith("O contato de Indice 3 não foi gravado:")) << errors[0].toStdString();
    EXPECT_EQ(stored(), 2);
    QTableView* list = transfer->importPanel()->previewList();
    ASSERT_EQ(list->model()->rowCount(), 2);
    EXPECT_EQ(list->model()->index(0, 0).data().toInt(), 3);
    EXPECT_TRUE(list->selectionModel()->isRowSelected(0, {}));

    transfer->importPanel()->cancelButton()->click();
    EXPECT_FALSE(panelShown());
    EXPECT_EQ(stored(), 2);
}

TEST_F(ContactTransferWidgetTest, BadBytesAreShownAsAWarningAndTheRowsStillListed) {
    importFile = m_files.filePath("misto.csv");
    QFile csv(importFile);
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("\xC3\x82ngela;1\nJos\xE9;2\n");
    csv.close();
    page->importButton()->click();
    ASSERT_TRUE(panelShown());
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].contains("a linha 2 tem")) << warnings[0].toStdString();
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(transfer->importPanel()->previewList()->model()->index(0, 1).data().toString(), "Ângela");
}

TEST_F(ContactTransferWidgetTest, AReadErrorShowsItsTextAndNoPanel) {
    importFile = m_files.filePath("sumiu.xlsx");
    page->importButton()->click();
    EXPECT_FALSE(panelShown());
    EXPECT_FALSE(transfer->isVisibleTo(page.get()));
    EXPECT_EQ(errors.size(), 1);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ContactTransferWidgetTest, TheStopButtonEndsTheReadWithoutThePanel) {
    importFile = sheet("tres.xlsx", {{"A"}, {"B"}, {"C"}});
    stopAtPause = 2;
    page->importButton()->click();
    EXPECT_FALSE(panelShown());
    EXPECT_FALSE(transfer->isVisibleTo(page.get()));
    EXPECT_EQ(transfer->statusLabel()->text(), "Parando importação");
    EXPECT_EQ(transfer->import()->preview()->rowCount(), 1);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // Choosing no file shows the panel with what was kept.
    importFile.clear();
    page->importButton()->click();
    EXPECT_TRUE(panelShown());
    EXPECT_EQ(transfer->importPanel()->previewList()->model()->rowCount(), 1);
}

TEST_F(ContactTransferWidgetTest, TheButtonsStartNoSecondTransferWhileOneRuns) {
    QSqlQuery(ado->database()).exec("INSERT INTO dbCLIENTE (NOME, FONE) VALUES ('Ana', '1')");
    ado->dbCLIENTE->refresh();
    importFile = sheet("dois.xlsx", {{"A"}, {"B"}});
    exportFile = m_files.filePath("CONTATOS.xlsx");
    duringPause = [this] {
        page->importButton()->click();
        page->exportButton()->click();
    };
    page->importButton()->click();
    EXPECT_EQ(questions.size(), 1);
    EXPECT_EQ(transfer->import()->preview()->rowCount(), 2);
    transfer->importPanel()->cancelButton()->click();
    page->exportButton()->click();
    EXPECT_EQ(questions.size(), 2);
    EXPECT_TRUE(QFile::exists(exportFile));
    EXPECT_EQ(transfer->import()->preview()->rowCount(), 0);
}

TEST_F(ContactTransferWidgetTest, ExportAsksThenWritesWhereTheOperatorChose) {
    QSqlQuery(ado->database()).exec("INSERT INTO dbCLIENTE (NOME, FONE) VALUES ('Ana', '1')");
    ado->dbCLIENTE->refresh();
    exportFile = m_files.filePath("CONTATOS.xls");
    answer = false;
    page->exportButton()->click();
    EXPECT_EQ(questions, QStringList{QString::fromUtf8(ContactTransferWidget::ExportQuestion)});
    EXPECT_FALSE(QFile::exists(exportFile));
    answer = true;
    page->exportButton()->click();
    EXPECT_EQ(transfer->statusLabel()->text(), "Finalizado exportação!");
    const SpreadsheetData back = SpreadsheetReader::read(exportFile);
    ASSERT_TRUE(back.ok());
    ASSERT_EQ(back.rows.size(), 1);
    EXPECT_EQ(back.rows[0].mid(0, 2), (QStringList{"Ana", "1"}));
}

} // namespace
