#pragma once

#include <QByteArray>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// A TCP relay on 127.0.0.1 between the program and a server, on a thread of its own, that can cut a connection
// at a chosen message: armed with a pattern and a direction, the first chunk carrying that pattern is not
// passed on and both sides of its connection are closed, as a network that drops at the worst moment. Used to
// lose a COMMIT on its way to the server (nothing stored) or its answer on the way back (stored, but the
// program cannot tell from the connection). Every other connection and byte passes through untouched.
class CuttingProxy {
public:
    enum class Direction { ToServer, ToClient };

    explicit CuttingProxy(int serverPort);
    ~CuttingProxy();
    CuttingProxy(const CuttingProxy&) = delete;
    CuttingProxy& operator=(const CuttingProxy&) = delete;

    // The port the program connects to; 0 when the relay could not listen.
    int port() const { return m_port; }
    // Cuts the next chunk carrying `pattern` in `direction` (once), and disarms. With `after`, only a chunk that
    // comes after one carrying `after` on its way to the server, on that same connection (a statement that must
    // come first).
    void arm(Direction direction, const QByteArray& pattern, const QByteArray& after = {});
    // How many connections were cut so far.
    int cuts() const { return m_cuts.load(); }

private:
    struct Link {
        int client = -1;
        int server = -1;
    };
    void run();
    bool relay(Link& link, bool toServer);

    int m_serverPort;
    int m_listen = -1;
    int m_port = 0;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_cuts{0};
    std::mutex m_mutex;
    bool m_armed = false;
    Direction m_direction = Direction::ToServer;
    QByteArray m_pattern;
    QByteArray m_after;
    int m_afterClient = -1; // the connection that sent `after`
    std::vector<Link> m_links;
    std::thread m_thread;
};
