#include "campaign/EnviarEmailPage.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "campaign/RecipientPanel.h"

EnviarEmailPage::EnviarEmailPage(TADO* ado, TDM* recipients, QWidget* parent)
    : QWidget(parent), m_panel(new RecipientPanel(recipients, ado, false, this)), m_campaignArea(new QVBoxLayout) {
    auto* h = new QHBoxLayout(this);
    h->setContentsMargins(4, 4, 4, 4);
    h->addWidget(m_panel, 2);
    h->addLayout(m_campaignArea, 1);
}

void EnviarEmailPage::showEvent(QShowEvent* event) {
    m_panel->fillGroups();
    QWidget::showEvent(event);
}

void EnviarEmailPage::suiButton22Click() {
    m_panel->connectSource();
}

void EnviarEmailPage::suiButton8Click() {
    m_panel->applyFilter();
}

void EnviarEmailPage::refreshIndicator() {
    m_panel->refreshIndicator();
}
