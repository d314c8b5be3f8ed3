#include "store/StoreLock.h"

#include "store/PgSchema.h"
#include "store/Station.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

namespace {
// Any number, the same for every program; not the schema's (PgSchema takes that one per transaction).
constexpr qint32 kStationClass = 0x5653544e;
} // namespace

const char* const StoreLock::kInUse = "A estação %1 já está em uso no banco de dados %2.";
const char* const StoreLock::kInUseAt = "A estação %1 já está em uso em %2 (PID %3).";
const char* const StoreLock::kTakenOver = "A estação %1 em %2 não dava sinal havia %3 s: assumida por esta.";

StoreLock::StoreLock(StoreLocation store) : m_store(std::move(store)) {}

StoreLock::~StoreLock() {
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close(); // the session ends, and the server lets the lock go with it
    }
    QSqlDatabase::removeDatabase(m_connection);
}

bool StoreLock::tryLock() {
    if (!m_store.isPostgres())
        return true;
    if (m_connection.isEmpty()) {
        m_connection = QStringLiteral("vestral-trava-%1").arg(quintptr(this));
        QString error;
        QSqlDatabase db = PgSchema::connect(m_store, m_connection, &error);
        if (!error.isEmpty()) {
            m_message = error;
            return false;
        }
    }
    // One lock per station name: the two keys are the program's number and the name's hash.
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("SELECT pg_try_advisory_lock(%1, hashtext(?)), hashtext(?)").arg(kStationClass));
    q.addBindValue(Station::current());
    q.addBindValue(Station::current());
    if (!q.exec() || !q.next()) {
        m_message = q.lastError().text();
        return false;
    }
    if (q.value(0).toBool())
        return true;
    const qint32 key = q.value(1).toInt();
    if (takeOver(q, key))
        return true;
    if (!m_message.isEmpty())
        return false;
    m_message = QString::fromUtf8(kInUse).arg(Station::current(), m_store.shown()) + holder(q, key);
    return false;
}

// Who holds the lock, so that an administrator can end a session left by a machine that vanished from
// the network (the server only notices when the connection times out): " (em uso pela conexão de
// ADDRESS, processo do servidor PID)", or nothing when the server does not say.
QString StoreLock::holder(QSqlQuery& q, qint32 key) {
    const bool read = q.exec(QStringLiteral("SELECT coalesce(host(a.client_addr), 'local'), a.pid FROM pg_locks l "
                                            "JOIN pg_stat_activity a ON a.pid = l.pid WHERE l.locktype = 'advisory' "
                                            "AND l.granted AND l.classid = %1 AND l.objid = %2 AND l.objsubid = 2")
                                 .arg(quint32(kStationClass))
                                 .arg(quint32(key)));
    if (!read || !q.next())
        return {};
    return QStringLiteral(" (em uso pela conexão de %1, processo do servidor %2)")
        .arg(q.value(0).toString())
        .arg(q.value(1).toLongLong());
}

qint64 StoreLock::holderPid(QSqlQuery& q, qint32 key) {
    if (!q.exec(QStringLiteral("SELECT pid FROM pg_locks WHERE locktype = 'advisory' AND granted AND classid = %1 "
                               "AND objid = %2 AND objsubid = 2")
                    .arg(quint32(kStationClass))
                    .arg(quint32(key))) ||
        !q.next())
        return 0;
    return q.value(0).toLongLong();
}

// The holder's row in the stations table says where it runs and when it last gave a sign of life. A holder silent
// for longer than kSilentSeconds is a machine that vanished while the server still keeps its session: that session
// is ended (a role may end its own) and the name taken. Otherwise m_message names the holder (empty when the table
// has no row for the name: the caller then says what the server knows).
bool StoreLock::takeOver(QSqlQuery& q, qint32 key) {
    q.prepare(QStringLiteral("SELECT HOST, PID, CAST(EXTRACT(EPOCH FROM now() - to_timestamp(BATIDA, "
                             "'YYYY-MM-DD HH24:MI:SS')) AS BIGINT) FROM dbESTACAO WHERE NOME = ?"));
    q.addBindValue(Station::current());
    if (!q.exec() || !q.next())
        return false;
    const QString host = q.value(0).toString();
    const qint64 pid = q.value(1).toLongLong();
    const qint64 silent = q.value(2).isNull() ? -1 : q.value(2).toLongLong();
    if (silent <= kSilentSeconds) {
        m_message = QString::fromUtf8(kInUseAt).arg(Station::current(), host).arg(pid);
        return false;
    }
    // The server ends the session a moment after it is asked to; the lock goes with it.
    for (int attempt = 0; attempt < 50; ++attempt) {
        const qint64 backend = holderPid(q, key);
        if (backend > 0)
            q.exec(QStringLiteral("SELECT pg_terminate_backend(%1)").arg(backend));
        q.prepare(QStringLiteral("SELECT pg_try_advisory_lock(%1, ?)").arg(kStationClass));
        q.addBindValue(key);
        if (q.exec() && q.next() && q.value(0).toBool()) {
            m_notice = QString::fromUtf8(kTakenOver).arg(Station::current(), host).arg(silent);
            return true;
        }
        QThread::msleep(100);
    }
    m_message = QString::fromUtf8(kInUseAt).arg(Station::current(), host).arg(pid);
    return false;
}
