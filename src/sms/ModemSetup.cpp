#include "sms/ModemSetup.h"

#include "modem/ModemLog.h"
#include "modem/PortSlot.h"
#include "sms/ResponseCoordinator.h"
#include "store/Station.h"
#include "store/TADO.h"
#include "store/TimeText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace {

using Phase = SlotState::Phase;

// Processes events until `done` holds or `ms` have passed; sleeps between events (a tick wakes it at least
// every 50 ms, so the end of the wait is never missed).
template <typename Done> void waitFor(const Done& done, qint64 ms) {
    QElapsedTimer clock;
    clock.start();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (done() || ms <= 0)
        return;
    QTimer tick;
    tick.start(int(std::min<qint64>(ms, 50)));
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace

ModemSetup::ModemSetup(TADO* ado, PortSlots* slots, ResponseCoordinator* coordinator, ModemLog* log)
    : m_ado(ado), m_slots(slots), m_coordinator(coordinator), m_log(log) {}

int ModemSetup::networkWaitS(TADO* ado) {
    QSqlQuery q(ado->database());
    if (q.exec(QStringLiteral("SELECT ESPERA_REDE_S FROM dbCFG")) && q.next() && !q.value(0).isNull())
        return std::clamp(q.value(0).toInt(), 0, 3600);
    return 60;
}

SlotSetupSettings ModemSetup::settingsOf(int slot, int waitS) const {
    SlotSetupSettings s;
    s.entrada = slot;
    s.networkWaitS = waitS;
    QSqlQuery q(m_ado->database());
    q.prepare(QStringLiteral("SELECT PIN, PIN_RECUSADO, SMSC FROM dbPORTA WHERE ID = ? AND ESTACAO = ?"));
    q.addBindValue(slot);
    q.addBindValue(Station::current());
    if (q.exec() && q.next()) {
        s.pin = q.value(0).toString().trimmed();
        s.pinRefused = q.value(1).toInt() != 0;
        s.smsc = q.value(2).toString().trimmed();
    }
    return s;
}

QHash<int, QString> ModemSetup::run(const QList<int>& slots, int networkWaitCapS) {
    for (const int n : slots) {
        m_reports.remove(n);
        m_logged.remove(n);
    }
    const int waitS = networkWaitCapS >= 0 ? std::min(networkWaitS(m_ado), networkWaitCapS) : networkWaitS(m_ado);
    QMap<int, SlotSetup> setups;
    for (const int n : slots) {
        setups.insert(n, SlotSetup(settingsOf(n, waitS)));
        m_slots->slot(n)->setCondition({});
    }
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const bool left = std::any_of(setups.cbegin(), setups.cend(), [](const SlotSetup& s) { return !s.done(); });
        if (!left)
            break;
        askAll(setups, clock);
    }
    QHash<int, QString> notReady;
    for (auto it = setups.cbegin(); it != setups.cend(); ++it) {
        SlotSetupReport report = it.value().report();
        if (report.ready)
            checkDailyCap(it.key(), &report);
        finish(it.key(), report);
        if (!report.ready)
            notReady.insert(it.key(), report.condition);
    }
    return notReady;
}

// A SIM that has sent its slot's daily cap of SMS today (LIMITE_DIA, 0 = none) takes no rows until tomorrow.
void ModemSetup::checkDailyCap(int slot, SlotSetupReport* report) const {
    if (report->imsi.isEmpty())
        return;
    const int cap = dailyCap(m_ado, slot);
    if (cap <= 0)
        return;
    const qint64 today = sentToday(m_ado, report->imsi);
    if (today < cap)
        return;
    report->ready = false;
    report->lasting = true;
    report->condition = QStringLiteral("limite diário atingido");
    report->log << QStringLiteral("ENTRADA %1 ATINGIU O LIMITE DIÁRIO DE %2 SMS").arg(slot).arg(cap);
}

int ModemSetup::dailyCap(TADO* ado, int slot) {
    QSqlQuery q(ado->database());
    q.prepare(QStringLiteral("SELECT LIMITE_DIA FROM dbPORTA WHERE ID = ? AND ESTACAO = ?"));
    q.addBindValue(slot);
    q.addBindValue(Station::current());
    return q.exec() && q.next() ? q.value(0).toInt() : 0;
}

qint64 ModemSetup::sentToday(TADO* ado, const QString& imsi) {
    if (imsi.isEmpty())
        return 0;
    QSqlQuery q(ado->database());
    // The stamps are local "yyyy-MM-dd HH:mm:ss" text: today's rows sort at or after today's date.
    q.prepare(QStringLiteral("SELECT COUNT(*) FROM dbHISTORICO WHERE TIPO = 'SMS' AND ENVIADO = 1 AND IMSI = ? "
                             "AND DATA >= ?"));
    q.addBindValue(imsi);
    q.addBindValue(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    return q.exec() && q.next() ? q.value(0).toLongLong() : 0;
}

// One round: every slot with a command gets it, then all replies are awaited together. When every slot
// waits (SIM busy, network search), the round sleeps until the first of them is due.
void ModemSetup::askAll(QMap<int, SlotSetup>& setups, const QElapsedTimer& clock) {
    const qint64 now = clock.elapsed();
    QList<int> asked;
    qint64 due = std::numeric_limits<qint64>::max();
    for (auto it = setups.begin(); it != setups.end(); ++it) {
        const int n = it.key();
        const SlotSetup::Step step = it->next(now);
        if (step.kind == SlotSetup::Step::Kind::Wait)
            due = std::min(due, step.until);
        if (step.kind != SlotSetup::Step::Kind::Command)
            continue;
        SlotState& state = m_coordinator->state(n);
        if (!state.configure()) {
            it->abandon(QStringLiteral("OCUPADA: CONFIGURAÇÃO NÃO FEITA"));
            continue;
        }
        try {
            m_slots->slot(n)->channel()->WriteText(step.command + '\r');
            asked << n;
        } catch (const SerialChannelError& e) {
            state.finishConfiguring();
            it->abandon(QStringLiteral("FALHA NA PORTA: ") + e.text());
        }
    }
    if (asked.isEmpty()) {
        if (due != std::numeric_limits<qint64>::max())
            waitFor([] { return false; }, due - now);
        return;
    }
    auto pending = [&] {
        return std::any_of(asked.cbegin(), asked.cend(),
                           [&](int n) { return m_coordinator->state(n).phase() == Phase::Configuring; });
    };
    waitFor([&] { return !pending(); }, m_replyBoundMs);
    for (const int n : asked) {
        SlotState& state = m_coordinator->state(n);
        const bool answered = state.phase() != Phase::Configuring;
        const ModemReplies::Lines lines = state.replyLines();
        if (!answered)
            state.finishConfiguring();
        SlotSetup& setup = setups[n];
        setup.reply(answered, lines, clock.elapsed());
        // What happens meanwhile (a search for the network) is said at once, on the log and the light.
        const SlotSetupReport& report = setup.report();
        while (m_logged.value(n) < report.log.size()) {
            log(n, report.log.at(m_logged.value(n)));
            m_logged[n] += 1;
        }
        m_slots->slot(n)->setCondition(report.condition);
    }
}

void ModemSetup::finish(int slot, const SlotSetupReport& report) {
    m_reports.insert(slot, report);
    for (qsizetype i = m_logged.value(slot); i < report.log.size(); ++i)
        log(slot, report.log.at(i));
    m_coordinator->state(slot).setImsi(report.imsi);
    m_slots->slot(slot)->setCondition(report.condition);
    QSqlQuery q(m_ado->database());
    q.prepare(
        QStringLiteral("UPDATE dbPORTA SET IMEI = ?, IMSI = ?, ICCID = ?, MODELO = ?, "
                       "PIN_RECUSADO = CASE WHEN ? = 1 THEN 1 ELSE PIN_RECUSADO END WHERE ID = ? AND ESTACAO = ?"));
    for (const QString& value : {report.imei, report.imsi, report.iccid, report.modelo()})
        q.addBindValue(value.isEmpty() ? QVariant() : QVariant(value));
    q.addBindValue(report.markPinRefused ? 1 : 0);
    q.addBindValue(slot);
    q.addBindValue(Station::current());
    if (!q.exec())
        log(slot,
            QStringLiteral("ENTRADA %1 FALHA AO GRAVAR OS DADOS DO MODEM: %2").arg(slot).arg(q.lastError().text()));
}

void ModemSetup::log(int slot, const QString& line) {
    if (m_log)
        m_log->append(TimeText::stampShown(QDateTime::currentDateTime()) + QLatin1Char(' ') + line, true, slot);
}
