#include "sms/SmsStation.h"

#include "modem/SerialChannel.h"
#include "sms/ScheduledSend.h"
#include "sms/SendScreen.h"
#include "sms/SmsInbox.h"
#include "sms/SmsSender.h"
#include "store/SmsModeSettings.h"
#include "store/TADO.h"

namespace {

// dbCFG.MODO_SMS, read at each reading; a settings row that cannot be read keeps the text mode.
bool pduModeSet(TADO* ado) {
    QString error;
    const SmsModeSettings settings = readSmsMode(ado->database(), &error);
    return error.isEmpty() && settings.mode == SmsMode::Pdu;
}

} // namespace

SmsStation::SmsStation(TADO* ado, QObject* parent)
    : QObject(parent), m_ado(ado), m_mode(&m_ownMode), m_screen(new SendScreen(ado, this)),
      m_sender(new SmsSender(ado, m_screen, this)), m_inbox(new SmsInbox(ado, m_mode, this)),
      m_schedule(new ScheduledSend(ado, this)) {
    connect(m_screen, &SendScreen::sendLogLine, this, [this](const QString& line) { Q_EMIT sendLogLine(line, true); });
    connect(m_schedule, &ScheduledSend::emptyOutbox, this,
            [this] { Q_EMIT warning(QString::fromUtf8(ScheduledSend::kEmptyOutboxWarning)); });
    connect(m_schedule, &ScheduledSend::readFailed, this,
            [this](const QString& line) { Q_EMIT sendLogLine(line, true); });
    connect(m_inbox, &SmsInbox::logLine, this, [this](const QString& line) { Q_EMIT sendLogLine(line, true); });
    connect(m_inbox, &SmsInbox::storeFailed, this, &SmsStation::warning);
    m_inbox->setPduMode([ado] { return pduModeSet(ado); });
}

SmsStation::~SmsStation() {
    // Workers hand their last screen changes to this thread: serve them before the screen goes.
    m_sender->stopAndWait();
}

void SmsStation::setSlot(int n, SerialChannel* channel, SlotState* state) {
    m_sender->setSlot(n, channel, state);
    if (n == SmsInbox::kSlot) {
        m_slot1 = channel;
        m_inbox->setChannel(channel);
    }
}

void SmsStation::setInboxMode(InboxMode* mode) {
    m_mode = mode ? mode : &m_ownMode;
    m_inbox->setMode(m_mode);
}

void SmsStation::readInbox() {
    // A reading in the middle of slot 1's send dialogue would take the modem's answer to AT+CMGS.
    if (m_sender->slotBusy(SmsInbox::kSlot))
        return;
    if (m_inbox->readModemInbox() == SmsInbox::Start::PortClosed)
        Q_EMIT warning(QString::fromUtf8(SmsInbox::kPortClosedWarning));
}

void SmsStation::clockTick(const QDateTime& now) {
    if (now.time().second() != kInboxSecond || !m_slot1 || !m_slot1->isOpen() || m_inbox->busy() ||
        m_sender->slotBusy(SmsInbox::kSlot))
        return;
    m_inbox->readModemInbox();
}

void SmsStation::scheduledTick() {
    m_schedule->tAUTOTimer();
}
