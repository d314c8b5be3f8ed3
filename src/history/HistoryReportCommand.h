#pragma once

#include <QStringList>
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
    QString error;                // a usage error
};

// Reads the words after "--report" in the program's argument list.
Request parse(const QStringList& arguments);
QString usage();

// Runs the search on the history result set and writes the report; prints
// "Total de Registros: N". Returns the process exit code (0, 1 failure, 2 usage).
int run(TADO* ado, const QStringList& arguments, QTextStream& out, QTextStream& err);

} // namespace HistoryReportCommand
