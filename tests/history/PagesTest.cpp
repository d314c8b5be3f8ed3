#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>

#include "HistoryFixture.h"
#include "history/HistoricoPage.h"
#include "history/HistoryWriter.h"
#include "history/ManutencaoPage.h"
#include "history/TfImp.h"
#include "widgets/DbGrid.h"
#include "widgets/RowPainter.h"

namespace {

// Records what the page asked and answers with a fixed button.
struct Dialogs {
    QStringList asked;
    QMessageBox::StandardButton answer = QMessageBox::Yes;
    OperatorDialog hook() {
        return [this](QMessageBox::Icon, const QString& text, QMessageBox::StandardButtons) {
            asked << text;
            return answer;
        };
    }
};

class HistoryPages : public HistoryFixture {
protected:
    QPushButton* button(QWidget* page, const QString& name) { return page->findChild<QPushButton*>(name); }
    Dialogs dialogs;
};

TEST_F(HistoryPages, HistoricoStartsWithTheMonthSoFarAndNoRows) {
    HistoricoPage page(ado());
    const QDate today = QDate::currentDate();
    const HistorySearch::Filter f = page.filter();
    EXPECT_TRUE(f.usePeriod);
    EXPECT_EQ(f.fromDate, QDate(today.year(), today.month(), 1));
    EXPECT_EQ(f.fromTime, QTime(0, 0, 0));
    EXPECT_EQ(f.toDate, today);
    EXPECT_EQ(f.toTime, QTime(23, 59, 59));
    EXPECT_EQ(f.outcome, HistorySearch::Outcome::All);
    EXPECT_EQ(f.channel, HistorySearch::Channel::All);
    EXPECT_EQ(page.reportKind(), 1); // "Resumido"
    EXPECT_EQ(page.totalText(), "Total de Registros: 0");
    const QStringList titles{"ID", "Data", "Destinatário", "Tipo", "Enviado"};
    for (int i = 0; i < titles.size(); ++i)
        EXPECT_EQ(page.grid()->model()->headerData(i, Qt::Horizontal).toString(), titles[i]);
    EXPECT_EQ(page.grid()->columnWidth(0), 60);
    EXPECT_EQ(page.grid()->columnWidth(2), 200);
}

TEST_F(HistoryPages, OptionsRunTheSearchAndTheMemoFollowsTheRow) {
    addHistory("2026-12-01 10:00:00", "1", "SMS", true, "primeira");
    addHistory("2026-12-02 10:00:00", "(Ana) a@x.com", "E-Mail", false, "segunda");
    HistoricoPage page(ado());
    page.setPeriod(QDate(2026, 12, 1), QTime(0, 0, 0), QDate(2026, 12, 31), QTime(23, 59, 59));
    page.findChild<QRadioButton*>()->click(); // "Todos" of the outcome group
    EXPECT_EQ(page.totalText(), "Total de Registros: 2");
    EXPECT_EQ(page.messageText(), "primeira");
    ado()->dbHISTORICO->next();
    EXPECT_EQ(page.messageText(), "segunda");
    for (QRadioButton* r : page.findChildren<QRadioButton*>())
        if (r->text() == "E-Mail")
            r->click();
    EXPECT_EQ(page.totalText(), "Total de Registros: 1");
    page.findChild<QCheckBox*>()->click(); // period off: still only e-mail
    EXPECT_EQ(page.totalText(), "Total de Registros: 1");
}

TEST_F(HistoryPages, FailedContactActionsAskFirst) {
    addContact("Ana", "1", "a@x.com");
    HistoricoPage page(ado());
    page.setDialog(dialogs.hook());
    button(&page, "Desativar contatos com falha")->click();
    EXPECT_EQ(dialogs.asked, QStringList{"Sua busca não possui registros!"});

    addHistory(QDate::currentDate().toString("yyyy-MM-dd") + " 10:00:00", "1", "SMS", false);
    button(&page, "Buscar Histórico")->click();
    dialogs.asked.clear();
    dialogs.answer = QMessageBox::No;
    button(&page, "Apagar contatos com falha")->click();
    EXPECT_EQ(dialogs.asked.value(0), "Deseja apagar os contatos com falha no envio desta lista?\rEsta operação "
                                      "não pode ser desfeita depois!");
    EXPECT_EQ(column("SELECT COUNT(*) FROM dbCLIENTE"), QStringList{"1"});
    dialogs.answer = QMessageBox::Yes;
    button(&page, "Desativar contatos com falha")->click();
    EXPECT_EQ(column("SELECT DESATIVADO FROM dbCLIENTE"), QStringList{"1"});
    EXPECT_TRUE(ado()->dbCLIENTE->boolean("DESATIVADO")); // the contact list was reloaded
}

TEST_F(HistoryPages, MaintenanceCountsAndClearsOnlyOnYes) {
    addHistory("2026-12-01 10:00:00", "1", "SMS", true);
    addHistory("2026-12-02 10:00:00", "2", "SMS", true);
    ManutencaoPage page(ado());
    page.setDialog(dialogs.hook());
    page.TabSheet81Show();
    EXPECT_EQ(page.countLabel(Maintenance::Table::History)->text(), "Total de Registros do Histórico: 2");
    dialogs.answer = QMessageBox::No;
    button(&page, "Button8")->click();
    EXPECT_EQ(dialogs.asked.value(0),
              "Ao excluir o histórico não poderá ser desfeito essa operação. Deseja continuar?");
    EXPECT_EQ(page.countLabel(Maintenance::Table::History)->text(), "Total de Registros do Histórico: 2");
    dialogs.answer = QMessageBox::Yes;
    page.periodoInicial()->setSelectedDate(QDate(2026, 12, 2));
    page.periodoFinal()->setSelectedDate(QDate(2026, 12, 2));
    button(&page, "Button9")->click();
    EXPECT_EQ(page.countLabel(Maintenance::Table::History)->text(), "Total de Registros do Histórico: 1");
    button(&page, "Button12")->click();
    EXPECT_EQ(page.countLabel(Maintenance::Table::Outbox)->text(), "Total de Mensagens na Caixa de Saída: 0");
}

TEST_F(HistoryPages, ReportWindowDrawsThePreviewOfTheResultSet) {
    addHistory("2026-12-01 10:00:00", "1", "SMS", true);
    HistoricoPage page(ado());
    button(&page, "Buscar Histórico")->click();
    TfImp imp(ado());
    EXPECT_EQ(TfImp::instance(), &imp);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(d.path() + "/preview.pdf");
    EXPECT_EQ(imp.print(&printer, HistoryReport::Form::Completo, page.filter()).pages, 1);
    std::unique_ptr<QPrintPreviewDialog> dialog(imp.makePreview(HistoryReport::Form::Resumido, {}, nullptr));
    EXPECT_EQ(dialog->windowTitle(), "RELATÓRIO RESUMIDO DO HISTÓRICO DE ENVIO VESTRAL SMS");
}

TEST(RowPainterColors, SelectedYellowOthersByRecordNumber) {
    EXPECT_EQ(RowPainter::rowColor(0, true), QColor(0xFF, 0xFF, 0x00));
    EXPECT_EQ(RowPainter::rowColor(0, false), QColor(0xF3, 0xF3, 0xF3)); // record 1
    EXPECT_EQ(RowPainter::rowColor(1, false), QColor(Qt::white));        // record 2
    EXPECT_EQ(RowPainter::rowColor(2, false), QColor(0xF3, 0xF3, 0xF3));
    EXPECT_EQ(RowPainter::rowColor(3, true), QColor(Qt::yellow));
}

} // namespace

namespace {

TEST_F(HistoryPages, GridPaintsRowsByRecordNumberAndSelectionYellow) {
    addHistory("2026-12-01 10:00:00", "1", "SMS", true);
    addHistory("2026-12-02 10:00:00", "2", "SMS", false);
    addHistory("2026-12-03 10:00:00", "3", "SMS", false);
    HistoricoPage page(ado());
    page.setPeriodChecked(false);
    button(&page, "Buscar Histórico")->click();
    DbGrid* grid = page.grid();
    grid->resize(600, 200);
    grid->show();
    ado()->dbHISTORICO->moveTo(1);
    const QImage img = grid->viewport()->grab().toImage();
    const auto colourAt = [&](int row) {
        const QRect r = grid->visualRect(grid->model()->index(row, 3)); // "Tipo": short text at the left
        return QColor(img.pixel(r.right() - 3, r.center().y()));
    };
    EXPECT_EQ(colourAt(0), QColor(0xF3, 0xF3, 0xF3));
    EXPECT_EQ(colourAt(1), QColor(Qt::yellow));
    EXPECT_EQ(colourAt(2), QColor(0xF3, 0xF3, 0xF3));
    // "Enviado" holds a check box, not the number.
    const QModelIndex enviado = grid->model()->index(0, 4);
    EXPECT_EQ(enviado.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    EXPECT_FALSE(enviado.data(Qt::DisplayRole).isValid());
    const QRect box = RowPainter::checkBoxRect(grid->visualRect(enviado));
    EXPECT_TRUE(grid->visualRect(enviado).adjusted(1, 1, -1, -1).contains(box));
    auto* painter = qobject_cast<RowPainter*>(grid->itemDelegate());
    ASSERT_NE(painter, nullptr);
    EXPECT_EQ(painter->displayText(QString("2026-12-01 10:00:00"), QLocale()), "01/12/2026 10:00:00");
    EXPECT_EQ(painter->displayText(QString("5511"), QLocale()), "5511");
}

} // namespace
