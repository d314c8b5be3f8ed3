#include "mail/SmtpReply.h"

#include <QRandomGenerator>
#include <cctype>
#include <gtest/gtest.h>

using namespace vestral::mail;
using Status = SmtpReplyParse::Status;

namespace {

struct ReplyCase {
    const char* name;
    QByteArray wire;
    Status status;
    int code;
    QStringList lines;
    qsizetype consumed;
};

const ReplyCase kReplyCases[] = {
    {"single", "250 OK\r\n", Status::Complete, 250, {"OK"}, 8},
    {"bare code", "354\r\n", Status::Complete, 354, {""}, 5},
    {"bare LF", "220 ready\n", Status::Complete, 220, {"ready"}, 10},
    {"multi-line EHLO",
     "250-mx.example\r\n250-PIPELINING\r\n250 AUTH LOGIN PLAIN\r\n",
     Status::Complete,
     250,
     {"mx.example", "PIPELINING", "AUTH LOGIN PLAIN"},
     54},
    {"continuation with empty text", "250-\r\n250 last\r\n", Status::Complete, 250, {"", "last"}, 16},
    {"next reply left in buffer", "250 a\r\n354 b\r\n", Status::Complete, 250, {"a"}, 7},
    {"no line end yet", "250 OK", Status::Incomplete, 0, {}, 0},
    {"continuation without last line", "250-one\r\n250-two\r\n", Status::Incomplete, 0, {}, 0},
    {"empty", "", Status::Incomplete, 0, {}, 0},
    {"letters for code", "OK 250\r\n", Status::Malformed, 0, {}, 0},
    {"short code", "25\r\n", Status::Malformed, 0, {}, 0},
    {"bad separator", "250+x\r\n", Status::Malformed, 0, {}, 0},
    {"codes differ", "250-a\r\n550 b\r\n", Status::Malformed, 0, {}, 0},
    {"empty line", "\r\n", Status::Malformed, 0, {}, 0},
};

class ReplyTable : public testing::TestWithParam<ReplyCase> {};

} // namespace

TEST_P(ReplyTable, ParsesWholeBuffer) {
    const ReplyCase& c = GetParam();
    const SmtpReplyParse parsed = parseSmtpReply(c.wire);
    ASSERT_EQ(parsed.status, c.status);
    if (c.status == Status::Complete) {
        EXPECT_EQ(parsed.reply.code, c.code);
        EXPECT_EQ(parsed.reply.lines, c.lines);
        EXPECT_EQ(parsed.consumed, c.consumed);
    }
}

// Bytes arrive in any split: every proper prefix of a complete reply is incomplete, never malformed.
TEST_P(ReplyTable, ByteByByteNeverCompletesEarly) {
    const ReplyCase& c = GetParam();
    if (c.status != Status::Complete)
        return;
    for (qsizetype n = 0; n < c.consumed; ++n)
        EXPECT_EQ(parseSmtpReply(QByteArrayView(c.wire).first(n)).status, Status::Incomplete) << n;
}

std::string caseName(const testing::TestParamInfo<ReplyCase>& param) {
    std::string name = param.param.name;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Smtp, ReplyTable, testing::ValuesIn(kReplyCases), caseName);

TEST(SmtpReply, TextJoinsLinesWithoutCodes) {
    const SmtpReplyParse parsed = parseSmtpReply("550-5.1.1 No such user\r\n550 5.1.1 Try again\r\n");
    EXPECT_EQ(parsed.reply.text(), QStringLiteral("5.1.1 No such user\r\n5.1.1 Try again"));
}

TEST(SmtpReply, OverlongLineOrReplyIsRefused) {
    EXPECT_EQ(parseSmtpReply(QByteArray(kMaxReplyLineLength + 10, 'x')).status, Status::Malformed);
    QByteArray many;
    for (qsizetype i = 0; i <= kMaxReplyLines; ++i)
        many += "250-x\r\n";
    EXPECT_EQ(parseSmtpReply(many).status, Status::Malformed);
}

// Random input must never crash, and a complete parse never claims more bytes than it was given.
TEST(SmtpReply, RandomInputIsHandled) {
    QRandomGenerator rng(20261209);
    const QByteArray alphabet = "0123456789 -\r\nABC=";
    for (int round = 0; round < 20000; ++round) {
        QByteArray input(rng.bounded(64), '\0');
        for (char& c : input)
            c = rng.bounded(4) == 0 ? static_cast<char>(rng.bounded(256)) : alphabet[rng.bounded(alphabet.size())];
        const SmtpReplyParse parsed = parseSmtpReply(input);
        if (parsed.status == Status::Complete) {
            ASSERT_GT(parsed.consumed, 0);
            ASSERT_LE(parsed.consumed, input.size());
            ASSERT_GE(parsed.reply.code, 0);
            ASSERT_LE(parsed.reply.code, 999);
        }
    }
}

TEST(SmtpCapabilities, AuthMechanisms) {
    struct Case {
        QStringList caps;
        QStringList mechanisms;
    };
    const Case cases[] = {
        {{"PIPELINING", "AUTH LOGIN PLAIN"}, {"LOGIN", "PLAIN"}},
        {{"AUTH=LOGIN"}, {"LOGIN"}},
        {{"auth plain login", "AUTH=CRAM-MD5 LOGIN"}, {"PLAIN", "LOGIN", "CRAM-MD5"}},
        {{"AUTH PLAIN"}, {"PLAIN"}},
        {{"AUTHLOGIN", "XAUTH LOGIN", "AUTH"}, {}},
        {{}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(authMechanisms(c.caps), c.mechanisms) << c.caps.join(u'|').toStdString();
}

TEST(SmtpCapabilities, KeywordComparedWithoutCase) {
    const QStringList caps = {"8BITMIME", "starttls", "SIZE 1000"};
    EXPECT_TRUE(hasCapability(caps, u"STARTTLS"));
    EXPECT_TRUE(hasCapability(caps, u"SIZE"));
    EXPECT_FALSE(hasCapability(caps, u"PIPELINING"));
    EXPECT_FALSE(hasCapability({"STARTTLSX"}, u"STARTTLS"));
}
