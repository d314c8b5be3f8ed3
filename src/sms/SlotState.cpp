#include "sms/SlotState.h"

#include <QLoggingCategory>
#include <QRandomGenerator>

#include <algorithm>
#include <utility>

Q_LOGGING_CATEGORY(lcSlotState, "vestral.sms.slot")

namespace {
using Phase = SlotState::Phase;
} // namespace

const char* SlotState::name(Phase phase) {
    switch (phase) {
    case Phase::Idle:
        return "Idle";
    case Phase::Prompted:
        return "Prompted";
    case Phase::Submitted:
        return "Submitted";
    case Phase::Answered:
        return "Answered";
    case Phase::Stored:
        return "Stored";
    case Phase::Unrecorded:
        return "Unrecorded";
    case Phase::TimedOut:
        return "TimedOut";
    case Phase::Resyncing:
        return "Resyncing";
    case Phase::Configuring:
        return "Configuring";
    case Phase::PartSent:
        return "PartSent";
    }
    return "?";
}

// Concatenation references start at a random value, so that a phone that still holds parts of an
// earlier run's message does not join them to this run's.
SlotState::SlotState() : m_concatReference(quint8(QRandomGenerator::global()->bounded(256))) {}

void SlotState::setLogger(Logger logger) {
    std::lock_guard lock(m_mutex);
    m_logger = std::move(logger);
}

// The one place a phase changes: `to` when the phase is one of `from` and, for a send's own
// transition (`sequence` > 0), the send is the current one. Anything else is refused and said.
bool SlotState::move(std::initializer_list<Phase> from, Phase to, quint64 sequence, const char* event) {
    Logger logger;
    QString refused;
    {
        std::lock_guard lock(m_mutex);
        const bool fromOk = std::find(from.begin(), from.end(), m_phase) != from.end();
        if (fromOk && (sequence == 0 || sequence == m_sequence)) {
            m_phase = to;
            m_changed.notify_all();
            return true;
        }
        refused = QStringLiteral("transição recusada: %1 em %2(%3) para o envio %4")
                      .arg(QLatin1String(event), QLatin1String(name(m_phase)))
                      .arg(m_sequence)
                      .arg(sequence);
        logger = m_logger;
    }
    if (logger)
        logger(refused);
    else
        qCWarning(lcSlotState) << refused;
    return false;
}

// A refused transition checked under the lock, said there (the logger only appends a line).
void SlotState::refuseLocked(const char* event, quint64 sequence) {
    const QString refused = QStringLiteral("transição recusada: %1 em %2(%3) para o envio %4")
                                .arg(QLatin1String(event), QLatin1String(name(m_phase)))
                                .arg(m_sequence)
                                .arg(sequence);
    if (m_logger)
        m_logger(refused);
    else
        qCWarning(lcSlotState) << refused;
}

quint64 SlotState::beginSend(const OutboxRow& row) {
    std::lock_guard lock(m_mutex);
    if (m_phase != Phase::Idle) {
        refuseLocked("beginSend", 0);
        return 0;
    }
    m_row = row;
    m_references.clear();
    m_timedOutAfterText = false;
    m_phase = Phase::Prompted;
    ++m_sequence;
    m_changed.notify_all();
    return m_sequence;
}

bool SlotState::submit(quint64 sequence) {
    return move({Phase::Prompted}, Phase::Submitted, sequence, "submit");
}

bool SlotState::answer(quint64 sequence) {
    return move({Phase::Prompted, Phase::Submitted}, Phase::Answered, sequence, "answer");
}

bool SlotState::acceptPart(quint64 sequence, int reference) {
    std::lock_guard lock(m_mutex);
    if (m_phase != Phase::Submitted || sequence != m_sequence || m_row.part >= m_row.parts) {
        refuseLocked("acceptPart", sequence);
        return false;
    }
    m_references.append(reference);
    m_phase = Phase::PartSent;
    m_changed.notify_all();
    return true;
}

quint64 SlotState::nextPart(quint64 sequence, const QByteArray& pdu) {
    std::lock_guard lock(m_mutex);
    if (m_phase != Phase::PartSent || sequence != m_sequence || m_row.part >= m_row.parts) {
        refuseLocked("nextPart", sequence);
        return 0;
    }
    m_row.pdu = pdu;
    ++m_row.part;
    m_row.inFlight = true; // the first part's mark covers the whole message
    m_phase = Phase::Prompted;
    ++m_sequence;
    m_changed.notify_all();
    return m_sequence;
}

QList<int> SlotState::references() const {
    std::lock_guard lock(m_mutex);
    return m_references;
}

quint8 SlotState::nextConcatReference() {
    std::lock_guard lock(m_mutex);
    return ++m_concatReference;
}

bool SlotState::store(quint64 sequence) {
    return move({Phase::Answered}, Phase::Stored, sequence, "store");
}

bool SlotState::unrecord(quint64 sequence) {
    return move({Phase::Answered, Phase::Submitted}, Phase::Unrecorded, sequence, "unrecord");
}

bool SlotState::timeOut(quint64 sequence) {
    {
        // Whether the text may have gone out is read and kept with the move, under one lock: the handler reads both
        // together when a late result comes.
        std::lock_guard lock(m_mutex);
        const bool waiting = m_phase == Phase::Prompted || m_phase == Phase::Submitted;
        if (waiting && (sequence == 0 || sequence == m_sequence)) {
            m_timedOutAfterText = m_phase == Phase::Submitted;
            m_phase = Phase::TimedOut;
            m_changed.notify_all();
            return true;
        }
    }
    return move({Phase::Prompted, Phase::Submitted}, Phase::TimedOut, sequence, "timeOut"); // refused, and said
}

bool SlotState::timeOut(quint64 sequence, bool* beforePrompt) {
    {
        // Read and moved under one lock: a prompt handled in between would make the answer wrong.
        std::lock_guard lock(m_mutex);
        *beforePrompt = m_phase == Phase::Prompted && m_sequence == sequence;
        if (*beforePrompt) {
            m_phase = Phase::TimedOut;
            m_timedOutAfterText = false;
            m_changed.notify_all();
            return true;
        }
    }
    return timeOut(sequence);
}

bool SlotState::resync() {
    return move({Phase::TimedOut, Phase::Resyncing}, Phase::Resyncing, 0, "resync");
}

bool SlotState::resynced() {
    return move({Phase::Resyncing}, Phase::Idle, 0, "resynced");
}

bool SlotState::finish(quint64 sequence) {
    return move({Phase::Stored, Phase::Unrecorded, Phase::PartSent}, Phase::Idle, sequence, "finish");
}

bool SlotState::configure() {
    {
        // Lines are only kept while Configuring: none can come between this and the move.
        std::lock_guard lock(m_mutex);
        if (m_phase == Phase::Idle)
            m_replyLines.clear();
    }
    return move({Phase::Idle}, Phase::Configuring, 0, "configure");
}

void SlotState::addReplyLine(const QByteArray& line) {
    std::lock_guard lock(m_mutex);
    if (m_phase == Phase::Configuring && m_replyLines.size() < 32)
        m_replyLines.append(line.left(256));
}

void SlotState::setImsi(const QString& imsi) {
    std::lock_guard lock(m_mutex);
    m_imsi = imsi;
}

QString SlotState::imsi() const {
    std::lock_guard lock(m_mutex);
    return m_imsi;
}

QList<QByteArray> SlotState::replyLines() const {
    std::lock_guard lock(m_mutex);
    return m_replyLines;
}

bool SlotState::replied(bool ok) {
    std::lock_guard lock(m_mutex);
    if (m_phase != Phase::Configuring)
        return false; // an "OK" outside a set-up command is only an acknowledgement
    m_replyOk = ok;
    m_phase = Phase::Idle;
    m_changed.notify_all();
    return true;
}

bool SlotState::finishConfiguring() {
    return move({Phase::Configuring}, Phase::Idle, 0, "finishConfiguring");
}

bool SlotState::portReopened() {
    {
        std::lock_guard lock(m_mutex);
        if (m_phase == Phase::Idle)
            return true;
    }
    return move(
        {Phase::Prompted, Phase::Submitted, Phase::PartSent, Phase::TimedOut, Phase::Resyncing, Phase::Configuring},
        Phase::Idle, 0, "portReopened");
}

SlotState::Phase SlotState::phase() const {
    std::lock_guard lock(m_mutex);
    return m_phase;
}

quint64 SlotState::sequence() const {
    std::lock_guard lock(m_mutex);
    return m_sequence;
}

bool SlotState::is(Phase phase, quint64 sequence) const {
    std::lock_guard lock(m_mutex);
    return m_phase == phase && m_sequence == sequence;
}

bool SlotState::awaiting() const {
    std::lock_guard lock(m_mutex);
    return m_phase == Phase::Prompted || m_phase == Phase::Submitted || m_phase == Phase::Answered ||
           m_phase == Phase::PartSent;
}

bool SlotState::answered(quint64 sequence) const {
    std::lock_guard lock(m_mutex);
    return m_sequence == sequence &&
           (m_phase == Phase::Answered || m_phase == Phase::Stored || m_phase == Phase::Unrecorded);
}

bool SlotState::replyOk() const {
    std::lock_guard lock(m_mutex);
    return m_replyOk;
}

OutboxRow SlotState::currentRow() const {
    std::lock_guard lock(m_mutex);
    return m_row;
}

void SlotState::setCharset(TextCharset charset) {
    std::lock_guard lock(m_mutex);
    m_charset = charset;
}

TextCharset SlotState::charset() const {
    std::lock_guard lock(m_mutex);
    return m_charset;
}

void SlotState::setPendingCommand(const QByteArray& command) {
    std::lock_guard lock(m_mutex);
    m_pendingCommand = command;
}

QByteArray SlotState::pendingCommand() const {
    std::lock_guard lock(m_mutex);
    return m_pendingCommand;
}

bool SlotState::waitFor(const std::function<bool(Phase, quint64)>& done, int ms) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(qMax(0, ms)), [&] { return done(m_phase, m_sequence); });
}

void SlotState::wake() {
    std::lock_guard lock(m_mutex);
    m_changed.notify_all();
}

quint64 SlotState::lateResultSequence() const {
    std::lock_guard lock(m_mutex);
    const bool afterTimeOut = m_phase == Phase::TimedOut || m_phase == Phase::Resyncing;
    return afterTimeOut && m_timedOutAfterText && m_row.part >= m_row.parts ? m_sequence : 0;
}

void SlotState::setTimedOutRow(quint64 sequence, qint64 historyId) {
    std::lock_guard lock(m_mutex);
    m_timedOutRowSequence = sequence;
    m_timedOutRowId = historyId;
}

qint64 SlotState::timedOutRow(quint64 sequence) const {
    std::lock_guard lock(m_mutex);
    return sequence > 0 && sequence == m_timedOutRowSequence ? m_timedOutRowId : 0;
}

void SlotState::setLateResult(quint64 sequence, const QList<int>& references) {
    std::lock_guard lock(m_mutex);
    m_lateSequence = sequence;
    m_lateReferences = references;
}

bool SlotState::takeLateResult(quint64 sequence, QList<int>* references) {
    std::lock_guard lock(m_mutex);
    if (sequence == 0 || sequence != m_lateSequence)
        return false;
    m_lateSequence = 0;
    *references = std::exchange(m_lateReferences, {});
    return true;
}
