#include "store/PgCopyWriter.h"

#include <QThread>

#include <libpq-fe.h>

namespace {

constexpr qsizetype kSendAt = 256 * 1024; // bytes gathered before they go to the server

QString serverText(PGconn* conn) {
    return QString::fromUtf8(PQerrorMessage(conn)).trimmed();
}

QByteArray quoted(const QString& value) {
    QByteArray v = value.toUtf8();
    v.replace('\\', "\\\\").replace('\'', "\\'");
    return '\'' + v + '\'';
}

// One statement whose result is expected to be `status`; "" or the server's text.
QString run(PGconn* conn, const char* sql, ExecStatusType status) {
    PGresult* r = PQexec(conn, sql);
    const bool ok = PQresultStatus(r) == status;
    QString error = ok ? QString() : QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
    if (!ok && error.isEmpty())
        error = serverText(conn);
    PQclear(r);
    return error;
}

} // namespace

PgCopyWriter::~PgCopyWriter() {
    cancel();
}

QByteArray PgCopyWriter::conninfo(const StoreLocation& where) {
    QByteArrayList parts;
    if (!where.host.isEmpty())
        parts << "host=" + quoted(where.host);
    parts << "port=" + QByteArray::number(where.port);
    if (!where.user.isEmpty())
        parts << "user=" + quoted(where.user);
    if (!where.database.isEmpty())
        parts << "dbname=" + quoted(where.database);
    for (const QString& option : where.options)
        parts << option.toUtf8(); // already keyword='value', as the driver takes them
    parts << "client_encoding='UTF8'";
    return parts.join(' ');
}

void PgCopyWriter::appendField(QByteArray* line, const QString& text) {
    if (text.isNull()) {
        line->append("\\N");
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    line->reserve(line->size() + utf8.size());
    for (const char c : utf8) {
        switch (c) {
        case '\\':
            line->append("\\\\");
            break;
        case '\t':
            line->append("\\t");
            break;
        case '\n':
            line->append("\\n");
            break;
        case '\r':
            line->append("\\r");
            break;
        case '\0':
            break; // a text column cannot hold it
        default:
            line->append(c);
        }
    }
}

QString PgCopyWriter::fail(const QString& what) {
    m_lost = m_conn && PQstatus(m_conn) == CONNECTION_BAD;
    close();
    return what.isEmpty() ? QStringLiteral("erro desconhecido") : what;
}

void PgCopyWriter::close() {
    if (m_conn)
        PQfinish(m_conn);
    m_conn = nullptr;
    m_buffer.clear();
}

QString PgCopyWriter::open(const StoreLocation& where, const QString& table, const QStringList& columns) {
    cancel();
    m_where = where;
    m_lost = false;
    m_transaction = 0;
    m_conn = PQconnectdb(conninfo(where).constData());
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const QString why = serverText(m_conn);
        close();
        m_lost = true;
        return QStringLiteral("Não foi possível conectar ao banco de dados %1: %2").arg(where.hostPort(), why);
    }
    QString error = run(m_conn, "BEGIN", PGRES_COMMAND_OK);
    if (error.isEmpty()) {
        PGresult* r = PQexec(m_conn, "SELECT txid_current()");
        if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1)
            m_transaction = QByteArray(PQgetvalue(r, 0, 0)).toLongLong();
        else
            error = serverText(m_conn);
        PQclear(r);
    }
    if (error.isEmpty()) {
        const QByteArray sql =
            QStringLiteral("COPY %1 (%2) FROM STDIN").arg(table, columns.join(QStringLiteral(", "))).toUtf8();
        error = run(m_conn, sql.constData(), PGRES_COPY_IN);
    }
    return error.isEmpty() ? QString() : fail(error);
}

QString PgCopyWriter::send(bool all) {
    if (m_buffer.isEmpty() || (!all && m_buffer.size() < kSendAt))
        return {};
    if (PQputCopyData(m_conn, m_buffer.constData(), int(m_buffer.size())) != 1)
        return fail(serverText(m_conn));
    m_buffer.clear();
    return {};
}

QString PgCopyWriter::add(const QStringList& fields) {
    if (!m_conn)
        return QStringLiteral("a gravação não está aberta");
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            m_buffer.append('\t');
        appendField(&m_buffer, fields.at(i));
    }
    m_buffer.append('\n');
    return send(false);
}

QString PgCopyWriter::commit() {
    if (!m_conn)
        return QStringLiteral("a gravação não está aberta");
    QString error = send(true);
    if (!error.isEmpty())
        return error;
    if (PQputCopyEnd(m_conn, nullptr) != 1)
        return fail(serverText(m_conn));
    // The COPY's own result (a refused row refuses them all), then the end of its stream.
    PGresult* r = PQgetResult(m_conn);
    if (PQresultStatus(r) != PGRES_COMMAND_OK)
        error = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
    PQclear(r);
    while ((r = PQgetResult(m_conn)))
        PQclear(r);
    if (!error.isEmpty())
        return fail(error);
    error = run(m_conn, "COMMIT", PGRES_COMMAND_OK);
    if (error.isEmpty()) {
        close();
        return {};
    }
    if (PQstatus(m_conn) != CONNECTION_BAD)
        return fail(error);
    // The answer was lost with the connection: ask the server, on a new one, what became of the transaction.
    // "in progress" while the server has not yet seen its client go, or is still writing the commit.
    close();
    m_lost = true;
    for (int waited = 0; waited <= 10000; waited += 100) {
        PGconn* again = PQconnectdb(conninfo(m_where).constData());
        QByteArray status;
        if (PQstatus(again) == CONNECTION_OK) {
            const QByteArray sql = "SELECT txid_status(" + QByteArray::number(m_transaction) + ")";
            PGresult* s = PQexec(again, sql.constData());
            if (PQresultStatus(s) == PGRES_TUPLES_OK && PQntuples(s) == 1)
                status = PQgetvalue(s, 0, 0);
            PQclear(s);
        }
        PQfinish(again);
        if (status == "committed") {
            m_lost = false;
            return {};
        }
        if (status == "aborted")
            return error;
        if (status != "in progress")
            break;
        QThread::msleep(100);
    }
    return QStringLiteral("não foi possível saber se a gravação foi concluída (%1)").arg(error);
}

void PgCopyWriter::cancel() {
    if (!m_conn)
        return;
    // Ending the COPY with an error makes the server drop every row of it; closing ends the transaction.
    PQputCopyEnd(m_conn, "cancelado");
    close();
}
