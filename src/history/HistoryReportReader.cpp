#include "history/HistoryReportReader.h"

#include <QSqlError>
#include <QSqlQuery>

namespace HistoryReport {

Reader::Reader(const QSqlDatabase& db, const HistorySearch::Filter& filter, bool withMessage, int pageRows)
    : m_db(db), m_filter(filter), m_withMessage(withMessage), m_pageRows(qMax(1, pageRows)) {}

// The search's own conditions: its statement less the SELECT, FROM and ORDER BY lines.
QString Reader::conditions() const {
    QStringList lines = HistorySearch::statementLines(m_filter);
    lines.removeIf([](const QString& l) {
        return l.startsWith(QLatin1String("SELECT")) || l.startsWith(QLatin1String("FROM")) ||
               l.startsWith(QLatin1String("ORDER BY"));
    });
    return lines.join(u'\n');
}

bool Reader::prepare(QSqlQuery& q, const QString& text) {
    q.setForwardOnly(true);
    if (!q.prepare(text)) {
        m_error = q.lastError().text();
        return false;
    }
    if (m_filter.usePeriod) {
        using HistorySearch::dayFirstBound;
        using HistorySearch::storeBound;
        q.bindValue(QStringLiteral(":Inicial"), storeBound(dayFirstBound(m_filter.fromDate, m_filter.fromTime)));
        q.bindValue(QStringLiteral(":Final"), storeBound(dayFirstBound(m_filter.toDate, m_filter.toTime)));
    }
    return true;
}

bool Reader::start() {
    QSqlQuery q(m_db);
    if (!prepare(q, QStringLiteral("SELECT COUNT(*), MAX(ID_HISTORICO) FROM dbHISTORICO\n") + conditions()))
        return false;
    if (!q.exec() || !q.next()) {
        m_error = q.lastError().text();
        return false;
    }
    m_total = q.value(0).toInt();
    m_maxId = q.value(1).toLongLong();
    m_read = 0;
    m_done = false;
    m_haveKey = false;
    return true;
}

bool Reader::next(QList<Row>* rows) {
    rows->clear();
    if (m_done || m_read >= m_total)
        return true;
    if (!readPage(rows))
        return false;
    m_done = rows->isEmpty();
    if (m_read + rows->size() > m_total)
        rows->resize(m_total - m_read);
    m_read += int(rows->size());
    return true;
}

bool Reader::readPage(QList<Row>* rows) {
    QString text =
        QStringLiteral("SELECT ID_HISTORICO, DATA, DESTINATARIO, TIPO, ENVIADO") +
        (m_withMessage ? QStringLiteral(", substr(MENSAGEM, 1, %1), ENTREGUE, STATUS_ENTREGA").arg(kMessagePrefix)
                       : QString()) +
        QStringLiteral("\nFROM dbHISTORICO\n") + conditions();
    // DATA is NOT NULL: the key (DATA, ID_HISTORICO) orders every row, and the index on DATA (which
    // ends with the row id) serves both the range and the order.
    if (m_haveKey)
        text += QStringLiteral("\nAND ((DATA, ID_HISTORICO) > (:Data, :Id))");
    text += QStringLiteral("\nORDER BY DATA ASC, ID_HISTORICO ASC");
    text += QStringLiteral("\nLIMIT %1").arg(m_pageRows);
    QSqlQuery q(m_db);
    if (!prepare(q, text))
        return false;
    if (m_haveKey) {
        q.bindValue(QStringLiteral(":Data"), m_lastData);
        q.bindValue(QStringLiteral(":Id"), m_lastId);
    }
    if (!q.exec()) {
        m_error = q.lastError().text();
        return false;
    }
    rows->reserve(m_pageRows);
    while (q.next()) {
        Row r;
        r.id = q.value(0).toLongLong();
        r.data = q.value(1).toString();
        r.destinatario = q.value(2).toString();
        r.tipo = q.value(3).toString();
        r.enviado = q.value(4).toLongLong() != 0;
        if (m_withMessage) {
            r.mensagem = q.value(5).toString();
            r.entregue = q.value(6).toString();
            r.statusEntrega = q.value(7).toString();
        }
        rows->append(std::move(r));
    }
    // next() false is the end or an error: tell them apart.
    if (q.lastError().isValid()) {
        m_error = q.lastError().text();
        return false;
    }
    if (!rows->isEmpty()) {
        m_haveKey = true;
        m_lastId = rows->last().id;
        m_lastData = rows->last().data;
    }
    return true;
}

} // namespace HistoryReport
