// The floor of the result-delay send benchmark: the same simulated bank (every reply at once, a send's final
// result DELAY_MS after its Ctrl-Z), driven by the least a host can do — one thread, one poll() over the ports,
// AT+CMGS written the moment the previous result is read and the text the moment the prompt is read; no
// database, no log, no threads per modem. What this costs above the ideal is the machine's and the simulator's,
// not the program's, so sms_bench --result-delay is read against it.
// Usage: sms_floor_bench [MODEMS=64] [ROWS=20] [DELAY_MS=200]
// Prints the time from the first AT+CMGS written to the last result read, the ideal (ROWS x DELAY_MS), their
// ratio, the time from the first AT+CMGS to the last modem's first one, and each modem's cycle gap (the time
// between a result due at the modem and its next Ctrl-Z), as sms_bench does.
#include "ModemSimulator.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace modemsim;
using SteadyClock = std::chrono::steady_clock;

namespace {

double secondsBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

struct Host {
    int fd = -1;
    std::string buffer;
    int sent = 0;          // results read
    bool prompted = false; // the current AT+CMGS was answered with "> "
    bool setUp = false;    // AT+CMGF=1 answered
};

int openRaw(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

void writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += std::size_t(n);
        else
            usleep(100);
    }
}

std::string command(int modem, int row) {
    char number[32];
    std::snprintf(number, sizeof number, "55119%02d%04d", modem + 1, row);
    return std::string("AT+CMGS=\"") + number + "\"\r";
}

} // namespace

int main(int argc, char** argv) {
    const int modems = argc > 1 ? std::atoi(argv[1]) : 64;
    const int rows = argc > 2 ? std::atoi(argv[2]) : 20;
    const int delay = argc > 3 ? std::atoi(argv[3]) : 200;
    char pattern[] = "/tmp/sms_floor-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir)
        return 1;
    SimulatorOptions options;
    options.dir = dir;
    options.ports.resize(std::size_t(modems));
    for (PortConfig& c : options.ports)
        c.resultDelayMs = delay;
    ModemSimulator sim(options);
    sim.start();
    std::vector<Host> hosts(static_cast<std::size_t>(modems));
    std::vector<pollfd> fds(static_cast<std::size_t>(modems));
    for (int i = 0; i < modems; ++i) {
        hosts[std::size_t(i)].fd = openRaw(sim.devicePath(i));
        if (hosts[std::size_t(i)].fd < 0) {
            std::fprintf(stderr, "port %d did not open\n", i + 1);
            return 1;
        }
        fds[std::size_t(i)] = {hosts[std::size_t(i)].fd, POLLIN, 0};
        writeAll(hosts[std::size_t(i)].fd, "AT+CMGF=1\r");
    }
    SteadyClock::time_point firstCommand{}, lastResult{}, lastFirstCommand{};
    bool started = false;
    int finished = 0;
    char chunk[4096];
    while (finished < modems) {
        if (::poll(fds.data(), fds.size(), 10000) <= 0)
            break;
        for (int i = 0; i < modems; ++i) {
            if (!(fds[std::size_t(i)].revents & POLLIN))
                continue;
            Host& h = hosts[std::size_t(i)];
            const ssize_t n = ::read(h.fd, chunk, sizeof chunk);
            if (n <= 0)
                continue;
            h.buffer.append(chunk, std::size_t(n));
            const auto now = SteadyClock::now();
            if (!h.setUp) {
                if (h.buffer.find("OK\r") == std::string::npos)
                    continue;
                h.setUp = true;
                h.buffer.clear();
                if (++finished < modems) // every modem set up before the clock, as sms_bench opens them
                    continue;
                finished = 0;
                for (Host& each : hosts)
                    writeAll(each.fd, command(int(&each - hosts.data()), 0));
                firstCommand = lastFirstCommand = SteadyClock::now();
                started = true;
                continue;
            }
            if (!h.prompted && h.buffer.find('>') != std::string::npos) {
                h.prompted = true;
                h.buffer.clear();
                writeAll(h.fd, "Mensagem de teste\x1a");
                continue;
            }
            if (h.prompted && h.buffer.find("+CMGS:") != std::string::npos &&
                h.buffer.find("OK\r", h.buffer.find("+CMGS:")) != std::string::npos) {
                h.prompted = false;
                h.buffer.clear();
                lastResult = now;
                if (++h.sent == rows)
                    ++finished;
                else
                    writeAll(h.fd, command(i, h.sent));
            }
        }
    }
    std::vector<double> gaps;
    for (int port = 0; port < modems; ++port) {
        const std::vector<SentSms> sent = sim.sent(port);
        for (std::size_t k = 1; k < sent.size(); ++k)
            gaps.push_back(1000.0 * secondsBetween(sent[k - 1].at, sent[k].at) - delay);
    }
    std::sort(gaps.begin(), gaps.end());
    auto gapAt = [&gaps](double share) {
        return gaps.empty() ? 0.0 : gaps[std::min(gaps.size() - 1, std::size_t(share * double(gaps.size())))];
    };
    const double actual = started ? secondsBetween(firstCommand, lastResult) : 0.0;
    const double ideal = rows * delay / 1000.0;
    std::printf("sms_floor modems=%d rows=%d result_delay_ms=%d first_cmgs_to_last_result_s=%.3f ideal_s=%.3f "
                "ratio_ideal_actual=%.3f cycle_gap_ms_p50=%.2f p90=%.2f max=%.2f complete=%s\n",
                modems, rows, delay, actual, ideal, actual > 0 ? ideal / actual : 0.0, gapAt(0.5), gapAt(0.9),
                gapAt(1.0), finished == modems ? "yes" : "NO");
    for (Host& h : hosts)
        ::close(h.fd);
    sim.stop();
    std::filesystem::remove_all(dir);
    return finished == modems ? 0 : 1;
}
