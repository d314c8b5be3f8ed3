#include "history/TfImp.h"

#include <QApplication>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>

#include "history/HistoryReportReader.h"

#include "store/TADO.h"

namespace {
TfImp* g_imp = nullptr;
}

TfImp::TfImp(TADO* ado, QWidget* parent) : QWidget(parent), m_ado(ado) {
    setObjectName("fImp");
    hide();
    if (!g_imp)
        g_imp = this;
}

TfImp::~TfImp() {
    if (g_imp == this)
        g_imp = nullptr;
}

TfImp* TfImp::instance() {
    return g_imp;
}

HistoryReport::Options TfImp::options(HistoryReport::Form form) const {
    HistoryReport::Options o;
    o.form = form;
    o.empresa = m_ado->dbCFG->text("EMPRESA");
    return o;
}

HistoryReport::Outcome TfImp::print(QPrinter* printer, HistoryReport::Form form, const HistorySearch::Filter& filter) {
    HistoryReport::Reader reader(m_ado->database(), filter, form == HistoryReport::Form::Completo);
    QProgressDialog progress(QStringLiteral("Preparando o relatório..."), QStringLiteral("Cancelar"), 0, 0, window());
    progress.setWindowTitle(HistoryReport::titleText(form));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    HistoryReport::Options o = options(form);
    o.progress = [&](int pages, int rows) {
        progress.setMaximum(qMax(1, reader.total()));
        progress.setValue(qMin(rows, reader.total()));
        progress.setLabelText(QStringLiteral("Página %1").arg(pages));
        return !progress.wasCanceled();
    };
    const HistoryReport::Outcome outcome = HistoryReport::render(printer, reader, o);
    progress.reset();
    if (!outcome.error.isEmpty())
        QMessageBox::critical(window(), QApplication::applicationName(), outcome.error);
    return outcome;
}

QPrintPreviewDialog* TfImp::makePreview(HistoryReport::Form form, const HistorySearch::Filter& filter,
                                        QWidget* parent) {
    auto* printer = new QPrinter(QPrinter::HighResolution);
    printer->setPageLayout(
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(8, 6, 8, 10), QPageLayout::Millimeter));
    printer->setDocName(HistoryReport::titleText(form));
    auto* dialog = new QPrintPreviewDialog(printer, parent ? parent : this);
    dialog->setWindowTitle(HistoryReport::titleText(form));
    dialog->resize(900, 700);
    connect(dialog, &QPrintPreviewDialog::paintRequested, this,
            [this, form, filter](QPrinter* p) { print(p, form, filter); });
    // The preview does not own its printer.
    connect(dialog, &QObject::destroyed, [printer] { delete printer; });
    return dialog;
}

void TfImp::preview(HistoryReport::Form form, const HistorySearch::Filter& filter) {
    QPrintPreviewDialog* dialog = makePreview(form, filter, window());
    dialog->exec();
    delete dialog;
}
