#include "modem/DeviceLinks.h"

#include "modem/ComMapping.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace DeviceLinks {

namespace {
QString resolved(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    return target.isEmpty() ? QFileInfo(path).absoluteFilePath() : target;
}
} // namespace

QList<int> linkedNumbers(const QString& dataDir) {
    QList<int> numbers;
    static const QRegularExpression name(QStringLiteral("^COM([1-9][0-9]{0,2})$"));
    const QDir dir(QDir(dataDir).filePath(QStringLiteral("portas")));
    for (const QFileInfo& entry : dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch m = name.match(entry.fileName());
        if (m.hasMatch())
            numbers.append(m.captured(1).toInt());
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

QList<int> comNumbersFor(const QString& device, const QString& dataDir) {
    const QString wanted = resolved(device);
    QList<int> numbers;
    for (int n = 1; n <= kMaxCom; ++n) {
        if (resolved(ComMapping::devicePath(n, dataDir)) == wanted)
            numbers.append(n);
    }
    return numbers;
}

QString stablePath(const QString& device, const QString& byIdDir) {
    const QString wanted = resolved(device);
    const QDir dir(byIdDir);
    for (const QFileInfo& entry : dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (resolved(entry.absoluteFilePath()) == wanted)
            return entry.absoluteFilePath();
    }
    return device;
}

QString link(int comNumber, const QString& target, const QString& dataDir) {
    if (comNumber < 1 || comNumber > kMaxCom)
        return QStringLiteral("Número de porta inválido: %1").arg(comNumber);
    const QString path = ComMapping::linkPath(comNumber, dataDir);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return QStringLiteral("Não foi possível criar a pasta %1").arg(QFileInfo(path).absolutePath());
    if ((QFileInfo(path).isSymLink() || QFileInfo::exists(path)) && !QFile::remove(path))
        return QStringLiteral("Não foi possível substituir %1").arg(path);
    if (!QFile::link(target, path))
        return QStringLiteral("Não foi possível criar o link %1 -> %2").arg(path, target);
    return {};
}

QString unlink(int comNumber, const QString& dataDir) {
    const QString path = ComMapping::linkPath(comNumber, dataDir);
    if (!QFileInfo(path).isSymLink() && !QFileInfo::exists(path))
        return {};
    if (!QFile::remove(path))
        return QStringLiteral("Não foi possível remover %1").arg(path);
    return {};
}

} // namespace DeviceLinks
