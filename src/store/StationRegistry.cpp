#include "store/StationRegistry.h"

#include "store/DataDir.h"
#include "store/PgSchema.h"
#include "store/SqlDialect.h"
#include "store/Station.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QVariant>

namespace {

QMutex& errorGuard() {
    static QMutex m;
    return m;
}

QString& lastError() {
    static QString text;
    return text;
}

// Grows with each recorded error, so that a stop writes an error the last beat did not.
quint64& errorVersion() {
    static quint64 version = 0;
    return version;
}

QString currentError(quint64* version = nullptr) {
    QMutexLocker lock(&errorGuard());
    if (version)
        *version = errorVersion();
    return lastError();
}

bool lineBreakOrControl(QChar c) {
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7f && u <= 0x9f) || u == 0x2028 || u == 0x2029;
}

QVariant orNull(const QString& text) {
    return text.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(text);
}

} // namespace

StationRegistry::StationRegistry(StoreLocation store, QString dataDir, QString version, int intervalMs)
    : m_store(std::move(store)), m_dataDir(std::move(dataDir)), m_version(std::move(version)),
      m_intervalMs(intervalMs) {}

StationRegistry::~StationRegistry() {
    stop();
}

void StationRegistry::start() {
    if (m_thread.joinable())
        return;
    m_stopping = false;
    m_thread = std::thread([this] { run(); });
}

void StationRegistry::stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void StationRegistry::recordError(const QString& text) {
    const QString clean = cleanError(text);
    QMutexLocker lock(&errorGuard());
    lastError() = clean;
    ++errorVersion();
}

QString StationRegistry::cleanError(const QString& text) {
    // Only what can be shown is looked at: a huge text costs no more than its head.
    QString head = text.left(kErrorChars * 4);
    for (QChar& c : head)
        if (lineBreakOrControl(c))
            c = QLatin1Char(' ');
    head = head.simplified();
    if (head.size() > kErrorChars) {
        // A character outside the basic plane is two units: never cut between them.
        const int cut = head.at(kErrorChars - 1).isHighSurrogate() ? kErrorChars - 1 : kErrorChars;
        head = head.left(cut).trimmed();
    }
    return head;
}

// The error a program could not write before it ended (the server away): the next program of this data folder
// writes it.
QString StationRegistry::pendingErrorPath() const {
    return m_dataDir.isEmpty() ? QString() : QDir(m_dataDir).filePath(QString::fromLatin1(kPendingErrorFile));
}

void StationRegistry::run() {
    const QString connection = QStringLiteral("vestral-estacao-%1").arg(quintptr(this));
    bool registered = false;
    const QString pendingPath = pendingErrorPath();
    if (!pendingPath.isEmpty() && currentError().isEmpty()) {
        QFile pending(pendingPath);
        if (pending.open(QIODevice::ReadOnly))
            recordError(QString::fromUtf8(pending.read(kErrorChars * 4)));
    }
    for (;;) {
        if (beat(connection, &registered))
            ++m_beats;
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_wake.wait_for(lock, std::chrono::milliseconds(m_intervalMs), [this] { return m_stopping; }))
            break;
    }
    // A short command that ended before the store had its schema still leaves its row, and one that failed
    // after the last beat leaves its error.
    quint64 version = 0;
    currentError(&version);
    // A connection the server dropped while it was away fails once and is opened again: a second try.
    for (int attempt = 0; attempt < 2 && (m_beats.load() == 0 || version != m_errorWritten); ++attempt)
        if (beat(connection, &registered))
            ++m_beats;
    if (!pendingPath.isEmpty()) {
        const QString error = currentError();
        if (version != m_errorWritten && !error.isEmpty()) {
            QFile pending(pendingPath);
            if (pending.open(QIODevice::WriteOnly | QIODevice::Truncate))
                pending.write(error.toUtf8());
        } else if (version == m_errorWritten) {
            QFile::remove(pendingPath);
        }
    }
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        db.close();
    }
    if (QSqlDatabase::contains(connection))
        QSqlDatabase::removeDatabase(connection);
}

// One beat: the connection (opened again after a failure), then the heartbeat, or the whole row when it is not
// there yet.
bool StationRegistry::beat(const QString& connection, bool* registered) {
    if (!QSqlDatabase::contains(connection)) {
        if (m_store.isPostgres()) {
            QString error;
            PgSchema::connect(m_store, connection, &error);
        } else {
            // The file is the data module's to create: a beat before it exists waits for the next one.
            const QString path = DataDir::databasePath(m_dataDir);
            if (!QFileInfo::exists(path))
                return false;
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(path);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
            db.open();
        }
    }
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    if (!db.isOpen() && !db.open()) {
        db.close();
        return false;
    }
    const QString now = SqlDialect::nowStamp(db);
    const QString name = Station::current();
    quint64 version = 0;
    const QString error = currentError(&version);
    QSqlQuery q(db);
    if (*registered) {
        q.prepare(QStringLiteral("UPDATE dbESTACAO SET BATIDA = %1, ERRO = ? WHERE NOME = ?").arg(now));
        q.addBindValue(orNull(error));
        q.addBindValue(name);
        if (q.exec() && q.numRowsAffected() > 0) {
            m_errorWritten = version;
            return true;
        }
        *registered = false;
    } else {
        q.prepare(
            QStringLiteral("INSERT INTO dbESTACAO (NOME, HOST, VERSAO, PID, INICIO, BATIDA, ERRO) "
                           "VALUES (?, ?, ?, ?, %1, %1, ?) ON CONFLICT (NOME) DO UPDATE SET HOST = excluded.HOST, "
                           "VERSAO = excluded.VERSAO, PID = excluded.PID, INICIO = excluded.INICIO, "
                           "BATIDA = excluded.BATIDA, ERRO = excluded.ERRO")
                .arg(now));
        q.addBindValue(name);
        q.addBindValue(QSysInfo::machineHostName());
        q.addBindValue(m_version);
        q.addBindValue(QCoreApplication::applicationPid());
        q.addBindValue(orNull(error));
        if (q.exec()) {
            *registered = true;
            m_errorWritten = version;
            return true;
        }
    }
    // The server may be away: the connection is opened again at the next beat.
    if (m_store.isPostgres())
        db.close();
    return false;
}
