#include "optout/InboxOptOut.h"

#include <QList>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "optout/OptOutAddress.h"
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

constexpr int kMaxSlot = 64;

// The confirmation setting and the company name; a file whose settings lack the column sends none.
struct Confirmation {
    bool on = false;
    QString text;
};

Confirmation confirmationSetting(QSqlDatabase db) {
    Confirmation c;
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("SELECT CONFIRMA_SAIR, EMPRESA FROM dbCFG")) && q.next()) {
        c.on = q.value(0).toInt() == 1;
        c.text = confirmationText(q.value(1).toString());
    }
    return c;
}

// Marks the list's row of a number that was not sent the confirmation yet and queues the SMS for the slot
// the opt-out came in on. A sender that is no phone number (an alphanumeric sender, a number kept as written)
// cannot be answered and gets none.
bool queueConfirmation(QSqlDatabase db, const Pending& p, const QString& text, Result* r) {
    const OptOutAddress a = OptOutAddress::from(p.fone);
    if (!a.isPhone())
        return true;
    QSqlQuery mark(db);
    mark.prepare(QStringLiteral("UPDATE dbDESCADASTRO SET CONFIRMADO = 1 WHERE ENDERECO = ? AND CONFIRMADO = 0"));
    mark.addBindValue(a.key);
    if (!mark.exec()) {
        r->error = mark.lastError().text();
        return false;
    }
    if (mark.numRowsAffected() <= 0)
        return true;
    QSqlQuery queue(db);
    queue.prepare(QStringLiteral("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES (?, ?, ?)"));
    queue.addBindValue(p.fone.trimmed());
    queue.addBindValue(text);
    queue.addBindValue(p.entrada >= 1 && p.entrada <= kMaxSlot ? p.entrada : 1);
    if (!queue.exec()) {
        r->error = queue.lastError().text();
        return false;
    }
    ++r->confirmations;
    return true;
}

bool judgeAll(QSqlDatabase db, const QList<Pending>& rows, Result* r) {
    const OptOutKeywords keywords(keywordsSetting(db));
    const Confirmation confirmation = confirmationSetting(db);
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
            if (confirmation.on && !queueConfirmation(db, p, confirmation.text, r))
                return false;
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

QString confirmationText(const QString& empresa) {
    QString name;
    for (const QChar c : empresa)
        name += c.isPrint() ? c : QChar(u' ');
    name = name.simplified();
    if (name.isEmpty())
        return QStringLiteral("Você não receberá mais mensagens.");
    const QString head = QStringLiteral("Você não receberá mais mensagens de ");
    const qsizetype room = kConfirmationMaxChars - head.size() - 1;
    name = name.left(room).trimmed();
    if (name.size() > 0 && name.back().isHighSurrogate())
        name.chop(1);
    return head + name + QLatin1Char('.');
}

QString confirmationsLine(int queued) {
    return QStringLiteral("Confirmações de descadastro para envio: %1").arg(queued);
}

QString summaryLine(int optedOut) {
    return QStringLiteral("Remetentes descadastrados: %1").arg(optedOut);
}

} // namespace InboxOptOut
