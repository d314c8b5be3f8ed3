// Send benchmark: N simulated modems with M outbox rows each, TEMPO_SMS 0, sent by the 64 sender
// workers through the program's own modem station and SMS engine (as `--send-outbox` builds them:
// port slots, response coordinator, send screen, orchestration). Prints the whole send time, its
// ratio to the ideal (two modem replies per SMS, each after the latency), SMS per second and the
// longest time the window thread's event loop could not run a 5 ms timer (a stall of the screen).
// Usage: sms_bench [MODEMS=64] [ROWS=100] [LATENCY_MS=200] [FAULTS=0] [PDU_PARTS=0]
// With VESTRAL_BENCH_DATABASE=URL the store is that PostgreSQL database instead of a temporary SQLite file.
// With FAULTS=1 the modems answer "+CMS ERROR", "ERROR", garbage or nothing at random and one
// modem is unplugged mid-send; the outbox invariant is checked. With PDU_PARTS=k (1..6) the send
// runs in PDU mode (MODO_SMS = "PDU") with texts of k concatenated parts (GSM 7-bit), and the ideal
// counts the parts: two modem replies per part.
// Each worker also waits for its modem's set-up replies before its first row (text mode: AT+CMGF=1
// and AT+CSCS; PDU mode: AT+CMGF=0), one latency each: `ideal_setup_s` adds them to the ideal and
// `ratio_setup` is the time over that sum.
// Usage: sms_bench --result-delay [MODEMS=64] [ROWS=20] [DELAY_MS=200]: the modems answer every command at
// once, the "> " prompt too, and give only a send's final result DELAY_MS after its Ctrl-Z, as a network
// does. A slot's rows then cost ROWS x DELAY_MS of modem time (the ideal), and the bench prints the time from
// the first AT+CMGS written to the last result stored, the ratio ideal/actual, and the time from the start of
// the send to the first SMS (its Ctrl-Z at the modem) and to the last slot's first SMS.
#include "../tests/sms/ModemTestRig.h"
#include "modem/ModemLog.h"
#include "sms/SmsSender.h"
#include "sms/SmsStation.h"
#include "sms/TMeuThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>

using namespace modemsim;

namespace {

std::vector<PortConfig> configs(int modems, int latency, bool faults, int rows, int resultDelay) {
    std::vector<PortConfig> list(static_cast<std::size_t>(modems));
    for (int i = 0; i < modems; ++i) {
        PortConfig& c = list[std::size_t(i)];
        c.latencyMs = latency;
        c.resultDelayMs = resultDelay;
        if (!faults)
            continue;
        switch (i % 4) {
        case 0:
            c.failRate = 0.3;
            break;
        case 1:
            c.failRate = 0.3;
            c.cmsError = 0;
            break;
        case 2:
            c.garbage = true;
            break;
        default:
            c.silent = i == 3;
            break;
        }
    }
    if (faults && modems > 5)
        list[5].unplugAfter = rows / 2;
    return list;
}

// Row i's text: a short one in text mode; in PDU mode one of exactly `parts` GSM 7-bit parts (153
// septets each but the last).
QString text(int parts, int i, int slot) {
    const QString head = QStringLiteral("Mensagem %1 da entrada %2 ").arg(i).arg(slot);
    if (parts <= 1)
        return head;
    return QString(head + QString(153 * (parts - 1), QLatin1Char('x'))).left(153 * (parts - 1) + 10);
}

int count(TADO* ado, const char* table) {
    QSqlQuery q(ado->database());
    q.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table)));
    return q.next() ? q.value(0).toInt() : -1;
}

using SteadyClock = std::chrono::steady_clock;

double secondsBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// The result-delay run's moments, taken from the send log as the lines come (on the window thread): each
// "Preparando SMS" line is logged in the hand-over that writes its AT+CMGS, each "MENSAGEM ENVIADA" line
// right after its result's commit.
struct Moments {
    std::optional<SteadyClock::time_point> firstCommand;
    std::optional<SteadyClock::time_point> lastStored;
    int stored = 0;
    void line(const QString& text) {
        const auto now = SteadyClock::now();
        if (!firstCommand && text.contains(QLatin1String(" Preparando SMS para o Fone=")))
            firstCommand = now;
        if (text.contains(QLatin1String(" MENSAGEM ENVIADA PARA "))) {
            lastStored = now;
            ++stored;
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool resultDelayRun = argc > 1 && std::strcmp(argv[1], "--result-delay") == 0;
    if (resultDelayRun) {
        --argc;
        ++argv;
    }
    const int modems = argc > 1 ? std::atoi(argv[1]) : 64;
    const int rows = argc > 2 ? std::atoi(argv[2]) : (resultDelayRun ? 20 : 100);
    const int latency = resultDelayRun ? 0 : (argc > 3 ? std::atoi(argv[3]) : 200);
    const int resultDelay = resultDelayRun ? (argc > 3 ? std::atoi(argv[3]) : 200) : 0;
    const bool faults = !resultDelayRun && argc > 4 && std::atoi(argv[4]) != 0;
    const int pduParts = !resultDelayRun && argc > 5 ? qBound(0, std::atoi(argv[5]), 6) : 0;

    // VESTRAL_BENCH_DATABASE=URL: the same send on that PostgreSQL database (its outbox and history emptied first).
    const QString url = qEnvironmentVariable("VESTRAL_BENCH_DATABASE");
    QString urlError;
    const StoreLocation where = url.isEmpty() ? StoreLocation() : StoreLocation::parse(url, &urlError);
    if (!urlError.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(urlError));
        return 2;
    }
    ModemTestRig rig = url.isEmpty() ? ModemTestRig(configs(modems, latency, faults, rows, resultDelay))
                                     : ModemTestRig(configs(modems, latency, faults, rows, resultDelay), where);
    TADO* ado = rig.ado();
    SmsStation sms(ado);
    rig.station->attach(&sms);
    // A modem slower than the probe's 100 ms is left closed by it: opened here, before the clock
    // starts, as the worker would open it.
    rig.configurator()->openAll();
    for (int slot = 1; slot <= modems; ++slot) {
        SerialChannel* channel = rig.slot(slot)->channel();
        if (!channel->isOpen())
            channel->open();
        if (!channel->isOpen()) {
            std::fprintf(stderr, "port %d did not open\n", slot);
            return 1;
        }
    }
    // Every slot takes part, the silent modem too (the probe would leave it out).
    QSqlDatabase db = ado->database();
    db.transaction();
    rig.exec(QStringLiteral("DELETE FROM dbPORTA_ATIVA"));
    if (!url.isEmpty()) {
        rig.exec(QStringLiteral("DELETE FROM dbMENSAGEM"));
        rig.exec(QStringLiteral("DELETE FROM dbHISTORICO"));
    }
    for (int slot = 1; slot <= modems; ++slot) {
        rig.exec(QStringLiteral("INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (%1, 10)").arg(slot));
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES (?, ?, ?)"));
        for (int i = 0; i < rows; ++i) {
            q.addBindValue(QStringLiteral("55119%1%2").arg(slot, 2, 10, QChar('0')).arg(i, 4, 10, QChar('0')));
            q.addBindValue(text(pduParts, i, slot));
            q.addBindValue(slot);
            q.exec();
        }
    }
    // VESTRAL_BENCH_TEMPO_SMS=1 (a 1 ms pause) sends each row's in-flight mark in a commit of its own at
    // the prompt, as before the marks rode on the results' commits: the comparison run.
    const int tempoSms = qEnvironmentVariableIntValue("VESTRAL_BENCH_TEMPO_SMS");
    rig.exec(QStringLiteral("UPDATE dbCFG SET TEMPO_SMS = %1, MODO_SMS = '%2'")
                 .arg(tempoSms)
                 .arg(pduParts > 0 ? QStringLiteral("PDU") : QStringLiteral("TEXTO")));
    db.commit();
    const int before = count(ado, "dbMENSAGEM");

    TMeuThread::Timing timing;
    if (faults)
        timing.answerTimeoutMs = 2000; // a silent modem would otherwise hold its slot 30 s a row
    SmsSender* sender = sms.sender();
    sender->setTiming(timing);
    QElapsedTimer total;
    total.start();
    // A 5 ms timer on the window thread: the longest gap between two of its ticks, less its period,
    // is the longest time the event loop could not serve the operator.
    qint64 longest = 0;
    QElapsedTimer gap;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] { longest = qMax(longest, gap.restart() - 5); });
    Moments moments;
    if (resultDelayRun) {
        // The workers' lines come through the send screen, the modem replies' through the station's log.
        QObject::connect(sms.screen(), &SendScreen::sendLogLine,
                         [&moments](const QString& line) { moments.line(line); });
        QObject::connect(rig.station->sendLog(), &ModemLog::lineAppended,
                         [&moments](const QString& line, bool) { moments.line(line); });
    }
    // VESTRAL_BENCH_LOG=FILE: every send-log and modem-log line, with the milliseconds since the start, for a run
    // whose time is to be explained.
    QFile logFile(qEnvironmentVariable("VESTRAL_BENCH_LOG"));
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (!logFile.fileName().isEmpty() && logFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        auto write = [&](const QString& line) {
            logFile.write(QByteArray::number(sinceStart.elapsed()) + ' ' + line.toUtf8() + '\n');
        };
        QObject::connect(sms.screen(), &SendScreen::sendLogLine, write);
        QObject::connect(rig.station->sendLog(), &ModemLog::lineAppended,
                         [write](const QString& line, bool) { write(line); });
    }
    QEventLoop loop;
    QObject::connect(sender, &SmsSender::allEnded, &loop, &QEventLoop::quit);
    const auto started = SteadyClock::now();
    sender->startSend();
    gap.start();
    probe.start(5);
    if (sender->running())
        loop.exec();
    const double seconds = double(total.elapsed()) / 1000.0;
    if (resultDelayRun) {
        const int after = count(ado, "dbMENSAGEM");
        const int history = count(ado, "dbHISTORICO");
        // The first SMS of the send, and the first SMS of the slot that started last.
        std::optional<SteadyClock::time_point> firstSms, lastFirstSms;
        // Each slot's gap between a result due at the modem and the next Ctrl-Z (the engine's share of a cycle).
        std::vector<double> gaps;
        for (int port = 0; port < modems; ++port) {
            const std::vector<SentSms> sent = rig.sim->sent(port);
            if (sent.empty())
                continue;
            for (std::size_t k = 1; k < sent.size(); ++k)
                gaps.push_back(1000.0 * secondsBetween(sent[k - 1].at, sent[k].at) - resultDelay);
            firstSms = firstSms ? std::min(*firstSms, sent.front().at) : sent.front().at;
            lastFirstSms = lastFirstSms ? std::max(*lastFirstSms, sent.front().at) : sent.front().at;
        }
        const double actual = moments.firstCommand && moments.lastStored
                                  ? secondsBetween(*moments.firstCommand, *moments.lastStored)
                                  : 0.0;
        const double ideal = rows * resultDelay / 1000.0;
        std::sort(gaps.begin(), gaps.end());
        auto gapAt = [&gaps](double share) {
            return gaps.empty() ? 0.0 : gaps[std::min(gaps.size() - 1, std::size_t(share * double(gaps.size())))];
        };
        std::printf("sms_result_delay modems=%d rows=%d result_delay_ms=%d seconds=%.3f "
                    "first_cmgs_to_last_stored_s=%.3f ideal_s=%.3f ratio_ideal_actual=%.3f "
                    "start_to_first_cmgs_s=%.3f start_to_first_sms_s=%.3f start_to_last_first_sms_s=%.3f "
                    "cycle_gap_ms_p50=%.1f p90=%.1f max=%.1f results_logged=%d longest_stall_ms=%lld "
                    "outbox_before=%d outbox_after=%d history=%d invariant=%s\n",
                    modems, rows, resultDelay, seconds, actual, ideal, actual > 0 ? ideal / actual : 0.0,
                    moments.firstCommand ? secondsBetween(started, *moments.firstCommand) : -1.0,
                    firstSms ? secondsBetween(started, *firstSms) : -1.0,
                    lastFirstSms ? secondsBetween(started, *lastFirstSms) : -1.0, gapAt(0.5), gapAt(0.9), gapAt(1.0),
                    moments.stored, static_cast<long long>(longest), before, after, history,
                    before == after + history ? "holds" : "BROKEN");
        return before == after + history ? 0 : 3;
    }
    const double ideal = 2.0 * rows * qMax(1, pduParts) * latency / 1000.0;
    const double idealSetup = ideal + (pduParts > 0 ? 1 : 2) * latency / 1000.0;
    const int after = count(ado, "dbMENSAGEM");
    const int history = count(ado, "dbHISTORICO");
    std::printf("sms_send modems=%d rows=%d latency_ms=%d faults=%d pdu_parts=%d tempo_sms=%d seconds=%.2f "
                "ideal_s=%.1f ratio=%.3f ideal_setup_s=%.1f ratio_setup=%.3f "
                "sms_per_s=%.1f longest_stall_ms=%lld outbox_before=%d outbox_after=%d history=%d invariant=%s\n",
                modems, rows, latency, faults ? 1 : 0, pduParts, tempoSms, seconds, ideal,
                ideal > 0 ? seconds / ideal : 0.0, idealSetup, idealSetup > 0 ? seconds / idealSetup : 0.0,
                double(history) / seconds, static_cast<long long>(longest), before, after, history,
                before == after + history ? "holds" : "BROKEN");
    return before == after + history ? 0 : 3;
}
