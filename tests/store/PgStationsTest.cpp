// Several stations drain one outbox on a PostgreSQL server: each is a `vestral-sms --send-outbox --station X`
// of its own, with simulated modems of its own (its data folder's ports). Every number gets its text once
// across all the modems, the history holds every row, and every station sends a share.
#include "MissingPeer.h"
#include "ModemSimulator.h"
#include "PgServer.h"
#include "TempDataDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <map>
#include <memory>
#include <vector>

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
        run->sim = std::make_unique<modemsim::ModemSimulator>(options);
        run->sim->start();
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
              QString::number(kRows));
    EXPECT_EQ(data.pg->server->scalar(data.pg->name, "SELECT COUNT(*) FROM dbmensagem"), "0");
}

INSTANTIATE_TEST_SUITE_P(Stations, PgStations, ::testing::Values(2, 3), [](const ::testing::TestParamInfo<int>& i) {
    return QString::number(i.param).toStdString() + "estacoes";
});

} // namespace
