#pragma once

#include <QLockFile>
#include <QString>

// One program per data folder: the window and every command that opens ports or writes hold the
// lock file "vestral-sms.lock" of the data folder for their whole run, so that two programs never
// rewrite each other's tables (the active slot list, the outbox) or fight over the modems. A lock
// left by a process that no longer runs (killed, crashed) is taken over.
class DataFolderLock {
public:
    explicit DataFolderLock(const QString& dataDir);

    // True when this process now holds the lock; otherwise message() says why.
    bool tryLock();
    // "A pasta de dados já está em uso por outro processo (PID n).", or why the lock file could
    // not be made.
    const QString& message() const { return m_message; }

    static QString fileName(const QString& dataDir);
    static QString inUseText(qint64 pid);

private:
    QString m_dir;
    QLockFile m_file;
    QString m_message;
};
