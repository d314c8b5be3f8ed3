#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include "app/UpdateCheck.h"

namespace {

// A one-file HTTP server on loopback: answers every request with the given body.
class TinyHttpServer : public QObject {
public:
    explicit TinyHttpServer(QByteArray body, int status = 200) : m_body(std::move(body)), m_status(status) {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* s = m_server.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [this, s] {
                m_request += s->readAll();
                if (!m_request.contains("\r\n\r\n"))
                    return;
                s->write("HTTP/1.1 " + QByteArray::number(m_status) + " X\r\nContent-Length: " +
                         QByteArray::number(m_body.size()) + "\r\nConnection: close\r\n\r\n" + m_body);
                s->disconnectFromHost();
            });
        });
    }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort()); }
    QByteArray request() const { return m_request; }

private:
    QTcpServer m_server;
    QByteArray m_body;
    int m_status;
    QByteArray m_request;
};

struct CheckCase {
    const char* name;
    QByteArray body;
    int status;
    bool offered;
    QString offeredText;
};

class UpdateCheckCases : public ::testing::TestWithParam<CheckCase> {};

TEST_P(UpdateCheckCases, OffersOnlyADifferentText) {
    const CheckCase& c = GetParam();
    TinyHttpServer server(c.body, c.status);
    qputenv("VESTRAL_UPDATE_URL", server.base().toUtf8());
    UpdateCheck check;
    check.setVersion("3.0.0.7");
    check.setOnlineProbe([] { return true; });
    QSignalSpy offered(&check, &UpdateCheck::newVersionOffered);
    QSignalSpy finished(&check, &UpdateCheck::finished);
    check.timer()->start();
    check.run();
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_FALSE(check.timer()->isActive()); // once per run
    EXPECT_EQ(finished[0][0].toBool(), false);
    ASSERT_EQ(offered.size(), c.offered ? 1 : 0);
    if (c.offered) {
        EXPECT_EQ(offered[0][0].toString(), c.offeredText);
    }
    EXPECT_TRUE(server.request().startsWith("GET /sms_atualiza/atualiza.txt "));
    EXPECT_TRUE(server.request().contains("User-Agent: MyApp"));
    qunsetenv("VESTRAL_UPDATE_URL");
}

QByteArray longBody() {
    QByteArray b;
    for (int i = 0; i < 300; ++i)
        b += "1.2.3.4|";
    return b; // 2400 bytes: read in three chunks
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateCheckCases,
    ::testing::Values(CheckCase{"equal", "3.0.0.7", 200, false, {}},
                      CheckCase{"trailingLineBreak", "3.0.0.7\r\n", 200, true, "3.0.0.7\r\n"},
                      CheckCase{"emptyBody", "", 200, true, ""}, CheckCase{"newer", "3.0.1.0", 200, true, "3.0.1.0"},
                      CheckCase{"longBody", longBody(), 200, true, QString::fromLatin1(longBody())},
                      CheckCase{"zeroByteCutsChunk", QByteArray("3.0.0.7\0junk", 12), 200, false, {}},
                      CheckCase{"errorPage", "<html>404</html>", 404, false, {}}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST(UpdateCheck, NoServerNoDialogNoRetry) {
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 port = closed.serverPort();
    closed.close();
    qputenv("VESTRAL_UPDATE_URL", QStringLiteral("http://127.0.0.1:%1/").arg(port).toUtf8());
    UpdateCheck check;
    check.setOnlineProbe([] { return true; });
    QSignalSpy offered(&check, &UpdateCheck::newVersionOffered);
    QSignalSpy finished(&check, &UpdateCheck::finished);
    check.run();
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_TRUE(offered.isEmpty());
    EXPECT_FALSE(check.timer()->isActive());
    qunsetenv("VESTRAL_UPDATE_URL");
}

TEST(UpdateCheck, OfflineStopsAtOnce) {
    UpdateCheck check;
    check.setOnlineProbe([] { return false; });
    QSignalSpy finished(&check, &UpdateCheck::finished);
    check.run();
    ASSERT_EQ(finished.size(), 1);
    EXPECT_FALSE(check.timer()->isActive());
}

TEST(WebTextFetch, ChunksAreCutAtTheirFirstZeroByte) {
    EXPECT_EQ(WebTextFetch::appendChunk("ab", QByteArray("cd\0ef", 5)), "abcd");
    EXPECT_EQ(WebTextFetch::appendChunk("", QByteArray("\0x", 2)), "");
    EXPECT_EQ(WebTextFetch::appendChunk("", "\xe9"), QString::fromUtf8("é")); // 8-bit text
}

} // namespace
