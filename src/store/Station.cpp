#include "store/Station.h"

#include <QMutex>
#include <QSysInfo>

namespace Station {
namespace {

QMutex& guard() {
    static QMutex m;
    return m;
}

QString& chosen() {
    static QString name;
    return name;
}

} // namespace

QString current() {
    QMutexLocker lock(&guard());
    return chosen().isEmpty() ? defaultName() : chosen();
}

void setCurrent(const QString& name) {
    QMutexLocker lock(&guard());
    chosen() = name.trimmed();
}

QString defaultName() {
    // Asked for with every history row and every claim: the host's name is read once.
    static const QString name = [] {
        const QString host = QSysInfo::machineHostName().trimmed();
        return validate(host).isEmpty() ? host : QStringLiteral("estacao");
    }();
    return name;
}

QString validate(const QString& name) {
    const QString t = name.trimmed();
    if (t.isEmpty())
        return QStringLiteral("O nome da estação não pode ficar vazio.");
    if (t.size() > kMaxName)
        return QStringLiteral("O nome da estação tem mais de %1 caracteres.").arg(kMaxName);
    for (const QChar c : t)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return QStringLiteral("O nome da estação tem caracteres de controle.");
    return {};
}

} // namespace Station
