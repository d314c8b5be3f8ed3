// Usage errors of every command: the exit code the README's command table gives for that command,
// exactly one line on stderr, nothing on stdout, and no work done (no database is made in the data
// folder). Every row runs through what main() runs for it; the rows marked `child` also run the built
// program (a process start costs about a second on a busy machine).
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace {

struct UsageCase {
    QStringList arguments; // after --data-dir DIR
    int exitCode;
    QString line;       // the one line on stderr
    bool child = false; // also run the built program
};

const QString kBadValue = QStringLiteral("%1: valor inválido \"%2\" (use %3)");

// One row per usage error; 1 for --build-outbox ("1 on bad arguments") and --demo-ports ("1 with the
// error"), 2 elsewhere ("2 for a usage error").
const QList<UsageCase>& cases() {
    static const QList<UsageCase> all{
        // No command: the window takes no option and no word.
        {{"--bogus"}, 2, "opção desconhecida: --bogus", true},
        {{"-x"}, 2, "opção desconhecida: -x"},
        {{"--bogus=1"}, 2, "opção desconhecida: --bogus"},
        {{"--data-dir"}, 2, "--data-dir precisa de um valor: PASTA"},
        {{"foo"}, 2, "argumento a mais: foo"},
        {{"--group", "G"}, 2, "opção desconhecida: --group"},
        {{"--help", "--bogus"}, 2, "opção desconhecida: --bogus"},
        {{"--version", "--init-db"}, 2, "apenas um comando por vez: --version e --init-db"},
        {{"--init-db", "--full"}, 2, "opção desconhecida: --full"},
        {{"--init-db", "--data-dir"}, 2, "--data-dir precisa de um valor: PASTA"},
        // --report FILE.pdf [--full] [--from] [--to] [--outcome] [--channel]
        {{"--report"}, 2, "--report precisa do nome do arquivo: ARQUIVO.pdf"},
        {{"--report", ""}, 2, "--report precisa do nome do arquivo: ARQUIVO.pdf"},
        {{"--report", "a.pdf", "b.pdf"}, 2, "argumento a mais: b.pdf"},
        {{"--report", "a.pdf", "--outcome", "maybe"}, 2, kBadValue.arg("--outcome", "maybe", "all, sent ou failed")},
        {{"--report", "a.pdf", "--channel", "fax"}, 2, kBadValue.arg("--channel", "fax", "all, sms ou email")},
        {{"--report", "a.pdf", "--channel", "SMS"}, 2, kBadValue.arg("--channel", "SMS", "all, sms ou email")},
        {{"--report", "a.pdf", "--from", "2026-12-01"}, 2, kBadValue.arg("--from", "2026-12-01", "DD/MM/AAAA")},
        {{"--report", "a.pdf", "--to", "31/02/2026"}, 2, kBadValue.arg("--to", "31/02/2026", "DD/MM/AAAA")},
        {{"--report", "a.pdf", "--to"}, 2, "--to precisa de um valor: DD/MM/AAAA"},
        {{"--report", "a.pdf", "--outcome="}, 2, "--outcome precisa de um valor: all|sent|failed"},
        {{"--report", "a.pdf", "--full=sim"}, 2, "--full não aceita valor"},
        {{"--report", "a.pdf", "--group", "G"}, 2, "opção desconhecida: --group"},
        {{"--report", "a.pdf", "--export"}, 2, "apenas um comando por vez: --report e --export"},
        // --send-email [--group NAME] [--status all|active|disabled] [--external]
        {{"--send-email", "--status", "ligado"}, 2, kBadValue.arg("--status", "ligado", "all, active ou disabled")},
        {{"--send-email", "--group"}, 2, "--group precisa de um valor: NOME"},
        {{"--send-email", "--group="}, 2, "--group precisa de um valor: NOME"},
        {{"--send-email", "--grupo", "Clientes"}, 2, "opção desconhecida: --grupo"},
        {{"--send-email", "extra"}, 2, "argumento a mais: extra"},
        {{"--send-email", "--external=1"}, 2, "--external não aceita valor"},
        // --import FILE --group NAME
        {{"--import", "a.csv"}, 2, "--import precisa de --group NOME"},
        {{"--import", "--group", "G"}, 2, "--import precisa do nome do arquivo: ARQUIVO"},
        {{"--import", "a.csv", "b.csv", "--group", "G"}, 2, "argumento a mais: b.csv"},
        {{"--import", "a.csv", "--group", ""}, 2, "--group precisa de um valor: NOME"},
        {{"--import", "a.csv", "--group", "G", "--status", "all"}, 2, "opção desconhecida: --status"},
        // --export FILE
        {{"--export"}, 2, "--export precisa do nome do arquivo: ARQUIVO.xls|ARQUIVO.xlsx"},
        {{"--export", "a.xls", "--group", "G"}, 2, "opção desconhecida: --group"},
        // --build-outbox [--group NAME] [--status all|active|disabled]: 1 on bad arguments
        {{"--build-outbox", "--status", "some"}, 1, kBadValue.arg("--status", "some", "all, active ou disabled"), true},
        {{"--build-outbox", "--group"}, 1, "--group precisa de um valor: NOME"},
        {{"--build-outbox", "--external"}, 1, "opção desconhecida: --external"},
        {{"--bogus", "--build-outbox"}, 1, "opção desconhecida: --bogus"},
        {{"--build-outbox", "VIP"}, 1, "argumento a mais: VIP"},
        {{"--build-outbox", "--send-outbox"}, 1, "apenas um comando por vez: --build-outbox e --send-outbox"},
        // --send-outbox [--resend-interrupted]
        {{"--send-outbox", "--resend"}, 2, "opção desconhecida: --resend"},
        {{"--send-outbox", "agora"}, 2, "argumento a mais: agora"},
        {{"--send-outbox", "--resend-interrupted=sim"}, 2, "--resend-interrupted não aceita valor"},
        // --receive-sms, --probe, --check-db take nothing
        {{"--receive-sms", "1"}, 2, "argumento a mais: 1"},
        {{"--probe", "--group", "G"}, 2, "opção desconhecida: --group"},
        {{"--probe", "--send-outbox"}, 2, "apenas um comando por vez: --probe e --send-outbox"},
        {{"--check-db", "--full"}, 2, "opção desconhecida: --full"},
        // --opt-out-add NUMERO|EMAIL [--note TEXTO], --opt-out-remove NUMERO|EMAIL, --opt-out-list
        {{"--opt-out-add"}, 2, "--opt-out-add precisa de um valor: NUMERO|EMAIL"},
        {{"--opt-out-add", "11987654321", "--note"}, 2, "--note precisa de um valor: TEXTO"},
        {{"--opt-out-add", "1", "2"}, 2, "argumento a mais: 2"},
        {{"--opt-out-remove"}, 2, "--opt-out-remove precisa de um valor: NUMERO|EMAIL"},
        {{"--opt-out-remove", "1", "--note", "x"}, 2, "opção desconhecida: --note"},
        {{"--opt-out-list", "x"}, 2, "argumento a mais: x"},
        // --demo-ports [N]: 1 with the error
        {{"--demo-ports", "0"}, 1, kBadValue.arg("--demo-ports", "0", "1 a 64")},
        {{"--demo-ports", "65"}, 1, kBadValue.arg("--demo-ports", "65", "1 a 64"), true},
        {{"--demo-ports", "4x"}, 1, kBadValue.arg("--demo-ports", "4x", "1 a 64")},
        {{"--demo-ports", "99999999999999999999"}, 1, kBadValue.arg("--demo-ports", "99999999999999999999", "1 a 64")},
        {{"--demo-ports", "-3"}, 1, "opção desconhecida: -3"},
        {{"--demo-ports", "4", "5"}, 1, "argumento a mais: 5"},
        {{"--demo-ports", "--data-dir"}, 1, "--data-dir precisa de um valor: PASTA"},
        // A word with control bytes is shown on the one line, not split over two.
        {{"--report", "a.pdf", "--outcome", "sent\nfailed"},
         2,
         kBadValue.arg("--outcome", "sent?failed", "all, sent ou failed")},
        {{"--bo\r\ngus", "--probe"}, 2, "opção desconhecida: --bo??gus", true},
        {{"--import", "a.csv", "--group", "G", "\x1b[2J"}, 2, "argumento a mais: ?[2J"},
    };
    return all;
}

TEST(CommandLineUsage, EachCommandsUsageErrorsGiveItsExitCodeAndOneLine) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QStringList head{"vestral-sms", "--data-dir", dir.path()};
    for (const UsageCase& c : cases()) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        QString out, err;
        QTextStream o(&out), e(&err);
        EXPECT_EQ(CommandLine::run(CommandLine::parse(head + c.arguments), o, e), c.exitCode);
        EXPECT_EQ(err, c.line + '\n');
        EXPECT_EQ(out, QString());
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

TEST(CommandLineUsage, TheProgramSaysTheSameBeforeQtStarts) {
    const QString program = qEnvironmentVariable("VESTRAL_BINARY_DIR") + QStringLiteral("/src/app/vestral-sms");
    ASSERT_TRUE(QFile::exists(program)) << program.toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const UsageCase& c : cases()) {
        if (!c.child)
            continue;
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        QProcess p;
        p.start(program, QStringList{"--data-dir", dir.path()} + c.arguments);
        ASSERT_TRUE(p.waitForFinished(120000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), c.exitCode);
        EXPECT_EQ(QString::fromUtf8(p.readAllStandardError()), c.line + '\n');
        EXPECT_EQ(p.readAllStandardOutput(), QByteArray());
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

} // namespace

namespace {

// What reaches a command: its word and options read into values of their kind; the last of an option
// given twice counts; "--" ends the options, so a file may start with a dash.
TEST(CommandLineValues, ReadIntoTheirKinds) {
    using CommandLine::parse;
    CommandLine::Parsed p = parse({"x", "--report", "a.pdf", "--channel", "email", "--outcome", "sent", "--to",
                                   "31/12/2026", "--full", "--outcome=failed", "--data-dir=/d"});
    ASSERT_EQ(p.error, QString());
    EXPECT_EQ(p.command, "--report");
    EXPECT_EQ(p.dataDir, "/d");
    EXPECT_EQ(p.values.argument().toString(), "a.pdf");
    EXPECT_TRUE(p.values.isSet("full"));
    EXPECT_EQ(p.values.choice("channel", -1), 2);
    EXPECT_EQ(p.values.choice("outcome", -1), 2);
    EXPECT_EQ(p.values.date("to"), QDate(2026, 12, 31));
    EXPECT_FALSE(p.values.date("from").isValid());

    p = parse({"x", "--report", "--", "-a.pdf"});
    EXPECT_EQ(p.values.argument().toString(), "-a.pdf") << p.error.toStdString();
    p = parse({"x", "--demo-ports"});
    EXPECT_TRUE(p.values.argument().isNull()) << p.error.toStdString();
    p = parse({"x", "--demo-ports", "64"});
    EXPECT_EQ(p.values.argument().toInt(), 64) << p.error.toStdString();
    p = parse({"x", "--import", "a b.csv", "--group=Clientes Novos"});
    EXPECT_EQ(p.values.argument().toString(), "a b.csv");
    EXPECT_EQ(p.values.text("group"), "Clientes Novos");
    p = parse({"x", "--send-outbox", "--resend-interrupted", "--data-dir", ""});
    EXPECT_EQ(p.error, QString());
    EXPECT_TRUE(p.values.isSet("resend-interrupted"));
    EXPECT_EQ(p.dataDir, QString());                         // an empty folder is the default one, as before
    p = parse({"x", "--send-email", "--group", "--status"}); // a value may look like an option
    EXPECT_EQ(p.values.text("group"), "--status") << p.error.toStdString();
}

} // namespace
