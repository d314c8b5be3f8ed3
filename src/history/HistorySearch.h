#pragma once

#include <QDateTime>
#include <QStringList>

class Dataset;

// The history search: which rows of `dbHISTORICO` the page, the report and the failed-contact
// actions work on. The statement is built line by line; the period bounds are bound parameters.
namespace HistorySearch {

enum class Outcome { All, Sent, Failed }; // "Todos" / "Enviado" / "Não Enviado"
enum class Channel { All, Sms, Email };   // "Todos" / "SMS" / "E-Mail"

struct Filter {
    bool usePeriod = false; // "Histórico no período:"
    QDate fromDate;
    QTime fromTime;
    QDate toDate;
    QTime toTime;
    Outcome outcome = Outcome::All;
    Channel channel = Channel::All;
};

// The statement's lines, in order, ending with "ORDER BY DATA ASC".
QStringList statementLines(const Filter& filter);

// A bound as the operator gives it ("dd-mm-yyyy hh:mm:ss") in the form the store compares
// ("yyyy-MM-dd HH:mm:ss"); empty when it does not read.
QString storeBound(const QString& dayFirst);
// The day-first text of a picker's date and time.
QString dayFirstBound(const QDate& date, const QTime& time);

// Replaces the history result set with the search result. Returns false with *error set when the
// statement fails (the result set is then closed).
bool run(Dataset* history, const Filter& filter, QString* error);

// "Total de Registros: N", the page's status line.
QString totalText(int count);

} // namespace HistorySearch
