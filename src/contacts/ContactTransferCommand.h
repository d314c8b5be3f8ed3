#pragma once

#include <QString>
#include <QTextStream>

class TADO;

// The spreadsheet import and export from the command line, printing the status texts the
// contacts page shows, one a line. Without a window there is no stop button, so the per-row pause
// that lets the operator press it is left out.
//
//   vestral-sms --import FILE --group NAME   every row of FILE becomes a contact of group NAME
//   vestral-sms --export FILE                the whole contact list, .xls or .xlsx by extension
namespace ContactTransferCommand {

struct Request {
    QString file;
    QString group; // --import only
};

// Exit codes: 0 done, 1 failure (the text is printed on err), 2 a file name that --export cannot
// write (another extension), said before any contact is read.
int runImport(TADO* ado, const Request& request, QTextStream& out, QTextStream& err);
int runExport(TADO* ado, const Request& request, QTextStream& out, QTextStream& err);

} // namespace ContactTransferCommand
