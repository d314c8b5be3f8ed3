#include "sms/SmsInbox.h"

#include "modem/SerialChannel.h"
#include "modem/UnsolicitedLine.h"
#include "optout/InboxOptOut.h"
#include "sms/TextCodec.h"
#include "store/TADO.h"
#include "store/TimeText.h"

#include <QDateTime>
#include <QPointer>
#include <QSet>

#include <algorithm>
#include <stdexcept>
#include <utility>

const char* const SmsInbox::kPortClosedWarning =
    "A porta deve estar aberta para que possa enviar comando!\rAbras as portas antes de continuar.";

namespace {

constexpr qsizetype kMaxAnswer = 4 * 1024 * 1024;
constexpr int kDefaultSettleMs = 100;
constexpr qsizetype kLongestOwnLine = 256; // longer than any line a modem writes on its own

bool isIndex(const QString& codigo) {
    bool ok = false;
    codigo.toInt(&ok);
    return ok;
}

} // namespace

SmsInbox::SmsInbox(TADO* ado, InboxMode* mode, QObject* parent)
    : QObject(parent), m_ado(ado), m_mode(mode), m_store(ado, kSlot), m_pduStore(ado, &m_store, kSlot),
      m_clock([] { return QDateTime::currentDateTimeUtc(); }) {
    m_limit.setSingleShot(true);
    m_limit.setInterval(15000);
    connect(&m_limit, &QTimer::timeout, this, &SmsInbox::timeLimitReached);
    m_settle.setSingleShot(true);
    m_settle.setInterval(kDefaultSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &SmsInbox::answered);
    setMode(mode);
}

void SmsInbox::setMode(InboxMode* mode) {
    if (m_mode && m_mode->reader == this && m_mode != mode) {
        m_mode->on = false;
        m_mode->reader = nullptr;
    }
    m_mode = mode;
    if (m_mode)
        m_mode->reader = this;
}

void SmsInbox::setChannel(SerialChannel* channel) {
    QPointer<SerialChannel> guarded(channel);
    m_port.isOpen = [guarded] { return guarded && guarded->isOpen(); };
    m_port.write = [guarded](const QByteArray& bytes) {
        if (!guarded)
            throw std::runtime_error("sem canal");
        guarded->WriteText(bytes);
    };
}

SmsInbox::Start SmsInbox::readModemInbox() {
    if (!m_mode || !m_port.isOpen || !m_port.isOpen())
        return Start::PortClosed;
    if (busy() || m_mode->on)
        return Start::Busy;
    m_phase = Phase::Format;
    m_error.clear();
    m_stored = 0;
    m_received = 0;
    m_listing = InboxListing::ListingReader();
    m_reply.clear();
    m_pdu = m_pduMode && m_pduMode();
    // The modem's answer to the format command is awaited before the listing goes out: a modem
    // (or a machine) slower than a fixed pause would have its "OK" taken for the listing's end.
    m_mode->slot = kSlot;
    m_mode->pdu = m_pdu;
    m_mode->on = true;
    try {
        command(m_pdu ? QByteArrayLiteral("AT+CMGF=0\r\n") : QByteArrayLiteral("AT+CMGF=1\r\n"));
    } catch (const std::exception&) {
        switchOff();
        m_phase = Phase::Idle;
        return Start::PortClosed;
    }
    return Start::Started;
}

// The format is set: in text mode the character set next, in PDU mode the listing. A modem that
// refuses the format (PDU mode on a text-only modem) cannot list in it.
void SmsInbox::formatSet() {
    if (!m_reply.ok()) {
        readingFailed(m_reply.finalLine());
        return;
    }
    if (m_pdu)
        list();
    else
        askCharset(TextCharset::Latin1);
}

void SmsInbox::askCharset(TextCharset charset) {
    m_phase = Phase::Charset;
    m_charset = charset;
    m_reply.clear();
    try {
        command("AT+CSCS=\"" + TextCodec::charsetName(charset) + "\"\r\n");
    } catch (const std::exception&) {
        finish(true);
    }
}

// Latin-1 when the modem took "8859-1"; else "IRA". A modem that refuses both writes in a set of
// its own: only its ASCII letters are read as they are.
void SmsInbox::charsetSet() {
    if (!m_reply.ok() && m_charset == TextCharset::Latin1) {
        askCharset(TextCharset::Ira);
        return;
    }
    list();
}

void SmsInbox::list() {
    m_phase = Phase::Listing;
    m_reply.clear();
    try {
        command(m_pdu ? QByteArrayLiteral("AT+CMGL=4\r\n") : QByteArrayLiteral("AT+CMGL=\"ALL\"\r\n"));
    } catch (const std::exception&) {
        finish(true);
    }
}

void SmsInbox::write(const QByteArray& bytes) {
    if (!m_port.write)
        throw std::runtime_error("sem canal");
    m_port.write(bytes);
}

// Every command of the reading gives the modem the full time limit to answer.
void SmsInbox::command(const QByteArray& bytes) {
    m_complete = false;
    m_ownLine.clear();
    m_limit.start();
    write(bytes);
}

void SmsInbox::log(const QString& text) {
    Q_EMIT logLine(TimeText::stampShown(QDateTime::currentDateTime()) + QStringLiteral(" ENTRADA %1 ").arg(kSlot) +
                   text);
}

void SmsInbox::inboxStep(InboxStep& step) {
    if (step.slot != kSlot || !m_mode || !m_mode->on || !busy())
        return;
    if (step.c == '\n')
        step.responseLine.clear();
    if (++m_received > kMaxAnswer) {
        m_received = 0;
        QTimer::singleShot(0, this, &SmsInbox::timeLimitReached);
        return;
    }
    if (quietByte(step.c))
        m_settle.start(); // the answer was complete, and still is
    else
        m_settle.stop(); // the modem is still talking: the answer is not over
    if (m_phase != Phase::Listing || m_pdu) {
        // In PDU mode nothing of an answer follows its final line: a line after it (a delivery report the modem
        // sent meanwhile) must not keep the answer from counting.
        if (m_reply.append(step.c) || (m_pdu && step.c == '\n' && m_reply.finished()))
            answerComplete();
        return;
    }
    switch (m_listing.append(step.c)) {
    case InboxListing::ListingReader::Event::ListingEnded:
        try {
            command(QByteArrayLiteral("AT+CPMS?\r\n"));
        } catch (const std::exception&) {
            QTimer::singleShot(0, this, &SmsInbox::timeLimitReached);
        }
        break;
    case InboxListing::ListingReader::Event::ListingFailed:
        QTimer::singleShot(0, this, &SmsInbox::listingFailed);
        break;
    case InboxListing::ListingReader::Event::CountEnded:
        answerComplete();
        break;
    case InboxListing::ListingReader::Event::None:
        break;
    }
}

void SmsInbox::answerComplete() {
    m_complete = true;
    m_settle.start();
}

// Bytes after an answer's final line that leave it complete: line ends (the echo of the LF written after the
// command comes after the answer on some modems) and whole lines the modem writes on its own (^RSSI, +CMTI...).
// Any other byte may belong to the answer (a text holding "OK"), so the answer waits for the modem to be quiet.
bool SmsInbox::quietByte(char c) {
    if (c != '\r' && c != '\n') {
        if (m_ownLine.size() <= kLongestOwnLine)
            m_ownLine.append(c);
        return false;
    }
    const QByteArray line = std::exchange(m_ownLine, QByteArray());
    if (!m_complete)
        return false;
    return line.isEmpty() || (line.size() <= kLongestOwnLine && UnsolicitedLine::isUnsolicited(line));
}

// The modem has been quiet since the final result line of the answer being read.
void SmsInbox::answered() {
    switch (m_phase) {
    case Phase::Format:
        formatSet();
        break;
    case Phase::Charset:
        charsetSet();
        break;
    case Phase::Listing:
        if (m_pdu)
            pduListed();
        else
            countEnded();
        break;
    case Phase::Confirming:
        confirmed();
        break;
    case Phase::Deleting:
        deleted();
        break;
    case Phase::Idle:
        break;
    }
}

void SmsInbox::countEnded() {
    m_listed = InboxListing::withoutNoise(m_listing.listing());
    m_headers = InboxListing::headers(m_listed, m_charset);
    const std::optional<int> used = m_listing.used();
    if (used && *used == m_headers.size()) {
        storeListed(m_headers);
        return;
    }
    m_toConfirm.clear();
    m_agreed.clear();
    for (const InboxListing::Header& h : m_headers)
        if (isIndex(h.record.codigo) && !m_toConfirm.contains(h.record.codigo))
            m_toConfirm.append(h.record.codigo);
    m_phase = Phase::Confirming;
    askNext();
}

// The whole AT+CMGL=4 answer is in: its parts are joined, staged, stored and deleted.
void SmsInbox::pduListed() {
    if (!m_reply.ok()) {
        listingFailed();
        return;
    }
    const PduInboxListing::Sorted sorted = PduInboxListing::sort(PduInboxListing::entries(m_reply.bytes()));
    logRefused(sorted.refused);
    for (const PduInboxListing::ListedReport& r : sorted.reports)
        Q_EMIT statusReportListed(r.index, r.hex, r.length);
    PduInboxStore::Plan plan;
    QString error;
    if (!m_pduStore.plan(sorted.parts, m_clock(), &plan, &error)) {
        storingFailed(error);
        return;
    }
    m_pending = plan.pending;
    const bool arrived =
        std::any_of(m_pending.begin(), m_pending.end(), [](const SmsInboxStore::Pending& p) { return !p.stored; });
    if (arrived && m_beep)
        m_beep();
    storeNext();
}

// A PDU that cannot be read stays on the modem; it is said once per program run, not every minute.
void SmsInbox::logRefused(const QList<PduInboxListing::Refused>& refused) {
    for (const PduInboxListing::Refused& r : refused) {
        const QByteArray key =
            QByteArray::number(r.index) + ':' + r.hex.left(1024) + ':' + QByteArray::number(r.hex.size());
        if (m_refusedLogged.size() > 4096 || m_refusedLogged.contains(key))
            continue;
        m_refusedLogged.insert(key);
        const QString where = r.index < 0 ? QStringLiteral("?") : QString::number(r.index);
        log(QStringLiteral("SMS %1 NÃO PÔDE SER LIDO (MANTIDO NO MODEM): %2").arg(where, r.reason));
    }
}

void SmsInbox::askNext() {
    if (m_toConfirm.isEmpty()) {
        storeListed(agreedHeaders());
        return;
    }
    m_asking = m_toConfirm.takeFirst();
    m_reply.clear();
    try {
        command("AT+CMGR=" + m_asking.toLatin1() + "\r\n");
    } catch (const std::exception&) {
        finish(true);
    }
}

void SmsInbox::confirmed() {
    const std::optional<InboxRecord> own = InboxListing::cmgrHeader(m_reply.lineStartingWith("+CMGR: "), m_charset);
    if (m_reply.ok() && own)
        m_agreed.insert(m_asking, *own);
    askNext();
}

// A header delimits a message when the modem's own reading of its index names the same sender
// and time stamp, and no earlier header took that index; any other is text of the one before.
QList<InboxListing::Header> SmsInbox::agreedHeaders() {
    QList<InboxListing::Header> kept;
    QSet<QString> taken;
    for (const InboxListing::Header& h : m_headers) {
        const auto own = m_agreed.constFind(h.record.codigo);
        if (own != m_agreed.cend() && own->fone == h.record.fone && own->data == h.record.data &&
            !taken.contains(h.record.codigo)) {
            taken.insert(h.record.codigo);
            kept.append(h);
        } else {
            log(QStringLiteral("SMS %1 DE %2 NÃO CONFIRMADO PELO MODEM: LIDO COMO TEXTO")
                    .arg(h.record.codigo, h.record.fone));
        }
    }
    return kept;
}

void SmsInbox::storeListed(const QList<InboxListing::Header>& kept) {
    // Messages the modem may still hold that this reading does not store.
    QList<InboxRecord> onModem;
    for (const InboxListing::Header& h : m_headers)
        if (!std::any_of(kept.begin(), kept.end(), [&](const InboxListing::Header& k) { return k.offset == h.offset; }))
            onModem.append(h.record);
    m_pending.clear();
    QString error;
    if (!m_store.stage(InboxListing::records(m_listed, kept, m_charset), onModem, &m_pending, &error)) {
        storingFailed(error);
        return;
    }
    const bool arrived =
        std::any_of(m_pending.begin(), m_pending.end(), [](const SmsInboxStore::Pending& p) { return !p.stored; });
    if (arrived && m_beep)
        m_beep();
    storeNext();
}

// One message at a time: stored, then deleted on the modem; the next one after the modem's answer.
void SmsInbox::storeNext() {
    while (!m_pending.isEmpty()) {
        SmsInboxStore::Pending& p = m_pending.first();
        QString error;
        if (!p.stored) {
            if (!m_store.store(p.record, &error)) {
                storingFailed(error);
                return;
            }
            p.stored = true;
            ++m_stored;
        }
        m_toDelete.clear();
        for (int part : p.parts)
            m_toDelete.append(QByteArray::number(part));
        if (p.parts.isEmpty() && isIndex(p.record.codigo))
            m_toDelete.append(p.record.codigo.toLatin1());
        if (m_toDelete.isEmpty()) {
            m_pending.removeFirst(); // it cannot be deleted; its staged row keeps it from being stored again
            continue;
        }
        m_allDeleted = true;
        deleteNext();
        return;
    }
    finish(false);
}

void SmsInbox::deleteNext() {
    m_phase = Phase::Deleting;
    m_reply.clear();
    try {
        command("AT+CMGD=" + m_toDelete.first() + "\r\n");
    } catch (const std::exception&) {
        finish(true);
    }
}

// The staged row goes once the modem has deleted every part of its message.
void SmsInbox::deleted() {
    const QByteArray index = m_toDelete.takeFirst();
    if (!m_reply.ok()) {
        m_allDeleted = false;
        log(QStringLiteral("SMS %1 NÃO FOI APAGADO DO MODEM: %2").arg(QString::fromLatin1(index), m_reply.finalLine()));
    }
    if (!m_toDelete.isEmpty()) {
        deleteNext();
        return;
    }
    const SmsInboxStore::Pending p = m_pending.takeFirst();
    QString error;
    if (m_allDeleted && !m_store.unstage(p.staged, &error)) {
        storingFailed(error);
        return;
    }
    storeNext();
}

void SmsInbox::listingFailed() {
    if (m_phase == Phase::Listing)
        readingFailed(m_pdu ? m_reply.finalLine() : m_listing.failure());
}

void SmsInbox::readingFailed(const QString& reason) {
    log(QStringLiteral("ERRO AO LER OS SMS: ") + reason);
    m_error = QStringLiteral("Erro ao ler os SMS do modem: ") + reason;
    finish(false);
}

void SmsInbox::storingFailed(const QString& cause) {
    // The messages stay on the modem until stored; a server gone is said as such.
    const QString reason = m_ado ? m_ado->failureText(cause) : cause;
    log(QStringLiteral("ERRO AO GRAVAR SMS RECEBIDO: ") + reason);
    m_error = QStringLiteral("Não foi possível gravar no banco de dados: ") + reason;
    const bool firstTime = !m_failing;
    m_failing = true;
    finish(false);
    if (firstTime)
        Q_EMIT storeFailed(m_error + QStringLiteral("\rOs SMS não gravados continuam no modem."));
}

void SmsInbox::timeLimitReached() {
    if (!busy())
        return;
    log(QStringLiteral("LEITURA DOS SMS SEM RESPOSTA DO MODEM"));
    finish(true);
}

void SmsInbox::switchOff() {
    m_limit.stop();
    m_settle.stop();
    if (m_mode) {
        m_mode->on = false;
        m_mode->slot = 0;
        m_mode->pdu = false;
    }
}

// The messages stored so far (this reading's and any left unjudged) are judged against the opt-out words.
// A refusal leaves them unjudged for the next pass and is said in the log.
void SmsInbox::judgeOptOuts() {
    const InboxOptOut::Result r = InboxOptOut::judgePending(m_ado);
    m_optedOut = r.optedOut;
    const QString now = TimeText::stampShown(QDateTime::currentDateTime());
    if (!r.error.isEmpty())
        Q_EMIT logLine(now + QStringLiteral(" Descadastro: mensagens recebidas não avaliadas: ") + r.error);
    else if (r.optedOut > 0)
        Q_EMIT logLine(now + QLatin1Char(' ') + InboxOptOut::summaryLine(r.optedOut));
    if (r.confirmations > 0)
        Q_EMIT logLine(now + QLatin1Char(' ') + InboxOptOut::confirmationsLine(r.confirmations));
    if (r.disabled > 0 && m_ado->dbCLIENTE && m_ado->dbCLIENTE->isOpen())
        m_ado->dbCLIENTE->refresh();
    if (r.confirmations > 0 && m_ado->dbMENSAGEM && m_ado->dbMENSAGEM->isOpen())
        m_ado->dbMENSAGEM->refresh();
}

void SmsInbox::finish(bool timedOut) {
    switchOff();
    m_phase = Phase::Idle;
    m_pending.clear();
    m_toDelete.clear();
    m_listed.clear();
    m_headers.clear();
    m_reply.clear();
    if (m_error.isEmpty() && !timedOut)
        m_failing = false;
    judgeOptOuts();
    if (m_ado->dbSMS && m_ado->dbSMS->isOpen())
        m_ado->dbSMS->refresh();
    Q_EMIT readingEnded(m_stored, timedOut);
}
