#include "app/VersionInfo.h"

namespace VersionInfo {

QString versionString(int major, int minor, int release, int build) {
    auto part = [](int n) { return QString::number(n + 100).mid(2, 2); };
    return part(major) + "." + part(minor) + "." + part(release) + "." + QString::number(build).left(3);
}

QString current() {
    return versionString(VESTRAL_VERSION_MAJOR, VESTRAL_VERSION_MINOR, VESTRAL_VERSION_PATCH, VESTRAL_VERSION_TWEAK);
}

QString title() {
    return QStringLiteral("VESTRAL SMS V.") + current();
}

} // namespace VersionInfo
