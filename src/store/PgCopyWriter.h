#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "store/StoreLocation.h"

struct pg_conn;

// Many rows into one table of a PostgreSQL server by COPY, on a connection of their own and in one transaction:
// every row is stored by commit(), none when the writer is cancelled, dropped, or its process killed before it.
// The rows stream to the server as they are added (no statement to parse, no round trip per batch), and the
// station's own connection stays free for whatever else runs meanwhile. A COMMIT whose answer is lost with the
// connection is looked up on a new one (txid_status), so a stored batch is not reported as failed.
class PgCopyWriter {
public:
    PgCopyWriter() = default;
    ~PgCopyWriter();
    PgCopyWriter(const PgCopyWriter&) = delete;
    PgCopyWriter& operator=(const PgCopyWriter&) = delete;

    // Connects, opens the transaction and starts COPY `table` (`columns`) FROM STDIN. "" or the error.
    QString open(const StoreLocation& where, const QString& table, const QStringList& columns);
    // One row, a field per column; a null QString is SQL NULL. "" or the error (the writer is then unusable).
    QString add(const QStringList& fields);
    // Ends the COPY and commits. "" when every row added is stored, else the error (nothing stored, or the
    // operator told that it could not be known).
    QString commit();
    // Abandons the rows: nothing of them is stored.
    void cancel();

    // True when the failure at hand came from the connection to the server being gone.
    bool connectionLost() const { return m_lost; }

    // A libpq connection string for `where`: its keywords quoted, never a password (libpq finds it itself).
    static QByteArray conninfo(const StoreLocation& where);
    // `text` in COPY's text format: backslash, tab, newline and carriage return escaped, NUL dropped.
    static void appendField(QByteArray* line, const QString& text);

private:
    QString fail(const QString& what);
    QString send(bool all);
    void close();

    StoreLocation m_where;
    pg_conn* m_conn = nullptr;
    QByteArray m_buffer;
    qint64 m_transaction = 0;
    bool m_lost = false;
};
