// The e-mail campaign over a real SMTP server (aiosmtpd) and a real history table.
#include "mail/EmailCampaign.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>

#include "AiosmtpdServer.h"
#include "MailTestSupport.h"
#include "MissingPeer.h"
#include "campaign/Merge.h"
#include "optout/SuppressionList.h"
#include "store/Dataset.h"

using namespace vestral::mail;

namespace {

class EmailCampaignTestBase : public MailDatabaseTest {
protected:
    void SetUp() override {
        MailDatabaseTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        if (const QString reason = AiosmtpdServer::unavailableReason(); !reason.isEmpty())
            VESTRAL_SKIP_MISSING_PEER(reason.toStdString());
        qputenv("SSL_CERT_FILE", AiosmtpdServer::caFile().toLocal8Bit());
        m_campaign = std::make_unique<EmailCampaign>(ado());
        m_campaign->setTiming({[] { return kNow; }, [this](int ms) { m_waits << ms; }});
        QObject::connect(m_campaign.get(), &EmailCampaign::statusAdded, [this](const QString& l) { m_lines << l; });
        QObject::connect(m_campaign.get(), &EmailCampaign::progressChanged,
                         [this](int position, bool visible) { m_progress << (visible ? position : -1); });
    }
    void TearDown() override {
        qunsetenv("SSL_CERT_FILE");
        m_campaign.reset();
        m_server.stop();
    }

    // Starts the server and points the settings row at it.
    void serve(const QString& mode, const QString& tls, const QStringList& extra = {}) {
        const quint16 port = m_server.start(mode, extra);
        ASSERT_NE(port, 0) << "aiosmtpd did not start";
        configure(QStringLiteral("127.0.0.1"), port, tls, tls != QLatin1String(kTlsNone));
    }

    EmailCampaign::Result run(const QList<Contact>& rows) {
        m_campaign->setRecipients(fakeRows(rows));
        return m_campaign->run();
    }

    static QString line(const QString& text) { return EmailCampaign::formatStatus(kNow, text); }

    static inline const QDateTime kNow = QDateTime(QDate(2026, 12, 9), QTime(9, 5, 7));
    std::unique_ptr<EmailCampaign> m_campaign;
    AiosmtpdServer m_server;
    QStringList m_lines;
    QList<int> m_waits;
    QList<int> m_progress; // position, or -1 for hidden
};

} // namespace

TEST(EmailCampaignText, StatusLineAndRecipient) {
    EXPECT_EQ(EmailCampaign::formatStatus(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)), EmailCampaign::kEnviada),
              QStringLiteral("02/01/2026 03:04:05 Mensagem enviada com sucesso"));
    EXPECT_EQ(EmailCampaign::destinatario(QStringLiteral("Ana"), QStringLiteral("ana@x.org")),
              QStringLiteral("(Ana) ana@x.org"));
}

// Three rows, the middle one without an address, in each TLS mode with AUTH LOGIN.
class EmailCampaignTest : public OnBothStores<EmailCampaignTestBase> {};

TEST_P(EmailCampaignTest, SkipsTheRowWithoutAddressAndLogsTheOthers) {
    const struct {
        const char* server;
        const char* tls;
        bool encrypted;
    } cases[] = {{"plain", kTlsNone, false}, {"starttls", kTlsExplicit, true}, {"implicit", kTlsImplicit, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tls);
        clearHistory();
        m_lines.clear();
        m_waits.clear();
        m_progress.clear();
        serve(QString::fromLatin1(c.server), QString::fromLatin1(c.tls));
        const EmailCampaign::Result r =
            run({{"Ana", "ana@example.org"}, {"Bruno", ""}, {"Célia", "celia@example.org"}});
        ASSERT_EQ(r.outcome, EmailCampaign::Outcome::Finished) << r.error.toStdString();

        EXPECT_EQ(m_lines, QStringList({line(EmailCampaign::kConfigurando), line(EmailCampaign::kEnviada),
                                        line(EmailCampaign::kConfigurando), line(EmailCampaign::kSemEmail),
                                        line(EmailCampaign::kConfigurando), line(EmailCampaign::kEnviada)}));
        EXPECT_EQ(m_waits, QList<int>({5, 5, 5})); // TEMPO_EMAIL after every row, the last one included
        EXPECT_EQ(m_progress, QList<int>({0, 1, 2, 3, 4, 5, 6, -1, 0, -1, 0, 1, 2, 3, 4, 5, 6, -1}));

        const QList<QJsonObject> got = m_server.received();
        ASSERT_EQ(got.size(), 2);
        EXPECT_EQ(got[0]["rcpt_tos"].toArray().first().toString(), QStringLiteral("ana@example.org"));
        EXPECT_EQ(got[1]["to"].toString(), QString::fromUtf8("Célia <celia@example.org>"));
        EXPECT_EQ(got[0]["from"].toString(), QStringLiteral("\"[loja@example.com]\" <loja@example.com>"));
        EXPECT_EQ(got[0]["subject"].toString(), QString::fromUtf8("Oferta para Ana")); // [nome] merged
        EXPECT_EQ(got[1]["body"].toString(), QString::fromUtf8("<p>Olá Célia, celia@example.org</p>\r\n\r\n"));
        EXPECT_EQ(got[0]["tls"].toBool(), c.encrypted);
        EXPECT_TRUE(got[1]["authenticated"].toBool());
        EXPECT_EQ(got[0]["connection"].toInt(), got[1]["connection"].toInt()); // one connection for the run

        const QList<HistoryRow> h = history();
        ASSERT_EQ(h.size(), 2);
        EXPECT_EQ(h[0], (HistoryRow{"(Ana) ana@example.org", "<p>Olá Ana, ana@example.org</p>", "E-Mail", true}));
        EXPECT_EQ(h[1].destinatario, QString::fromUtf8("(Célia) celia@example.org"));
        EXPECT_TRUE(m_campaign->client()->connected()); // kept open; the next run closes it first
        static_cast<void>(m_campaign->client()->disconnectFromServer());
    }
}

TEST_P(EmailCampaignTest, RefusedRecipientIsLoggedAsNotSentAndTheNextGoesOnANewConnection) {
    serve(QStringLiteral("plain"), QString::fromLatin1(kTlsNone), {"--refuse", "bruno@example.org"});
    QStringList failures;
    QObject::connect(m_campaign.get(), &EmailCampaign::sendFailed,
                     [&](const QString& who, const QString& why) { failures << who + " | " + why; });
    const EmailCampaign::Result r =
        run({{"Ana", "ana@example.org"}, {"Bruno", "bruno@example.org"}, {"Célia", "celia@example.org"}});
    ASSERT_EQ(r.outcome, EmailCampaign::Outcome::Finished) << r.error.toStdString();
    EXPECT_EQ(m_lines, QStringList({line(EmailCampaign::kConfigurando), line(EmailCampaign::kEnviada),
                                    line(EmailCampaign::kConfigurando), line(EmailCampaign::kNaoEnviada),
                                    line(EmailCampaign::kConfigurando), line(EmailCampaign::kEnviada)}));
    const QList<HistoryRow> h = history();
    ASSERT_EQ(h.size(), 3);
    EXPECT_EQ(h[1], (HistoryRow{"(Bruno) bruno@example.org", "<p>Olá Bruno, bruno@example.org</p>", "E-Mail", false}));
    EXPECT_TRUE(h[0].enviado);
    EXPECT_TRUE(h[2].enviado);
    const QList<QJsonObject> got = m_server.received();
    ASSERT_EQ(got.size(), 2);
    EXPECT_NE(got[0]["connection"].toInt(), got[1]["connection"].toInt());
    EXPECT_TRUE(got[1]["authenticated"].toBool()); // the new connection logs in again
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(failures[0], QStringLiteral("(Bruno) bruno@example.org | 5.1.1 Mailbox unavailable"));
}

// Failures before the send step stop the run at the first addressed recipient, with nothing logged.
TEST_P(EmailCampaignTest, FailureBeforeSendStopsTheRun) {
    const quint16 closedPort = unusedPort();
    const struct {
        const char* host;
        quint16 port;
        const char* tls;
        bool ssl;
        const char* error; // expected text, or "" for any non-empty text
    } cases[] = {
        {"127.0.0.1", closedPort, kTlsNone, false, ""},
        {"smtp.nao-existe.invalid", 25, kTlsNone, false, ""},
        {"127.0.0.1", closedPort, kTlsImplicit, false, "SSL IOHandler is required for this setting"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        m_lines.clear();
        m_progress.clear();
        configure(QString::fromLatin1(c.host), c.port, QString::fromLatin1(c.tls), c.ssl);
        const EmailCampaign::Result r = run({{"Bruno", ""}, {"Ana", "ana@example.org"}, {"Célia", "c@example.org"}});
        EXPECT_EQ(r.outcome, EmailCampaign::Outcome::Stopped);
        if (*c.error)
            EXPECT_EQ(r.error, QString::fromLatin1(c.error));
        else
            EXPECT_FALSE(r.error.isEmpty());
        EXPECT_EQ(m_lines, QStringList({line(EmailCampaign::kConfigurando), line(EmailCampaign::kSemEmail),
                                        line(EmailCampaign::kConfigurando)}));
        EXPECT_EQ(m_progress.last(), -1); // idle again, as after a finished run
        EXPECT_TRUE(history().isEmpty());
    }
}

TEST_P(EmailCampaignTest, MissingRecipientColumnStopsTheRun) {
    serve(QStringLiteral("plain"), QString::fromLatin1(kTlsNone));
    RecipientRows rows = fakeRows({{"Ana", "ana@example.org"}});
    const RecipientRows full = rows;
    rows.fields = [full](int row) {
        const Merge::FieldLookup inner = full.fields(row);
        return Merge::FieldLookup([inner](const QString& f, QString* v) { return f != "TEXTO5" && inner(f, v); });
    };
    m_campaign->setRecipients(rows);
    const EmailCampaign::Result r = m_campaign->run();
    EXPECT_EQ(r.outcome, EmailCampaign::Outcome::Stopped);
    EXPECT_EQ(r.error, Merge::missingFieldError("TEXTO5"));
    EXPECT_TRUE(history().isEmpty());
    EXPECT_TRUE(m_server.received().isEmpty());
}

TEST_P(EmailCampaignTest, NoRecipientsAndASecondRunInsideTheFirst) {
    EXPECT_EQ(run({}).outcome, EmailCampaign::Outcome::NoRecipients);
    EXPECT_EQ(run({}).error, QString::fromUtf8("Não existe contatos para enviar a(s) mensagem(s)!"));
    EXPECT_TRUE(m_lines.isEmpty());

    serve(QStringLiteral("plain"), QString::fromLatin1(kTlsNone));
    QList<EmailCampaign::Outcome> nested;
    m_campaign->setTiming({[] { return kNow; }, [this, &nested](int) { nested << m_campaign->run().outcome; }});
    EXPECT_EQ(run({{"Ana", "ana@example.org"}}).outcome, EmailCampaign::Outcome::Finished);
    EXPECT_EQ(nested, QList<EmailCampaign::Outcome>({EmailCampaign::Outcome::Busy}));
    EXPECT_FALSE(m_campaign->isRunning());
    EXPECT_EQ(m_server.received().size(), 1);
}

// Settings saved (or still being edited) between two runs apply from the second run's first recipient.
TEST_P(EmailCampaignTest, EachRunRereadsTheSettings) {
    serve(QStringLiteral("plain"), QString::fromLatin1(kTlsNone));
    ASSERT_EQ(run({{"Ana", "ana@example.org"}}).outcome, EmailCampaign::Outcome::Finished);
    ASSERT_TRUE(m_campaign->client()->connected());

    AiosmtpdServer second;
    const quint16 port = second.start(QStringLiteral("plain"));
    ASSERT_NE(port, 0);
    Dataset* cfg = ado()->dbCFG;
    cfg->edit();
    cfg->setValue("PORTA", port);
    cfg->setValue("ASSUNTO", "Segunda [NOME]");
    const EmailCampaign::Result r = run({{"Bruno", "bruno@example.org"}});
    ASSERT_EQ(r.outcome, EmailCampaign::Outcome::Finished) << r.error.toStdString();
    EXPECT_EQ(cfg->state(), Dataset::State::Browse);
    EXPECT_EQ(m_server.received().size(), 1);
    const QList<QJsonObject> got = second.received();
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got[0]["subject"].toString(), QStringLiteral("Segunda Bruno"));
    static_cast<void>(m_campaign->client()->disconnectFromServer());
}

// Placeholders in the data multiply a body pass after pass; at 1,000,000 characters the merge stops
// and the status says the body was cut, as the SMS builder says of its texts. A body that merely
// reaches the bound is whole: no line.
TEST_P(EmailCampaignTest, BodyCutAtTheBoundIsLogged) {
    serve(QStringLiteral("plain"), QString::fromLatin1(kTlsNone));
    sql("UPDATE dbCFG SET BODY_EMAIL = ?", {QStringLiteral("<p>[TEXTO1]</p>")});
    ado()->dbCFG->refresh();
    const QString frame = QStringLiteral("<p></p>");
    const QStringList texto1{QStringLiteral("[TEXTO2]").repeated(2000), // 2000 x 1000 characters
                             QString(Merge::kEmailBound - frame.size(), QLatin1Char('b'))};
    RecipientRows rows = fakeRows({{"Ana", "ana@example.org"}, {"Bruno", "bruno@example.org"}});
    const RecipientRows plain = rows;
    rows.fields = [plain, texto1](int row) {
        const Merge::FieldLookup inner = plain.fields(row);
        return Merge::FieldLookup([inner, value = texto1.at(row)](const QString& f, QString* v) {
            if (f == "TEXTO1")
                *v = value;
            else if (f == "TEXTO2")
                *v = QString(1000, QLatin1Char('a'));
            else
                return inner(f, v);
            return true;
        });
    };
    m_campaign->setRecipients(rows);
    const EmailCampaign::Result r = m_campaign->run();
    ASSERT_EQ(r.outcome, EmailCampaign::Outcome::Finished) << r.error.toStdString();

    EXPECT_EQ(m_lines,
              QStringList({line(EmailCampaign::kConfigurando),
                           line(QStringLiteral(
                               " (ana@example.org) E-mail maior que 1.000.000 caracteres! Ajustado automaticamente!")),
                           line(EmailCampaign::kEnviada), line(EmailCampaign::kConfigurando),
                           line(EmailCampaign::kEnviada)}));
    const QList<HistoryRow> h = history();
    ASSERT_EQ(h.size(), 2);
    EXPECT_EQ(h[0].mensagem.size(), Merge::kEmailBound);
    EXPECT_TRUE(h[0].mensagem.startsWith("<p>aaaa"));
    EXPECT_EQ(h[1].mensagem.size(), Merge::kEmailBound);
    EXPECT_TRUE(h[1].mensagem.endsWith("b</p>"));
    EXPECT_EQ(m_server.received().size(), 2);
    static_cast<void>(m_campaign->client()->disconnectFromServer());
}

// Every message carries List-Unsubscribe and, with RODAPE_SAIR on, the footer with the same link; a recipient
// whose e-mail (any case) or phone is on the opt-out list gets nothing, one status line and no history row.
TEST_P(EmailCampaignTest, OptOutListAndUnsubscribeLink) {
    serve(QStringLiteral("plain"), QString::fromLatin1(kTlsNone));
    sql("UPDATE dbCFG SET RODAPE_SAIR = 1, BODY_EMAIL = '<html><body><p>Oi [NOME]</p></BODY></html>'");
    ASSERT_TRUE(SuppressionList::add(ado()->database(), "Bruno@Example.org", SuppressionList::kOrigemEmail).ok());
    // fakeRows gives TELEFONE as "TELEFONE-<name>": no number; the list holds none of these.
    ASSERT_TRUE(SuppressionList::add(ado()->database(), "11987654321", SuppressionList::kOrigemSms).ok());
    const EmailCampaign::Result r =
        run({{"Ana", "ana@example.org"}, {"Bruno", " bruno@EXAMPLE.org "}, {"Célia", "celia@example.org"}});
    ASSERT_EQ(r.outcome, EmailCampaign::Outcome::Finished) << r.error.toStdString();
    EXPECT_EQ(r.suppressed, 1);
    EXPECT_TRUE(m_lines.contains(line(QString::fromUtf8(" Descadastrado, não enviado: bruno@EXAMPLE.org"))))
        << m_lines.join('\n').toStdString();
    const QList<QJsonObject> got = m_server.received();
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[1]["rcpt_tos"].toArray().first().toString(), QStringLiteral("celia@example.org"));
    for (const QJsonObject& m : got) {
        EXPECT_TRUE(m["raw"].toString().contains("List-Unsubscribe: <mailto:loja@example.com?subject=SAIR>\r\n"))
            << m["raw"].toString().toStdString();
        const QString body = m["body"].toString();
        const qsizetype footer = body.indexOf(QString::fromUtf8(
            "<p style=\"font-size:12px;color:#666666\">Para não receber mais nossos e-mails, <a "
            "href=\"mailto:loja@example.com?subject=SAIR\">clique aqui</a> ou responda com SAIR.</p>"));
        EXPECT_GT(footer, body.indexOf("</p>")) << body.toStdString(); // after the message's own text
        EXPECT_LT(footer, body.indexOf("</BODY>")) << body.toStdString();
    }
    EXPECT_EQ(history().size(), 2);
    static_cast<void>(m_campaign->client()->disconnectFromServer());
}

// A sender address that would break the header or the link gives neither.
TEST(EmailCampaignText, UnsubscribeLinkRefusesUnsafeSenders) {
    EXPECT_EQ(EmailCampaign::unsubscribeLink(" loja@example.com "), "mailto:loja@example.com?subject=SAIR");
    for (const char* bad : {"", "loja", "lo ja@x.com", "loja@x.com\r\nBcc: y@z", "a>b@x.com", "a?b@x.com", "a\"b@x"})
        EXPECT_EQ(EmailCampaign::unsubscribeLink(QString::fromLatin1(bad)), QString()) << bad;
    EXPECT_EQ(EmailCampaign::withOptOutFooter("sem corpo", "mailto:a@b?subject=SAIR").left(10), "sem corpo\n");
}

INSTANTIATE_TEST_SUITE_P(Store, EmailCampaignTest, kBothStores, storeName);
