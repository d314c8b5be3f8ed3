#include "sms/DeliveryReports.h"

#include "sms/OutboxClaims.h"
#include "store/SqlDialect.h"
#include "store/Station.h"
#include "store/TimeText.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <optional>

namespace {

using pdu::DeliveryState;

QDateTime parsed(const QVariant& v) {
    return v.isNull() ? QDateTime() : TimeText::stampFromStored(v.toString());
}

// This station's rows: the ones it wrote, and those written before rows carried a station (one station then).
const char* const kThisStation = "(ESTACAO = ? OR ESTACAO IS NULL)";

QString station() {
    return Station::current();
}

QVariant storedOrNull(const QDateTime& t) {
    return t.isValid() ? QVariant(DeliveryReports::stored(t)) : QVariant(QMetaType(QMetaType::QString));
}

// Runs one statement with its values bound in order; the error text in `error`.
bool run(QSqlQuery& q, const QString& sql, const QVariantList& values, QString* error) {
    q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (q.exec())
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

bool final(const QVariant& situacao) {
    return !situacao.isNull() && pdu::deliveryState(std::uint8_t(situacao.toInt())) != DeliveryState::Pending;
}

// A savepoint: nested in the caller's transaction when there is one, else a transaction of its own
// (SQLite opens one for a savepoint outside a transaction; PostgreSQL refuses it, so one is begun).
class Savepoint {
public:
    explicit Savepoint(QSqlDatabase& db) : m_db(db) {
        m_open = QSqlQuery(m_db).exec("SAVEPOINT entrega");
        if (!m_open && SqlDialect::isPostgres(m_db))
            m_open = m_own = QSqlQuery(m_db).exec("BEGIN");
    }
    ~Savepoint() {
        if (m_open)
            end(false);
    }
    bool open() const { return m_open; }
    bool end(bool keep) {
        m_open = false;
        QSqlQuery q(m_db);
        if (m_own) {
            if (keep && q.exec("COMMIT"))
                return true;
            q.exec("ROLLBACK");
            return false;
        }
        if (keep && q.exec("RELEASE entrega"))
            return true;
        q.exec("ROLLBACK TO entrega");
        q.exec("RELEASE entrega");
        return false;
    }

private:
    QSqlDatabase& m_db;
    bool m_open = false;
    bool m_own = false; // a transaction of its own, not a savepoint
};

// The message's delivery state from its parts' reports, written to its history row.
bool settle(QSqlDatabase& db, qint64 idHistorico, DeliveryReports::Outcome* out, QString* error) {
    QSqlQuery q(db);
    if (!run(q,
             "SELECT PARTE, PARTES, SITUACAO, ENTREGUE FROM dbENTREGA_PENDENTE WHERE ID_HISTORICO = ? "
             "ORDER BY PARTE",
             {idHistorico}, error))
        return false;
    int delivered = 0;
    int parts = 1;
    QString failure;
    QDateTime last;
    while (q.next()) {
        parts = qMax(parts, q.value(1).toInt());
        if (q.value(2).isNull())
            continue;
        const auto status = std::uint8_t(q.value(2).toInt());
        if (pdu::deliveryState(status) == DeliveryState::Failed && failure.isEmpty())
            failure = pdu::deliveryStatusText(status);
        if (pdu::deliveryState(status) == DeliveryState::Delivered) {
            ++delivered;
            const QDateTime t = parsed(q.value(3));
            if (!last.isValid() || (t.isValid() && t > last))
                last = t;
        }
    }
    if (q.lastError().isValid()) {
        if (error)
            *error = q.lastError().text();
        return false;
    }
    const bool all = failure.isEmpty() && delivered >= parts;
    const QString text = !failure.isEmpty() ? failure : all ? QStringLiteral("Entregue") : QStringLiteral("Pendente");
    const QVariant when = all ? storedOrNull(last) : QVariant(QMetaType(QMetaType::QString));
    QSqlQuery u(db);
    // A send marked as a possible duplicate (another station held its row) keeps that word: it matters more to the
    // operator than its delivery, whose time still goes to ENTREGUE.
    if (!run(u,
             "UPDATE dbHISTORICO SET STATUS_ENTREGA = CASE WHEN STATUS_ENTREGA = ? THEN STATUS_ENTREGA ELSE ? END, "
             "ENTREGUE = ? WHERE ID_HISTORICO = ?",
             {OutboxClaims::kPossibleDuplicate, text, when, idHistorico}, error))
        return false;
    if (out) {
        out->idHistorico = idHistorico;
        out->statusEntrega = text;
        out->entregue = when.toString();
    }
    return true;
}

// Whether a report's recipient can be the send's number: the last eight digits agree (the centre may write the
// number with the country code, the history as the operator typed it). A number of fewer digits (a short code, an
// empty or alphanumeric address) is not judged.
bool sameNumber(const QString& sent, const QString& reported) {
    constexpr int kDigits = 8;
    auto digits = [](const QString& n) {
        QString d;
        for (const QChar c : n)
            if (c >= u'0' && c <= u'9')
                d += c;
        return d;
    };
    const QString a = digits(sent);
    const QString b = digits(reported);
    return a.size() < kDigits || b.size() < kDigits || a.right(kDigits) == b.right(kDigits);
}

// A report that came before its send was recorded, kept for remember(): the newest whose centre time fits and
// whose number is the send's (the history row `idHistorico`'s recipient).
std::optional<qint64> heldReport(QSqlDatabase& db, int porta, int ref, qint64 idHistorico, const QDateTime& sent,
                                 QString* error) {
    QSqlQuery q(db);
    if (!run(q,
             QStringLiteral("SELECT E.ID, E.CENTRAL, E.FONE, (SELECT H.DESTINATARIO FROM dbHISTORICO H WHERE "
                            "H.ID_HISTORICO = ?) FROM dbENTREGA_PENDENTE E WHERE E.PORTA = ? AND E.REFERENCIA = ? "
                            "AND E.ID_HISTORICO IS NULL AND %1 ORDER BY E.ID DESC")
                 .arg(QString::fromLatin1(kThisStation).replace(QLatin1String("ESTACAO"), QLatin1String("E.ESTACAO"))),
             {idHistorico, porta, ref, station()}, error))
        return std::nullopt;
    const qint64 window = qint64(DeliveryReports::kMatchWindowMinutes) * 60;
    while (q.next()) {
        const QDateTime centre = parsed(q.value(1));
        if (centre.isValid() && qAbs(sent.secsTo(centre)) > window)
            continue;
        if (!sameNumber(q.value(3).toString(), q.value(2).toString()))
            continue; // another send's report, on a reference the modem reused
        return q.value(0).toLongLong();
    }
    return std::nullopt;
}

bool rememberPart(QSqlDatabase& db, int porta, int ref, int parte, int partes, qint64 idHistorico,
                  const QDateTime& sent, QString* error) {
    QSqlQuery q(db);
    // The modem reuses a reference after 256 sends: only the newest send of it can still be matched. Another
    // station's modem on a slot of the same number counts its own references: its rows stay.
    if (!run(q,
             QStringLiteral("DELETE FROM dbENTREGA_PENDENTE WHERE PORTA = ? AND REFERENCIA = ? AND ID_HISTORICO IS NOT "
                            "NULL AND %1")
                 .arg(QLatin1String(kThisStation)),
             {porta, ref, station()}, error))
        return false;
    QString heldError;
    const std::optional<qint64> held = heldReport(db, porta, ref, idHistorico, sent, &heldError);
    if (!heldError.isEmpty()) {
        if (error)
            *error = heldError;
        return false;
    }
    if (held)
        return run(q,
                   "UPDATE dbENTREGA_PENDENTE SET ID_HISTORICO = ?, PARTE = ?, PARTES = ?, ENVIO = ?, ESTACAO = ? "
                   "WHERE ID = ?",
                   {idHistorico, parte, partes, DeliveryReports::stored(sent), station(), *held}, error);
    return run(q,
               "INSERT INTO dbENTREGA_PENDENTE (ESTACAO, PORTA, REFERENCIA, ID_HISTORICO, PARTE, PARTES, ENVIO) "
               "VALUES (?, ?, ?, ?, ?, ?, ?)",
               {station(), porta, ref, idHistorico, parte, partes, DeliveryReports::stored(sent)}, error);
}

struct Match {
    qint64 id = 0;
    qint64 idHistorico = 0;
    QVariant situacao;
    QString destinatario;
};

// The newest recorded send of the reference on the slot, with its history row's recipient.
std::optional<Match> newestSend(QSqlDatabase& db, int porta, int ref, QDateTime* sent, QString* error) {
    QSqlQuery q(db);
    if (!run(q,
             "SELECT E.ID, E.ID_HISTORICO, E.SITUACAO, E.ENVIO, H.DESTINATARIO FROM dbENTREGA_PENDENTE E "
             "LEFT JOIN dbHISTORICO H ON H.ID_HISTORICO = E.ID_HISTORICO WHERE E.PORTA = ? AND E.REFERENCIA = ? "
             "AND E.ID_HISTORICO IS NOT NULL AND (E.ESTACAO = ? OR E.ESTACAO IS NULL) ORDER BY E.ID DESC LIMIT 1",
             {porta, ref, station()}, error) ||
        !q.next())
        return std::nullopt;
    *sent = parsed(q.value(3));
    return Match{q.value(0).toLongLong(), q.value(1).toLongLong(), q.value(2), q.value(4).toString()};
}

QString prefix(const QDateTime& now, int porta) {
    return TimeText::stampShown(now) + QStringLiteral(" ENTRADA %1 RELATÓRIO DE ENTREGA").arg(porta);
}

bool hold(QSqlDatabase& db, int porta, const pdu::StatusReport& r, const QDateTime& now, QString* error) {
    QSqlQuery q(db);
    const bool delivered = r.state == DeliveryState::Delivered;
    return run(q,
               "INSERT INTO dbENTREGA_PENDENTE (ESTACAO, PORTA, REFERENCIA, ENVIO, CENTRAL, SITUACAO, ENTREGUE, FONE) "
               "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
               {station(), porta, r.reference, DeliveryReports::stored(now),
                storedOrNull(r.centreTime.time.toLocalTime()), int(r.status),
                delivered ? storedOrNull(r.dischargeTime.time.toLocalTime()) : QVariant(QMetaType(QMetaType::QString)),
                r.recipient.number},
               error);
}

bool record(QSqlDatabase& db, const Match& m, const pdu::StatusReport& r, QString* error) {
    QSqlQuery q(db);
    const bool delivered = r.state == DeliveryState::Delivered;
    return run(q, "UPDATE dbENTREGA_PENDENTE SET CENTRAL = ?, SITUACAO = ?, ENTREGUE = ? WHERE ID = ?",
               {storedOrNull(r.centreTime.time.toLocalTime()), int(r.status),
                delivered ? storedOrNull(r.dischargeTime.time.toLocalTime()) : QVariant(QMetaType(QMetaType::QString)),
                m.id},
               error);
}

// Matches the report, stores it and settles its message; `out` gets the kind and the log line.
bool applyIn(QSqlDatabase& db, int porta, const pdu::StatusReport& r, const QDateTime& now,
             DeliveryReports::Outcome& out) {
    QDateTime sent;
    const std::optional<Match> m = newestSend(db, porta, r.reference, &sent, &out.error);
    if (!out.error.isEmpty())
        return false;
    const QDateTime centre = r.centreTime.time;
    const qint64 window = qint64(DeliveryReports::kMatchWindowMinutes) * 60;
    const qint64 gap = m && centre.isValid() && sent.isValid() ? sent.secsTo(centre) : 0;
    // No send, one older than the report's, or one to another number: the report's send may be being recorded.
    if (!m || gap > window || !sameNumber(m->destinatario, r.recipient.number)) {
        out.kind = DeliveryReports::Kind::Held;
        return hold(db, porta, r, now, &out.error);
    }
    const QString ref = QStringLiteral(" ID %1").arg(r.reference);
    if (gap < -window) {
        out.kind = DeliveryReports::Kind::Stale;
        out.logLine = prefix(now, porta) + ref + QStringLiteral(" DE UM ENVIO ANTERIOR: DESCARTADO");
        return true;
    }
    out.kind = final(m->situacao) ? DeliveryReports::Kind::Repeated : DeliveryReports::Kind::Applied;
    if (out.kind == DeliveryReports::Kind::Applied && !record(db, *m, r, &out.error))
        return false;
    if (!settle(db, m->idHistorico, &out, &out.error))
        return false;
    out.logLine = prefix(now, porta) +
                  (out.kind == DeliveryReports::Kind::Repeated ? QStringLiteral(" REPETIDO") : "") +
                  QStringLiteral(" PARA ") + m->destinatario + ref + QStringLiteral(": ") + r.statusText;
    return true;
}

} // namespace

QString DeliveryReports::stored(const QDateTime& time) {
    return TimeText::stampStored(time.toLocalTime());
}

bool DeliveryReports::remember(QSqlDatabase& db, int porta, const QList<int>& references, qint64 idHistorico,
                               QString* error) {
    return remember(db, porta, references, idHistorico, error, QDateTime::currentDateTime());
}

bool DeliveryReports::remember(QSqlDatabase& db, int porta, const QList<int>& references, qint64 idHistorico,
                               QString* error, const QDateTime& sent) {
    for (const int ref : references) {
        if (ref < 0 || ref > 255) {
            if (error)
                *error = QStringLiteral("Referência de mensagem inválida: %1").arg(ref);
            return false;
        }
    }
    Savepoint sp(db);
    if (!sp.open()) {
        if (error)
            *error = db.lastError().text();
        return false;
    }
    const int partes = int(references.size());
    for (int i = 0; i < partes; ++i)
        if (!rememberPart(db, porta, references[i], i + 1, partes, idHistorico, sent, error))
            return false;
    if (partes > 0 && !settle(db, idHistorico, nullptr, error))
        return false;
    if (sp.end(true))
        return true;
    if (error)
        *error = db.lastError().text();
    return false;
}

DeliveryReports::Outcome DeliveryReports::apply(QSqlDatabase& db, int porta, const pdu::StatusReport& report,
                                                const QDateTime& now) {
    Outcome out;
    const QStringList expired = expire(db, now, &out.error);
    Savepoint sp(db);
    if (out.error.isEmpty() && sp.open() && applyIn(db, porta, report, now, out) && sp.end(true)) {
        if (!expired.isEmpty())
            out.logLine = (expired + QStringList{out.logLine}).join(u'\n');
        return out;
    }
    if (out.error.isEmpty())
        out.error = db.lastError().text();
    out.kind = Kind::Failed;
    out.logLine = prefix(now, porta) + QStringLiteral(" ID %1 NÃO GRAVADO: ").arg(report.reference) + out.error;
    return out;
}

QStringList DeliveryReports::expire(QSqlDatabase& db, const QDateTime& now, QString* error) {
    QStringList lines;
    QSqlQuery q(db);
    const QString heldBefore = stored(now.addSecs(-kHoldSeconds));
    // The reports this station holds: another station says its own when it drops them.
    if (!run(q,
             QStringLiteral("SELECT PORTA, REFERENCIA FROM dbENTREGA_PENDENTE WHERE ID_HISTORICO IS NULL AND ENVIO < ? "
                            "AND %1 ORDER BY ID")
                 .arg(QLatin1String(kThisStation)),
             {heldBefore, station()}, error))
        return lines;
    while (q.next())
        lines << prefix(now, q.value(0).toInt()) +
                     QStringLiteral(" ID %1 SEM ENVIO CORRESPONDENTE: DESCARTADO").arg(q.value(1).toInt());
    q.finish();
    if (!run(q,
             QStringLiteral("DELETE FROM dbENTREGA_PENDENTE WHERE (ID_HISTORICO IS NULL AND ENVIO < ? AND %1) OR "
                            "ENVIO < ?")
                 .arg(QLatin1String(kThisStation)),
             {heldBefore, station(), stored(now.addDays(-kKeepDays))}, error))
        return {};
    return lines;
}

int DeliveryReports::outstanding(QSqlDatabase& db, const QDateTime& since) {
    QSqlQuery q(db);
    if (!run(q,
             QStringLiteral("SELECT COUNT(*) FROM dbENTREGA_PENDENTE WHERE ID_HISTORICO IS NOT NULL AND ENVIO >= ? "
                            "AND (SITUACAO IS NULL OR (SITUACAO >= 32 AND SITUACAO <= 63)) AND %1")
                 .arg(QLatin1String(kThisStation)),
             {stored(since), station()}, nullptr) ||
        !q.next())
        return -1;
    return q.value(0).toInt();
}
