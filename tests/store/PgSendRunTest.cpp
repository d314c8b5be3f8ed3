// A send run through simulated modems on a PostgreSQL store whose server is killed and started again
// while the modems send.
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTextStream>
#include <atomic>
#include <gtest/gtest.h>
#include <set>
#include <thread>

#include "MissingPeer.h"
#include "ModemTestRig.h"
#include "PgServer.h"
#include "sms/ResultJournal.h"
#include "sms/SmsCommands.h"

namespace {

TEST(PgSendRun, TheServerKilledDuringASendLosesNoRowAndSendsNoneTwice) {
    PgDatabase db;
    if (!db.ok())
        VESTRAL_SKIP_MISSING_PEER("PostgreSQL: " << db.why.toStdString());
    std::vector<modemsim::PortConfig> ports(2);
    for (auto& p : ports)
        p.latencyMs = 20;
    ModemTestRig rig(ports, db.location());
    rig.station.reset(); // the command makes its own
    rig.exec("UPDATE dbCFG SET TEMPO_SMS = 0");
    const int rows = 24;
    for (int i = 0; i < rows; ++i)
        rig.exec(QStringLiteral("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('55119000%1', 'oi', %2)")
                     .arg(i, 4, 10, QChar('0'))
                     .arg(i % 2 + 1));
    auto sentCount = [&] { return rig.sim->sent(0).size() + rig.sim->sent(1).size(); };
    std::atomic<bool> done{false};
    QString why;
    bool restarted = false;
    std::thread killer([&] {
        // Once a few have gone out, the server dies under the run and comes back a moment later.
        while (!done.load() && sentCount() < 4)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!done.load())
            restarted = db.server->stop(&why) && db.server->start(&why);
    });
    QString out, err;
    QTextStream o(&out), e(&err);
    const int exit = SmsCommands::sendOutbox(rig.ado(), o, e);
    done.store(true);
    killer.join();
    o.flush();
    e.flush();
    ASSERT_TRUE(db.server->running() || db.server->start(&why)) << why.toStdString();
    EXPECT_TRUE(exit == 0 || exit == 1) << exit;

    // Read as the server holds it, on a connection of its own.
    auto phones = [&](const QString& sql) {
        const QString all = db.server->scalar(db.name, sql);
        return all.isEmpty() ? QStringList() : all.split('|');
    };
    const QStringList history = phones("SELECT string_agg(destinatario, '|') FROM dbhistorico");
    const QStringList outbox = phones("SELECT string_agg(fone, '|') FROM dbmensagem");
    EXPECT_EQ(history.size() + outbox.size(), rows) << out.toStdString();
    std::set<QString> seen;
    for (const QString& p : history + outbox)
        EXPECT_TRUE(seen.insert(p).second) << "twice: " << p.toStdString();
    std::multiset<std::string> sent;
    for (int port = 0; port < 2; ++port)
        for (const auto& s : rig.sim->sent(port))
            sent.insert(s.number);
    for (const auto& number : sent)
        EXPECT_EQ(sent.count(number), 1u) << "sent twice: " << number;
    // A message that went out is in the history, or still in the outbox marked in flight: never waiting
    // unmarked, to go out again with the next run.
    const QStringList unmarked = phones("SELECT string_agg(fone, '|') FROM dbmensagem WHERE enviando IS NULL");
    for (const auto& number : sent)
        EXPECT_FALSE(unmarked.contains(QString::fromStdString(number))) << "sent, and waiting again: " << number;
    // The modems' data reached dbPORTA before the server went (a 0/1 compared as a number on both stores).
    EXPECT_FALSE(out.contains(" FALHA AO GRAVAR OS DADOS DO MODEM")) << out.toStdString();
    EXPECT_EQ(out.indexOf(PgServer::kPassword), -1);
    EXPECT_EQ(err.indexOf(PgServer::kPassword), -1);
    if (restarted && !outbox.isEmpty()) {
        // What stopped the run is said.
        EXPECT_TRUE(out.contains("Conexão com o banco de dados perdida") || err.contains("perdida") ||
                    out.contains("FALHA") || err.contains("FALHA"))
            << out.toStdString() << err.toStdString();
    }
}

// The server away for seconds while results come in: each result the modems give meanwhile is kept in the data
// folder's journal and the slot stops; the next run, once the server is back, stores them first, then sends the
// rest. Every number is sent once and ends once in the history.
TEST(PgSendRun, ResultsThatCameWhileTheServerWasAwayAreKeptAndStoredOnceByTheNextRun) {
    PgDatabase db;
    if (!db.ok())
        VESTRAL_SKIP_MISSING_PEER("PostgreSQL: " << db.why.toStdString());
    std::vector<modemsim::PortConfig> ports(2);
    for (auto& p : ports)
        p.resultDelayMs = 300; // a result always on its way when the server goes
    ModemTestRig rig(ports, db.location());
    rig.station.reset(); // the command makes its own
    rig.exec("UPDATE dbCFG SET TEMPO_SMS = 0");
    const int rows = 16;
    for (int i = 0; i < rows; ++i)
        rig.exec(QStringLiteral("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('55119100%1', 'oi', %2)")
                     .arg(i, 4, 10, QChar('0'))
                     .arg(i % 2 + 1));
    auto sentCount = [&] { return rig.sim->sent(0).size() + rig.sim->sent(1).size(); };
    std::atomic<bool> done{false};
    QString why;
    bool away = false;
    std::thread killer([&] {
        while (!done.load() && sentCount() < 4)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (done.load() || !db.server->stop(&why))
            return;
        away = true;
        std::this_thread::sleep_for(std::chrono::seconds(3)); // longer than a result's delay
        db.server->start(&why);
    });
    const QString journal = QDir(rig.data.path()).filePath(ResultJournal::kFileName);
    QString out, err;
    {
        QTextStream o(&out), e(&err);
        SmsCommands::sendOutbox(rig.ado(), o, e);
    }
    done.store(true);
    killer.join();
    ASSERT_TRUE(db.server->running() || db.server->start(&why)) << why.toStdString();
    ASSERT_TRUE(away) << out.toStdString();
    EXPECT_TRUE(QFile::exists(journal)) << out.toStdString();
    EXPECT_TRUE(out.contains("Banco de dados indisponível: ")) << out.toStdString();
    // The next run: the journal first, then what is left.
    QString out2, err2;
    {
        QTextStream o(&out2), e(&err2);
        SmsCommands::sendOutbox(rig.ado(), o, e);
    }
    EXPECT_FALSE(QFile::exists(journal)) << out2.toStdString();
    EXPECT_TRUE(out2.contains("GRAVADO(S) NO HISTÓRICO")) << out2.toStdString();
    auto phones = [&](const QString& sql) {
        const QString all = db.server->scalar(db.name, sql);
        return all.isEmpty() ? QStringList() : all.split('|');
    };
    const QStringList history = phones("SELECT string_agg(destinatario, '|') FROM dbhistorico");
    const QStringList outbox = phones("SELECT string_agg(fone, '|') FROM dbmensagem");
    EXPECT_EQ(history.size() + outbox.size(), rows) << out.toStdString() << out2.toStdString();
    std::set<QString> seen;
    for (const QString& p : history + outbox)
        EXPECT_TRUE(seen.insert(p).second) << "twice: " << p.toStdString();
    std::multiset<std::string> sent;
    for (int port = 0; port < 2; ++port)
        for (const auto& s : rig.sim->sent(port))
            sent.insert(s.number);
    // Every message a modem took is in the history: none waits as "interrupted" for the operator's word.
    for (const auto& number : sent) {
        EXPECT_EQ(sent.count(number), 1u) << "sent twice: " << number;
        EXPECT_TRUE(history.contains(QString::fromStdString(number))) << "sent, not in the history: " << number;
    }
    EXPECT_EQ(phones("SELECT string_agg(fone, '|') FROM dbmensagem WHERE enviando IS NOT NULL"), QStringList())
        << out.toStdString() << out2.toStdString();
}

} // namespace
