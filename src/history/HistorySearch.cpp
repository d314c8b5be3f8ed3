#include "history/HistorySearch.h"

#include "store/Dataset.h"

namespace HistorySearch {

QStringList statementLines(const Filter& filter) {
    QStringList lines{"SELECT *", "FROM dbHISTORICO", "WHERE (ID_HISTORICO <> -1)"};
    if (filter.usePeriod)
        lines << "AND (dbHISTORICO.DATA BETWEEN :Inicial and :Final)";
    if (filter.outcome == Outcome::Sent)
        lines << "AND (dbHISTORICO.ENVIADO = True)";
    else if (filter.outcome == Outcome::Failed)
        lines << "AND (dbHISTORICO.ENVIADO = False)";
    if (filter.channel == Channel::Sms)
        lines << "AND (dbHISTORICO.TIPO = 'SMS')";
    else if (filter.channel == Channel::Email)
        lines << "AND (dbHISTORICO.TIPO = 'E-Mail')";
    lines << "ORDER BY DATA ASC";
    return lines;
}

QString dayFirstBound(const QDate& date, const QTime& time) {
    return date.toString("dd-MM-yyyy") + QLatin1Char(' ') + time.toString("HH:mm:ss");
}

QString storeBound(const QString& dayFirst) {
    // Date and time are read apart: a local midnight that a daylight-saving change skips is
    // still a valid bound for text stored without a zone.
    const QStringList parts = dayFirst.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 2)
        return {};
    const QDate date = QDate::fromString(parts[0], "dd-MM-yyyy");
    const QTime time = QTime::fromString(parts[1], "HH:mm:ss");
    if (!date.isValid() || !time.isValid())
        return {};
    return date.toString("yyyy-MM-dd") + QLatin1Char(' ') + time.toString("HH:mm:ss");
}

bool run(Dataset* history, const Filter& filter, QString* error) {
    history->close();
    history->setSql(statementLines(filter));
    history->clearBindings();
    if (filter.usePeriod) {
        history->bindValue(":Inicial", storeBound(dayFirstBound(filter.fromDate, filter.fromTime)));
        history->bindValue(":Final", storeBound(dayFirstBound(filter.toDate, filter.toTime)));
    }
    if (!history->open()) {
        if (error)
            *error = history->lastError();
        return false;
    }
    return true;
}

QString totalText(int count) {
    return QStringLiteral("Total de Registros: %1").arg(count);
}

} // namespace HistorySearch
