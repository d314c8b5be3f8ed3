#pragma once

#include <QString>

namespace VersionInfo {

// Version string: major, minor and release each as the last digit of (n + 100) from its third
// character, at most two; the build as the first three characters of its decimal form.
QString versionString(int major, int minor, int release, int build);

// The running program's own version string.
QString current();

// "VESTRAL SMS V." + version string: the title bar.
QString title();

} // namespace VersionInfo
