// Campaign figures: the SMS outbox builder over N marked recipients on one slot with CASCATA >= N,
// the recipient set load, the merge alone, and one keystroke of the contact search over N contacts.
// With a PostgreSQL URL (an empty database) the same runs follow on that store, and the ratios to SQLite's.
// Usage: campaign_bench [N] [postgresql://user@host:port/database]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>

#include "campaign/Merge.h"
#include "campaign/OutboxBuilder.h"
#include "campaign/TDM.h"
#include "contacts/ContactSearch.h"
#include "store/Dataset.h"
#include "store/TADO.h"

namespace {

void fill(TADO* ado, int n) {
    QSqlDatabase db = ado->database();
    db.transaction();
    QSqlQuery q(db);
    q.prepare("INSERT INTO dbCLIENTE (NOME, FONE, EMAIL, ID_GRUPO, TEXTO, TEXTO0) VALUES (?, ?, ?, 1, ?, ?)");
    for (int i = 0; i < n; ++i) {
        q.addBindValue(QStringLiteral("Contato %1 Souza").arg(i, 6, 10, QLatin1Char('0')));
        q.addBindValue(QStringLiteral("(11) 9%1").arg(10000000 + i));
        q.addBindValue(QStringLiteral("c%1@exemplo.com.br").arg(i));
        q.addBindValue(QStringLiteral("R$ %1,00").arg(i % 997));
        q.addBindValue(QStringLiteral("%1").arg(i * 7));
        q.exec();
    }
    q.exec(QStringLiteral("UPDATE dbCFG SET CASCATA = %1, BODY_SMS = 'Ola [NOME], seu saldo e [TEXTO] (cod "
                          "[TEXTO0]). Responda para [EMAIL].'")
               .arg(n));
    db.commit();
    ado->dbCFG->refresh();
}

double ms(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

// The runs on one store: the times of the recipient set load, the outbox build and the rare keystroke.
struct Times {
    double load = 0, build = 0, keystroke = 0, fill = 0;
};

bool runOn(TADO& ado, const QString& folder, int n, Times* times) {
    if (!ado.start(folder).ok)
        return false;
    const bool pg = ado.store().isPostgres();
    std::printf("== %s\n", pg ? "PostgreSQL" : "SQLite");
    QElapsedTimer t;
    t.start();
    fill(&ado, n);
    times->fill = ms(t);
    std::printf("%d contacts written in one transaction: %.1f ms\n", n, times->fill);

    TDM set(&ado);
    t.restart();
    set.connectSource(TDM::CadastroLocal);
    times->load = ms(t);
    std::printf("recipient set load, %d contacts: %.1f ms\n", set.recordCount(), times->load);

    t.restart();
    QString out;
    const QString body = ado.dbCFG->text("BODY_SMS");
    for (int row = 0; row < set.recordCount(); ++row)
        Merge::apply(body, set.fieldsOf(row), &out);
    std::printf("merge, %d recipients: %.1f ms\n", set.recordCount(), ms(t));

    set.markAll();
    OutboxBuilder builder(&ado);
    builder.setVerificaPortas([&ado, n] {
        QSqlQuery q(ado.database());
        q.exec("DELETE FROM dbPORTA_ATIVA");
        q.exec(QStringLiteral("INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (1, %1)").arg(n));
        return true;
    });
    t.restart();
    const auto r = builder.run(&set);
    times->build = ms(t);
    std::printf("outbox builder, %d marked recipients on one slot: %.1f ms (target <= 2000 ms)\n", r.written,
                times->build);

    // Each keystroke is timed as the operator meets it: the list before it holds only the rows its
    // grid asked for (counting every row here would make the next keystroke free them all first).
    ContactSearch search(ado.dbCLIENTE);
    struct Keystroke {
        const char* text;
        double ms = 0;
        int listed = 0;
    };
    Keystroke keys[] = {{"Souz"}, {"Contato 0999"}};
    for (Keystroke& k : keys) {
        search.searchColumn("NOME", "Contato");
        t.restart();
        search.searchColumn("NOME", k.text);
        k.ms = ms(t);
        k.listed = ado.dbCLIENTE->recordCount();
        std::printf("contact search keystroke, %d contacts, %d listed: %.1f ms (target <= 50 ms)\n", n, k.listed, k.ms);
    }
    times->keystroke = keys[1].ms;
    if (pg)
        return true;
    // Baselines in the same run: the bare statement on the program's connection (its Unicode LIKE),
    // and SQLite's own instr() over the same index walk.
    for (const char* where : {"NOME LIKE ? ESCAPE '\\'", "instr(NOME, ?) > 0"}) {
        const bool like = QByteArray(where).contains("LIKE");
        QSqlQuery q(ado.database());
        q.setForwardOnly(true);
        t.restart();
        q.prepare(QStringLiteral("SELECT * FROM dbCLIENTE WHERE %1 ORDER BY NOME ASC").arg(QLatin1String(where)));
        q.addBindValue(like ? QStringLiteral("%Contato 0999%") : QStringLiteral("Contato 0999"));
        q.exec();
        int rows = 0;
        while (rows < Dataset::kFetchBatch && q.next())
            ++rows;
        std::printf("  bare statement, %s: %d rows in %.1f ms (rare keystroke / this = %.2f)\n", where, rows, ms(t),
                    keys[1].ms / ms(t));
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir dir;
    Times sqlite, postgres;
    {
        TADO ado;
        if (!runOn(ado, dir.path(), n, &sqlite))
            return 1;
    }
    if (argc <= 2)
        return 0;
    QString error;
    const StoreLocation pg = StoreLocation::parse(QString::fromLocal8Bit(argv[2]), &error);
    if (!error.isEmpty() || !pg.isPostgres()) {
        std::fprintf(stderr, "%s\n", qPrintable(error.isEmpty() ? QStringLiteral("URL PostgreSQL esperada") : error));
        return 2;
    }
    TADO ado;
    ado.setStore(pg);
    if (!runOn(ado, dir.path() + QStringLiteral("/pg"), n, &postgres))
        return 1;
    std::printf("ratio PostgreSQL / SQLite: contacts written %.2f, recipient set load %.2f, outbox build %.2f, "
                "rare keystroke %.2f\n",
                postgres.fill / sqlite.fill, postgres.load / sqlite.load, postgres.build / sqlite.build,
                postgres.keystroke / sqlite.keystroke);
    return 0;
}
