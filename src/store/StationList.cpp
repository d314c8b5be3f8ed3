#include "store/StationList.h"

#include "store/SqlDialect.h"
#include "store/Station.h"
#include "store/StoreLock.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace StationList {
namespace {
// The file's one station, shown before its first beat too.
const QString kOneStation = QStringLiteral("(SELECT * FROM dbESTACAO UNION ALL SELECT ?, NULL, NULL, NULL, NULL, NULL, "
                                           "NULL WHERE NOT EXISTS (SELECT 1 FROM dbESTACAO))");
} // namespace

bool Row::silent() const {
    return silentSeconds < 0 || silentSeconds > StoreLock::kSilentSeconds;
}

bool read(const QSqlDatabase& db, QList<Row>* rows, QString* error) {
    rows->clear();
    const bool shared = SqlDialect::isPostgres(db);
    // On the file there is one station: every slot, outbox and history row is its own.
    const QString mine = shared ? QStringLiteral(" AND x.ESTACAO = e.NOME") : QString();
    const QString silence =
        shared ? QStringLiteral("CAST(EXTRACT(EPOCH FROM now() - to_timestamp(e.BATIDA, 'YYYY-MM-DD HH24:MI:SS')) "
                                "AS BIGINT)")
               : QStringLiteral("CAST(strftime('%s', 'now', 'localtime') - strftime('%s', e.BATIDA) AS INTEGER)");
    const QString hourAgo = shared ? QStringLiteral("to_char(localtimestamp - interval '1 hour', "
                                                    "'YYYY-MM-DD HH24:MI:SS')")
                                   : QStringLiteral("datetime('now', 'localtime', '-1 hour')");
    const QString sql = QStringLiteral("SELECT e.NOME, e.HOST, e.VERSAO, e.PID, %1, "
                                       "(SELECT count(*) FROM dbPORTA_ATIVA x WHERE 1 = 1%2), "
                                       "(SELECT count(*) FROM dbMENSAGEM x WHERE x.ENVIANDO IS NOT NULL%2), "
                                       "(SELECT count(*) FROM dbHISTORICO x WHERE x.ENVIADO = 1 AND x.DATA >= %3%2), "
                                       "e.ERRO FROM %4 e ORDER BY e.NOME")
                            .arg(silence, mine, hourAgo, shared ? QStringLiteral("dbESTACAO") : kOneStation);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(sql);
    if (!shared)
        q.addBindValue(Station::current());
    if (!q.exec()) {
        *error = q.lastError().databaseText().trimmed();
        if (error->isEmpty())
            *error = q.lastError().text();
        return false;
    }
    while (q.next()) {
        Row r;
        r.name = q.value(0).toString();
        r.host = q.value(1).toString();
        r.version = q.value(2).toString();
        r.pid = q.value(3).toLongLong();
        r.silentSeconds = q.value(4).isNull() ? -1 : q.value(4).toLongLong();
        r.ready = q.value(5).toInt();
        r.sending = q.value(6).toInt();
        r.sentLastHour = q.value(7).toInt();
        r.error = q.value(8).toString();
        rows->append(r);
    }
    return true;
}

QString printable(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char(' ');
    return out.trimmed();
}

QString line(const Row& row) {
    // Joined, not substituted: a name or host may hold "%1".
    const QString host = printable(row.host);
    QString s = printable(row.name) + QStringLiteral("  ") + (host.isEmpty() ? QStringLiteral("-") : host) +
                QStringLiteral("  v") + printable(row.version) + QStringLiteral("  PID ") + QString::number(row.pid) +
                QStringLiteral("  batida há ") +
                (row.silentSeconds < 0 ? QStringLiteral("-") : QString::number(row.silentSeconds)) +
                QStringLiteral(" s  entradas prontas ") + QString::number(row.ready) + QStringLiteral("  em envio ") +
                QString::number(row.sending) + QStringLiteral("  enviadas na última hora ") +
                QString::number(row.sentLastHour);
    if (row.silent())
        s += QStringLiteral(" (SEM SINAL)");
    const QString error = printable(row.error);
    if (!error.isEmpty())
        s += QStringLiteral("\n  ERRO: ") + error;
    return s;
}

} // namespace StationList
