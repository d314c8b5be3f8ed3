#pragma once

#include <QStringList>
#include <QTextStream>

// The command line: `vestral-sms [--data-dir DIR] [COMMAND]`. Without a command the window opens.
// Every command runs the same engine as the window and prints the same texts.
namespace CommandLine {

struct Parsed {
    QString dataDir;
    QString command;       // "" = open the window
    QStringList arguments; // the whole argument list, for the command's own options
    QString error;         // a usage error to print (exit 2)
};

Parsed parse(const QStringList& arguments);
QString helpText();

// Runs a command that needs no window; returns the process exit code. A command that opens ports
// or writes first takes the data folder's lock: held by another program, it prints "A pasta de
// dados já está em uso por outro processo (PID n)." and returns 1.
int run(const Parsed& parsed, QTextStream& out, QTextStream& err);

// Whether `command` ("" = the window) takes the data folder's lock. Only the commands that just
// read (--report, --export, --check-db) and those that touch no data (--help, --version) do not.
bool takesLock(const QString& command);

} // namespace CommandLine
