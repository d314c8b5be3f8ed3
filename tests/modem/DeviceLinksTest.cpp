// Links portas/COMn of the data folder: making, replacing, removing, and which numbers a device
// answers to.
#include "modem/DeviceLinks.h"
#include "modem/ComMapping.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {
QString touch(const QDir& dir, const QString& name) {
    QFile f(dir.filePath(name));
    f.open(QIODevice::WriteOnly);
    return f.fileName();
}
} // namespace

TEST(DeviceLinks, LinkReplaceUnlinkAndLookUp) {
    QTemporaryDir data;
    QTemporaryDir devices;
    const QDir dev(devices.path());
    const QString a = touch(dev, "ttyA");
    const QString b = touch(dev, "ttyB");

    EXPECT_EQ(DeviceLinks::link(3, a, data.path()), QString());
    EXPECT_EQ(DeviceLinks::link(12, a, data.path()), QString());
    EXPECT_EQ(DeviceLinks::link(5, b, data.path()), QString());
    EXPECT_EQ(DeviceLinks::linkedNumbers(data.path()), (QList<int>{3, 5, 12}));
    EXPECT_EQ(DeviceLinks::comNumbersFor(a, data.path()), (QList<int>{3, 12}));
    EXPECT_EQ(ComMapping::devicePath(5, data.path()), ComMapping::linkPath(5, data.path()));

    // Re-linking a number points it at the new device.
    EXPECT_EQ(DeviceLinks::link(3, b, data.path()), QString());
    EXPECT_EQ(DeviceLinks::comNumbersFor(b, data.path()), (QList<int>{3, 5}));
    EXPECT_EQ(DeviceLinks::unlink(5, data.path()), QString());
    EXPECT_EQ(DeviceLinks::unlink(5, data.path()), QString()); // nothing left to remove
    EXPECT_EQ(DeviceLinks::linkedNumbers(data.path()), (QList<int>{3, 12}));
    // Without its link, COM 5 is the USB adapter again.
    EXPECT_EQ(ComMapping::devicePath(5, data.path()), "/dev/ttyUSB4");
}

TEST(DeviceLinks, RefusesNumbersOutOfRangeAndIgnoresOtherFiles) {
    QTemporaryDir data;
    for (const int n : {0, -1, 1000})
        EXPECT_FALSE(DeviceLinks::link(n, "/dev/null", data.path()).isEmpty()) << n;
    const QDir portas(data.filePath("portas"));
    QDir().mkpath(portas.path());
    for (const char* name : {"COM0", "COM1000", "COMx", "com2", "COM07", "notes.txt"})
        touch(portas, QString::fromLatin1(name));
    EXPECT_TRUE(DeviceLinks::linkedNumbers(data.path()).isEmpty());
}

TEST(DeviceLinks, StablePathPrefersTheByIdLink) {
    QTemporaryDir devices;
    QTemporaryDir byId;
    const QString device = touch(QDir(devices.path()), "ttyUSB0");
    const QString stable = QDir(byId.path()).filePath("usb-Modem_123-if00-port0");
    ASSERT_TRUE(QFile::link(device, stable));
    EXPECT_EQ(DeviceLinks::stablePath(device, byId.path()), stable);
    const QString other = touch(QDir(devices.path()), "ttyUSB1");
    EXPECT_EQ(DeviceLinks::stablePath(other, byId.path()), other);
}
