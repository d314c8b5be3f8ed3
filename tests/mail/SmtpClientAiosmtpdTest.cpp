// The client against a real SMTP server (aiosmtpd) in plain mode, with STARTTLS and with implicit TLS,
// behind a throw-away certificate authority made with the openssl command.
#include "mail/SmtpClient.h"

#include <QJsonArray>
#include <QJsonObject>
#include <gtest/gtest.h>

#include "AiosmtpdServer.h"
#include "MissingPeer.h"

using namespace vestral::mail;

namespace {

class SmtpClientAiosmtpd : public testing::Test {
protected:
    void SetUp() override {
        if (const QString reason = AiosmtpdServer::unavailableReason(); !reason.isEmpty())
            VESTRAL_SKIP_MISSING_PEER(reason.toStdString());
        qputenv("SSL_CERT_FILE", AiosmtpdServer::caFile().toLocal8Bit());
    }
    void TearDown() override {
        qunsetenv("SSL_CERT_FILE");
        m_server.stop();
    }

    // Starts aiosmtpd in the given mode ("plain", "starttls", "implicit") and returns its port.
    quint16 startServer(const QString& mode) {
        const quint16 port = m_server.start(mode);
        if (!port)
            ADD_FAILURE() << "aiosmtpd did not start";
        return port;
    }
    QList<QJsonObject> received() const { return m_server.received(); }

    static SmtpSettings settings(quint16 port, const char* mode) {
        SmtpSettings s;
        s.host = QStringLiteral("127.0.0.1");
        s.port = port;
        s.username = QStringLiteral("loja@example.com");
        s.password = QString::fromUtf8("s3nhá");
        s.heloName = QStringLiteral("Servidor de Controle VESTRAL!");
        s.useSsl = QLatin1String(mode) != QLatin1String(kTlsNone);
        s.sslMethod = QStringLiteral("sslvSSLv2");
        s.tlsMode = QString::fromLatin1(mode);
        s.timeoutMs = 10000;
        return s;
    }

    static EmailMessage message(const QString& to, const QString& name) {
        EmailMessage m;
        m.fromAddress = QStringLiteral("loja@example.com");
        m.fromName = QStringLiteral("[loja@example.com]");
        m.toAddress = to;
        m.toName = name;
        m.subject = QString::fromUtf8("Promoção de Natal €");
        m.htmlBody = QString::fromUtf8("<html><body>\n<p>Olá, %1!</p>\n.\n</body></html>").arg(name);
        return m;
    }

    AiosmtpdServer m_server;
};

} // namespace

TEST_F(SmtpClientAiosmtpd, SendsTwoMessagesOverOneSessionInEachMode) {
    struct Case {
        const char* serverMode;
        const char* tlsMode;
        bool tls;
    };
    const Case cases[] = {
        {"plain", kTlsNone, false},
        {"starttls", kTlsExplicit, true},
        {"starttls", kTlsRequire, true},
        {"implicit", kTlsImplicit, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.serverMode) + " " + c.tlsMode);
        SmtpClient client;
        ASSERT_TRUE(client.configure(settings(startServer(QString::fromLatin1(c.serverMode)), c.tlsMode)).ok());
        SmtpStatus status = client.connectToServer();
        ASSERT_TRUE(status.ok()) << status.text().toStdString();
        status = client.send(message(QStringLiteral("ana@example.org"), QString::fromUtf8("Ana Conceição")));
        ASSERT_TRUE(status.ok()) << status.text().toStdString();
        status = client.send(message(QStringLiteral("bo@example.org"), QString::fromUtf8("Bo 李")));
        ASSERT_TRUE(status.ok()) << status.text().toStdString();
        EXPECT_TRUE(client.isAuthenticated());
        EXPECT_EQ(client.isEncrypted(), c.tls);
        ASSERT_TRUE(client.disconnectFromServer().ok());

        const QList<QJsonObject> got = received();
        ASSERT_EQ(got.size(), 2);
        EXPECT_EQ(got[0]["mail_from"].toString(), QStringLiteral("loja@example.com"));
        EXPECT_EQ(got[0]["rcpt_tos"].toArray().first().toString(), QStringLiteral("ana@example.org"));
        EXPECT_EQ(got[0]["tls"].toBool(), c.tls);
        EXPECT_TRUE(got[0]["authenticated"].toBool());
        EXPECT_EQ(got[0]["login"].toString(), QStringLiteral("loja@example.com"));
        EXPECT_EQ(got[0]["subject"].toString(), QString::fromUtf8("Promoção de Natal €"));
        EXPECT_EQ(got[0]["to"].toString(), QString::fromUtf8("Ana Conceição <ana@example.org>"));
        EXPECT_EQ(got[1]["to"].toString(), QString::fromUtf8("Bo 李 <bo@example.org>"));
        EXPECT_EQ(got[0]["from"].toString(), QStringLiteral("\"[loja@example.com]\" <loja@example.com>"));
        EXPECT_EQ(got[0]["content_type"].toString(), QStringLiteral("text/html; charset=UTF-8"));
        EXPECT_EQ(got[1]["body"].toString(),
                  QString::fromUtf8("<html><body>\r\n<p>Olá, Bo 李!</p>\r\n.\r\n</body></html>\r\n\r\n"));
        EXPECT_FALSE(got[0]["raw"].toString().contains(QStringLiteral("Message-ID")));
    }
}

TEST_F(SmtpClientAiosmtpd, UntrustedCertificateIsRefusedBeforeThePasswordGoesOut) {
    for (const char* mode : {"implicit", "starttls"}) {
        SCOPED_TRACE(mode);
        const quint16 port = startServer(QString::fromLatin1(mode));
        qunsetenv("SSL_CERT_FILE"); // the throw-away authority is not in the system store
        SmtpClient client;
        const bool implicit = QLatin1String(mode) == QLatin1String("implicit");
        ASSERT_TRUE(client.configure(settings(port, implicit ? kTlsImplicit : kTlsRequire)).ok());
        SmtpStatus status = client.connectToServer();
        if (status)
            status = client.send(message(QStringLiteral("ana@example.org"), QStringLiteral("Ana")));
        ASSERT_FALSE(status.ok());
        const QStringList lines = status.text().split(QStringLiteral("\r\n"));
        EXPECT_EQ(lines.first(), QStringLiteral("SSL is not available on this server."));
        ASSERT_GE(lines.size(), 2) << status.text().toStdString();
        EXPECT_TRUE(lines[1].contains(QStringLiteral("certificate"), Qt::CaseInsensitive)) << lines[1].toStdString();
        EXPECT_FALSE(client.connected());
        EXPECT_TRUE(received().isEmpty());
    }
}

TEST_F(SmtpClientAiosmtpd, WrongPasswordFailsWithServerText) {
    SmtpClient client;
    SmtpSettings s = settings(startServer(QStringLiteral("plain")), kTlsNone);
    s.password = QStringLiteral("wrong");
    ASSERT_TRUE(client.configure(s).ok());
    ASSERT_TRUE(client.connectToServer().ok());
    const SmtpStatus status = client.send(message(QStringLiteral("ana@example.org"), QStringLiteral("Ana")));
    EXPECT_EQ(status.replyCode(), 535);
    EXPECT_FALSE(client.isAuthenticated());
    EXPECT_TRUE(received().isEmpty());
}

// Explicit TLS against a server without STARTTLS: the password never goes out in clear text; without a user
// name the message goes in plain text.
TEST_F(SmtpClientAiosmtpd, ExplicitTlsWithoutStartTlsKeepsThePasswordBack) {
    for (const bool withUser : {true, false}) {
        SCOPED_TRACE(withUser ? "user" : "no user");
        SmtpClient client;
        SmtpSettings s = settings(startServer(QStringLiteral("plain")), kTlsExplicit);
        if (!withUser)
            s.username.clear();
        ASSERT_TRUE(client.configure(s).ok());
        ASSERT_TRUE(client.connectToServer().ok());
        const SmtpStatus status = client.send(message(QStringLiteral("ana@example.org"), QStringLiteral("Ana")));
        EXPECT_EQ(status.ok(), !withUser) << status.text().toStdString();
        EXPECT_EQ(status.stopsRun(), withUser);
        EXPECT_EQ(received().size(), withUser ? 0 : 1);
        (void)client.disconnectFromServer();
    }
}

// A subject of 1,300 characters (ASCII or not) folds into lines the server accepts and reads back whole; the
// greeting name is one a server that checks names accepts.
TEST_F(SmtpClientAiosmtpd, LongSubjectsAndTheGreetingName) {
    const QString ascii = QStringLiteral("Oferta especial de fim de ano ").repeated(44).left(1300);
    const QString accented = QString::fromUtf8("Promoção relâmpago ").repeated(69).left(1300);
    const QString oneWord = QString(1300, u'x');
    SmtpClient client;
    SmtpSettings s = settings(startServer(QStringLiteral("plain")), kTlsNone);
    s.heloName.clear();
    ASSERT_TRUE(client.configure(s).ok());
    ASSERT_TRUE(client.connectToServer().ok());
    for (const QString& subject : {ascii, accented, oneWord}) {
        EmailMessage m = message(QStringLiteral("ana@example.org"), QStringLiteral("Ana"));
        m.subject = subject;
        const SmtpStatus status = client.send(m);
        ASSERT_TRUE(status.ok()) << status.text().toStdString();
    }
    const QList<QJsonObject> got = received();
    ASSERT_EQ(got.size(), 3);
    EXPECT_EQ(got[0]["subject"].toString(), ascii);
    EXPECT_EQ(got[1]["subject"].toString(), accented);
    EXPECT_EQ(got[2]["subject"].toString(), oneWord);
    const QString helo = got[0]["helo"].toString();
    EXPECT_TRUE(helo.startsWith(u'[') || (helo.contains(u'.') && !helo.contains(u' '))) << helo.toStdString();
}
