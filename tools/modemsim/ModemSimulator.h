#pragma once

#include "SimModem.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace modemsim {

struct SimulatorOptions {
    std::string dir;               // links DIR/COM<n> are made here
    int firstCom = 1;              // port i (0-based) is COM<firstCom + i>
    std::vector<PortConfig> ports; // one entry per simulated modem
    std::string transcriptPath;    // empty: no transcript
    unsigned seed = 1;
};

// N simulated GSM modems on pseudo-terminals, served by one thread of their own. start() makes
// the pseudo-terminals and the links DIR/COM<n>; stop() (or the destructor) removes them.
class ModemSimulator {
public:
    explicit ModemSimulator(SimulatorOptions options);
    ~ModemSimulator();
    ModemSimulator(const ModemSimulator&) = delete;
    ModemSimulator& operator=(const ModemSimulator&) = delete;

    void start(); // throws std::runtime_error
    void stop();

    int portCount() const { return int(m_ports.size()); }
    std::string linkPath(int port) const;   // port is 0-based
    std::string devicePath(int port) const; // the pseudo-terminal's slave, "/dev/pts/N"
    int comNumber(int port) const { return m_options.firstCom + port; }

    // The modem vanishes: its pseudo-terminal is closed and its link removed.
    void unplug(int port);
    // A fresh modem (new pseudo-terminal, same configuration) is attached at the same link; with `sim`, holding
    // that SIM instead (a SIM swapped while the modem was out).
    void plug(int port, const SimCard* sim = nullptr);
    bool plugged(int port) const;

    // Writes raw bytes to the host side of the port, as if the modem had sent them.
    void inject(int port, const std::string& bytes);
    // Every byte the port has received from the host.
    std::string received(int port) const;

    std::vector<SentSms> sent(int port) const;
    // What the port's PDU sends make on the recipients' phones (parts joined).
    std::vector<SentMessage> sentMessages(int port) const { return joinedSends(sent(port)); }
    // A modem with held results (PortConfig::holdResults, or a late one of PortConfig::resultDelayMs): whether
    // one is held, and letting it go now.
    bool holding(int port) const;
    // `stopHolding`: later results go out at once again (or after resultDelayMs).
    void release(int port, bool stopHolding = false);
    // From now on the port's results wait for release(), the one already on its way too (as PortConfig::holdResults).
    void hold(int port);
    std::vector<StoredSms> inbox(int port) const;

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        Clock::time_point due;
        std::string bytes;
    };
    struct Port {
        PortConfig config;
        std::unique_ptr<SimModem> modem;
        int master = -1;
        int slave = -1;
        std::string device;
        std::deque<Pending> pending;
        std::vector<SentSms> sentBefore; // of earlier plugs
        std::string received;
        std::optional<Clock::time_point> unplugAt;      // the modem vanishes then (its last reply read)
        std::optional<Clock::time_point> replugAt = {}; // a vanished modem is back then (PortConfig::replugAfterMs)
        std::deque<std::pair<Clock::time_point, StatusReportSpec>> reports = {}; // on their way from the network
        std::optional<Clock::time_point> releaseAt = {}; // a send's held result goes out then (resultDelayMs)
    };
    // A modem that is to vanish stays a moment after its last reply, as a real one would be
    // pulled out after it answered: closing at once lets the line discard what it still holds.
    static constexpr std::chrono::milliseconds kUnplugDelay{100};

    void openPort(std::size_t index);
    void closePort(Port& port);
    void replugDue();
    void run();
    std::chrono::nanoseconds pollTimeout();
    void readPort(std::size_t index);
    void flushPort(std::size_t index);
    void releaseDue(std::size_t index);
    void queue(Port& port, std::string bytes, int delayMs);
    void take(std::size_t index, const SimModem::Output& out);
    void deliverReports(std::size_t index);
    void transcript(std::size_t index, const char* direction, const std::string& bytes);
    void note(std::size_t index, const std::string& line);
    void wake();

    SimulatorOptions m_options;
    std::vector<Port> m_ports;
    mutable std::mutex m_mutex;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    int m_wakeFd = -1;
    std::FILE* m_transcript = nullptr;
    Clock::time_point m_started;
};

} // namespace modemsim
