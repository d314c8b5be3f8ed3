// `--send-email`: the recipient set from the local contacts under the group/status filter, the campaign
// over aiosmtpd, the printed status lines and the exit code.
#include "mail/EmailCampaignCommand.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "AiosmtpdServer.h"
#include "MailTestSupport.h"
#include "MissingPeer.h"

using namespace vestral::mail;

namespace {

class EmailCampaignCommandTestBase : public MailDatabaseTest {
protected:
    void SetUp() override {
        MailDatabaseTest::SetUp();
        if (HasFatalFailure())
            return;
        sql("INSERT INTO dbGRUPO (ID_GRUPO, GRUPO) VALUES (10, 'Clientes'), (11, 'Fornecedores'), (12, 'Vazio')");
        addContact("Ana", "ana@example.org", 10, false);
        addContact("Bia", "bia@example.org", 10, true);
        addContact("Caio", "caio@example.org", 11, false);
        addContact("Dora", "", 10, false);
    }
    void addContact(const char* nome, const char* email, int grupo, bool desativado) {
        sql("INSERT INTO dbCLIENTE (NOME, FONE, EMAIL, ID_GRUPO, DESATIVADO) VALUES (?, '5511999990000', ?, ?, ?)",
            {nome, email, grupo, desativado ? 1 : 0});
    }

    // The status is TDM's: 0 all, 1 active, 2 disabled.
    int run(const QString& group = QStringLiteral("TODOS"), int status = 0, bool external = false) {
        m_out.clear();
        m_err.clear();
        QTextStream out(&m_out);
        QTextStream err(&m_err);
        EmailCampaignCommand::Request request;
        request.group = group;
        request.status = status;
        request.external = external;
        request.filterGiven = group != QLatin1String("TODOS") || status != 0;
        return EmailCampaignCommand::run(ado(), request, out, err);
    }

    // The printed lines with their time stamps checked and removed.
    QStringList texts() const {
        static const QRegularExpression stamp(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d "));
        QStringList lines = m_out.split('\n', Qt::SkipEmptyParts);
        for (QString& l : lines) {
            EXPECT_TRUE(stamp.match(l).hasMatch()) << l.toStdString();
            l.remove(stamp);
        }
        return lines;
    }

    QString m_out;
    QString m_err;
};

} // namespace

class EmailCampaignCommandTest : public OnBothStores<EmailCampaignCommandTestBase> {};

TEST_P(EmailCampaignCommandTest, FilterChoosesTheRecipientsAsTheFilterButtonDoes) {
    if (const QString reason = AiosmtpdServer::unavailableReason(); !reason.isEmpty())
        VESTRAL_SKIP_MISSING_PEER(reason.toStdString());
    AiosmtpdServer server;
    const quint16 port = server.start(QStringLiteral("plain"));
    ASSERT_NE(port, 0);
    configure(QStringLiteral("127.0.0.1"), port, QString::fromLatin1(kTlsNone), false);

    ASSERT_EQ(run("Clientes", 1), 0) << m_err.toStdString();
    EXPECT_EQ(texts(), QStringList({"Configurando para envio da mensagem", "Mensagem enviada com sucesso",
                                    "Configurando para envio da mensagem", "sem E-mail para envio!"}));
    QList<QJsonObject> got = server.received();
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got[0]["rcpt_tos"].toArray().first().toString(), QStringLiteral("ana@example.org"));
    EXPECT_EQ(history().size(), 1);

    ASSERT_EQ(run("TODOS", 2), 0) << m_err.toStdString(); // every group
    got = server.received();
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[1]["rcpt_tos"].toArray().first().toString(), QStringLiteral("bia@example.org"));

    ASSERT_EQ(run("Vazio"), 0);
    EXPECT_EQ(m_out.trimmed(), QString::fromUtf8("Não existe contatos para enviar a(s) mensagem(s)!"));
}

TEST_P(EmailCampaignCommandTest, FailuresExitWithOneAndTheirText) {
    // A group that does not exist is said as such, not taken for an empty one.
    configure(QStringLiteral("127.0.0.1"), unusedPort(), QString::fromLatin1(kTlsNone), false);
    EXPECT_EQ(run(QString::fromUtf8("Ninguém")), 1);
    EXPECT_EQ(m_err.trimmed(), QString::fromUtf8("Grupo não encontrado: Ninguém"));
    EXPECT_TRUE(m_out.isEmpty()) << m_out.toStdString();
    EXPECT_EQ(run("clientes"), 1); // names are compared exactly, as the filter does

    configure(QStringLiteral("127.0.0.1"), unusedPort(), QString::fromLatin1(kTlsImplicit), false);
    EXPECT_EQ(run("Fornecedores"), 1);
    EXPECT_EQ(m_err.trimmed(), QStringLiteral("SSL IOHandler is required for this setting"));
    EXPECT_TRUE(history().isEmpty());

    sql("UPDATE dbCFG SET ADOCONNECTION = 'DSN=vestral_sem_fonte', QUERY = 'SELECT 1'");
    ado()->dbCFG->refresh();
    EXPECT_EQ(run("TODOS", 0, true), 1);
    EXPECT_TRUE(m_err.startsWith(QStringLiteral("Erro na conexão com o Banco de Dados:\n"))) << m_err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Store, EmailCampaignCommandTest, kBothStores, storeName);
