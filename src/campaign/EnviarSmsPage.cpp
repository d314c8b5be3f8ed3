#include "campaign/EnviarSmsPage.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>

#include "campaign/RecipientPanel.h"
#include "campaign/SmsKeyFilter.h"
#include "campaign/SmsTextEditor.h"
#include "campaign/TDM.h"
#include "optout/SuppressionList.h"
#include "store/StatusSink.h"
#include "store/TADO.h"
#include "store/TimeText.h"
#include "widgets/DbFieldBinder.h"
#include "widgets/RecordNavigator.h"

EnviarSmsPage::EnviarSmsPage(TADO* ado, TDM* recipients, QWidget* parent)
    : QWidget(parent), m_ado(ado), m_tdm(recipients), m_panel(new RecipientPanel(recipients, ado, true, this)),
      m_builder(ado) {
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(4, 4, 4, 4);
    auto* middle = new QHBoxLayout;
    middle->addWidget(m_panel, 1);
    auto* side = new QVBoxLayout;
    side->addWidget(makeSmsGroup());
    side->addWidget(makeButtons());
    side->addStretch();
    middle->addLayout(side);
    v->addLayout(middle, 1);
    v->addWidget(new QLabel("Status", this));
    m_status = new QListWidget(this);
    m_status->setMaximumHeight(120);
    v->addWidget(m_status);
    m_builder.setLog([this](const QString& line) { addStatusLine(line); });
}

QWidget* EnviarSmsPage::makeSmsGroup() {
    auto* group = new QGroupBox("Mensagem padrão do SMS", this);
    group->setFixedWidth(280);
    auto* v = new QVBoxLayout(group);
    m_editor = new SmsTextEditor(group);
    m_editor->setObjectName("BODY_SMS");
    m_counter = new QLabel(SmsKeyFilter::counterText(0), group);
    m_editor->setCounter(m_counter);
    v->addWidget(m_editor);
    v->addWidget(m_counter);
    auto* hint = new QLabel("Não utilizar caracteres especiais: ç,é,è,à,á,â, etc...", group);
    hint->setWordWrap(true);
    v->addWidget(hint);
    connect(m_editor, &SmsTextEditor::modeChanged, hint,
            [hint](SmsMode mode) { hint->setVisible(mode == SmsMode::Text); });
    auto* binder = new DbFieldBinder(m_ado->dbCFG, group);
    binder->bind(m_editor, "BODY_SMS");
    m_editor->followMode(m_ado->dbCFG);
    auto* nav = new RecordNavigator(group);
    nav->setObjectName("smsTextNavigator");
    nav->setVisibleButtons({RecordNavigator::Edit, RecordNavigator::Post, RecordNavigator::Cancel});
    nav->setCaptionsOnly(true);
    nav->setDataset(m_ado->dbCFG);
    v->addWidget(nav);
    return group;
}

QWidget* EnviarSmsPage::makeButtons() {
    auto* box = new QWidget(this);
    auto* v = new QVBoxLayout(box);
    const std::pair<const char*, void (EnviarSmsPage::*)()> buttons[] = {
        {"Enviar SMS Caixa de Saída  ", &EnviarSmsPage::suiButton19Click},
        {"Marcar Todos", &EnviarSmsPage::suiButton9Click},
        {"Desmarcar Todos", &EnviarSmsPage::suiButton11Click},
        {"Marcar Daqui!", &EnviarSmsPage::suiButton26Click},
    };
    for (const auto& [caption, slot] : buttons) {
        auto* b = new QPushButton(caption, box);
        connect(b, &QPushButton::clicked, this, slot);
        v->addWidget(b);
    }
    return box;
}

void EnviarSmsPage::setVerificaPortas(std::function<bool()> verificaPortas) {
    m_builder.setVerificaPortas(std::move(verificaPortas));
}

void EnviarSmsPage::showEvent(QShowEvent* event) {
    m_panel->fillGroups();
    QWidget::showEvent(event);
}

void EnviarSmsPage::suiButton22Click() {
    m_panel->connectSource();
}

void EnviarSmsPage::suiButton25Click() {
    m_panel->applyFilter();
}

void EnviarSmsPage::suiButton9Click() {
    m_tdm->markAll();
}

void EnviarSmsPage::suiButton11Click() {
    m_tdm->unmarkAll();
}

void EnviarSmsPage::suiButton26Click() {
    m_tdm->markFrom(m_tdm->recNo());
}

void EnviarSmsPage::refreshIndicator() {
    m_panel->refreshIndicator();
}

void EnviarSmsPage::addStatusLine(const QString& line) {
    m_status->addItem(line);
    m_status->scrollToBottom();
}

// The build's progress (rows, cycles) with "Cancelar": a cancelled build leaves the outbox as it was.
bool EnviarSmsPage::showProgress(QProgressDialog* dialog, const OutboxBuilder::Progress& p) {
    dialog->setMaximum(p.total);
    dialog->setLabelText(QStringLiteral("Montando a Caixa de Saída: %1 de %2 contatos, %3 SMS, ciclo %4")
                             .arg(p.visited)
                             .arg(p.total)
                             .arg(p.staged)
                             .arg(p.cycles));
    dialog->setValue(p.visited);
    QApplication::processEvents();
    return !dialog->wasCanceled();
}

void EnviarSmsPage::suiButton19Click() {
    if (m_building) // clicked again while the modems are re-tested
        return;
    m_building = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Dataset* cfg = m_ado->dbCFG;
    if (cfg->state() == Dataset::State::Edit || cfg->state() == Dataset::State::Insert)
        cfg->post();
    cfg->refresh();
    QProgressDialog progress(QStringLiteral("Montando a Caixa de Saída"), QStringLiteral("Cancelar"), 0, 0, this);
    progress.setObjectName("buildProgress");
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    m_builder.setProgress([this, &progress](const OutboxBuilder::Progress& p) { return showProgress(&progress, p); });
    const OutboxBuilder::Result r = m_builder.run(m_tdm);
    m_builder.setProgress({});
    progress.reset();
    StatusSink::instance()->setPanel(StatusSink::Outbox,
                                     QStringLiteral("SMS para envio: %1").arg(m_ado->dbMENSAGEM->recordCount()));
    QApplication::restoreOverrideCursor();
    m_building = false;
    showOutcome(r);
}

void EnviarSmsPage::showOutcome(const OutboxBuilder::Result& r) {
    const QString title = QApplication::applicationName();
    switch (r.outcome) {
    case OutboxBuilder::Outcome::NoPorts:
        QMessageBox::warning(window(), title, OutboxBuilder::kNoPortsWarning);
        Q_EMIT portsPageWanted();
        return;
    case OutboxBuilder::Outcome::NoMarks:
        QMessageBox::warning(window(), title, OutboxBuilder::kNoMarksWarning);
        return;
    case OutboxBuilder::Outcome::Failed:
        QMessageBox::critical(window(), title, r.error);
        return;
    case OutboxBuilder::Outcome::Cancelled:
        addStatusLine(TimeText::stampShown(QDateTime::currentDateTime()) +
                      QStringLiteral(" Montagem cancelada: a Caixa de Saída não foi alterada."));
        return;
    case OutboxBuilder::Outcome::Stopped:
        QMessageBox::warning(window(), title, OutboxBuilder::kStoppedWarning);
        break;
    case OutboxBuilder::Outcome::Done:
        break;
    }
    if (r.suppressed > 0)
        addStatusLine(TimeText::stampShown(QDateTime::currentDateTime()) + QLatin1Char(' ') +
                      SuppressionList::skippedSummary(r.suppressed));
    Q_EMIT outboxPageWanted();
}
