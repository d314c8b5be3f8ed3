#pragma once

#include <QObject>
#include <QSet>
#include <QSqlDatabase>
#include <QStringList>
#include <functional>

#include "store/Dataset.h"
#include "store/StoreLocation.h"

// The data module: owns the database file, one connection per thread that touches it, and the
// named datasets every page works through. Created first at start-up and kept for the whole run.
class TADO : public QObject {
    Q_OBJECT
public:
    explicit TADO(QObject* parent = nullptr);
    ~TADO() override;

    static TADO* instance();

    struct StartResult {
        bool ok = false;
        bool created = false; // the file did not exist and was made with the first-run contents
        QString error;        // when !ok: the Portuguese text for the operator
        QStringList warnings; // "Erro - Criando Coluna ..." of the upgrade
        QStringList executed; // upgrade statements run
    };
    // ReadWrite proves at start that the file can be written (a write that is rolled back), so
    // a read-only file is said at once; ReadOnly, for commands that only read, skips that proof.
    enum class Access { ReadWrite, ReadOnly };
    // Opens (creating or upgrading) BDSMS.db in dataDir and opens every dataset.
    StartResult start(const QString& dataDir, Access access = Access::ReadWrite);

    // The SQLite file; empty when the store is a PostgreSQL database.
    QString databasePath() const { return m_store.isPostgres() ? QString() : m_path; }
    // The data folder start() was given (files the store keeps beside the database go there).
    const QString& dataDir() const { return m_dataDir; }

    // Where the data lives: the SQLite file of the data folder, or a PostgreSQL database. Taken from
    // StoreLocation::current() when the module is made; set before start() to choose another.
    const StoreLocation& store() const { return m_store; }
    void setStore(const StoreLocation& store) { m_store = store; }

    // This thread's connection to the database file (made on first use). A connection to a PostgreSQL
    // server that is found gone (the server stopped or restarted, the network dropped) is opened again here,
    // so the operation after a lost one works once the server is back.
    QSqlDatabase database();
    // True when this thread's connection to the server is gone: the failure at hand came from that, and the
    // next database() opens a new one. Always false on the SQLite file.
    bool connectionLost();
    // True while this thread's connection is inside a transaction.
    bool inTransaction();
    // How many times this thread's connection was opened again after it was lost.
    static quint64 reconnects();
    // The operator's text of a failure: "Conexão com o banco de dados perdida: " and the reason when this
    // thread's connection is gone (or was opened again since `reconnectsBefore`), the reason alone otherwise.
    QString failureText(const QString& reason, quint64 reconnectsBefore = reconnects());

    // Runs `work` (the statements of one transaction; "" or the error) in a transaction of its own on this
    // thread's connection, or inside the caller's when one is open. When the connection drops under it the
    // server undoes the whole transaction, so it is run once more on a new connection, unless
    // `alreadyStored` says the work reached the disk (a commit whose answer was lost). "" or the error; a
    // second loss gives "Conexão com o banco de dados perdida: …" and nothing of the work is stored.
    QString transact(const std::function<QString()>& work, const std::function<bool()>& alreadyStored = {});
    // Drops this thread's connections; a worker calls it before it ends.
    void releaseThreadConnection();

    // Restarts a table's auto-number (the next insert gets key 1 after the table was emptied).
    bool resetCounter(const QString& table, QString* error = nullptr);

    Dataset* dbGRUPO;
    Dataset* dbCFG;
    Dataset* Query;
    Dataset* dbHISTORICO;
    Dataset* Query1;
    Dataset* dbMENSAGEM;
    Dataset* dbPORTA;
    Dataset* dbPORTA_ATIVA;
    Dataset* dbCLIENTE;
    Dataset* dbATUALIZA;
    Dataset* dbLIMPEZA;
    Dataset* dbCONT;
    Dataset* dbSMS;
    Dataset* dbSMS_BUFFER;

    // Reads again the open datasets whose rows come from `tables` (changed by another station or connection),
    // each keeping its current row, and says the new counts on the status bar. A dataset the operator is
    // editing or inserting into is left alone and read once the edit is posted or cancelled.
    void rereadTables(const QStringList& tables);

    QList<Dataset*> queryDatasets() const;
    QList<Dataset*> tableDatasets() const;

Q_SIGNALS:
    void contactsCountChanged(int count); // status panel 1
    void historyCountChanged(int count);  // status panel 4
    void autoSendChanged(bool enabled);   // the scheduled-send timer

private:
    Dataset* makeDataset(const QString& name);
    QString connectionName() const;
    QSqlDatabase connectionFor(const QString& name);
    bool configure(QSqlDatabase& db, QString* error);
    bool reopenIfGone(QSqlDatabase& db);
    bool openFile(const QString& dataDir, StartResult* r);
    bool openServer(const QString& dataDir, StartResult* r);
    bool preparePostgres(StartResult* r);
    bool prepareSchema(StartResult* r);
    QString startError(const QString& error) const;
    void wireEvents();

    QString m_path;
    QString m_dataDir;
    StoreLocation m_store = StoreLocation::current();
    QString m_connectError;
    QStringList m_connections;
    QSet<Dataset*> m_readAfterEdit;
};
