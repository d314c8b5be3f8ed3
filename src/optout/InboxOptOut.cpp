#include "optout/InboxOptOut.h"

#include <QList>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "optout/OptOutKeywords.h"
#include "optout/SuppressionList.h"
#include "store/TADO.h"

namespace InboxOptOut {
namespace {

struct Pending {
    qint64 id;
    QString fone;
    QString sms;
    int entrada;
};

bool readPending(QSqlDatabase db, QList<Pending>* rows, QString* error) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT ID, FONE, SMS, ENTRADA FROM dbSMS WHERE DESCADASTRO IS NULL ORDER BY ID"))) {
        *error = q.lastError().text();
        return false;
    }
    while (q.next())
        rows->append({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(), q.value(3).toInt()});
    if (q.lastError().isValid()) {
        *error = q.lastError().text();
        return false;
    }
    return true;
}

QString keywordsSetting(QSqlDatabase db) {
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("SELECT PALAVRAS_SAIR FROM dbCFG")) && q.next() && !q.value(0).isNull())
        return q.value(0).toString();
    return QString::fromUtf8(OptOutKeywords::kDefault);
}

bool judgeAll(QSqlDatabase db, const QList<Pending>& rows, Result* r) {
    const OptOutKeywords keywords(keywordsSetting(db));
    QSqlQuery mark(db);
    mark.prepare(QStringLiteral("UPDATE dbSMS SET DESCADASTRO = ? WHERE ID = ?"));
    for (const Pending& p : rows) {
        const OptOutKeywords::Verdict v = keywords.judge(p.sms);
        int value = kNone;
        if (v == OptOutKeywords::Verdict::OptOut) {
            value = kOptOut;
            const SuppressionList::AddResult added = SuppressionList::add(
                db, p.fone, SuppressionList::kOrigemSms, p.sms.trimmed(), QStringLiteral("entrada %1").arg(p.entrada));
            if (!added.ok()) {
                r->error = added.error;
                return false;
            }
            r->optedOut += added.added;
            r->disabled += added.contactsDisabled;
        } else if (v == OptOutKeywords::Verdict::Mention) {
            value = kMention;
            ++r->mentions;
        }
        mark.bindValue(0, value);
        mark.bindValue(1, p.id);
        if (!mark.exec()) {
            r->error = mark.lastError().text();
            return false;
        }
        ++r->judged;
    }
    return true;
}

} // namespace

Result judgePending(TADO* ado) {
    Result r;
    QSqlDatabase db = ado->database();
    QList<Pending> rows;
    if (!readPending(db, &rows, &r.error) || rows.isEmpty())
        return r;
    if (!db.transaction()) {
        r.error = db.lastError().text();
        return r;
    }
    if (!judgeAll(db, rows, &r) || !db.commit()) {
        if (r.error.isEmpty())
            r.error = db.lastError().text();
        db.rollback();
        const QString error = r.error;
        r = Result();
        r.error = error;
        return r;
    }
    return r;
}

QString summaryLine(int optedOut) {
    return QStringLiteral("Remetentes descadastrados: %1").arg(optedOut);
}

} // namespace InboxOptOut
