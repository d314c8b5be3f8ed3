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

// Runs a command that needs no window; returns the process exit code.
int run(const Parsed& parsed, QTextStream& out, QTextStream& err);

} // namespace CommandLine
