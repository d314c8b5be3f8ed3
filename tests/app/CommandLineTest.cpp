#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/CommandLine.h"

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

} // namespace
