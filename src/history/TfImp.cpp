#include "history/TfImp.h"

#include <QPrintPreviewDialog>
#include <QPrinter>

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

int TfImp::print(QPrinter* printer, HistoryReport::Form form) {
    return HistoryReport::render(printer, m_ado->dbHISTORICO, options(form));
}

QPrintPreviewDialog* TfImp::makePreview(HistoryReport::Form form, QWidget* parent) {
    auto* printer = new QPrinter(QPrinter::HighResolution);
    printer->setPageLayout(
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(8, 6, 8, 10), QPageLayout::Millimeter));
    printer->setDocName(HistoryReport::titleText(form));
    auto* dialog = new QPrintPreviewDialog(printer, parent ? parent : this);
    dialog->setWindowTitle(HistoryReport::titleText(form));
    dialog->resize(900, 700);
    connect(dialog, &QPrintPreviewDialog::paintRequested, this, [this, form](QPrinter* p) { print(p, form); });
    // The preview does not own its printer.
    connect(dialog, &QObject::destroyed, [printer] { delete printer; });
    return dialog;
}

void TfImp::preview(HistoryReport::Form form) {
    QPrintPreviewDialog* dialog = makePreview(form, window());
    dialog->exec();
    delete dialog;
}
