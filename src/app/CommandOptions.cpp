#include "app/CommandOptions.h"

#include <QCommandLineParser>

namespace CommandLine {
namespace {

QString dashed(const QString& name) {
    return QStringLiteral("--") + name;
}

// A word of the command line as an error line shows it: a control character (a line break, an
// escape) becomes '?', so the error stays one line and cannot drive the terminal.
QString shown(QString word) {
    for (QChar& c : word)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph)
            c = QLatin1Char('?');
    return word;
}

// The faults of a command line, one text per kind.
QString unknownOptionText(const QString& word) {
    return QStringLiteral("opção desconhecida: %1").arg(shown(word));
}
QString missingValueText(const QString& option, const QString& valueName) {
    return QStringLiteral("%1 precisa de um valor: %2").arg(option, valueName);
}
QString unexpectedValueText(const QString& option) {
    return QStringLiteral("%1 não aceita valor").arg(option);
}
QString badValueText(const QString& option, const QString& word, const QString& accepted) {
    return QStringLiteral("%1: valor inválido \"%2\" (use %3)").arg(option, shown(word), accepted);
}
QString extraWordText(const QString& word) {
    return QStringLiteral("argumento a mais: %1").arg(shown(word));
}
QString missingFileText(const QString& command, const QString& valueName) {
    return QStringLiteral("%1 precisa do nome do arquivo: %2").arg(command, valueName);
}
QString missingOptionText(const QString& command, const QString& option, const QString& valueName) {
    return QStringLiteral("%1 precisa de %2 %3").arg(command, option, valueName);
}
QString twoCommandsText(const QString& first, const QString& second) {
    return QStringLiteral("apenas um comando por vez: %1 e %2").arg(first, second);
}

// "all, active ou disabled", "DD/MM/AAAA", "1 a 64": what a value of this option may be.
QString accepted(const ValueSpec& option) {
    switch (option.kind) {
    case ValueKind::Choice: {
        QStringList words = option.choices;
        const QString last = words.takeLast();
        return words.join(QStringLiteral(", ")) + QStringLiteral(" ou ") + last;
    }
    case ValueKind::Count:
        return QStringLiteral("%1 a %2").arg(option.min).arg(option.max);
    default:
        return option.valueName;
    }
}

// One word read as its option says; an invalid QVariant when it does not read.
QVariant readValue(const ValueSpec& option, const QString& word) {
    switch (option.kind) {
    case ValueKind::Flag:
        return true;
    case ValueKind::Folder:
        return word;
    case ValueKind::Text:
    case ValueKind::File:
        return word.isEmpty() ? QVariant() : QVariant(word);
    case ValueKind::Choice: {
        const qsizetype index = option.choices.indexOf(word);
        return index < 0 ? QVariant() : QVariant(int(index));
    }
    case ValueKind::Date: {
        const QDate d = QDate::fromString(word, QStringLiteral("dd/MM/yyyy"));
        return d.isValid() ? QVariant(d) : QVariant();
    }
    case ValueKind::Count: {
        bool ok = false;
        const int n = word.toInt(&ok);
        return ok && n >= option.min && n <= option.max ? QVariant(n) : QVariant();
    }
    }
    return {};
}

void prepare(QCommandLineParser& parser, const QList<ValueSpec>& options) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    QStringList added; // a name added twice makes Qt print a warning
    for (const ValueSpec& o : options) {
        if (added.contains(o.name))
            continue;
        added << o.name;
        if (o.kind == ValueKind::Flag)
            parser.addOption(QCommandLineOption(o.name));
        else
            parser.addOption(QCommandLineOption(o.name, QString(), o.valueName));
    }
}

// The options, in the order they were given, with every option of every command known (so that a
// value is never taken for a command).
QStringList optionsGiven(const QStringList& arguments, const QList<ValueSpec>& every) {
    QCommandLineParser parser;
    prepare(parser, every);
    static_cast<void>(parser.parse(arguments)); // faults are told by the command's own reading
    return parser.optionNames();
}

// The first syntax fault, in the order of the words, walked as QCommandLineParser walks them (whose
// own texts are English and name no option for a missing value): an unknown option, a value after a
// flag, a value option as the last word. Empty when there is none.
QString syntaxFault(const QStringList& arguments, const QList<ValueSpec>& options) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& word = arguments[i];
        if (word == QLatin1String("--"))
            break;
        if (!word.startsWith('-') || word == QLatin1String("-"))
            continue;
        const qsizetype dashes = word.startsWith(QLatin1String("--")) ? 2 : 1;
        const qsizetype equals = word.indexOf('=', dashes);
        const QString name = word.mid(dashes, equals < 0 ? -1 : equals - dashes);
        const auto declared =
            std::find_if(options.begin(), options.end(), [&](const ValueSpec& o) { return o.name == name; });
        if (declared == options.end())
            return unknownOptionText(word.left(dashes + name.size()));
        if (declared->kind == ValueKind::Flag && equals >= 0)
            return unexpectedValueText(dashed(name));
        if (declared->kind == ValueKind::Flag || equals >= 0)
            continue;
        if (i + 1 >= arguments.size())
            return missingValueText(dashed(name), declared->valueName);
        ++i;
    }
    return {};
}

// Every value of every option given, checked; the last one of an option given twice counts.
QString readOptions(const QCommandLineParser& parser, const QList<ValueSpec>& options, Values* values) {
    for (const ValueSpec& o : options) {
        if (!parser.isSet(o.name))
            continue;
        const QStringList words = o.kind == ValueKind::Flag ? QStringList{QString()} : parser.values(o.name);
        for (const QString& word : words) {
            const QVariant value = readValue(o, word);
            if (!value.isValid())
                return word.isEmpty() ? missingValueText(dashed(o.name), o.valueName)
                                      : badValueText(dashed(o.name), word, accepted(o));
            values->setOption(o.name, value);
        }
    }
    return {};
}

// The command's one word, and the options it cannot go without.
QString readArgument(const QStringList& words, const CommandSpec& command, Values* values) {
    const QString name = dashed(command.name);
    if (!command.argument)
        return words.isEmpty() ? QString() : extraWordText(words.first());
    const ValueSpec& a = *command.argument;
    if (words.size() > 1)
        return extraWordText(words[1]);
    if (words.isEmpty() || (a.kind == ValueKind::File && words.first().isEmpty()))
        return !a.required                 ? QString()
               : a.kind == ValueKind::File ? missingFileText(name, a.valueName)
                                           : missingValueText(name, a.valueName);
    const QVariant value = readValue(a, words.first());
    if (!value.isValid())
        return badValueText(name, words.first(), accepted(a));
    values->setArgument(value);
    return {};
}

QString requiredFault(const CommandSpec& command, const Values& values) {
    for (const ValueSpec& o : command.options)
        if (o.required && !values.isSet(o.name))
            return missingOptionText(dashed(command.name), dashed(o.name), o.valueName);
    return {};
}

const CommandSpec* commandNamed(const QList<CommandSpec>& commands, const QString& name) {
    for (const CommandSpec& c : commands)
        if (c.name == name)
            return &c;
    return nullptr;
}

// The names of the commands given, each once, in the order given.
QStringList commandsGiven(const QStringList& arguments, const QList<CommandSpec>& commands) {
    QList<ValueSpec> every = sharedOptions();
    for (const CommandSpec& c : commands) {
        if (!c.name.isEmpty())
            every << flag(c.name);
        every << c.options;
    }
    QStringList named;
    for (const QString& o : optionsGiven(arguments, every))
        if (!o.isEmpty() && commandNamed(commands, o) && !named.contains(o))
            named << o;
    return named;
}

} // namespace

ValueSpec flag(const QString& name) {
    return {name, ValueKind::Flag, {}, {}, 0, 0, false};
}

ValueSpec text(const QString& name, const QString& valueName) {
    return {name, ValueKind::Text, valueName, {}, 0, 0, false};
}

ValueSpec choice(const QString& name, const QStringList& choices) {
    return {name, ValueKind::Choice, choices.join('|'), choices, 0, 0, false};
}

ValueSpec date(const QString& name) {
    return {name, ValueKind::Date, QStringLiteral("DD/MM/AAAA"), {}, 0, 0, false};
}

const QList<ValueSpec>& sharedOptions() {
    static const QList<ValueSpec> shared{
        {QStringLiteral("data-dir"), ValueKind::Folder, QStringLiteral("PASTA"), {}, 0, 0, false},
        {QStringLiteral("database"), ValueKind::Text, QStringLiteral("URL"), {}, 0, 0, false},
        {QStringLiteral("station"), ValueKind::Text, QStringLiteral("NOME"), {}, 0, 0, false}};
    return shared;
}

Reading read(const QStringList& arguments, const QList<CommandSpec>& commands) {
    Reading r;
    const QStringList named = commandsGiven(arguments, commands);
    const CommandSpec* command = commandNamed(commands, named.value(0));
    if (!command) {
        r.error = unknownOptionText(dashed(named.value(0))); // a command list without the window
        return r;
    }
    r.command = command->name.isEmpty() ? QString() : dashed(command->name);
    r.usageExitCode = command->usageExitCode;
    if (named.size() > 1) {
        r.error = twoCommandsText(dashed(named[0]), dashed(named[1]));
        return r;
    }
    QList<ValueSpec> own = sharedOptions() + command->options;
    if (!command->name.isEmpty())
        own << flag(command->name);
    r.error = syntaxFault(arguments, own);
    if (!r.error.isEmpty())
        return r;
    QCommandLineParser parser;
    prepare(parser, own);
    if (!parser.parse(arguments)) {
        r.error = parser.errorText(); // not reached: syntaxFault walks the words the same way
        return r;
    }
    r.error = readOptions(parser, own, &r.values);
    if (r.error.isEmpty())
        r.error = readArgument(parser.positionalArguments(), *command, &r.values);
    if (r.error.isEmpty())
        r.error = requiredFault(*command, r.values);
    if (r.error.isEmpty())
        r.dataDir = r.values.text(QStringLiteral("data-dir"));
    return r;
}

QString synopsis(const CommandSpec& command) {
    QStringList parts;
    if (command.argument)
        parts << (command.argument->required ? command.argument->valueName
                                             : QLatin1Char('[') + command.argument->valueName + QLatin1Char(']'));
    for (const ValueSpec& o : command.options) {
        QString word = dashed(o.name);
        if (o.kind != ValueKind::Flag)
            word += QLatin1Char(' ') + o.valueName;
        parts << (o.required ? word : QLatin1Char('[') + word + QLatin1Char(']'));
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace CommandLine
