// Times the printed history report over a large history and measures its peak memory: fills ROWS rows
// (default 1,000,000) in a fresh data folder, then in separate processes (so each peak is its own)
// (1) the baseline: the same rows read with a bare forward-only query in the report's order, and
// (2) the summary report ("Resumido") written to a PDF as `vestral-sms --report FILE.pdf` does.
// Prints the elapsed and processor time and the peak resident memory of each, and the elapsed-time ratio of
// the report to the baseline.
// Usage: report_bench [ROWS] [--full]
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

#include "history/HistoryReportCommand.h"
#include "store/TADO.h"

namespace {

double peakMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0; // kB on Linux
}

// Processor time of this process (user + system): what the work costs whatever else the machine runs.
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool fill(const QString& dir, int rows) {
    TADO ado;
    if (!ado.start(dir).ok)
        return false;
    QSqlQuery q(ado.database());
    // Rows dated 100 s apart from 2024-01-01; one in three an e-mail with the name in brackets.
    q.prepare("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < ?) "
              "INSERT INTO dbHISTORICO (DATA, DESTINATARIO, MENSAGEM, TIPO, ENVIADO) "
              "SELECT datetime('2024-01-01 00:00:00', '+' || (i * 100) || ' seconds'), "
              "CASE i % 3 WHEN 0 THEN '(Cliente ' || i || ') cliente' || i || '@exemplo.com.br' "
              "ELSE '55119' || printf('%08d', i) END, "
              "'Mensagem de teste número ' || i, CASE i % 3 WHEN 0 THEN 'E-Mail' ELSE 'SMS' END, i % 2 FROM n");
    q.addBindValue(rows);
    if (!q.exec()) {
        std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
        return false;
    }
    return QSqlQuery(ado.database()).exec("ANALYZE");
}

int baseline(const QString& dir) {
    TADO ado;
    if (!ado.start(dir).ok)
        return 1;
    QElapsedTimer t;
    t.start();
    QSqlQuery q(ado.database());
    q.setForwardOnly(true);
    q.exec("SELECT ID_HISTORICO, DATA, DESTINATARIO, TIPO, ENVIADO FROM dbHISTORICO ORDER BY DATA, ID_HISTORICO");
    qint64 rows = 0;
    while (q.next()) {
        for (int c = 0; c < 5; ++c)
            q.value(c).toString();
        ++rows;
    }
    std::printf("baseline bare read of %lld rows: %.2f s (processor %.2f s), peak %.0f MB\n", rows,
                t.nsecsElapsed() / 1e9, cpuSeconds(), peakMb());
    return 0;
}

int report(const QString& dir, const QString& file, bool full) {
    TADO ado;
    if (!ado.start(dir).ok)
        return 1;
    QElapsedTimer t;
    t.start();
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    const HistoryReportCommand::Request request{
        file, full ? HistoryReport::Form::Completo : HistoryReport::Form::Resumido, {}};
    const int code = HistoryReportCommand::run(&ado, request, out, err);
    if (code != 0) {
        std::fprintf(stderr, "%s\n", qPrintable(errText));
        return code;
    }
    std::printf("%s report: %.2f s (processor %.2f s), peak %.0f MB, %s, %.0f MB of PDF\n", full ? "full" : "summary",
                t.nsecsElapsed() / 1e9, cpuSeconds(), peakMb(), qPrintable(outText.trimmed()),
                QFileInfo(file).size() / 1048576.0);
    return 0;
}

// Runs this program again with `args`; prints what it prints and returns the seconds it took.
double child(const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer t;
    t.start();
    p.start(QCoreApplication::applicationFilePath(), args);
    p.waitForFinished(-1);
    return p.exitCode() == 0 ? t.nsecsElapsed() / 1e9 : -1;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.value(1) == "--baseline")
        return baseline(a.value(2));
    if (a.value(1) == "--report")
        return report(a.value(2), a.value(3), a.value(4) == "--full");
    const int rows = a.size() > 1 && !a[1].startsWith("--") ? a[1].toInt() : 1000000;
    const bool full = a.contains("--full");
    QTemporaryDir dir;
    if (!fill(dir.path(), rows))
        return 1;
    std::printf("history rows: %d\n", rows);
    std::fflush(stdout);
    const double base = child({"--baseline", dir.path()});
    QStringList reportArgs{"--report", dir.path(), dir.filePath("relatorio.pdf")};
    if (full)
        reportArgs << "--full";
    const double rep = child(reportArgs);
    if (base <= 0 || rep <= 0)
        return 1;
    std::printf("report / baseline (whole process, start-up included): %.1fx\n", rep / base);
    return 0;
}
