#include "app/DataFolderLock.h"

#include "store/DataDir.h"

#include <QDir>
#include <QFileInfo>

DataFolderLock::DataFolderLock(const QString& dataDir) : m_dir(dataDir), m_file(fileName(dataDir)) {
    // Held for hours by the window: only a lock whose process is gone is stale, never an old one.
    m_file.setStaleLockTime(0);
}

QString DataFolderLock::fileName(const QString& dataDir) {
    return QDir(dataDir).filePath(QStringLiteral("vestral-sms.lock"));
}

QString DataFolderLock::inUseText(qint64 pid) {
    return QStringLiteral("A pasta de dados já está em uso por outro processo (PID %1).").arg(pid);
}

bool DataFolderLock::tryLock() {
    DataDir::createFolder(m_dir); // for its owner only: it holds the database and its password
    if (m_file.tryLock(0)) {
        m_message.clear();
        return true;
    }
    qint64 pid = 0;
    QString host;
    QString app;
    if (m_file.error() == QLockFile::LockFailedError) {
        m_file.getLockInfo(&pid, &host, &app);
        m_message = inUseText(pid);
    } else {
        m_message =
            QStringLiteral("Não foi possível gravar no banco de dados: a trava %1 não pôde ser criada%2.")
                .arg(QDir::toNativeSeparators(fileName(m_dir)),
                     QFileInfo(m_dir).isWritable() ? QString() : QStringLiteral(" (pasta sem permissão de gravação)"));
    }
    return false;
}
