#include "store/TADO.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "store/DataDir.h"
#include "store/Schema.h"
#include "store/SqlFunctions.h"

namespace {
TADO* g_instance = nullptr;
QMutex g_connMutex;

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
    dbPORTA->setTable("dbPORTA");
    dbPORTA_ATIVA->setTable("dbPORTA_ATIVA");
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
    d->setReadConnection([this] { return readDatabase(); });
    return d;
}

QList<Dataset*> TADO::queryDatasets() const {
    return {Query, dbHISTORICO, Query1, dbCLIENTE, dbATUALIZA, dbLIMPEZA, dbCONT};
}

QList<Dataset*> TADO::tableDatasets() const {
    return {dbGRUPO, dbCFG, dbMENSAGEM, dbPORTA, dbPORTA_ATIVA, dbSMS, dbSMS_BUFFER};
}

void TADO::wireEvents() {
    auto contacts = [this] {
        if (dbCLIENTE->isOpen())
            Q_EMIT contactsCountChanged(dbCLIENTE->recordCount());
    };
    for (auto sig : {&Dataset::afterInsert, &Dataset::afterDelete, &Dataset::afterPost, &Dataset::afterRefresh})
        connect(dbCLIENTE, sig, this, contacts);
    connect(dbHISTORICO, &Dataset::afterInsert, this, [this] {
        if (dbHISTORICO->isOpen())
            Q_EMIT historyCountChanged(dbHISTORICO->recordCount());
    });
    connect(dbCFG, &Dataset::afterPost, this, [this] { Q_EMIT autoSendChanged(dbCFG->boolean("AUTO")); });
}

QSqlDatabase TADO::readDatabase() {
    return connectionFor(connectionName() + "-r");
}

QString TADO::connectionName() const {
    // Thread ids are reused by the system; a per-thread serial is not.
    static std::atomic<quint64> serial{0};
    thread_local const quint64 threadSerial = ++serial;
    return QStringLiteral("vestral-%1-%2").arg(quintptr(this)).arg(threadSerial);
}

bool TADO::configure(QSqlDatabase& db, QString* error) {
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
    return connectionFor(connectionName());
}

QSqlDatabase TADO::connectionFor(const QString& name) {
    QMutexLocker lock(&g_connMutex);
    if (QSqlDatabase::contains(name))
        return QSqlDatabase::database(name, false);
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
    db.setDatabaseName(m_path);
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
    for (const QString& name : QStringList{connectionName(), connectionName() + "-r"}) {
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

TADO::StartResult TADO::start(const QString& dataDir) {
    StartResult r;
    m_path = DataDir::databasePath(dataDir);
    const QString fail = QStringLiteral("Não foi possível abrir o banco de dados %1:\r%2");
    QString folderError;
    if (!DataDir::prepare(dataDir, &folderError)) {
        r.error = fail.arg(m_path, QStringLiteral("a pasta de dados não pôde ser criada (%1).").arg(folderError));
        return r;
    }
    QFileInfo fi(m_path);
    r.created = !fi.exists() || fi.size() == 0;
    QString err;
    if (!fi.exists() && !createPrivateFile(m_path, &err)) {
        r.error = fail.arg(m_path, err);
        return r;
    }
    m_connectError.clear();
    database();
    if (!m_connectError.isEmpty()) {
        r.error = fail.arg(m_path, m_connectError);
        releaseThreadConnection();
        return r;
    }
    QSqlDatabase db = database();
    if (r.created) {
        err = Schema::createFresh(db);
        if (!err.isEmpty()) {
            r.error = fail.arg(m_path, err);
            return r;
        }
    }
    for (const QString& t : Schema::shippedTables()) {
        if (!Schema::hasTable(db, t)) {
            r.error = fail.arg(m_path, QStringLiteral("o arquivo não contém a tabela %1.").arg(t));
            return r;
        }
    }
    Schema::UpgradeResult up = Schema::upgrade(db);
    r.warnings = up.warnings;
    r.executed = up.executed;
    if (!up.fatalError.isEmpty()) {
        r.error = fail.arg(m_path, up.fatalError);
        return r;
    }
    dbATUALIZA->setSql("SELECT * FROM dbCFG");
    for (Dataset* d : queryDatasets() + tableDatasets()) {
        if (!d->open()) {
            r.error = fail.arg(m_path, d->name() + ": " + d->lastError());
            return r;
        }
    }
    r.ok = true;
    return r;
}
