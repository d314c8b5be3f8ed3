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

TEST(ModemSimCommand, PduOptionsAreTakenAndBadValuesRefused) {
    QString buildDir = qEnvironmentVariable("VESTRAL_BINARY_DIR");
    if (buildDir.isEmpty())
        buildDir = QCoreApplication::applicationDirPath() + QStringLiteral("/../..");
    const QString binary = buildDir + QStringLiteral("/src/app/vestral-modemsim");
    if (!QFileInfo::exists(binary))
        VESTRAL_SKIP_MISSING_PEER("vestral-modemsim not built");
    QTemporaryDir dir;
    const QString portas = dir.filePath(QStringLiteral("portas"));
    struct Bad {
        QStringList args;
    };
    const Bad bad[] = {
        {{QStringLiteral("--report-status"), QStringLiteral("0x4G")}},
        {{QStringLiteral("--report-delay-ms"), QStringLiteral("1:abc")}},
        {{QStringLiteral("--first-reference"), QStringLiteral("12x")}},
        {{QStringLiteral("--text-only-port"), QStringLiteral("3")}}, // two ports only
        {{QStringLiteral("--refuse-cnmi")}},
        {{QStringLiteral("--result-delay-ms"), QStringLiteral("3:200")}}, // two ports only
        {{QStringLiteral("--result-delay-ms"), QStringLiteral("2x")}},
        {{QStringLiteral("--result-delay-ms"), QStringLiteral("-200")}},
    };
    for (const Bad& b : bad) {
        QProcess sim;
        sim.start(binary, QStringList{QStringLiteral("--dir"), portas, QStringLiteral("--ports"), QStringLiteral("2")} +
                              b.args);
        ASSERT_TRUE(sim.waitForFinished(10000)) << b.args.join(' ').toStdString();
        EXPECT_EQ(sim.exitCode(), 2) << b.args.join(' ').toStdString();
    }
    QProcess help;
    help.start(binary, {QStringLiteral("--help")});
    ASSERT_TRUE(help.waitForFinished(10000));
    const QString usage = QString::fromUtf8(help.readAllStandardOutput());
    for (const char* option :
         {"--text-only-port", "--pdu-only-port", "--first-reference", "--report-delay-ms", "--report-status",
          "--report-no-smsc-port", "--report-stored-port", "--refuse-cnmi", "--result-delay-ms"})
        EXPECT_TRUE(usage.contains(QLatin1String(option))) << option;

    QProcess good;
    good.start(binary, {QStringLiteral("--dir"),
                        portas,
                        QStringLiteral("--ports"),
                        QStringLiteral("2"),
                        QStringLiteral("--text-only-port"),
                        QStringLiteral("1"),
                        QStringLiteral("--pdu-only-port"),
                        QStringLiteral("2"),
                        QStringLiteral("--report-status"),
                        QStringLiteral("2:0x41"),
                        QStringLiteral("--report-delay-ms"),
                        QStringLiteral("-1"),
                        QStringLiteral("--refuse-cnmi"),
                        QStringLiteral("1:2,1,0,1,0"),
                        QStringLiteral("--report-stored-port"),
                        QStringLiteral("2"),
                        QStringLiteral("--report-no-smsc-port"),
                        QStringLiteral("1"),
                        QStringLiteral("--first-reference"),
                        QStringLiteral("250"),
                        QStringLiteral("--result-delay-ms"),
                        QStringLiteral("1:200")});
    ASSERT_TRUE(good.waitForStarted());
    QByteArray lines;
    while ((lines += good.readAllStandardOutput()).count('\n') < 2 && good.waitForReadyRead(10000)) {
    }
    EXPECT_TRUE(QFileInfo(QDir(portas).filePath(QStringLiteral("COM2"))).isSymLink());
    good.terminate();
    ASSERT_TRUE(good.waitForFinished(10000));
    EXPECT_EQ(good.exitCode(), 0);
}
