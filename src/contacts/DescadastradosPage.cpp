#include "contacts/DescadastradosPage.h"

#include <QAbstractTableModel>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "contacts/DescadastroTransfer.h"
#include "contacts/SpreadsheetReader.h"
#include "store/TADO.h"
#include "store/TimeText.h"

// The entries of the list as the grid shows them (the rows are plain values: the grid draws the visible ones).
class DescadastradosModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setEntries(QList<SuppressionList::Entry> entries) {
        beginResetModel();
        m_entries = std::move(entries);
        endResetModel();
    }
    const SuppressionList::Entry* entry(int row) const {
        return row >= 0 && row < m_entries.size() ? &m_entries[row] : nullptr;
    }
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(m_entries.size()); }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 5; }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const char* const titles[] = {"Endereço", "Data", "Origem", "Entrada", "Mensagem / Observação"};
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= 5)
            return QAbstractTableModel::headerData(section, orientation, role);
        return QString::fromUtf8(titles[section]);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const SuppressionList::Entry* e = entry(index.row());
        if (!e || role != Qt::DisplayRole)
            return {};
        switch (index.column()) {
        case 0:
            return e->normalizado ? e->endereco : e->endereco + QStringLiteral(" (não normalizado)");
        case 1:
            return TimeText::storedStampShown(e->data);
        case 2:
            return e->origem;
        case 3:
            return e->entrada;
        default:
            return e->texto.simplified();
        }
    }

private:
    QList<SuppressionList::Entry> m_entries;
};

DescadastradosPage::DescadastradosPage(TADO* ado, QWidget* parent)
    : QWidget(parent), m_ado(ado), m_model(new DescadastradosModel(this)), m_search(new QLineEdit(this)),
      m_table(new QTableView(this)), m_paste(new QPlainTextEdit(this)), m_note(new QLineEdit(this)),
      m_status(new QLabel(this)) {
    m_confirm = [this](const QString& text) {
        return QMessageBox::question(window(), QStringLiteral("Descadastrados"), text,
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setWordWrap(false);
    for (const auto& [column, width] : {std::pair{0, 210}, {1, 135}, {2, 100}, {3, 70}})
        m_table->setColumnWidth(column, width);
    m_search->setPlaceholderText(QStringLiteral("Pesquisar número, e-mail, origem ou mensagem"));
    m_search->setClearButtonEnabled(true);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);

    auto* h = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(new QLabel(QStringLiteral("Pesquisar"), this));
    searchRow->addWidget(m_search, 1);
    left->addLayout(searchRow);
    left->addWidget(m_table, 1);
    left->addWidget(m_status);
    h->addLayout(left, 3);
    h->addWidget(makeEditor(), 1);
    connect(m_search, &QLineEdit::textChanged, this, &DescadastradosPage::reload);
}

QWidget* DescadastradosPage::makeEditor() {
    auto* box = new QGroupBox(QStringLiteral("Incluir na lista"), this);
    auto* v = new QVBoxLayout(box);
    v->addWidget(new QLabel(QStringLiteral("Números ou e-mails (um por linha):"), box));
    m_paste->setObjectName("paste");
    v->addWidget(m_paste, 1);
    v->addWidget(new QLabel(QStringLiteral("Observação"), box));
    v->addWidget(m_note);
    auto button = [&](const QString& text, void (DescadastradosPage::*slot)()) {
        auto* b = new QPushButton(text, box);
        v->addWidget(b);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    button(QStringLiteral("Incluir"), &DescadastradosPage::IncluirClick);
    button(QStringLiteral("Importar de Arquivo..."), &DescadastradosPage::ImportarClick);
    v->addSpacing(12);
    button(QStringLiteral("Remover Selecionado"), &DescadastradosPage::RemoverClick);
    button(QStringLiteral("Exportar .xlsx..."), &DescadastradosPage::ExportarClick);
    return box;
}

void DescadastradosPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    reload();
}

void DescadastradosPage::say(const QString& text) {
    m_status->setText(text);
}

void DescadastradosPage::reload() {
    QList<SuppressionList::Entry> entries;
    QString error;
    if (!SuppressionList::list(m_ado->database(), m_search->text(), &entries, &error)) {
        say(QStringLiteral("Não foi possível ler a lista de descadastrados: ") + error);
        return;
    }
    m_model->setEntries(std::move(entries));
    say(QStringLiteral("Endereços na lista: %1").arg(m_model->rowCount()));
}

void DescadastradosPage::IncluirClick() {
    const SuppressionList::AddResult r = DescadastroTransfer::addPasted(m_ado, m_paste->toPlainText(), m_note->text());
    if (!r.ok()) {
        say(QStringLiteral("Nada foi incluído: ") + r.error);
        return;
    }
    m_paste->clear();
    m_note->clear();
    reload();
    say(DescadastroTransfer::summary(r));
}

void DescadastradosPage::RemoverClick() {
    const SuppressionList::Entry* e = m_model->entry(m_table->currentIndex().row());
    if (!e) {
        say(QStringLiteral("Selecione na lista o endereço a remover."));
        return;
    }
    const QString address = e->endereco;
    if (!m_confirm(QStringLiteral("Remover %1 da lista de descadastrados?\nAs mensagens voltarão a ser enviadas a "
                                  "este endereço; os contatos dele continuam desativados.")
                       .arg(address)))
        return;
    QString error;
    const SuppressionList::Removal removal = SuppressionList::remove(m_ado, address, m_note->text(), &error);
    reload();
    if (removal == SuppressionList::Removal::Removed)
        say(QStringLiteral("Removido da lista de descadastrados: ") + address);
    else if (removal == SuppressionList::Removal::NotFound)
        say(QStringLiteral("Não está na lista de descadastrados: ") + address);
    else
        say(QStringLiteral("Não foi possível remover %1: %2").arg(address, error));
}

void DescadastradosPage::ImportarClick() {
    const QString path = QFileDialog::getOpenFileName(window(), QStringLiteral("Importar descadastrados"), QString(),
                                                      SpreadsheetReader::fileFilter());
    if (path.isEmpty())
        return;
    const SuppressionList::AddResult r = DescadastroTransfer::importFile(m_ado, path);
    reload();
    say(r.ok() ? DescadastroTransfer::summary(r) : QStringLiteral("Nada foi importado: ") + r.error);
}

void DescadastradosPage::ExportarClick() {
    QString path = QFileDialog::getSaveFileName(window(), QStringLiteral("Exportar descadastrados"),
                                                QStringLiteral("descadastrados.xlsx"),
                                                QStringLiteral("Pasta de Trabalho do Excel (*.xlsx)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive))
        path += QStringLiteral(".xlsx");
    const SpreadsheetWriteResult r = DescadastroTransfer::exportFile(m_ado, path);
    say(r.ok() ? QStringLiteral("Lista exportada para ") + path : QStringLiteral("Não foi exportada: ") + r.error);
}
