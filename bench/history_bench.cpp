// Times the history search over a large history: builds ROWS rows (default 1,000,000) spread over
// three years in a fresh data folder, then runs the page's search with a one-month and a one-day
// period, each REPEAT times, and prints the best and the median time of each.
// Usage: history_bench [ROWS] [REPEAT]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "history/HistorySearch.h"
#include "store/TADO.h"

namespace {

bool fill(TADO& ado, int rows) {
    QSqlQuery q(ado.database());
    // One statement: rows in insertion order, dated 100 s apart from 2024-01-01, one in three an e-mail.
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
    return true;
}

void time(TADO& ado, const char* name, const HistorySearch::Filter& f, int repeat) {
    QList<double> ms;
    int rows = 0;
    for (int i = 0; i < repeat; ++i) {
        QElapsedTimer t;
        t.start();
        HistorySearch::run(ado.dbHISTORICO, f, nullptr);
        ms << t.nsecsElapsed() / 1e6;
        rows = ado.dbHISTORICO->recordCount();
    }
    std::sort(ms.begin(), ms.end());
    std::printf("history search %s: best %.1f ms, median %.1f ms (%d rows of the result)\n", name, ms.first(),
                ms[ms.size() / 2], rows);
}

// Baseline: the same statement read with a bare forward-only query, no dataset around it.
void baseline(TADO& ado, int repeat) {
    QList<double> ms;
    for (int i = 0; i < repeat; ++i) {
        QElapsedTimer t;
        t.start();
        QSqlQuery q(ado.database());
        q.setForwardOnly(true);
        q.prepare("SELECT * FROM dbHISTORICO WHERE DATA BETWEEN ? AND ? ORDER BY DATA ASC");
        q.addBindValue("2025-06-01 00:00:00");
        q.addBindValue("2025-06-30 23:59:59");
        q.exec();
        while (q.next())
            for (int c = 0; c < 6; ++c)
                q.value(c);
        ms << t.nsecsElapsed() / 1e6;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("baseline bare query one month: best %.1f ms, median %.1f ms\n", ms.first(), ms[ms.size() / 2]);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;
    const int repeat = argc > 2 ? QByteArray(argv[2]).toInt() : 9;
    QTemporaryDir dir;
    TADO ado;
    if (!ado.start(dir.path()).ok || !fill(ado, rows))
        return 1;
    QSqlQuery(ado.database()).exec("ANALYZE");
    std::printf("history rows: %d\n", rows);
    HistorySearch::Filter month;
    month.usePeriod = true;
    month.fromDate = QDate(2025, 6, 1);
    month.fromTime = QTime(0, 0, 0);
    month.toDate = QDate(2025, 6, 30);
    month.toTime = QTime(23, 59, 59);
    baseline(ado, repeat);
    time(ado, "one month", month, repeat);
    HistorySearch::Filter day = month;
    day.toDate = day.fromDate;
    time(ado, "one day", day, repeat);
    HistorySearch::Filter failedMail = month;
    failedMail.outcome = HistorySearch::Outcome::Failed;
    failedMail.channel = HistorySearch::Channel::Email;
    time(ado, "one month, failed e-mail", failedMail, repeat);
    return 0;
}
