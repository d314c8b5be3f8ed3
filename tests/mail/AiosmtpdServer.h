#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// A real SMTP server for the tests: aiosmtpd (smtp_test_server.py, run with Debian's /usr/bin/python3) on
// 127.0.0.1 in plain mode, with STARTTLS or with implicit TLS, AUTH LOGIN with kUser/kPassword, behind a
// throw-away certificate authority made once per test program with the openssl command.
class AiosmtpdServer {
public:
    static const QString kUser;
    static const QString kPassword;

    // Empty when the server can run; otherwise why not (the tests skip). Makes the certificates once.
    static QString unavailableReason();
    // The throw-away authority, for SSL_CERT_FILE.
    static QString caFile();

    AiosmtpdServer() = default;
    ~AiosmtpdServer() { stop(); }
    AiosmtpdServer(const AiosmtpdServer&) = delete;
    AiosmtpdServer& operator=(const AiosmtpdServer&) = delete;

    // Starts the server in `mode` ("plain", "starttls", "implicit") with extra script options; returns its
    // port, 0 when it did not start.
    quint16 start(const QString& mode, const QStringList& extra = {});
    void stop();
    // The accepted messages, in order: one JSON object each (envelope, TLS, login, decoded headers, body,
    // the number of the connection that carried it).
    QList<QJsonObject> received() const;

private:
    std::unique_ptr<QProcess> m_process;
    QString m_record;
};
