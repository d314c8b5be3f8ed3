// Campaign runs that must stop at once instead of failing recipient after recipient, against the scripted
// server; and the text a connection failure leaves for the operator.
#include "mail/EmailCampaign.h"

#include <gtest/gtest.h>

#include "MailTestSupport.h"
#include "ScriptedSmtpServer.h"

using namespace vestral::mail;

namespace {

class EmailCampaignStopTest : public MailDatabaseTest {
protected:
    void SetUp() override {
        MailDatabaseTest::SetUp();
        if (HasFatalFailure())
            return;
        m_campaign = std::make_unique<EmailCampaign>(ado());
        m_campaign->setTiming({[] { return QDateTime(QDate(2026, 12, 9), QTime(9, 0)); }, [](int) {}});
        QObject::connect(m_campaign.get(), &EmailCampaign::statusAdded, [this](const QString& l) { m_lines << l; });
        QObject::connect(m_campaign.get(), &EmailCampaign::progressChanged,
                         [this](int position, bool visible) { m_progress << (visible ? position : -1); });
    }
    void TearDown() override { m_campaign.reset(); }

    EmailCampaign::Result run(const QList<Contact>& rows) {
        m_lines.clear();
        m_progress.clear();
        m_campaign->setRecipients(fakeRows(rows));
        return m_campaign->run();
    }

    static QString line(const QString& text) {
        return EmailCampaign::formatStatus(QDateTime(QDate(2026, 12, 9), QTime(9, 0)), text);
    }

    ScriptedSmtpServer m_server;
    std::unique_ptr<EmailCampaign> m_campaign;
    QStringList m_lines;
    QList<int> m_progress; // position, or -1 for hidden
};

const QList<Contact> kThree = {{"Ana", "ana@example.org"}, {"Bia", "bia@example.org"}, {"Cida", "c@example.org"}};

} // namespace

TEST_F(EmailCampaignStopTest, LoginRefusalsAndMissingStartTlsStopTheRunBeforeAnyHistory) {
    const QByteArray password = QString::fromUtf8("s3nhá").toUtf8().toBase64();
    struct Case {
        const char* tls;
        QByteArray ehlo;
        QByteArray refusedLine; // answered with 535
        QString error;
        int authCommands;
    };
    const Case cases[] = {
        {kTlsNone, "250-x\r\n250 AUTH LOGIN\r\n", password,
         QString::fromUtf8("5.7.8 Authentication credentials invalid\r\nVerifique o usuário e a senha do e-mail."), 1},
        {kTlsExplicit,
         "250-x\r\n250 AUTH LOGIN\r\n",
         {},
         QString::fromUtf8("O servidor não oferece STARTTLS: a senha não será enviada sem criptografia."),
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tls);
        m_server.commands.clear();
        m_server.ehloReply = c.ehlo;
        m_server.script = [c](const QByteArray&, const QByteArray& l) {
            return l == c.refusedLine ? QByteArray("535 5.7.8 Authentication credentials invalid\r\n") : QByteArray();
        };
        configure(QStringLiteral("127.0.0.1"), m_server.port(), QString::fromLatin1(c.tls),
                  c.tls != QLatin1String(kTlsNone));
        const EmailCampaign::Result r = run(kThree);
        EXPECT_EQ(r.outcome, EmailCampaign::Outcome::Stopped);
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(m_server.count("AUTH LOGIN"), c.authCommands); // one login tried, not one per recipient
        EXPECT_EQ(m_server.count("MAIL"), 0);
        EXPECT_EQ(m_lines, QStringList{line(EmailCampaign::kConfigurando)});
        EXPECT_TRUE(history().isEmpty());
        EXPECT_EQ(m_progress.last(), -1); // the bar is idle again
        EXPECT_FALSE(m_campaign->client()->connected());
    }
}

TEST_F(EmailCampaignStopTest, BlanksAroundAddressesAreDropped) {
    m_server.ehloReply = "250-x\r\n250 AUTH LOGIN\r\n";
    configure(QStringLiteral("127.0.0.1"), m_server.port(), QString::fromLatin1(kTlsNone), false);
    sql("UPDATE dbCFG SET USERNAME = ' loja@example.com '");
    ado()->dbCFG->refresh();
    const EmailCampaign::Result r = run({{"Ana", "  ana@example.org \t"}, {"Bia", " \t "}});
    EXPECT_EQ(r.outcome, EmailCampaign::Outcome::Finished) << r.error.toStdString();
    EXPECT_EQ(m_server.count("RCPT TO:<ana@example.org>"), 1);
    EXPECT_EQ(m_server.count("MAIL FROM: <loja@example.com>"), 1);
    ASSERT_EQ(m_lines.size(), 4);
    EXPECT_EQ(m_lines[3], line(EmailCampaign::kSemEmail));
    const QList<HistoryRow> rows = history();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].destinatario, QStringLiteral("(Ana) ana@example.org"));
    EXPECT_TRUE(rows[0].enviado);
}

TEST_F(EmailCampaignStopTest, ConnectionFailureNamesHostPortAndReason) {
    const quint16 port = unusedPort();
    configure(QStringLiteral("127.0.0.1"), port, QString::fromLatin1(kTlsNone), false);
    const EmailCampaign::Result r = run(kThree);
    EXPECT_EQ(r.outcome, EmailCampaign::Outcome::Stopped);
    const QStringList lines = r.error.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 3) << r.error.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Socket Error # 111"));
    EXPECT_EQ(lines[2], QString::fromUtf8("Não foi possível conectar a 127.0.0.1:%1 (conexão recusada)").arg(port));
    EXPECT_EQ(m_progress.last(), -1);
    EXPECT_TRUE(history().isEmpty());
}
