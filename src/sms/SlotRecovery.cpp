#include "sms/SlotRecovery.h"

#include "modem/ModemLog.h"
#include "modem/PortConfigurator.h"
#include "modem/PortSlot.h"
#include "sms/ModemSetup.h"
#include "sms/ResponseCoordinator.h"
#include "sms/SmsSender.h"
#include "store/Station.h"
#include "store/TADO.h"
#include "store/TimeText.h"

#include <QDateTime>
#include <QSqlQuery>

#include <algorithm>
#include <limits>

SlotRecovery::SlotRecovery(TADO* ado, PortSlots* slots, PortConfigurator* configurator, ModemSetup* setup,
                           ResponseCoordinator* coordinator, ModemLog* log, QObject* parent)
    : QObject(parent), m_ado(ado), m_slots(slots), m_configurator(configurator), m_setup(setup),
      m_coordinator(coordinator), m_log(log) {
    m_clock.start();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &SlotRecovery::tick);
    for (int n = 1; n <= PortSlots::kCount; ++n)
        connect(m_slots->slot(n)->channel(), &SerialChannel::portLost, this,
                [this, n](SerialChannel*, const QString& reason) { onPortLost(n, reason); });
}

void SlotRecovery::attach(SmsSender* sender) {
    m_sender = sender;
    connect(sender, &SmsSender::sendStarted, this, &SlotRecovery::begin);
    connect(sender, &SmsSender::stopRequested, this, &SlotRecovery::stop);
    // A vanished modem is opened again only once its worker has ended.
    connect(sender, &SmsSender::workerEnded, this, [this](int n, TMeuThread::End) {
        if (m_pending.contains(n) && !m_ticking)
            schedule();
    });
}

QList<int> SlotRecovery::lateSlots() const {
    QList<int> late;
    QSqlQuery q(m_ado->database());
    q.prepare(QStringLiteral("SELECT DISTINCT m.PORTA FROM dbMENSAGEM m JOIN dbPORTA p ON p.ID = m.PORTA "
                             "AND p.ESTACAO = ? WHERE p.ATIVO = 1 AND m.ENVIANDO IS NULL "
                             "AND m.PORTA NOT IN (SELECT ENTRADA FROM dbPORTA_ATIVA WHERE ESTACAO IS NULL OR ESTACAO = "
                             "?) ORDER BY m.PORTA"));
    q.addBindValue(Station::current());
    q.addBindValue(Station::current());
    q.exec();
    while (q.next()) {
        const int n = q.value(0).toInt();
        if (n >= 1 && n <= PortSlots::kCount && !lasting(n))
            late << n;
    }
    return late;
}

// What the last set-up found is for the operator to mend: asking again will not help.
bool SlotRecovery::lasting(int slot) const {
    const auto it = m_setup->reports().constFind(slot);
    return it != m_setup->reports().constEnd() && !it->ready && it->lasting;
}

bool SlotRecovery::hasRows(int slot) const {
    QSqlQuery q(m_ado->database());
    q.prepare(QStringLiteral("SELECT COUNT(*) FROM dbMENSAGEM WHERE PORTA = ? AND ENVIANDO IS NULL"));
    q.addBindValue(slot);
    return q.exec() && q.next() && q.value(0).toInt() > 0;
}

void SlotRecovery::begin() {
    m_joined.clear();
    m_refused.clear();
    m_waitS = ModemSetup::networkWaitS(m_ado);
    if (m_waitS <= 0)
        return;
    const qint64 now = m_clock.elapsed();
    for (const int n : lateSlots()) {
        if (m_pending.contains(n))
            continue;
        const qint64 deadline = now + qint64(m_waitS) * 1000;
        m_pending.insert(n, {Kind::Late, deadline, std::min(now + m_timing.lateProbeMs, deadline), {}, m_waitS});
        log(n, QStringLiteral("ENTRADA %1 NÃO PRONTA: NOVA TENTATIVA A CADA %2 S POR ATÉ %3 S")
                   .arg(n)
                   .arg(qMax(1, m_timing.lateProbeMs / 1000))
                   .arg(m_waitS));
    }
    schedule();
}

void SlotRecovery::onPortLost(int slot, const QString& reason) {
    const bool sending = m_sender && m_sender->running();
    if (m_pending.contains(slot) || !(sending || !m_pending.isEmpty()))
        return;
    if (!(m_sender && m_sender->slotBusy(slot)) && !hasRows(slot))
        return;
    const int waitS = ModemSetup::networkWaitS(m_ado);
    m_slots->slot(slot)->setCondition(QStringLiteral("desconectado"));
    log(slot, QStringLiteral("ENTRADA %1 DESCONECTADA: %2").arg(slot).arg(reason));
    if (waitS <= 0)
        return;
    const qint64 now = m_clock.elapsed();
    const qint64 deadline = now + qint64(waitS) * 1000;
    m_pending.insert(slot, {Kind::Back, deadline, std::min(now + m_timing.reopenMs, deadline),
                            m_coordinator->state(slot).imsi(), waitS});
    log(slot, QStringLiteral("ENTRADA %1 DESCONECTADA: NOVA TENTATIVA A CADA %2 S POR ATÉ %3 S")
                  .arg(slot)
                  .arg(qMax(1, m_timing.reopenMs / 1000))
                  .arg(waitS));
    if (!m_ticking)
        schedule();
}

void SlotRecovery::stop() {
    m_timer.stop();
    if (m_pending.isEmpty())
        return;
    m_pending.clear();
    if (!m_ticking)
        Q_EMIT settled();
}

void SlotRecovery::schedule() {
    if (m_pending.isEmpty()) {
        m_timer.stop();
        Q_EMIT settled();
        return;
    }
    const qint64 now = m_clock.elapsed();
    qint64 next = std::numeric_limits<qint64>::max();
    for (const Pending& p : std::as_const(m_pending))
        next = std::min(next, p.nextTry);
    m_timer.start(int(std::clamp<qint64>(next - now, 0, 60000)));
}

void SlotRecovery::tick() {
    if (m_ticking)
        return;
    const qint64 now = m_clock.elapsed();
    QList<int> due;
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
        if (it->nextTry > now)
            continue;
        // The worker of a vanished modem ends first; its row on the way stays where it is.
        if (m_sender && m_sender->slotBusy(it.key()))
            continue;
        due << it.key();
    }
    m_ticking = true;
    if (!due.isEmpty())
        tryAgain(due);
    m_ticking = false;
    // A slot whose worker still runs is looked at again soon.
    const qint64 later = m_clock.elapsed();
    for (Pending& p : m_pending)
        if (p.nextTry <= later)
            p.nextTry = later + 100;
    schedule();
}

void SlotRecovery::tryAgain(const QList<int>& due) {
    QList<int> open;
    const qint64 now = m_clock.elapsed();
    qint64 lastDeadline = now;
    for (const int n : due) {
        // A fresh modem owes nothing of what the old one was doing.
        if (!m_coordinator->state(n).portReopened()) {
            m_pending[n].nextTry = now + m_timing.reopenMs;
            continue;
        }
        open << n;
        lastDeadline = std::max(lastDeadline, m_pending.value(n).deadline);
    }
    if (open.isEmpty())
        return;
    // The network search of the set-up ends with the last of their waits.
    const int capS = int((lastDeadline - now + 999) / 1000);
    const QList<PortConfigurator::ProbeResult> results =
        m_configurator->reopen(open, [this, capS](const QList<int>& ready) { return m_setup->run(ready, capS); });
    const qint64 after = m_clock.elapsed();
    for (const PortConfigurator::ProbeResult& result : results) {
        const int n = result.entrada;
        if (!m_pending.contains(n))
            continue; // the send was stopped meanwhile
        const Pending pending = m_pending.value(n);
        if (result.state == PortConfigurator::ProbeState::Ready) {
            joinSend(n, pending);
            continue;
        }
        if (pending.kind == Kind::Back && result.state != PortConfigurator::ProbeState::NotReady)
            m_slots->slot(n)->setCondition(QStringLiteral("desconectado"));
        if (lasting(n) || after >= pending.deadline) {
            giveUp(n, pending);
            continue;
        }
        // The last try is made at the end of the wait.
        m_pending[n].nextTry =
            std::min(after + (pending.kind == Kind::Late ? m_timing.lateProbeMs : m_timing.reopenMs), pending.deadline);
    }
}

void SlotRecovery::joinSend(int slot, const Pending& pending) {
    m_pending.remove(slot);
    if (pending.kind == Kind::Back) {
        const QString now = m_coordinator->state(slot).imsi();
        if (!pending.imsiBefore.isEmpty() && !now.isEmpty() && now != pending.imsiBefore) {
            PortSlot* s = m_slots->slot(slot);
            s->channel()->close();
            s->setReady(false);
            s->setCondition(QStringLiteral("outro chip na porta"));
            m_refused << slot;
            log(slot, QStringLiteral("ENTRADA %1 OUTRO CHIP NA PORTA (IMSI ANTES %2, AGORA %3)")
                          .arg(slot)
                          .arg(pending.imsiBefore, now));
            return;
        }
        log(slot, QStringLiteral("ENTRADA %1 RECONECTADA: ENVIO CONTINUA").arg(slot));
    } else {
        log(slot, QStringLiteral("ENTRADA %1 PRONTA: ENTRA NO ENVIO").arg(slot));
    }
    m_configurator->addActive(slot);
    m_joined << slot;
    if (m_sender)
        m_sender->startSlot(slot);
}

void SlotRecovery::giveUp(int slot, const Pending& pending) {
    m_pending.remove(slot);
    if (lasting(slot))
        return; // the set-up said why
    log(slot, pending.kind == Kind::Late
                  ? QStringLiteral("ENTRADA %1 NÃO FICOU PRONTA EM %2 S: MENSAGENS MANTIDAS NA CAIXA DE SAÍDA")
                        .arg(slot)
                        .arg(pending.waitS)
                  : QStringLiteral("ENTRADA %1 NÃO VOLTOU EM %2 S: MENSAGENS MANTIDAS NA CAIXA DE SAÍDA")
                        .arg(slot)
                        .arg(pending.waitS));
}

void SlotRecovery::log(int slot, const QString& line) {
    if (m_log)
        m_log->append(TimeText::stampShown(QDateTime::currentDateTime()) + QLatin1Char(' ') + line, true, slot);
}
