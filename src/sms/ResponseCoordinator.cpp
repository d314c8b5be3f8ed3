#include "sms/ResponseCoordinator.h"

#include "history/HistoryWriter.h"
#include "modem/ModemLog.h"
#include "modem/PortSlot.h"
#include "sms/OutboxCommit.h"
#include "store/TADO.h"

#include <QDateTime>

namespace {
template <class... Ts> struct Overloaded : Ts... { using Ts::operator()...; };
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;
} // namespace

ResponseCoordinator::ResponseCoordinator(PortSlots* slots, ModemLog* sendLog, ModemLog* consoleLog,
                                         ResponseHandler::Clock clock, QObject* parent)
    : QObject(parent), m_portSlots(slots), m_sendLog(sendLog), m_consoleLog(consoleLog), m_clock(std::move(clock)) {
    if (!m_clock)
        m_clock = [] { return QDateTime::currentDateTime(); };
    m_history = [](const HistoryRow& row) {
        return HistoryWriter::append(row.destinatario, row.mensagem, row.tipo, row.enviado);
    };
    for (int n = 1; n <= PortSlots::kCount; ++n) {
        m_slots[n - 1] = std::make_unique<Slot>(n, &m_inbox, m_clock);
        PortSlot* slot = slots->slot(n);
        connect(slot->channel(), &SerialChannel::TriggerAvail, this, &ResponseCoordinator::ApdComPort1TriggerAvail);
        connect(slot, &PortSlot::responseLineCleared, this, [this, n] { handler(n).clearResponseLine(); });
    }
}

ResponseCoordinator::~ResponseCoordinator() = default;

void ResponseCoordinator::ApdComPort1TriggerAvail(SerialChannel* channel, quint16 count) {
    const int n = channel->tag();
    PortSlot* slot = m_portSlots->slot(n);
    if (!slot || count == 0)
        return;
    // Taken before anything can wait, so bytes arriving meanwhile come in a nested event.
    const QByteArray bytes = channel->takeBytes(count);
    slot->showReceived(bytes);
    const HandlerActions actions = handler(n).feed(bytes);
    apply(n, actions);
    slot->showResponseLine(QString::fromLatin1(handler(n).responseLine()));
}

void ResponseCoordinator::apply(int slot, const HandlerActions& actions) {
    for (const HandlerAction& action : actions)
        applyOne(slot, action);
}

void ResponseCoordinator::applyOne(int n, const HandlerAction& action) {
    PortSlot* slot = m_portSlots->slot(n);
    const QString stamp = m_clock().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    std::visit(Overloaded{
                   [&](const WriteToChannel& w) {
                       try {
                           slot->channel()->WriteText(w.bytes);
                       } catch (const SerialChannelError& e) {
                           // The port closed under the send: the worker's wait runs out.
                           m_sendLog->append(stamp + QStringLiteral(" ENTRADA %1 ").arg(n) + e.text(), true);
                       }
                   },
                   [&](const LogLine& l) {
                       (l.target == LogTarget::ConsoleLog ? m_consoleLog : m_sendLog)->append(l.text, l.showLast);
                   },
                   [&](const HistoryRow& row) {
                       // The answered row leaves the outbox in the history row's own commit.
                       const qint64 outboxId = state(n).awaiting() ? state(n).currentRow().id : 0;
                       const QString error =
                           OutboxCommit::recordResult(TADO::instance(), outboxId, [&] { return m_history(row); });
                       // A row that could not be stored is said, not lost in silence.
                       if (!error.isEmpty())
                           m_sendLog->append(
                               stamp + QStringLiteral(" ENTRADA %1 ERRO AO GRAVAR O HISTÓRICO: ").arg(n) + error, true);
                   },
                   [&](const SignalValue& s) { slot->setSignal(s.value); },
                   [&](const ReadyLightOn&) { slot->setReady(true); },
                   [&](const LowerAwaiting& l) {
                       // A worker that already began its next send keeps that send's flag.
                       if (state(n).sequence() == l.sequence)
                           state(n).lowerAwaiting();
                       slot->setActive(false);
                   },
               },
               action);
}
