#include "modem/ComMapping.h"
#include "modem/SerialChannel.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

TEST(ComMapping, LinkInTheDataFolderElseTtyUsb) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("portas")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), dir.filePath(QStringLiteral("portas/COM3"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/pts/9"), dir.filePath(QStringLiteral("portas/COM4"))));
    const struct {
        int com;
        QString expected;
    } cases[] = {
        {3, dir.filePath(QStringLiteral("portas/COM3"))},
        {4, dir.filePath(QStringLiteral("portas/COM4"))}, // a dangling link still names the port
        {1, QStringLiteral("/dev/ttyUSB0")},
        {12, QStringLiteral("/dev/ttyUSB11")},
        {0, QString()},
        {-1, QString()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComMapping::devicePath(c.com, dir.path()), c.expected) << c.com;
    EXPECT_EQ(ComMapping::devicePath(2, QString()), QStringLiteral("/dev/ttyUSB1"));
}

TEST(SerialSettings, ParityAndStopBitsFromStoredText) {
    const struct {
        const char* name;
        SerialChannel::Parity parity;
    } parities[] = {{"pNone", SerialChannel::Parity::pNone},
                    {"pOdd", SerialChannel::Parity::pOdd},
                    {"pEven", SerialChannel::Parity::pEven},
                    {"pMark", SerialChannel::Parity::pMark},
                    {"pSpace", SerialChannel::Parity::pSpace}};
    for (const auto& p : parities) {
        EXPECT_EQ(SerialChannel::parityFromName(QString::fromLatin1(p.name)), p.parity) << p.name;
        EXPECT_EQ(SerialChannel::parityName(p.parity), QString::fromLatin1(p.name));
    }
    EXPECT_THROW(SerialChannel::parityFromName(QStringLiteral("even")), SerialChannelError);

    EXPECT_EQ(SerialChannel::stopBitsFromText(QStringLiteral("1")), 1);
    EXPECT_EQ(SerialChannel::stopBitsFromText(QStringLiteral("2")), 2);
    for (const char* refused : {"1.5", "1,5", "3", "", "x"})
        EXPECT_THROW(SerialChannel::stopBitsFromText(QString::fromLatin1(refused)), SerialChannelError) << refused;

    SerialChannel channel(1);
    EXPECT_THROW(channel.setDataBits(9), SerialChannelError);
    EXPECT_THROW(channel.setStopBits(3), SerialChannelError);
    EXPECT_THROW(channel.setBaud(0), SerialChannelError);
    EXPECT_EQ(channel.dataBits(), 8);
    EXPECT_EQ(channel.stopBits(), 1);
    EXPECT_EQ(channel.baud(), 115200);
    EXPECT_EQ(channel.parity(), SerialChannel::Parity::pNone);
    EXPECT_EQ(channel.comNumber(), 0);
}
