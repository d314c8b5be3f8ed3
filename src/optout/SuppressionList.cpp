#include "optout/SuppressionList.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "history/HistoryWriter.h"
#include "optout/SuppressionSet.h"
#include "store/TADO.h"
#include "store/TimeText.h"

namespace SuppressionList {
namespace {

bool insertRow(QSqlQuery& q, const OptOutAddress& a, const Addition& add, const QString& origem, bool* inserted,
               QString* error) {
    q.bindValue(0, a.key);
    q.bindValue(1, a.isPhone() ? QVariant(a.national) : QVariant(QString()));
    q.bindValue(2, origem);
    q.bindValue(3, add.texto.left(OptOutAddress::kMaxChars * 4));
    q.bindValue(4, add.entrada);
    q.bindValue(5, a.kind == OptOutAddress::Kind::AsWritten ? 0 : 1);
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    *inserted = q.numRowsAffected() > 0;
    return true;
}

} // namespace

AddResult add(QSqlDatabase db, const QList<Addition>& additions, const QString& origem) {
    AddResult r;
    QSqlQuery q(db);
    if (!q.prepare(QStringLiteral("INSERT INTO dbDESCADASTRO (ENDERECO, NACIONAL, ORIGEM, TEXTO, ENTRADA, NORMALIZADO) "
                                  "VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING"))) {
        r.error = q.lastError().text();
        return r;
    }
    SuppressionSet added;
    for (const Addition& add : additions) {
        const OptOutAddress a = OptOutAddress::from(add.address);
        if (!a.isUsable()) {
            r.unusable << add.address;
            continue;
        }
        bool inserted = false;
        if (!insertRow(q, a, add, origem, &inserted, &r.error))
            break;
        if (inserted) {
            ++r.added;
            added.insert(a.key, a.national);
        } else {
            ++r.already;
        }
    }
    if (!added.isEmpty()) {
        QString error;
        const int disabled = disableContacts(db, added, &error);
        if (disabled < 0 && r.error.isEmpty())
            r.error = error;
        r.contactsDisabled = qMax(0, disabled);
    }
    return r;
}

AddResult add(QSqlDatabase db, const QString& address, const QString& origem, const QString& texto,
              const QString& entrada) {
    return add(db, QList<Addition>{{address, texto, entrada}}, origem);
}

Removal remove(TADO* ado, const QString& address, const QString& note, QString* error) {
    const OptOutAddress a = OptOutAddress::from(address);
    if (!a.isUsable())
        return Removal::NotFound;
    QSqlQuery q(ado->database());
    q.prepare(QStringLiteral("DELETE FROM dbDESCADASTRO WHERE ENDERECO = ?"));
    q.addBindValue(a.key);
    if (!q.exec()) {
        *error = q.lastError().text();
        return Removal::Failed;
    }
    if (q.numRowsAffected() <= 0)
        return Removal::NotFound;
    QString text = QStringLiteral("Removido da lista de descadastrados");
    if (!note.trimmed().isEmpty())
        text += QStringLiteral(": ") + note.trimmed();
    // ENVIADO true: the removal was carried out (a false row would read as a failed send to this address).
    *error = HistoryWriter::append(ado, a.key, text, kHistoryType, true);
    return error->isEmpty() ? Removal::Removed : Removal::Failed;
}

bool list(QSqlDatabase db, const QString& search, QList<Entry>* out, QString* error) {
    out->clear();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    QString sql = QStringLiteral("SELECT ID, ENDERECO, DATA, ORIGEM, TEXTO, ENTRADA, NORMALIZADO FROM dbDESCADASTRO");
    const QString s = search.trimmed();
    if (!s.isEmpty())
        sql += QStringLiteral(" WHERE ENDERECO LIKE ? ESCAPE '\\' OR ORIGEM LIKE ? ESCAPE '\\' OR TEXTO LIKE ? "
                              "ESCAPE '\\' OR ENDERECO = ?");
    sql += QStringLiteral(" ORDER BY DATA DESC, ID DESC");
    q.prepare(sql);
    if (!s.isEmpty()) {
        QString pattern = s;
        pattern.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
            .replace(QLatin1Char('%'), QStringLiteral("\\%"))
            .replace(QLatin1Char('_'), QStringLiteral("\\_"));
        pattern = QLatin1Char('%') + pattern + QLatin1Char('%');
        for (int i = 0; i < 3; ++i)
            q.addBindValue(pattern);
        q.addBindValue(OptOutAddress::from(s).key); // a number typed in any spelling
    }
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    while (q.next())
        out->append({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(),
                     q.value(4).toString(), q.value(5).toString(), q.value(6).toInt() != 0});
    if (q.lastError().isValid()) {
        *error = q.lastError().text();
        return false;
    }
    return true;
}

bool contains(QSqlDatabase db, const QString& address, bool* found, QString* error) {
    *found = false;
    const OptOutAddress a = OptOutAddress::from(address);
    if (!a.isUsable())
        return true;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT 1 FROM dbDESCADASTRO WHERE ENDERECO = ?"));
    q.addBindValue(a.key);
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    *found = q.next();
    return true;
}

int disableContacts(QSqlDatabase db, const SuppressionSet& set, QString* error) {
    if (set.isEmpty())
        return 0;
    QList<qint64> ids;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT ID_CLIENTE, FONE, EMAIL FROM dbCLIENTE WHERE DESATIVADO = 0"))) {
            *error = q.lastError().text();
            return -1;
        }
        while (q.next())
            if (set.contains(q.value(1).toString(), q.value(2).toString()))
                ids << q.value(0).toLongLong();
        if (q.lastError().isValid()) {
            *error = q.lastError().text();
            return -1;
        }
    }
    QSqlQuery u(db);
    u.prepare(QStringLiteral("UPDATE dbCLIENTE SET DESATIVADO = 1 WHERE ID_CLIENTE = ?"));
    for (qint64 id : std::as_const(ids)) {
        u.bindValue(0, id);
        if (!u.exec()) {
            *error = u.lastError().text();
            return -1;
        }
    }
    return int(ids.size());
}

QString reasonFor(QSqlDatabase db, const QString& fone, const QString& email) {
    QStringList keys;
    if (const OptOutAddress phone = OptOutAddress::fromPhone(fone); phone.isUsable())
        keys << phone.key;
    if (const OptOutAddress mail = OptOutAddress::fromEmail(email); mail.kind == OptOutAddress::Kind::Email)
        keys << mail.key;
    for (const QString& key : std::as_const(keys)) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT DATA, ORIGEM, TEXTO, ENTRADA FROM dbDESCADASTRO WHERE ENDERECO = ?"));
        q.addBindValue(key);
        if (!q.exec() || !q.next())
            continue;
        QString where = q.value(1).toString();
        if (!q.value(3).toString().isEmpty())
            where += QStringLiteral(", ") + q.value(3).toString();
        QString text =
            QStringLiteral("Descadastrado em %1 (%2)").arg(TimeText::storedStampShown(q.value(0).toString()), where);
        const QString texto = q.value(2).toString().simplified();
        if (!texto.isEmpty())
            text += QStringLiteral(": ") + texto.left(80);
        return text;
    }
    return {};
}

QString skipLogLine(const QString& address) {
    return QStringLiteral(" Descadastrado, não enviado: ") + address;
}

QString skippedSummary(int count) {
    return QStringLiteral("Descadastrados, não enviados: %1").arg(count);
}

} // namespace SuppressionList
