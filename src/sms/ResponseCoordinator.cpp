#include "sms/ResponseCoordinator.h"

#include "history/HistoryWriter.h"
#include "modem/ModemLog.h"
#include "modem/PortSlot.h"
#include "sms/DeliveryReports.h"
#include "sms/OutboxClaims.h"
#include "sms/OutboxCommit.h"
#include "sms/PduDecoder.h"
#include "sms/ResultJournal.h"
#include "store/SqlDialect.h"
#include "store/Station.h"
#include "store/TADO.h"
#include "store/TimeText.h"

#include <QDateTime>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {
template <class... Ts> struct Overloaded : Ts... { using Ts::operator()...; };
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;
} // namespace

ResponseCoordinator::ResponseCoordinator(PortSlots* slots, ModemLog* sendLog, ModemLog* consoleLog,
                                         ResponseHandler::Clock clock, QObject* parent)
    : QObject(parent), m_portSlots(slots), m_sendLog(sendLog), m_consoleLog(consoleLog), m_clock(std::move(clock)) {
    if (!m_clock)
        m_clock = [] { return TimeText::localNow(); };
    m_history = [](const HistoryRow& row) {
        return HistoryWriter::append(TADO::instance(), row.destinatario, row.mensagem, row.tipo, row.enviado, row.imsi);
    };
    m_references = [](QSqlDatabase& db, int porta, const QList<int>& references, qint64 idHistorico) {
        QString error;
        DeliveryReports::remember(db, porta, references, idHistorico, &error);
        return error;
    };
    m_keeper = [this](const HistoryRow& row, int slot, QString* error) {
        TADO* ado = TADO::instance();
        if (!ado || ado->dataDir().isEmpty() || !ado->connectionLost())
            return false; // a refusal of the database itself would be refused again later
        ResultJournal journal(QDir(ado->dataDir()).filePath(QString::fromLatin1(ResultJournal::kFileName)));
        ResultJournal::Entry e;
        e.outboxId = row.outboxId;
        e.token = row.token;
        e.slot = slot;
        e.station = Station::current();
        e.destinatario = row.destinatario;
        e.mensagem = row.mensagem;
        e.tipo = row.tipo;
        e.enviado = row.enviado;
        e.imsi = row.imsi;
        e.references = row.references;
        e.when = m_clock();
        return journal.append(e, error);
    };
    m_flush.setSingleShot(true);
    m_flush.setInterval(0);
    connect(&m_flush, &QTimer::timeout, this, &ResponseCoordinator::flushResults);
    m_storedWatch.setInterval(1000);
    connect(&m_storedWatch, &QTimer::timeout, this, &ResponseCoordinator::storedReplyDue);
    for (int n = 1; n <= PortSlots::kCount; ++n) {
        m_slots[n - 1] = std::make_unique<Slot>(n, &m_inbox, [this] { return m_clock(); });
        PortSlot* slot = slots->slot(n);
        connect(slot->channel(), &SerialChannel::TriggerAvail, this, &ResponseCoordinator::onDataAvailable);
        connect(slot, &PortSlot::responseLineCleared, this, [this, n] { handler(n).clearResponseLine(); });
    }
}

ResponseCoordinator::~ResponseCoordinator() {
    // Results already answered by the modems are stored before the coordinator goes. The port slots
    // and the logs may be gone already (the owner flushes while they live): only the rows and the
    // flags are settled here.
    for (const Pending& p : storePending())
        if (const auto* lower = std::get_if<LowerAwaiting>(&p.action))
            if (state(p.slot).is(SlotState::Phase::Answered, lower->sequence))
                state(p.slot).store(lower->sequence);
}

void ResponseCoordinator::setClock(ResponseHandler::Clock clock) {
    m_clock = clock ? std::move(clock) : [] { return TimeText::localNow(); };
}

QString ResponseCoordinator::stamp() const {
    return TimeText::stampShown(m_clock());
}

void ResponseCoordinator::onDataAvailable(SerialChannel* channel, quint16 count) {
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
    // A deletion's reply ends the wait for it; a read's ends when its report is applied.
    if (m_readingStored[std::size_t(n - 1)] && !handler(n).readingStored() &&
        (bytes.contains("OK\r") || bytes.contains("ERROR")))
        m_readingStored[std::size_t(n - 1)] = false;
    readStoredReports(n); // the slot may have become free since a "+CDSI:"
}

// History rows and in-flight marks are database writes: they wait for the end of the pass and are
// stored together; the slot's later actions wait behind them.
void ResponseCoordinator::apply(int slot, const HandlerActions& actions) {
    for (const HandlerAction& action : actions) {
        const bool write = std::holds_alternative<HistoryRow>(action) || std::holds_alternative<MarkInFlight>(action);
        if (!write && !m_waiting[std::size_t(slot - 1)]) {
            applyOne(slot, action);
            continue;
        }
        m_pending.push_back(Pending{slot, action, {}});
        m_waiting[std::size_t(slot - 1)] = true;
        if (!m_flush.isActive())
            m_flush.start();
    }
}

void ResponseCoordinator::flushResults() {
    for (const Pending& p : storePending()) {
        if (std::holds_alternative<MarkInFlight>(p.action)) {
            if (!p.error.isEmpty())
                m_sendLog->append(
                    stamp() + QStringLiteral(" ENTRADA %1 ERRO AO MARCAR O ENVIO: ").arg(p.slot) + p.error, true);
        } else if (!std::holds_alternative<HistoryRow>(p.action))
            applyOne(p.slot, p.action);
        else if (p.kept) // the server is away: the result waits in the journal, the slot stops
            m_sendLog->append(stamp() + QStringLiteral(" ENTRADA %1 Banco de dados indisponível: %2 RESULTADO PARA %3 "
                                                       "GUARDADO EM %4; ENVIO DA ENTRADA PARADO")
                                            .arg(p.slot)
                                            .arg(p.error.trimmed(), std::get<HistoryRow>(p.action).destinatario,
                                                 QString::fromLatin1(ResultJournal::kFileName)),
                              true);
        else if (!p.error.isEmpty()) // a row that could not be stored is said, not lost in silence
            m_sendLog->append(
                stamp() + QStringLiteral(" ENTRADA %1 ERRO AO GRAVAR O HISTÓRICO: ").arg(p.slot) + p.error, true);
        else if (p.takenOver)
            m_sendLog->append(stamp() + QStringLiteral(" ENTRADA %1 ").arg(p.slot) + OutboxClaims::kRefusedLine, true);
    }
}

// Takes the pending actions and stores their history rows; a send whose row could not be stored
// is marked, so its worker keeps the outbox row.
std::vector<ResponseCoordinator::Pending> ResponseCoordinator::storePending() {
    m_flush.stop();
    std::vector<Pending> pending;
    pending.swap(m_pending);
    m_waiting.fill(false);
    if (pending.empty())
        return pending;
    storeResults(pending);
    for (Pending& p : pending) {
        if (p.error.isEmpty())
            continue;
        // The row stays in the outbox and the slot stops: its result is not on the disk, or its
        // text must not go out unmarked (applyOne cancels the prompt). A result the server could not take is
        // kept in the journal, so that it is not lost and the row, marked in flight, is not sent again.
        if (const auto* row = std::get_if<HistoryRow>(&p.action); row && row->outboxId > 0) {
            QString keepError;
            p.kept = m_keeper && m_keeper(*row, p.slot, &keepError);
            if (!keepError.isEmpty())
                p.error += QStringLiteral(" (e não foi possível guardá-lo: %1)").arg(keepError);
            state(p.slot).unrecord(row->sequence);
        } else if (const auto* mark = std::get_if<MarkInFlight>(&p.action))
            state(p.slot).unrecord(mark->sequence);
    }
    return pending;
}

// One transaction for all of them; should its commit fail, each row is tried again on its own so
// that one bad row costs only itself.
void ResponseCoordinator::storeResults(std::vector<Pending>& pending) {
    TADO* ado = TADO::instance();
    auto store = [&](Pending& p, bool again) {
        if (const auto* row = std::get_if<HistoryRow>(&p.action))
            p.error = OutboxCommit::recordResult(
                ado, row->outboxId, row->token, [&](bool takenOver) { return storeHistory(*row, p.slot, takenOver); },
                again, &p.takenOver);
        else if (const auto* mark = std::get_if<MarkInFlight>(&p.action))
            p.error = OutboxCommit::markInFlight(ado, mark->outboxId);
    };
    QSqlDatabase db = ado ? ado->database() : QSqlDatabase();
    // A connection to the server opened again during the batch: what followed ran outside it.
    const quint64 reconnects = TADO::reconnects();
    const bool batch = db.isOpen() && db.transaction();
    for (Pending& p : pending)
        store(p, false);
    if (!batch || (TADO::reconnects() == reconnects && db.commit()))
        return;
    db.rollback();
    if (ado->dbHISTORICO->isOpen())
        ado->dbHISTORICO->refresh(); // rows of the undone batch leave the grid
    // A commit whose answer was lost with the connection may have stored them: each is looked at first.
    for (Pending& p : pending)
        store(p, true);
}

// The history row; in the same transaction the parts' message references (for the delivery
// reports) and the mark of the slot's next row, so that its text needs no commit of its own.
QString ResponseCoordinator::storeHistory(const HistoryRow& row, int slot, bool takenOver) {
    QString error = m_history(row);
    TADO* ado = TADO::instance();
    if (error.isEmpty() && m_references && !row.references.isEmpty() && ado) {
        QSqlDatabase db = ado->database();
        QSqlQuery q(db);
        const qint64 id = q.exec(SqlDialect::lastInsertedKey(db, QStringLiteral("dbHISTORICO"))) && q.next()
                              ? q.value(0).toLongLong()
                              : 0;
        error = id > 0 ? m_references(db, slot, row.references, id) : QStringLiteral("histórico sem identificador");
    }
    // The modem sent it, but the row's claim is another station's now: kept, marked as a possible duplicate (after
    // the references, which set the row's delivery status to "Pendente").
    if (error.isEmpty() && takenOver && ado)
        error = OutboxClaims::markPossibleDuplicate(ado->database());
    if (error.isEmpty() && row.markNextId > 0)
        error = OutboxCommit::markInFlight(ado, row.markNextId);
    return error;
}

void ResponseCoordinator::applyOne(int n, const HandlerAction& action) {
    PortSlot* slot = m_portSlots->slot(n);
    std::visit(Overloaded{
                   [&](const WriteToChannel& w) {
                       // A send's text goes out only while the send still waits for it and its
                       // in-flight mark is stored; otherwise ESC cancels the prompt.
                       const bool cancel = w.sequence > 0 && !state(n).is(SlotState::Phase::Submitted, w.sequence);
                       try {
                           slot->channel()->WriteText(cancel ? QByteArray("\x1b") : w.bytes);
                       } catch (const SerialChannelError& e) {
                           // The port closed under the send: the worker's wait runs out.
                           m_sendLog->append(stamp() + QStringLiteral(" ENTRADA %1 ").arg(n) + e.text(), true, n);
                       }
                   },
                   [&](const LogLine& l) {
                       (l.target == LogTarget::ConsoleLog ? m_consoleLog : m_sendLog)->append(l.text, l.showLast, n);
                   },
                   [&](const HistoryRow&) {},   // stored by flushResults()
                   [&](const MarkInFlight&) {}, // stored by flushResults()
                   [&](const SignalValue& s) { slot->setSignal(s.value); },
                   [&](const ReadyLightOn&) { slot->setReady(true); },
                   [&](const LowerAwaiting& l) {
                       // The result is on the disk (a row that could not be stored is Unrecorded).
                       if (state(n).is(SlotState::Phase::Answered, l.sequence))
                           state(n).store(l.sequence);
                       slot->setActive(false);
                   },
                   [&](const StatusReportPdu& r) { applyReport(n, r); },
                   [&](const LateResult& l) { applyLateResult(n, l); },
                   [&](const StoredStatusReport& r) {
                       m_storedReports[std::size_t(n - 1)].push_back(r.index);
                       readStoredReports(n);
                   },
               },
               action);
}

// The modem sent a message whose answer wait had run out. Its failure row, once the worker has written it, becomes
// a sent row (with its parts' references for the delivery reports); before that the worker writes it as sent.
void ResponseCoordinator::applyLateResult(int n, const LateResult& late) {
    const QString line = storeLateResult(state(n), n, late, TADO::instance(), m_references);
    if (!line.isEmpty())
        m_sendLog->append(stamp() + QStringLiteral(" ENTRADA %1 ").arg(n) + line, true, n);
}

QString ResponseCoordinator::storeLateResult(SlotState& state, int n, const LateResult& late, TADO* ado,
                                             const ReferenceSink& references) {
    const qint64 id = state.timedOutRow(late.sequence);
    if (id == 0) {
        state.setLateResult(late.sequence, late.references);
        return {};
    }
    state.setTimedOutRow(0, 0); // corrected once
    QString error = ado ? QString() : QStringLiteral("O módulo de dados não foi iniciado.");
    if (ado) {
        QSqlDatabase db = ado->database();
        const bool own = db.transaction();
        error = HistoryWriter::markSent(db, id, late.mensagem);
        if (error.isEmpty() && references && !late.references.isEmpty())
            error = references(db, n, late.references, id);
        if (own && error.isEmpty() && !db.commit())
            error = db.lastError().text();
        if (own && !error.isEmpty())
            db.rollback();
        if (error.isEmpty() && ado->dbHISTORICO->isOpen())
            ado->dbHISTORICO->reloadKey(qlonglong(id));
    }
    return error.isEmpty() ? QString(QStringLiteral("HISTÓRICO CORRIGIDO: MENSAGEM PARA ") + late.destinatario +
                                     QStringLiteral(" ENVIADA"))
                           : QString(QStringLiteral("ERRO AO CORRIGIR O HISTÓRICO: ") + error);
}

void ResponseCoordinator::write(int n, const QByteArray& bytes) {
    try {
        m_portSlots->slot(n)->channel()->WriteText(bytes);
    } catch (const SerialChannelError& e) {
        m_sendLog->append(stamp() + QStringLiteral(" ENTRADA %1 ").arg(n) + e.text(), true, n);
    }
}

// Decoded and matched to its history row; the row on screen shows the new delivery state at once. True when
// the report may leave the modem (a report that could not be stored stays there for a later run).
bool ResponseCoordinator::applyReportPdu(int n, const QByteArray& hex, int tpduLength) {
    const auto decoded = pdu::decodeStatusReport(hex, tpduLength);
    TADO* ado = TADO::instance();
    if (!decoded.value) {
        m_sendLog->append(
            stamp() + QStringLiteral(" ENTRADA %1 RELATÓRIO DE ENTREGA ILEGÍVEL: ").arg(n) + decoded.error, true, n);
        return true;
    }
    if (!ado)
        return false;
    QSqlDatabase db = ado->database();
    const DeliveryReports::Outcome out = DeliveryReports::apply(db, n, *decoded.value, m_clock());
    for (const QString& line : out.logLine.split(u'\n', Qt::SkipEmptyParts))
        m_sendLog->append(line, true, n);
    if (out.idHistorico > 0 && ado->dbHISTORICO->isOpen())
        ado->dbHISTORICO->reloadKey(qlonglong(out.idHistorico));
    Q_EMIT deliveryReport(n, out.idHistorico);
    return out.kind != DeliveryReports::Kind::Failed;
}

void ResponseCoordinator::applyReport(int n, const StatusReportPdu& r) {
    bool remove = false;
    if (r.hex.isEmpty())
        m_sendLog->append(stamp() +
                              QStringLiteral(" ENTRADA %1 RELATÓRIO DE ENTREGA %2 NÃO LIDO").arg(n).arg(r.storedIndex),
                          true, n);
    else
        remove = applyReportPdu(n, r.hex, r.length) && !m_keepRead[std::size_t(n - 1)];
    if (r.storedIndex < 0)
        return;
    m_readingStored[std::size_t(n - 1)] = remove;
    if (remove) {
        awaitStoredReply(n, r.storedIndex);
        write(n, QStringLiteral("AT+CMGD=%1\r").arg(r.storedIndex).toLatin1());
    }
    readStoredReports(n);
}

void ResponseCoordinator::listedReport(int n, const QByteArray& hex, int tpduLength, int index) {
    if (n >= 1 && n <= PortSlots::kCount && applyReportPdu(n, hex, tpduLength))
        m_deletions[std::size_t(n - 1)].push_back(index);
}

bool ResponseCoordinator::storedReportsPending() const {
    for (std::size_t i = 0; i < m_slots.size(); ++i)
        if (m_readingStored[i] || !m_deletions[i].empty() || !m_storedReports[i].empty())
            return true;
    return false;
}

bool ResponseCoordinator::slotFree(int n) {
    const bool inboxHere = m_inbox.on && (m_inbox.slot == 0 || m_inbox.slot == n);
    return !inboxHere && !m_readingStored[std::size_t(n - 1)] && state(n).phase() == SlotState::Phase::Idle;
}

// One command at a time: a deletion of a listed report, else the read of an announced one; the next waits for
// the reply to this one.
void ResponseCoordinator::readStoredReports(int n) {
    auto& deletions = m_deletions[std::size_t(n - 1)];
    auto& queue = m_storedReports[std::size_t(n - 1)];
    if ((queue.empty() && deletions.empty()) || !slotFree(n))
        return;
    m_readingStored[std::size_t(n - 1)] = true;
    if (!deletions.empty()) {
        const int index = deletions.front();
        deletions.pop_front();
        awaitStoredReply(n, index);
        write(n, QStringLiteral("AT+CMGD=%1\r").arg(index).toLatin1());
        return;
    }
    const int index = queue.front();
    queue.pop_front();
    handler(n).expectStoredReport(index);
    awaitStoredReply(n, index);
    write(n, QStringLiteral("AT+CMGR=%1\r").arg(index).toLatin1());
}

void ResponseCoordinator::awaitStoredReply(int n, int index) {
    m_storedSince[std::size_t(n - 1)] = m_clock();
    m_storedIndex[std::size_t(n - 1)] = index;
    if (!m_storedWatch.isActive())
        m_storedWatch.start();
}

// A read or deletion of a stored report whose reply did not come within the bound is given up; the slot goes on.
void ResponseCoordinator::storedReplyDue() {
    const QDateTime now = m_clock();
    bool waiting = false;
    for (int n = 1; n <= PortSlots::kCount; ++n) {
        const std::size_t i = std::size_t(n - 1);
        if (!m_readingStored[i])
            continue;
        if (m_storedSince[i].msecsTo(now) < kStoredReplyTimeoutMs) {
            waiting = true;
            continue;
        }
        const bool read = handler(n).readingStored();
        m_sendLog->append(stamp() +
                              QStringLiteral(" ENTRADA %1 RELATÓRIO DE ENTREGA %2 SEM RESPOSTA DO MODEM: ")
                                  .arg(n)
                                  .arg(m_storedIndex[i]) +
                              (read ? QStringLiteral("MANTIDO NO MODEM") : QStringLiteral("APAGAMENTO NÃO CONFIRMADO")),
                          true, n);
        if (read) {
            handler(n).abandonStoredRead();
            m_keepRead[i] = true;
        }
        m_readingStored[i] = false;
        readStoredReports(n);
        waiting = waiting || m_readingStored[i];
    }
    if (!waiting)
        m_storedWatch.stop();
}
