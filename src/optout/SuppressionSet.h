#pragma once

#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QString>

// The opt-out list as a build looks recipients up in it: loaded once per run, hash lookups per recipient.
// A phone is compared in E.164. Every spelling of a number ends with its national significant number (the
// country code, trunk and carrier prefixes come before it), so a recipient whose digits do not end with the
// national number of a listed one cannot match and is passed without libphonenumber; only one that does is
// parsed and its E.164 looked up. Numbers are held as integers, so a lookup allocates nothing.
class SuppressionSet {
public:
    // Every row of dbDESCADASTRO. False with `error` when the table cannot be read.
    bool load(const QSqlDatabase& db, QString* error);
    // One listed address (its stored key and, for a phone, its national significant number).
    void insert(const QString& key, const QString& national);

    bool isEmpty() const { return m_size == 0; }
    bool hasEmails() const { return !m_emails.isEmpty(); }
    int size() const { return m_size; }

    // A contact's or a source's phone field, as written.
    bool containsPhone(const QString& written) const;
    bool containsEmail(const QString& written) const;
    // Either field of a recipient (an empty one never matches).
    bool contains(const QString& phone, const QString& email) const {
        return containsPhone(phone) || containsEmail(email);
    }

private:
    static constexpr int kMaxNational = 17; // libphonenumber's longest national number
    void insertPhone(qint64 e164, qint64 national, int length);
    bool loadPhones(const QSqlDatabase& db, QString* error);
    bool nationalSuffixListed(const QString& written) const;

    QSet<qint64> m_phones;    // E.164 digits
    QSet<qint64> m_nationals; // national significant number * 32 + its length (leading zeros count)
    quint32 m_lengths = 0;    // bit n: some listed national number has n digits
    QSet<QString> m_emails;   // lower case
    QSet<QString> m_written;  // numbers kept as written
    int m_size = 0;
};
