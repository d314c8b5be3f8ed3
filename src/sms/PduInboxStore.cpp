#include "sms/PduInboxStore.h"

#include "sms/PduInboxListing.h"
#include "store/TADO.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <map>
#include <tuple>

namespace {

using Key = std::tuple<QString, int, bool, int>; // sender, reference, wide reference, part count

struct Seen {
    qint64 rowid = 0;
    QDateTime visto;
};

bool failed(const QSqlQuery& q, QString* error) {
    if (error)
        *error = q.lastError().text();
    return false;
}

// The parts the joiner waits for: the others are whole messages of their own.
bool waitsForSiblings(const pdu::InboxPart& p) {
    return p.concatenated && p.total > 1 && p.total <= 255 && p.sequence >= 1 && p.sequence <= p.total;
}

Key keyOf(const pdu::InboxPart& p) {
    return {p.sender, p.reference, p.wideReference, p.total};
}

QString utcText(const QDateTime& t) {
    return t.toUTC().toString(Qt::ISODate);
}

bool readSeen(QSqlDatabase db, int slot, std::map<Key, Seen>* seen, QString* error) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT rowid, FONE, REFERENCIA, LONGA, TOTAL, VISTO FROM dbSMS_PARTE WHERE ENTRADA = ?"));
    q.addBindValue(slot);
    if (!q.exec())
        return failed(q, error);
    while (q.next()) {
        const Key key{q.value(1).toString(), q.value(2).toInt(), q.value(3).toBool(), q.value(4).toInt()};
        (*seen)[key] = {q.value(0).toLongLong(), QDateTime::fromString(q.value(5).toString(), Qt::ISODate)};
    }
    return !q.lastError().isValid() || failed(q, error);
}

bool exec(QSqlDatabase db, const QString& sql, const QVariantList& values, QString* error) {
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    return q.exec() || failed(q, error);
}

// The first-seen time of one listed message: the kept one, or now for a message not seen before or
// kept with a time that cannot be (unreadable, or later than now: the clock was set back).
bool firstSeenOf(QSqlDatabase db, int slot, const Key& key, const std::map<Key, Seen>& seen, const QDateTime& now,
                 QDateTime* first, QString* error) {
    const auto found = seen.find(key);
    if (found != seen.end() && found->second.visto.isValid() && found->second.visto <= now) {
        *first = found->second.visto;
        return true;
    }
    *first = now;
    if (found != seen.end())
        return exec(db, QStringLiteral("UPDATE dbSMS_PARTE SET VISTO = ? WHERE rowid = ?"),
                    {utcText(now), found->second.rowid}, error);
    const auto& [fone, reference, wide, total] = key;
    return exec(db,
                QStringLiteral("INSERT INTO dbSMS_PARTE (ENTRADA, FONE, REFERENCIA, LONGA, TOTAL, VISTO) "
                               "VALUES (?, ?, ?, ?, ?, ?)"),
                {slot, fone, reference, wide ? 1 : 0, total, utcText(now)}, error);
}

InboxRecord recordOf(const pdu::JoinedSms& sms) {
    return {PduInboxListing::codigo(sms.indices), sms.sender, PduInboxListing::stampText(sms.sent), sms.text};
}

QList<int> distinct(const QList<int>& indices) {
    QList<int> out;
    for (int i : indices)
        if (!out.contains(i))
            out.append(i);
    return out;
}

// A part listed beside the still-listed parts of a message stored with a gap, of the same message and not among
// them: it came after the message was stored. Only such a part makes a fully listed stored message a leftover.
bool latePart(const QList<pdu::InboxPart>& parts, const QList<int>& still, const InboxRecord& stored) {
    if (!stored.sms.contains(pdu::kMissingPart))
        return false;
    QList<Key> keys;
    for (const pdu::InboxPart& p : parts)
        if (still.contains(p.index) && waitsForSiblings(p) && !keys.contains(keyOf(p)))
            keys.append(keyOf(p));
    return std::any_of(parts.begin(), parts.end(),
                       [&](const pdu::InboxPart& p) { return !still.contains(p.index) && keys.contains(keyOf(p)); });
}

} // namespace

bool PduInboxStore::stampFirstSeen(QList<pdu::InboxPart>& parts, const QDateTime& now, QString* error) {
    QSqlDatabase db = m_ado->database();
    if (!db.transaction()) {
        if (error)
            *error = db.lastError().text();
        return false;
    }
    std::map<Key, Seen> seen;
    std::map<Key, QDateTime> listed;
    bool ok = readSeen(db, m_slot, &seen, error);
    for (pdu::InboxPart& p : parts) {
        if (!ok || !waitsForSiblings(p))
            continue;
        const Key key = keyOf(p);
        if (!listed.count(key))
            ok = firstSeenOf(db, m_slot, key, seen, now, &listed[key], error);
        p.firstSeen = listed[key];
    }
    // A message no longer listed was stored, or its parts went from the modem: its time goes.
    for (auto it = seen.begin(); ok && it != seen.end(); ++it)
        if (!listed.count(it->first))
            ok = exec(db, QStringLiteral("DELETE FROM dbSMS_PARTE WHERE rowid = ?"), {it->second.rowid}, error);
    if (ok && db.commit())
        return true;
    if (ok && error)
        *error = db.lastError().text();
    db.rollback();
    return false;
}

// A staged message of several parts that dbSMS already holds, whose parts the modem lists only in
// part: a reading deleted the others and stopped; or listed beside a part that came after it was
// stored with a gap (its deletions failed meanwhile). The parts still listed (same position, sender,
// and a text the stored message holds) are deleted, not stored again; the late part is stored on
// its own, with gaps where the stored parts stand.
bool PduInboxStore::takeLeftovers(QList<pdu::InboxPart>& parts, QList<SmsInboxStore::Pending>* leftovers,
                                  QList<InboxRecord>* keep, QString* error) {
    QList<SmsInboxStore::Staged> rows;
    if (!m_store->readStaged(&rows, error))
        return false;
    for (const SmsInboxStore::Staged& row : rows) {
        const QList<int> positions = distinct(PduInboxListing::indices(row.record.codigo));
        if (positions.size() < 2)
            continue;
        QList<int> still;
        for (const pdu::InboxPart& p : parts)
            if (positions.contains(p.index) && p.sender == row.record.fone && row.record.sms.contains(p.text))
                still.append(p.index);
        still = distinct(still);
        bool stored = false;
        if (still.isEmpty() || (still.size() == positions.size() && !latePart(parts, still, row.record)))
            continue;
        if (!m_store->alreadyStored(row.record, &stored, error))
            return false;
        if (!stored)
            continue;
        parts.removeIf([&](const pdu::InboxPart& p) { return still.contains(p.index); });
        leftovers->append({row.record, row.rowid, true, still});
        keep->append(row.record);
    }
    return true;
}

// A text-mode reading staged each listed message (each part, unjoined) with its position as CODIGO, its sender and
// the modem's time stamp in the modem's own writing, and the text as the modem's character set gave it. Of these
// only the position, the sender and the time the stamp names are read alike by both modes. A part they name whose
// staged message dbSMS holds was stored by that reading: it is only deleted.
bool PduInboxStore::takeTextLeftovers(QList<pdu::InboxPart>& parts, QList<SmsInboxStore::Pending>* leftovers,
                                      QList<InboxRecord>* keep, QString* error) {
    QList<SmsInboxStore::Staged> rows;
    if (!m_store->readStaged(&rows, error))
        return false;
    for (const SmsInboxStore::Staged& row : rows) {
        const QDateTime at = InboxListing::receivedAt(row.record.data);
        const auto named = std::find_if(parts.begin(), parts.end(), [&](const pdu::InboxPart& p) {
            const QString stamp = PduInboxListing::stampText(p.sent);
            return QString::number(p.index) == row.record.codigo && p.sender == row.record.fone &&
                   stamp != row.record.data && at.isValid() && InboxListing::receivedAt(stamp) == at;
        });
        if (named == parts.end())
            continue;
        bool stored = false;
        if (!m_store->alreadyStored(row.record, &stored, error))
            return false;
        if (!stored)
            continue;
        leftovers->append({row.record, row.rowid, true, {named->index}});
        keep->append(row.record);
        parts.erase(named);
    }
    return true;
}

bool PduInboxStore::plan(QList<pdu::InboxPart> parts, const QDateTime& now, Plan* out, QString* error) {
    QList<SmsInboxStore::Pending> leftovers;
    QList<InboxRecord> onModem;
    if (!stampFirstSeen(parts, now, error) || !takeTextLeftovers(parts, &leftovers, &onModem, error) ||
        !takeLeftovers(parts, &leftovers, &onModem, error))
        return false;
    const pdu::JoinResult joined = pdu::joinParts(parts, now);
    QList<InboxRecord> ready;
    for (const pdu::JoinedSms& sms : joined.ready)
        ready.append(recordOf(sms));
    const QSet<int> waiting(joined.waiting.begin(), joined.waiting.end());
    for (const pdu::InboxPart& p : parts)
        if (waiting.contains(p.index))
            onModem.append({QString::number(p.index), p.sender, PduInboxListing::stampText(p.sent), {}});
    QList<SmsInboxStore::Pending> staged;
    if (!m_store->stage(ready, onModem, &staged, error))
        return false;
    for (qsizetype i = 0; i < staged.size(); ++i)
        staged[i].parts = distinct(joined.ready[i].indices);
    out->pending = leftovers + staged;
    out->waiting = joined.waiting;
    return true;
}
