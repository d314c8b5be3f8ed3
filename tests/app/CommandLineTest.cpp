#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "store/Station.h"

namespace {

struct ParseCase {
    QStringList args;
    const char* command;
    const char* dataDir;
    bool error;
};

class CommandLineParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CommandLineParse, ReadsDataDirAndOneCommand) {
    const ParseCase& c = GetParam();
    CommandLine::Parsed p = CommandLine::parse(QStringList{"vestral-sms"} + c.args);
    EXPECT_EQ(p.command.toStdString(), c.command);
    EXPECT_EQ(p.dataDir.toStdString(), c.dataDir);
    EXPECT_EQ(!p.error.isEmpty(), c.error) << p.error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandLineParse,
                         ::testing::Values(ParseCase{{}, "", "", false},
                                           ParseCase{{"--data-dir", "/d", "--init-db"}, "--init-db", "/d", false},
                                           ParseCase{{"--init-db", "--data-dir=/e"}, "--init-db", "/e", false},
                                           ParseCase{{"--version"}, "--version", "", false},
                                           ParseCase{{"--data-dir"}, "", "", true},
                                           ParseCase{{"--bogus"}, "", "", true},
                                           ParseCase{{"--version", "--init-db"}, "--version", "", true}));

TEST(CommandLine, VersionAndInitDb) {
    QString out, err;
    QTextStream o(&out), e(&err);
    EXPECT_EQ(CommandLine::run(CommandLine::parse({"x", "--version"}), o, e), 0);
    EXPECT_TRUE(out.startsWith("VESTRAL SMS V.")) << out.toStdString();

    QTemporaryDir dir;
    out.clear();
    EXPECT_EQ(CommandLine::run(CommandLine::parse({"x", "--data-dir", dir.path(), "--init-db"}), o, e), 0);
    EXPECT_TRUE(QFile::exists(dir.filePath("BDSMS.db")));
    EXPECT_EQ(out, "");

    QFile bad(dir.filePath("sub/BDSMS.db"));
    QDir().mkpath(dir.filePath("sub"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray(2048, 'z'));
    bad.close();
    EXPECT_EQ(CommandLine::run(CommandLine::parse({"x", "--data-dir", dir.filePath("sub"), "--init-db"}), o, e), 1);
    EXPECT_TRUE(err.startsWith("Não foi possível abrir o banco de dados")) << err.toStdString();
}

// The opt-out list from the command line: any spelling finds the entry, 1 when it is not there, 2 for a text
// that holds no address; hostile texts stay on one line.
TEST(CommandLine, OptOutAddListRemove) {
    QTemporaryDir dir;
    const QStringList head{"x", "--data-dir", dir.path()};
    struct Step {
        QStringList args;
        int code;
        QString out;
        QString err;
    };
    const QList<Step> steps{
        {{"--opt-out-add", "(11) 98765-4321", "--note", "pediu\nno balcão"},
         0,
         "Descadastrado: +5511987654321 - contatos desativados: 0\n",
         ""},
        {{"--opt-out-add", "011987654321"}, 0, "Já descadastrado: +5511987654321\n", ""},
        {{"--opt-out-add", "LOJA\x1b[2J"},
         0,
         "Descadastrado: LOJA?[2J (não normalizado) - contatos desativados: 0\n",
         ""},
        {{"--opt-out-add", " \t "}, 2, "", "Endereço inválido: \"   \" (use um número de telefone ou um e-mail)\n"},
        {{"--opt-out-remove", "+55 11 98765-4321"}, 0, "Removido da lista de descadastrados: +5511987654321\n", ""},
        {{"--opt-out-remove", "11987654321"}, 1, "", "Não está na lista de descadastrados: +5511987654321\n"},
        {{"--opt-out-add", "Ana@Exemplo.com"}, 0, "Descadastrado: ana@exemplo.com - contatos desativados: 0\n", ""},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.args.join(' ').toStdString());
        QString out, err;
        QTextStream o(&out), e(&err);
        EXPECT_EQ(CommandLine::run(CommandLine::parse(head + s.args), o, e), s.code);
        EXPECT_EQ(out, s.out);
        EXPECT_EQ(err, s.err);
    }
    QString out, err;
    QTextStream o(&out), e(&err);
    EXPECT_EQ(CommandLine::run(CommandLine::parse(head + QStringList{"--opt-out-list"}), o, e), 0);
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << out.toStdString();
    EXPECT_TRUE(lines.contains(QRegularExpression("^ana@exemplo.com\t\\d\\d/\\d\\d/\\d{4} [0-9:]{8}\tOPERADOR\t\t$")))
        << out.toStdString();
    EXPECT_TRUE(lines.contains(QRegularExpression("^LOJA\\?\\[2J \\(não normalizado\\)\t.*\tOPERADOR\t\t$")))
        << out.toStdString();
}

// --stations on the file: its one station, before its first beat (a new folder) and after a command
// that wrote its row; it reads only.
TEST(CommandLine, StationsOnTheFileShowTheOneStation) {
    QTemporaryDir dir;
    Station::setCurrent(QStringLiteral("caixa '%1'"));
    QString out, err;
    QTextStream o(&out), e(&err);
    const QStringList head{"x", "--data-dir", dir.path()};
    const struct {
        QStringList before;
        const char* line;
    } cases[] = {
        {{},
         "^caixa '%1'  -  v  PID 0  batida há - s  entradas prontas 0  em envio 0  enviadas na última hora 0 "
         "\\(SEM SINAL\\)\\n$"},
        {{"--demo-ports", "3"},
         "^caixa '%1'  \\S+  v[0-9.]+  PID [1-9][0-9]*  batida há [0-9]+ s  entradas prontas 0  "
         "em envio 0  enviadas na última hora 0\\n$"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before.join(' ').toStdString());
        if (!c.before.isEmpty()) {
            ASSERT_EQ(CommandLine::run(CommandLine::parse(head + c.before), o, e), 0) << err.toStdString();
        }
        out.clear();
        EXPECT_EQ(CommandLine::run(CommandLine::parse(head + QStringList{"--stations"}), o, e), 0) << err.toStdString();
        EXPECT_TRUE(QRegularExpression(QString::fromUtf8(c.line)).match(out).hasMatch()) << out.toStdString();
    }
    Station::setCurrent(QString());
}

} // namespace
