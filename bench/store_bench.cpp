// The window and the contact import over a large database.
//   store_bench make DIR CONTACTS HISTORY   fills DIR/BDSMS.db (made when missing) with that many contacts
//                                           and history rows, in one statement each
//   store_bench window DIR                  starts the data module and the main window as the program does,
//                                           shows it and draws it once; prints the time to that point and
//                                           the process's peak memory
// bench/store_bench.sh runs both over an empty and a full database, and `vestral-sms --import`.
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QSqlError>
#include <QSqlQuery>
#include <cstdio>
#include <sys/resource.h>

#include "app/TfPrincipal.h"
#include "history/TfImp.h"
#include "store/StoreLocation.h"
#include "store/TADO.h"

namespace {

bool exec(TADO& ado, const QString& sql, int rows) {
    QSqlQuery q(ado.database());
    q.prepare(sql);
    q.addBindValue(rows);
    if (!q.exec()) {
        std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
        return false;
    }
    return true;
}

int make(const QString& dir, int contacts, int history) {
    TADO ado;
    const TADO::StartResult r = ado.start(dir);
    if (!r.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(r.error));
        return 1;
    }
    // Names in no particular order (the list is read by name), phones and texts of realistic length.
    const bool ok =
        exec(ado,
             "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < ?) "
             "INSERT INTO dbCLIENTE (NOME, FONE, EMAIL, ID_GRUPO, DESATIVADO, TEXTO) "
             "SELECT 'Cliente ' || printf('%07d', (i * 7919) % 1000003), '55119' || printf('%08d', i), "
             "'cliente' || i || '@exemplo.com.br', 1, i % 10 = 0, 'Texto livre ' || i FROM n",
             contacts) &&
        exec(ado,
             "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < ?) "
             "INSERT INTO dbHISTORICO (DATA, DESTINATARIO, MENSAGEM, TIPO, ENVIADO) "
             "SELECT datetime('2024-01-01 00:00:00', '+' || (i * 100) || ' seconds'), '55119' || printf('%08d', i), "
             "'Mensagem de teste número ' || i, 'SMS', i % 2 FROM n",
             history);
    return ok ? 0 : 1;
}

long peakKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

int window(int argc, char** argv, const QString& dir) {
    QApplication app(argc, argv);
    QElapsedTimer t;
    t.start();
    // VESTRAL_DATABASE names a PostgreSQL store (filled with vestral-sms --copy-db-to), as for the program.
    QString storeError;
    StoreLocation::setCurrent(StoreLocation::choose({}, qEnvironmentVariable("VESTRAL_DATABASE"), dir, &storeError));
    if (!storeError.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(storeError));
        return 2;
    }
    TADO ado;
    const TADO::StartResult r = ado.start(dir);
    if (!r.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(r.error));
        return 1;
    }
    const double started = t.nsecsElapsed() / 1e6;
    TfPrincipal w(&ado);
    TfImp imp(&ado);
    w.show();
    QCoreApplication::processEvents();
    const QPixmap drawn = w.grab(); // every visible page, grid rows included, drawn once
    QCoreApplication::processEvents();
    const double usable = t.nsecsElapsed() / 1e6;
    std::printf("contacts %d: data module %.0f ms, window usable %.0f ms, peak memory %.0f MB (%dx%d drawn)\n",
                ado.dbCLIENTE->recordCount(), started, usable, peakKb() / 1024.0, drawn.width(), drawn.height());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const QString mode = argc > 2 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == "make" && argc == 5)
        return make(QString::fromLocal8Bit(argv[2]), atoi(argv[3]), atoi(argv[4]));
    if (mode == "window" && argc == 3) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return window(argc, argv, QString::fromLocal8Bit(argv[2]));
    }
    std::fprintf(stderr, "uso: store_bench make PASTA CONTATOS HISTORICO | store_bench window PASTA\n");
    return 2;
}
