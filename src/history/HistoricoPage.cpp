#include "history/HistoricoPage.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "history/HistoryReport.h"
#include "history/HistoryWriter.h"
#include "history/TfImp.h"
#include "store/StatusSink.h"
#include "store/TADO.h"
#include "widgets/DbGrid.h"

namespace {
QList<DatasetModel::Column> historyColumns() {
    return {{"ID_HISTORICO", "ID", 60},
            {"DATA", "Data", 110},
            {"DESTINATARIO", "Destinatário", 200},
            {"TIPO", "Tipo", 100},
            {"ENVIADO", "Enviado", 50, true, Qt::AlignCenter},
            {"ENTREGUE", "Entregue", 110},
            {"STATUS_ENTREGA", "Entrega", 130}};
}
} // namespace

HistoricoPage::HistoricoPage(TADO* ado, QWidget* parent)
    : QWidget(parent), m_ado(ado), m_periodo(new QCheckBox("Histórico no período:", this)),
      m_deData(new QDateEdit(this)), m_deHora(new QTimeEdit(this)), m_ateData(new QDateEdit(this)),
      m_ateHora(new QTimeEdit(this)), m_total(new QLabel(HistorySearch::totalText(0), this)),
      m_grid(new DbGrid(ado->dbHISTORICO, historyColumns(), this)), m_mensagem(new QPlainTextEdit(this)),
      m_dialog(messageBoxDialog(this)) {
    setObjectName("Histórico de Envio");
    auto* top = new QHBoxLayout;
    top->addWidget(makePeriodBox());
    top->addWidget(makeGroup("Status", {"Todos", "Enviado", "Não Enviado"}, &m_outcome, 0));
    top->addWidget(makeGroup("Tipo", {"Todos", "SMS", "E-Mail"}, &m_channel, 0));
    top->addWidget(makeGroup("Relatório", {"Completo", "Resumido"}, &m_kind, 1));
    top->addWidget(makeButtons());
    top->addStretch(1);

    m_grid->setObjectName("DBGrid1");
    m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // 110 px unless the window's font needs more for a whole "dd/MM/yyyy HH:mm:ss".
    const int stampWidth = qMax(110, m_grid->fontMetrics().horizontalAdvance("00/00/0000 00:00:00") + 12);
    m_grid->setColumnWidth(1, stampWidth);
    m_grid->setColumnWidth(5, stampWidth); // ENTREGUE
    m_mensagem->setObjectName("DBMemo1");
    m_mensagem->setReadOnly(true);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(m_grid);
    split->addWidget(m_mensagem);
    // The grid's columns, delivery included, fit a 1025-pixel window; the message box takes the rest.
    split->setStretchFactor(0, 5);
    split->setStretchFactor(1, 1);

    auto* v = new QVBoxLayout(this);
    v->addLayout(top);
    m_total->setObjectName("lbTotal");
    v->addWidget(m_total);
    v->addWidget(split, 1);

    const QDate today = QDate::currentDate();
    setPeriod(QDate(today.year(), today.month(), 1), QTime(0, 0, 0), today, QTime(23, 59, 59));
    m_periodo->setChecked(true);
    Dataset* h = m_ado->dbHISTORICO;
    for (auto sig : {&Dataset::afterScroll, &Dataset::afterOpen, &Dataset::afterClose, &Dataset::afterPost})
        connect(h, sig, this, &HistoricoPage::showMessage);
    wireSearchTriggers();
    showMessage();
}

QWidget* HistoricoPage::makePeriodBox() {
    auto* box = new QGroupBox(this);
    auto* g = new QGridLayout(box);
    for (QDateEdit* d : {m_deData, m_ateData}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat("dd/MM/yyyy");
    }
    for (QTimeEdit* t : {m_deHora, m_ateHora})
        t->setDisplayFormat("HH:mm:ss");
    g->addWidget(m_periodo, 0, 0, 1, 3);
    g->addWidget(new QLabel("De:", box), 1, 0);
    g->addWidget(m_deData, 1, 1);
    g->addWidget(m_deHora, 1, 2);
    g->addWidget(new QLabel("Até:", box), 2, 0);
    g->addWidget(m_ateData, 2, 1);
    g->addWidget(m_ateHora, 2, 2);
    return box;
}

QWidget* HistoricoPage::makeGroup(const QString& title, const QStringList& options, QButtonGroup** group, int checked) {
    auto* box = new QGroupBox(title, this);
    auto* v = new QVBoxLayout(box);
    *group = new QButtonGroup(box);
    for (int i = 0; i < options.size(); ++i) {
        auto* b = new QRadioButton(options[i], box);
        (*group)->addButton(b, i);
        b->setChecked(i == checked);
        v->addWidget(b);
    }
    return box;
}

QWidget* HistoricoPage::makeButtons() {
    auto* w = new QWidget(this);
    auto* g = new QGridLayout(w);
    const QList<std::pair<QString, void (HistoricoPage::*)()>> buttons{
        {"Buscar Histórico", &HistoricoPage::suiButton24Click},
        {"Imprimir", &HistoricoPage::suiButton7Click},
        {"Desativar contatos com falha", &HistoricoPage::suiButton15Click},
        {"Apagar contatos com falha", &HistoricoPage::suiButton17Click}};
    for (int i = 0; i < buttons.size(); ++i) {
        auto* b = new QPushButton(buttons[i].first, w);
        b->setObjectName(buttons[i].first);
        connect(b, &QPushButton::clicked, this, buttons[i].second);
        g->addWidget(b, i / 2, i % 2);
    }
    return w;
}

void HistoricoPage::wireSearchTriggers() {
    connect(m_periodo, &QCheckBox::clicked, this, &HistoricoPage::suiButton24Click);
    for (QDateEdit* d : {m_deData, m_ateData})
        connect(d, &QDateEdit::dateChanged, this, &HistoricoPage::suiButton24Click);
    for (QTimeEdit* t : {m_deHora, m_ateHora})
        connect(t, &QTimeEdit::timeChanged, this, &HistoricoPage::suiButton24Click);
    for (QButtonGroup* g : {m_outcome, m_channel, m_kind})
        connect(g, &QButtonGroup::idClicked, this, &HistoricoPage::suiButton24Click); // RadioGroup1Click
}

void HistoricoPage::setPeriod(const QDate& from, const QTime& fromTime, const QDate& to, const QTime& toTime) {
    const QSignalBlocker b1(m_deData), b2(m_deHora), b3(m_ateData), b4(m_ateHora);
    m_deData->setDate(from);
    m_deHora->setTime(fromTime);
    m_ateData->setDate(to);
    m_ateHora->setTime(toTime);
}

void HistoricoPage::setPeriodChecked(bool on) {
    m_periodo->setChecked(on);
}

void HistoricoPage::setOutcome(HistorySearch::Outcome outcome) {
    m_outcome->button(int(outcome))->setChecked(true);
}

void HistoricoPage::setChannel(HistorySearch::Channel channel) {
    m_channel->button(int(channel))->setChecked(true);
}

HistorySearch::Filter HistoricoPage::filter() const {
    HistorySearch::Filter f;
    f.usePeriod = m_periodo->isChecked();
    f.fromDate = m_deData->date();
    f.fromTime = m_deHora->time();
    f.toDate = m_ateData->date();
    f.toTime = m_ateHora->time();
    f.outcome = HistorySearch::Outcome(qMax(0, m_outcome->checkedId()));
    f.channel = HistorySearch::Channel(qMax(0, m_channel->checkedId()));
    return f;
}

int HistoricoPage::reportKind() const {
    return m_kind->checkedId();
}

QString HistoricoPage::totalText() const {
    return m_total->text();
}

QString HistoricoPage::messageText() const {
    return m_mensagem->toPlainText();
}

void HistoricoPage::showMessage() {
    m_mensagem->setPlainText(m_ado->dbHISTORICO->text("MENSAGEM"));
}

void HistoricoPage::suiButton24Click() {
    QString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_searched = filter();
    const bool ok = HistorySearch::run(m_ado->dbHISTORICO, m_searched, &error);
    QApplication::restoreOverrideCursor();
    if (!ok) {
        m_dialog(QMessageBox::Critical, error, QMessageBox::Ok);
        return;
    }
    const int n = m_ado->dbHISTORICO->recordCount();
    m_total->setText(HistorySearch::totalText(n));
    StatusSink::instance()->setPanel(StatusSink::History, HistoryWriter::historyPanelText(n));
}

void HistoricoPage::suiButton7Click() {
    const int kind = reportKind();
    if (kind < 0)
        return;
    TfImp* imp = TfImp::instance();
    if (!imp)
        imp = new TfImp(m_ado, this);
    imp->preview(HistoryReport::Form(kind), m_searched);
}

void HistoricoPage::failedContacts(FailedContacts::Action action) {
    if (!m_ado->dbHISTORICO->isOpen() || m_ado->dbHISTORICO->isEmpty()) {
        m_dialog(QMessageBox::Warning, FailedContacts::kEmptyResult, QMessageBox::Ok);
        return;
    }
    if (m_dialog(QMessageBox::Question, FailedContacts::confirmationText(action), QMessageBox::Yes | QMessageBox::No) !=
        QMessageBox::Yes)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const FailedContacts::Result r = FailedContacts::apply(m_ado, m_ado->dbHISTORICO, action);
    // The contact list and its count in the status bar would otherwise show contacts that are gone.
    if (r.contactsChanged > 0 && m_ado->dbCLIENTE->isOpen())
        m_ado->dbCLIENTE->refresh();
    QApplication::restoreOverrideCursor();
}

void HistoricoPage::suiButton15Click() {
    failedContacts(FailedContacts::Action::Disable);
}

void HistoricoPage::suiButton17Click() {
    failedContacts(FailedContacts::Action::Delete);
}
