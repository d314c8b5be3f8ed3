#include "mail/EmailSendWidget.h"

#include <QApplication>
#include <QDateTime>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "mail/EmailCampaign.h"
#include "optout/SuppressionList.h"

using vestral::mail::EmailCampaign;

const QString EmailSendWidget::kWarning =
    QStringLiteral("O envio de email pode deixar a tela congelada!\r\n"
                   "Não tente mexer no programa durante este período aguarde o témino do envio!");

EmailSendWidget::EmailSendWidget(TADO* ado, TDM* recipients, QWidget* parent)
    : QWidget(parent), m_recipients(recipients), m_campaign(new EmailCampaign(ado, this)),
      m_send(new QPushButton(QStringLiteral("Enviar EMAIL"), this)), m_status(nullptr),
      m_progress(new QProgressBar(this)), m_warning(nullptr) {
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    m_send->setObjectName(QStringLiteral("suiButton12"));
    v->addWidget(m_send);
    auto* box = new QGroupBox(QStringLiteral("Status"), this);
    auto* boxLayout = new QVBoxLayout(box);
    m_status = new QListWidget(box);
    m_status->setMinimumWidth(380);
    boxLayout->addWidget(m_status);
    v->addWidget(box, 1);
    m_progress->setRange(0, EmailCampaign::kProgressMax);
    m_progress->setValue(0);
    m_progress->setVisible(false);
    v->addWidget(m_progress);
    m_warning = new QLabel(QString(kWarning).replace(QLatin1String("\r\n"), QLatin1String("\n")), this);
    m_warning->setStyleSheet(QStringLiteral("color: red; font-style: italic;"));
    m_warning->setWordWrap(true);
    v->addWidget(m_warning);

    connect(m_send, &QPushButton::clicked, this, &EmailSendWidget::suiButton12Click);
    connect(m_campaign, &EmailCampaign::statusAdded, this, [this](const QString& line) {
        m_status->addItem(line);
        m_status->scrollToBottom();
    });
    connect(m_campaign, &EmailCampaign::progressChanged, this, &EmailSendWidget::onProgress);
    connect(m_campaign, &EmailCampaign::runningChanged, m_send, &QWidget::setDisabled);
}

void EmailSendWidget::onProgress(int position, bool visible) {
    m_progress->setValue(position);
    m_progress->setVisible(visible);
    if (!visible)
        window()->repaint();
}

void EmailSendWidget::suiButton12Click() {
    if (m_campaign->isRunning())
        return;
    m_campaign->setRecipients(vestral::mail::RecipientRows::fromTdm(m_recipients));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const EmailCampaign::Result result = m_campaign->run();
    QApplication::restoreOverrideCursor();
    onProgress(0, false); // idle again, whatever ended the run
    if (result.suppressed > 0) {
        m_status->addItem(EmailCampaign::formatStatus(
            QDateTime::currentDateTime(), QLatin1Char(' ') + SuppressionList::skippedSummary(result.suppressed)));
        m_status->scrollToBottom();
    }
    if (result.outcome == EmailCampaign::Outcome::NoRecipients)
        QMessageBox::warning(window(), QApplication::applicationName(), result.error);
    else if (result.outcome == EmailCampaign::Outcome::Stopped)
        QMessageBox::critical(window(), QApplication::applicationName(),
                              QString(result.error).replace(QLatin1String("\r\n"), QLatin1String("\n")));
}
