#include "ScriptedSmtpServer.h"
#include "mail/SmtpClient.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QLoggingCategory>
#include <QTimeZone>
#include <gtest/gtest.h>

using namespace vestral::mail;

namespace {

class SmtpClientScripted : public testing::Test {
protected:
    SmtpSettings settings(const char* tlsMode = kTlsNone, bool useSsl = false) const {
        SmtpSettings s;
        s.host = QStringLiteral("127.0.0.1");
        s.port = server.port();
        s.username = QStringLiteral("loja@example.com");
        s.password = QStringLiteral("s3nha");
        s.heloName = QStringLiteral("Servidor de Controle VESTRAL!");
        s.useSsl = useSsl;
        s.sslMethod = QStringLiteral("sslvSSLv23");
        s.tlsMode = QString::fromLatin1(tlsMode);
        s.timeoutMs = 5000;
        return s;
    }
    // For a server that offers no login: no user name either.
    SmtpSettings withoutLogin() const {
        SmtpSettings s = settings();
        s.username.clear();
        s.password.clear();
        return s;
    }
    static EmailMessage message(const QString& to = QStringLiteral("ana@example.org")) {
        EmailMessage m;
        m.fromAddress = QStringLiteral("loja@example.com");
        m.fromName = QStringLiteral("[loja@example.com]");
        m.toAddress = to;
        m.toName = QStringLiteral("Ana");
        m.subject = QStringLiteral("Oferta");
        m.htmlBody = QStringLiteral("<p>oi</p>\n.\n");
        return m;
    }
    void connectWith(const SmtpSettings& s) {
        ASSERT_TRUE(client.configure(s).ok());
        const SmtpStatus status = client.connectToServer();
        ASSERT_TRUE(status.ok()) << status.text().toStdString();
    }
    // Replies to the given verb with reply; other verbs get the server's default.
    void scriptReply(const QByteArray& verb, const QByteArray& reply) {
        server.script = [verb, reply](const QByteArray& v, const QByteArray&) {
            return v == verb ? reply : QByteArray();
        };
    }

    ScriptedSmtpServer server;
    SmtpClient client;
};

const QByteArray kUser = QByteArray("loja@example.com").toBase64();
const QByteArray kPassword = QByteArray("s3nha").toBase64();

} // namespace

TEST_F(SmtpClientScripted, PipelinedSessionAuthenticatesOnceAndSendsBatch) {
    server.holdUntilData = true; // replies only after DATA: the batch must go out whole
    client.setClock([] { return QDateTime(QDate(2026, 12, 9), QTime(8, 0), QTimeZone(-3 * 3600)); });
    connectWith(settings());
    ASSERT_TRUE(client.send(message()).ok());
    EXPECT_TRUE(client.isAuthenticated());
    ASSERT_TRUE(client.send(message(QStringLiteral("bia@example.org"))).ok());
    const QList<QByteArray> expected = {"EHLO Servidor de Controle VESTRAL!",
                                        "AUTH LOGIN",
                                        kUser,
                                        kPassword,
                                        "RSET",
                                        "MAIL FROM: <loja@example.com>",
                                        "RCPT TO:<ana@example.org>",
                                        "DATA",
                                        "RSET",
                                        "MAIL FROM: <loja@example.com>",
                                        "RCPT TO:<bia@example.org>",
                                        "DATA"};
    EXPECT_EQ(server.lines(), expected);
    ASSERT_EQ(server.messages.size(), 2);
    EXPECT_TRUE(server.messages[0].startsWith("From: \"[loja@example.com]\" <loja@example.com>\r\n"));
    EXPECT_TRUE(server.messages[0].contains("Date: Wed, 9 Dec 2026 08:00:00 -0300\r\n"));
    EXPECT_TRUE(server.messages[0].endsWith("\r\n<p>oi</p>\r\n.\r\n\r\n\r\n")); // "." doubled on the wire
    ASSERT_TRUE(client.disconnectFromServer().ok());
    EXPECT_FALSE(client.connected());
    EXPECT_FALSE(client.isAuthenticated());
    EXPECT_EQ(server.lines().back(), "QUIT");
}

TEST_F(SmtpClientScripted, HeloFallbackMeansNoExtensions) {
    server.ehloReply = "250-scripted\r\n250-STARTTLS\r\n250-PIPELINING\r\n250 AUTH LOGIN\r\n";
    scriptReply("EHLO", "502 5.5.2 EHLO not supported\r\n");
    SmtpSettings s = settings(kTlsExplicit, true);
    s.username.clear(); // no password to protect: plain text is allowed
    connectWith(s);
    EXPECT_TRUE(client.capabilities().isEmpty());
    ASSERT_TRUE(client.send(message()).ok());
    EXPECT_EQ(server.count("STARTTLS"), 0);
    EXPECT_EQ(server.count("AUTH"), 0);
    // Step by step: every command went out only after the previous reply.
    QList<int> chunks;
    for (const auto& c : server.commands)
        chunks.append(c.chunk);
    EXPECT_EQ(QSet<int>(chunks.begin(), chunks.end()).size(), chunks.size());
    EXPECT_EQ(server.lines().mid(0, 3),
              (QList<QByteArray>{"EHLO Servidor de Controle VESTRAL!", "HELO Servidor de Controle VESTRAL!", "RSET"}));
}

TEST_F(SmtpClientScripted, StartTlsOutcomesByMode) {
    const QString noStartTls =
        QString::fromUtf8("O servidor não oferece STARTTLS: a senha não será enviada sem criptografia.");
    struct Case {
        const char* mode;
        bool user;
        QByteArray ehlo;
        QByteArray startTlsReply;
        QString failure; // empty: sent in plain text
        bool stopsRun;
    };
    const Case cases[] = {
        // Explicit TLS with a password to send and no STARTTLS (absent, or stripped on the way): stop.
        {kTlsExplicit, true, "250-x\r\n250 AUTH LOGIN\r\n", {}, noStartTls, true},
        {kTlsExplicit, true, "250 x\r\n", {}, noStartTls, true},
        {kTlsExplicit, false, "250-x\r\n250 AUTH LOGIN\r\n", {}, {}, false},
        {kTlsRequire, true, "250-x\r\n250 AUTH LOGIN\r\n", {}, "Start SSL negotiation command failed.", false},
        {kTlsExplicit, true, "250-x\r\n250 STARTTLS\r\n", "454 4.7.0 TLS not available\r\n",
         "Start SSL negotiation command failed.", false},
        {kTlsRequire, true, "250-x\r\n250 STARTTLS\r\n", "454 4.7.0 TLS not available\r\n",
         "SSL is not available on this server.", false},
        {kTlsNone, true, "250-x\r\n250-STARTTLS\r\n250 AUTH LOGIN\r\n", {}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + (c.user ? " user " : " ") + c.ehlo.toStdString());
        server.commands.clear();
        server.ehloReply = c.ehlo;
        scriptReply("STARTTLS", c.startTlsReply);
        SmtpSettings s = settings(c.mode, true);
        if (!c.user)
            s.username.clear();
        connectWith(s);
        const SmtpStatus status = client.send(message());
        EXPECT_EQ(status.stopsRun(), c.stopsRun);
        if (c.failure.isEmpty()) {
            EXPECT_TRUE(status.ok()) << status.text().toStdString();
            EXPECT_EQ(server.count("MAIL FROM"), 1);
            (void)client.disconnectFromServer();
        } else {
            EXPECT_EQ(status.text(), c.failure);
            EXPECT_FALSE(client.connected());
            EXPECT_EQ(server.count("MAIL FROM"), 0);
            EXPECT_EQ(server.count("AUTH"), 0);
        }
    }
}

// LOGIN when offered, else PLAIN with its initial response; a server that offers only mechanisms this client
// does not speak stops the session before MAIL FROM instead of sending as if it had logged in.
TEST_F(SmtpClientScripted, AuthMechanismChosenFromWhatIsOffered) {
    struct Case {
        QByteArray ehlo;
        QByteArray expectedAuth; // the AUTH line sent, or empty when none may be
        bool sends;
    };
    const QByteArray plain =
        "AUTH PLAIN " + QByteArray(QByteArray(1, '\0') + "loja@example.com" + '\0' + "s3nha").toBase64();
    const Case cases[] = {
        {"250-x\r\n250 AUTH=LOGIN\r\n", "AUTH LOGIN", true},
        {"250-x\r\n250 auth plain login\r\n", "AUTH LOGIN", true},
        {"250-x\r\n250 AUTH PLAIN\r\n", plain, true},
        {"250-x\r\n250 AUTH CRAM-MD5 PLAIN\r\n", plain, true},
        {"250-x\r\n250 AUTH CRAM-MD5 XOAUTH2\r\n", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ehlo.toStdString());
        server.commands.clear();
        server.ehloReply = c.ehlo;
        server.script = [](const QByteArray& verb, const QByteArray& line) {
            return verb == "AUTH" && line.startsWith("AUTH PLAIN ") ? QByteArray("235 2.7.0 Accepted\r\n")
                                                                    : QByteArray();
        };
        connectWith(settings());
        const SmtpStatus status = client.send(message());
        EXPECT_EQ(status.ok(), c.sends) << status.text().toStdString();
        EXPECT_EQ(client.isAuthenticated(), c.sends);
        EXPECT_EQ(server.count("MAIL FROM"), c.sends ? 1 : 0);
        if (c.sends) {
            EXPECT_EQ(server.count(c.expectedAuth), 1);
            EXPECT_EQ(server.count("AUTH"), 1);
            ASSERT_TRUE(client.disconnectFromServer().ok());
        } else {
            EXPECT_TRUE(status.stopsRun());
            EXPECT_EQ(status.text(),
                      QStringLiteral("O servidor não oferece um método de autenticação suportado (LOGIN "
                                     "ou PLAIN), só: CRAM-MD5, XOAUTH2; verifique o servidor e a porta."));
            EXPECT_EQ(server.count("AUTH"), 0);
            EXPECT_FALSE(client.connected());
        }
    }
}

// A user name set and a server that offers no AUTH at all: the session stops before MAIL FROM and says why,
// instead of sending as if it had logged in.
TEST_F(SmtpClientScripted, UserNameWithoutAuthOfferedStopsBeforeMailFrom) {
    struct Case {
        const char* name;
        QByteArray ehlo;
        QByteArray ehloRefusal; // scripted EHLO reply: HELO then, and no extensions
    };
    const Case cases[] = {
        {"no AUTH line", "250-x\r\n250 PIPELINING\r\n", {}},
        {"AUTH without a mechanism", "250-x\r\n250 AUTH\r\n", {}},
        {"a word that only starts with AUTH", "250-x\r\n250 AUTHLOGIN\r\n", {}},
        {"EHLO refused, HELO taken", "250 x\r\n", "502 5.5.2 EHLO not supported\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.commands.clear();
        server.ehloReply = c.ehlo;
        server.script = nullptr;
        if (!c.ehloRefusal.isEmpty())
            scriptReply("EHLO", c.ehloRefusal);
        connectWith(settings());
        const SmtpStatus status = client.send(message());
        EXPECT_FALSE(status.ok());
        EXPECT_TRUE(status.stopsRun());
        EXPECT_EQ(status.text(),
                  QStringLiteral("O servidor não oferece autenticação (AUTH); verifique o servidor e a porta."));
        EXPECT_EQ(server.count("MAIL FROM"), 0);
        EXPECT_EQ(server.count("RSET"), 0);
        EXPECT_FALSE(client.isAuthenticated());
        EXPECT_FALSE(client.connected());
    }
}

TEST_F(SmtpClientScripted, NoUserNameMeansNoAuth) {
    SmtpSettings s = settings();
    s.username.clear();
    connectWith(s);
    ASSERT_TRUE(client.send(message()).ok());
    EXPECT_EQ(server.count("AUTH"), 0);
}

TEST_F(SmtpClientScripted, RefusedRepliesFailWithServerTextAfterReset) {
    struct Case {
        QByteArray verb;
        QByteArray reply;
        bool pipelined;
        int resets; // RSET before the transaction plus the one after the failure
        int messages;
    };
    const Case cases[] = {
        {"RCPT", "550 5.1.1 User unknown\r\n", false, 2, 0},
        {"RCPT", "550 5.1.1 User unknown\r\n", true, 2, 1}, // DATA still got 354: the text went, then RSET
        {"DATA", "554 5.5.1 No valid recipients\r\n", false, 2, 0},
        {"END", "552 5.3.4 Message too big\r\n", true, 2, 1},
        {"MAIL", "553 5.7.1 Sender rejected\r\n", false, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.verb.toStdString() + (c.pipelined ? " pipelined" : ""));
        server.commands.clear();
        server.messages.clear();
        server.ehloReply = c.pipelined ? "250-x\r\n250 PIPELINING\r\n" : "250 x\r\n";
        scriptReply(c.verb, c.reply);
        connectWith(withoutLogin());
        const SmtpStatus status = client.send(message());
        EXPECT_EQ(status.text(), QString::fromLatin1(c.reply.mid(4).trimmed()));
        EXPECT_EQ(status.replyCode(), c.reply.left(3).toInt());
        EXPECT_EQ(server.count("RSET"), c.resets);
        EXPECT_EQ(server.lines().back(), c.resets == 2 ? "RSET" : "MAIL FROM: <loja@example.com>");
        EXPECT_EQ(server.messages.size(), c.messages);
        ASSERT_TRUE(client.disconnectFromServer().ok());
    }
}

TEST_F(SmtpClientScripted, PipelinedRepliesAreMatchedInOrder) {
    // MAIL refused, RCPT refused, DATA refused: the first failure is the one raised.
    server.ehloReply = "250-x\r\n250 PIPELINING\r\n";
    server.holdUntilData = true;
    server.script = [](const QByteArray& verb, const QByteArray&) -> QByteArray {
        if (verb == "MAIL")
            return "451 4.3.0 Try later\r\n";
        if (verb == "RCPT")
            return "503 5.5.1 Need MAIL first\r\n";
        if (verb == "DATA")
            return "503 5.5.1 Need RCPT first\r\n";
        return {};
    };
    connectWith(withoutLogin());
    const SmtpStatus status = client.send(message());
    EXPECT_EQ(status.replyCode(), 451);
    EXPECT_EQ(status.text(), QStringLiteral("4.3.0 Try later"));
    EXPECT_TRUE(server.messages.isEmpty());
    EXPECT_EQ(server.lines().back(), "RSET");
}

// A permanent refusal of the login stops the run (every later recipient would be refused the same way and
// providers lock an account after a few); a temporary one is an ordinary failed send.
TEST_F(SmtpClientScripted, AuthRefusalsAndWhetherTheyStopTheRun) {
    struct Case {
        QByteArray line; // the command answered with reply
        QByteArray reply;
        bool stopsRun;
    };
    const Case cases[] = {
        {kPassword, "535 5.7.8 Authentication credentials invalid\r\n", true},
        {kUser, "535 5.7.8 Bad user\r\n", true},
        {"AUTH LOGIN", "504 5.5.4 Unrecognized authentication type\r\n", true},
        {kPassword, "454 4.7.0 Temporary authentication failure\r\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply.toStdString());
        server.commands.clear();
        server.script = [c](const QByteArray&, const QByteArray& line) {
            return line == c.line ? c.reply : QByteArray();
        };
        connectWith(settings());
        const SmtpStatus status = client.send(message());
        const QString serverText = QString::fromLatin1(c.reply.mid(4).trimmed());
        EXPECT_EQ(status.text(), c.stopsRun
                                     ? serverText + QString::fromUtf8("\r\nVerifique o usuário e a senha do e-mail.")
                                     : serverText);
        EXPECT_EQ(status.replyCode(), c.reply.left(3).toInt());
        EXPECT_EQ(status.stopsRun(), c.stopsRun);
        EXPECT_FALSE(client.isAuthenticated());
        EXPECT_EQ(server.count("MAIL"), 0);
        (void)client.disconnectFromServer();
    }
}

// Without a configured name the greeting carries the machine's own name, never free text a server refuses.
TEST_F(SmtpClientScripted, GreetingNameIsTheMachinesOwn) {
    SmtpSettings s = settings();
    s.heloName.clear();
    connectWith(s);
    const QByteArray ehlo = server.lines().first();
    EXPECT_EQ(ehlo, "EHLO " + ehloName(QHostInfo::localHostName(), QHostInfo::localDomainName(),
                                       QHostAddress(QHostAddress::LocalHost))
                                  .toUtf8());
    EXPECT_FALSE(ehlo.contains(' ') && ehlo.indexOf(' ') != 4) << ehlo.constData();
}

TEST(SmtpEhloName, FullyQualifiedNameElseAddressLiteral) {
    struct Case {
        QString host, domain, local, expected;
    };
    const Case cases[] = {
        {"estacao.loja.com.br", "", "192.0.2.10", "estacao.loja.com.br"},
        {"estacao", "loja.com.br", "192.0.2.10", "estacao.loja.com.br"},
        {"estacao", "", "192.0.2.10", "[192.0.2.10]"},
        {"", "", "192.0.2.10", "[192.0.2.10]"},
        {"Servidor de Controle VESTRAL!", "", "192.0.2.10", "[192.0.2.10]"},
        {"estacao.", "", "192.0.2.10", "[192.0.2.10]"},
        {"estacao", "", "2001:db8::1", "[IPv6:2001:db8::1]"},
        {"estacao", "", "fe80::1%eth0", "[IPv6:fe80::1]"},
        {"estacao", "", "::ffff:192.0.2.7", "[192.0.2.7]"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ehloName(c.host, c.domain, QHostAddress(c.local)), c.expected) << c.host.toStdString();
}

TEST_F(SmtpClientScripted, ConnectFailures) {
    scriptReply("HELO", "501 5.5.4 Bad name\r\n");
    server.ehloReply = "500 no\r\n";
    ASSERT_TRUE(client.configure(settings()).ok());
    EXPECT_EQ(client.connectToServer().text(), QStringLiteral("5.5.4 Bad name"));
    EXPECT_FALSE(client.connected());

    server.greeting = "554 5.3.2 Not accepting mail\r\n";
    const SmtpStatus refused = client.connectToServer();
    EXPECT_EQ(refused.text(), QStringLiteral("5.3.2 Not accepting mail"));
    EXPECT_TRUE(refused.connectReason().isEmpty()); // the server answered: not a connection failure
    EXPECT_FALSE(client.connected());

    server.greeting.clear(); // silent server: the read time-out is a connection failure
    SmtpSettings quick = settings();
    quick.timeoutMs = 300;
    ASSERT_TRUE(client.configure(quick).ok());
    const SmtpStatus silent = client.connectToServer();
    EXPECT_EQ(silent.text(), QStringLiteral("Socket Error # 110\r\nConnection timed out"));
    EXPECT_EQ(silent.connectReason(), QStringLiteral("tempo esgotado"));
    EXPECT_FALSE(client.connected());
}

TEST_F(SmtpClientScripted, ConnectionRefused) {
    quint16 freePort;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        freePort = probe.serverPort();
    }
    SmtpSettings s = settings();
    s.port = freePort;
    ASSERT_TRUE(client.configure(s).ok());
    const SmtpStatus status = client.connectToServer();
    EXPECT_EQ(status.text(), QStringLiteral("Socket Error # 111\r\nConnection refused"));
    EXPECT_EQ(status.connectReason(), QString::fromUtf8("conexão recusada"));
}

TEST_F(SmtpClientScripted, ServerClosingMidSessionIsReported) {
    scriptReply("MAIL", "421 4.4.2 Closing\r\n");
    server.ehloReply = "250 x\r\n";
    connectWith(withoutLogin());
    EXPECT_EQ(client.send(message()).text(), QStringLiteral("4.4.2 Closing"));
    ASSERT_TRUE(client.disconnectFromServer().ok());
}

TEST_F(SmtpClientScripted, QuitNot221IsFailureButClosed) {
    scriptReply("QUIT", "500 what\r\n");
    connectWith(settings());
    EXPECT_EQ(client.disconnectFromServer().text(), QStringLiteral("what"));
    EXPECT_FALSE(client.connected());
    EXPECT_TRUE(client.disconnectFromServer().ok()); // nothing left to close
}

TEST_F(SmtpClientScripted, UnsafeAddressIsRefusedBeforeAnyCommand) {
    connectWith(settings());
    const SmtpStatus status = client.send(message(QStringLiteral("a@b.c>\r\nRCPT TO:<victim@x.y")));
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(server.count("RCPT"), 0);
}

TEST_F(SmtpClientScripted, TlsModeNeedsSslLayerAndSwitchesPort) {
    SmtpSettings s = settings(kTlsImplicit, false);
    EXPECT_EQ(client.configure(s).text(), QStringLiteral("SSL IOHandler is required for this setting"));
    for (const char* mode : {kTlsExplicit, kTlsRequire})
        EXPECT_EQ(client.setTlsMode(QString::fromLatin1(mode)).text(),
                  QStringLiteral("SSL IOHandler is required for this setting"));

    s = settings(kTlsNone, true);
    s.port = 25;
    ASSERT_TRUE(client.configure(s).ok());
    ASSERT_TRUE(client.setTlsMode(QString::fromLatin1(kTlsImplicit)).ok());
    EXPECT_EQ(client.settings().port, 465);
    ASSERT_TRUE(client.setTlsMode(QString::fromLatin1(kTlsExplicit)).ok());
    EXPECT_EQ(client.settings().port, 25);
    // The configured port wins over the automatic change.
    s.tlsMode = QString::fromLatin1(kTlsImplicit);
    s.port = 2525;
    ASSERT_TRUE(client.configure(s).ok());
    EXPECT_EQ(client.settings().port, 2525);
    // Any other stored text, letter case included, means plain text.
    ASSERT_TRUE(client.setTlsMode(QStringLiteral("utuseimplicittls")).ok());
    EXPECT_EQ(client.settings().tlsMode, QStringLiteral("utNoTLSSupport"));
}

TEST_F(SmtpClientScripted, SettingsLockedWhileConnected) {
    connectWith(settings());
    const QString text = QStringLiteral("This value can not be set while the client is connected.");
    EXPECT_EQ(client.setTlsMode(QString::fromLatin1(kTlsNone)).text(), text);
    EXPECT_EQ(client.configure(settings()).text(), text);
}

// Replies that arrive together with STARTTLS's 220 were sent in plain text and could be forged by anyone on
// the path; the client must not read them as replies of the encrypted session.
TEST_F(SmtpClientScripted, DataInjectedAfterStartTlsIsRefused) {
    server.ehloReply = "250-x\r\n250-STARTTLS\r\n250 AUTH LOGIN\r\n";
    scriptReply("STARTTLS", "220 go ahead\r\n250-x\r\n250 AUTH PLAIN\r\n");
    connectWith(settings(kTlsExplicit, true));
    EXPECT_EQ(client.send(message()).text(), QStringLiteral("SSL is not available on this server."));
    EXPECT_FALSE(client.connected());
    EXPECT_EQ(server.count("AUTH"), 0);
}

namespace {

QStringList g_transcript;

void collect(QtMsgType, const QMessageLogContext& context, const QString& text) {
    if (QByteArray(context.category) == "vestral.smtp")
        g_transcript.append(text);
}

} // namespace

TEST_F(SmtpClientScripted, TranscriptTagsHostAndMasksCredentials) {
    QLoggingCategory::setFilterRules(QStringLiteral("vestral.smtp.debug=true"));
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    g_transcript.clear();
    connectWith(settings());
    const SmtpStatus status = client.send(message());
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());
    ASSERT_TRUE(status.ok());
    const QString all = g_transcript.join(u'\n');
    EXPECT_TRUE(g_transcript.contains(QStringLiteral("--> [127.0.0.1] AUTH LOGIN"))) << all.toStdString();
    EXPECT_TRUE(g_transcript.contains(QStringLiteral("<-- [127.0.0.1] 250-scripted"))) << all.toStdString();
    EXPECT_FALSE(all.contains(QString::fromLatin1(kPassword)));
    EXPECT_FALSE(all.contains(QString::fromLatin1(kUser)));
}
