#include "ScriptedSmtpServer.h"

#include <QTcpSocket>

ScriptedSmtpServer::ScriptedSmtpServer(QObject* parent) : QObject(parent) {
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedSmtpServer::accept);
}

ScriptedSmtpServer::~ScriptedSmtpServer() {
    const QList<QTcpSocket*> sockets = m_sessions.keys();
    for (QTcpSocket* socket : sockets) {
        socket->disconnect(this);
        delete socket;
    }
}

QList<QByteArray> ScriptedSmtpServer::lines() const {
    QList<QByteArray> out;
    for (const Command& c : commands)
        out.append(c.line);
    return out;
}

int ScriptedSmtpServer::count(const QByteArray& prefix) const {
    int n = 0;
    for (const Command& c : commands)
        n += c.line.startsWith(prefix) ? 1 : 0;
    return n;
}

void ScriptedSmtpServer::accept() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        ++connections;
        m_sessions.insert(socket, Session{});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_sessions.remove(socket);
            socket->deleteLater();
        });
        if (!greeting.isEmpty())
            socket->write(greeting);
    }
}

void ScriptedSmtpServer::readFrom(QTcpSocket* socket) {
    Session& session = m_sessions[socket];
    session.buffer += socket->readAll();
    const int chunk = ++m_chunks;
    qsizetype lf;
    while ((lf = session.buffer.indexOf('\n')) >= 0) {
        QByteArray line = session.buffer.left(lf);
        session.buffer.remove(0, lf + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (session.state != Session::State::Data)
            commands.append({line, chunk});
        const QByteArray reply = answer(session, line);
        const QByteArray verb = line.split(' ').front().toUpper();
        if (holdUntilData && session.holding && (verb == "RSET" || verb == "MAIL" || verb == "RCPT")) {
            session.held += reply;
            continue;
        }
        if (verb == "DATA")
            session.holding = false;
        else if (line == "." && reply.startsWith("250"))
            session.holding = true;
        socket->write(session.held + reply);
        session.held.clear();
        if (reply.startsWith("221"))
            socket->disconnectFromHost();
    }
}

QByteArray ScriptedSmtpServer::answer(Session& session, const QByteArray& line) {
    if (session.state == Session::State::Data) {
        if (line != ".") {
            session.data += (line.startsWith('.') ? line.mid(1) : line) + "\r\n";
            return {};
        }
        messages.append(session.data);
        session.data.clear();
        session.state = Session::State::Command;
        const QByteArray scripted = script ? script("END", line) : QByteArray();
        return scripted.isEmpty() ? QByteArray("250 2.0.0 queued\r\n") : scripted;
    }
    const QByteArray verb = line.split(' ').front().toUpper();
    const QByteArray scripted = script ? script(verb, line) : QByteArray();
    const QByteArray reply = scripted.isEmpty() ? defaultReply(session, verb) : scripted;
    if (verb == "DATA" && reply.startsWith("354"))
        session.state = Session::State::Data;
    return reply;
}

QByteArray ScriptedSmtpServer::defaultReply(Session& session, const QByteArray& verb) {
    switch (session.state) {
    case Session::State::AuthUser:
        session.state = Session::State::AuthPassword;
        return "334 UGFzc3dvcmQ6\r\n";
    case Session::State::AuthPassword:
        session.state = Session::State::Command;
        return "235 2.7.0 Authentication successful\r\n";
    default:
        break;
    }
    if (verb == "EHLO")
        return ehloReply;
    if (verb == "HELO")
        return "250 scripted\r\n";
    if (verb == "AUTH") {
        session.state = Session::State::AuthUser;
        return "334 VXNlcm5hbWU6\r\n";
    }
    if (verb == "DATA")
        return "354 End data with <CR><LF>.<CR><LF>\r\n";
    if (verb == "QUIT")
        return "221 2.0.0 Bye\r\n";
    if (verb == "MAIL" || verb == "RCPT" || verb == "RSET" || verb == "NOOP")
        return "250 2.0.0 OK\r\n";
    return "502 5.5.2 Command not recognized\r\n";
}
