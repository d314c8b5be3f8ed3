#include "sms/SendScreen.h"

#include "store/StatusSink.h"
#include "store/TADO.h"

SendScreen::SendScreen(TADO* ado, QObject* parent) : QObject(parent), m_ado(ado) {
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &SendScreen::refreshOutbox);
}

QString SendScreen::outboxPanelText(int count) {
    return QStringLiteral("SMS para envio: %1").arg(count);
}

void SendScreen::outboxChanged() {
    if (!m_refresh.isActive())
        m_refresh.start();
}

void SendScreen::refreshOutbox() {
    Dataset* outbox = m_ado ? m_ado->dbMENSAGEM : nullptr;
    if (!outbox)
        return;
    outbox->refresh();
    if (!outbox->isOpen())
        return;
    StatusSink::instance()->setPanel(StatusSink::Outbox, outboxPanelText(outbox->recordCount()));
    Q_EMIT outboxRefreshed(outbox->recordCount());
}
