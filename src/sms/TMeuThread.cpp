#include "sms/TMeuThread.h"

#include "history/HistoryWriter.h"
#include "modem/SerialChannel.h"
#include "sms/OutboxCommit.h"
#include "store/TADO.h"

#include <QDateTime>
#include <QMetaObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace {

QString timestamp() {
    return QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

// Runs `fn` on `context`'s thread and waits for it; on that thread already, runs it at once.
void runOn(QObject* context, const std::function<void()>& fn) {
    if (!context)
        return;
    if (QThread::currentThread() == context->thread())
        fn();
    else
        QMetaObject::invokeMethod(context, fn, Qt::BlockingQueuedConnection);
}

} // namespace

// The worker's statements, prepared once on its own connection.
struct TMeuThread::Statements {
    explicit Statements(const QSqlDatabase& db) : rows(db), tempo(db), remove(db) {
        rows.prepare(QStringLiteral("SELECT ID, FONE, MENSAGEM FROM dbMENSAGEM WHERE PORTA = ? ORDER BY ID"));
        tempo.prepare(QStringLiteral("SELECT TEMPO_SMS FROM dbCFG"));
        remove.prepare(QStringLiteral("DELETE FROM dbMENSAGEM WHERE ID = ?"));
    }
    QSqlQuery rows, tempo, remove;
};

TMeuThread::TMeuThread(TADO* ado, Slot slot, SendScreen* screen, Timing timing, QObject* parent)
    : QThread(parent), m_ado(ado), m_slot(std::move(slot)), m_screen(screen), m_timing(std::move(timing)) {
    m_timing.pollMs = qBound(1, m_timing.pollMs, 100);
}

TMeuThread::~TMeuThread() = default;

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
    QList<Row> rows = loadRows(&error);
    if (!error.isEmpty()) {
        failed(prefix() + QStringLiteral(" FALHA AO LER A CAIXA DE SAÍDA!"), error);
        return End::Failed;
    }
    if (rows.isEmpty())
        return End::Finished;
    bool openedNow = false;
    if (!ensureOpen(&openedNow) || !selectTextMode(&error))
        return End::PortFailed;
    return sendRows(std::move(rows));
}

TMeuThread::End TMeuThread::sendRows(QList<Row> rows) {
    const int n = m_slot.number;
    QString error;
    int pauseMs = tempoSms(); // read anew before every row
    bool sentRow = false;     // the outbox lost a row the screen has not shown yet
    auto showOutbox = [this, n, &rows] {
        onWindow([this, n, count = int(rows.size())] {
            m_screen->outboxChanged();
            m_screen->setQueueCounter(n, count);
        });
    };
    while (!rows.isEmpty()) {
        if (m_stop.load() || !pause(pauseMs)) {
            if (sentRow)
                showOutbox();
            return End::Stopped;
        }
        const Row row = rows.first();
        quint64 sequence = 0;
        switch (startRow(row, int(rows.size()), sentRow, &sequence)) {
        case Start::PortFailed:
            return End::PortFailed;
        case Start::Failed:
            return End::Failed;
        case Start::Sent:
            break;
        }
        // A time-out that could not be recorded keeps its row in the outbox and stops the slot.
        if (!waitForAnswer(sequence) && !timedOut(row, sequence))
            return End::Failed;
        // The row leaves the outbox only after its history row is stored (the time-out row just
        // written, or a result that came at the last moment).
        waitFlagDown();
        if (m_slot.state->unrecorded(sequence)) {
            // Its result is in the send log but not in the history: the row stays, the slot stops.
            m_reason = QStringLiteral("O histórico não pôde ser gravado.");
            return End::Failed;
        }
        rows = loadRows(&error);
        if (!error.isEmpty() || !removeSent(row.id, rows, &error)) {
            failed(prefix() + QStringLiteral(" FALHA AO ATUALIZAR A CAIXA DE SAÍDA!"), error);
            return End::Failed;
        }
        // With no pause before the next row its start shows the change, in the same hand-over.
        pauseMs = rows.isEmpty() ? 0 : tempoSms();
        sentRow = !rows.isEmpty() && pauseMs == 0;
        if (!sentRow)
            showOutbox();
    }
    return End::Finished;
}

bool TMeuThread::isActive(QString* error) {
    QSqlQuery q(m_ado->database());
    q.prepare(QStringLiteral("SELECT COUNT(*) FROM dbPORTA_ATIVA WHERE ENTRADA = ?"));
    q.addBindValue(m_slot.number);
    if (!q.exec() || !q.next()) {
        *error = q.lastError().text();
        return false;
    }
    return q.value(0).toInt() > 0;
}

TMeuThread::Statements& TMeuThread::statements() {
    if (!m_statements)
        m_statements = std::make_unique<Statements>(m_ado->database());
    return *m_statements;
}

QList<TMeuThread::Row> TMeuThread::loadRows(QString* error) {
    QList<Row> rows;
    QSqlQuery& q = statements().rows;
    q.addBindValue(m_slot.number);
    if (!q.exec()) {
        *error = q.lastError().text();
        return rows;
    }
    while (q.next())
        rows.append({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString()});
    q.finish();
    return rows;
}

int TMeuThread::tempoSms() {
    QSqlQuery& q = statements().tempo;
    int ms = 0; // empty counts as 0
    if (q.exec() && q.next())
        ms = qMax(0, q.value(0).toInt());
    q.finish();
    return ms;
}

// Usually the window thread removed the row with its history row; the worker deletes only a row
// still there (the re-read shows it), so it takes no write lock for nothing.
bool TMeuThread::removeSent(qint64 id, QList<Row>& rows, QString* error) {
    const auto it = std::find_if(rows.begin(), rows.end(), [id](const Row& r) { return r.id == id; });
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

// Text mode, written before the first row and after every open the worker made itself.
bool TMeuThread::selectTextMode(QString* error) {
    log(prefix() + QStringLiteral(" AT+CMGF=1 CONFIGURANDO MENSAGEM!"));
    try {
        SerialChannel* channel = m_slot.channel.data();
        if (!channel)
            throw std::runtime_error("canal da entrada removido");
        channel->WriteText(QByteArrayLiteral("AT+CMGF=1\r\n"));
    } catch (const std::exception& e) {
        *error = QString::fromStdString(e.what());
        return false;
    }
    return true;
}

// Everything the window thread does to start a row, in one hand-over (the worker waits for it):
// the outbox change of the row before (when not shown yet), the queue counter, the port opened
// again if it closed (text mode selected anew), then the send.
TMeuThread::Start TMeuThread::startRow(const Row& row, int queued, bool outboxChanged, quint64* sequence) {
    const int n = m_slot.number;
    Start start = Start::PortFailed; // a screen already gone (the program is closing) sends nothing
    onWindow([&] {
        if (outboxChanged)
            m_screen->outboxChanged();
        m_screen->setQueueCounter(n, queued);
        bool openedNow = false;
        if (!ensureOpen(&openedNow))
            return;
        if (!m_slot.channel || !m_slot.channel->isOpen()) {
            log(prefix() + QStringLiteral(" MENSAGEM NÃO ENVIADA ") + row.fone +
                QStringLiteral(" ENTRADA %1 FECHADA").arg(n));
            return;
        }
        QString error;
        if (openedNow && !selectTextMode(&error))
            return;
        start = writeRow(row, sequence);
    });
    return start;
}

// Raises the flag and writes AT+CMGS (on the window thread); Failed when the write failed (the
// row stays in the outbox).
TMeuThread::Start TMeuThread::writeRow(const Row& row, quint64* sequence) {
    const int n = m_slot.number;
    SlotState* state = m_slot.state;
    try {
        if (!state)
            throw std::runtime_error("entrada sem estado de envio");
        state->beginSend({row.fone, row.mensagem, row.id});
        *sequence = state->sequence();
        m_screen->setActivityLight(n, true);
        log(prefix() + QStringLiteral(" Preparando SMS para o Fone=") + row.fone);
        SerialChannel* channel = m_slot.channel.data();
        if (!channel)
            throw std::runtime_error("canal da entrada removido");
        channel->WriteText(QStringLiteral("AT+CMGS=\"%1\"\r\n").arg(row.fone));
    } catch (const std::exception& e) {
        // The flag comes down so that a late answer is not credited to anything.
        if (state)
            state->lowerAwaiting();
        m_screen->setActivityLight(n, false);
        failed(prefix() + QStringLiteral(" MENSAGEM NÃO ENVIADA ") + row.fone +
                   QStringLiteral(" TIMEOUT NA TENTATIVA DE ENVIO!"),
               QString::fromStdString(e.what()));
        return Start::Failed;
    }
    return Start::Sent;
}

// Looks at the flag at least every pollMs until it is down or the answer time has run out; true
// when the modem gave its final result.
bool TMeuThread::waitForAnswer(quint64 sequence) {
    return waitFlag(m_timing.answerTimeoutMs) || m_slot.state->answered(sequence);
}

// After the answer wait the flag comes down at once (a result or the time-out row stored) or as
// soon as a result that came at the last moment is stored; a few seconds at most.
void TMeuThread::waitFlagDown() {
    waitFlag(kSettleMs);
}

// True when the flag came down within `ms`.
bool TMeuThread::waitFlag(int ms) {
    SlotState* state = m_slot.state;
    for (int waited = 0; waited < ms; waited += m_timing.pollMs) {
        if (!state->awaiting())
            return true;
        if (m_timing.sleep)
            m_timing.sleep(m_timing.pollMs);
        else if (state->waitLowered(m_timing.pollMs))
            return true;
    }
    return !state->awaiting();
}

void TMeuThread::sleep(int ms) {
    if (m_timing.sleep)
        m_timing.sleep(ms);
    else
        QThread::msleep(static_cast<unsigned long>(ms));
}

// The modem never gave a final result: a failed history row, the log line, the flag down. Done
// on the window thread, where the handler runs, so a result arriving at this moment is either
// recorded by the handler or dropped, never both.
bool TMeuThread::timedOut(const Row& row, quint64 sequence) {
    const int n = m_slot.number;
    SlotState* state = m_slot.state;
    QString error;
    onWindow([this, n, state, sequence, row, &error] {
        // Down, another send's, or a result already on its way to the disk: nothing timed out.
        if (!state->awaiting() || state->sequence() != sequence || state->answered(sequence))
            return;
        error = OutboxCommit::recordResult(m_ado, row.id, [&] {
            return HistoryWriter::append(m_ado, row.fone, QStringLiteral(" FALHA :TIMEOUT\r") + row.mensagem,
                                         HistoryWriter::kSms, false);
        });
        m_screen->appendSendLog(prefix() + QStringLiteral(" MENSAGEM NÃO ENVIADA ") + row.fone +
                                QStringLiteral(" TIMEOUT NA TENTATIVA DE ENVIO!"));
        if (!error.isEmpty())
            m_screen->appendSendLog(prefix() + QStringLiteral(" ERRO AO GRAVAR O HISTÓRICO: ") + error);
        state->lowerAwaiting();
        m_screen->setActivityLight(n, false);
    });
    if (!error.isEmpty())
        m_reason = error;
    return error.isEmpty();
}

void TMeuThread::failed(const QString& line, const QString& error) {
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
