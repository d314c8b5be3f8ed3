#include "modem/ComMapping.h"

#include <QDir>
#include <QFileInfo>

#include <mutex>

namespace {

std::mutex g_mutex;
QString g_dataDir;

} // namespace

void ComMapping::setDataDir(const QString& dir) {
    std::lock_guard lock(g_mutex);
    g_dataDir = dir;
}

QString ComMapping::dataDir() {
    std::lock_guard lock(g_mutex);
    return g_dataDir;
}

QString ComMapping::linkPath(int comNumber, const QString& dataDir) {
    return QDir(dataDir).filePath(QStringLiteral("portas/COM%1").arg(comNumber));
}

QString ComMapping::devicePath(int comNumber, const QString& dataDir) {
    if (comNumber < 1)
        return {};
    if (!dataDir.isEmpty()) {
        const QString link = linkPath(comNumber, dataDir);
        // A dangling link still names the port: opening it then fails as a missing device.
        if (QFileInfo(link).isSymLink() || QFileInfo::exists(link))
            return link;
    }
    return QStringLiteral("/dev/ttyUSB%1").arg(comNumber - 1);
}
