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
    // After tryLock took over the name from a station that had gone silent: the line that says so; else empty.
    const QString& notice() const { return m_notice; }

    static const char* const kInUse;
    static const char* const kInUseAt;
    static const char* const kTakenOver;
    // A station whose heartbeat is older than this (seconds) is taken as gone.
    static constexpr int kSilentSeconds = 30;

private:
    static QString holder(class QSqlQuery& q, qint32 key);
    static qint64 holderPid(class QSqlQuery& q, qint32 key);
    bool takeOver(class QSqlQuery& q, qint32 key);

    StoreLocation m_store;
    QString m_connection;
    QString m_message;
    QString m_notice;
};
