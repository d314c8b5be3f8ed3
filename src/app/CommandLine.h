#pragma once

#include <QStringList>
#include <QTextStream>

#include "app/CommandOptions.h"

// The command line: `vestral-sms [--data-dir DIR] [COMMAND]`. Without a command the window opens.
// Every command runs the same engine as the window and prints the same texts.
namespace CommandLine {

// The command, the data folder and the command's checked values; or a usage error (one line) with
// the command's exit code for it.
using Parsed = Reading;

Parsed parse(const QStringList& arguments);
QString helpText();

// Runs a command that needs no window; returns the process exit code. A usage error is printed as
// one line on `err`. A command that opens ports or writes first takes the data folder's lock: held
// by another program, it prints "A pasta de dados já está em uso por outro processo (PID n)." and
// returns 1.
int run(const Parsed& parsed, QTextStream& out, QTextStream& err);

// Whether `command` ("" = the window) takes the data folder's lock. Only the commands that just
// read (--report, --export, --check-db) and those that touch no data (--help, --version) do not.
bool takesLock(const QString& command);

} // namespace CommandLine
