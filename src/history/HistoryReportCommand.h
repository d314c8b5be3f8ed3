#pragma once

#include <QString>
#include <QTextStream>

#include "history/HistoryReport.h"
#include "history/HistorySearch.h"

class TADO;

// `vestral-sms --report FILE.pdf [--full] [--from DD/MM/YYYY] [--to DD/MM/YYYY]
//  [--outcome all|sent|failed] [--channel all|sms|email]`: the history search of the page, written
// as the chosen report to a PDF file.
namespace HistoryReportCommand {

struct Request {
    QString file;
    HistoryReport::Form form = HistoryReport::Form::Resumido;
    HistorySearch::Filter filter; // the period covers whole days when --from or --to is given
};

// The period of --from/--to: on when either is valid, whole days, an end not given left open.
void setPeriod(HistorySearch::Filter* filter, const QDate& from, const QDate& to);

// Every this many pages the command prints "Página N" to the error stream, so a long report shows it lives.
inline constexpr int kPagesPerProgressLine = 100;

// Counts the search's rows, prints "Total de Registros: N", then writes the report while reading the rows a
// page at a time. Returns the process exit code (0, 1 failure).
int run(TADO* ado, const Request& request, QTextStream& out, QTextStream& err);

} // namespace HistoryReportCommand
