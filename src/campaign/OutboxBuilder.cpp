#include "campaign/OutboxBuilder.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include "campaign/Merge.h"
#include "campaign/TDM.h"
#include "optout/SuppressionList.h"
#include "sms/PduEncoder.h"
#include "store/ServerCommit.h"
#include "store/SqlDialect.h"
#include "store/Station.h"
#include "store/TADO.h"
#include "store/TimeText.h"

const char* const OutboxBuilder::kNoPortsWarning = "Conecte um dispositivo antes de enviar a(s) mensagem(s)!";
const char* const OutboxBuilder::kNoMarksWarning = "Selecione no grid os contatos antes de enviar a(s) mensagem(s)!";
const char* const OutboxBuilder::kStoppedWarning =
    "O Sistema foi parado por não detectar entradas abertas para associação!\rVerifique as portas Comm e inicie a "
    "transmissão novamente!";

OutboxBuilder::OutboxBuilder(TADO* ado) : m_ado(ado) {}

QString OutboxBuilder::cut(const QString& text, int max) {
    return Merge::cutAt(text, max);
}

QString OutboxBuilder::modemSafe(QString text) {
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    }
    return text;
}

OutboxBuilder::Fitted OutboxBuilder::fitText(const QString& merged, SmsMode mode) {
    Fitted f{modemSafe(merged)};
    if (mode == SmsMode::Pdu) {
        QString fitted = pdu::fitToParts(f.text, pdu::kMaxParts);
        f.cut = fitted.size() != f.text.size();
        f.text = std::move(fitted);
    } else if (f.text.size() > kMaxText) {
        f.cut = true;
        f.text = cut(f.text);
    }
    return f;
}

QString OutboxBuilder::cutLogLine(const QString& phone, SmsMode mode) {
    if (mode == SmsMode::Pdu)
        return QStringLiteral(" (%1) SMS maior que %2 partes! Ajustado automaticamente!")
            .arg(phone)
            .arg(pdu::kMaxParts);
    return " (" + phone + ") SMS maior que 160 caracteres! Ajustado automaticamente!";
}

qsizetype OutboxBuilder::mergeBound(SmsMode mode) {
    return 10 * qsizetype(mode == SmsMode::Pdu ? kSmsColumnMaxChars : kTextModeMaxChars);
}

QString OutboxBuilder::stamp() const {
    return TimeText::stampShown(m_clock());
}

void OutboxBuilder::log(const QString& line) const {
    if (m_log)
        m_log(stamp() + line);
}

// The rows of one stretch without events (a cycle, or kProgressEvery rows) are saved in one
// transaction, committed before anything that lets other handlers run.
bool OutboxBuilder::begin(QString* error) {
    QSqlDatabase db = m_ado->database();
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    m_inTransaction = true;
    return true;
}

bool OutboxBuilder::commit(QString* error) {
    if (!flushRows(error)) {
        rollback();
        return false;
    }
    if (!m_inTransaction)
        return true;
    m_inTransaction = false;
    QSqlDatabase db = m_ado->database();
    if (!db.commit()) {
        *error = db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

void OutboxBuilder::rollback() {
    m_pending.clear();
    if (!m_inTransaction)
        return;
    m_inTransaction = false;
    m_ado->database().rollback();
}

// The rows of this run, kept apart from dbMENSAGEM until the run ends. A temporary table belongs
// to the connection: a killed process leaves nothing of it.
bool OutboxBuilder::createStage(QString* error) {
    QSqlDatabase db = m_ado->database();
    // On a shared store (PostgreSQL) the rows go to the pool, no slot and no station: each ready slot of each
    // station claims its batches when it sends, and the slots' quotas are not spent here.
    m_copying = SqlDialect::isPostgres(db);
    if (m_copying) {
        *error = m_copy.open(m_ado->store(), QStringLiteral("dbMENSAGEM"),
                             {QStringLiteral("FONE"), QStringLiteral("MENSAGEM")});
        return error->isEmpty();
    }
    static int serial = 0;
    m_stage = QStringLiteral("vestral_caixa_%1").arg(++serial);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("CREATE TEMP TABLE %1 (ID %2, FONE TEXT, MENSAGEM TEXT, PORTA INTEGER)")
                    .arg(m_stage, SqlDialect::autoKey(db)))) {
        *error = q.lastError().text();
        m_stage.clear();
        return false;
    }
    return true;
}

// One transaction: the rows reach the outbox together, in the order they were built, and the slots'
// quotas are spent by as many rows, or neither happens. Until then the quotas spent live only here, so a
// build that is cancelled, fails or is killed leaves dbPORTA_ATIVA as it found it.
bool OutboxBuilder::publish(QString* error) {
    if (m_copying) {
        *error = m_copy.commit();
        if (!error->isEmpty() && m_copy.connectionLost())
            *error = QStringLiteral("Conexão com o banco de dados perdida: ") + *error;
        return error->isEmpty();
    }
    QSqlDatabase db = m_ado->database();
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    // Its id on the server, so a COMMIT whose answer is lost can be looked up instead of reported as failed.
    const qint64 transaction = ServerCommit::transactionId(db);
    QSqlQuery q(db);
    bool ok =
        q.exec(QStringLiteral(
                   "INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) SELECT FONE, MENSAGEM, PORTA FROM %2.%1 ORDER BY ID")
                   .arg(m_stage, SqlDialect::tempSchema(db)));
    if (ok && !m_spent.isEmpty()) {
        ok = q.prepare(QStringLiteral(
            "UPDATE dbPORTA_ATIVA SET QTD = QTD - ? WHERE ENTRADA = ? AND (ESTACAO IS NULL OR ESTACAO = ?)"));
        for (auto it = m_spent.cbegin(); ok && it != m_spent.cend(); ++it) {
            q.bindValue(0, it.value());
            q.bindValue(1, it.key());
            q.bindValue(2, Station::current());
            ok = q.exec();
        }
    }
    if (!ok) {
        *error = q.lastError().text();
        db.rollback();
        return false;
    }
    if (!ServerCommit::commit(m_ado, db, transaction, error)) {
        db.rollback();
        return false;
    }
    return true;
}

void OutboxBuilder::dropStage() {
    m_insert.reset();
    m_pending.clear();
    m_copy.cancel(); // rows not committed by publish() are dropped
    m_copying = false;
    if (m_stage.isEmpty())
        return;
    QSqlDatabase db = m_ado->database();
    QSqlQuery q(db);
    q.exec(QStringLiteral("DROP TABLE IF EXISTS %2.%1").arg(m_stage, SqlDialect::tempSchema(db)));
    m_stage.clear();
}

bool OutboxBuilder::readSlots(QString* error) {
    m_slots.clear();
    QSqlQuery q(m_ado->database());
    q.prepare(QStringLiteral(
        "SELECT * FROM dbPORTA_ATIVA WHERE QTD > 0 AND (ESTACAO IS NULL OR ESTACAO = ?) ORDER BY ENTRADA"));
    q.addBindValue(Station::current());
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    while (q.next()) {
        const int entrada = q.value("ENTRADA").toInt();
        const int qtd = q.value("QTD").toInt() - m_spent.value(entrada);
        if (qtd > 0)
            m_slots.append({entrada, qtd});
    }
    if (q.lastError().isValid()) {
        *error = q.lastError().text();
        return false;
    }
    return true;
}

bool OutboxBuilder::probe() {
    ++m_state.cycles;
    return m_verificaPortas();
}

// Tells the caller how far the run is; false when it asks to stop.
bool OutboxBuilder::report() {
    if (m_progress && !m_progress(m_state))
        m_cancelled = true;
    return !m_cancelled;
}

bool OutboxBuilder::pickSlot(int* entrada, QString* error, bool* stopped) {
    while (!m_slots.isEmpty() && m_slots.first().qtd <= 0)
        m_slots.removeFirst();
    if (m_slots.isEmpty()) {
        if (!commit(error))
            return false;
        // A re-probe that succeeds writes the list of slots afresh, with whole quotas; one that fails may
        // have left it as it was, with this run's rows still to be counted against it.
        if (probe())
            m_spent.clear();
        if (!report() || !readSlots(error) || !begin(error))
            return false;
        if (m_slots.isEmpty()) {
            *stopped = true;
            return false;
        }
    }
    *entrada = m_slots.first().entrada;
    return true;
}

bool OutboxBuilder::writeRow(const QString& phone, const QString& text, int entrada, QString* error) {
    if (m_copying) {
        *error = m_copy.add({phone, text});
        if (!error->isEmpty())
            return false;
    } else {
        m_pending.append({phone, text, entrada});
        if (!flushRows(error))
            return false;
    }
    ++m_spent[entrada];
    --m_slots.first().qtd;
    ++m_state.staged;
    return true;
}

// The rows built since the last flush go to the stage in statements of many rows each: on a database server
// one statement per row would cost a round trip per row.
bool OutboxBuilder::flushRows(QString* error) {
    if (m_pending.isEmpty())
        return true;
    if (!m_insert) {
        QSqlDatabase db = m_ado->database();
        m_insert.emplace(db);
        if (!m_insert->prepare(QStringLiteral("INSERT INTO %2.%1 (FONE, MENSAGEM, PORTA) VALUES (?, ?, ?)")
                                   .arg(m_stage, SqlDialect::tempSchema(db)))) {
            *error = m_insert->lastError().text();
            m_insert.reset();
            return false;
        }
    }
    for (const StagedRow& row : std::as_const(m_pending)) {
        m_insert->bindValue(0, row.phone);
        m_insert->bindValue(1, row.text);
        m_insert->bindValue(2, row.entrada);
        if (!m_insert->exec()) {
            *error = m_insert->lastError().text();
            return false;
        }
    }
    m_pending.clear();
    return true;
}

// The merged text as it goes to the modem: bounded while it is merged, control characters made
// blanks, cut to what the mode sends with its log line.
bool OutboxBuilder::mergeText(const QString& body, const Fields& fields, const QString& phone, QString* text,
                              QString* error) {
    if (!Merge::apply(body, fields, text, error, mergeBound(m_mode)))
        return false;
    Fitted f = fitText(*text, m_mode);
    if (f.cut)
        log(cutLogLine(phone, m_mode));
    *text = std::move(f.text);
    return true;
}

bool OutboxBuilder::readMode(QString* error) {
    QString readError;
    m_mode = readSmsMode(m_ado->database(), &readError).mode;
    if (readError.isEmpty())
        return true;
    *error = readError;
    return false;
}

// Whether the recipient asked for no more messages (its number in any spelling, or its e-mail when the
// source has one); the log line says so.
bool OutboxBuilder::suppressed(const Fields& fields, const QString& telefone) {
    if (m_optOut.isEmpty())
        return false;
    QString email;
    if (!m_optOut.containsPhone(telefone) &&
        !(m_optOut.hasEmails() && fields("EMAIL", &email) && m_optOut.containsEmail(email)))
        return false;
    ++m_suppressed;
    log(SuppressionList::skipLogLine(SomenteNumeros(telefone)));
    return true;
}

// One marked row: its text, its number, its slot and its staged row. False stops the run.
bool OutboxBuilder::visit(const Fields& fields, const QString& body, QString* error, bool* stopped) {
    QString telefone;
    if (!fields("TELEFONE", &telefone)) {
        *error = Merge::missingFieldError("TELEFONE");
        return false;
    }
    if (suppressed(fields, telefone))
        return true;
    const QString phone = SomenteNumeros(telefone);
    QString text;
    if (!mergeText(body, fields, phone, &text, error))
        return false;
    if (!validPhone(phone)) {
        log(" Número do Telefone Incorreto: " + phone);
        return true;
    }
    int entrada = 0;
    return pickSlot(&entrada, error, stopped) && writeRow(phone, text, entrada, error);
}

// Publishes the staged rows when every marked row was visited; otherwise the outbox stays as it was.
void OutboxBuilder::finish(Result* r, bool ok, bool stopped) {
    if (ok && !commit(&r->error))
        ok = false;
    rollback();
    if (ok && publish(&r->error))
        r->written = m_state.staged;
    r->suppressed = m_suppressed;
    dropStage();
    if (m_cancelled)
        r->outcome = Outcome::Cancelled;
    else if (stopped)
        r->outcome = Outcome::Stopped;
    else
        r->outcome = r->error.isEmpty() ? Outcome::Done : Outcome::Failed;
    if (r->outcome == Outcome::Stopped || r->outcome == Outcome::Cancelled)
        r->error.clear();
    // A server gone during the run took the staged rows with its connection: nothing reached the outbox.
    if (r->outcome == Outcome::Failed)
        r->error = m_ado->failureText(r->error, m_reconnects);
    m_ado->dbMENSAGEM->refresh();
    m_ado->dbPORTA_ATIVA->refresh();
}

OutboxBuilder::Result OutboxBuilder::run(TDM* recipients) {
    Result r;
    m_reconnects = TADO::reconnects();
    m_state = Progress{};
    m_cancelled = false;
    m_spent.clear();
    if (!probe()) {
        r.outcome = Outcome::NoPorts;
        return r;
    }
    const QList<int> marked = recipients->markedRows();
    if (marked.isEmpty()) {
        r.outcome = Outcome::NoMarks;
        return r;
    }
    // The marked rows as they are now: a re-probe lets other events run, and a reload of the set
    // meanwhile must not change which recipients this run writes.
    QList<Merge::FieldLookup> rows;
    rows.reserve(marked.size());
    for (int row : marked)
        rows << recipients->fieldsOf(row);
    m_state.total = int(marked.size());
    const QString body = m_ado->dbCFG->text("BODY_SMS");
    m_suppressed = 0;
    bool ok = readMode(&r.error) && m_optOut.load(m_ado->database(), &r.error) && createStage(&r.error) &&
              readSlots(&r.error) && begin(&r.error);
    bool stopped = false;
    for (int i = 0; ok && i < marked.size(); ++i) {
        if (i > 0 && i % kProgressEvery == 0 && !(commit(&r.error) && report() && begin(&r.error)))
            ok = false;
        if (!ok)
            break;
        recipients->moveTo(marked[i]);
        m_state.visited = i + 1;
        ok = visit(rows[i], body, &r.error, &stopped);
    }
    finish(&r, ok, stopped);
    return r;
}
