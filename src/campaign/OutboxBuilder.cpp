#include "campaign/OutboxBuilder.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include "campaign/Merge.h"
#include "campaign/TDM.h"
#include "store/TADO.h"

const char* const OutboxBuilder::kNoPortsWarning = "Conecte um dispositivo antes de enviar a(s) mensagem(s)!";
const char* const OutboxBuilder::kNoMarksWarning = "Selecione no grid os contatos antes de enviar a(s) mensagem(s)!";
const char* const OutboxBuilder::kStoppedWarning =
    "O Sistema foi parado por não detectar entradas abertas para associação!\rVerifique as portas Comm e inicie a "
    "transmissão novamente!";

OutboxBuilder::OutboxBuilder(TADO* ado) : m_ado(ado) {}

QString OutboxBuilder::cut(const QString& text, int max) {
    if (text.size() <= max)
        return text;
    int n = max;
    if (n > 0 && text.at(n - 1).isHighSurrogate())
        --n;
    return text.left(n);
}

QString OutboxBuilder::stamp() const {
    return m_clock().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

void OutboxBuilder::log(const QString& line) const {
    if (m_log)
        m_log(stamp() + line);
}

// Rows are saved in one transaction per cycle: no event runs inside a cycle, and the transaction
// is committed before every probe (which lets other handlers run) and at the end.
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

bool OutboxBuilder::readSlots(QString* error) {
    m_slots.clear();
    QSqlQuery q(m_ado->database());
    if (!q.exec(QStringLiteral("SELECT * FROM dbPORTA_ATIVA WHERE QTD > 0 ORDER BY ENTRADA"))) {
        *error = q.lastError().text();
        return false;
    }
    while (q.next())
        m_slots.append({q.value("ENTRADA").toInt(), q.value("QTD").toInt()});
    return true;
}

bool OutboxBuilder::pickSlot(int* entrada, QString* error, bool* stopped) {
    while (!m_slots.isEmpty() && m_slots.first().qtd <= 0)
        m_slots.removeFirst();
    if (m_slots.isEmpty()) {
        if (!commit(error))
            return false;
        m_verificaPortas();
        if (!readSlots(error) || !begin(error))
            return false;
        if (m_slots.isEmpty()) {
            *stopped = true;
            return false;
        }
    }
    *entrada = m_slots.first().entrada;
    return true;
}

bool OutboxBuilder::prepare(QString* error) {
    QSqlDatabase db = m_ado->database();
    m_insert.emplace(db);
    m_decrement.emplace(db);
    if (!m_insert->prepare(QStringLiteral("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES (?, ?, ?)")) ||
        !m_decrement->prepare(QStringLiteral("UPDATE dbPORTA_ATIVA SET QTD = QTD - 1 WHERE ENTRADA = ?"))) {
        *error = m_insert->lastError().isValid() ? m_insert->lastError().text() : m_decrement->lastError().text();
        return false;
    }
    return true;
}

bool OutboxBuilder::writeRow(const QString& phone, const QString& text, int entrada, QString* error) {
    m_insert->bindValue(0, phone);
    m_insert->bindValue(1, text);
    m_insert->bindValue(2, entrada);
    if (!m_insert->exec()) {
        *error = m_insert->lastError().text();
        return false;
    }
    m_decrement->bindValue(0, entrada);
    if (!m_decrement->exec()) {
        *error = m_decrement->lastError().text();
        return false;
    }
    --m_slots.first().qtd;
    return true;
}

OutboxBuilder::Result OutboxBuilder::run(TDM* recipients) {
    Result r;
    if (!m_verificaPortas()) {
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
    const QString body = m_ado->dbCFG->text("BODY_SMS");
    bool ok = prepare(&r.error) && readSlots(&r.error) && begin(&r.error);
    bool stopped = false;
    for (int i = 0; ok && i < marked.size(); ++i) {
        const int row = marked[i];
        recipients->moveTo(row);
        const Merge::FieldLookup& fields = rows[i];
        QString telefone;
        if (!fields("TELEFONE", &telefone)) {
            r.error = Merge::missingFieldError("TELEFONE");
            ok = false;
            break;
        }
        const QString phone = SomenteNumeros(telefone);
        QString text;
        if (!Merge::apply(body, fields, &text, &r.error)) {
            ok = false;
            break;
        }
        if (text.size() > kMaxText) {
            log(" (" + phone + ") SMS maior que 160 caracteres! Ajustado automaticamente!");
            text = cut(text);
        }
        if (!validPhone(phone)) {
            log(" Número do Telefone Incorreto: " + phone);
            continue;
        }
        int entrada = 0;
        ok = pickSlot(&entrada, &r.error, &stopped) && writeRow(phone, text, entrada, &r.error);
        if (ok)
            ++r.written;
    }
    QString commitError;
    if (!commit(&commitError) && r.error.isEmpty())
        r.error = commitError;
    r.outcome = stopped ? Outcome::Stopped : (r.error.isEmpty() ? Outcome::Done : Outcome::Failed);
    if (r.outcome == Outcome::Stopped)
        r.error.clear();
    m_insert.reset();
    m_decrement.reset();
    m_ado->dbMENSAGEM->refresh();
    m_ado->dbPORTA_ATIVA->refresh();
    return r;
}
