#include "sms/ResponseHandler.h"

#include "modem/UnsolicitedLine.h"
#include "sms/GsmErrorTexts.h"
#include "sms/TextCodec.h"
#include "store/TimeText.h"

#include <QLoggingCategory>
#include <QStringList>

#include <utility>

// The modem's own lines, each with its kind, in the port transcript
// (QT_LOGGING_RULES="vestral.modem.transcript.debug=true").
Q_LOGGING_CATEGORY(lcUnsolicitedTranscript, "vestral.modem.transcript", QtWarningMsg)

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char kCtrlZ = '\x1a';
constexpr char kEsc = '\x1b';
const QString kSms = QStringLiteral("SMS");

void keepTail(QByteArray& tail, char c, qsizetype size) {
    tail.append(c);
    if (tail.size() > size)
        tail.remove(0, tail.size() - size);
}

// Decimal code of an error line; a code that does not fit an int maps to no table entry.
int codeOf(const QString& digits) {
    bool ok = false;
    const int code = digits.toInt(&ok);
    return ok ? code : -1;
}

} // namespace

QString ExtractBetween(const QString& text, const QString& startMarker, const QString& endMarker, bool caseSensitive) {
    const Qt::CaseSensitivity cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    QString result = text;
    const qsizetype start = result.indexOf(startMarker, 0, cs);
    if (start >= 0)
        result = result.mid(start + startMarker.size());
    const qsizetype end = result.indexOf(endMarker, 0, cs);
    if (end >= 0)
        result = result.left(end);
    return result;
}

int signalPercent(int value) {
    return value * 100 / 31;
}

ResponseHandler::ResponseHandler(int slot, SlotState& state, InboxMode* inbox, Clock clock)
    : m_slot(slot), m_state(state), m_inbox(inbox), m_clock(std::move(clock)) {
    if (!m_clock)
        m_clock = [] { return TimeText::localNow(); };
}

HandlerActions ResponseHandler::feed(QByteArrayView bytes) {
    Delivery d;
    for (const char c : bytes)
        step(c, d);
    return std::move(d.actions);
}

void ResponseHandler::step(char c, Delivery& d) {
    keepTail(d.tail3, c, 3);
    keepTail(d.tail4, c, 4);
    const bool inboxOn = m_inbox && m_inbox->on && (m_inbox->slot == 0 || m_inbox->slot == m_slot);
    const bool lineEnd = c == kCr || c == kLf;
    if (!lineEnd || inboxOn)
        m_line.append(c);
    if (inboxOn) {
        if (m_inbox->reader) {
            InboxStep inboxStep{m_slot, c, m_line, d.tail3, d.tail4, d.cleared};
            m_inbox->reader->inboxStep(inboxStep);
        }
        if (m_inbox->pdu)
            inboxReportStep(c, d);
        return;
    }
    m_inboxLine.clear(); // a reading's last line, cut by its end, is no report
    m_inboxLineLong = false;
    m_lineTaken = false;
    if (lineEnd && !m_line.isEmpty())
        m_state.addReplyLine(m_line); // a set-up command's reader picks its own lines
    if (lineEnd && ownLine()) {
        endOfLine(c, d);
        return;
    }
    sendTests(lineEnd, d);
    generalTests(lineEnd, d);
    if (lineEnd)
        endOfLine(c, d);
}

// A line that is no answer to anything: one the modem sends on its own (shown in the transcript), or
// the echo of a message text or PDU the prompt took (it holds the Ctrl-Z or ESC written after it).
bool ResponseHandler::ownLine() const {
    if (m_line.contains(kCtrlZ) || m_line.contains(kEsc))
        return true;
    const UnsolicitedLine::Kind kind = unsolicitedKind();
    if (kind == UnsolicitedLine::Kind::None)
        return false;
    qCDebug(lcUnsolicitedTranscript).noquote()
        << "ENTRADA" << m_slot << "LINHA DO MODEM (" + UnsolicitedLine::kindName(kind) + "):" << lineText();
    return true;
}

// During a set-up command its own answer ("+CPIN: READY" to AT+CPIN?) is no line of the modem's own.
UnsolicitedLine::Kind ResponseHandler::unsolicitedKind() const {
    const bool setUp = m_state.phase() == SlotState::Phase::Configuring;
    return UnsolicitedLine::classify(m_line, setUp ? m_state.pendingCommand() : QByteArray());
}

namespace {

using Phase = SlotState::Phase;

} // namespace

// The prompt and the final results of the send under way.
void ResponseHandler::sendTests(bool lineEnd, Delivery& d) {
    const Phase phase = m_state.phase();
    // The prompt is answered once per send: a ">" echoed back inside the message text, or a
    // line end after the prompt, finds the send Submitted already.
    if (phase == Phase::Prompted && m_line.endsWith('>')) {
        const quint64 sequence = m_state.sequence();
        if (m_state.submit(sequence))
            answerPrompt(sequence, d);
    }
    if (!lineEnd)
        return;
    Final kind = Final::None;
    if (m_line.startsWith("+CMGS:"))
        kind = Final::Sent;
    else if (m_line.startsWith("+CMS ERROR:"))
        kind = Final::MessageService;
    else if (m_line.startsWith("+CME ERROR:"))
        kind = Final::Equipment;
    else if (m_line.startsWith("ERROR") || UnsolicitedLine::isOtherRefusal(m_line))
        kind = Final::Plain;
    if (kind == Final::None)
        return;
    if (phase == Phase::Idle && m_reports.readAwaited())
        return; // the refused read of a stored delivery report, not a send's result
    if (phase == Phase::Configuring && kind != Final::Sent) {
        m_setUpRefused = true;  // the worker says which set-up command it was
        m_state.replied(false); // a set-up command refused
        return;
    }
    // Before the prompt only an error can be this send's (the modem refused AT+CMGS itself).
    const bool own = phase == Phase::Submitted || (phase == Phase::Prompted && kind != Final::Sent);
    if (!own || !takeResult(kind, d))
        dropResult(kind, phase, d);
}

bool ResponseHandler::takeResult(Final kind, Delivery& d) {
    const quint64 sequence = m_state.sequence();
    const OutboxRow row = m_state.currentRow();
    if (kind == Final::Sent && row.part < row.parts) {
        if (!m_state.acceptPart(sequence, codeOf(lineDigits())))
            return false;
        m_lineTaken = true;
        partAccepted(d);
        return true;
    }
    if (!m_state.answer(sequence))
        return false; // the worker's wait ran out at this very moment: the time-out stands
    m_resultSequence = sequence;
    m_lineTaken = true;
    if (kind != Final::Sent)
        partFailed(d);
    switch (kind) {
    case Final::Sent:
        sendSucceeded(d);
        break;
    case Final::MessageService:
        errorResult(GetCmsErrorText, d);
        break;
    case Final::Equipment:
        errorResult(GetCmeErrorText, d);
        break;
    case Final::Plain:
    case Final::None:
        failedWithoutDescription(d);
        break;
    }
    return true;
}

// A final result no send is waiting for: the late answer of a send whose wait ran out, or a
// "+CMGS:" before this send's prompt. "ERROR" and "+CME ERROR:" outside a send keep their own
// general lines only.
void ResponseHandler::dropResult(Final kind, Phase phase, Delivery& d) {
    // The answer wait ran out after the text went out, and the modem says now that it sent the message.
    if (const quint64 late = kind == Final::Sent ? m_state.lateResultSequence() : 0) {
        const OutboxRow row = m_state.currentRow();
        LateResult result{late, row.fone, row.mensagem};
        const QString ids = sentIds(row, &result.references);
        m_lineTaken = true;
        d.actions.emplace_back(std::move(result));
        log(d, {prefix() + QStringLiteral(" RESPOSTA ATRASADA: MENSAGEM ENVIADA PARA ") + row.fone +
                QStringLiteral(" ID ") + ids});
        return;
    }
    const bool sendResult = kind == Final::Sent || kind == Final::MessageService;
    const bool nearSend = phase == Phase::Prompted || phase == Phase::TimedOut || phase == Phase::Resyncing;
    if (sendResult || nearSend)
        log(d, {prefix() + QStringLiteral(" RESPOSTA DE ENVIO ANTERIOR DESCARTADA: ") + lineText()});
}

void ResponseHandler::generalTests(bool lineEnd, Delivery& d) {
    if (!lineEnd)
        return;
    // A refused set-up command is no failed send: the worker logs what the modem refused.
    const bool setUp = std::exchange(m_setUpRefused, false);
    if (m_line.startsWith("+CME ERROR:") && !m_lineTaken && !setUp)
        equipmentError(d);
    if ((m_line.startsWith("ERROR") || UnsolicitedLine::isOtherRefusal(m_line)) && !setUp)
        generalError(d);
    if (m_line.startsWith("+CSQ:"))
        signalReply(d);
    if (m_line == "OK")
        acknowledged(d);
}

// Delivery reports come unsolicited, also between a send's prompt and its result: they are never a result.
void ResponseHandler::reportLine(const QByteArray& line, Delivery& d) {
    const StatusReportLines::Result r = m_reports.line(line);
    if (r.pdu) {
        d.actions.emplace_back(StatusReportPdu{r.pdu->hex, r.pdu->length, r.pdu->stored ? m_storedIndex : -1});
        if (r.pdu->stored)
            m_storedIndex = -1;
    }
    if (r.readFailed) {
        d.actions.emplace_back(StatusReportPdu{{}, -1, m_storedIndex});
        m_storedIndex = -1;
    }
    if (r.stored)
        d.actions.emplace_back(StoredStatusReport{r.stored->memory, r.stored->index});
}

// A PDU inbox reading takes every character of the slot, and the listing comes as it comes; a delivery report the
// modem sends in the middle of it is taken here as well (the listing leaves its lines out).
void ResponseHandler::inboxReportStep(char c, Delivery& d) {
    constexpr qsizetype kLongest = 512; // a report's PDU line is at most 2 * (12 + 164) hex digits
    if (c != kCr && c != kLf) {
        if (m_inboxLine.size() < kLongest)
            m_inboxLine.append(c);
        else
            m_inboxLineLong = true;
        return;
    }
    if (m_inboxLine.isEmpty() && !m_inboxLineLong)
        return;
    reportLine(m_inboxLineLong ? QByteArrayLiteral("?") : m_inboxLine, d); // a long line is no report
    m_inboxLine.clear();
    m_inboxLineLong = false;
}

void ResponseHandler::endOfLine(char c, Delivery& d) {
    reportLine(m_line, d);
    if (m_slot == 1 && c == kCr && m_line.size() > 3) {
        const QString text = lineText();
        d.actions.emplace_back(LogLine{LogTarget::ConsoleLog, text, false});
        // What the modem says on its own (^RSSI, ^DSFLOWRPT, +CREG…) is for Debug Modem, not the operator's log.
        if (unsolicitedKind() == UnsolicitedLine::Kind::None)
            d.actions.emplace_back(LogLine{LogTarget::SendLog, text, false});
    }
    m_line.clear();
}

// The text in the modem's character set (or the part's hex PDU), then Ctrl-Z; the row is marked in
// flight first. A text that would put a control byte on the wire is not written: ESC cancels the
// prompt instead.
void ResponseHandler::answerPrompt(quint64 sequence, Delivery& d) {
    const OutboxRow row = m_state.currentRow();
    if (!row.pdu.isEmpty()) {
        if (!row.inFlight)
            d.actions.emplace_back(MarkInFlight{row.id, sequence});
        d.actions.emplace_back(WriteToChannel{row.pdu + kCtrlZ, sequence});
        log(d, {prefix() + QStringLiteral(" ENVIANDO PARTE %1/%2 DO SMS (PDU)=").arg(row.part).arg(row.parts) +
                QString::fromLatin1(row.pdu) + QChar(kCtrlZ)});
        return;
    }
    QByteArray bytes = TextCodec::encode(row.mensagem, m_state.charset());
    if (TextCodec::hasControlByte(bytes)) {
        m_state.answer(sequence);
        m_resultSequence = sequence;
        d.actions.emplace_back(WriteToChannel{QByteArray(1, kEsc), 0});
        finishSend(
            d, HistoryRow{row.fone, TextCodec::invalidTextFailure(row.mensagem), kSms, false},
            {prefix() + QStringLiteral(" MENSAGEM NÃO ENVIADA ") + row.fone + QStringLiteral(" TEXTO INVÁLIDO!")});
        return;
    }
    bytes.append(kCtrlZ);
    if (!row.inFlight)
        d.actions.emplace_back(MarkInFlight{row.id, sequence});
    d.actions.emplace_back(WriteToChannel{bytes, sequence});
    log(d, {prefix() + QStringLiteral(" ENVIANDO CORPO DO SMS=") + row.mensagem + QChar(kCtrlZ)});
}

// The message is sent: in PDU mode the history row carries every part's message reference, and
// the log line names them all.
void ResponseHandler::sendSucceeded(Delivery& d) {
    const OutboxRow row = m_state.currentRow();
    HistoryRow history{row.fone, row.mensagem, kSms, true};
    const QString ids = sentIds(row, &history.references);
    finishSend(d, std::move(history),
               {prefix() + QStringLiteral(" MENSAGEM ENVIADA PARA ") + row.fone + QStringLiteral(" ID ") + ids});
}

// The "+CMGS:" line's reference; in PDU mode every part's, and *references gets them when reports were asked for.
QString ResponseHandler::sentIds(const OutboxRow& row, QList<int>* references) const {
    QString ids = lineDigits();
    if (row.pdu.isEmpty())
        return ids;
    QList<int> all = m_state.references();
    all.append(codeOf(ids));
    QStringList texts;
    for (const int reference : all)
        texts << QString::number(reference);
    if (row.statusReport)
        *references = all;
    return texts.join(QLatin1Char(','));
}

// A part before the last one is on its way; the worker writes the next.
void ResponseHandler::partAccepted(Delivery& d) {
    const OutboxRow row = m_state.currentRow();
    log(d, {prefix() + QStringLiteral(" PARTE %1/%2 ACEITA PARA ").arg(row.part).arg(row.parts) + row.fone +
            QStringLiteral(" ID ") + lineDigits()});
}

// A part of a multi-part message failed: the parts after it are not sent, and the message's
// failure row says what the modem answered to this one.
void ResponseHandler::partFailed(Delivery& d) {
    const OutboxRow row = m_state.currentRow();
    if (row.parts > 1)
        log(d,
            {prefix() + QStringLiteral(" FALHA NA PARTE %1/%2 DO SMS PARA ").arg(row.part).arg(row.parts) + row.fone});
}

// "+CMS ERROR:" and, during a send, "+CME ERROR:": the code and its text, or the whole line.
void ResponseHandler::errorResult(QString (*text)(int), Delivery& d) {
    const OutboxRow row = m_state.currentRow();
    const QString digits = lineDigits();
    const QString line = lineText();
    const QString failure = prefix() + QStringLiteral(" FALHA NO ENVIO DO SMS FONE ") + row.fone;
    if (digits.isEmpty()) {
        finishSend(d, HistoryRow{row.fone, QStringLiteral(" FALHA :") + line + QChar(kCr) + row.mensagem, kSms, false},
                   {failure + QStringLiteral(" FALHA: ") + line, prefix() + QStringLiteral(" ERRO :") + line});
        return;
    }
    const QString error = QStringLiteral(" ERRO :") + digits + QStringLiteral(" - ") + text(codeOf(digits));
    finishSend(d, HistoryRow{row.fone, error + QChar(kCr) + row.mensagem, kSms, false},
               {failure + QStringLiteral(" ID = ") + digits, prefix() + error});
}

void ResponseHandler::failedWithoutDescription(Delivery& d) {
    const OutboxRow row = m_state.currentRow();
    finishSend(
        d, HistoryRow{row.fone, QStringLiteral(" FALHA :") + lineText() + QChar(kCr) + row.mensagem, kSms, false},
        {prefix() + QStringLiteral(" FALHA NO ENVIO DO SMS FONE ") + row.fone + QStringLiteral(" ERRO SEM DESCRIÇÃO!"),
         prefix() + QStringLiteral(" ERRO SEM DESCRIÇÃO!")});
}

void ResponseHandler::equipmentError(Delivery& d) {
    const QString digits = lineDigits();
    if (digits.isEmpty()) {
        const QString line = lineText();
        log(d, {prefix() + QStringLiteral(" FALHA NO ENVIO DO SMS = ") + line,
                prefix() + QStringLiteral(" ERRO :") + line});
        return;
    }
    log(d,
        {timestamp() + QStringLiteral(" ERRO :") + digits + QStringLiteral(" - ") + GetCmeErrorText(codeOf(digits))});
}

void ResponseHandler::generalError(Delivery& d) {
    log(d, {prefix() + QStringLiteral(" FALHA NO ENVIO DO SMS SEM DESCRIÇÃO!"),
            prefix() + QStringLiteral(" ERRO SEM DESCRIÇÃO!")});
}

// "+CSQ: <rssi>,<ber>": the value between the first blank and the first comma. A value that
// is not a number, or not a signal level (0..31, 99 = not detectable), leaves the bar as it is.
void ResponseHandler::signalReply(Delivery& d) {
    bool ok = false;
    int value = ExtractBetween(lineText(), QStringLiteral(" "), QStringLiteral(","), false).toInt(&ok);
    if (!ok)
        return;
    if (value == 99)
        value = 0;
    if (value < 0 || value > 31)
        return;
    d.actions.emplace_back(SignalValue{value, signalPercent(value)});
}

void ResponseHandler::acknowledged(Delivery& d) {
    m_line.clear();
    switch (m_state.phase()) {
    case Phase::Resyncing:
        m_state.resynced(); // the modem is in step again
        break;
    case Phase::Configuring:
        m_state.replied(true);
        break;
    default:
        break;
    }
    log(d, {prefix() + QStringLiteral(" ACK RECEBIDO OK<CR> .")});
    d.actions.emplace_back(ReadyLightOn{});
}

void ResponseHandler::finishSend(Delivery& d, HistoryRow row, const QStringList& lines) {
    const OutboxRow current = m_state.currentRow();
    row.outboxId = current.id;
    row.token = current.token;
    row.sequence = m_resultSequence;
    row.markNextId = current.id > 0 ? current.nextId : 0;
    row.imsi = m_state.imsi();
    d.actions.emplace_back(std::move(row));
    log(d, lines);
    d.actions.emplace_back(LowerAwaiting{m_resultSequence});
}

void ResponseHandler::log(Delivery& d, const QStringList& lines) {
    for (qsizetype i = 0; i < lines.size(); ++i)
        d.actions.emplace_back(LogLine{LogTarget::SendLog, lines.at(i), i == lines.size() - 1});
}

QString ResponseHandler::prefix() const {
    return timestamp() + QStringLiteral(" ENTRADA ") + QString::number(m_slot);
}

QString ResponseHandler::timestamp() const {
    return TimeText::stampShown(m_clock());
}

QString ResponseHandler::lineText() const {
    return QString::fromLatin1(m_line);
}

QString ResponseHandler::lineDigits() const {
    QString digits;
    for (const char c : m_line) {
        if (c >= '0' && c <= '9')
            digits.append(QLatin1Char(c));
    }
    return digits;
}
