#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QTcpServer>
#include <functional>

class QTcpSocket;

// A small SMTP server on 127.0.0.1 for protocol corner cases. It answers like a plain ESMTP server
// (AUTH LOGIN, DATA with dot-unstuffing, QUIT) unless a reply is scripted for a command, and records
// every command line with the read it arrived in.
class ScriptedSmtpServer : public QObject {
    Q_OBJECT
public:
    struct Command {
        QByteArray line;
        int chunk = 0; // lines that arrived in the same read share a chunk number
    };

    explicit ScriptedSmtpServer(QObject* parent = nullptr);
    ~ScriptedSmtpServer() override;
    quint16 port() const { return m_server.serverPort(); }

    // Sent on connect; empty: the server stays silent.
    QByteArray greeting = "220 scripted ESMTP ready\r\n";
    QByteArray ehloReply = "250-scripted\r\n250-PIPELINING\r\n250 AUTH LOGIN PLAIN\r\n";
    // Gives the reply for a command line (verb upper-cased in the argument), or an empty array for the default.
    std::function<QByteArray(const QByteArray& verb, const QByteArray& line)> script;
    // Holds every reply until DATA has been read, as a server reading a whole pipelined batch does; a client
    // that waited for the first reply before sending the rest would never get one.
    bool holdUntilData = false;

    QList<Command> commands;
    QList<QByteArray> messages; // as received after dot-unstuffing, without the final "."
    int connections = 0;

    QList<QByteArray> lines() const;
    int count(const QByteArray& prefix) const;

private:
    struct Session {
        enum class State { Command, AuthUser, AuthPassword, Data };
        State state = State::Command;
        QByteArray buffer;
        QByteArray data;
        QByteArray held;
        bool holding = true;
    };
    void accept();
    void readFrom(QTcpSocket* socket);
    QByteArray answer(Session& session, const QByteArray& line);
    QByteArray defaultReply(Session& session, const QByteArray& verb);

    QTcpServer m_server;
    QHash<QTcpSocket*, Session> m_sessions;
    int m_chunks = 0;
};
