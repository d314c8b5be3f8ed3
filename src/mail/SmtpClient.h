#pragma once

#include "mail/EmailMessage.h"
#include "mail/SmtpReply.h"
#include "mail/SmtpSettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QLoggingCategory>
#include <QObject>
#include <QSslError>
#include <QStringList>
#include <functional>
#include <initializer_list>

class QEventLoop;
class QHostAddress;
class QSslSocket;

namespace vestral::mail {

// The name the client greets with (EHLO/HELO, RFC 5321 4.1.1.1): the machine's fully qualified name when
// it has one (the host name itself, or the host name with the local domain), otherwise an address literal
// of the connection's local end: "[192.0.2.10]", "[IPv6:2001:db8::1]".
QString ehloName(const QString& hostName, const QString& domainName, const QHostAddress& local);

// Session transcript: "--> [host] line" sent, "<-- [host] line" received; off unless enabled with
// QT_LOGGING_RULES="vestral.smtp.debug=true". Credentials are masked.
Q_DECLARE_LOGGING_CATEGORY(lcSmtp)

// SMTP submission client for the e-mail campaign: one object, one connection kept open across messages.
// Every call blocks until the server has answered, waiting in slices of at most 250 ms during which the
// thread's event loop runs (window repaints; user input stays queued). Failures come back as SmtpStatus
// carrying the text the operator is shown.
class SmtpClient : public QObject {
    Q_OBJECT
public:
    explicit SmtpClient(QObject* parent = nullptr);
    ~SmtpClient() override;

    // Takes every setting for the next connection: host, user, password, greeting name, TLS layer, TLS mode
    // (as setTlsMode), then the port, so the given port always wins. Fails while connected, and with
    // "SSL IOHandler is required for this setting" for a TLS mode without the TLS layer.
    SmtpStatus configure(const SmtpSettings& settings);
    // Changes the TLS mode alone. Moving to implicit TLS turns port 25 into 465, moving away turns 465 into 25.
    SmtpStatus setTlsMode(const QString& mode);
    void setPort(quint16 port) { m_settings.port = port; }
    const SmtpSettings& settings() const { return m_settings; }
    // Source of the Date header's time; the local clock unless replaced (tests).
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // True while the TCP connection is open.
    bool connected() const;
    // Opens the connection (TLS first in implicit mode), reads the 220 greeting and greets with EHLO, falling
    // back to HELO. On failure the connection is closed.
    SmtpStatus connectToServer();
    // On the first call of a connection: STARTTLS when the mode asks for it, then AUTH LOGIN (else AUTH PLAIN)
    // when a user name is set; a server that offers neither stops the session. Then one mail transaction,
    // pipelined when the server offers it.
    // Returns ok when the server accepted the message. Failures that every later message would meet too
    // (explicit TLS without STARTTLS while a user name is set; AUTH refused with 5xx) come back with
    // stopsRun() set.
    SmtpStatus send(const EmailMessage& message);
    // QUIT when connected, then closes in every case; a QUIT reply other than 221 is returned as a failure.
    SmtpStatus disconnectFromServer();

    bool isEncrypted() const;
    bool isAuthenticated() const { return m_authenticated; }
    const QStringList& capabilities() const { return m_capabilities; }

private:
    bool tlsModeIs(const char* mode) const { return m_settings.tlsMode == QLatin1String(mode); }
    void openSocket();
    void closeSocket();
    void wake();
    SmtpStatus waitFor(const std::function<bool()>& done);
    SmtpStatus transportFailure();
    SmtpStatus tlsFailure(const QString& text);
    SmtpStatus readReply(SmtpReply& reply);
    void writeLine(const QByteArray& line, bool secret = false);
    SmtpStatus command(const QByteArray& line, std::initializer_list<int> expected, SmtpReply* out = nullptr,
                       bool secret = false);
    SmtpStatus greet();
    SmtpStatus startTls();
    SmtpStatus authenticate();
    SmtpStatus transactionStepByStep(const EmailMessage& message);
    SmtpStatus transactionPipelined(const EmailMessage& message);
    SmtpStatus failAfterReset(const SmtpStatus& failure);
    QByteArray messageData(const EmailMessage& message) const;

    SmtpSettings m_settings;
    std::function<QDateTime()> m_clock;
    QSslSocket* m_socket = nullptr;
    QEventLoop* m_loop = nullptr;
    QByteArray m_buffer;
    QStringList m_capabilities;
    QList<QSslError> m_sslErrors;
    int m_socketError = -1; // QAbstractSocket::SocketError of the connection, -1 while none
    QString m_socketErrorText;
    bool m_timedOut = false;
    bool m_sessionReady = false; // STARTTLS and authentication done for this connection
    bool m_authenticated = false;
};

} // namespace vestral::mail
