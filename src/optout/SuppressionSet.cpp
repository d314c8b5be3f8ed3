#include "optout/SuppressionSet.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "optout/OptOutAddress.h"

#include <sqlite3.h>

namespace {

// The digits of an E.164 key ("+5511987654321") as a number; 0 when it is not one.
qint64 e164Value(const QString& key) {
    if (key.size() < 2 || key.size() > 16 || key.front() != QLatin1Char('+'))
        return 0;
    bool ok = false;
    const qint64 v = QStringView(key).mid(1).toLongLong(&ok);
    return ok ? v : 0;
}

} // namespace

void SuppressionSet::insertPhone(qint64 e164, qint64 national, int length) {
    m_phones.insert(e164);
    m_nationals.insert(national * 32 + length);
    m_lengths |= 1u << length;
}

namespace {

// Written in the SQL both stores speak (no GLOB, 64-bit casts): a listed E.164 number is "+" and a digit 1-9.
const char* const kPhonesSql = "SELECT CAST(substr(ENDERECO, 2) AS BIGINT), CAST(NACIONAL AS BIGINT), "
                               "length(NACIONAL) FROM dbDESCADASTRO WHERE length(NACIONAL) BETWEEN 1 AND 17 AND "
                               "substr(ENDERECO, 1, 1) = '+' AND substr(ENDERECO, 2, 1) BETWEEN '1' AND '9'";
const char* const kOthersSql = "SELECT ENDERECO FROM dbDESCADASTRO WHERE NACIONAL IS NULL OR NOT (length(NACIONAL) "
                               "BETWEEN 1 AND 17 AND substr(ENDERECO, 1, 1) = '+' AND substr(ENDERECO, 2, 1) "
                               "BETWEEN '1' AND '9')";

sqlite3* sqliteHandle(const QSqlDatabase& db) {
    const QVariant v = db.driver() ? db.driver()->handle() : QVariant();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(v.constData());
}

} // namespace

// The phones straight from SQLite: a hundred thousand rows of three integers, read without a QVariant each.
bool SuppressionSet::loadPhones(const QSqlDatabase& db, QString* error) {
    sqlite3* handle = sqliteHandle(db);
    if (!handle) {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(QString::fromLatin1(kPhonesSql))) {
            *error = q.lastError().text();
            return false;
        }
        while (q.next()) {
            ++m_size;
            insertPhone(q.value(0).toLongLong(), q.value(1).toLongLong(), q.value(2).toInt());
        }
        if (q.lastError().isValid())
            *error = q.lastError().text();
        return error->isEmpty();
    }
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(handle, kPhonesSql, -1, &stmt, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(stmt);
    for (; rc == SQLITE_ROW; rc = sqlite3_step(stmt)) {
        ++m_size;
        insertPhone(sqlite3_column_int64(stmt, 0), sqlite3_column_int64(stmt, 1), sqlite3_column_int(stmt, 2));
    }
    if (rc != SQLITE_DONE)
        *error = QString::fromUtf8(sqlite3_errmsg(handle));
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE;
}

bool SuppressionSet::load(const QSqlDatabase& db, QString* error) {
    *this = SuppressionSet();
    if (!loadPhones(db, error))
        return false;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QString::fromLatin1(kOthersSql))) {
        *error = q.lastError().text();
        return false;
    }
    while (q.next()) {
        ++m_size;
        const QString key = q.value(0).toString();
        if (key.contains(QLatin1Char('@')))
            m_emails.insert(key.toLower());
        else
            m_written.insert(key);
    }
    if (q.lastError().isValid()) {
        *error = q.lastError().text();
        return false;
    }
    return true;
}

void SuppressionSet::insert(const QString& key, const QString& national) {
    if (key.isEmpty())
        return;
    ++m_size;
    bool ok = false;
    const qint64 nsn = national.toLongLong(&ok);
    const qint64 e164 = e164Value(key);
    if (key.contains(QLatin1Char('@')))
        m_emails.insert(key.toLower());
    else if (ok && e164 > 0 && national.size() <= kMaxNational)
        insertPhone(e164, nsn, int(national.size()));
    else
        m_written.insert(key);
}

// Whether the digits of the text end with a listed national number: one pass from the end, no allocation.
bool SuppressionSet::nationalSuffixListed(const QString& written) const {
    qint64 value = 0;
    qint64 scale = 1;
    int length = 0;
    for (qsizetype i = written.size() - 1; i >= 0 && length < kMaxNational; --i) {
        const QChar c = written.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            continue;
        value += (c.unicode() - '0') * scale;
        scale *= 10;
        ++length;
        if ((m_lengths & (1u << length)) && m_nationals.contains(value * 32 + length))
            return true;
    }
    return false;
}

bool SuppressionSet::containsPhone(const QString& written) const {
    if (!m_phones.isEmpty() && nationalSuffixListed(written)) {
        const OptOutAddress a = OptOutAddress::fromPhone(written);
        if (a.isPhone())
            return m_phones.contains(e164Value(a.key));
    }
    return !m_written.isEmpty() && m_written.contains(OptOutAddress::writtenKey(written));
}

bool SuppressionSet::containsEmail(const QString& written) const {
    if (m_emails.isEmpty())
        return false;
    const OptOutAddress a = OptOutAddress::fromEmail(written);
    return a.kind == OptOutAddress::Kind::Email && m_emails.contains(a.key);
}
