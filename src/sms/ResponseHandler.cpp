#include "sms/ResponseHandler.h"

#include "sms/GsmErrorTexts.h"

#include <QStringList>

#include <utility>

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char kCtrlZ = '\x1a';
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
        m_clock = [] { return QDateTime::currentDateTime(); };
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
        return;
    }
    if (sendPending())
        awaitingTests(lineEnd, d);
    generalTests(lineEnd, d);
    if (lineEnd)
        endOfLine(c, d);
}

// A send is pending while the worker's flag is up and this handler has not yet taken a final
// result for the send the flag belongs to.
bool ResponseHandler::sendPending() const {
    return m_state.awaiting() && m_state.sequence() != m_finishedSequence;
}

void ResponseHandler::awaitingTests(bool lineEnd, Delivery& d) {
    // The prompt is answered once per send: a ">" echoed back inside the message text, or a
    // line end after the prompt, must not write the text a second time.
    if (m_line.endsWith('>') && m_promptSequence != m_state.sequence())
        answerPrompt(d);
    if (!lineEnd)
        return;
    if (m_line.startsWith("+CMGS:"))
        sendSucceeded(d);
    else if (m_line.startsWith("+CMS ERROR:"))
        messageServiceFailed(d);
    else if (m_line.startsWith("ERROR"))
        failedWithoutDescription(d);
}

void ResponseHandler::generalTests(bool lineEnd, Delivery& d) {
    if (!lineEnd)
        return;
    if (m_line.startsWith("+CME ERROR:"))
        equipmentError(d);
    if (m_line.startsWith("ERROR"))
        generalError(d);
    if (m_line.startsWith("+CSQ:"))
        signalReply(d);
    if (m_line == "OK")
        acknowledged(d);
}

void ResponseHandler::endOfLine(char c, Delivery& d) {
    if (m_slot == 1 && c == kCr && m_line.size() > 3) {
        const QString text = lineText();
        d.actions.emplace_back(LogLine{LogTarget::ConsoleLog, text, false});
        d.actions.emplace_back(LogLine{LogTarget::SendLog, text, false});
    }
    m_line.clear();
}

void ResponseHandler::answerPrompt(Delivery& d) {
    m_promptSequence = m_state.sequence();
    const QString mensagem = m_state.currentRow().mensagem;
    QByteArray bytes = mensagem.toLatin1();
    bytes.append(kCtrlZ);
    d.actions.emplace_back(WriteToChannel{bytes});
    log(d, {prefix() + QStringLiteral(" ENVIANDO CORPO DO SMS=") + mensagem + QChar(kCtrlZ)});
}

void ResponseHandler::sendSucceeded(Delivery& d) {
    // A "+CMGS:" before this send's prompt was answered cannot be this send's: it is the late
    // answer of an earlier send whose wait ran out, and is dropped.
    if (m_promptSequence != m_state.sequence())
        return;
    const OutboxRow row = m_state.currentRow();
    finishSend(
        d, HistoryRow{row.fone, row.mensagem, kSms, true},
        {prefix() + QStringLiteral(" MENSAGEM ENVIADA PARA ") + row.fone + QStringLiteral(" ID ") + lineDigits()});
}

void ResponseHandler::messageServiceFailed(Delivery& d) {
    const OutboxRow row = m_state.currentRow();
    const QString digits = lineDigits();
    const QString line = lineText();
    const QString failure = prefix() + QStringLiteral(" FALHA NO ENVIO DO SMS FONE ") + row.fone;
    if (digits.isEmpty()) {
        finishSend(d, HistoryRow{row.fone, QStringLiteral(" FALHA :") + line + QChar(kCr) + row.mensagem, kSms, false},
                   {failure + QStringLiteral(" FALHA: ") + line, prefix() + QStringLiteral(" ERRO :") + line});
        return;
    }
    const QString error = QStringLiteral(" ERRO :") + digits + QStringLiteral(" - ") + GetCmsErrorText(codeOf(digits));
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
    log(d, {prefix() + QStringLiteral(" ACK RECEBIDO OK<CR> .")});
    d.actions.emplace_back(ReadyLightOn{});
}

void ResponseHandler::finishSend(Delivery& d, const HistoryRow& row, const QStringList& lines) {
    m_finishedSequence = m_state.sequence();
    d.actions.emplace_back(row);
    log(d, lines);
    d.actions.emplace_back(LowerAwaiting{m_finishedSequence});
}

void ResponseHandler::log(Delivery& d, const QStringList& lines) {
    for (qsizetype i = 0; i < lines.size(); ++i)
        d.actions.emplace_back(LogLine{LogTarget::SendLog, lines.at(i), i == lines.size() - 1});
}

QString ResponseHandler::prefix() const {
    return timestamp() + QStringLiteral(" ENTRADA ") + QString::number(m_slot);
}

QString ResponseHandler::timestamp() const {
    return m_clock().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
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
