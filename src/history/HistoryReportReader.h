#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include "history/HistorySearch.h"

namespace HistoryReport {

// One history row as the report prints it.
struct Row {
    qint64 id = 0;
    QString data; // as stored: "yyyy-MM-dd HH:mm:ss"
    QString destinatario;
    QString tipo;
    QString mensagem;      // only for the full report
    QString entregue;      // ... so are the delivery time ("" while not delivered)
    QString statusEntrega; // ... and the delivery reports' state ("Entregue", "Pendente", "Falhou: ...")
    bool enviado = false;
};

// The rows of a history search in the search's order (DATA, ties by ID_HISTORICO), read a page of rows
// at a time. Every page is a statement run to its end and finished, keyed by the last row read, so
// nothing stays open on the connection between pages and memory holds one page whatever the row count.
// Rows stored after start() are left out, so the printed rows match the count printed in the title.
class Reader {
public:
    static constexpr int kPageRows = 1000;
    static constexpr int kMessagePrefix = 20000; // characters of MENSAGEM read: the cell shows one line

    Reader(const QSqlDatabase& db, const HistorySearch::Filter& filter, bool withMessage, int pageRows = kPageRows);

    // Counts the rows (COUNT(*)) and finds the highest ID; false with error().
    bool start();
    int total() const { return m_total; }
    qint64 maxId() const { return m_maxId; }
    // The next page of rows; an empty page at the end. False with error() when a statement fails.
    bool next(QList<Row>* rows);
    QString error() const { return m_error; }

private:
    QString conditions() const;
    bool prepare(class QSqlQuery& q, const QString& text);
    bool readPage(QList<Row>* rows);

    QSqlDatabase m_db;
    HistorySearch::Filter m_filter;
    bool m_withMessage;
    int m_pageRows;
    int m_total = 0;
    int m_read = 0;
    qint64 m_maxId = 0;
    bool m_done = false;
    bool m_haveKey = false;
    QString m_lastData;
    qint64 m_lastId = 0;
    QString m_error;
};

} // namespace HistoryReport
