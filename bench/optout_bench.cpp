// Opt-out list figures: the SMS outbox builder over N marked recipients without the list, with N listed
// numbers none of which is a recipient, and with N listed numbers of which a tenth are recipients (those
// are left out); plus the list's load. Each build runs `rounds` times, in turn, and the median is kept, so
// that a busy machine weighs on every variant alike.
// Usage: optout_bench [N] [rounds]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "campaign/OutboxBuilder.h"
#include "campaign/TDM.h"
#include "optout/SuppressionList.h"
#include "optout/SuppressionSet.h"
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

// N numbers on the list: in area 21 (no recipient has them), or every tenth a recipient's in area 11.
void list(TADO* ado, int n, bool overlap) {
    QSqlDatabase db = ado->database();
    QSqlQuery(db).exec("DELETE FROM dbDESCADASTRO");
    QList<SuppressionList::Addition> additions;
    additions.reserve(n);
    for (int i = 0; i < n; ++i) {
        const bool recipient = overlap && i % 10 == 0;
        additions.append({QStringLiteral("(%1) 9%2").arg(recipient ? 11 : 21).arg(10000000 + i), {}, {}});
    }
    db.transaction();
    SuppressionList::add(db, additions, SuppressionList::kOrigemImportacao);
    QSqlQuery(db).exec("UPDATE dbCLIENTE SET DESATIVADO = 0"); // every variant visits the same recipients
    db.commit();
    // The list's own writes are not the build's: the journal is folded into the file before it is timed.
    QSqlQuery(db).exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

double build(TADO* ado, int n, int* written, int* suppressed) {
    QSqlQuery(ado->database()).exec("DELETE FROM dbMENSAGEM");
    QSqlQuery(ado->database()).exec("PRAGMA wal_checkpoint(TRUNCATE)");
    TDM set(ado);
    set.connectSource(TDM::CadastroLocal);
    set.markAll();
    OutboxBuilder builder(ado);
    builder.setVerificaPortas([ado, n] {
        QSqlQuery q(ado->database());
        q.exec("DELETE FROM dbPORTA_ATIVA");
        q.exec(QStringLiteral("INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (1, %1)").arg(n));
        return true;
    });
    QElapsedTimer t;
    t.start();
    const auto r = builder.run(&set);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    *written = r.written;
    *suppressed = r.suppressed;
    return ms;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    QTemporaryDir dir;
    TADO ado;
    if (!ado.start(dir.path()).ok)
        return 1;
    fill(&ado, n);
    std::vector<double> none, disjoint, overlapping;
    int written = 0, suppressed = 0;
    for (int round = 0; round < rounds; ++round) {
        list(&ado, 0, false);
        none.push_back(build(&ado, n, &written, &suppressed));
        list(&ado, n, false);
        disjoint.push_back(build(&ado, n, &written, &suppressed));
        list(&ado, n, true);
        overlapping.push_back(build(&ado, n, &written, &suppressed));
    }
    QElapsedTimer t;
    t.start();
    SuppressionSet set;
    QString error;
    set.load(ado.database(), &error);
    const double load = double(t.nsecsElapsed()) / 1e6;
    const double base = median(none);
    std::printf("outbox builder, %d recipients, no opt-out list: %.1f ms (median of %d)\n", n, base, rounds);
    std::printf("outbox builder, %d recipients, %d listed numbers, none a recipient: %.1f ms, ratio %.3f (target "
                "<= 1.2)\n",
                n, n, median(disjoint), median(disjoint) / base);
    std::printf("outbox builder, %d recipients, %d listed numbers, %d of them recipients (left out): %.1f ms, ratio "
                "%.3f (target <= 1.2), %d rows, %d left out\n",
                n, n, n / 10, median(overlapping), median(overlapping) / base, written, suppressed);
    std::printf("opt-out list load, %d entries: %.1f ms\n", set.size(), load);
    return 0;
}
