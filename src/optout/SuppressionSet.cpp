#include "optout/SuppressionSet.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "optout/OptOutAddress.h"

bool SuppressionSet::load(const QSqlDatabase& db, QString* error) {
    *this = SuppressionSet();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT ENDERECO, NACIONAL FROM dbDESCADASTRO"))) {
        *error = q.lastError().text();
        return false;
    }
    while (q.next())
        insert(q.value(0).toString(), q.value(1).toString());
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
    if (key.contains(QLatin1Char('@'))) {
        m_emails.insert(key.toLower());
    } else if (key.startsWith(QLatin1Char('+')) && !national.isEmpty()) {
        m_phones.insert(key);
        m_nationals.insert(national);
        if (!m_lengths.contains(int(national.size())))
            m_lengths << int(national.size());
    } else {
        m_written.insert(key);
    }
}

bool SuppressionSet::containsPhone(const QString& written) const {
    if (written.trimmed().isEmpty())
        return false;
    if (!m_nationals.isEmpty()) {
        const QString digits = OptOutAddress::digits(written.left(OptOutAddress::kMaxChars));
        for (int length : m_lengths) {
            if (digits.size() < length || !m_nationals.contains(digits.right(length)))
                continue;
            const OptOutAddress a = OptOutAddress::fromPhone(written);
            return a.isPhone() ? m_phones.contains(a.key) : m_written.contains(a.key);
        }
    }
    return !m_written.isEmpty() && m_written.contains(OptOutAddress::writtenKey(written));
}

bool SuppressionSet::containsEmail(const QString& written) const {
    if (m_emails.isEmpty())
        return false;
    const OptOutAddress a = OptOutAddress::fromEmail(written);
    return a.kind == OptOutAddress::Kind::Email && m_emails.contains(a.key);
}
