// `vestral-sms --import` and `--export` end to end, on the built program.
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "ContactsTestSupport.h"
#include "DamagedDatabase.h"
#include "MissingPeer.h"
#include "contacts/SpreadsheetReader.h"

namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

class ContactTransferCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_program = qEnvironmentVariable("VESTRAL_BINARY_DIR") + "/src/app/vestral-sms";
        if (!QFile::exists(m_program))
            VESTRAL_SKIP_MISSING_PEER("vestral-sms not built: " << m_program.toStdString());
    }
    CliRun run(const QStringList& arguments) {
        QProcess p;
        p.start(m_program, QStringList{"--data-dir", m_dir.path()} + arguments);
        EXPECT_TRUE(p.waitForFinished(120000));
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    // The stored contacts' names and groups, read with a connection of the test's own.
    QStringList contacts(const QString& column = "NOME") {
        QStringList out;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "cli-check");
            db.setDatabaseName(m_dir.filePath("BDSMS.db"));
            EXPECT_TRUE(db.open());
            QSqlQuery q(db);
            q.exec("SELECT " + column + " FROM dbCLIENTE ORDER BY ID_CLIENTE");
            while (q.next())
                out << q.value(0).toString();
        }
        QSqlDatabase::removeDatabase("cli-check");
        return out;
    }

    QTemporaryDir m_dir;
    QString m_program;
};

TEST_F(ContactTransferCommandTest, ImportPrintsTheStatusTextsAndStoresEveryRowInTheGroup) {
    const CliRun r = run({"--import", ContactsTest::dataFile("contatos_ptbr.csv"), "--group", "GERAL"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 10);
    EXPECT_EQ(lines.first(), "Inciando abertura do arquivo do excel.");
    EXPECT_TRUE(lines.contains("Cria o loop para listar os registros no StringGrid"));
    EXPECT_EQ(lines[lines.size() - 2], "Finalizado processo de leitura do arquivo excel!");
    const QStringList names = contacts();
    EXPECT_EQ(lines.last(), QStringLiteral("Contatos importados: %1").arg(names.size()));
    ASSERT_FALSE(names.isEmpty());
    EXPECT_EQ(names.first(), "Ângela Çé");
    EXPECT_EQ(contacts("DISTINCT ID_GRUPO"), QStringList{"1"});
}

TEST_F(ContactTransferCommandTest, ImportRefusesAMissingGroupOrAnUnreadableFile) {
    struct Case {
        QStringList arguments;
        int exitCode;
        QString error;
    };
    const Case cases[] = {
        {{"--import", ContactsTest::dataFile("contatos.csv"), "--group", "Não Existe"},
         1,
         "O grupo de contatos \"Não Existe\" não existe."},
        {{"--import", m_dir.filePath("nada.xlsx"), "--group", "GERAL"}, 1, "nada.xlsx"},
        {{"--import", ContactsTest::dataFile("contatos.csv")}, 2, "--group NOME"},
        {{"--export"}, 2, "precisa do nome do arquivo"},
        {{"--export", m_dir.filePath("contatos.ods")}, 2, "Formato de planilha não suportado"},
    };
    for (const Case& c : cases) {
        const CliRun r = run(c.arguments);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.error)) << r.err.toStdString();
        if (c.exitCode == 2) { // a usage error is said before any work
            EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        }
    }
    EXPECT_TRUE(contacts().isEmpty());
}

TEST_F(ContactTransferCommandTest, ExportWritesTheWholeListThatImportReadsBack) {
    ASSERT_EQ(run({"--import", ContactsTest::dataFile("contatos_num.xlsx"), "--group", "geral"}).exitCode, 0);
    for (const char* suffix : {"xls", "xlsx"}) {
        const QString file = m_dir.filePath(QStringLiteral("CONTATOS.") + suffix);
        const CliRun r = run({"--export", file});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.startsWith("Exportando contatos!\n"));
        EXPECT_TRUE(r.out.endsWith("Salvando documento\nFinalizado exportação!\n")) << r.out.right(200).toStdString();
        const SpreadsheetData back = SpreadsheetReader::read(file);
        ASSERT_TRUE(back.ok()) << back.error.toStdString();
        EXPECT_EQ(back.rows.size(), 250);
        QStringList names;
        for (const QStringList& row : back.rows)
            names << row[0];
        QStringList expected = contacts();
        EXPECT_EQ(names.size(), expected.size());
        EXPECT_TRUE(names.contains("Último"));
    }
}

TEST_F(ContactTransferCommandTest, ADataFolderTheProgramCreatesIsForItsOwnerOnly) {
    const QString folder = m_dir.filePath("nova/dados");
    QProcess p;
    p.start(m_program, {"--data-dir", folder, "--init-db"});
    ASSERT_TRUE(p.waitForFinished(120000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QFile::Permissions owner =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
    EXPECT_EQ(QFile::permissions(folder), owner);
    EXPECT_EQ(QFile::permissions(m_dir.filePath("nova")), owner);
    EXPECT_EQ(QFile::permissions(folder + "/BDSMS.db"),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

} // namespace

namespace {

class DamagedFileCommandTest : public ContactTransferCommandTest {};

// A damaged page in the middle of the contacts: no sheet from the rows before it, and the check
// names the problem; a sound file checks "ok".
TEST_F(DamagedFileCommandTest, ExportStopsAndCheckDbSaysWhy) {
    ASSERT_EQ(run({"--check-db"}).exitCode, 1) << "no file yet";
    ASSERT_EQ(run({"--init-db"}).exitCode, 0);
    const CliRun sound = run({"--check-db"});
    EXPECT_EQ(sound.exitCode, 0);
    EXPECT_EQ(sound.out, "ok\n");
    QFile::remove(m_dir.filePath("BDSMS.db"));
    ASSERT_EQ(makeDamagedContacts(m_dir.path(), 5000), QString());
    const QString file = m_dir.filePath("CONTATOS.xlsx");
    const CliRun exported = run({"--export", file});
    EXPECT_EQ(exported.exitCode, 1);
    EXPECT_FALSE(exported.out.contains("Finalizado exportação!")) << exported.out.toStdString();
    EXPECT_TRUE(exported.err.contains("O banco de dados está danificado: ")) << exported.err.toStdString();
    EXPECT_FALSE(QFile::exists(file));
    const CliRun checked = run({"--check-db"});
    EXPECT_EQ(checked.exitCode, 1);
    EXPECT_NE(checked.out, "ok\n");
    EXPECT_FALSE(checked.out.trimmed().isEmpty());
    EXPECT_TRUE(checked.err.contains(".recover")) << checked.err.toStdString();
}

} // namespace
