#pragma once

#include <QSqlDatabase>
#include <QString>

class TADO;

// A COMMIT whose answer was lost with the connection to the server: the server may have stored the whole
// transaction or none of it, and the program cannot tell from the broken connection. The transaction's id,
// read before the COMMIT, settles it afterwards on a new connection (txid_status), so a build or an import
// that was stored is not reported as failed, and done again, twice.
class ServerCommit {
public:
    // Call inside the transaction, before its COMMIT: this transaction's id on a PostgreSQL server, 0 on the
    // SQLite file (whose commit cannot lose its answer) or when the server does not say.
    static qint64 transactionId(QSqlDatabase& db);

    enum class Outcome { Committed, NotCommitted, Unknown };
    // What became of the transaction `id` whose connection was lost, asked on this thread's new connection.
    // A transaction still "in progress" is asked again for up to `waitMs` (the server may not yet have noticed
    // its client gone, or may be writing the commit); Unknown when the server cannot be reached or will not say.
    static Outcome outcome(TADO* ado, qint64 id, int waitMs = 10000);

    // Commits `db`; true when the transaction is stored, including when the answer was lost but the server
    // says it was committed. On false, *error has the server's reason (and the operator's wording when the
    // outcome could not be learned).
    static bool commit(TADO* ado, QSqlDatabase& db, qint64 id, QString* error);
};
