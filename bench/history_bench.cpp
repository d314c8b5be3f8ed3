// Times the history search over a large history: builds ROWS rows (default 1,000,000) spread over
// three years in a fresh data folder, then runs the page's search with a one-month and a one-day
// period, each REPEAT times, and prints the best and the median time of each. With a PostgreSQL URL
// (an empty database) the same runs follow on that store, and the ratios to SQLite's.
// Usage: history_bench [ROWS] [REPEAT] [postgresql://user@host:port/database]
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
    if (ado.store().isPostgres())
        q.prepare("INSERT INTO dbHISTORICO (DATA, DESTINATARIO, MENSAGEM, TIPO, ENVIADO) "
                  "SELECT to_char(timestamp '2024-01-01 00:00:00' + i * interval '100 seconds', "
                  "'YYYY-MM-DD HH24:MI:SS'), "
                  "CASE i % 3 WHEN 0 THEN '(Cliente ' || i || ') cliente' || i || '@exemplo.com.br' "
                  "ELSE '55119' || lpad(i::text, 8, '0') END, "
                  "'Mensagem de teste número ' || i, CASE i % 3 WHEN 0 THEN 'E-Mail' ELSE 'SMS' END, i % 2 "
                  "FROM generate_series(0, ? - 1) AS n(i)");
    else
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

double time(TADO& ado, const char* name, const HistorySearch::Filter& f, int repeat) {
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
    return ms[ms.size() / 2];
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

// The runs on one store; the medians of the three searches.
bool runOn(TADO& ado, const QString& where, int rows, int repeat, QList<double>* medians) {
    QElapsedTimer filling;
    filling.start();
    if (!ado.start(where).ok || !fill(ado, rows))
        return false;
    QSqlQuery(ado.database()).exec("ANALYZE dbHISTORICO");
    std::printf("== %s: history rows: %d (written in %.1f s)\n", ado.store().isPostgres() ? "PostgreSQL" : "SQLite",
                rows, filling.elapsed() / 1000.0);
    HistorySearch::Filter month;
    month.usePeriod = true;
    month.fromDate = QDate(2025, 6, 1);
    month.fromTime = QTime(0, 0, 0);
    month.toDate = QDate(2025, 6, 30);
    month.toTime = QTime(23, 59, 59);
    baseline(ado, repeat);
    *medians << time(ado, "one month", month, repeat);
    HistorySearch::Filter day = month;
    day.toDate = day.fromDate;
    *medians << time(ado, "one day", day, repeat);
    HistorySearch::Filter failedMail = month;
    failedMail.outcome = HistorySearch::Outcome::Failed;
    failedMail.channel = HistorySearch::Channel::Email;
    *medians << time(ado, "one month, failed e-mail", failedMail, repeat);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;
    const int repeat = argc > 2 ? QByteArray(argv[2]).toInt() : 9;
    QTemporaryDir dir;
    QList<double> sqlite, postgres;
    {
        TADO ado;
        if (!runOn(ado, dir.path(), rows, repeat, &sqlite))
            return 1;
    }
    if (argc <= 3)
        return 0;
    QString error;
    const StoreLocation pg = StoreLocation::parse(QString::fromLocal8Bit(argv[3]), &error);
    if (!error.isEmpty() || !pg.isPostgres()) {
        std::fprintf(stderr, "%s\n", qPrintable(error.isEmpty() ? QStringLiteral("URL PostgreSQL esperada") : error));
        return 2;
    }
    TADO ado;
    ado.setStore(pg);
    if (!runOn(ado, dir.path() + QStringLiteral("/pg"), rows, repeat, &postgres))
        return 1;
    const char* names[] = {"one month", "one day", "one month, failed e-mail"};
    for (int i = 0; i < 3; ++i)
        std::printf("ratio PostgreSQL / SQLite, %s: %.2f\n", names[i], postgres[i] / sqlite[i]);
    return 0;
}
