#include "optout/SuppressionSet.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "optout/OptOutAddress.h"

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

bool SuppressionSet::load(const QSqlDatabase& db, QString* error) {
    *this = SuppressionSet();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    // Phones as three integers (no text to convert); the rest (e-mails, numbers kept as written) as text.
    if (!q.exec(QStringLiteral("SELECT CAST(substr(ENDERECO, 2) AS INTEGER), CAST(NACIONAL AS INTEGER), "
                               "length(NACIONAL), NULL FROM dbDESCADASTRO WHERE length(NACIONAL) BETWEEN 1 AND 17 "
                               "AND ENDERECO GLOB '+[1-9]*' UNION ALL SELECT NULL, NULL, NULL, ENDERECO FROM "
                               "dbDESCADASTRO WHERE NOT (length(NACIONAL) BETWEEN 1 AND 17 AND ENDERECO GLOB "
                               "'+[1-9]*') OR NACIONAL IS NULL"))) {
        *error = q.lastError().text();
        return false;
    }
    while (q.next()) {
        ++m_size;
        if (q.isNull(3)) {
            insertPhone(q.value(0).toLongLong(), q.value(1).toLongLong(), q.value(2).toInt());
            continue;
        }
        const QString key = q.value(3).toString();
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
