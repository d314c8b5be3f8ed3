#include "CuttingProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

CuttingProxy::CuttingProxy(int serverPort) : m_serverPort(serverPort) {
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen < 0 || ::pipe(m_wake) != 0)
        return;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_listen, 64) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return;
    m_port = ntohs(a.sin_port);
    m_thread = std::thread([this] { run(); });
}

CuttingProxy::~CuttingProxy() {
    m_stop = true;
    if (m_wake[1] >= 0)
        (void)!::write(m_wake[1], "x", 1);
    if (m_thread.joinable())
        m_thread.join();
    for (const Link& l : m_links) {
        ::close(l.client);
        ::close(l.server);
    }
    for (int fd : {m_listen, m_wake[0], m_wake[1]})
        if (fd >= 0)
            ::close(fd);
}

void CuttingProxy::arm(Direction direction, const QByteArray& pattern, const QByteArray& after) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_armed = true;
    m_direction = direction;
    m_pattern = pattern;
    m_after = after;
    m_afterClient = -1;
}

// Passes what one side sent to the other; false when the link is to be closed (a side closed, or the cut).
bool CuttingProxy::relay(Link& link, bool toServer) {
    char buf[65536];
    const ssize_t n = ::read(toServer ? link.client : link.server, buf, sizeof buf);
    if (n <= 0)
        return false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const Direction d = toServer ? Direction::ToServer : Direction::ToClient;
        const QByteArray chunk = QByteArray::fromRawData(buf, n);
        if (m_armed && !m_after.isEmpty() && m_afterClient < 0) {
            if (toServer && chunk.contains(m_after))
                m_afterClient = link.client;
        } else if (m_armed && (m_after.isEmpty() || m_afterClient == link.client) && m_direction == d &&
                   chunk.contains(m_pattern)) {
            m_armed = false;
            ++m_cuts;
            return false;
        }
    }
    const int to = toServer ? link.server : link.client;
    for (ssize_t done = 0; done < n;) {
        const ssize_t w = ::write(to, buf + done, size_t(n - done));
        if (w <= 0)
            return false;
        done += w;
    }
    return true;
}

void CuttingProxy::run() {
    while (!m_stop) {
        std::vector<pollfd> fds{{m_listen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        for (const Link& l : m_links) {
            fds.push_back({l.client, POLLIN, 0});
            fds.push_back({l.server, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), 1000) <= 0)
            continue;
        const size_t polled = m_links.size(); // a link accepted below waits for the next poll
        if (fds[0].revents & POLLIN) {
            const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = client < 0 ? -1 : ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(uint16_t(m_serverPort));
            if (server >= 0 && ::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
                m_links.push_back({client, server});
            } else {
                if (client >= 0)
                    ::close(client);
                if (server >= 0)
                    ::close(server);
            }
        }
        std::vector<Link> kept;
        for (size_t i = 0; i < m_links.size(); ++i) {
            Link& l = m_links[i];
            if (i >= polled) {
                kept.push_back(l);
                continue;
            }
            const short fromClient = fds[2 + 2 * i].revents;
            const short fromServer = fds[3 + 2 * i].revents;
            bool alive = true;
            if (fromClient & (POLLIN | POLLHUP | POLLERR))
                alive = relay(l, true);
            if (alive && (fromServer & (POLLIN | POLLHUP | POLLERR)))
                alive = relay(l, false);
            if (alive) {
                kept.push_back(l);
            } else {
                ::shutdown(l.client, SHUT_RDWR);
                ::close(l.client);
                ::close(l.server);
            }
        }
        m_links.swap(kept);
    }
}
