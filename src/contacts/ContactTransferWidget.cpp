#include "contacts/ContactTransferWidget.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include <optional>

#include "contacts/ContactExport.h"
#include "contacts/ContactImport.h"
#include "contacts/ContatosPage.h"
#include "contacts/ImportPanelWidget.h"
#include "contacts/SpreadsheetReader.h"
#include "contacts/SpreadsheetWriter.h"
#include "contacts/TransferStatus.h"
#include "store/TADO.h"

namespace {

// The busy pointer for the life of the object.
struct BusyPointer {
    BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

// Marks a transfer as running until the scope ends.
struct Running {
    explicit Running(bool& flag) : m_flag(flag) { m_flag = true; }
    ~Running() { m_flag = false; }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;
    bool& m_flag;
};

} // namespace

const char* const ContactTransferWidget::ImportQuestion =
    "Sua planilha de estar formatada sem título e com os seguintes valores:\r"
    "[NOME,TELEFONE,EMAIL,TEXTO,TEXTO0,TEXTO1,TEXTO2,TEXTO3,TEXTO4,TEXTO5,TEXTO6,TEXTO7,TEXTO8,TEXTO9]\r"
    "Sendo ordenado da Coluna A do Excel até A Coluna N, para uma importação com sucesso!\r"
    "Os dados não utilizados deixar em branco!\rDeseja continuar?";

const char* const ContactTransferWidget::ExportQuestion =
    "A exportação pode demorar alguns minutos e após iniciado não pode ser parado!\rDeseja continuar?";

ContactTransferWidget::ContactTransferWidget(TADO* ado, ContatosPage* page)
    : QWidget(page), m_ado(ado), m_status(new TransferStatus(this)), m_import(new ContactImport(m_status, this)),
      m_panel(new ImportPanelWidget(ado, m_import->preview(), page)), m_dialogs(defaultDialogs()) {
    setObjectName("transferStatusPanel");
    // A dark strip, so that the bold yellow status text reads well.
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet("#transferStatusPanel { background: #1d3557; }");
    auto* h = new QHBoxLayout(this);
    m_label = new QLabel("Iniciando...", this);
    m_label->setStyleSheet("color: yellow; font-weight: bold;");
    m_label->setMinimumWidth(420);
    m_bar = new QProgressBar(this);
    m_stop = new QPushButton("Parar Importação/Exportação", this);
    h->addWidget(m_label, 1);
    h->addWidget(m_bar, 1);
    h->addWidget(m_stop);
    hide();

    connect(m_status, &TransferStatus::textChanged, m_label, &QLabel::setText);
    connect(m_status, &TransferStatus::panelVisibleChanged, this, &ContactTransferWidget::showPanel);
    connect(m_status, &TransferStatus::maximumChanged, m_bar, [this](int max) { m_bar->setRange(0, qMax(0, max)); });
    connect(m_status, &TransferStatus::progressChanged, m_bar, &QProgressBar::setValue);
    connect(m_stop, &QPushButton::clicked, this, &ContactTransferWidget::BitBtn1Click);
    connect(page->importButton(), &QPushButton::clicked, this, &ContactTransferWidget::ImportarContatosClick);
    connect(page->exportButton(), &QPushButton::clicked, this, &ContactTransferWidget::suiButton6Click);
    connect(m_panel->saveButton(), &QPushButton::clicked, this, &ContactTransferWidget::SalvarImportacaoClick);
    connect(m_panel->cancelButton(), &QPushButton::clicked, this, &ContactTransferWidget::CancelarImportacaoClick);
}

ContactTransferWidget::~ContactTransferWidget() = default;

ContactTransferWidget::Dialogs ContactTransferWidget::defaultDialogs() {
    Dialogs d;
    d.ask = [this](const QString& q) {
        return QMessageBox::question(window(), QApplication::applicationName(), q,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    d.chooseImportFile = [this] {
        return QFileDialog::getOpenFileName(window(), QString(), QString(), SpreadsheetReader::fileFilter());
    };
    d.chooseExportFile = [this] { return askExportFile(); };
    d.showError = [this](const QString& t) { QMessageBox::critical(window(), QApplication::applicationName(), t); };
    d.showWarning = [this](const QString& t) { QMessageBox::warning(window(), QApplication::applicationName(), t); };
    return d;
}

// The save dialog: .xls first, as the operator knows it; a name typed without the type's
// extension gets the chosen filter's.
QString ContactTransferWidget::askExportFile() {
    QFileDialog dialog(window());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(SpreadsheetWriter::fileFilter().split(";;"));
    dialog.setDefaultSuffix("xls");
    connect(&dialog, &QFileDialog::filterSelected, &dialog,
            [&dialog](const QString& f) { dialog.setDefaultSuffix(f.contains("xlsx") ? "xlsx" : "xls"); });
    dialog.selectFile("CONTATOS.xls");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    QString path = dialog.selectedFiles().constFirst();
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != "xls" && suffix != "xlsx")
        path += "." + dialog.defaultSuffix();
    return path;
}

void ContactTransferWidget::showPanel(bool visible) {
    setVisible(visible);
    if (visible)
        window()->repaint();
}

void ContactTransferWidget::bringWindowToFront() {
    window()->raise();
    window()->activateWindow();
}

void ContactTransferWidget::ImportarContatosClick() {
    if (m_busy || !m_dialogs.ask(QString::fromUtf8(ImportQuestion)))
        return;
    const Running running(m_busy);
    std::optional<BusyPointer> busy(std::in_place);
    const QString path = m_dialogs.chooseImportFile();
    if (!path.isEmpty()) {
        const ContactImport::ReadResult read = m_import->read(path);
        if (read.outcome == ContactImport::ReadOutcome::Failed) {
            busy.reset();
            m_dialogs.showError(read.error);
            return;
        }
        if (read.outcome == ContactImport::ReadOutcome::Stopped)
            return;
        if (!read.warning.isEmpty() && m_dialogs.showWarning) {
            busy.reset();
            m_dialogs.showWarning(read.warning);
        }
    }
    m_panel->showOverPage();
}

void ContactTransferWidget::SalvarImportacaoClick() {
    const ContactImport::SaveResult saved = m_import->save(m_ado, ContactImport::currentGroup(m_ado->dbGRUPO));
    if (saved.ok()) {
        m_panel->hide();
        if (saved.suppressed > 0 && m_dialogs.showWarning)
            m_dialogs.showWarning(QStringLiteral("Contatos importados: %1\rDescadastrados, importados desativados: %2")
                                      .arg(saved.saved)
                                      .arg(saved.suppressed));
        return;
    }
    m_panel->showRow(saved.failedIndice);
    m_dialogs.showError(
        QStringLiteral("O contato de Indice %1 não foi gravado:\r%2").arg(saved.failedIndice).arg(saved.error));
}

void ContactTransferWidget::CancelarImportacaoClick() {
    m_panel->hide();
    m_import->cancel();
}

void ContactTransferWidget::BitBtn1Click() {
    TransferStatus::requestStop();
}

void ContactTransferWidget::suiButton6Click() {
    if (m_busy || !m_dialogs.ask(QString::fromUtf8(ExportQuestion)))
        return;
    const Running running(m_busy);
    bringWindowToFront();
    ContactExport exporter(m_status);
    const ContactExport::Result result =
        exporter.run(m_ado->dbCLIENTE, [this] { return m_dialogs.chooseExportFile(); });
    if (result.outcome == ContactExport::Outcome::Failed)
        m_dialogs.showError(result.error);
}
