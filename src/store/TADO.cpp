#include "store/TADO.h"

#include "store/Station.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaMethod>
#include <QMutex>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QTimeZone>
#include <QTimer>
#include <atomic>
#include <fcntl.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "store/DataDir.h"
#include "store/Integrity.h"
#include "store/PgSchema.h"
#include "store/Schema.h"
#include "store/SqlFunctions.h"
#include "store/StatusSink.h"

namespace {
TADO* g_instance = nullptr;
QMutex g_connMutex;

thread_local quint64 t_reconnects = 0;

// libpq's connection under Qt's driver; nullptr for the SQLite file or a closed connection.
PGconn* serverHandle(const QSqlDatabase& db) {
    if (!db.isValid() || !db.driver())
        return nullptr;
    const QVariant h = db.driver()->handle();
    // Qt names the type as libpq declares it (struct pg_conn).
    if (qstrcmp(h.typeName(), "PGconn*") != 0 && qstrcmp(h.typeName(), "pg_conn*") != 0)
        return nullptr;
    return *static_cast<PGconn* const*>(h.constData());
}

// A connection whose server went away is known to libpq only once it reads from it. When nothing is under
// way on it, what the server left on the socket (its last message, then the end of the stream) is read
// here without waiting: libpq's socket never blocks.
bool serverGone(PGconn* conn) {
    if (!conn)
        return false;
    for (int i = 0; i < 2 && PQstatus(conn) == CONNECTION_OK && PQtransactionStatus(conn) == PQTRANS_IDLE; ++i)
        if (!PQconsumeInput(conn))
            break;
    return PQstatus(conn) == CONNECTION_BAD;
}

const QStringList kScratch{"SELECT ID_CLIENTE", "FROM dbCLIENTE", "WHERE ID_CLIENTE = 0"};

// Creates the file with owner-only permissions: it keeps the SMTP password.
bool createPrivateFile(const QString& path, QString* error) {
    const QByteArray native = QFile::encodeName(path);
    int fd = ::open(native.constData(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    ::fchmod(fd, 0600);
    ::close(fd);
    return true;
}

// A write that is rolled back: a file the program may not write is refused here, with SQLite's
// reason, and not later as a port that seems dead or a send that seems to fail.
QString writeProbe(QSqlDatabase& db) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return q.lastError().text();
    QString error;
    if (!q.exec(QStringLiteral("CREATE TABLE vestral_prova_escrita (x)")))
        error = q.lastError().text();
    q.exec(QStringLiteral("ROLLBACK"));
    return error;
}

// The same proof on a PostgreSQL server: a read-only role, a standby or a read-only default transaction
// refuse the update even when it touches no row.
QString serverWriteProbe(QSqlDatabase& db) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("BEGIN")))
        return q.lastError().text();
    QString error;
    if (!q.exec(QStringLiteral("UPDATE dbCFG SET EMPRESA = EMPRESA WHERE 1 = 0")))
        error = q.lastError().databaseText().trimmed();
    q.exec(QStringLiteral("ROLLBACK"));
    return error;
}
} // namespace

TADO::TADO(QObject* parent) : QObject(parent) {
    g_instance = this;
    dbGRUPO = makeDataset("dbGRUPO");
    dbCFG = makeDataset("dbCFG");
    Query = makeDataset("Query");
    dbHISTORICO = makeDataset("dbHISTORICO");
    Query1 = makeDataset("Query1");
    dbMENSAGEM = makeDataset("dbMENSAGEM");
    dbPORTA = makeDataset("dbPORTA");
    dbPORTA_ATIVA = makeDataset("dbPORTA_ATIVA");
    dbCLIENTE = makeDataset("dbCLIENTE");
    dbATUALIZA = makeDataset("dbATUALIZA");
    dbLIMPEZA = makeDataset("dbLIMPEZA");
    dbCONT = makeDataset("dbCONT");
    dbSMS = makeDataset("dbSMS");
    dbSMS_BUFFER = makeDataset("dbSMS_BUFFER");

    dbGRUPO->setTable("dbGRUPO");
    dbCFG->setTable("dbCFG");
    Query->setSql(kScratch);
    dbHISTORICO->setSql({"SELECT *", "FROM dbHISTORICO", "WHERE ID_HISTORICO = -1", "ORDER BY DATA ASC"});
    dbHISTORICO->setUpdateTable("dbHISTORICO", "ID_HISTORICO");
    Query1->setSql(kScratch);
    dbMENSAGEM->setTable("dbMENSAGEM", "ID");
    dbPORTA->setTable("dbPORTA", "ID");
    dbPORTA->setTableFilter("ESTACAO = :estacao");
    dbPORTA_ATIVA->setTable("dbPORTA_ATIVA");
    dbPORTA_ATIVA->setTableFilter("(ESTACAO IS NULL OR ESTACAO = :estacao)");
    dbCLIENTE->setSql({"SELECT *", "FROM dbCLIENTE", "ORDER BY NOME ASC"});
    dbCLIENTE->setUpdateTable("dbCLIENTE", "ID_CLIENTE");
    dbLIMPEZA->setSql({"SELECT *", "FROM dbCFG"});
    dbCONT->setSql("SELECT * FROM dbCFG");
    dbSMS->setTable("dbSMS");
    dbSMS_BUFFER->setTable("dbSMS_BUFFER");
    wireEvents();
}

TADO::~TADO() {
    for (Dataset* d : queryDatasets() + tableDatasets())
        d->close();
    QMutexLocker lock(&g_connMutex);
    for (const QString& name : std::as_const(m_connections))
        QSqlDatabase::removeDatabase(name);
    if (g_instance == this)
        g_instance = nullptr;
}

TADO* TADO::instance() {
    return g_instance;
}

Dataset* TADO::makeDataset(const QString& name) {
    auto* d = new Dataset(
        name, [this] { return database(); }, this);
    return d;
}

QList<Dataset*> TADO::queryDatasets() const {
    return {Query, dbHISTORICO, Query1, dbCLIENTE, dbATUALIZA, dbLIMPEZA, dbCONT};
}

QList<Dataset*> TADO::tableDatasets() const {
    return {dbGRUPO, dbCFG, dbMENSAGEM, dbPORTA, dbPORTA_ATIVA, dbSMS, dbSMS_BUFFER};
}

void TADO::wireEvents() {
    // A count nobody shows (the commands) is not read: over a million contacts it costs a COUNT(*).
    auto contacts = [this] {
        if (dbCLIENTE->isOpen() && isSignalConnected(QMetaMethod::fromSignal(&TADO::contactsCountChanged)))
            Q_EMIT contactsCountChanged(dbCLIENTE->recordCount());
    };
    for (auto sig : {&Dataset::afterInsert, &Dataset::afterDelete, &Dataset::afterPost, &Dataset::afterRefresh})
        connect(dbCLIENTE, sig, this, contacts);
    connect(dbHISTORICO, &Dataset::afterInsert, this, [this] {
        if (dbHISTORICO->isOpen() && isSignalConnected(QMetaMethod::fromSignal(&TADO::historyCountChanged)))
            Q_EMIT historyCountChanged(dbHISTORICO->recordCount());
    });
    connect(dbCFG, &Dataset::afterPost, this, [this] { Q_EMIT autoSendChanged(dbCFG->boolean("AUTO")); });
    // A dataset left alone by a re-read while the operator edited it is read once the edit is over (after the
    // post or cancel that ended it has returned).
    for (Dataset* d : queryDatasets() + tableDatasets()) {
        connect(d, &Dataset::stateChanged, this, [this, d] {
            if (d->state() != Dataset::State::Browse || !m_readAfterEdit.contains(d))
                return;
            QTimer::singleShot(0, d, [this, d] {
                if (d->state() == Dataset::State::Browse && m_readAfterEdit.remove(d))
                    rereadTables({d->sourceTable()});
            });
        });
    }
}

void TADO::rereadTables(const QStringList& tables) {
    for (Dataset* d : queryDatasets() + tableDatasets()) {
        const QString table = d->sourceTable();
        if (table.isEmpty() || !d->isOpen() || !tables.contains(table, Qt::CaseInsensitive))
            continue;
        if (d->state() != Dataset::State::Browse) {
            m_readAfterEdit.insert(d); // a re-read now would cancel the operator's edit
            continue;
        }
        if (!d->refresh())
            continue; // readError told the page
        if (d == dbMENSAGEM)
            StatusSink::instance()->setPanel(StatusSink::Outbox,
                                             QStringLiteral("SMS para envio: %1").arg(d->recordCount()));
        if (d == dbHISTORICO && isSignalConnected(QMetaMethod::fromSignal(&TADO::historyCountChanged)))
            Q_EMIT historyCountChanged(d->recordCount());
    }
}

QString TADO::connectionName() const {
    // Thread ids are reused by the system; a per-thread serial is not.
    static std::atomic<quint64> serial{0};
    thread_local const quint64 threadSerial = ++serial;
    return QStringLiteral("vestral-%1-%2").arg(quintptr(this)).arg(threadSerial);
}

bool TADO::configure(QSqlDatabase& db, QString* error) {
    if (m_store.isPostgres()) {
        // libpq's own reason (it never holds the password); the driver's prefix says nothing more.
        if (!PgSchema::open(db, m_store, error))
            return false;
        // Stamps are written by the server in the station's local time, as SQLite writes them; a zone the
        // server does not know leaves the server's own.
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT set_config('TimeZone', ?, false)"));
        q.addBindValue(QString::fromUtf8(QTimeZone::systemTimeZoneId()));
        q.exec();
        return true;
    }
    db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=15000");
    if (!db.open()) {
        *error = db.lastError().text();
        return false;
    }
    QSqlQuery q(db);
    // A file that is not a database fails on its first read, not on open.
    if (!q.exec("SELECT count(*) FROM sqlite_master")) {
        *error = q.lastError().text();
        return false;
    }
    q.exec("PRAGMA journal_mode=WAL");
    q.exec("PRAGMA synchronous=FULL");
    SqlFunctions::installUnicodeLike(db);
    return true;
}

QSqlDatabase TADO::database() {
    QSqlDatabase db = connectionFor(connectionName());
    if (m_store.isPostgres())
        reopenIfGone(db);
    return db;
}

// A connection to the server that is gone is closed and opened again (the server undid its open
// transaction); while the server is still away every operation fails at once with libpq's reason.
bool TADO::reopenIfGone(QSqlDatabase& db) {
    if (db.isOpen() && !serverGone(serverHandle(db)))
        return false;
    db.close();
    QString error;
    if (configure(db, &error))
        ++t_reconnects;
    return true;
}

bool TADO::connectionLost() {
    if (!m_store.isPostgres())
        return false;
    QSqlDatabase db = connectionFor(connectionName());
    PGconn* conn = serverHandle(db);
    return !db.isOpen() || !conn || PQstatus(conn) == CONNECTION_BAD;
}

bool TADO::inTransaction() {
    QSqlDatabase db = connectionFor(connectionName());
    if (!db.isOpen() || !db.driver())
        return false;
    if (PGconn* conn = serverHandle(db))
        return PQtransactionStatus(conn) != PQTRANS_IDLE && PQtransactionStatus(conn) != PQTRANS_UNKNOWN;
    const QVariant h = db.driver()->handle();
    if (qstrcmp(h.typeName(), "sqlite3*") != 0)
        return false;
    sqlite3* file = *static_cast<sqlite3* const*>(h.constData());
    return file && !sqlite3_get_autocommit(file);
}

quint64 TADO::reconnects() {
    return t_reconnects;
}

QString TADO::failureText(const QString& reason, quint64 reconnectsBefore) {
    if (!connectionLost() && reconnects() == reconnectsBefore)
        return reason;
    static const QString prefix = QStringLiteral("Conexão com o banco de dados perdida: ");
    return reason.startsWith(prefix) ? reason : prefix + reason.trimmed();
}

QString TADO::transact(const std::function<QString()>& work, const std::function<bool()>& alreadyStored) {
    if (inTransaction())
        return work();
    QString error;
    for (int attempt = 0; attempt < 2; ++attempt) {
        QSqlDatabase db = database();
        const quint64 before = reconnects();
        if (!db.transaction()) {
            error = db.lastError().text();
        } else {
            error = work();
            // Statements after a loss ran on a new connection, outside this transaction: not committed as one.
            if (error.isEmpty() && reconnects() != before)
                error = QStringLiteral("a conexão foi aberta de novo no meio da transação");
            if (error.isEmpty() && !db.commit())
                error = db.lastError().text();
            if (error.isEmpty())
                return {};
            db.rollback();
        }
        const bool lost = connectionLost() || reconnects() != before;
        error = failureText(error, before);
        if (!lost || attempt == 1)
            return error;
        // The commit may have reached the server before the connection went: then it is not done twice.
        database();
        if (connectionLost())
            return error;
        if (alreadyStored && alreadyStored())
            return {};
    }
    return error;
}

QSqlDatabase TADO::connectionFor(const QString& name) {
    QMutexLocker lock(&g_connMutex);
    if (QSqlDatabase::contains(name))
        return QSqlDatabase::database(name, false);
    QSqlDatabase db = QSqlDatabase::addDatabase(m_store.isPostgres() ? "QPSQL" : "QSQLITE", name);
    if (m_store.isPostgres()) {
        db.setHostName(m_store.host);
        db.setPort(m_store.port);
        db.setUserName(m_store.user);
        db.setDatabaseName(m_store.database);
        db.setConnectOptions(m_store.connectOptions());
    } else {
        db.setDatabaseName(m_path);
    }
    m_connections << name;
    lock.unlock();
    QString error;
    if (!configure(db, &error)) {
        m_connectError = error.isEmpty() ? QStringLiteral("erro desconhecido") : error;
    }
    return db;
}

void TADO::releaseThreadConnection() {
    QMutexLocker lock(&g_connMutex);
    for (const QString& name : QStringList{connectionName()}) {
        if (!QSqlDatabase::contains(name))
            continue;
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        m_connections.removeAll(name);
    }
}

bool TADO::resetCounter(const QString& table, QString* error) {
    QSqlDatabase db = database();
    return Schema::resetCounter(db, table, error);
}

// The text of a failure at start: a damaged file says what to do about it.
QString TADO::startError(const QString& error) const {
    if (m_store.isPostgres())
        return QStringLiteral("Não foi possível abrir o banco de dados %1:\r%2").arg(m_store.shown(), error);
    return QStringLiteral("Não foi possível abrir o banco de dados %1:\r%2")
        .arg(m_path, Integrity::isDamage(error) ? Integrity::damagedText({error}) : error);
}

bool TADO::openFile(const QString& dataDir, StartResult* r) {
    QString folderError;
    if (!DataDir::prepare(dataDir, &folderError)) {
        r->error = startError(QStringLiteral("a pasta de dados não pôde ser criada (%1).").arg(folderError));
        return false;
    }
    QFileInfo fi(m_path);
    r->created = !fi.exists() || fi.size() == 0;
    QString err;
    if (!fi.exists() && !createPrivateFile(m_path, &err)) {
        r->error = startError(err);
        return false;
    }
    m_connectError.clear();
    database();
    if (!m_connectError.isEmpty()) {
        r->error = startError(m_connectError);
        releaseThreadConnection();
        return false;
    }
    return true;
}

// A PostgreSQL store: the connection (the server's reason when it fails), then the schema.
bool TADO::openServer(const QString& dataDir, StartResult* r) {
    QString folderError;
    if (!DataDir::prepare(dataDir, &folderError)) {
        r->error = startError(QStringLiteral("a pasta de dados não pôde ser criada (%1).").arg(folderError));
        return false;
    }
    m_connectError.clear();
    database();
    if (!m_connectError.isEmpty()) {
        r->error = m_connectError;
        releaseThreadConnection();
        return false;
    }
    return true;
}

bool TADO::preparePostgres(StartResult* r) {
    QSqlDatabase db = database();
    const PgSchema::Prepared p = PgSchema::prepare(db);
    r->created = p.created;
    r->executed = p.executed;
    if (!p.error.isEmpty()) {
        r->error = startError(p.error);
        return false;
    }
    return true;
}

bool TADO::prepareSchema(StartResult* r) {
    QSqlDatabase db = database();
    if (m_store.isPostgres())
        return preparePostgres(r);
    if (r->created) {
        const QString err = Schema::createFresh(db);
        if (!err.isEmpty()) {
            r->error = startError(err);
            return false;
        }
    }
    for (const QString& t : Schema::shippedTables()) {
        if (!Schema::hasTable(db, t)) {
            r->error = startError(QStringLiteral("o arquivo não contém a tabela %1.").arg(t));
            return false;
        }
    }
    Schema::UpgradeResult up = Schema::upgrade(db);
    r->warnings = up.warnings;
    r->executed = up.executed;
    if (!up.fatalError.isEmpty()) {
        r->error = startError(up.fatalError);
        return false;
    }
    return true;
}

TADO::StartResult TADO::start(const QString& dataDir, Access access) {
    StartResult r;
    m_dataDir = dataDir;
    m_path = DataDir::databasePath(dataDir);
    if (m_store.isPostgres() ? !openServer(dataDir, &r) : !openFile(dataDir, &r))
        return r;
    if (access == Access::ReadWrite && !m_store.isPostgres()) {
        QSqlDatabase db = database();
        const QString refused = writeProbe(db);
        if (!refused.isEmpty()) {
            r.error = Integrity::writeErrorText(refused);
            return r;
        }
    }
    if (!prepareSchema(&r))
        return r;
    if (access == Access::ReadWrite && m_store.isPostgres()) {
        QSqlDatabase db = database();
        const QString refused = serverWriteProbe(db);
        if (!refused.isEmpty()) {
            r.error = Integrity::writeErrorText(refused);
            return r;
        }
    }
    if (access == Access::ReadWrite) {
        QSqlDatabase db = database();
        QString slotsError;
        if (!Schema::adoptStationSlots(db, Station::current(), &slotsError)) {
            r.error = startError(slotsError);
            return r;
        }
    }
    // This station's slots only (several stations share a server store); an active-list row written without a
    // station (by an older program) counts as this one's.
    for (Dataset* d : {dbPORTA, dbPORTA_ATIVA})
        d->bindValue(QStringLiteral(":estacao"), Station::current());
    dbATUALIZA->setSql("SELECT * FROM dbCFG");
    for (Dataset* d : queryDatasets() + tableDatasets()) {
        if (!d->open()) {
            r.error = Integrity::isDamage(d->lastError()) ? startError(d->lastError())
                                                          : startError(d->name() + ": " + d->lastError());
            return r;
        }
    }
    r.ok = true;
    return r;
}
