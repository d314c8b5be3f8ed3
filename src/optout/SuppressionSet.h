#pragma once

#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QString>

// The opt-out list as a build looks recipients up in it: loaded once per run, one hash lookup per
// recipient. A phone is compared in E.164; to spare libphonenumber for the recipients that cannot match,
// a number is parsed only when its digits end with the national significant number of a listed one
// (every spelling of a number ends with it: the country code, trunk and carrier prefixes come before).
class SuppressionSet {
public:
    // Every row of dbDESCADASTRO. False with `error` when the table cannot be read.
    bool load(const QSqlDatabase& db, QString* error);
    // One listed address (its stored key and, for a phone, its national significant number).
    void insert(const QString& key, const QString& national);

    bool isEmpty() const { return m_size == 0; }
    int size() const { return m_size; }

    // A contact's or a source's phone field, as written.
    bool containsPhone(const QString& written) const;
    bool containsEmail(const QString& written) const;
    // Either field of a recipient (an empty one never matches).
    bool contains(const QString& phone, const QString& email) const {
        return containsPhone(phone) || containsEmail(email);
    }

private:
    QSet<QString> m_phones;    // E.164
    QSet<QString> m_nationals; // national significant numbers of m_phones
    QList<int> m_lengths;      // the lengths found in m_nationals
    QSet<QString> m_emails;    // lower case
    QSet<QString> m_written;   // numbers kept as written
    int m_size = 0;
};
