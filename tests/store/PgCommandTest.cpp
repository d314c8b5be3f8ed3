// The program's commands on a PostgreSQL store, run as the operator runs them.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "MissingPeer.h"
#include "PgServer.h"
#include "store/PgSchema.h"

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

class PgCommand : public ::testing::Test {
protected:
    void SetUp() override {
        m_program = qEnvironmentVariable("VESTRAL_BINARY_DIR") + "/src/app/vestral-sms";
        ASSERT_TRUE(QFile::exists(m_program)) << m_program.toStdString();
        ASSERT_TRUE(dir.isValid());
        if (!db.ok())
            VESTRAL_SKIP_MISSING_PEER("PostgreSQL: " << db.why.toStdString());
    }
    Outcome run(const QStringList& args, const QString& environment = {}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("VESTRAL_DATABASE");
        if (!environment.isEmpty())
            env.insert("VESTRAL_DATABASE", environment);
        p.setProcessEnvironment(env);
        p.start(m_program, QStringList{"--data-dir", dir.path()} + args);
        EXPECT_TRUE(p.waitForFinished(120000)) << args.join(' ').toStdString();
        // Qt's own warnings about the environment (XDG_RUNTIME_DIR) are not the program's texts.
        QStringList err = QString::fromUtf8(p.readAllStandardError()).split('\n');
        err.removeIf([](const QString& line) { return line.startsWith("QStandardPaths: "); });
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), err.join('\n')};
    }
    QString tables() {
        return db.server->scalar(db.name, "SELECT count(*) FROM pg_tables WHERE schemaname = 'public'");
    }

    QString m_program;
    QTemporaryDir dir;
    PgDatabase db;
};

TEST_F(PgCommand, InitThenCheckOnTheServerAndNoFileInTheDataFolder) {
    const Outcome init = run({"--database", db.url(), "--init-db"});
    ASSERT_EQ(init.exitCode, 0) << init.err.toStdString();
    const Outcome check = run({"--database", db.url(), "--check-db"});
    EXPECT_EQ(check.exitCode, 0) << check.err.toStdString();
    EXPECT_TRUE(check.out.startsWith("conexão: ok (" + db.url() +
                                     ")\nversão do esquema: " + QString::number(PgSchema::kVersion) + "\n"))
        << check.out.toStdString();
    EXPECT_NE(check.out.indexOf("tabela dbCLIENTE: ok\n"), -1);
    EXPECT_TRUE(check.out.endsWith("\nok\n"));
    EXPECT_FALSE(QFile::exists(QDir(dir.path()).filePath("BDSMS.db")));
}

// No option: the variable; no variable either: the data folder's vestral.conf.
TEST_F(PgCommand, TheVariableAndTheSettingsFileChooseTheServerToo) {
    ASSERT_EQ(run({"--init-db"}, db.url()).exitCode, 0);
    EXPECT_EQ(tables().toInt(), 14); // the program's tables, the stations and the schema's version
    QFile conf(QDir(dir.path()).filePath("vestral.conf"));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write(("banco=" + db.url() + "\n").toUtf8());
    conf.close();
    const Outcome check = run({"--check-db"});
    EXPECT_EQ(check.exitCode, 0) << check.err.toStdString();
    EXPECT_TRUE(check.out.startsWith("conexão: ok")) << check.out.toStdString();
    EXPECT_FALSE(QFile::exists(QDir(dir.path()).filePath("BDSMS.db")));
}

TEST_F(PgCommand, APasswordInTheUrlOrAnotherSchemeIsAUsageError) {
    const QString password = "Segredo-na-URL";
    const QString withPassword =
        QStringLiteral("postgresql://vestral:%1@127.0.0.1:%2/%3").arg(password).arg(db.server->port()).arg(db.name);
    const QStringList refused[] = {
        {"--database", withPassword, "--init-db"}, {"--database", withPassword}, {"--copy-db-to", withPassword}};
    for (const QStringList& args : refused) {
        const Outcome o = run(args);
        EXPECT_EQ(o.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_EQ(o.err, "A senha do banco não pode ir na URL: use ~/.pgpass ou PGPASSWORD.\n");
        EXPECT_EQ(QString(o.out + o.err).indexOf(password), -1);
    }
    const Outcome env = run({"--init-db"}, withPassword);
    EXPECT_EQ(env.exitCode, 2);
    EXPECT_EQ(env.err.indexOf(password), -1);
    const Outcome scheme = run({"--database", "mysql://u@h/d", "--init-db"});
    EXPECT_EQ(scheme.exitCode, 2);
    EXPECT_TRUE(scheme.err.startsWith("Endereço do banco não reconhecido")) << scheme.err.toStdString();
    EXPECT_EQ(tables(), "0");
}

TEST_F(PgCommand, AServerThatIsDownEndsTheCommandWithItsReason) {
    ASSERT_TRUE(db.server->stop());
    const Outcome init = run({"--database", db.url(), "--init-db"});
    const Outcome check = run({"--database", db.url(), "--check-db"});
    QString why;
    ASSERT_TRUE(db.server->start(&why)) << why.toStdString();
    const QString said =
        QStringLiteral("Não foi possível conectar ao banco de dados 127.0.0.1:%1: ").arg(db.server->port());
    for (const Outcome& o : {init, check}) {
        EXPECT_EQ(o.exitCode, 1);
        EXPECT_TRUE(o.err.startsWith(said)) << o.err.toStdString();
    }
}

TEST_F(PgCommand, CheckSaysWhatIsWrongWithADatabaseThatIsNotOurs) {
    ASSERT_TRUE(db.server->exec(db.name, "CREATE TABLE clientes (id integer)"));
    const Outcome check = run({"--database", db.url(), "--check-db"});
    EXPECT_EQ(check.exitCode, 1);
    EXPECT_NE(check.out.indexOf("versão do esquema: ausente"), -1) << check.out.toStdString();
    const Outcome init = run({"--database", db.url(), "--init-db"});
    EXPECT_EQ(init.exitCode, 1);
    EXPECT_NE(init.err.indexOf("não é do VESTRAL SMS"), -1) << init.err.toStdString();
    EXPECT_EQ(tables(), "1");
}

// The station's file with keys that have gaps, as a file that has lived has them.
void fillStation(const QString& path, bool dirty) {
    {
        QSqlDatabase s = QSqlDatabase::addDatabase("QSQLITE", "estacao");
        s.setDatabaseName(path);
        ASSERT_TRUE(s.open());
        QSqlQuery q(s);
        ASSERT_TRUE(q.exec("INSERT INTO dbGRUPO (ID_GRUPO, GRUPO) VALUES (7, 'Clientes d''Oeste')"));
        ASSERT_TRUE(q.exec("INSERT INTO dbCLIENTE (ID_CLIENTE, NOME, FONE, ID_GRUPO, DESATIVADO, TEXTO) VALUES "
                           "(5, 'Ângela', '5511999990001', 7, 0, 'x'), (9, 'João', '5511999990002', 1, 1, NULL)"));
        ASSERT_TRUE(q.exec("INSERT INTO dbHISTORICO (ID_HISTORICO, DESTINATARIO, MENSAGEM, TIPO, ENVIADO) VALUES "
                           "(41, '5511999990001', 'Olá', 'SMS', 1)"));
        if (dirty) { // SQLite keeps a text in an integer column; PostgreSQL does not
            ASSERT_TRUE(q.exec("INSERT INTO dbCLIENTE (ID_CLIENTE, NOME, ID_GRUPO) VALUES (12, 'Zé', 'grupo?')"));
        }
    }
    QSqlDatabase::removeDatabase("estacao");
}

TEST_F(PgCommand, CopyTakesEveryTableWithItsKeysAndNewRowsFollowThem) {
    ASSERT_EQ(run({"--init-db"}).exitCode, 0);
    fillStation(QDir(dir.path()).filePath("BDSMS.db"), false);
    const Outcome copy = run({"--copy-db-to", db.url()});
    ASSERT_EQ(copy.exitCode, 0) << copy.err.toStdString();
    for (const char* line : {"dbGRUPO: 2 linhas\n", "dbCFG: 1 linhas\n", "dbCLIENTE: 2 linhas\n",
                             "dbHISTORICO: 1 linhas\n", "dbPORTA: 64 linhas\n", "dbSMS: 0 linhas\n"})
        EXPECT_NE(copy.out.indexOf(QString::fromUtf8(line)), -1) << line << copy.out.toStdString();
    EXPECT_TRUE(copy.out.endsWith("Cópia concluída: 70 linhas em 11 tabelas.\n")) << copy.out.toStdString();
    EXPECT_EQ(db.server->scalar(db.name, "SELECT string_agg(ID_CLIENTE || ':' || NOME || ':' || DESATIVADO, ',' "
                                         "ORDER BY ID_CLIENTE) FROM dbCLIENTE"),
              "5:Ângela:0,9:João:1");
    EXPECT_EQ(db.server->scalar(db.name, "SELECT GRUPO FROM dbGRUPO WHERE ID_GRUPO = 7"), "Clientes d'Oeste");
    EXPECT_EQ(db.server->scalar(db.name, "INSERT INTO dbCLIENTE (NOME) VALUES ('Nova') RETURNING ID_CLIENTE"), "10");
    EXPECT_EQ(db.server->scalar(db.name, "INSERT INTO dbHISTORICO (TIPO) VALUES ('SMS') RETURNING ID_HISTORICO"), "42");
    const Outcome check = run({"--database", db.url(), "--check-db"});
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString();
    // The server's copy now runs the station.
    const Outcome again = run({"--database", db.url(), "--init-db"});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
}

TEST_F(PgCommand, ACopyThatFailsLeavesTheTargetEmptyAndOneIntoAFullDatabaseIsRefused) {
    ASSERT_EQ(run({"--init-db"}).exitCode, 0);
    fillStation(QDir(dir.path()).filePath("BDSMS.db"), true);
    const Outcome failed = run({"--copy-db-to", db.url()});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.err.startsWith("A cópia para " + db.url() + " falhou e nada foi gravado lá: dbCLIENTE, linha 3"))
        << failed.err.toStdString();
    EXPECT_EQ(tables(), "0");

    ASSERT_EQ(run({"--database", db.url(), "--init-db"}).exitCode, 0);
    const QString before = db.server->scalar(db.name, "SELECT count(*) FROM dbGRUPO");
    const Outcome full = run({"--copy-db-to", db.url()});
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.err.indexOf("não está vazio"), -1) << full.err.toStdString();
    EXPECT_EQ(db.server->scalar(db.name, "SELECT count(*) FROM dbGRUPO"), before);
}

// Two programs under one station name would both take that station's slots: while one holds the name (here a
// session of the test's, standing for a program on another machine) every writing command under that name is
// refused and says who holds it; a read-only one still runs, and so does a station of another name; once that
// session ends, by closing or by dying, the next start works.
TEST_F(PgCommand, ASecondProgramUnderTheSameStationNameIsRefusedUntilTheFirstSessionEnds) {
    ASSERT_EQ(run({"--database", db.url(), "--init-db"}).exitCode, 0);
    QString error;
    {
        QSqlDatabase holder = PgSchema::connect(db.location(), "outro-programa", &error);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        QSqlQuery q(holder);
        ASSERT_TRUE(q.exec("SELECT pg_backend_pid()") && q.next());
        const QString pid = q.value(0).toString();
        ASSERT_TRUE(q.exec("SELECT pg_advisory_lock(" + QString::number(0x5653544e) + ", hashtext('balcao'))"));
        for (const QStringList& args :
             {QStringList{"--init-db"}, QStringList{"--opt-out-add", "11987654321"}, QStringList{"--build-outbox"}}) {
            SCOPED_TRACE(args.join(' ').toStdString());
            const Outcome o = run(QStringList{"--database", db.url(), "--station", "balcao"} + args);
            EXPECT_EQ(o.exitCode, 1);
            EXPECT_TRUE(o.err.startsWith("A estação balcao já está em uso no banco de dados " + db.url() +
                                         ". (em uso pela conexão de "))
                << o.err.toStdString();
            EXPECT_NE(o.err.indexOf("processo do servidor " + pid + ")"), -1) << o.err.toStdString();
        }
        EXPECT_EQ(db.server->scalar(db.name, "SELECT count(*) FROM dbDESCADASTRO"), "0");
        EXPECT_EQ(run({"--database", db.url(), "--station", "balcao", "--check-db"}).exitCode, 0);
        const Outcome other = run({"--database", db.url(), "--station", "fundos", "--opt-out-add", "11912345678"});
        EXPECT_EQ(other.exitCode, 0) << other.err.toStdString();
        holder.close();
    }
    QSqlDatabase::removeDatabase("outro-programa");
    const Outcome after = run({"--database", db.url(), "--station", "balcao", "--opt-out-add", "11987654321"});
    EXPECT_EQ(after.exitCode, 0) << after.err.toStdString();
    EXPECT_EQ(db.server->scalar(db.name, "SELECT count(*) FROM dbDESCADASTRO"), "2");
}

// The name's holder as the stations table shows it: with a fresh heartbeat it is named (host and process) and the
// second program refused; silent for longer than 30 s it is a machine gone from the network whose session the
// server still keeps: that session is ended and the name taken, and the program says so and goes on. --stations
// then shows the station that took over, reading only.
TEST_F(PgCommand, AHolderGivingSignsOfLifeIsNamedAndASilentOneIsTakenOver) {
    const QString name = QStringLiteral("caixa 'um' ção");
    ASSERT_EQ(run({"--database", db.url(), "--station", name, "--init-db"}).exitCode, 0);
    QString error;
    QSqlDatabase holder = PgSchema::connect(db.location(), "maquina-sumida", &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    {
        QSqlQuery q(holder);
        q.prepare("SELECT pg_advisory_lock(" + QString::number(0x5653544e) + ", hashtext(?))");
        q.addBindValue(name);
        ASSERT_TRUE(q.exec());
        q.prepare("INSERT INTO dbESTACAO (NOME, HOST, PID, BATIDA) VALUES (?, 'maq-sumida', 777, "
                  "to_char(localtimestamp - interval '3 seconds', 'YYYY-MM-DD HH24:MI:SS')) ON CONFLICT (NOME) DO "
                  "UPDATE SET HOST = excluded.HOST, PID = excluded.PID, BATIDA = excluded.BATIDA");
        q.addBindValue(name);
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    }
    const Outcome refused = run({"--database", db.url(), "--station", name, "--opt-out-add", "11987654321"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err.trimmed(), "A estação " + name + " já está em uso em maq-sumida (PID 777).");
    {
        QSqlQuery q(holder);
        q.prepare("UPDATE dbESTACAO SET BATIDA = to_char(localtimestamp - interval '45 seconds', "
                  "'YYYY-MM-DD HH24:MI:SS') WHERE NOME = ?");
        q.addBindValue(name);
        ASSERT_TRUE(q.exec());
    }
    const Outcome taken = run({"--database", db.url(), "--station", name, "--opt-out-add", "11987654321"});
    EXPECT_EQ(taken.exitCode, 0) << taken.err.toStdString();
    EXPECT_TRUE(QRegularExpression("^A estação " + QRegularExpression::escape(name) +
                                   " em maq-sumida não dava sinal havia (4[5-9]|[5-9][0-9]|[0-9]{3,}) s: assumida por "
                                   "esta\\.$")
                    .match(taken.err.trimmed())
                    .hasMatch())
        << taken.err.toStdString();
    EXPECT_EQ(db.server->scalar(db.name, "SELECT count(*) FROM dbDESCADASTRO"), "1");
    {
        QSqlQuery q(holder);
        EXPECT_FALSE(q.exec("SELECT 1")) << "the vanished machine's session was ended";
    }
    holder.close();
    QSqlDatabase::removeDatabase("maquina-sumida");

    const Outcome listed = run({"--database", db.url(), "--station", "outra", "--stations"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_TRUE(QRegularExpression("^" + QRegularExpression::escape(name) +
                                   "  \\S+  v[0-9.]+  PID [1-9][0-9]*  batida há [0-9]+ s  entradas prontas 0  em "
                                   "envio 0  enviadas na última hora 0\\n$")
                    .match(listed.out)
                    .hasMatch())
        << listed.out.toStdString();
}

// --stations reads only: a store that cannot be reached is said and exits 1; a name too long is refused before.
TEST_F(PgCommand, StationsListingFailures) {
    const struct {
        QStringList args;
        int exitCode;
        const char* err;
    } cases[] = {
        {{"--database", "postgresql://vestral@127.0.0.1:1/nada", "--stations"}, 1, "Não foi possível conectar"},
        {{"--station", QString(65, 'a'), "--stations"}, 2, "mais de 64 caracteres"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Outcome o = run(c.args);
        EXPECT_EQ(o.exitCode, c.exitCode) << o.err.toStdString();
        EXPECT_NE(o.err.indexOf(QString::fromUtf8(c.err)), -1) << o.err.toStdString();
        EXPECT_TRUE(o.out.isEmpty()) << o.out.toStdString();
    }
}

} // namespace
