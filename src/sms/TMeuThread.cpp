#include "sms/TMeuThread.h"

#include "history/HistoryWriter.h"
#include "modem/SerialChannel.h"
#include "sms/DeliveryReportSetup.h"
#include "sms/DeliveryReports.h"
#include "sms/ModemSetup.h"
#include "sms/OutboxClaims.h"
#include "sms/OutboxCommit.h"
#include "sms/PduEncoder.h"
#include "sms/TextCodec.h"
#include "store/OwnerThread.h"
#include "store/SqlDialect.h"
#include "store/Station.h"
#include "store/TADO.h"
#include "store/TimeText.h"

#include <QDateTime>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <utility>

namespace {

QString timestamp() {
    return TimeText::stampShown(TimeText::localNow());
}

// Runs `fn` on `context`'s thread and waits for it; on that thread already, runs it at once.
void runOn(QObject* context, const std::function<void()>& fn) {
    if (context)
        runOnOwnerThread(context, fn);
}

} // namespace

// The worker's statements, prepared once on its own connection.
struct TMeuThread::Statements {
    explicit Statements(const QSqlDatabase& db) : rows(db), head(db), queued(db), tempo(db), remove(db) {
        rows.prepare(QStringLiteral("SELECT ID, FONE, MENSAGEM, ENVIANDO IS NOT NULL FROM dbMENSAGEM WHERE PORTA = ? "
                                    "ORDER BY ID"));
        // After each row only the next rows to send are read (rows an interrupted send left in flight stay aside; the
        // row marked with the previous result, and the row just settled when it is still there, come too), and the
        // rest is only counted: reading the whole queue again made every SMS of a long outbox dearer than the last.
        head.prepare(QStringLiteral("SELECT ID, FONE, MENSAGEM, ENVIANDO IS NOT NULL FROM dbMENSAGEM WHERE PORTA = ? "
                                    "AND (ENVIANDO IS NULL OR ID = ? OR ID = ?) ORDER BY ID LIMIT 3"));
        queued.prepare(
            QStringLiteral("SELECT COUNT(*) FROM dbMENSAGEM WHERE PORTA = ? AND (ENVIANDO IS NULL OR ID = ?)"));
        tempo.prepare(QStringLiteral("SELECT TEMPO_SMS FROM dbCFG"));
        remove.prepare(QStringLiteral("DELETE FROM dbMENSAGEM WHERE ID = ?"));
    }
    QSqlQuery rows, head, queued, tempo, remove;
    const quint64 reconnects = TADO::reconnects(); // of the worker's connection, when they were prepared
};

TMeuThread::TMeuThread(TADO* ado, Slot slot, SendScreen* screen, Timing timing, QObject* parent)
    : QThread(parent), m_ado(ado), m_slot(std::move(slot)), m_screen(screen), m_timing(std::move(timing)) {
    m_timing.pollMs = qBound(1, m_timing.pollMs, 100);
}

TMeuThread::~TMeuThread() = default;

void TMeuThread::requestAbort() {
    m_stop.store(true);
    m_abort.store(true);
    if (m_slot.state)
        m_slot.state->wake();
}

QString TMeuThread::portFailureReason(int slot) {
    return QStringLiteral("Porta Fechada!\rEnvio da entrada %1 parado devido falha na porta!").arg(slot);
}

QString TMeuThread::reason() const {
    return m_end.load() == End::PortFailed ? portFailureReason(m_slot.number) : m_reason;
}

void TMeuThread::run() {
    const int n = m_slot.number;
    onWindow([this, n] { m_screen->setSignalBar(n, SendScreen::BarState::Running); });
    const End end = execute();
    // A worker that stopped on a port or send failure keeps its bar lime: the slot needs a look.
    if (end == End::Finished || end == End::Stopped)
        onWindow([this, n] { m_screen->setSignalBar(n, SendScreen::BarState::Finished); });
    m_statements.reset();
    m_ado->releaseThreadConnection();
    m_end.store(end);
}

TMeuThread::End TMeuThread::execute() {
    QString error;
    if (!isActive(&error)) {
        if (error.isEmpty())
            return End::Finished;
        failed(prefix() + QStringLiteral(" FALHA AO LER AS ENTRADAS ATIVAS!"), error);
        return End::Failed;
    }
    m_shared = OutboxClaims::shared(m_ado->database());
    QList<OutboxRow> rows =
        m_shared ? OutboxClaims::interrupted(m_ado, Station::current(), m_slot.number, &error) : loadRows(&error);
    if (!error.isEmpty()) {
        failed(prefix() + QStringLiteral(" FALHA AO LER A CAIXA DE SAÍDA!"), error);
        return End::Failed;
    }
    reportInterrupted(rows);
    rows.removeIf([](const OutboxRow& r) { return r.inFlight; });
    if (m_shared && !claimBatch(&rows))
        return End::Failed;
    // Rows claimed but never started go back to the pool when the worker ends before them.
    auto unclaimed = qScopeGuard([this, &rows] { OutboxClaims::release(m_ado, rows); });
    if (rows.isEmpty())
        return End::Finished;
    if (!m_slot.state) {
        m_reason = QStringLiteral("entrada sem estado de envio");
        return End::Failed;
    }
    bool openedNow = false;
    if (!ensureOpen(&openedNow))
        return End::PortFailed;
    settleLeftover();
    if (m_slot.state->phase() != Phase::Idle && !resync())
        return m_abort.load() ? End::Stopped : End::Failed;
    switch (configure(&error)) {
    case SetUp::PortFailed:
        return End::PortFailed;
    case SetUp::Refused:
        return End::Failed;
    case SetUp::Ready:
        break;
    }
    return sendRows(rows);
}

// A shared store: the slot's next batch of rows, claimed for this station (the cascade size, at least one).
bool TMeuThread::claimBatch(QList<OutboxRow>* rows) {
    QString error;
    int cascade = 1;
    QSqlQuery q(m_ado->database());
    if (q.exec(QStringLiteral("SELECT CASCATA FROM dbCFG")) && q.next())
        cascade = qMax(1, q.value(0).toInt());
    *rows = OutboxClaims::claim(m_ado, Station::current(), m_slot.number, cascade, &error);
    if (!error.isEmpty()) {
        failed(prefix() + QStringLiteral(" FALHA AO LER A CAIXA DE SAÍDA!"), error);
        return false;
    }
    return true;
}

// A shared store: the row is marked in flight under its claim before its text may go out, and the claims of the
// rows waiting behind it are renewed. False when it must not be sent (taken over: said and dropped; or the
// database refused: *end says the worker stops).
bool TMeuThread::markClaimed(OutboxRow* row, const QList<OutboxRow>& waiting, std::optional<End>* end) {
    QString error;
    switch (OutboxClaims::markInFlight(m_ado, *row, waiting, &error)) {
    case OutboxClaims::Mark::Marked:
        row->inFlight = true;
        return true;
    case OutboxClaims::Mark::TakenOver:
        log(prefix() + QStringLiteral(" PEDIDO ASSUMIDO POR OUTRA ESTAÇÃO: MENSAGEM PARA ") + row->fone +
            QStringLiteral(" NÃO ENVIADA POR ESTA ENTRADA"));
        return false;
    case OutboxClaims::Mark::Failed:
        failed(prefix() + QStringLiteral(" ERRO AO MARCAR O ENVIO!"), error);
        *end = End::Failed;
        return false;
    }
    return false;
}

// Rows an interrupted send left in flight: their text may have reached the phone, so they are not
// sent again without the operator's word ("Reenviar Interrompidas", --resend-interrupted).
void TMeuThread::reportInterrupted(const QList<OutboxRow>& rows) {
    for (const OutboxRow& row : rows)
        if (row.inFlight)
            log(prefix() + QStringLiteral(" ENVIO INTERROMPIDO PARA ") + row.fone +
                QStringLiteral(" (PODE TER SIDO ENTREGUE): NÃO REENVIADA"));
}

TMeuThread::End TMeuThread::sendRows(QList<OutboxRow>& rows) {
    const End end = sendEach(rows);
    releaseMark();
    return end;
}

TMeuThread::End TMeuThread::sendEach(QList<OutboxRow>& rows) {
    const int n = m_slot.number;
    QString error;
    int pauseMs = 0; // read anew before every row
    if (!tempoSms(&pauseMs, &error))
        return End::Failed;
    bool sentRow = false;          // the outbox lost a row the screen has not shown yet
    int queued = int(rows.size()); // the slot's rows still to send (on the file, more than the few held in `rows`)
    auto showOutbox = [this, n, &queued] {
        onWindow([this, n, count = queued] {
            m_screen->outboxChanged();
            m_screen->setQueueCounter(n, count);
        });
    };
    while (!rows.isEmpty()) {
        if (m_stop.load() || atDailyCap() || !pause(pauseMs)) {
            if (sentRow)
                showOutbox();
            return End::Stopped;
        }
        OutboxRow row = rows.first();
        QList<pdu::SubmitPart> parts;
        std::optional<End> markEnd;
        if (!sendable(row) || !encode(row, &parts)) {
            if (!refuseRow(row, sendable(row)))
                return End::Failed;
        } else if (m_shared && !markClaimed(&row, rows.mid(1), &markEnd)) {
            if (markEnd)
                return *markEnd;
        } else {
            // Without a pause the next row's mark rides on this row's result commit (on the file; on a shared
            // store each row is marked under its own claim).
            const qint64 next =
                !m_shared && pauseMs == 0 && rows.size() > 1 && sendable(rows.at(1)) ? rows.at(1).id : 0;
            if (const std::optional<End> end = sendOne(row, parts, next, queued, sentRow))
                return *end;
        }
        if (m_shared) {
            // The batch stays in memory: the row just settled (stored, refused or taken over) leaves it, and the
            // next batch is claimed when it is through. The row is usually gone with its history row; deleted here
            // otherwise, still only under this worker's claim.
            if (!removeClaimed(row, &error)) {
                failed(prefix() + QStringLiteral(" FALHA AO ATUALIZAR A CAIXA DE SAÍDA!"), error);
                return End::Failed;
            }
            rows.removeFirst();
            if (rows.isEmpty() && !m_stop.load() && !claimBatch(&rows))
                return End::Failed;
            queued = int(rows.size());
            pauseMs = 0;
            if (!rows.isEmpty() && !tempoSms(&pauseMs, &error)) {
                showOutbox();
                return End::Failed;
            }
            sentRow = !rows.isEmpty() && pauseMs == 0;
            if (!sentRow)
                showOutbox();
            continue;
        }
        // The row just settled is gone, or goes now (its mark set too); rows left in flight by an
        // earlier send stay aside, the row this worker marked itself does not.
        rows = loadHead(row.id, &error);
        if (!error.isEmpty() || !removeSent(row.id, rows, &error) || !countQueued(&queued, &error)) {
            failed(prefix() + QStringLiteral(" FALHA AO ATUALIZAR A CAIXA DE SAÍDA!"), error);
            return End::Failed;
        }
        rows.removeIf([this](const OutboxRow& r) { return r.inFlight && r.id != m_marked; });
        // With no pause before the next row its start shows the change, in the same hand-over.
        pauseMs = 0;
        if (!rows.isEmpty() && !tempoSms(&pauseMs, &error)) {
            showOutbox();
            return End::Failed;
        }
        sentRow = !rows.isEmpty() && pauseMs == 0;
        if (!sentRow)
            showOutbox();
    }
    return End::Finished;
}

// Starts the row (its first part in PDU mode) and waits for its outcome; an end of the worker, or
// nothing when the next row may go.
std::optional<TMeuThread::End> TMeuThread::sendOne(const OutboxRow& row, const QList<pdu::SubmitPart>& parts,
                                                   qint64 next, int queued, bool outboxChanged) {
    quint64 sequence = 0;
    QString error;
    QList<pdu::SubmitPart> encoded = parts;
    Start start = startRow(row, encoded, next, queued, outboxChanged, &sequence);
    // A port opened again gets its set-up (text or PDU mode) before the row is sent. The set-up reads the sending
    // mode anew: the row, encoded for the mode of the earlier set-up, is encoded again for this one.
    if (start == Start::Reopened) {
        switch (configure(&error)) {
        case SetUp::Ready:
            encoded.clear();
            if (!encode(row, &encoded))
                return refuseRow(row, true) ? std::nullopt : std::optional<End>(End::Failed);
            start = startRow(row, encoded, next, queued, false, &sequence);
            break;
        case SetUp::Refused:
            return End::Failed;
        case SetUp::PortFailed:
            return End::PortFailed;
        }
    }
    switch (start) {
    case Start::PortFailed:
    case Start::Reopened:
        return End::PortFailed;
    case Start::Failed:
        return End::Failed;
    case Start::Sent:
        break;
    }
    switch (sendRow(row, sequence, encoded)) {
    case Outcome::PortLost:
        return End::PortFailed;
    case Outcome::Failed:
        return End::Failed;
    case Outcome::Aborted:
        return End::Stopped;
    case Outcome::Done:
        break;
    }
    return std::nullopt;
}

// PDU mode: the row's SMS-SUBMIT parts, with the slot's next concatenation reference and the
// delivery-report request when it is asked for. Text mode: no parts. False when the row cannot be
// encoded (m_encodeError says why).
bool TMeuThread::encode(const OutboxRow& row, QList<pdu::SubmitPart>* parts) {
    if (m_settings.mode != SmsMode::Pdu)
        return true;
    pdu::SubmitOptions options;
    options.statusReport = m_settings.confirmDelivery;
    options.reference = m_slot.state->nextConcatReference();
    pdu::SubmitResult result = pdu::encodeSubmit(row.fone, row.mensagem, options);
    m_encodeError = result.ok() && result.parts.isEmpty() ? QStringLiteral("PDU vazio") : result.error;
    if (!m_encodeError.isEmpty())
        return false;
    *parts = std::move(result.parts);
    return true;
}

bool TMeuThread::sendable(const OutboxRow& row) {
    return !TextCodec::hasControl(row.mensagem) && TextCodec::validNumber(row.fone);
}

// The worker ends before the AT+CMGS of the row it had marked with the previous result: nothing of
// that row reached the modem, so it goes back to an ordinary outbox row.
void TMeuThread::releaseMark() {
    const qint64 id = std::exchange(m_marked, 0);
    if (id <= 0)
        return;
    QSqlQuery q(m_ado->database());
    q.prepare(QStringLiteral("UPDATE dbMENSAGEM SET ENVIANDO = NULL WHERE ID = ?"));
    q.addBindValue(id);
    if (!q.exec())
        log(prefix() + QStringLiteral(" ERRO AO DESMARCAR O ENVIO: ") + q.lastError().text());
}

// Waits for send `sequence`'s final result and its history row on the disk. No answer in time:
// a " FALHA :TIMEOUT" row, then the modem is resynchronised before the next row.
TMeuThread::Outcome TMeuThread::sendRow(const OutboxRow& row, quint64 sequence, const QList<pdu::SubmitPart>& parts) {
    SlotState* state = m_slot.state;
    for (;;) {
        auto answered = [sequence](Phase p, quint64 s) {
            return s != sequence || (p != Phase::Prompted && p != Phase::Submitted);
        };
        const bool waited = waitPhase(answered, m_timing.answerTimeoutMs);
        bool beforePrompt = false;
        if (!waited && portLost() && !m_abort.load() && state->timeOut(sequence, &beforePrompt))
            // Still waiting for the prompt of the first part: nothing of the message reached the modem.
            return portLostDuring(row, beforePrompt && state->currentRow().part == 1);
        if (!waited && state->timeOut(sequence)) {
            onWindow([this] { m_screen->setActivityLight(m_slot.number, false); });
            // Abandoned by an abort: the row stays (marked in flight if its text went out).
            if (m_abort.load())
                return Outcome::Aborted;
            if (!recordTimeOut(row, sequence))
                return Outcome::Failed;
            return resync() ? Outcome::Done : (m_abort.load() ? Outcome::Aborted : Outcome::Failed);
        }
        if (!state->is(Phase::PartSent, sequence))
            break;
        // A part before the last was accepted. An abort leaves the message there: the row stays,
        // marked in flight, and is not sent again without the operator's word.
        if (m_abort.load())
            return Outcome::Aborted;
        sequence = writeNextPart(row, sequence, parts);
        if (sequence == 0)
            return portLost() ? Outcome::PortLost : Outcome::Failed;
    }
    // The result is on its way to the disk: the row leaves the outbox only once it is stored.
    auto settled = [sequence](Phase p, quint64 s) {
        return s != sequence || p == Phase::Stored || p == Phase::Unrecorded;
    };
    if (!waitPhase(settled, kSettleMs, Wait::Store)) {
        m_reason = QStringLiteral("O resultado do envio não foi gravado.");
        return m_abort.load() ? Outcome::Aborted : Outcome::Failed;
    }
    if (state->is(Phase::Unrecorded, sequence)) {
        // Its result is in the send log but not in the history: the row stays, the slot stops.
        state->finish(sequence);
        m_reason = QStringLiteral("O histórico não pôde ser gravado.");
        return Outcome::Failed;
    }
    state->finish(sequence);
    return Outcome::Done;
}

bool TMeuThread::portLost() const {
    const SerialChannel* channel = m_slot.channel.data();
    return channel && channel->lost();
}

// The modem vanished while the row was on its way (its send is timed out: nothing more can come from it, and a
// result of the old modem is credited to nothing). The row stays in the outbox: marked in flight once its text
// (or a part of it) may have gone out, it is not sent again without the operator's word, as after any
// interruption.
TMeuThread::Outcome TMeuThread::portLostDuring(const OutboxRow& row, bool nothingOut) {
    onWindow([this] { m_screen->setActivityLight(m_slot.number, false); });
    m_reason = portFailureReason(m_slot.number);
    // The modem went before its prompt: the text never left, so the mark the row may carry (set with the previous
    // row's result) goes, and the row is sent when the modem is back.
    if (nothingOut) {
        QSqlQuery q(m_ado->database());
        q.prepare(QStringLiteral("UPDATE dbMENSAGEM SET ENVIANDO = NULL WHERE ID = ?") +
                  (row.token > 0 ? QStringLiteral(" AND FICHA = %1").arg(row.token) : QString()));
        q.addBindValue(row.id);
        if (!q.exec())
            log(prefix() + QStringLiteral(" ERRO AO DESMARCAR O ENVIO: ") + q.lastError().text());
    }
    log(prefix() + QStringLiteral(" PORTA DESCONECTADA DURANTE O ENVIO PARA ") + row.fone +
        QStringLiteral(": MENSAGEM MANTIDA NA CAIXA DE SAÍDA"));
    return Outcome::PortLost;
}

bool TMeuThread::isActive(QString* error) {
    QSqlQuery q(m_ado->database());
    q.prepare(
        QStringLiteral("SELECT COUNT(*) FROM dbPORTA_ATIVA WHERE ENTRADA = ? AND (ESTACAO IS NULL OR ESTACAO = ?)"));
    q.addBindValue(m_slot.number);
    q.addBindValue(Station::current());
    if (!q.exec() || !q.next()) {
        *error = q.lastError().text();
        return false;
    }
    return q.value(0).toInt() > 0;
}

TMeuThread::Statements& TMeuThread::statements() {
    // A connection opened again after the server went away holds none of the statements prepared before.
    QSqlDatabase db = m_ado->database();
    if (!m_statements || m_statements->reconnects != TADO::reconnects())
        m_statements = std::make_unique<Statements>(db);
    return *m_statements;
}

QList<OutboxRow> TMeuThread::loadRows(QString* error) {
    QSqlQuery& q = statements().rows;
    q.addBindValue(m_slot.number);
    return readRows(q, error);
}

// The next rows to send after the row `settled` (itself too while it is still there).
QList<OutboxRow> TMeuThread::loadHead(qint64 settled, QString* error) {
    QSqlQuery& q = statements().head;
    q.addBindValue(m_slot.number);
    q.addBindValue(m_marked);
    q.addBindValue(settled);
    return readRows(q, error);
}

QList<OutboxRow> TMeuThread::readRows(QSqlQuery& q, QString* error) {
    QList<OutboxRow> rows;
    if (!q.exec()) {
        *error = q.lastError().text();
        return rows;
    }
    while (q.next())
        rows.append({.fone = q.value(1).toString(),
                     .mensagem = q.value(2).toString(),
                     .id = q.value(0).toLongLong(),
                     .inFlight = q.value(3).toBool()});
    // next() is also false when a page cannot be read: part of the outbox is no outbox to send from.
    if (q.lastError().isValid()) {
        *error = q.lastError().text();
        rows.clear();
    }
    q.finish();
    return rows;
}

// The slot's rows still to send, for its queue counter: the rows in flight left aside.
bool TMeuThread::countQueued(int* count, QString* error) {
    QSqlQuery& q = statements().queued;
    q.addBindValue(m_slot.number);
    q.addBindValue(m_marked);
    const bool ok = q.exec() && q.next();
    if (ok)
        *count = q.value(0).toInt();
    else
        *error = q.lastError().text();
    q.finish();
    return ok;
}

// The slot's SIM has sent its daily cap (dbPORTA.LIMITE_DIA, 0 = none) today: the rows left wait for
// tomorrow in the outbox. Unknown when the modem did not say its IMSI.
bool TMeuThread::atDailyCap() {
    const QString imsi = m_slot.state->imsi();
    if (imsi.isEmpty())
        return false;
    const int cap = ModemSetup::dailyCap(m_ado, m_slot.number);
    if (cap <= 0 || ModemSetup::sentToday(m_ado, imsi) < cap)
        return false;
    log(prefix() + QStringLiteral(" ATINGIU O LIMITE DIÁRIO DE %1 SMS").arg(cap));
    return true;
}

// The pause before the next row; an empty setting counts as 0. A setting that cannot be read is
// no pause of 0: the operator's pace may be what keeps the operator from blocking the SIM, so the
// worker stops and the rows stay in the outbox.
bool TMeuThread::tempoSms(int* ms, QString* error) {
    QSqlQuery& q = statements().tempo;
    *ms = 0;
    if (q.exec() && q.next())
        *ms = qMax(0, q.value(0).toInt());
    const bool read = !q.lastError().isValid();
    if (!read) {
        *error = q.lastError().text();
        failed(prefix() + QStringLiteral(" FALHA AO LER O TEMPO DE ESPERA ENTRE SMS!"), *error);
    }
    q.finish();
    return read;
}

// Usually the window thread removed the row with its history row; the worker deletes only a row
// still there (the re-read shows it), so it takes no write lock for nothing.
bool TMeuThread::removeSent(qint64 id, QList<OutboxRow>& rows, QString* error) {
    const auto it = std::find_if(rows.begin(), rows.end(), [id](const OutboxRow& r) { return r.id == id; });
    if (it == rows.end())
        return true;
    rows.erase(it);
    QSqlQuery& q = statements().remove;
    q.addBindValue(id);
    const bool ok = q.exec();
    if (!ok)
        *error = q.lastError().text();
    q.finish();
    return ok;
}

bool TMeuThread::removeClaimed(const OutboxRow& row, QString* error) {
    QSqlQuery q(m_ado->database());
    q.prepare(QStringLiteral("DELETE FROM dbMENSAGEM WHERE ID = ? AND FICHA = ?"));
    q.addBindValue(row.id);
    q.addBindValue(row.token);
    if (q.exec())
        return true;
    *error = q.lastError().text();
    return false;
}

// Opens a closed channel on the window thread; false when the open failed with an error.
bool TMeuThread::ensureOpen(bool* openedNow) {
    SerialChannel* channel = m_slot.channel.data();
    if (!channel)
        return false;
    bool ok = true;
    runOn(channel, [channel, &ok, openedNow] {
        if (channel->isOpen())
            return;
        try {
            channel->open();
            *openedNow = true;
        } catch (const std::exception&) {
            ok = false;
        }
    });
    return ok;
}

void TMeuThread::write(const QByteArray& bytes) {
    SerialChannel* channel = m_slot.channel.data();
    if (!channel)
        throw std::runtime_error("canal da entrada removido");
    channel->WriteText(bytes);
}

// The set-up after every open the worker made (and before the first row), each reply awaited:
// text mode (AT+CMGF=1) with its character set, or PDU mode (AT+CMGF=0), as the settings row says.
TMeuThread::SetUp TMeuThread::configure(QString* error) {
    QString readError;
    const SmsModeSettings settings = readSmsMode(m_ado->database(), &readError);
    if (!readError.isEmpty()) {
        failed(prefix() + QStringLiteral(" FALHA AO LER A CONFIGURAÇÃO!"), readError);
        return SetUp::Refused;
    }
    m_settings = settings;
    try {
        if (m_settings.mode == SmsMode::Pdu)
            return configurePdu();
        configureText();
    } catch (const std::exception& e) {
        *error = QString::fromStdString(e.what());
        return SetUp::PortFailed;
    }
    return SetUp::Ready;
}

// Text mode, then the character set: Latin-1 when the modem takes "8859-1", else "IRA" (ASCII).
void TMeuThread::configureText() {
    log(prefix() + QStringLiteral(" AT+CMGF=1 CONFIGURANDO MENSAGEM!"));
    if (!command(QByteArrayLiteral("AT+CMGF=1\r\n")))
        log(prefix() + QStringLiteral(" MODO TEXTO (AT+CMGF=1) RECUSADO PELO MODEM"));
    TextCharset charset = TextCharset::Latin1;
    if (!command(QByteArrayLiteral("AT+CSCS=\"8859-1\"\r\n"))) {
        charset = TextCharset::Ira;
        log(prefix() + QStringLiteral(" CONJUNTO DE CARACTERES 8859-1 RECUSADO, USANDO IRA"));
        if (!command(QByteArrayLiteral("AT+CSCS=\"IRA\"\r\n")))
            log(prefix() + QStringLiteral(" CONJUNTO DE CARACTERES IRA RECUSADO"));
    }
    m_slot.state->setCharset(charset);
    showCharset(QString::fromLatin1(TextCodec::charsetName(charset)));
}

// PDU mode, and the delivery reports when they are asked for. A modem that refuses PDU mode stops
// the slot at once (its rows stay in the outbox); one that refuses the reports sends without them.
TMeuThread::SetUp TMeuThread::configurePdu() {
    const int n = m_slot.number;
    log(prefix() + QStringLiteral(" AT+CMGF=0 CONFIGURANDO MENSAGEM (MODO PDU)!"));
    if (!command(QByteArrayLiteral("AT+CMGF=0\r\n"))) {
        m_reason = QStringLiteral("O modem da entrada %1 não aceita o modo PDU (AT+CMGF=0).").arg(n);
        log(prefix() + QStringLiteral(" MODEM NÃO ACEITA O MODO PDU: ENVIO DA ENTRADA %1 PARADO").arg(n));
        return SetUp::Refused;
    }
    if (m_settings.confirmDelivery && !enableReports())
        log(prefix() + QStringLiteral(" MODEM NÃO ACEITA AT+CNMI: SEM CONFIRMAÇÃO DE ENTREGA"));
    showCharset(QStringLiteral("PDU"));
    return SetUp::Ready;
}

// The delivery-report commands in their order (reports to the port first, stored ones after),
// until the modem takes one, as the commands do at port open.
bool TMeuThread::enableReports() {
    for (const QByteArray& cnmi : DeliveryReportSetup::reportCommands())
        if (command(cnmi + "\r\n"))
            return true;
    return false;
}

void TMeuThread::showCharset(const QString& name) {
    onWindow([this, name] {
        m_screen->setCharset(m_slot.number, name);
        m_screen->appendSendLog(prefix() + QStringLiteral(" CONJUNTO DE CARACTERES ") + name);
    });
}

// Writes a set-up command and waits for its reply; true for "OK". No reply in time counts as a
// refusal.
bool TMeuThread::command(const QByteArray& bytes) {
    SlotState* state = m_slot.state;
    state->setPendingCommand(bytes.trimmed());
    if (!state->configure())
        return false;
    try {
        write(bytes);
    } catch (...) {
        state->finishConfiguring();
        throw;
    }
    if (!waitPhase([](Phase p, quint64) { return p != Phase::Configuring; }, m_timing.commandTimeoutMs)) {
        state->finishConfiguring();
        if (portLost())
            throw SerialChannelError(portFailureReason(m_slot.number));
        return false;
    }
    return state->replyOk();
}

// A slot left mid-send by an earlier worker: a finished send is closed, an abandoned one resynced.
void TMeuThread::settleLeftover() {
    SlotState* state = m_slot.state;
    const quint64 sequence = state->sequence();
    switch (state->phase()) {
    case Phase::Stored:
    case Phase::Unrecorded:
    case Phase::PartSent:
        state->finish(sequence);
        break;
    case Phase::Prompted:
    case Phase::Submitted:
        state->timeOut(sequence);
        break;
    case Phase::Configuring:
        state->finishConfiguring();
        break;
    default:
        break;
    }
}

// After a time-out: ESC cancels a pending prompt, "AT" must get its "OK" in time. Results of the
// timed-out send that come meanwhile are logged and dropped by the handler. No "OK": the slot
// stops and its rows stay in the outbox.
bool TMeuThread::resync() {
    SlotState* state = m_slot.state;
    if (!state->resync())
        return false;
    log(prefix() + QStringLiteral(" RESSINCRONIZANDO O MODEM (ESC, AT)"));
    try {
        write(QByteArrayLiteral("\x1b"
                                "AT\r"));
    } catch (const std::exception& e) {
        m_reason = QString::fromStdString(e.what());
        return false;
    }
    if (waitPhase([](Phase p, quint64) { return p != Phase::Resyncing; }, m_timing.resyncTimeoutMs))
        return true;
    if (m_abort.load())
        return false;
    if (portLost()) {
        m_reason = portFailureReason(m_slot.number);
        return false;
    }
    m_reason = QStringLiteral("O modem da entrada %1 não respondeu ao AT.").arg(m_slot.number);
    log(prefix() + QStringLiteral(" MODEM NÃO RESPONDEU AO AT: ENVIO DA ENTRADA %1 PARADO").arg(m_slot.number));
    return false;
}

// Everything the window thread does to start a row, in one hand-over (the worker waits for it):
// the outbox change of the row before (when not shown yet), the queue counter, the port opened
// again if it closed (Reopened: it needs its set-up first), then the send.
TMeuThread::Start TMeuThread::startRow(const OutboxRow& row, const QList<pdu::SubmitPart>& parts, qint64 next,
                                       int queued, bool outboxChanged, quint64* sequence) {
    const int n = m_slot.number;
    Start start = Start::PortFailed; // a screen already gone (the program is closing) sends nothing
    onWindow([&] {
        if (outboxChanged)
            m_screen->outboxChanged();
        m_screen->setQueueCounter(n, queued);
        // A modem that vanished is opened again by the slot's recovery, which first makes sure the SIM is the same.
        if (portLost())
            return;
        bool openedNow = false;
        if (!ensureOpen(&openedNow))
            return;
        if (!m_slot.channel || !m_slot.channel->isOpen()) {
            log(prefix() + QStringLiteral(" MENSAGEM NÃO ENVIADA ") + row.fone +
                QStringLiteral(" ENTRADA %1 FECHADA").arg(n));
            return;
        }
        start = openedNow ? Start::Reopened : writeRow(row, parts, next, sequence);
    });
    return start;
}

// Starts the send and writes AT+CMGS (on the window thread); Failed when the write failed (the row
// stays in the outbox).
TMeuThread::Start TMeuThread::writeRow(const OutboxRow& row, const QList<pdu::SubmitPart>& parts, qint64 next,
                                       quint64* sequence) {
    const int n = m_slot.number;
    SlotState* state = m_slot.state;
    OutboxRow current = row;
    current.nextId = next;
    if (!parts.isEmpty()) {
        current.pdu = parts.first().hex;
        current.parts = int(parts.size());
        current.statusReport = m_settings.confirmDelivery;
    }
    *sequence = state->beginSend(current);
    try {
        if (*sequence == 0)
            throw std::runtime_error("a entrada não está livre para um novo envio");
        m_screen->setActivityLight(n, true);
        log(prefix() + QStringLiteral(" Preparando SMS para o Fone=") + row.fone +
            (parts.size() > 1 ? QStringLiteral(" (%1 PARTES)").arg(parts.size()) : QString()));
        // CR alone: the modem opens the text at the CR and would take an LF as the text's first character.
        write(parts.isEmpty() ? QStringLiteral("AT+CMGS=\"%1\"\r").arg(row.fone).toLatin1()
                              : submitCommand(parts.first()));
    } catch (const std::exception& e) {
        // The send ends here, so that a late answer is credited to nothing.
        if (*sequence > 0 && state->timeOut(*sequence))
            state->resync();
        m_screen->setActivityLight(n, false);
        failed(prefix() + QStringLiteral(" MENSAGEM NÃO ENVIADA ") + row.fone +
                   QStringLiteral(" TIMEOUT NA TENTATIVA DE ENVIO!"),
               QString::fromStdString(e.what()));
        return Start::Failed;
    }
    // The row's AT+CMGS is out: its own mark stays; the next row's comes with this one's result.
    m_marked = next;
    return Start::Sent;
}

// PDU mode: "AT+CMGS=" and the TPDU's length in octets, then CR; the modem prompts for the PDU.
QByteArray TMeuThread::submitCommand(const pdu::SubmitPart& part) {
    return QByteArrayLiteral("AT+CMGS=") + QByteArray::number(part.tpduLength) + '\r';
}

// The message's next part, after the one `sequence` was accepted (on the window thread). The new
// send's sequence, or 0 when it could not be written: the slot stops, and the row, marked in
// flight since its first part, stays in the outbox.
quint64 TMeuThread::writeNextPart(const OutboxRow& row, quint64 sequence, const QList<pdu::SubmitPart>& parts) {
    SlotState* state = m_slot.state;
    quint64 next = 0;
    QString error;
    onWindow([&] {
        const int index = state->currentRow().part; // the part after the accepted one, 0-based
        if (index >= parts.size() || (next = state->nextPart(sequence, parts.at(index).hex)) == 0) {
            error = QStringLiteral("parte fora da ordem do envio");
            return;
        }
        try {
            write(submitCommand(parts.at(index)));
        } catch (const std::exception& e) {
            if (state->timeOut(next))
                state->resync();
            m_screen->setActivityLight(m_slot.number, false);
            error = QString::fromStdString(e.what());
            next = 0;
        }
    });
    if (next == 0)
        failed(prefix() + QStringLiteral(" MENSAGEM NÃO ENVIADA ") + row.fone +
                   QStringLiteral(" FALHA AO ESCREVER A PARTE SEGUINTE!"),
               error);
    return next;
}

// A row whose text holds a control character (or whose number is no number) would put commands on
// the wire, and a row PDU mode cannot encode cannot go: it is not sent, and leaves the outbox with
// a failed history row.
bool TMeuThread::refuseRow(const OutboxRow& row, bool notEncoded) {
    if (notEncoded)
        return recordFailure(row, QStringLiteral(" FALHA :") + m_encodeError + QChar('\r') + row.mensagem, row.fone,
                             QStringLiteral(" ") + m_encodeError.toUpper());
    const bool badNumber = !TextCodec::validNumber(row.fone);
    QString fone = row.fone;
    for (QChar& c : fone)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    return recordFailure(
        row, badNumber ? TextCodec::invalidNumberFailure(row.mensagem) : TextCodec::invalidTextFailure(row.mensagem),
        fone, badNumber ? QStringLiteral(" NÚMERO INVÁLIDO!") : QStringLiteral(" TEXTO INVÁLIDO!"));
}

// A failed history row with the removal of the row, and its log line, on the window thread.
bool TMeuThread::recordFailure(const OutboxRow& row, const QString& history, const QString& fone, const QString& why,
                               quint64 timedOut) {
    QString error;
    SlotState* state = m_slot.state;
    onWindow([&] {
        bool takenOver = false;
        QList<int> references;
        const bool late = timedOut > 0 && state->takeLateResult(timedOut, &references);
        qint64 historyId = 0;
        error = OutboxCommit::recordResult(
            m_ado, row.id, row.token,
            [&](bool refused) {
                QSqlDatabase db = m_ado->database();
                QString e = HistoryWriter::append(m_ado, row.fone, late ? row.mensagem : history, HistoryWriter::kSms,
                                                  late, state->imsi());
                if (e.isEmpty() && timedOut > 0) {
                    QSqlQuery q(db);
                    historyId = q.exec(SqlDialect::lastInsertedKey(db, QStringLiteral("dbHISTORICO"))) && q.next()
                                    ? q.value(0).toLongLong()
                                    : 0;
                }
                if (e.isEmpty() && late && !references.isEmpty())
                    DeliveryReports::remember(db, m_slot.number, references, historyId, &e);
                if (e.isEmpty() && refused)
                    e = OutboxClaims::markPossibleDuplicate(db);
                return e;
            },
            false, &takenOver);
        if (error.isEmpty() && timedOut > 0 && !late)
            state->setTimedOutRow(timedOut, historyId);
        const QString outcome = late ? QString(QStringLiteral(" MENSAGEM ENVIADA PARA ") + fone +
                                               QStringLiteral(" (RESPOSTA APÓS O TEMPO DE ESPERA)"))
                                     : QString(QStringLiteral(" MENSAGEM NÃO ENVIADA ") + fone + why);
        m_screen->appendSendLog(prefix() + outcome);
        if (takenOver)
            m_screen->appendSendLog(prefix() + QStringLiteral(" ") + OutboxClaims::kRefusedLine);
        if (!error.isEmpty())
            m_screen->appendSendLog(prefix() + QStringLiteral(" ERRO AO GRAVAR O HISTÓRICO: ") + error);
    });
    if (!error.isEmpty())
        m_reason = error;
    return error.isEmpty();
}

// Looks at the slot's state at least every pollMs until `done` holds, `ms` have passed or an abort
// came; true when `done` held.
bool TMeuThread::waitPhase(const std::function<bool(Phase, quint64)>& done, int ms, Wait kind) {
    SlotState* state = m_slot.state;
    const bool wallClock = kind == Wait::Store;
    auto check = [this, &done, kind](Phase p, quint64 s) {
        return m_abort.load() || done(p, s) || (kind == Wait::Modem && portLost());
    };
    for (int waited = 0; waited < ms; waited += m_timing.pollMs) {
        if (state->waitFor(check, 0))
            break;
        if (m_timing.sleep && !wallClock)
            m_timing.sleep(m_slot.number, m_timing.pollMs);
        else if (state->waitFor(check, m_timing.pollMs))
            break;
    }
    return !m_abort.load() && state->waitFor(done, 0);
}

void TMeuThread::sleep(int ms) {
    if (m_timing.sleep)
        m_timing.sleep(m_slot.number, ms);
    else
        QThread::msleep(static_cast<unsigned long>(ms));
}

// The modem gave no final result in time: a failed history row with the removal of the row, and the log line, on
// the window thread. A "+CMGS:" that still comes for it (the network answered late) makes the row a sent one, before
// or after it is written.
bool TMeuThread::recordTimeOut(const OutboxRow& row, quint64 sequence) {
    return recordFailure(row, QStringLiteral(" FALHA :TIMEOUT\r") + row.mensagem, row.fone,
                         QStringLiteral(" TIMEOUT NA TENTATIVA DE ENVIO!"), sequence);
}

void TMeuThread::failed(const QString& line, const QString& reason) {
    // A server gone under the worker is said as such, not as the driver's words.
    const QString error = m_ado ? m_ado->failureText(reason) : reason;
    m_reason = error;
    onWindow([this, line, error] {
        m_screen->appendSendLog(line);
        m_screen->appendSendLog(QStringLiteral("ERRO:") + error);
    });
}

// Pauses `ms` milliseconds; false when a stop was asked for meanwhile.
bool TMeuThread::pause(int ms) {
    for (int waited = 0; waited < ms; waited += m_timing.pollMs) {
        if (m_stop.load())
            return false;
        sleep(qMin(m_timing.pollMs, ms - waited));
    }
    return !m_stop.load();
}

void TMeuThread::onWindow(const std::function<void()>& change) {
    runOn(m_screen.data(), change);
}

void TMeuThread::log(const QString& text) {
    onWindow([this, text] { m_screen->appendSendLog(text); });
}

QString TMeuThread::prefix() const {
    return timestamp() + QStringLiteral(" ENTRADA %1").arg(m_slot.number);
}
