#pragma once

#include "store/StoreLocation.h"

#include <QString>

// One program at a time per station name on a PostgreSQL database, as one program at a time on a data
// folder: two programs under one name would both take that station's slots and rows. The lock is a
// session advisory lock on a connection of its own, held for the program's run; the server lets it go
// when that session ends, also when the program is killed or the network drops. On the SQLite file the
// data folder's lock does this, and nothing is held here.
class StoreLock {
public:
    explicit StoreLock(StoreLocation store);
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    // True when this process now holds the database (or there is nothing to hold); otherwise message()
    // says why: another program holds it, or the server could not be reached.
    bool tryLock();
    const QString& message() const { return m_message; }

    static const char* const kInUse;

private:
    static QString holder(class QSqlQuery& q, qint32 key);

    StoreLocation m_store;
    QString m_connection;
    QString m_message;
};
