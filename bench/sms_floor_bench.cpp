// The floor of the result-delay send benchmark: the same simulated bank (every reply at once, a send's final
// result DELAY_MS after its Ctrl-Z), driven by the least a host can do — one thread, one poll() over the ports,
// AT+CMGS written the moment the previous result is read and the text the moment the prompt is read; no
// database, no log, no threads per modem. What this costs above the ideal is the machine's and the simulator's,
// not the program's, so sms_bench --result-delay is read against it.
// Usage: sms_floor_bench [--store after|pipelined [--threaded]] [MODEMS=64] [ROWS=20] [DELAY_MS=200]
// --store adds the one thing the rule "a row is marked in flight on the disk before its text goes out" cannot do
// without: after each poll() pass, the results read in it are committed in one SQLite transaction (WAL,
// synchronous=FULL, as the program's file), each a history row, the removal of its outbox row and the mark of the
// modem's next row. "after": the next AT+CMGS is written once that commit is done (the program's order).
// "pipelined": the next AT+CMGS goes the moment the result is read, and its text only once the commit is done.
// --threaded: the commits run on a thread of their own, so the poll() loop never waits for the disk.
// Prints the time from the first AT+CMGS written to the last result read, the ideal (ROWS x DELAY_MS), their
// ratio, the time from the first AT+CMGS to the last modem's first one, and each modem's cycle gap (the time
// between a result due at the modem and its next Ctrl-Z), as sms_bench does.
#include "ModemSimulator.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
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
    int sent = 0;             // results read
    bool prompted = false;    // the current AT+CMGS was answered with "> "
    bool setUp = false;       // AT+CMGF=1 answered
    bool uncommitted = false; // a result read in this pass waits for the pass's commit
    bool held = false;        // pipelined: the prompt came before that commit, the text waits for it
};

// When a modem's next AT+CMGS may go: no store; once its result is committed; or at once, with its text held
// until that commit.
enum class StoreMode { None, After, Pipelined };

// The results' store: a file with the shape of the program's history and outbox tables.
class ResultStore {
public:
    bool open(const std::string& path, int modems, int rows) {
        if (sqlite3_open(path.c_str(), &m_db) != SQLITE_OK)
            return false;
        bool ok = exec("PRAGMA journal_mode=WAL") && exec("PRAGMA synchronous=FULL") &&
                  exec("CREATE TABLE dbMENSAGEM (ID INTEGER PRIMARY KEY, PORTA INTEGER, FONE TEXT, MENSAGEM TEXT, "
                       "ENVIANDO TEXT)") &&
                  exec("CREATE TABLE dbHISTORICO (ID_HISTORICO INTEGER PRIMARY KEY, DESTINATARIO TEXT, MENSAGEM "
                       "TEXT, DATA TEXT, ENVIADO INTEGER, TIPO INTEGER, IMSI TEXT)") &&
                  exec("CREATE INDEX IX_HISTORICO_DATA ON dbHISTORICO (DATA)") && exec("BEGIN");
        for (int m = 0; ok && m < modems; ++m)
            for (int r = 0; ok && r < rows; ++r) {
                const std::string sql = "INSERT INTO dbMENSAGEM (ID, PORTA, FONE, MENSAGEM) VALUES (" +
                                        std::to_string(id(m, r)) + ", " + std::to_string(m + 1) +
                                        ", '5511900000', 'Mensagem de teste')";
                ok = exec(sql.c_str());
            }
        ok = ok && exec("COMMIT");
        ok = ok &&
             prepare("INSERT INTO dbHISTORICO (DESTINATARIO, MENSAGEM, DATA, ENVIADO, TIPO, IMSI) VALUES "
                     "('5511900000', 'Mensagem de teste', datetime('now'), 1, 1, '')",
                     &m_history) &&
             prepare("DELETE FROM dbMENSAGEM WHERE ID = ?", &m_remove) &&
             prepare("UPDATE dbMENSAGEM SET ENVIANDO = datetime('now') WHERE ID = ?", &m_mark);
        return ok;
    }
    ~ResultStore() {
        for (sqlite3_stmt* s : {m_history, m_remove, m_mark})
            sqlite3_finalize(s);
        sqlite3_close(m_db);
    }
    static long long id(int modem, int row) { return 1 + modem * 100000LL + row; }
    // Modem `modem`'s row `row` was sent; `next`: its next row is marked too.
    bool record(int modem, int row, bool next) {
        bool ok = step(m_history) && bindStep(m_remove, id(modem, row));
        return ok && (!next || bindStep(m_mark, id(modem, row + 1)));
    }
    bool begin() { return exec("BEGIN"); }
    bool commit() {
        const auto from = SteadyClock::now();
        const bool ok = exec("COMMIT");
        m_commitSeconds += secondsBetween(from, SteadyClock::now());
        ++m_commits;
        return ok;
    }
    // The commits so far and their mean time (the disk's sync included), in milliseconds.
    int commits() const { return m_commits; }
    double commitMs() const { return m_commits > 0 ? 1000.0 * m_commitSeconds / m_commits : 0.0; }

private:
    bool exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
    bool prepare(const char* sql, sqlite3_stmt** s) {
        return sqlite3_prepare_v2(m_db, sql, -1, s, nullptr) == SQLITE_OK;
    }
    static bool step(sqlite3_stmt* s) {
        const bool ok = sqlite3_step(s) == SQLITE_DONE;
        sqlite3_reset(s);
        return ok;
    }
    static bool bindStep(sqlite3_stmt* s, long long value) {
        sqlite3_bind_int64(s, 1, value);
        return step(s);
    }
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_history = nullptr;
    sqlite3_stmt* m_remove = nullptr;
    sqlite3_stmt* m_mark = nullptr;
    double m_commitSeconds = 0;
    int m_commits = 0;
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
    StoreMode mode = StoreMode::None;
    bool threaded = false;
    int arg = 1;
    if (argc > arg + 1 && std::strcmp(argv[arg], "--store") == 0) {
        mode = std::strcmp(argv[arg + 1], "pipelined") == 0 ? StoreMode::Pipelined : StoreMode::After;
        arg += 2;
        if (argc > arg && std::strcmp(argv[arg], "--threaded") == 0) {
            threaded = true;
            ++arg;
        }
    }
    const int modems = argc > arg ? std::atoi(argv[arg]) : 64;
    const int rows = argc > arg + 1 ? std::atoi(argv[arg + 1]) : 20;
    const int delay = argc > arg + 2 ? std::atoi(argv[arg + 2]) : 200;
    char pattern[] = "/var/tmp/sms_floor-XXXXXX"; // on the disk, not in a tmpfs: the commits wait for it
    const char* dir = mkdtemp(pattern);
    if (!dir)
        return 1;
    ResultStore store;
    if (mode != StoreMode::None && !store.open(std::string(dir) + "/vestral.db", modems, rows)) {
        std::fprintf(stderr, "the store did not open\n");
        return 1;
    }
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
    // --threaded: the commit thread takes every result queued meanwhile in one transaction, then hands the modems
    // back through a pipe that wakes the poll().
    std::mutex queueMutex;
    std::condition_variable queueChanged;
    std::vector<std::pair<int, int>> queue; // modem, results read
    std::vector<int> done;
    bool quit = false;
    bool commitFailed = false;
    int wake[2] = {-1, -1};
    std::thread committer;
    if (threaded) {
        if (::pipe2(wake, O_NONBLOCK) != 0)
            return 1;
        fds.push_back({wake[0], POLLIN, 0});
        committer = std::thread([&] {
            std::vector<std::pair<int, int>> batch;
            for (;;) {
                {
                    std::unique_lock<std::mutex> lock(queueMutex);
                    queueChanged.wait(lock, [&] { return quit || !queue.empty(); });
                    if (queue.empty())
                        return;
                    batch.swap(queue);
                }
                bool ok = store.begin();
                for (const auto& [modem, sent] : batch)
                    ok = ok && store.record(modem, sent - 1, sent < rows);
                ok = ok && store.commit();
                {
                    std::lock_guard<std::mutex> lock(queueMutex);
                    commitFailed = commitFailed || !ok;
                    for (const auto& entry : batch)
                        done.push_back(entry.first);
                }
                batch.clear();
                const char byte = 1;
                [[maybe_unused]] const ssize_t n = ::write(wake[1], &byte, 1);
            }
        });
    }
    SteadyClock::time_point firstCommand{}, lastResult{}, lastFirstCommand{};
    bool started = false;
    int finished = 0;
    char chunk[4096];
    std::vector<int> toCommit;
    while (finished < modems) {
        if (::poll(fds.data(), fds.size(), 10000) <= 0)
            break;
        toCommit.clear();
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
                if (h.uncommitted)
                    h.held = true;
                else
                    writeAll(h.fd, "Mensagem de teste\x1a");
                continue;
            }
            if (h.prompted && h.buffer.find("+CMGS:") != std::string::npos &&
                h.buffer.find("OK\r", h.buffer.find("+CMGS:")) != std::string::npos) {
                h.prompted = false;
                h.buffer.clear();
                lastResult = now;
                const bool last = ++h.sent == rows;
                if (last)
                    ++finished;
                if (mode != StoreMode::None) {
                    toCommit.push_back(i);
                    h.uncommitted = true;
                }
                if (!last && mode != StoreMode::After)
                    writeAll(h.fd, command(i, h.sent));
            }
        }
        if (threaded) {
            if (!toCommit.empty()) {
                std::lock_guard<std::mutex> lock(queueMutex);
                for (int i : toCommit)
                    queue.emplace_back(i, hosts[std::size_t(i)].sent);
                queueChanged.notify_one();
            }
            toCommit.clear();
            if (!(fds.back().revents & POLLIN))
                continue;
            char drain[256];
            while (::read(wake[0], drain, sizeof drain) > 0) {
            }
            std::lock_guard<std::mutex> lock(queueMutex);
            if (commitFailed)
                break;
            toCommit.swap(done);
        } else {
            if (toCommit.empty())
                continue;
            bool ok = store.begin();
            for (int i : toCommit)
                ok = ok && store.record(i, hosts[std::size_t(i)].sent - 1, hosts[std::size_t(i)].sent < rows);
            if (!ok || !store.commit()) {
                commitFailed = true;
                break;
            }
        }
        for (int i : toCommit) {
            Host& h = hosts[std::size_t(i)];
            h.uncommitted = false;
            if (h.sent < rows && mode == StoreMode::After)
                writeAll(h.fd, command(i, h.sent));
            if (h.held) {
                h.held = false;
                writeAll(h.fd, "Mensagem de teste\x1a");
            }
        }
    }
    if (committer.joinable()) {
        {
            std::lock_guard<std::mutex> lock(queueMutex);
            quit = true;
        }
        queueChanged.notify_one();
        committer.join();
        ::close(wake[0]);
        ::close(wake[1]);
    }
    if (commitFailed) {
        std::fprintf(stderr, "the commit failed\n");
        return 1;
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
    std::printf(
        "sms_floor store=%s%s modems=%d rows=%d result_delay_ms=%d first_cmgs_to_last_result_s=%.3f ideal_s=%.3f "
        "ratio_ideal_actual=%.3f cycle_gap_ms_p50=%.2f p90=%.2f max=%.2f commits=%d commit_ms_mean=%.2f "
        "complete=%s\n",
        mode == StoreMode::None    ? "none"
        : mode == StoreMode::After ? "after"
                                   : "pipelined",
        threaded ? "+thread" : "", modems, rows, delay, actual, ideal, actual > 0 ? ideal / actual : 0.0, gapAt(0.5),
        gapAt(0.9), gapAt(1.0), store.commits(), store.commitMs(), finished == modems ? "yes" : "NO");
    for (Host& h : hosts)
        ::close(h.fd);
    sim.stop();
    std::filesystem::remove_all(dir);
    return finished == modems ? 0 : 1;
}
