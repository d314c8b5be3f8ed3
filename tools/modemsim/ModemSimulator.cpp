#include "ModemSimulator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace modemsim {

namespace {

std::runtime_error systemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

std::string escaped(const std::string& bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (u < 0x20 || u >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", u);
            out += hex;
        } else
            out += c;
    }
    return out;
}

} // namespace

ModemSimulator::ModemSimulator(SimulatorOptions options) : m_options(std::move(options)) {
    for (const PortConfig& config : m_options.ports)
        m_ports.push_back(Port{config, nullptr, -1, -1, {}, {}, {}, {}, {}});
}

ModemSimulator::~ModemSimulator() {
    stop();
}

void ModemSimulator::start() {
    if (m_running)
        return;
    std::filesystem::create_directories(m_options.dir);
    if (!m_options.transcriptPath.empty()) {
        m_transcript = std::fopen(m_options.transcriptPath.c_str(), "a");
        if (!m_transcript)
            throw systemError("transcript " + m_options.transcriptPath);
    }
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0)
        throw systemError("eventfd");
    m_started = Clock::now();
    {
        std::lock_guard lock(m_mutex);
        for (std::size_t i = 0; i < m_ports.size(); ++i)
            openPort(i);
    }
    m_running = true;
    m_thread = std::thread([this] { run(); });
}

void ModemSimulator::stop() {
    if (m_running.exchange(false)) {
        wake();
        m_thread.join();
    }
    std::lock_guard lock(m_mutex);
    for (Port& port : m_ports)
        closePort(port);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
    m_wakeFd = -1;
    if (m_transcript)
        std::fclose(m_transcript);
    m_transcript = nullptr;
}

std::string ModemSimulator::linkPath(int port) const {
    return (std::filesystem::path(m_options.dir) / ("COM" + std::to_string(comNumber(port)))).string();
}

std::string ModemSimulator::devicePath(int port) const {
    std::lock_guard lock(m_mutex);
    return m_ports.at(std::size_t(port)).device;
}

void ModemSimulator::openPort(std::size_t index) {
    Port& port = m_ports[index];
    port.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (port.master < 0 || ::grantpt(port.master) != 0 || ::unlockpt(port.master) != 0)
        throw systemError("posix_openpt");
    ::fcntl(port.master, F_SETFL, ::fcntl(port.master, F_GETFL) | O_NONBLOCK);
    char name[128] = {};
    if (::ptsname_r(port.master, name, sizeof name) != 0)
        throw systemError("ptsname");
    port.device = name;
    // Holding the slave open keeps the master from hanging up while no program has the port
    // open; the slave starts raw, as a serial line does.
    port.slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (port.slave < 0)
        throw systemError(std::string("open ") + name);
    termios tio{};
    if (::tcgetattr(port.slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(port.slave, TCSANOW, &tio);
    }
    port.modem = std::make_unique<SimModem>(port.config, m_options.seed + unsigned(index));
    const std::string link = linkPath(int(index));
    ::unlink(link.c_str());
    if (::symlink(name, link.c_str()) != 0)
        throw systemError("symlink " + link);
}

void ModemSimulator::closePort(Port& port) {
    if (port.master < 0)
        return;
    const auto index = std::size_t(&port - m_ports.data());
    ::unlink(linkPath(int(index)).c_str());
    ::close(port.master);
    ::close(port.slave);
    port.master = port.slave = -1;
    port.pending.clear();
    port.reports.clear();
    port.unplugAt.reset();
    port.releaseAt.reset();
    if (port.modem) {
        const auto& sent = port.modem->sent();
        port.sentBefore.insert(port.sentBefore.end(), sent.begin(), sent.end());
        port.config.inbox = port.modem->inbox();
        port.modem.reset();
    }
}

void ModemSimulator::unplug(int port) {
    {
        std::lock_guard lock(m_mutex);
        closePort(m_ports.at(std::size_t(port)));
    }
    wake();
}

void ModemSimulator::plug(int port, const SimCard* sim) {
    {
        std::lock_guard lock(m_mutex);
        Port& p = m_ports.at(std::size_t(port));
        if (sim)
            p.config.sim = *sim;
        p.replugAt.reset();
        if (p.master < 0)
            openPort(std::size_t(port));
    }
    wake();
}

// Modems that vanished by themselves and are due back: a fresh modem each (echo on, booting, searching for the
// network as its SIM says), which does not vanish again; with another SIM when the port says so.
void ModemSimulator::replugDue() {
    const auto now = Clock::now();
    for (std::size_t i = 0; i < m_ports.size(); ++i) {
        Port& port = m_ports[i];
        if (port.master >= 0 || !port.replugAt || *port.replugAt > now)
            continue;
        port.replugAt.reset();
        port.config.unplugAfter = 0;
        if (!port.config.replugImsi.empty() && port.config.sim.imsi != port.config.replugImsi) {
            port.config.sim.imsi = port.config.replugImsi;
            // Another SIM has another serial number.
            port.config.sim.iccid = "89550" + port.config.replugImsi.substr(0, 14);
        }
        note(i,
             "modem reconectado" + (port.config.replugImsi.empty() ? std::string() : " IMSI " + port.config.sim.imsi));
        openPort(i);
    }
}

bool ModemSimulator::plugged(int port) const {
    std::lock_guard lock(m_mutex);
    return m_ports.at(std::size_t(port)).master >= 0;
}

void ModemSimulator::inject(int port, const std::string& bytes) {
    {
        std::lock_guard lock(m_mutex);
        queue(m_ports.at(std::size_t(port)), bytes, 0);
    }
    wake();
}

std::string ModemSimulator::received(int port) const {
    std::lock_guard lock(m_mutex);
    return m_ports.at(std::size_t(port)).received;
}

std::vector<SentSms> ModemSimulator::sent(int port) const {
    std::lock_guard lock(m_mutex);
    const Port& p = m_ports.at(std::size_t(port));
    std::vector<SentSms> all = p.sentBefore;
    if (p.modem)
        all.insert(all.end(), p.modem->sent().begin(), p.modem->sent().end());
    return all;
}

bool ModemSimulator::holding(int port) const {
    std::lock_guard lock(m_mutex);
    const Port& p = m_ports.at(std::size_t(port));
    return p.modem && p.modem->holding();
}

void ModemSimulator::hold(int port) {
    std::lock_guard lock(m_mutex);
    Port& p = m_ports.at(std::size_t(port));
    p.config.holdResults = true;
    p.releaseAt.reset();
    if (p.modem)
        p.modem->hold();
}

void ModemSimulator::release(int port, bool stopHolding) {
    {
        std::lock_guard lock(m_mutex);
        Port& p = m_ports.at(std::size_t(port));
        if (!p.modem)
            return;
        p.releaseAt.reset();
        const SimModem::Output out = p.modem->release(stopHolding);
        take(std::size_t(port), {{}, out.reply, out.notes});
    }
    wake();
}

std::vector<StoredSms> ModemSimulator::inbox(int port) const {
    std::lock_guard lock(m_mutex);
    const Port& p = m_ports.at(std::size_t(port));
    return p.modem ? p.modem->inbox() : p.config.inbox;
}

void ModemSimulator::wake() {
    if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(m_wakeFd, &one, sizeof one);
    }
}

void ModemSimulator::run() {
    while (m_running) {
        std::vector<pollfd> fds{{m_wakeFd, POLLIN, 0}};
        std::chrono::nanoseconds timeout{0};
        {
            std::lock_guard lock(m_mutex);
            for (const Port& port : m_ports)
                fds.push_back({port.master, short(port.master >= 0 ? POLLIN : 0), 0});
            timeout = pollTimeout();
        }
        // To the microsecond: a millisecond timeout would wake early and spin until the reply is due.
        const timespec wait{std::time_t(timeout.count() / 1000000000), long(timeout.count() % 1000000000)};
        ::ppoll(fds.data(), fds.size(), &wait, nullptr);
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto n = ::read(m_wakeFd, &count, sizeof count);
        }
        std::lock_guard lock(m_mutex);
        try {
            replugDue();
        } catch (const std::exception&) {
            // No pseudo-terminal to be had now: the modem stays out.
        }
        for (std::size_t i = 0; i < m_ports.size(); ++i) {
            if (m_ports[i].master >= 0 && m_ports[i].master == fds[i + 1].fd && (fds[i + 1].revents & POLLIN))
                readPort(i);
            flushPort(i);
        }
    }
}

std::chrono::nanoseconds ModemSimulator::pollTimeout() {
    std::chrono::nanoseconds timeout = std::chrono::milliseconds(200);
    const auto now = Clock::now();
    // Wakes for the next reply due, or just after a modem's moment to vanish.
    auto until = [&](Clock::time_point due, int extraMs) {
        const auto left = due - now + std::chrono::milliseconds(extraMs);
        timeout = std::min(timeout, std::max<std::chrono::nanoseconds>(left, std::chrono::nanoseconds(0)));
    };
    for (const Port& port : m_ports) {
        if (!port.pending.empty())
            until(port.pending.front().due, 0);
        if (port.master >= 0 && port.unplugAt)
            until(*port.unplugAt, 1);
        if (port.master < 0 && port.replugAt)
            until(*port.replugAt, 1);
        for (const auto& report : port.reports)
            until(report.first, 0);
        if (port.releaseAt)
            until(*port.releaseAt, 0);
    }
    return timeout;
}

void ModemSimulator::readPort(std::size_t index) {
    Port& port = m_ports[index];
    char buffer[4096];
    const ssize_t n = ::read(port.master, buffer, sizeof buffer);
    if (n <= 0)
        return;
    const std::string bytes(buffer, std::size_t(n));
    transcript(index, "<--", bytes);
    port.received += bytes;
    if (port.modem->unplugRequested())
        return; // on its way out: it answers nothing more
    take(index, port.modem->receive(bytes));
}

// The modem's answer to what it received: echo at once, the reply after the latency, the reports it asked the
// network for on their way.
void ModemSimulator::take(std::size_t index, const SimModem::Output& out) {
    Port& port = m_ports[index];
    queue(port, out.echo, 0);
    queue(port, out.reply, port.config.latencyMs);
    for (const std::string& line : out.notes)
        note(index, line);
    for (const SimModem::Report& report : port.modem->takeReports())
        port.reports.emplace_back(Clock::now() + std::chrono::milliseconds(report.delayMs), report.pdu);
    // A send's result the network gives late: the modem lets it go by itself when its time comes.
    if (port.modem->holding() && port.modem->releaseAfterMs() >= 0 && !port.releaseAt)
        port.releaseAt = Clock::now() + std::chrono::milliseconds(port.modem->releaseAfterMs());
}

// A late result whose time has come goes out, with the answers to what the modem queued behind it.
void ModemSimulator::releaseDue(std::size_t index) {
    Port& port = m_ports[index];
    if (!port.releaseAt || *port.releaseAt > Clock::now())
        return;
    port.releaseAt.reset();
    if (!port.modem || !port.modem->holding())
        return;
    const SimModem::Output out = port.modem->release();
    take(index, {{}, out.reply, out.notes});
}

// Reports that are due reach the modem, unless it is in the middle of a send (then a little later).
void ModemSimulator::deliverReports(std::size_t index) {
    Port& port = m_ports[index];
    const auto now = Clock::now();
    while (port.modem && !port.reports.empty() && port.reports.front().first <= now) {
        if (port.modem->busy()) {
            port.reports.front().first = now + std::chrono::milliseconds(20);
            return;
        }
        const SimModem::Output out = port.modem->deliverReport(port.reports.front().second);
        port.reports.pop_front();
        queue(port, out.reply, 0);
        for (const std::string& line : out.notes)
            note(index, line);
    }
}

void ModemSimulator::queue(Port& port, std::string bytes, int delayMs) {
    if (bytes.empty())
        return;
    auto due = Clock::now() + std::chrono::milliseconds(delayMs);
    if (!port.pending.empty())
        due = std::max(due, port.pending.back().due);
    port.pending.push_back({due, std::move(bytes)});
}

void ModemSimulator::flushPort(std::size_t index) {
    Port& port = m_ports[index];
    releaseDue(index);
    deliverReports(index);
    const auto now = Clock::now();
    while (port.master >= 0 && !port.pending.empty() && port.pending.front().due <= now) {
        std::string& bytes = port.pending.front().bytes;
        const ssize_t n = ::write(port.master, bytes.data(), bytes.size());
        if (n <= 0) {
            // The line is full (nobody reads the port): try again a little later.
            port.pending.front().due = now + std::chrono::milliseconds(20);
            break;
        }
        transcript(index, "-->", bytes.substr(0, std::size_t(n)));
        bytes.erase(0, std::size_t(n));
        if (bytes.empty())
            port.pending.pop_front();
    }
    if (port.master >= 0 && port.modem && port.modem->unplugRequested() && port.pending.empty() && !port.releaseAt) {
        if (!port.unplugAt)
            port.unplugAt = now + kUnplugDelay;
        else if (*port.unplugAt <= now) {
            note(index, "modem desconectado");
            closePort(port);
            if (port.config.replugAfterMs >= 0)
                port.replugAt = now + std::chrono::milliseconds(port.config.replugAfterMs);
        }
    }
}

void ModemSimulator::transcript(std::size_t index, const char* direction, const std::string& bytes) {
    if (!m_transcript)
        return;
    const double seconds = std::chrono::duration<double>(Clock::now() - m_started).count();
    std::fprintf(m_transcript, "%10.3f COM%d %s %s\n", seconds, comNumber(int(index)), direction,
                 escaped(bytes).c_str());
    std::fflush(m_transcript);
}

void ModemSimulator::note(std::size_t index, const std::string& line) {
    if (!m_transcript)
        return;
    const double seconds = std::chrono::duration<double>(Clock::now() - m_started).count();
    std::fprintf(m_transcript, "%10.3f COM%d *** %s\n", seconds, comNumber(int(index)), line.c_str());
    std::fflush(m_transcript);
}

} // namespace modemsim
