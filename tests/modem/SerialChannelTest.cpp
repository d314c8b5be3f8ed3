#include "modem/SerialChannel.h"
#include "ModemSimulator.h"
#include "WaitUntil.h"
#include "modem/ComMapping.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using modemsim::ModemSimulator;
using modemsim::PortConfig;
using modemsim::SimulatorOptions;

namespace {

// Takes every announced byte with ReadByte, as the response handler does.
struct Receiver {
    explicit Receiver(SerialChannel& channel) {
        QObject::connect(&channel, &SerialChannel::TriggerAvail, [this](SerialChannel* from, quint16 count) {
            channels.append(from);
            counts.append(count);
            for (int i = 0; i < count; ++i)
                bytes.append(from->ReadByte());
            if (inEvent)
                inEvent(*from);
        });
    }
    QList<SerialChannel*> channels;
    QList<int> counts;
    QByteArray bytes;
    std::function<void(SerialChannel&)> inEvent;
};

class SerialChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        ComMapping::setDataDir(m_dir.path());
        SimulatorOptions options;
        options.dir = QString(m_dir.path() + QStringLiteral("/portas")).toStdString();
        options.ports = {PortConfig{}, PortConfig{}};
        m_sim = std::make_unique<ModemSimulator>(options);
        m_sim->start();
    }
    void TearDown() override {
        m_sim->stop();
        ComMapping::setDataDir(QString());
    }

    bool simReceived(const std::string& tail) {
        return waitUntil([&] {
            const std::string got = m_sim->received(0);
            return got.size() >= tail.size() && got.compare(got.size() - tail.size(), tail.size(), tail) == 0;
        });
    }

    QTemporaryDir m_dir;
    std::unique_ptr<ModemSimulator> m_sim;
};

} // namespace

TEST_F(SerialChannelTest, DeliveriesOfOneThenFiveBytesKeepTheirOrder) {
    SerialChannel channel(7);
    channel.setComNumber(1);
    Receiver rx(channel);
    channel.open();
    ASSERT_TRUE(channel.isOpen());
    m_sim->inject(0, "A");
    ASSERT_TRUE(waitUntil([&] { return rx.bytes.size() == 1; }));
    m_sim->inject(0, "BCDEF");
    ASSERT_TRUE(waitUntil([&] { return rx.bytes.size() == 6; }));
    EXPECT_EQ(rx.bytes, QByteArray("ABCDEF"));
    EXPECT_EQ(rx.counts.first(), 1);
    EXPECT_EQ(rx.channels.first(), &channel);
    EXPECT_EQ(channel.available(), 0);
    EXPECT_THROW(channel.ReadByte(), SerialChannelError);
}

TEST_F(SerialChannelTest, HandlerWaitingAfterTakingItsBytesGetsANestedEvent) {
    SerialChannel channel(1);
    channel.setComNumber(1);
    Receiver rx(channel);
    int depth = 0;
    int deepest = 0;
    rx.inEvent = [&](SerialChannel&) {
        ++depth;
        deepest = std::max(deepest, depth);
        if (rx.bytes == "A") {
            m_sim->inject(0, "BCDEF");
            // A handler that waits for the modem keeps processing events meanwhile.
            waitUntil([&] { return rx.bytes.size() == 6; });
        }
        --depth;
    };
    channel.open();
    m_sim->inject(0, "A");
    ASSERT_TRUE(waitUntil([&] { return rx.bytes.size() == 6 && depth == 0; }));
    EXPECT_EQ(rx.bytes, QByteArray("ABCDEF"));
    EXPECT_EQ(rx.counts, (QList<int>{1, 5}));
    EXPECT_EQ(deepest, 2);
}

TEST_F(SerialChannelTest, BytesArrivingBeforeAnEventTookItsOwnFollowAfterIt) {
    SerialChannel channel(1);
    channel.setComNumber(1);
    QList<int> counts;
    QByteArray bytes;
    int depth = 0;
    int deepest = 0;
    QObject::connect(&channel, &SerialChannel::TriggerAvail, [&](SerialChannel* ch, quint16 count) {
        ++depth;
        deepest = std::max(deepest, depth);
        counts.append(count);
        if (counts.size() == 1) {
            m_sim->inject(0, "BCDEF");
            waitUntil([&] { return ch->available() == 6; });
        } else {
            for (int i = 0; i < count; ++i)
                bytes.append(ch->ReadByte());
        }
        --depth;
    });
    channel.open();
    m_sim->inject(0, "A");
    ASSERT_TRUE(waitUntil([&] { return bytes.size() == 6; }));
    EXPECT_EQ(bytes, QByteArray("ABCDEF"));
    EXPECT_EQ(counts, (QList<int>{1, 6}));
    EXPECT_EQ(deepest, 1);
}

TEST_F(SerialChannelTest, CloseAndReopenAtOnceKeepsTagAndHandler) {
    SerialChannel channel(7);
    channel.setComNumber(1);
    Receiver rx(channel);
    for (int round = 0; round < 3; ++round) {
        channel.open();
        channel.open(); // opening an open channel does nothing
        ASSERT_TRUE(channel.isOpen()) << round;
        rx.bytes.clear();
        channel.WriteText(QByteArray("AT\r"));
        ASSERT_TRUE(waitUntil([&] { return rx.bytes.endsWith("OK\r\n"); })) << round;
        EXPECT_EQ(rx.bytes, QByteArray("AT\r\r\nOK\r\n"));
        channel.close();
        channel.close();
        EXPECT_FALSE(channel.isOpen());
    }
    EXPECT_EQ(channel.tag(), 7);
    EXPECT_TRUE(rx.channels.count(&channel) == rx.channels.size());
}

TEST_F(SerialChannelTest, EmptyWriteSucceedsOnlyWhenOpen) {
    SerialChannel channel(2);
    channel.setComNumber(1);
    EXPECT_THROW(channel.WriteText(QByteArray()), SerialChannelError);
    EXPECT_THROW(channel.WriteText(QByteArray("AT\r")), SerialChannelError);
    channel.open();
    EXPECT_NO_THROW(channel.WriteText(QByteArray()));
    channel.WriteText(QByteArray("AT\r"));
    ASSERT_TRUE(simReceived("AT\r"));
    EXPECT_EQ(m_sim->received(0), "AT\r");
}

TEST_F(SerialChannelTest, TextLargerThanTheTransmitBufferIsRefusedWhole) {
    SerialChannel channel(2);
    channel.setComNumber(1);
    channel.open();
    EXPECT_THROW(channel.WriteText(QByteArray(SerialChannel::kOutSize + 1, 'a')), SerialChannelError);
    channel.WriteText("AT\r");
    ASSERT_TRUE(simReceived("AT\r"));
    EXPECT_EQ(m_sim->received(0), "AT\r");
}

TEST_F(SerialChannelTest, MissingDeviceFailsThenOpensOnceAttached) {
    m_sim->unplug(1);
    SerialChannel channel(2);
    channel.setComNumber(2);
    try {
        channel.open();
        FAIL() << "opened a missing device";
    } catch (const SerialChannelError& e) {
        EXPECT_TRUE(e.text().contains(QStringLiteral("COM2"))) << e.text().toStdString();
    }
    EXPECT_FALSE(channel.isOpen());
    m_sim->plug(1);
    channel.open();
    EXPECT_TRUE(channel.isOpen());
}

TEST_F(SerialChannelTest, ComNumberZeroAsksForAPort) {
    SerialChannel channel(3);
    EXPECT_THROW(channel.open(), SerialChannelError);
    EXPECT_FALSE(channel.isOpen());
    channel.setPortChooser([](const SerialChannel&) { return 0; });
    EXPECT_THROW(channel.open(), SerialChannelError);
    channel.setPortChooser([](const SerialChannel&) { return 2; });
    channel.open();
    EXPECT_TRUE(channel.isOpen());
    EXPECT_EQ(channel.comNumber(), 2);
    EXPECT_TRUE(SerialChannel::openablePorts(4).contains(1));
}

TEST_F(SerialChannelTest, ControlBytesPassThroughBothWays) {
    SerialChannel channel(1);
    channel.setComNumber(1);
    Receiver rx(channel);
    channel.open();
    const QByteArray raw("\x0d\x0a\x1a\x22\x00\xff", 6);
    m_sim->inject(0, raw.toStdString());
    ASSERT_TRUE(waitUntil([&] { return rx.bytes.size() == raw.size(); }));
    EXPECT_EQ(rx.bytes, raw);
    channel.WriteText(QByteArray("x\x0d\x0a\x1a\x22"));
    ASSERT_TRUE(simReceived("x\x0d\x0a\x1a\x22"));
}

TEST_F(SerialChannelTest, ParametersReachTheDevice) {
    SerialChannel channel(1);
    channel.setComNumber(1);
    channel.setParity(SerialChannel::Parity::pEven);
    channel.setDataBits(7);
    channel.setStopBits(2);
    channel.setBaud(9600);
    channel.open();
    termios tio{};
    const int fd = ::open(m_sim->devicePath(0).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::tcgetattr(fd, &tio), 0);
    ::close(fd);
    // The kernel keeps a pseudo-terminal at 8 bits without parity; stop bits and speed stick.
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_EQ(::cfgetospeed(&tio), speed_t(B9600));
}

TEST_F(SerialChannelTest, UnpluggedDeviceClosesTheChannelOnce) {
    SerialChannel channel(1);
    channel.setComNumber(1);
    int lost = 0;
    QObject::connect(&channel, &SerialChannel::portLost, [&](SerialChannel*, const QString&) { ++lost; });
    channel.open();
    m_sim->unplug(0);
    ASSERT_TRUE(waitUntil([&] { return !channel.isOpen(); }));
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(lost, 1);
    // A worker on another thread reads the loss from the channel itself; an open ends it.
    EXPECT_TRUE(std::async(std::launch::async, [&] { return channel.lost(); }).get());
    EXPECT_THROW(channel.WriteText(QByteArray("AT\r")), SerialChannelError);
    EXPECT_THROW(channel.open(), SerialChannelError); // nothing at the link yet
    EXPECT_TRUE(channel.lost());
    m_sim->plug(0);
    channel.open();
    EXPECT_TRUE(channel.isOpen());
    EXPECT_FALSE(channel.lost());
    channel.close(); // closed by the program: no loss
    EXPECT_FALSE(channel.lost());
}

TEST_F(SerialChannelTest, WriteTextFromAnotherThread) {
    SerialChannel channel(1);
    channel.setComNumber(1);
    channel.open();
    std::atomic<int> outcome{0}; // 1 written, 2 failed
    auto writeFromWorker = [&] {
        return std::thread([&] {
            try {
                channel.WriteText(QByteArray("AT+CMGF=1\r\n"));
                outcome = 1;
            } catch (const SerialChannelError&) {
                outcome = 2;
            }
        });
    };
    std::thread worker = writeFromWorker();
    ASSERT_TRUE(waitUntil([&] { return outcome != 0; }));
    worker.join();
    EXPECT_EQ(outcome, 1);
    ASSERT_TRUE(simReceived("AT+CMGF=1\r\n"));

    channel.close();
    outcome = 0;
    worker = writeFromWorker();
    ASSERT_TRUE(waitUntil([&] { return outcome != 0; }));
    worker.join();
    EXPECT_EQ(outcome, 2);
}

TEST_F(SerialChannelTest, DeviceTheUserMayNotOpenNamesTheDialoutGroup) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to drop to another user";
    ASSERT_EQ(::chmod(m_sim->devicePath(0).c_str(), 0600), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        QByteArray text = "opened";
        if (::setgid(65534) == 0 && ::setuid(65534) == 0) {
            SerialChannel channel(1);
            channel.setComNumber(1);
            try {
                channel.open();
            } catch (const SerialChannelError& e) {
                text = e.text().toUtf8();
            }
        } else {
            text = "setuid failed";
        }
        [[maybe_unused]] const auto n = ::write(pipeFds[1], text.constData(), size_t(text.size()));
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    QByteArray text;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, n);
    ::close(pipeFds[0]);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(text.contains("grupo dialout")) << text.toStdString();
}

// A write goes out during the call, not at the event loop's next pass (a busy window thread may
// reach that pass milliseconds later); a device gone under the write closes the channel once.
TEST_F(SerialChannelTest, WriteLeavesDuringTheCallAndALostDeviceClosesOnce) {
    struct Case {
        const char* name;
        bool unplugged;
    };
    for (const Case& c : {Case{"modem there", false}, Case{"modem pulled out before the write", true}}) {
        SerialChannel channel(1);
        channel.setComNumber(1);
        int lost = 0;
        QObject::connect(&channel, &SerialChannel::portLost, [&](SerialChannel*, const QString&) { ++lost; });
        channel.open();
        const std::string before = m_sim->received(0);
        if (c.unplugged)
            m_sim->unplug(0);
        int announced = 0;
        QObject::connect(&channel, &SerialChannel::TriggerAvail, [&](SerialChannel*, quint16) { ++announced; });
        EXPECT_NO_THROW(channel.WriteText(QByteArray("AT+CSQ\r"))) << c.name;
        // Whatever the write ran into, the caller's code goes on undisturbed: no nested event, no close under it;
        // the loss is taken at the event loop's next pass, as before.
        EXPECT_TRUE(channel.isOpen()) << c.name;
        EXPECT_EQ(announced, 0) << c.name;
        EXPECT_EQ(lost, 0) << c.name;
        if (!c.unplugged) {
            // No event is processed here: the bytes must already be on the line.
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (m_sim->received(0) == before && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            EXPECT_EQ(m_sim->received(0), before + "AT+CSQ\r") << c.name;
        }
        if (c.unplugged) {
            EXPECT_TRUE(waitUntil([&] { return !channel.isOpen(); })) << c.name;
        }
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        EXPECT_EQ(lost, c.unplugged ? 1 : 0) << c.name;
        EXPECT_EQ(channel.isOpen(), !c.unplugged) << c.name;
        channel.close();
        if (c.unplugged)
            m_sim->plug(0);
    }
}
