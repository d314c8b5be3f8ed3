#include "sms/SmsInboxStore.h"

#include "store/SqlDialect.h"
#include "store/TADO.h"
#include "store/TimeText.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace {

constexpr int kStagedWidth = 50;

bool failed(const QSqlQuery& q, QString* error) {
    if (error)
        *error = q.lastError().text();
    return false;
}

bool sameMessage(const InboxRecord& a, const InboxRecord& b) {
    return a.codigo == b.codigo && a.fone == b.fone && a.data == b.data && a.sms == b.sms;
}

bool sameHeader(const InboxRecord& a, const InboxRecord& b) {
    return a.codigo == b.codigo && a.fone == b.fone && a.data == b.data;
}

// ID_SMS: the index (in PDU mode, the first position of CODIGO's list).
QVariant indexValue(const InboxRecord& r) {
    bool ok = false;
    const int index = r.codigo.section(u',', 0, 0).toInt(&ok);
    return ok ? index : 0;
}

QVariant receivedValue(const InboxRecord& r) {
    const QDateTime received = InboxListing::receivedAt(r.data);
    return received.isValid() ? QVariant(TimeText::stampStored(received)) : QVariant(QMetaType(QMetaType::QString));
}

} // namespace

InboxRecord SmsInboxStore::asStaged(const InboxRecord& r) {
    return {r.codigo.left(kStagedWidth), r.fone.left(kStagedWidth), r.data.left(kStagedWidth), r.sms};
}

bool SmsInboxStore::stage(const QList<InboxRecord>& listed, const QList<InboxRecord>& onModem, QList<Pending>* out,
                          QString* error) {
    QSqlDatabase db = m_ado->database();
    if (!db.transaction()) {
        if (error)
            *error = db.lastError().text();
        return false;
    }
    QList<Staged> rows;
    bool ok = readStaged(&rows, error);
    for (int i = 0; ok && i < listed.size(); ++i) {
        Pending p{listed[i], 0, false, {}};
        const InboxRecord key = asStaged(listed[i]);
        for (Staged& s : rows)
            if (!s.used && sameMessage(s.record, key)) {
                s.used = true;
                p.staged = s.rowid;
                break;
            }
        ok = alreadyStored(listed[i], &p.stored, error) && (p.staged != 0 || insertStaged(key, &p.staged, error));
        out->append(p);
    }
    ok = ok && dropUnmatched(rows, onModem, error);
    if (ok && db.commit())
        return true;
    if (ok && error)
        *error = db.lastError().text();
    db.rollback();
    out->clear();
    return false;
}

bool SmsInboxStore::readStaged(QList<Staged>* rows, QString* error) {
    QSqlQuery q(m_ado->database());
    if (!q.exec(QStringLiteral("SELECT rowid, CODIGO, FONE, DATA, SMS FROM dbSMS_BUFFER ORDER BY rowid")))
        return failed(q, error);
    while (q.next())
        rows->append({q.value(0).toLongLong(),
                      {q.value(1).toString(), q.value(2).toString(), q.value(3).toString(), q.value(4).toString()}});
    if (q.lastError().isValid())
        return failed(q, error);
    return true;
}

// A message that dbSMS already holds (same slot, index, sender, time stamp and text) was stored
// by an earlier reading that did not get to delete it on the modem.
bool SmsInboxStore::alreadyStored(const InboxRecord& r, bool* stored, QString* error) {
    QSqlQuery q(m_ado->database());
    // A header without a readable time matches a row without one: "IS NULL" in the text, since
    // PostgreSQL takes no "IS ?" and cannot type a parameter compared with NULL.
    const QVariant received = receivedValue(r);
    q.prepare(QStringLiteral("SELECT 1 FROM dbSMS WHERE ENTRADA = ? AND ID_SMS = ? AND FONE = ? AND SMS = ? "
                             "AND RECEBIDO %1 LIMIT 1")
                  .arg(received.isNull() ? QStringLiteral("IS NULL") : QStringLiteral("= ?")));
    q.addBindValue(m_slot);
    q.addBindValue(indexValue(r));
    q.addBindValue(r.fone);
    q.addBindValue(r.sms);
    if (!received.isNull())
        q.addBindValue(received);
    if (!q.exec())
        return failed(q, error);
    *stored = q.next();
    if (q.lastError().isValid())
        return failed(q, error);
    return true;
}

bool SmsInboxStore::insertStaged(const InboxRecord& r, qint64* rowid, QString* error) {
    QSqlQuery q(m_ado->database());
    q.prepare(QStringLiteral("INSERT INTO dbSMS_BUFFER (CODIGO, FONE, DATA, SMS) VALUES (?, ?, ?, ?)"));
    q.addBindValue(r.codigo);
    q.addBindValue(r.fone);
    q.addBindValue(r.data);
    q.addBindValue(r.sms);
    if (!q.exec())
        return failed(q, error);
    // The driver's insert id is SQLite's rowid only: PostgreSQL's comes from the ROWID column's sequence.
    if (!q.exec(SqlDialect::lastInsertedKey(m_ado->database(), QStringLiteral("dbSMS_BUFFER"))) || !q.next())
        return failed(q, error);
    *rowid = q.value(0).toLongLong();
    return true;
}

bool SmsInboxStore::dropUnmatched(const QList<Staged>& rows, const QList<InboxRecord>& onModem, QString* error) {
    QSqlQuery q(m_ado->database());
    q.prepare(QStringLiteral("DELETE FROM dbSMS_BUFFER WHERE rowid = ?"));
    for (const Staged& s : rows) {
        if (s.used)
            continue;
        const bool named = std::any_of(onModem.begin(), onModem.end(),
                                       [&](const InboxRecord& h) { return sameHeader(asStaged(h), s.record); });
        if (named)
            continue;
        q.addBindValue(s.rowid);
        if (!q.exec())
            return failed(q, error);
    }
    return true;
}

bool SmsInboxStore::store(const InboxRecord& r, QString* error) {
    QSqlQuery q(m_ado->database());
    q.prepare(QStringLiteral("INSERT INTO dbSMS (ID_SMS, DATA, RECEBIDO, ENTRADA, FONE, SMS, LIDO) "
                             "VALUES (?, ?, ?, ?, ?, ?, 0)"));
    q.addBindValue(indexValue(r));
    q.addBindValue(TimeText::stampStored(QDateTime::currentDateTime()));
    q.addBindValue(receivedValue(r));
    q.addBindValue(m_slot);
    q.addBindValue(r.fone);
    q.addBindValue(r.sms);
    return q.exec() || failed(q, error);
}

bool SmsInboxStore::unstage(qint64 staged, QString* error) {
    QSqlQuery q(m_ado->database());
    q.prepare(QStringLiteral("DELETE FROM dbSMS_BUFFER WHERE rowid = ?"));
    q.addBindValue(staged);
    return q.exec() || failed(q, error);
}
