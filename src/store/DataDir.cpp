#include "store/DataDir.h"

#include "store/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcDataDir, "vestral.store", QtInfoMsg)

namespace DataDir {
namespace {
QString g_current;
std::atomic<int> g_temporaryCount{0};

// The folder where the temporaries being written are listed, one small file each.
QString temporaryList(const QString& dir) {
    return QDir(dir).filePath(QStringLiteral(".temporarios"));
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// mkdir -p, each folder it creates for its owner only.
bool makeFolder(const QString& dir, QString* error) {
    const QFileInfo info(dir);
    if (info.isDir())
        return true;
    const QString parent = info.absolutePath();
    if (parent != info.absoluteFilePath() && !makeFolder(parent, error))
        return false;
    if (::mkdir(QFile::encodeName(info.absoluteFilePath()).constData(), 0700) != 0 && errno != EEXIST) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(info.absoluteFilePath(), systemError());
        return false;
    }
    return true;
}

// BDSMS.db keeps the SMTP password: nobody but its owner reads it, nor its journal files.
void tighten(const QString& path) {
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 077) == 0)
        return;
    const QString was = QString::number(st.st_mode & 07777, 8).rightJustified(4, u'0');
    if (::chmod(native.constData(), 0600) != 0) {
        qCWarning(lcDataDir).noquote()
            << QStringLiteral("Não foi possível reduzir as permissões de %1 (%2): %3").arg(path, was, systemError());
        return;
    }
    qCInfo(lcDataDir).noquote() << QStringLiteral("Permissões de %1 reduzidas de %2 para 0600: o arquivo guarda a "
                                                  "senha do e-mail.")
                                       .arg(path, was);
}

bool processAlive(qint64 pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}
} // namespace

QString resolve(const QString& commandLineDir, const QString& executableDir) {
    if (!commandLineDir.isEmpty())
        return QDir(commandLineDir).absolutePath();
    // An installed program (in a "bin" folder: /usr/bin, /usr/local/bin, /opt/.../bin) keeps its data
    // in the user's folder, also when it runs as root; a build folder keeps it beside the executable.
    QFileInfo exe(executableDir);
    if (!executableDir.isEmpty() && exe.isDir() && exe.isWritable() && exe.fileName() != QLatin1String("bin"))
        return QDir(executableDir).absolutePath();
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + "/.local/share";
    return base + "/vestral-sms";
}

void setCurrent(const QString& dir) {
    g_current = dir;
}

QString current() {
    return g_current;
}

QString databasePath(const QString& dir) {
    return QDir(dir).filePath("BDSMS.db");
}

bool createFolder(const QString& dir, QString* error) {
    return makeFolder(dir, error);
}

bool prepare(const QString& dir, QString* error) {
    if (!makeFolder(dir, error))
        return false;
    const QString db = databasePath(dir);
    for (const QString& path : QStringList{db, db + QStringLiteral("-wal"), db + QStringLiteral("-shm")})
        tighten(path);
    removeStaleTemporaries(dir);
    return true;
}

QString registerTemporary(const QString& temporaryPath) {
    if (g_current.isEmpty())
        return {};
    const QString list = temporaryList(g_current);
    if (!makeFolder(list, nullptr))
        return {};
    const QString mark =
        QDir(list).filePath(QStringLiteral("%1-%2").arg(::getpid()).arg(g_temporaryCount.fetch_add(1)));
    QFile file(mark);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(temporaryPath.toUtf8()) < 0 ||
        !file.flush()) {
        file.remove();
        return {};
    }
    return mark;
}

void unregisterTemporary(const QString& mark) {
    if (!mark.isEmpty())
        QFile::remove(mark);
}

int removeStaleTemporaries(const QString& dir) {
    const QDir list(temporaryList(dir));
    int removed = 0;
    for (const QFileInfo& entry : list.entryInfoList(QDir::Files | QDir::Hidden)) {
        if (processAlive(entry.fileName().section(u'-', 0, 0).toLongLong()))
            continue; // still being written, by another run of the program
        QFile mark(entry.absoluteFilePath());
        const QString temporary = mark.open(QIODevice::ReadOnly) ? QString::fromUtf8(mark.read(4096)) : QString();
        mark.close();
        // Only a name this program makes is ever removed, whatever the list says.
        const QFileInfo info(temporary);
        if (!temporary.isEmpty() && AtomicFile::isTemporaryName(info.fileName()) && info.isFile() &&
            QFile::remove(temporary)) {
            qCInfo(lcDataDir).noquote() << QStringLiteral("Arquivo temporário removido: %1").arg(temporary);
            ++removed;
        }
        mark.remove();
    }
    return removed;
}

} // namespace DataDir
