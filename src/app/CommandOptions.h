#pragma once

#include <QDate>
#include <QHash>
#include <QList>
#include <QStringList>
#include <QVariant>
#include <optional>

// The grammar of the command line, read with QCommandLineParser: `vestral-sms [--data-dir PASTA]
// [--COMMAND [ARGUMENT] [OPTIONS]]`. Each command declares its own options and its one word
// (a file name, a count); the options every command shares are declared once, here. Every value is
// read and checked here, with one error text per kind of fault, so a command receives typed values
// and never the argument list. QtCore only.
namespace CommandLine {

// What a value may be. Each kind reads its words one way and says a bad one with one text.
enum class ValueKind {
    Flag,   // no value
    Text,   // any text that is not empty
    Folder, // any text; empty stands for the default folder
    File,   // a file name, not empty
    Choice, // one of `choices`, read as its index
    Date,   // DD/MM/AAAA
    Count,  // a whole number from `min` to `max`
};

struct ValueSpec {
    QString name; // an option's name without its dashes ("group"); for the word, the command's
    ValueKind kind = ValueKind::Flag;
    QString valueName; // "NOME", shown by --help and by errors; for a Choice, its words joined by '|'
    QStringList choices;
    int min = 0;
    int max = 0;
    bool required = false;
};

struct CommandSpec {
    QString name;                      // without its dashes ("report"); empty for the window
    QList<ValueSpec> options;          // the command's own options, in the order --help shows them
    std::optional<ValueSpec> argument; // the one word after the command
    int usageExitCode = 2;             // the exit code of a usage error of this command
};

ValueSpec flag(const QString& name);
ValueSpec text(const QString& name, const QString& valueName);
ValueSpec choice(const QString& name, const QStringList& choices);
ValueSpec date(const QString& name);

// The options every command shares (and the window too): --data-dir PASTA, --database URL, --station NOME.
const QList<ValueSpec>& sharedOptions();

// The read values of one command: options by name without dashes, and the command's word.
class Values {
public:
    bool isSet(const QString& option) const { return m_options.contains(option); }
    QString text(const QString& option) const { return m_options.value(option).toString(); }
    int choice(const QString& option, int fallback) const { return m_options.value(option, fallback).toInt(); }
    QDate date(const QString& option) const { return m_options.value(option).toDate(); } // invalid if not given
    QVariant argument() const { return m_argument; }                                     // null if not given

    void setOption(const QString& option, const QVariant& value) { m_options.insert(option, value); }
    void setArgument(const QVariant& value) { m_argument = value; }

private:
    QHash<QString, QVariant> m_options;
    QVariant m_argument;
};

struct Reading {
    QString command; // "--report"; empty without a command (the window)
    QString dataDir;
    Values values;
    QString error;         // one line, in Portuguese; empty when the words read
    int usageExitCode = 2; // the exit code of `error`: the command's own
};

// Reads `arguments` (the program's name first) against `commands`, one of which has an empty name
// (no command: the window). Two different commands, an unknown option, a missing or bad value,
// a missing or extra word: `error` says the first fault found.
Reading read(const QStringList& arguments, const QList<CommandSpec>& commands);

// "ARQUIVO.pdf [--full] [--from DD/MM/AAAA]": the command's word and options, as --help shows them.
QString synopsis(const CommandSpec& command);

} // namespace CommandLine
