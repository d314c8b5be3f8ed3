#include "store/StoreWatcher.h"

#include "store/PgSchema.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <libpq-fe.h>

namespace {

// libpq's connection under Qt's driver; nullptr when closed.
PGconn* serverHandle(const QSqlDatabase& db) {
    if (!db.isValid() || !db.driver())
        return nullptr;
    const QVariant h = db.driver()->handle();
    if (qstrcmp(h.typeName(), "PGconn*") != 0 && qstrcmp(h.typeName(), "pg_conn*") != 0)
        return nullptr;
    return *static_cast<PGconn* const*>(h.constData());
}

QString countersText() {
    QStringList parts;
    for (const QString& table : PgSchema::watchedTables())
        parts << QStringLiteral("SELECT '%1', CASE WHEN is_called THEN last_value ELSE 0 END FROM %2")
                     .arg(table, PgSchema::changeCounter(table));
    return parts.join(QStringLiteral(" UNION ALL "));
}

// The watcher works on the window thread: a server that does not answer (the network gone, not refused) must
// not hold the window for the system's TCP time-outs. Its connection gives up on a connect after 2 s and on
// unanswered data after 5 s, unless the store's address sets these itself.
StoreLocation boundedWaits(StoreLocation store) {
    const QStringList bounds{"connect_timeout=2", "tcp_user_timeout=5000", "keepalives_idle=5", "keepalives_interval=2",
                             "keepalives_count=2"};
    for (const QString& bound : bounds) {
        const QString key = bound.section(u'=', 0, 0) + u'=';
        bool given = false;
        for (const QString& o : std::as_const(store.options))
            given = given || o.trimmed().startsWith(key);
        if (!given)
            store.options << bound;
    }
    return store;
}

} // namespace

StoreWatcher::StoreWatcher(const StoreLocation& store, QObject* parent)
    : QObject(parent), m_store(boundedWaits(store)), m_name(QStringLiteral("vestral-avisos-%1").arg(quintptr(this))) {
    m_gather.setSingleShot(true);
    m_gather.setInterval(kGatherMs);
    connect(&m_gather, &QTimer::timeout, this, &StoreWatcher::flush);
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &StoreWatcher::poll);
}

StoreWatcher::~StoreWatcher() {
    stop();
    if (QSqlDatabase::contains(m_name))
        QSqlDatabase::removeDatabase(m_name);
}

bool StoreWatcher::start() {
    if (!m_store.isPostgres())
        return false;
    m_poll.start();
    return connectNow();
}

void StoreWatcher::stop() {
    m_poll.stop();
    m_gather.stop();
    if (QSqlDatabase::contains(m_name)) {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    m_listening = false;
    m_pid = 0;
}

// Opens the connection, listens, and takes the counters as they are now. After a loss every table is
// reported: what changed while nobody listened is known only by reading it again.
bool StoreWatcher::connectNow() {
    QSqlDatabase db;
    m_error.clear();
    if (!QSqlDatabase::contains(m_name)) {
        db = PgSchema::connect(m_store, m_name, &m_error);
        connect(db.driver(), &QSqlDriver::notification, this,
                [this](const QString& channel, QSqlDriver::NotificationSource, const QVariant& payload) {
                    onNotification(channel, payload);
                });
    } else {
        db = QSqlDatabase::database(m_name, false);
        db.close();
        PgSchema::open(db, m_store, &m_error);
    }
    if (!db.isOpen())
        return false;
    QSqlQuery q(db);
    QHash<QString, qint64> counters;
    if (!db.driver()->subscribeToNotification(QString::fromLatin1(PgSchema::kChannel)) ||
        !q.exec(QStringLiteral("SELECT pg_backend_pid()")) || !q.next() || !readCounters(&counters)) {
        if (m_error.isEmpty())
            m_error = db.driver()->lastError().text();
        db.close();
        return false;
    }
    m_pid = q.value(0).toLongLong();
    m_counters = counters;
    m_recheck.clear();
    m_listening = true;
    if (m_everConnected) {
        ++m_reconnects;
        Q_EMIT connectionChanged(true, QString());
        gather(PgSchema::watchedTables());
    }
    m_everConnected = true;
    return true;
}

void StoreWatcher::drop(const QString& why) {
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    db.close(); // drops the subscription with it
    m_listening = false;
    m_pid = 0;
    m_error = why;
    Q_EMIT connectionChanged(false, why);
}

bool StoreWatcher::readCounters(QHash<QString, qint64>* counters) {
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    if (!q.exec(countersText())) {
        m_error = q.lastError().databaseText().trimmed();
        if (m_error.isEmpty())
            m_error = q.lastError().text();
        return false;
    }
    while (q.next())
        counters->insert(q.value(0).toString(), q.value(1).toLongLong());
    return true;
}

void StoreWatcher::poll() {
    if (!m_store.isPostgres())
        return;
    if (!m_listening) {
        connectNow(); // the next poll tries again
        return;
    }
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    PGconn* conn = serverHandle(db);
    QHash<QString, qint64> counters;
    if (!conn || PQstatus(conn) == CONNECTION_BAD || !readCounters(&counters)) {
        drop(QStringLiteral("Conexão com o banco de dados perdida: ") + m_error);
        connectNow();
        return;
    }
    QStringList moved(m_recheck.cbegin(), m_recheck.cend());
    m_recheck.clear();
    for (auto it = counters.cbegin(); it != counters.cend(); ++it) {
        if (m_counters.value(it.key(), it.value()) != it.value()) {
            m_recheck.insert(it.key());
            if (!moved.contains(it.key()))
                moved << it.key();
        }
    }
    m_counters = counters;
    if (!moved.isEmpty())
        gather(moved);
}

void StoreWatcher::onNotification(const QString& channel, const QVariant& payload) {
    if (channel != QLatin1String(PgSchema::kChannel))
        return;
    const QString table = payload.toString();
    for (const QString& t : PgSchema::watchedTables())
        if (t.compare(table, Qt::CaseInsensitive) == 0)
            gather({t});
}

void StoreWatcher::gather(const QStringList& tables) {
    for (const QString& t : tables)
        m_pending.insert(t);
    if (!m_gather.isActive())
        m_gather.start();
}

void StoreWatcher::flush() {
    if (m_pending.isEmpty())
        return;
    QStringList tables;
    for (const QString& t : PgSchema::watchedTables())
        if (m_pending.contains(t))
            tables << t;
    m_pending.clear();
    Q_EMIT tablesChanged(tables);
}
