#include "campaign/RecipientPanel.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>

#include "campaign/RecipientModel.h"
#include "store/TADO.h"
#include "widgets/DbGrid.h"
#include "widgets/RowPainter.h"

RecipientPanel::RecipientPanel(TDM* recipients, TADO* ado, bool marks, QWidget* parent)
    : QWidget(parent), m_tdm(recipients), m_ado(ado), m_model(new RecipientModel(recipients, this)),
      m_grid(new QTableView(this)) {
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    m_grid->setSelectionMode(marks ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
    v->addWidget(makeTop());
    m_grid->setModel(m_model);
    m_grid->setItemDelegate(new RowPainter(m_grid));
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->verticalHeader()->setDefaultSectionSize(20);
    m_grid->verticalHeader()->hide();
    v->addWidget(m_grid, 1);
    auto* hint = new QLabel("Selecione apertando a tecla CTRL e clicando com o mouse!", this);
    hint->setWordWrap(true);
    v->addWidget(hint);
    if (marks)
        wireMarks();
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& cur) {
        if (!m_syncing && cur.isValid())
            m_tdm->moveTo(cur.row());
    });
    connect(m_tdm, &TDM::currentChanged, this, &RecipientPanel::currentToGrid);
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        for (int c = 0; c < m_model->columnCount(); ++c) {
            const QString title = m_model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
            const int base = title == "NOME" || title == "EMAIL" ? 190 : title == "TELEFONE" ? 130 : 90;
            m_grid->setColumnWidth(c, DbGrid::widthFor(m_grid->horizontalHeader(), m_grid->fontMetrics(), c, base,
                                                       DbGrid::usualWidest(title)));
        }
    });
    refreshIndicator();
}

QWidget* RecipientPanel::makeTop() {
    auto* top = new QWidget(this);
    // Two rows: the source, then the filter. In one row beside the SMS group they need more than the
    // window's 1025 pixels, and the layout would squeeze the drop-downs below their size.
    auto* rows = new QVBoxLayout(top);
    rows->setContentsMargins(0, 0, 0, 0);
    auto* h = new QHBoxLayout;
    rows->addLayout(h);
    auto* connectButton = new QPushButton("Conectar Banco de Dados ", top);
    h->addWidget(connectButton);
    m_indicator = new QLabel(top);
    m_indicator->setFixedSize(24, 24);
    h->addWidget(m_indicator);
    auto* sourceBox = new QGroupBox(top);
    auto* sh = new QHBoxLayout(sourceBox);
    m_local = new QRadioButton("Cadastro Local", sourceBox);
    m_external = new QRadioButton("Integração", sourceBox);
    m_local->setChecked(true);
    sh->addWidget(m_local);
    sh->addWidget(m_external);
    sourceBox->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    h->addWidget(sourceBox);
    auto* filterBox = new QGroupBox("Filtrar pelo Grupo dos Contatos Locais", top);
    auto* fh = new QHBoxLayout(filterBox);
    m_group = new QComboBox(filterBox);
    m_group->setEditable(true);
    m_group->setMinimumWidth(180);
    m_status = new QComboBox(filterBox);
    m_status->addItems({"Todos", "Ativado", "Desativado"});
    m_status->setMinimumWidth(110);
    auto* filtrar = new QPushButton("Filtrar", filterBox);
    fh->addWidget(m_group);
    fh->addWidget(m_status);
    fh->addWidget(filtrar);
    filterBox->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    h->addStretch();
    auto* second = new QHBoxLayout;
    second->addWidget(filterBox);
    second->addStretch();
    rows->addLayout(second);
    connect(connectButton, &QPushButton::clicked, this, &RecipientPanel::connectSource);
    for (QRadioButton* b : {m_local, m_external})
        connect(b, &QRadioButton::clicked, this, &RecipientPanel::connectSource);
    connect(filtrar, &QPushButton::clicked, this, &RecipientPanel::applyFilter);
    connect(m_status, &QComboBox::activated, this, &RecipientPanel::applyFilter);
    // The SMS page filters as the group text changes, the e-mail page when a group is picked.
    if (m_grid->selectionMode() == QAbstractItemView::ExtendedSelection)
        connect(m_group, &QComboBox::currentTextChanged, this, &RecipientPanel::applyFilter);
    else
        connect(m_group, &QComboBox::activated, this, &RecipientPanel::applyFilter);
    return top;
}

TDM::Source RecipientPanel::chosenSource() const {
    return m_external->isChecked() ? TDM::Integracao : TDM::CadastroLocal;
}

QRadioButton* RecipientPanel::sourceButton(TDM::Source source) const {
    return source == TDM::Integracao ? m_external : m_local;
}

void RecipientPanel::connectSource() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString error;
    const bool ok = m_tdm->connectSource(chosenSource(), &error);
    refreshIndicator();
    QApplication::restoreOverrideCursor();
    if (!ok)
        QMessageBox::warning(window(), QApplication::applicationName(), TDM::connectionErrorText(error));
}

void RecipientPanel::applyFilter() {
    m_tdm->filter(m_group->currentText(), m_status->currentIndex(), chosenSource());
}

void RecipientPanel::fillGroups() {
    Dataset* groups = m_ado->dbGRUPO;
    groups->isOpen() ? groups->refresh() : groups->open();
    const QSignalBlocker block(m_group);
    m_group->clear();
    m_group->addItem("TODOS");
    const int col = groups->fieldIndex("GRUPO");
    for (int row = 0; row < groups->recordCount(); ++row)
        m_group->addItem(groups->valueAt(row, col).toString());
    m_group->setCurrentIndex(0);
}

void RecipientPanel::refreshIndicator() {
    const bool on = m_tdm->isConnected();
    m_indicator->setToolTip(on ? "Conectado" : "Desconectado");
    m_indicator->setStyleSheet(QStringLiteral("border-radius: 12px; border: 1px solid #404040; background: %1;")
                                   .arg(on ? "#20c020" : "#c02020"));
}

void RecipientPanel::wireMarks() {
    connect(m_grid->selectionModel(), &QItemSelectionModel::selectionChanged, this, &RecipientPanel::marksFromGrid);
    connect(m_tdm, &TDM::marksChanged, this, &RecipientPanel::marksToGrid);
}

void RecipientPanel::marksFromGrid() {
    if (m_syncing)
        return;
    QList<int> rows;
    for (const QModelIndex& i : m_grid->selectionModel()->selectedRows())
        rows << i.row();
    m_tdm->setMarks(rows);
}

void RecipientPanel::marksToGrid() {
    m_syncing = true;
    QItemSelection selection;
    const int last = m_model->columnCount() - 1;
    for (int row : m_tdm->markedRows())
        selection.select(m_model->index(row, 0), m_model->index(row, std::max(last, 0)));
    m_grid->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    m_syncing = false;
    currentToGrid(m_tdm->recNo());
}

void RecipientPanel::currentToGrid(int row) {
    if (row < 0 || row >= m_model->rowCount() || m_grid->currentIndex().row() == row)
        return;
    m_syncing = true;
    const QModelIndex idx = m_model->index(row, std::max(0, m_grid->currentIndex().column()));
    m_grid->selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
    m_grid->scrollTo(idx);
    m_syncing = false;
}
