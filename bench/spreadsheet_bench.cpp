// Exports ROWS contacts (14 text columns) to FILE.xlsx with the system's writer, then parses the
// file back into rows with the system's reader, and prints both times.
// Usage: spreadsheet_bench FILE.xlsx [ROWS]
// Prints "export WALL CPU" and "parse WALL CPU ROWS", in seconds (CPU: this process's own time,
// which a busy machine does not inflate).
#include "contacts/SpreadsheetReader.h"
#include "contacts/SpreadsheetWriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <ctime>

namespace {

QList<QStringList> contacts(int count) {
    QList<QStringList> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        QStringList row;
        row << QStringLiteral("Contato %1 Ângela da Conceição").arg(i) << QString::number(11900000000LL + i)
            << QStringLiteral("contato%1@exemplo.com.br").arg(i);
        for (int t = 0; t < 11; ++t) {
            row << QStringLiteral("texto %1 do contato %2").arg(t).arg(i);
        }
        rows.append(row);
    }
    return rows;
}

double seconds(const QElapsedTimer& clock) {
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: spreadsheet_bench FILE.xlsx [ROWS]\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int count = argc > 2 ? QByteArray(argv[2]).toInt() : 100000;
    const QList<QStringList> rows = contacts(count);

    QElapsedTimer clock;
    clock.start();
    double cpu = cpuSeconds();
    const SpreadsheetWriteResult written = SpreadsheetWriter::write(path, rows);
    const double exportSeconds = seconds(clock);
    const double exportCpu = cpuSeconds() - cpu;
    if (!written.ok()) {
        std::fprintf(stderr, "spreadsheet_bench: %s\n", qPrintable(written.error));
        return 1;
    }
    clock.restart();
    cpu = cpuSeconds();
    const SpreadsheetData data = SpreadsheetReader::read(path);
    const double parseSeconds = seconds(clock);
    const double parseCpu = cpuSeconds() - cpu;
    if (!data.ok() || data.rows != rows) {
        std::fprintf(stderr, "spreadsheet_bench: read back differs (%s)\n", qPrintable(data.error));
        return 1;
    }
    std::printf("export %.3f %.3f\nparse %.3f %.3f %d\n", exportSeconds, exportCpu, parseSeconds, parseCpu,
                static_cast<int>(data.rows.size()));
    return 0;
}
