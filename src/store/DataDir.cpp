#include "store/DataDir.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace DataDir {
namespace {
QString g_current;
}

QString resolve(const QString& commandLineDir, const QString& executableDir) {
    if (!commandLineDir.isEmpty())
        return QDir(commandLineDir).absolutePath();
    QFileInfo exe(executableDir);
    if (!executableDir.isEmpty() && exe.isDir() && exe.isWritable())
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

} // namespace DataDir
