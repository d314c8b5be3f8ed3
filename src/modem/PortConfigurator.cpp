#include "modem/PortConfigurator.h"

#include "modem/ModemLog.h"
#include "modem/PortSlot.h"
#include "store/Station.h"
#include "store/StationRegistry.h"
#include "store/TADO.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>

#include <algorithm>
#include <utility>

Q_LOGGING_CATEGORY(lcPorts, "vestral.modem.ports", QtWarningMsg)

namespace {

// A stored number read as an integer; anything else is refused as the channel would be.
int integerOf(const QVariant& value, const char* column) {
    bool ok = false;
    const int n = value.toString().trimmed().toInt(&ok);
    if (!ok)
        throw SerialChannelError(
            QStringLiteral("Valor inválido em %1: \"%2\"").arg(QString::fromLatin1(column), value.toString()));
    return n;
}

} // namespace

PortConfigurator::PortConfigurator(TADO* ado, PortSlots* slots, QObject* parent)
    : QObject(parent), m_ado(ado), m_slots(slots), m_wait([this](quint32 ms) { waitForAnswers(ms); }) {}

PortConfigurator::ProbeTiming PortConfigurator::ProbeTiming::fromText(const QByteArray& text) {
    bool ok = false;
    const qlonglong ms = text.trimmed().toLongLong(&ok);
    if (!ok || ms < 1 || ms > 600000)
        return {};
    return {quint32(ms), quint32(ms)};
}

PortConfigurator::ProbeTiming PortConfigurator::ProbeTiming::fromEnvironment() {
    static const ProbeTiming timing = fromText(qgetenv("VESTRAL_PROBE_MS"));
    return timing;
}

void PortConfigurator::waitForAnswers(quint32 ms) {
    QElapsedTimer clock;
    clock.start();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (allAnswered() || clock.elapsed() >= qint64(ms))
        return;
    // The timer only wakes the waiting dispatcher at the deadline; the replies wake it before.
    QTimer alarm;
    alarm.setTimerType(Qt::PreciseTimer);
    alarm.setSingleShot(true);
    alarm.start(int(qint64(ms) - clock.elapsed()));
    while (!allAnswered() && clock.elapsed() < qint64(ms))
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

bool PortConfigurator::allAnswered() const {
    for (int id : m_probing) {
        const PortSlot* slot = m_slots->slot(id);
        if (slot && !slot->ready())
            return false;
    }
    return true;
}

// A handler running inside the wait may start a probe of its own: the outer list comes back after.
void PortConfigurator::waitFor(const QList<int>& probed, quint32 ms) {
    const QList<int> outer = std::exchange(m_probing, probed);
    m_wait(ms);
    m_probing = outer;
}

QString PortConfigurator::noPortOpenedText() {
    return QStringLiteral("Nenhuma porta foi aberta!\rVerifique sua configuração e se o modem esta corretamente "
                          "conectado a porta USB.");
}

QString PortConfigurator::noPortOpenedQuestion() {
    return noPortOpenedText() + QStringLiteral("\r\r\rDeseja abrir o Manual de configuração do Modem GSM?");
}

QList<PortConfigurator::Row> PortConfigurator::readRows() {
    Dataset* d = m_ado->dbPORTA;
    if (d->isOpen())
        d->refresh();
    else
        d->open();
    // A snapshot: handlers running inside the waits may move or re-read the dataset.
    QList<Row> rows;
    auto at = [d](int r, const char* field) { return d->valueAt(r, d->fieldIndex(QString::fromLatin1(field))); };
    for (int r = 0; r < d->recordCount(); ++r) {
        Row row;
        row.id = at(r, "ID").toInt();
        row.ativo = at(r, "ATIVO").toInt() != 0;
        row.com = at(r, "COM");
        row.velocidade = at(r, "VELOCIDADE");
        row.paridade = at(r, "PARIDADE");
        row.databits = at(r, "DATABITS");
        row.stopbits = at(r, "STOPBITS");
        rows.append(row);
    }
    return rows;
}

void PortConfigurator::configureAll() {
    m_configErrors.clear();
    const QList<Row> rows = readRows();
    for (const Row& row : rows) {
        if (row.ativo)
            configureRow(row);
    }
    m_ado->dbPORTA->first();
}

void PortConfigurator::configureRow(const Row& row) {
    PortSlot* slot = m_slots->slot(row.id);
    if (!slot)
        return;
    SerialChannel* channel = slot->channel();
    try {
        channel->close();
        slot->setReady(false);
        channel->setComNumber(integerOf(row.com, "COM"));
        channel->setBaud(integerOf(row.velocidade, "VELOCIDADE"));
        // The stored parity is applied: a modem set to even or odd parity does not understand a
        // channel without it.
        channel->setParity(SerialChannel::parityFromName(row.paridade.toString()));
        channel->setDataBits(integerOf(row.databits, "DATABITS"));
        channel->setStopBits(SerialChannel::stopBitsFromText(row.stopbits.toString()));
    } catch (const SerialChannelError& e) {
        qCDebug(lcPorts) << "ENTRADA" << row.id << e.text();
        m_configErrors.insert(row.id, e.text());
    }
}

// Every active slot is opened and sent its "AT+CSQ" first, then all of them wait together: each
// modem still has the whole wait to answer, and the slots are judged in slot order.
bool PortConfigurator::openAll() {
    configureAll();
    const QList<Row> rows = readRows();
    for (const Row& row : rows) {
        PortSlot* slot = m_slots->slot(row.id);
        if (slot && !row.ativo) {
            slot->channel()->close();
            slot->setReady(false);
            slot->setCondition({});
        }
    }
    const QList<ProbeResult> results = openRows(rows, m_setUp);
    bool found = false;
    for (const ProbeResult& result : results)
        found = found || result.state == ProbeState::Ready;
    m_lastProbe = results;
    m_ado->dbPORTA->first();
    return found;
}

QList<PortConfigurator::ProbeResult> PortConfigurator::reopen(const QList<int>& entradas, const SetUp& setUp) {
    QList<Row> rows = readRows();
    rows.removeIf([&](const Row& row) { return !row.ativo || !entradas.contains(row.id); });
    m_configErrors.clear();
    for (const Row& row : std::as_const(rows))
        configureRow(row);
    const QList<ProbeResult> results = openRows(rows, setUp ? setUp : m_setUp);
    for (const ProbeResult& result : results) {
        const auto it = std::find_if(m_lastProbe.begin(), m_lastProbe.end(),
                                     [&](const ProbeResult& r) { return r.entrada == result.entrada; });
        if (it != m_lastProbe.end())
            *it = result;
        else
            m_lastProbe.append(result);
    }
    return results;
}

// Opens and probes the active ones of `rows` side by side, then sets up those that answered.
QList<PortConfigurator::ProbeResult> PortConfigurator::openRows(const QList<Row>& rows, const SetUp& setUp) {
    // Kept apart until the end: a handler running inside the wait may open the ports anew.
    QList<ProbeResult> results;
    QList<int> probed;
    holdLogs(rows);
    for (const Row& row : rows) {
        if (!row.ativo || !m_slots->slot(row.id))
            continue;
        results.append(openAndWrite(row));
        if (results.last().state == ProbeState::Ready) // written, not yet judged
            probed << row.id;
    }
    if (!probed.isEmpty())
        waitFor(probed, m_timing.probe);
    QList<int> answered;
    for (ProbeResult& result : results) {
        if (probed.contains(result.entrada))
            judgeOpened(&result);
        if (result.state == ProbeState::Ready)
            answered << result.entrada;
    }
    releaseLogs();
    // The set-up's lines come as they come: a search for the network can take a minute.
    if (setUp && !answered.isEmpty())
        setUpAnswered(answered, &results, setUp);
    return results;
}

// Opens the slot's channel and writes the probe. State Ready means "probe written"; a slot that
// did not open is closed with its light off and the reason.
PortConfigurator::ProbeResult PortConfigurator::openAndWrite(const Row& row) {
    PortSlot* slot = m_slots->slot(row.id);
    SerialChannel* channel = slot->channel();
    ProbeResult result{row.id, channel->comNumber(), ProbeState::Closed, {}};
    try {
        // A row whose settings the channel refused is not opened with stale ones.
        if (m_configErrors.contains(row.id))
            throw SerialChannelError(m_configErrors.value(row.id));
        channel->open();
        result.com = channel->comNumber();
        if (channel->isOpen()) {
            writeProbe(row.id);
            slot->setCondition({});
            result.state = ProbeState::Ready;
            return result;
        }
    } catch (const SerialChannelError& e) {
        result.error = e.text();
        // No send log line says it: the other stations' operators see it on the stations' list.
        StationRegistry::recordError(QStringLiteral("ENTRADA %1 FECHADA: %2").arg(row.id).arg(result.error));
    }
    channel->close();
    slot->setReady(false);
    slot->setCondition(QStringLiteral("porta não abriu"));
    return result;
}

// The modems that answered get their set-up side by side; a slot found unable to send is closed.
void PortConfigurator::setUpAnswered(const QList<int>& answered, QList<ProbeResult>* results, const SetUp& setUp) {
    const QHash<int, QString> notReady = setUp(answered);
    for (ProbeResult& result : *results) {
        if (!notReady.contains(result.entrada) || result.state != ProbeState::Ready)
            continue;
        result.state = ProbeState::NotReady;
        result.error = notReady.value(result.entrada);
        PortSlot* slot = m_slots->slot(result.entrada);
        slot->channel()->close();
        slot->setReady(false);
    }
}

// After the wait: a lit ready light keeps the slot open; otherwise it is closed.
void PortConfigurator::judgeOpened(ProbeResult* result) {
    PortSlot* slot = m_slots->slot(result->entrada);
    if (slot->ready())
        return;
    result->state = slot->channel()->isOpen() ? ProbeState::NoAnswer : ProbeState::Closed;
    slot->channel()->close();
    slot->setReady(false);
    slot->setCondition(result->state == ProbeState::NoAnswer ? QStringLiteral("modem não responde")
                                                             : QStringLiteral("porta não abriu"));
}

void PortConfigurator::writeProbe(int entrada) {
    PortSlot* slot = m_slots->slot(entrada);
    slot->setReady(false);
    slot->clearResponseLine();
    slot->channel()->WriteText("AT+CSQ\r\n");
}

void PortConfigurator::holdLogs(const QList<Row>& rows) {
    QList<int> ids;
    for (const Row& row : rows)
        ids << row.id;
    for (ModemLog* log : std::as_const(m_logs))
        log->hold(ids);
}

void PortConfigurator::releaseLogs() {
    for (ModemLog* log : std::as_const(m_logs))
        log->release();
}

// Every ready, open slot is re-probed at once; the list is rebuilt in one transaction after the
// wait, in slot order, with no event in between.
bool PortConfigurator::VerificaPortas() {
    const QList<Row> rows = readRows();
    QList<int> probed;
    holdLogs(rows);
    for (const Row& row : rows) {
        PortSlot* slot = m_slots->slot(row.id);
        if (!slot || !slot->ready() || !slot->channel()->isOpen())
            continue;
        try {
            writeProbe(row.id);
            probed << row.id;
        } catch (const SerialChannelError& e) {
            qCDebug(lcPorts) << "ENTRADA" << row.id << e.text();
        }
    }
    if (!probed.isEmpty())
        waitFor(probed, m_timing.reprobe);
    releaseLogs();
    QList<int> answered;
    for (int id : std::as_const(probed))
        if (m_slots->slot(id)->ready())
            answered << id;
    const bool result = rebuildActiveList(answered);
    m_ado->dbPORTA->last();
    if (m_ado->dbPORTA_ATIVA->isOpen())
        m_ado->dbPORTA_ATIVA->refresh();
    return result;
}

bool PortConfigurator::rebuildActiveList(const QList<int>& answered) {
    QSqlDatabase db = m_ado->database();
    const bool batch = db.transaction();
    QSqlQuery clear(db);
    clear.prepare(QStringLiteral("DELETE FROM dbPORTA_ATIVA WHERE ESTACAO IS NULL OR ESTACAO = ?"));
    clear.addBindValue(Station::current());
    if (!clear.exec()) {
        qCWarning(lcPorts) << clear.lastError().text();
        if (batch)
            db.rollback();
        return false;
    }
    const int qtd = cascata();
    bool result = false;
    for (int id : answered)
        result = listActive(id, qtd) || result;
    if (batch && !db.commit()) {
        qCWarning(lcPorts) << db.lastError().text();
        db.rollback();
        return false;
    }
    return result;
}

bool PortConfigurator::addActive(int entrada) {
    QSqlQuery listed(m_ado->database());
    listed.prepare(
        QStringLiteral("SELECT COUNT(*) FROM dbPORTA_ATIVA WHERE ENTRADA = ? AND (ESTACAO IS NULL OR ESTACAO = ?)"));
    listed.addBindValue(entrada);
    listed.addBindValue(Station::current());
    if (listed.exec() && listed.next() && listed.value(0).toInt() > 0)
        return true;
    const bool added = listActive(entrada, cascata());
    if (m_ado->dbPORTA_ATIVA->isOpen())
        m_ado->dbPORTA_ATIVA->refresh();
    return added;
}

bool PortConfigurator::listActive(int entrada, int qtd) {
    QSqlQuery insert(m_ado->database());
    insert.prepare(QStringLiteral("INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD, ESTACAO) VALUES (?, ?, ?)"));
    insert.addBindValue(entrada);
    insert.addBindValue(qtd);
    insert.addBindValue(Station::current());
    if (!insert.exec()) {
        qCWarning(lcPorts) << "ENTRADA" << entrada << insert.lastError().text();
        return false;
    }
    return true;
}

// The setting is read from the settings row as stored now, not from a copy.
int PortConfigurator::cascata() const {
    QSqlQuery q(m_ado->database());
    if (q.exec(QStringLiteral("SELECT CASCATA FROM dbCFG")) && q.next())
        return q.value(0).toInt();
    return m_ado->dbCFG->integer("CASCATA");
}

std::function<bool()> PortConfigurator::verificaPortasFunction() {
    return [this] { return VerificaPortas(); };
}
