#include "sms/ModemStation.h"

#include "modem/ModemLog.h"
#include "modem/PortConfigurator.h"
#include "modem/PortSlot.h"
#include "sms/ModemSetup.h"
#include "sms/ResponseCoordinator.h"
#include "sms/SendScreen.h"
#include "sms/SlotRecovery.h"
#include "sms/SmsInbox.h"
#include "sms/SmsSender.h"
#include "sms/SmsStation.h"
#include "sms/StationErrors.h"

ModemStation::ModemStation(TADO* ado, QObject* parent)
    : QObject(parent), m_slots(new PortSlots(this)), m_sendLog(new ModemLog(this)), m_consoleLog(new ModemLog(this)),
      m_coordinator(new ResponseCoordinator(m_slots, m_sendLog, m_consoleLog, {}, this)),
      m_configurator(new PortConfigurator(ado, m_slots, this)) {
    m_configurator->setLogs({m_sendLog, m_consoleLog});
    m_setup = new ModemSetup(ado, m_slots, m_coordinator, m_sendLog);
    m_configurator->setSetUp([this](const QList<int>& ready) { return m_setup->run(ready); });
    m_recovery = new SlotRecovery(ado, m_slots, m_configurator, m_setup, m_coordinator, m_sendLog, this);
}

ModemStation::~ModemStation() {
    delete m_recovery;
    delete m_setup;
    // Results still waiting for their commit are stored while the slots and logs they touch live.
    m_coordinator->flushResults();
}

void ModemStation::attach(SmsStation* sms) {
    m_recovery->attach(sms->sender());
    // Both send logs meet here: their failures become the station's last error on the stations' list.
    StationErrors::watch(m_sendLog, sms);
    for (int n = 1; n <= PortSlots::kCount; ++n)
        sms->setSlot(n, m_slots->slot(n)->channel(), &m_coordinator->state(n));
    sms->setInboxMode(&m_coordinator->inboxMode());
    // Reports the modem kept among its messages (read by a later program than the one that sent) are applied.
    connect(sms->inbox(), &SmsInbox::statusReportListed, m_coordinator,
            [this](int index, const QByteArray& hex, int tpduLength) {
                const int slot = m_coordinator->inboxMode().slot;
                m_coordinator->listedReport(slot > 0 ? slot : 1, hex, tpduLength, index);
            });
    connect(sms->inbox(), &SmsInbox::readingEnded, m_coordinator, [this] {
        for (int n = 1; n <= PortSlots::kCount; ++n)
            m_coordinator->readStoredReports(n); // the reports the reading found leave the modem now
    });
    SendScreen* screen = sms->screen();
    auto slotOf = [this](int n) { return m_slots->slot(n); };
    connect(screen, &SendScreen::queueCounterChanged, this, [slotOf](int n, int count) {
        if (PortSlot* s = slotOf(n))
            s->setQueued(count);
    });
    connect(screen, &SendScreen::activityLightChanged, this, [slotOf](int n, bool lit) {
        if (PortSlot* s = slotOf(n))
            s->setActive(lit);
    });
    connect(screen, &SendScreen::charsetChosen, this, [slotOf](int n, const QString& name) {
        if (PortSlot* s = slotOf(n))
            s->setCharset(name);
    });
    connect(screen, &SendScreen::signalBarChanged, this, [slotOf](int n, SendScreen::BarState state) {
        if (PortSlot* s = slotOf(n))
            s->setWorking(state == SendScreen::BarState::Running);
    });
}
