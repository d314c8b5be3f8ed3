// A test thread that started a child process (QProcess) and then drives the modem simulator, whose
// thread shares the port queues with it under one mutex. In a ThreadSanitizer build the child once
// left the starting thread's locks invisible to the sanitizer (see tests/common/TsanCloneFork.cpp):
// each inject() and received() was then reported as a race with the simulator's thread.
#include "ModemSimulator.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <string>
#include <unistd.h>

using modemsim::ModemSimulator;
using modemsim::PortConfig;
using modemsim::SimulatorOptions;

namespace {

// Reads what the port's host side has got so far.
std::string drain(int fd) {
    std::string got;
    char buffer[256];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        got.append(buffer, std::size_t(n));
    return got;
}

} // namespace

TEST(ChildProcess, LocksStayVisibleAfterStartingAChild) {
    for (int child = 0; child < 2; ++child) {
        QProcess self; // this test program, running no test
        self.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=-*")});
        ASSERT_TRUE(self.waitForFinished(60000)) << child;
        EXPECT_EQ(self.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(self.exitCode(), 0);
    }

    QTemporaryDir dir;
    SimulatorOptions options;
    options.dir = dir.filePath(QStringLiteral("portas")).toStdString();
    options.ports = {PortConfig{}};
    ModemSimulator sim(options);
    sim.start();
    const int fd = ::open(sim.linkPath(0).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    std::string got;
    for (int round = 0; round < 20; ++round) {
        const std::string line = "+CMTI: \"SM\"," + std::to_string(round) + "\r\n";
        sim.inject(0, line);
        ASSERT_TRUE(waitUntil([&] { return (got += drain(fd)).find(line) != std::string::npos; })) << round;
        const std::string at = "AT+CMGR=" + std::to_string(round) + "\r";
        ASSERT_EQ(::write(fd, at.data(), at.size()), ssize_t(at.size()));
        ASSERT_TRUE(waitUntil([&] { return sim.received(0).find(at) != std::string::npos; })) << round;
    }
    ::close(fd);
    sim.stop();
}
