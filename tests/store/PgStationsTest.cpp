// Several stations drain one outbox on a PostgreSQL server: each is a `vestral-sms --send-outbox --station X`
// of its own, with simulated modems of its own (its data folder's ports). Every number gets its text once
// across all the modems, the history holds every row, and every station sends a share.
#include "MissingPeer.h"
#include "ModemSimulator.h"
#include "PgServer.h"
#include "TempDataDir.h"
#include "sms/ResultJournal.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <vector>

#include <signal.h>

namespace {

QString binary() {
    QString buildDir = qEnvironmentVariable("VESTRAL_BINARY_DIR");
    if (buildDir.isEmpty())
        buildDir = QCoreApplication::applicationDirPath() + QStringLiteral("/../..");
    return buildDir + QStringLiteral("/src/app/vestral-sms");
}

// One station: its data folder, its simulated modems (COM1.., as many as the slots made ready) and its program.
struct StationRun {
    QTemporaryDir dir;
    std::unique_ptr<modemsim::ModemSimulator> sim;
    QProcess child;
    int sent() const {
        int n = 0;
        for (int p = 0; p < 2; ++p)
            n += int(sim->sent(p).size());
        return n;
    }
};

class PgStations : public ::testing::TestWithParam<int> {};

// The pool of `rows` rows on a database of the test's own, two slots ready; the URL for the stations.
QString makePool(TempDataDir& data, int rows, QString* why) {
    const TADO::StartResult started = data.start(StoreLocation::Kind::Postgres);
    if (!data.onPostgres() || !data.pg->ok()) {
        *why = data.missingPeer;
        return {};
    }
    if (!started.ok) {
        *why = started.error;
        return {};
    }
    QSqlQuery q(data.ado->database());
    bool ok = q.exec("UPDATE dbCFG SET TEMPO_SMS = 0, CASCATA = 10");
    for (int n = 1; ok && n <= 2; ++n)
        ok = q.exec(QStringLiteral("UPDATE dbPORTA SET ATIVO = 1, COM = %1 WHERE ID = %1").arg(n));
    ok = ok && q.exec(QStringLiteral("INSERT INTO dbMENSAGEM (FONE, MENSAGEM) SELECT '55119' || lpad(g::text, 6, "
                                     "'0'), 'texto ' || g FROM generate_series(1, %1) g")
                          .arg(rows));
    if (!ok) {
        *why = q.lastError().text();
        return {};
    }
    data.ado.reset(); // the stations hold the database now
    return data.pg->url();
}

// Starts station `name` with two simulated modems of `port`'s kind; `env`: extra environment of its program.
std::unique_ptr<StationRun> startStation(const QString& url, const QString& name, const modemsim::PortConfig& port,
                                         const QStringList& env = {}) {
    auto run = std::make_unique<StationRun>();
    modemsim::SimulatorOptions options;
    options.dir = QString(run->dir.path() + QStringLiteral("/portas")).toStdString();
    options.ports.assign(2, port);
    run->sim = std::make_unique<modemsim::ModemSimulator>(options);
    run->sim->start();
    // The station's own port rows, slots 1 and 2 on COM1 and COM2 (slots belong to a station).
    QProcess::execute(binary(),
                      {QStringLiteral("--data-dir"), run->dir.path(), QStringLiteral("--database"), url,
                       QStringLiteral("--station"), name, QStringLiteral("--demo-ports"), QStringLiteral("2")});
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString& kv : env)
        e.insert(kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1));
    run->child.setProcessEnvironment(e);
    run->child.start(binary(), {QStringLiteral("--data-dir"), run->dir.path(), QStringLiteral("--database"), url,
                                QStringLiteral("--station"), name, QStringLiteral("--send-outbox")});
    run->child.waitForStarted();
    return run;
}

// How many times each number reached a modem, over every station.
std::map<std::string, int> received(const std::vector<StationRun*>& runs) {
    std::map<std::string, int> times;
    for (StationRun* run : runs)
        for (int p = 0; p < 2; ++p)
            for (const modemsim::SentSms& sms : run->sim->sent(p))
                ++times[sms.number];
    return times;
}

int twice(const std::map<std::string, int>& times) {
    int n = 0;
    for (const auto& [number, count] : times)
        n += count > 1 ? 1 : 0;
    return n;
}

// Serves events until `condition` holds; the bound only keeps a broken build from hanging.
bool waitFor(const std::function<bool()>& condition) {
    QElapsedTimer guard;
    guard.start();
    while (!condition()) {
        if (guard.elapsed() > 120000)
            return false;
        QThread::msleep(20);
    }
    return true;
}

TEST_P(PgStations, OnePoolEveryNumberOnceEveryStationAShare) {
    if (!QFileInfo::exists(binary()))
        VESTRAL_SKIP_MISSING_PEER("vestral-sms not built");
    TempDataDir data;
    const TADO::StartResult started = data.start(StoreLocation::Kind::Postgres);
    if (!data.onPostgres() || !data.pg->ok())
        VESTRAL_SKIP_MISSING_PEER(data.missingPeer.toStdString());
    ASSERT_TRUE(started.ok) << started.error.toStdString();
    constexpr int kRows = 2000;
    constexpr int kModems = 2;
    QSqlQuery q(data.ado->database());
    ASSERT_TRUE(q.exec("UPDATE dbCFG SET TEMPO_SMS = 0, CASCATA = 10"));
    for (int n = 1; n <= kModems; ++n)
        ASSERT_TRUE(q.exec(QStringLiteral("UPDATE dbPORTA SET ATIVO = 1, COM = %1 WHERE ID = %1").arg(n)));
    // The pool, as the builder leaves it: no slot, no station.
    ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO dbMENSAGEM (FONE, MENSAGEM) SELECT '55119' || lpad(g::text, 6, "
                                      "'0'), 'texto ' || g FROM generate_series(1, %1) g")
                           .arg(kRows)))
        << q.lastError().text().toStdString();
    const QString url = data.pg->url();
    data.ado.reset(); // the stations hold the database now

    const int stations = GetParam();
    std::vector<std::unique_ptr<StationRun>> runs;
    for (int s = 0; s < stations; ++s) {
        auto run = std::make_unique<StationRun>();
        modemsim::SimulatorOptions options;
        options.dir = QString(run->dir.path() + QStringLiteral("/portas")).toStdString();
        options.ports.resize(kModems);
        options.seed = unsigned(s + 1);
        options.transcriptPath = QString(run->dir.path() + QStringLiteral("/transcript.txt")).toStdString();
        run->sim = std::make_unique<modemsim::ModemSimulator>(options);
        run->sim->start();
        QProcess::execute(binary(), {QStringLiteral("--data-dir"), run->dir.path(), QStringLiteral("--database"), url,
                                     QStringLiteral("--station"), QStringLiteral("estacao-%1").arg(s + 1),
                                     QStringLiteral("--demo-ports"), QStringLiteral("2")});
        run->child.setStandardOutputFile(run->dir.path() + QStringLiteral("/saida.txt"));
        run->child.start(binary(), {QStringLiteral("--data-dir"), run->dir.path(), QStringLiteral("--database"), url,
                                    QStringLiteral("--station"), QStringLiteral("estacao-%1").arg(s + 1),
                                    QStringLiteral("--send-outbox")});
        ASSERT_TRUE(run->child.waitForStarted());
        runs.push_back(std::move(run));
    }
    for (auto& run : runs) {
        ASSERT_TRUE(run->child.waitForFinished(600000));
        EXPECT_EQ(run->child.exitCode(), 0)
            << run->child.readAllStandardOutput().toStdString() << run->child.readAllStandardError().toStdString();
    }

    std::map<std::string, int> times;
    for (auto& run : runs) {
        EXPECT_GT(run->sent(), 0) << "a station sent nothing";
        for (int p = 0; p < kModems; ++p)
            for (const modemsim::SentSms& sms : run->sim->sent(p))
                ++times[sms.number];
    }
    EXPECT_EQ(int(times.size()), kRows);
    int twice = 0;
    for (const auto& [number, count] : times)
        twice += count > 1 ? 1 : 0;
    EXPECT_EQ(twice, 0);
    EXPECT_EQ(data.pg->server->scalar(data.pg->name, "SELECT COUNT(*) FROM dbhistorico WHERE enviado = 1"),
              QString::number(kRows))
        << data.pg->server
               ->scalar(data.pg->name,
                        "SELECT string_agg(destinatario || ' ' || estacao || ' ' || mensagem, ' | ') FROM "
                        "dbhistorico WHERE enviado <> 1")
               .toStdString();
    EXPECT_EQ(data.pg->server->scalar(data.pg->name, "SELECT COUNT(*) FROM dbmensagem"), "0");
    if (HasFailure())
        for (auto& run : runs) {
            run->dir.setAutoRemove(false);
            std::cerr << "kept: " << run->dir.path().toStdString() << "\n";
        }
}

// A station killed (SIGKILL) while each of its modems holds the result of a row it marked in flight, with the
// rest of its batches claimed: once its claims expire (2 s here) another station sends every row but those two,
// which stay in the outbox, marked, for the operator. No number reaches a modem twice.
TEST(PgStationsKill, TheOthersSendEveryUnclaimedRowAndNothingTwice) {
    if (!QFileInfo::exists(binary()))
        VESTRAL_SKIP_MISSING_PEER("vestral-sms not built");
    constexpr int kRows = 200;
    TempDataDir data;
    QString why;
    const QString url = makePool(data, kRows, &why);
    if (url.isEmpty() && !data.onPostgres())
        VESTRAL_SKIP_MISSING_PEER(why.toStdString());
    ASSERT_FALSE(url.isEmpty()) << why.toStdString();
    const QStringList shortClaims{QStringLiteral("VESTRAL_FICHA_SEGUNDOS=2")};
    modemsim::PortConfig holding;
    holding.holdResults = true;
    auto first = startStation(url, "estacao-1", holding, shortClaims);
    const bool held = waitFor([&] {
        return (first->sim->holding(0) && first->sim->holding(1)) || first->child.state() == QProcess::NotRunning;
    });
    if (first->child.state() != QProcess::NotRunning && first->child.processId() > 0)
        ::kill(pid_t(first->child.processId()), SIGKILL);
    ASSERT_TRUE(first->child.waitForFinished(30000));
    ASSERT_TRUE(held && first->sim->holding(0) && first->sim->holding(1))
        << first->child.readAllStandardOutput().toStdString();
    first->sim->release(0, true);
    first->sim->release(1, true);
    // The dead station's claims run out, on the server's clock.
    ASSERT_TRUE(waitFor([&] {
        return data.pg->server->scalar(data.pg->name, "SELECT COUNT(*) FROM dbmensagem WHERE enviando IS NULL AND "
                                                      "ficha_validade >= to_char(localtimestamp, "
                                                      "'YYYY-MM-DD HH24:MI:SS')") == "0";
    }));

    auto second = startStation(url, "estacao-2", modemsim::PortConfig{}, shortClaims);
    ASSERT_TRUE(second->child.waitForFinished(300000));
    const QString out = QString::fromUtf8(second->child.readAllStandardOutput());
    EXPECT_EQ(second->child.exitCode(), 0) << out.toStdString();

    const std::map<std::string, int> times = received({first.get(), second.get()});
    EXPECT_EQ(int(times.size()), kRows);
    EXPECT_EQ(twice(times), 0);
    EXPECT_EQ(data.pg->server->scalar(data.pg->name, "SELECT COUNT(*) FROM dbhistorico"), QString::number(kRows - 2));
    EXPECT_EQ(data.pg->server->scalar(data.pg->name,
                                      "SELECT string_agg(estacao || ':' || (enviando IS NOT NULL)::text, "
                                      "',') FROM dbmensagem"),
              "estacao-1:true,estacao-1:true");
}

// A station whose modems stall (their results held) past its claims' life (2 s): the rows waiting in its batches
// are taken over by the other station, and once its modems answer it sends none of them (its mark finds the
// token gone). While the stalled results are due the operator resends the interrupted rows: the other station
// sends them again, and the late results are refused by their tokens but kept in the history, marked as possible
// duplicates. The numbers received twice are exactly the rows so marked.
TEST(PgStationsStall, TakenOverRowsAreNotSentAndLateResultsAreMarked) {
    if (!QFileInfo::exists(binary()))
        VESTRAL_SKIP_MISSING_PEER("vestral-sms not built");
    constexpr int kRows = 120;
    TempDataDir data;
    QString why;
    const QString url = makePool(data, kRows, &why);
    if (url.isEmpty() && !data.onPostgres())
        VESTRAL_SKIP_MISSING_PEER(why.toStdString());
    ASSERT_FALSE(url.isEmpty()) << why.toStdString();
    const QStringList shortClaims{QStringLiteral("VESTRAL_FICHA_SEGUNDOS=2")};
    modemsim::PortConfig stalling;
    stalling.holdResults = true;
    auto slow = startStation(url, "lenta", stalling, shortClaims);
    ASSERT_TRUE(waitFor([&] {
        return (slow->sim->holding(0) && slow->sim->holding(1)) || slow->child.state() == QProcess::NotRunning;
    }));
    ASSERT_EQ(slow->child.state(), QProcess::Running) << slow->child.readAllStandardOutput().toStdString();
    // "Reenviar Interrompidas" while the stalled results are due: those rows go back to the pool.
    EXPECT_EQ(data.pg->server->scalar(data.pg->name,
                                      "WITH u AS (UPDATE dbmensagem SET enviando = NULL, estacao = NULL, porta = NULL, "
                                      "ficha = NULL, ficha_validade = NULL WHERE enviando IS NOT NULL RETURNING 1) "
                                      "SELECT COUNT(*) FROM u"),
              "2");
    // The stalled station's waiting claims run out, on the server's clock.
    ASSERT_TRUE(waitFor([&] {
        return data.pg->server->scalar(data.pg->name, "SELECT COUNT(*) FROM dbmensagem WHERE estacao = 'lenta' AND "
                                                      "ficha_validade >= to_char(localtimestamp, "
                                                      "'YYYY-MM-DD HH24:MI:SS')") == "0";
    }));
    auto fast = startStation(url, "rapida", modemsim::PortConfig{}, shortClaims);
    ASSERT_TRUE(fast->child.waitForFinished(300000));
    EXPECT_EQ(fast->child.exitCode(), 0) << fast->child.readAllStandardOutput().toStdString();
    // The stalled modems answer at last.
    slow->sim->release(0, true);
    slow->sim->release(1, true);
    ASSERT_TRUE(slow->child.waitForFinished(300000));
    const QString slowOut = QString::fromUtf8(slow->child.readAllStandardOutput());
    EXPECT_EQ(slow->child.exitCode(), 0) << slowOut.toStdString();

    const std::map<std::string, int> times = received({slow.get(), fast.get()});
    EXPECT_EQ(int(times.size()), kRows);
    const QString marked = data.pg->server->scalar(
        data.pg->name, "SELECT COUNT(*) FROM dbhistorico WHERE status_entrega = 'POSSÍVEL DUPLICADA'");
    EXPECT_EQ(QString::number(twice(times)), marked);
    EXPECT_EQ(marked, "2");
    EXPECT_EQ(slowOut.count(QStringLiteral("RESULTADO DE ENVIO RECUSADO: O PEDIDO FOI ASSUMIDO POR OUTRA ESTAÇÃO")), 2)
        << slowOut.toStdString();
    // The nine rows waiting behind each slot's stalled one (batches of CASCATA = 10) were taken over: not sent.
    EXPECT_EQ(slowOut.count(QStringLiteral("PEDIDO ASSUMIDO POR OUTRA ESTAÇÃO: MENSAGEM PARA")), 18)
        << slowOut.toStdString();
    EXPECT_EQ(int(slow->sim->sent(0).size() + slow->sim->sent(1).size()), 2);
    EXPECT_EQ(data.pg->server->scalar(data.pg->name, "SELECT COUNT(*) FROM dbmensagem"), "0");
    EXPECT_EQ(data.pg->server->scalar(data.pg->name, "SELECT COUNT(*) FROM dbhistorico"), QString::number(kRows + 2));
}

// The server stopped dead (pg_ctl stop -m immediate) for 10 s while two stations send one pool. A result a modem
// gives meanwhile waits in the station's journal and that slot stops, saying so; a station whose slots have all
// stopped ends, and the operator starts it again once the server is back. The journals go in first, once each,
// and the rest is sent. No row is lost, no number reaches a modem twice unless its history row is marked, and
// every message a modem took ends in the history (none waits as interrupted for the operator's word).
TEST(PgStationsAway, TheServerAwayTenSecondsLosesNothingAndKeepsNoSentRowWaiting) {
    if (!QFileInfo::exists(binary()))
        VESTRAL_SKIP_MISSING_PEER("vestral-sms not built");
    constexpr int kRows = 400;
    TempDataDir data;
    QString why;
    const QString url = makePool(data, kRows, &why);
    if (url.isEmpty() && !data.onPostgres())
        VESTRAL_SKIP_MISSING_PEER(why.toStdString());
    ASSERT_FALSE(url.isEmpty()) << why.toStdString();
    PgServer* server = data.pg->server;
    modemsim::PortConfig port;
    port.resultDelayMs = 40; // a result is always on its way when the server goes
    std::vector<std::unique_ptr<StationRun>> runs;
    runs.push_back(startStation(url, "s1", port));
    runs.push_back(startStation(url, "s2", port));
    const auto sentSoFar = [&] {
        int n = 0;
        for (auto& run : runs)
            n += run->sent();
        return n;
    };
    const auto allEnded = [&] {
        for (auto& run : runs)
            if (run->child.state() != QProcess::NotRunning)
                return false;
        return true;
    };
    ASSERT_TRUE(waitFor([&] { return sentSoFar() >= 60 || allEnded(); }));
    ASSERT_FALSE(allEnded()) << "the stations ended before the server went away";
    // Each station's first modem keeps its next result until the server is gone: a result is then surely on its
    // way (the slots run in step, and all of them could otherwise be between two rows when the server goes).
    for (auto& run : runs)
        run->sim->hold(0);
    ASSERT_TRUE(waitFor([&] {
        return std::all_of(runs.begin(), runs.end(), [](const auto& run) { return run->sim->holding(0); }) ||
               allEnded();
    }));
    ASSERT_FALSE(allEnded()) << "the stations ended before their results were held";
    // Whatever fails below, the server is running again for the next case.
    struct Restart {
        PgServer* server;
        ~Restart() {
            QString ignored;
            if (!server->running())
                server->start(&ignored);
        }
    } restart{server};
    ASSERT_TRUE(server->stop(&why)) << why.toStdString();
    for (auto& run : runs)
        run->sim->release(0, true);
    QThread::sleep(10);
    ASSERT_TRUE(server->start(&why)) << why.toStdString();

    // First round: whatever each station does with the server back, it ends by itself.
    QString firstOut;
    std::vector<bool> journalKept;
    for (auto& run : runs) {
        ASSERT_TRUE(run->child.waitForFinished(300000));
        firstOut += QString::fromUtf8(run->child.readAllStandardOutput());
        journalKept.push_back(QFileInfo::exists(QDir(run->dir.path()).filePath(ResultJournal::kFileName)));
    }
    EXPECT_TRUE(firstOut.contains(QStringLiteral("Banco de dados indisponível: "))) << firstOut.toStdString();
    EXPECT_NE(std::count(journalKept.begin(), journalKept.end(), true), 0)
        << "no result was kept while the server was away" << firstOut.toStdString();

    // The operator starts each station again: its journal first, then the rest of the pool.
    QString secondOut;
    for (size_t i = 0; i < runs.size(); ++i) {
        StationRun& run = *runs[i];
        run.child.start(binary(), {QStringLiteral("--data-dir"), run.dir.path(), QStringLiteral("--database"), url,
                                   QStringLiteral("--station"), QStringLiteral("s%1").arg(i + 1),
                                   QStringLiteral("--send-outbox")});
        ASSERT_TRUE(run.child.waitForStarted());
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        StationRun& run = *runs[i];
        ASSERT_TRUE(run.child.waitForFinished(300000));
        const QString out = QString::fromUtf8(run.child.readAllStandardOutput());
        secondOut += out;
        EXPECT_EQ(run.child.exitCode(), 0) << out.toStdString();
        EXPECT_FALSE(QFileInfo::exists(QDir(run.dir.path()).filePath(ResultJournal::kFileName))) << out.toStdString();
        EXPECT_EQ(out.count(QStringLiteral("GRAVADO(S) NO HISTÓRICO")), journalKept[i] ? 1 : 0) << out.toStdString();
    }

    // The stations ended while the server was away: their last error is written by the next run, and tells the
    // other operators why they stopped.
    const QString errors = server->scalar(data.pg->name, "SELECT string_agg(erro, '|') FROM dbestacao");
    EXPECT_TRUE(errors.contains(QStringLiteral("Banco de dados indisponível: ")) ||
                errors.contains(QStringLiteral("Conexão com o banco de dados perdida")))
        << errors.toStdString() << firstOut.toStdString();
    std::vector<StationRun*> all;
    for (auto& run : runs)
        all.push_back(run.get());
    const std::map<std::string, int> times = received(all);
    const QString marked =
        server->scalar(data.pg->name, "SELECT COUNT(*) FROM dbhistorico WHERE status_entrega = 'POSSÍVEL DUPLICADA'");
    EXPECT_EQ(QString::number(twice(times)), marked);
    for (const auto& [number, count] : times)
        EXPECT_LE(count, 2) << number;
    // Every pool row is in the history or still in the outbox; a marked duplicate is the only second row.
    EXPECT_EQ(server->scalar(data.pg->name, "SELECT COUNT(*) FROM (SELECT destinatario FROM dbhistorico UNION "
                                            "SELECT fone FROM dbmensagem) r"),
              QString::number(kRows));
    EXPECT_EQ(
        server->scalar(data.pg->name, "SELECT (SELECT COUNT(*) FROM dbhistorico) + (SELECT COUNT(*) FROM dbmensagem)"),
        QString::number(kRows + marked.toInt()))
        << firstOut.toStdString() << secondOut.toStdString();
    // A message a modem took is in the history, not waiting in the outbox.
    const QString history = server->scalar(data.pg->name, "SELECT string_agg(destinatario, '|') FROM dbhistorico");
    const QStringList stored = history.split(QLatin1Char('|'));
    int sentNotStored = 0;
    for (const auto& [number, count] : times)
        sentNotStored += stored.contains(QString::fromStdString(number)) ? 0 : 1;
    EXPECT_EQ(sentNotStored, 0) << firstOut.toStdString() << secondOut.toStdString();
}

// A station's failures reach its row on the server (dbESTACAO.ERRO, the stations' list) in the send log's own
// words, the latest one; even when the command ends a moment after the failure.
TEST(PgStationsLastError, EachKindOfFailureIsTheStationsLastError) {
    if (!QFileInfo::exists(binary()))
        VESTRAL_SKIP_MISSING_PEER("vestral-sms not built");
    struct Case {
        const char* name;
        modemsim::PortConfig port;
        int com2; // the COM of slot 2 (no such device: its port does not open)
        const char* expected;
        bool logged; // said on the send log too, in those words
    };
    modemsim::PortConfig refused;
    refused.failRate = 1.0;
    refused.cmsError = 500;
    modemsim::PortConfig denied;
    denied.sim.denied = true;
    modemsim::PortConfig unplugged;
    unplugged.unplugAfter = 2;
    const std::vector<Case> cases{
        {"fechada", modemsim::PortConfig{}, 9, "ENTRADA 2 FECHADA: A porta COM9", false},
        {"recusada", refused, 2, "FALHA NO ENVIO DO SMS", true},
        {"negada", denied, 2, "REGISTRO NA REDE NEGADO", true},
        {"perdida", unplugged, 2, "NÃO VOLTOU EM", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDataDir data;
        QString why;
        const QString url = makePool(data, 6, &why);
        if (url.isEmpty() && !data.onPostgres())
            VESTRAL_SKIP_MISSING_PEER(why.toStdString());
        ASSERT_FALSE(url.isEmpty()) << why.toStdString();
        StationRun run;
        modemsim::SimulatorOptions options;
        options.dir = QString(run.dir.path() + QStringLiteral("/portas")).toStdString();
        options.ports.assign(2, c.port);
        run.sim = std::make_unique<modemsim::ModemSimulator>(options);
        run.sim->start();
        const QStringList common{QStringLiteral("--data-dir"), run.dir.path(),
                                 QStringLiteral("--database"), url,
                                 QStringLiteral("--station"),  QString::fromLatin1(c.name)};
        QProcess::execute(binary(), common + QStringList{QStringLiteral("--demo-ports"), QStringLiteral("2")});
        ASSERT_TRUE(data.pg->server->exec(data.pg->name,
                                          QStringLiteral("UPDATE dbporta SET com = %1 WHERE id = 2 AND estacao = '%2'")
                                              .arg(c.com2)
                                              .arg(QString::fromLatin1(c.name)),
                                          &why))
            << why.toStdString();
        run.child.start(binary(), common + QStringList{QStringLiteral("--send-outbox")});
        ASSERT_TRUE(run.child.waitForFinished(300000));
        const QString out = QString::fromUtf8(run.child.readAllStandardOutput() + run.child.readAllStandardError());
        const QString error = data.pg->server->scalar(
            data.pg->name, QStringLiteral("SELECT erro FROM dbestacao WHERE nome = '%1'").arg(c.name));
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.expected))) << error.toStdString() << "\n" << out.toStdString();
        // The send log's own line.
        if (c.logged) {
            EXPECT_TRUE(out.contains(error)) << error.toStdString() << "\n" << out.toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Stations, PgStations, ::testing::Values(2, 3), [](const ::testing::TestParamInfo<int>& i) {
    return QString::number(i.param).toStdString() + "estacoes";
});

} // namespace
