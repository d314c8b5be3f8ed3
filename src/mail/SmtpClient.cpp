#include "mail/SmtpClient.h"

#include "mail/SmtpMessageWriter.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostInfo>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vestral::mail {

Q_LOGGING_CATEGORY(lcSmtp, "vestral.smtp", QtInfoMsg)

namespace {

constexpr int kSliceMs = 250;

const QString kNeedSslLayer = QStringLiteral("SSL IOHandler is required for this setting");
const QString kWhileConnected = QStringLiteral("This value can not be set while the client is connected.");
const QString kNoSslLibrary = QStringLiteral("Could not load SSL library.");
const QString kStartTlsFailed = QStringLiteral("Start SSL negotiation command failed.");
const QString kSslUnavailable = QStringLiteral("SSL is not available on this server.");
const QString kNoStartTlsWithPassword =
    QStringLiteral("O servidor não oferece STARTTLS: a senha não será enviada sem criptografia.");
const QString kCheckLogin = QStringLiteral("Verifique o usuário e a senha do e-mail.");
const QString kNoAuthOffered =
    QStringLiteral("O servidor não oferece autenticação (AUTH); verifique o servidor e a porta.");
const QString kNoAuthMechanism = QStringLiteral(
    "O servidor não oferece um método de autenticação suportado (LOGIN ou PLAIN), só: %1; verifique o servidor e a "
    "porta.");

QString systemErrorText(int number) {
    return QStringLiteral("Socket Error # %1\r\n%2").arg(number).arg(QString::fromLocal8Bit(std::strerror(number)));
}

QString socketErrorText(QAbstractSocket::SocketError error, const QString& qtText) {
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("Host not found.");
    case QAbstractSocket::ConnectionRefusedError:
        return systemErrorText(ECONNREFUSED);
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("Connection closed by the server.");
    case QAbstractSocket::SocketTimeoutError:
        return systemErrorText(ETIMEDOUT);
    case QAbstractSocket::NetworkError:
        return systemErrorText(ENETUNREACH);
    case QAbstractSocket::SocketAccessError:
        return systemErrorText(EACCES);
    default:
        return qtText;
    }
}

// System trust store, plus the certificates of SSL_CERT_FILE when that is set (the OpenSSL convention an
// operator or a test uses to trust a private authority without installing it).
QSslConfiguration tlsConfiguration() {
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setProtocol(QSsl::TlsV1_2OrLater);
    conf.setPeerVerifyMode(QSslSocket::VerifyPeer);
    const QString extra = qEnvironmentVariable("SSL_CERT_FILE");
    if (!extra.isEmpty())
        conf.setCaCertificates(QSslConfiguration::systemCaCertificates() + QSslCertificate::fromPath(extra));
    return conf;
}

// Why a connection could not be made, as the operator reads it under the socket layer's own text.
QString connectReasonText(int error, bool timedOut) {
    if (timedOut)
        return QStringLiteral("tempo esgotado");
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("conexão recusada");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("servidor não encontrado");
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("conexão encerrada pelo servidor");
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("tempo esgotado");
    case QAbstractSocket::NetworkError:
        return QStringLiteral("rede inacessível");
    case QAbstractSocket::SocketAccessError:
        return QStringLiteral("acesso negado");
    case QAbstractSocket::SslHandshakeFailedError:
        return QStringLiteral("falha na negociação TLS");
    default:
        return QStringLiteral("erro de rede");
    }
}

bool isHostNameChar(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
}

bool isDomainName(const QString& name) {
    if (!name.contains(u'.') || name.startsWith(u'.') || name.endsWith(u'.') || name.contains(QLatin1String("..")))
        return false;
    return std::all_of(name.begin(), name.end(), isHostNameChar);
}

bool isTlsModeName(const QString& mode) {
    return mode == QLatin1String(kTlsImplicit) || mode == QLatin1String(kTlsExplicit) ||
           mode == QLatin1String(kTlsRequire);
}

} // namespace

QString ehloName(const QString& hostName, const QString& domainName, const QHostAddress& local) {
    if (isDomainName(hostName))
        return hostName;
    const QString joined = hostName + u'.' + domainName;
    if (!hostName.isEmpty() && !domainName.isEmpty() && isDomainName(joined))
        return joined;
    QHostAddress address = local;
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped)
        address = QHostAddress(v4);
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        address.setScopeId({});
        return QStringLiteral("[IPv6:") + address.toString() + u']';
    }
    if (address.protocol() == QAbstractSocket::IPv4Protocol)
        return u'[' + address.toString() + u']';
    return QStringLiteral("[127.0.0.1]");
}

SmtpClient::SmtpClient(QObject* parent) : QObject(parent), m_clock([] { return QDateTime::currentDateTime(); }) {}

SmtpClient::~SmtpClient() {
    closeSocket();
}

SmtpStatus SmtpClient::configure(const SmtpSettings& settings) {
    if (connected())
        return SmtpStatus::failure(kWhileConnected);
    const quint16 port = settings.port;
    const QString mode = settings.tlsMode;
    m_settings = settings;
    m_settings.tlsMode = QString::fromLatin1(kTlsNone);
    const SmtpStatus status = setTlsMode(mode);
    m_settings.port = port;
    return status;
}

SmtpStatus SmtpClient::setTlsMode(const QString& mode) {
    if (connected())
        return SmtpStatus::failure(kWhileConnected);
    const bool wantsTls = isTlsModeName(mode);
    if (wantsTls && !m_settings.useSsl)
        return SmtpStatus::failure(kNeedSslLayer);
    const bool wasImplicit = tlsModeIs(kTlsImplicit);
    m_settings.tlsMode = wantsTls ? mode : QString::fromLatin1(kTlsNone);
    const bool isImplicit = tlsModeIs(kTlsImplicit);
    if (isImplicit && !wasImplicit && m_settings.port == 25)
        m_settings.port = 465;
    else if (!isImplicit && wasImplicit && m_settings.port == 465)
        m_settings.port = 25;
    return {};
}

bool SmtpClient::connected() const {
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

bool SmtpClient::isEncrypted() const {
    return m_socket && m_socket->isEncrypted();
}

void SmtpClient::openSocket() {
    closeSocket();
    m_socket = new QSslSocket(this);
    m_buffer.clear();
    m_capabilities.clear();
    m_sslErrors.clear();
    m_socketError = -1;
    m_socketErrorText.clear();
    m_timedOut = false;
    m_sessionReady = false;
    m_authenticated = false;
    if (m_settings.useSsl && QSslSocket::supportsSsl())
        m_socket->setSslConfiguration(tlsConfiguration());
    connect(m_socket, &QSslSocket::readyRead, this, &SmtpClient::wake);
    connect(m_socket, &QSslSocket::connected, this, &SmtpClient::wake);
    connect(m_socket, &QSslSocket::encrypted, this, &SmtpClient::wake);
    connect(m_socket, &QSslSocket::disconnected, this, &SmtpClient::wake);
    connect(m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) { m_sslErrors += errors; });
    connect(m_socket, &QSslSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (m_socketError < 0) {
            m_socketError = error;
            m_socketErrorText = socketErrorText(error, m_socket->errorString());
        }
        wake();
    });
}

void SmtpClient::closeSocket() {
    if (!m_socket)
        return;
    m_socket->disconnect(this);
    m_socket->abort();
    m_socket->deleteLater();
    m_socket = nullptr;
    m_sessionReady = false;
    m_authenticated = false;
}

void SmtpClient::wake() {
    if (m_loop)
        m_loop->quit();
}

SmtpStatus SmtpClient::waitFor(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (m_socketError >= 0)
            return transportFailure();
        const qint64 left = m_settings.timeoutMs - clock.elapsed();
        if (left <= 0) {
            m_timedOut = true;
            return transportFailure();
        }
        QEventLoop loop;
        m_loop = &loop;
        QTimer::singleShot(static_cast<int>(std::min<qint64>(left, kSliceMs)), &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        m_loop = nullptr;
        if (!m_socket)
            return SmtpStatus::failure(socketErrorText(QAbstractSocket::RemoteHostClosedError, {}));
    }
    return {};
}

// Closes the connection and names what went wrong with it.
SmtpStatus SmtpClient::transportFailure() {
    if (!m_timedOut && m_socketError == QAbstractSocket::SslHandshakeFailedError)
        return tlsFailure(kSslUnavailable);
    QString text = m_timedOut ? systemErrorText(ETIMEDOUT) : m_socketErrorText;
    if (text.isEmpty())
        text = socketErrorText(QAbstractSocket::RemoteHostClosedError, {});
    qCDebug(lcSmtp).noquote() << "xx [" + m_settings.host + "]" << text;
    closeSocket();
    return SmtpStatus::failure(text);
}

SmtpStatus SmtpClient::tlsFailure(const QString& text) {
    QStringList details;
    for (const QSslError& error : std::as_const(m_sslErrors))
        details.append(error.errorString());
    if (details.isEmpty() && m_socket && m_socketError == QAbstractSocket::SslHandshakeFailedError)
        details.append(m_socket->errorString());
    details.removeDuplicates();
    closeSocket();
    return SmtpStatus::failure(details.isEmpty() ? text : text + QStringLiteral("\r\n") + details.join(u"\r\n"));
}

SmtpStatus SmtpClient::readReply(SmtpReply& reply) {
    while (true) {
        if (m_socket)
            m_buffer += m_socket->readAll();
        const SmtpReplyParse parsed = parseSmtpReply(m_buffer);
        if (parsed.status == SmtpReplyParse::Status::Complete) {
            m_buffer.remove(0, parsed.consumed);
            reply = parsed.reply;
            for (qsizetype i = 0; i < reply.lines.size(); ++i)
                qCDebug(lcSmtp).noquote()
                    << "<-- [" + m_settings.host + "]"
                    << QString::number(reply.code) + (i + 1 < reply.lines.size() ? u'-' : u' ') + reply.lines[i];
            return {};
        }
        if (parsed.status == SmtpReplyParse::Status::Malformed) {
            closeSocket();
            return SmtpStatus::failure(QStringLiteral("Invalid reply from the server."));
        }
        if (!m_socket)
            return SmtpStatus::failure(socketErrorText(QAbstractSocket::RemoteHostClosedError, {}));
        const SmtpStatus waited = waitFor([this] { return m_socket && m_socket->bytesAvailable() > 0; });
        if (!waited)
            return waited;
    }
}

void SmtpClient::writeLine(const QByteArray& line, bool secret) {
    qCDebug(lcSmtp).noquote() << "--> [" + m_settings.host + "]" << (secret ? QByteArray("****") : line);
    if (m_socket)
        m_socket->write(line + "\r\n");
}

// Sends one command and reads its reply; a reply outside expected (empty: any) fails with the reply's text.
SmtpStatus SmtpClient::command(const QByteArray& line, std::initializer_list<int> expected, SmtpReply* out,
                               bool secret) {
    writeLine(line, secret);
    SmtpReply reply;
    const SmtpStatus status = readReply(reply);
    if (!status)
        return status;
    if (out)
        *out = reply;
    if (expected.size() != 0 && std::find(expected.begin(), expected.end(), reply.code) == expected.end())
        return SmtpStatus::failure(reply.text(), reply.code);
    return {};
}

SmtpStatus SmtpClient::connectToServer() {
    if (connected())
        return SmtpStatus::failure(QStringLiteral("Already connected."));
    const bool implicitTls = tlsModeIs(kTlsImplicit);
    if (implicitTls && !QSslSocket::supportsSsl())
        return SmtpStatus::failure(kNoSslLibrary);
    openSocket();
    qCDebug(lcSmtp).noquote() << "-- [" + m_settings.host + "] connecting to port" << m_settings.port
                              << (implicitTls ? "with TLS" : "");
    if (implicitTls) {
        m_socket->connectToHostEncrypted(m_settings.host, m_settings.port);
        const SmtpStatus status = waitFor([this] { return m_socket && m_socket->isEncrypted(); });
        if (!status)
            return status.withConnectReason(connectReasonText(m_socketError, m_timedOut));
    } else {
        m_socket->connectToHost(m_settings.host, m_settings.port);
        const SmtpStatus status =
            waitFor([this] { return m_socket && m_socket->state() == QAbstractSocket::ConnectedState; });
        if (!status)
            return status.withConnectReason(connectReasonText(m_socketError, m_timedOut));
    }
    SmtpReply greeting;
    SmtpStatus status = readReply(greeting);
    if (status && greeting.code != 220)
        status = SmtpStatus::failure(greeting.text(), greeting.code);
    if (status)
        status = greet();
    if (!status && status.replyCode() == 0 && (m_timedOut || m_socketError >= 0))
        status = status.withConnectReason(connectReasonText(m_socketError, m_timedOut));
    if (!status)
        closeSocket();
    return status;
}

// EHLO, or HELO when EHLO is refused; keeps the capability lines of a successful EHLO.
SmtpStatus SmtpClient::greet() {
    const QString own = m_settings.heloName.isEmpty() ? ehloName(QHostInfo::localHostName(),
                                                                 QHostInfo::localDomainName(), m_socket->localAddress())
                                                      : m_settings.heloName;
    const QByteArray name = own.toUtf8();
    m_capabilities.clear();
    SmtpReply reply;
    SmtpStatus status = command("EHLO " + name, {250}, &reply);
    if (status) {
        m_capabilities = reply.lines.mid(1);
        return status;
    }
    if (status.replyCode() == 0)
        return status;
    return command("HELO " + name, {250});
}

SmtpStatus SmtpClient::startTls() {
    if (!m_settings.useSsl || tlsModeIs(kTlsNone) || isEncrypted())
        return {};
    const bool required = tlsModeIs(kTlsRequire);
    if (!hasCapability(m_capabilities, u"STARTTLS")) {
        // Without STARTTLS the session stays in clear text: fine for a message, never for the password.
        if (!required && m_settings.username.isEmpty())
            return {};
        closeSocket();
        return required ? SmtpStatus::failure(kStartTlsFailed) : SmtpStatus::stopping(kNoStartTlsWithPassword);
    }
    if (!QSslSocket::supportsSsl()) {
        closeSocket();
        return SmtpStatus::failure(kNoSslLibrary);
    }
    const SmtpStatus status = command("STARTTLS", {220});
    if (!status) {
        if (status.replyCode() == 0)
            return status;
        closeSocket();
        return SmtpStatus::failure(required ? kSslUnavailable : kStartTlsFailed, status.replyCode());
    }
    // Anything the server sent after its 220 arrived before encryption and cannot be trusted.
    if (!m_buffer.isEmpty() || m_socket->bytesAvailable() > 0)
        return tlsFailure(kSslUnavailable);
    m_socket->startClientEncryption();
    const SmtpStatus encrypted = waitFor([this] { return m_socket && m_socket->isEncrypted(); });
    if (!encrypted)
        return encrypted;
    const SmtpStatus greeted = greet();
    if (!greeted)
        closeSocket();
    return greeted;
}

SmtpStatus SmtpClient::authenticate() {
    if (m_settings.username.isEmpty())
        return {};
    const QStringList mechanisms = authMechanisms(m_capabilities);
    // A user name set for a server that takes no login (a relay on another port, a server without EHLO):
    // sending anyway would pass for a logged-in session. Every later message would meet the same server.
    if (mechanisms.isEmpty()) {
        closeSocket();
        return SmtpStatus::stopping(kNoAuthOffered);
    }
    SmtpStatus status;
    if (mechanisms.contains(QStringLiteral("LOGIN"))) {
        status = command("AUTH LOGIN", {334});
        if (status)
            status = command(m_settings.username.toUtf8().toBase64(), {334}, nullptr, true);
        if (status)
            status = command(m_settings.password.toUtf8().toBase64(), {235}, nullptr, true);
    } else if (mechanisms.contains(QStringLiteral("PLAIN"))) {
        // RFC 4616 with the initial response: authorisation identity empty, then the user and the password.
        const QByteArray credentials = '\0' + m_settings.username.toUtf8() + '\0' + m_settings.password.toUtf8();
        status = command("AUTH PLAIN " + credentials.toBase64(), {235}, nullptr, true);
    } else {
        // Only mechanisms this client does not speak (CRAM-MD5, XOAUTH2, …): going on would send unauthenticated.
        closeSocket();
        return SmtpStatus::stopping(kNoAuthMechanism.arg(mechanisms.join(QStringLiteral(", "))));
    }
    m_authenticated = status.ok();
    // A permanent refusal means the same for every later recipient: retrying would lock the account.
    if (status.replyCode() >= 500 && status.replyCode() < 600)
        return SmtpStatus::stopping(status.text() + QStringLiteral("\r\n") + kCheckLogin, status.replyCode());
    return status;
}

SmtpStatus SmtpClient::send(const EmailMessage& message) {
    if (!connected())
        return SmtpStatus::failure(QStringLiteral("Not connected."));
    for (const QString& address : {message.fromAddress, message.toAddress}) {
        if (!isSafeAddress(address))
            return SmtpStatus::failure(QStringLiteral("Invalid e-mail address: \"%1\"").arg(address));
    }
    if (!m_sessionReady) {
        SmtpStatus status = startTls();
        if (status)
            status = authenticate();
        if (!status)
            return status;
        m_sessionReady = true;
    }
    const bool pipelined = m_settings.pipeline && hasCapability(m_capabilities, u"PIPELINING");
    return pipelined ? transactionPipelined(message) : transactionStepByStep(message);
}

QByteArray SmtpClient::messageData(const EmailMessage& message) const {
    return writeSmtpMessage(message, m_clock()) + ".\r\n";
}

// A refused reply is followed by RSET (its own reply does not matter); a lost connection is just reported.
SmtpStatus SmtpClient::failAfterReset(const SmtpStatus& failure) {
    if (failure.replyCode() != 0 && connected())
        (void)command("RSET", {});
    return failure;
}

SmtpStatus SmtpClient::transactionStepByStep(const EmailMessage& message) {
    SmtpStatus status = command("RSET", {});
    if (status)
        status = command("MAIL FROM: <" + message.fromAddress.toUtf8() + ">", {250});
    if (!status)
        return status;
    status = command("RCPT TO:<" + message.toAddress.toUtf8() + ">", {250, 251});
    if (status)
        status = command("DATA", {354});
    if (status) {
        const QByteArray data = messageData(message);
        qCDebug(lcSmtp).noquote() << "--> [" + m_settings.host + "] <message," << data.size() << "bytes>";
        m_socket->write(data);
        SmtpReply reply;
        status = readReply(reply);
        if (status && reply.code != 250)
            status = SmtpStatus::failure(reply.text(), reply.code);
    }
    return status ? status : failAfterReset(status);
}

SmtpStatus SmtpClient::transactionPipelined(const EmailMessage& message) {
    const QList<QByteArray> batch = {"RSET", "MAIL FROM: <" + message.fromAddress.toUtf8() + ">",
                                     "RCPT TO:<" + message.toAddress.toUtf8() + ">", "DATA"};
    const QList<QList<int>> expected = {{250}, {250}, {250, 251}, {354}};
    QByteArray wire;
    for (const QByteArray& line : batch) {
        qCDebug(lcSmtp).noquote() << "--> [" + m_settings.host + "]" << line;
        wire += line + "\r\n";
    }
    m_socket->write(wire);
    SmtpStatus first;
    SmtpReply reply;
    for (qsizetype i = 0; i < batch.size(); ++i) {
        const SmtpStatus read = readReply(reply);
        if (!read)
            return read;
        if (first && !expected[i].contains(reply.code))
            first = SmtpStatus::failure(reply.text(), reply.code);
    }
    if (reply.code == 354) {
        const QByteArray data = messageData(message);
        qCDebug(lcSmtp).noquote() << "--> [" + m_settings.host + "] <message," << data.size() << "bytes>";
        m_socket->write(data);
        const SmtpStatus read = readReply(reply);
        if (!read)
            return read;
        if (first && reply.code != 250)
            first = SmtpStatus::failure(reply.text(), reply.code);
    }
    return first ? first : failAfterReset(first);
}

SmtpStatus SmtpClient::disconnectFromServer() {
    if (!connected()) {
        closeSocket();
        return {};
    }
    writeLine("QUIT");
    SmtpReply reply;
    const SmtpStatus read = readReply(reply);
    closeSocket();
    // A server that vanished before answering leaves nothing to report: the connection is closed either way.
    if (read && reply.code != 221)
        return SmtpStatus::failure(reply.text(), reply.code);
    return {};
}

} // namespace vestral::mail
