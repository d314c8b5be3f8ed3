#include "contacts/ContatosPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "contacts/ContactTransferWidget.h"
#include "contacts/GroupChooser.h"
#include "optout/SuppressionList.h"
#include "store/Dataset.h"
#include "store/TADO.h"
#include "widgets/DbFieldBinder.h"
#include "widgets/DbGrid.h"
#include "widgets/RecordNavigator.h"

namespace {

QList<DatasetModel::Column> gridColumns() {
    QList<DatasetModel::Column> c{{"ID_CLIENTE", "ID Contato", 80},
                                  {"NOME", "Nome Contato", 200},
                                  {"FONE", "Telefone", 130},
                                  {"EMAIL", "E-Mail", 180},
                                  {"DESATIVADO", "Desativado", 80, true, Qt::AlignCenter}};
    for (const char* t :
         {"TEXTO", "TEXTO0", "TEXTO1", "TEXTO2", "TEXTO3", "TEXTO4", "TEXTO5", "TEXTO6", "TEXTO7", "TEXTO8", "TEXTO9"})
        c.append({t, t, 90});
    return c;
}

// The busy pointer while the list is reopened.
struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace

ContatosPage::ContatosPage(TADO* ado, QWidget* parent) : QWidget(parent), m_ado(ado), m_search(ado->dbCLIENTE) {
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(4, 4, 4, 4);
    v->addWidget(makeEditor());
    v->addWidget(makeFilter());
    m_grid = new DbGrid(ado->dbCLIENTE, gridColumns(), this);
    m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    v->addWidget(m_grid, 1);
    v->addWidget(new ContactTransferWidget(ado, this));
}

QWidget* ContatosPage::makeEditor() {
    auto* box = new QWidget(this);
    auto* h = new QHBoxLayout(box);
    h->setContentsMargins(0, 0, 0, 0);
    auto* left = new QVBoxLayout;
    auto* g = new QGridLayout;
    auto* binder = new DbFieldBinder(m_ado->dbCLIENTE, this);
    auto field = [&](const QString& label, const QString& column, int row, int col, int span = 1) {
        auto* edit = new QLineEdit(box);
        edit->setObjectName(column);
        g->addWidget(new QLabel(label, box), row * 2, col, 1, span);
        g->addWidget(edit, row * 2 + 1, col, 1, span);
        binder->bind(edit, column);
        return edit;
    };
    field("ID Contato", "ID_CLIENTE", 0, 0)->setReadOnly(true);
    field("Nome do Contato (Para SMS Máximo 20 Caracteres)", "NOME", 0, 1, 2);
    field("Telefone", "FONE", 0, 3);
    field("Email", "EMAIL", 0, 4, 2);
    g->addWidget(new QLabel("Grupo do Contato", box), 2, 0);
    m_groupField = new GroupChooser(m_ado->dbGRUPO, box);
    m_groupField->setObjectName("ID_GRUPO");
    g->addWidget(m_groupField, 3, 0);
    binder->bindLookup(m_groupField, "ID_GRUPO");
    connect(m_groupField, &GroupChooser::refilled, binder, &DbFieldBinder::refresh);
    auto* disabled = new QCheckBox("Desativar Contato", box);
    g->addWidget(disabled, 3, 1);
    binder->bind(disabled, "DESATIVADO");
    const QStringList texts{"TEXTO",  "TEXTO0", "TEXTO1", "TEXTO2", "TEXTO3", "TEXTO4",
                            "TEXTO5", "TEXTO6", "TEXTO7", "TEXTO8", "TEXTO9"};
    for (int i = 0; i < texts.size(); ++i)
        field(texts[i], texts[i], 1 + (i + 2) / 6, (i + 2) % 6);
    left->addLayout(g);
    // Why the contact is disabled, when its phone or e-mail is on the opt-out list.
    m_optOutReason = new QLabel(box);
    m_optOutReason->setObjectName("optOutReason");
    m_optOutReason->setStyleSheet(QStringLiteral("color: rgb(200, 90, 0)"));
    m_optOutReason->setTextFormat(Qt::PlainText);
    left->addWidget(m_optOutReason);
    connect(m_ado->dbCLIENTE, &Dataset::afterScroll, this, &ContatosPage::showOptOutReason);
    connect(m_ado->dbCLIENTE, &Dataset::rowsReset, this, &ContatosPage::showOptOutReason);
    m_navigator = new RecordNavigator(box);
    m_navigator->setObjectName("contactsNavigator");
    m_navigator->setDataset(m_ado->dbCLIENTE);
    m_navigator->setDeleteConfirmation("Apaga registro?");
    left->addWidget(m_navigator);
    h->addLayout(left, 1);

    auto* right = new QVBoxLayout;
    auto* apagar = new QPushButton("Apagar Todos os Contatos", box);
    m_import = new QPushButton("Importar Contatos Excel", box);
    m_export = new QPushButton("Exportar Contatos Excel", box);
    connect(apagar, &QPushButton::clicked, this, &ContatosPage::ApagarTodosClick);
    right->addWidget(apagar);
    right->addWidget(m_import);
    right->addWidget(m_export);
    m_transferArea = new QVBoxLayout;
    right->addLayout(m_transferArea);
    right->addStretch();
    h->addLayout(right);
    return box;
}

QWidget* ContatosPage::makeFilter() {
    auto* group = new QGroupBox("FILTRO DE CONTATOS", this);
    auto* g = new QGridLayout(group);
    const auto& boxes = ContactSearch::boxes();
    for (int i = 0; i < boxes.size(); ++i) {
        auto* edit = new QLineEdit(group);
        edit->setObjectName(QStringLiteral("busca_%1").arg(QLatin1String(boxes[i].column)));
        const int row = (i / 7) * 2;
        g->addWidget(new QLabel(boxes[i].label, group), row, i % 7);
        g->addWidget(edit, row + 1, i % 7);
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textChanged, this, [this, i](const QString& t) { searchBoxChanged(i, t); });
        m_boxes << edit;
    }
    auto* h = new QHBoxLayout;
    h->addWidget(new QLabel("Status", group));
    m_status = new QComboBox(group);
    m_status->addItems({"Todos", "Ativado", "Desativado"});
    h->addWidget(m_status);
    m_groupCheck = new QCheckBox("Grupo de Contato", group);
    h->addWidget(m_groupCheck);
    m_groupFilter = new GroupChooser(m_ado->dbGRUPO, group);
    m_groupFilter->setMinimumWidth(200);
    m_groupFilter->installEventFilter(this);
    h->addWidget(m_groupFilter);
    auto* limpar = new QPushButton("Limpar Filtro", group);
    h->addWidget(limpar);
    h->addStretch();
    g->addLayout(h, 4, 0, 1, 7);
    connect(m_status, &QComboBox::currentIndexChanged, this, [this](int s) {
        const BusyCursor busy;
        report(m_search.byStatus(s));
    });
    connect(m_groupCheck, &QCheckBox::clicked, this, &ContatosPage::groupCriterion);
    connect(m_groupFilter, &QComboBox::activated, this, &ContatosPage::groupCriterion);
    connect(limpar, &QPushButton::clicked, this, &ContatosPage::LimparFiltroClick);
    return group;
}

void ContatosPage::searchBoxChanged(int box, const QString& text) {
    const BusyCursor busy;
    report(m_search.searchColumn(QLatin1String(ContactSearch::boxes()[box].column), text));
}

void ContatosPage::groupCriterion() {
    const BusyCursor busy;
    report(m_search.byGroup(m_groupCheck->isChecked(), m_groupFilter->currentData()));
}

void ContatosPage::report(bool ok) {
    if (!ok)
        QMessageBox::critical(window(), QApplication::applicationName(), m_search.lastError());
}

// Empties every search box and reloads the full list once when any box held text.
void ContatosPage::clearBoxes() {
    bool hadText = false;
    for (QLineEdit* e : m_boxes) {
        hadText = hadText || !e->text().isEmpty();
        const QSignalBlocker block(e);
        e->clear();
    }
    if (hadText)
        report(m_search.showAll());
}

bool ContatosPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress && m_boxes.contains(qobject_cast<QLineEdit*>(watched)))
        clearBoxes();
    // Leaving the group chooser applies it; its own drop-down taking the focus does not.
    if (event->type() == QEvent::FocusOut && watched == m_groupFilter &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
        groupCriterion();
    return QWidget::eventFilter(watched, event);
}

void ContatosPage::LimparFiltroClick() {
    const BusyCursor busy;
    clearBoxes();
    if (m_groupCheck->isChecked()) {
        m_groupCheck->setChecked(false);
        groupCriterion();
    }
    m_status->setCurrentIndex(0);
    report(m_search.showAll());
}

void ContatosPage::ApagarTodosClick() {
    const auto answer =
        QMessageBox::question(window(), QApplication::applicationName(),
                              "Deseja excluir todos os contatos?\rEsta operação não poderá ser desfeita "
                              "posteriormente!\rContinuar?",
                              QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    QString error;
    if (!ContactSearch::deleteAllContacts(m_ado, &error))
        QMessageBox::critical(window(), QApplication::applicationName(), error);
}

void ContatosPage::showOptOutReason() {
    Dataset* c = m_ado->dbCLIENTE;
    const bool any = c->isOpen() && !c->isEmpty() && c->recNo() >= 0;
    m_optOutReason->setText(any && c->boolean("DESATIVADO")
                                ? SuppressionList::reasonFor(m_ado->database(), c->text("FONE"), c->text("EMAIL"))
                                : QString());
}
