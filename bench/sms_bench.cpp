// Send benchmark: N simulated modems with M outbox rows each, TEMPO_SMS 0, sent by the 64 sender
// workers through the response handlers. Prints the whole send time, SMS per second and the
// longest time the window thread's event loop could not run a 5 ms timer (a stall of the screen).
// Usage: sms_bench [MODEMS=64] [ROWS=100] [LATENCY_MS=200] [FAULTS=0]
// With FAULTS=1 the modems answer "+CMS ERROR", "ERROR", garbage or nothing at random and one
// modem is unplugged mid-send; the outbox invariant is checked.
#include "../tests/sms/SmsBench.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

using namespace modemsim;

namespace {

std::vector<PortConfig> configs(int modems, int latency, bool faults, int rows) {
    std::vector<PortConfig> list(static_cast<std::size_t>(modems));
    for (int i = 0; i < modems; ++i) {
        PortConfig& c = list[std::size_t(i)];
        c.latencyMs = latency;
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int modems = argc > 1 ? std::atoi(argv[1]) : 64;
    const int rows = argc > 2 ? std::atoi(argv[2]) : 100;
    const int latency = argc > 3 ? std::atoi(argv[3]) : 200;
    const bool faults = argc > 4 && std::atoi(argv[4]) != 0;
    SmsBench bench;
    if (!bench.start(configs(modems, latency, faults, rows))) {
        std::fprintf(stderr, "setup failed\n");
        return 1;
    }
    QSqlDatabase db = bench.data.ado->database();
    db.transaction();
    for (int slot = 1; slot <= modems; ++slot) {
        bench.activate({slot});
        for (int i = 0; i < rows; ++i)
            bench.addRow(slot, QStringLiteral("55119%1%2").arg(slot, 2, 10, QChar('0')).arg(i, 4, 10, QChar('0')),
                         QStringLiteral("Mensagem %1 da entrada %2").arg(i).arg(slot));
    }
    db.commit();
    bench.setTempoSms(0);
    const int before = bench.count("dbMENSAGEM");

    TMeuThread::Timing timing;
    if (faults)
        timing.answerTimeoutMs = 2000; // a silent modem would otherwise hold its slot 30 s a row
    bench.sender->setTiming(timing);
    QElapsedTimer total;
    total.start();
    // A 5 ms timer on the window thread: the longest gap between two of its ticks, less its period,
    // is the longest time the event loop could not serve the operator.
    qint64 longest = 0;
    QElapsedTimer gap;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] { longest = qMax(longest, gap.restart() - 5); });
    QEventLoop loop;
    QObject::connect(bench.sender.get(), &SmsSender::allEnded, &loop, &QEventLoop::quit);
    bench.sender->btEnvioSMSClick();
    gap.start();
    probe.start(5);
    if (bench.sender->running())
        loop.exec();
    const double seconds = double(total.elapsed()) / 1000.0;
    const int after = bench.count("dbMENSAGEM");
    const int history = bench.count("dbHISTORICO");
    std::printf("sms_send modems=%d rows=%d latency_ms=%d faults=%d seconds=%.2f sms_per_s=%.1f "
                "longest_stall_ms=%lld outbox_before=%d outbox_after=%d history=%d invariant=%s\n",
                modems, rows, latency, faults ? 1 : 0, seconds, double(history) / seconds,
                static_cast<long long>(longest), before, after, history,
                before == after + history ? "holds" : "BROKEN");
    return before == after + history ? 0 : 3;
}
