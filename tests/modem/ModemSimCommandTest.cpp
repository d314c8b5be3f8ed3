// The vestral-modemsim command: links while it runs, none after SIGTERM.
#include <gtest/gtest.h>

#include "MissingPeer.h"
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

TEST(ModemSimCommand, LinksPortsUntilTerminated) {
    // The test runs from <build>/tests/modem; the command lives in <build>/src/app.
    QString buildDir = qEnvironmentVariable("VESTRAL_BINARY_DIR");
    if (buildDir.isEmpty())
        buildDir = QCoreApplication::applicationDirPath() + QStringLiteral("/../..");
    const QString binary = buildDir + QStringLiteral("/src/app/vestral-modemsim");
    if (!QFileInfo::exists(binary))
        VESTRAL_SKIP_MISSING_PEER("vestral-modemsim not built");
    QTemporaryDir dir;
    const QString portas = dir.filePath(QStringLiteral("portas"));
    QProcess sim;
    sim.start(binary, {QStringLiteral("--dir"), portas, QStringLiteral("--ports"), QStringLiteral("3"),
                       QStringLiteral("--first-com"), QStringLiteral("5"), QStringLiteral("--unplug-after"),
                       QStringLiteral("2:1")});
    ASSERT_TRUE(sim.waitForStarted());
    ASSERT_TRUE(sim.waitForReadyRead(10000));
    while (sim.readAllStandardOutput().count('\n') < 3 && sim.waitForReadyRead(10000)) {
    }
    for (const char* name : {"COM5", "COM6", "COM7"})
        EXPECT_TRUE(QFileInfo(QDir(portas).filePath(QLatin1String(name))).isSymLink()) << name;
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_TRUE(QDir(portas).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).isEmpty());

    QProcess bad;
    bad.start(binary, {QStringLiteral("--ports"), QStringLiteral("2")});
    ASSERT_TRUE(bad.waitForFinished(10000));
    EXPECT_EQ(bad.exitCode(), 2);
}
