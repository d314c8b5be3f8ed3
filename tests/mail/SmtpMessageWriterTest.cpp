#include "mail/SmtpMessageWriter.h"

#include <QTimeZone>
#include <gtest/gtest.h>

using namespace vestral::mail;

namespace {

QDateTime at(int y, int mo, int d, int h, int mi, int s, int offsetSeconds) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone(offsetSeconds));
}

} // namespace

TEST(SmtpMessageWriter, DateForm) {
    EXPECT_EQ(formatSmtpDate(at(2026, 12, 9, 7, 5, 3, -3 * 3600)), "Wed, 9 Dec 2026 07:05:03 -0300");
    EXPECT_EQ(formatSmtpDate(at(2024, 2, 29, 23, 59, 59, 0)), "Thu, 29 Feb 2024 23:59:59 +0000");
    EXPECT_EQ(formatSmtpDate(at(2025, 6, 1, 0, 0, 0, 5 * 3600 + 45 * 60)), "Sun, 1 Jun 2025 00:00:00 +0545");
    EXPECT_EQ(formatSmtpDate(at(2025, 1, 13, 12, 0, 0, -(9 * 3600 + 30 * 60))), "Mon, 13 Jan 2025 12:00:00 -0930");
}

TEST(SmtpMessageWriter, HeaderTextEncoding) {
    struct Case {
        QString text;
        QByteArray wire;
    };
    const Case cases[] = {
        {"Promo de Natal", "Promo de Natal"},
        {QString::fromUtf8("Promoção"), "=?ISO-8859-1?Q?Promo=E7=E3o?="},
        {QString::fromUtf8("João da Silva"), "=?ISO-8859-1?Q?Jo=E3o_da_Silva?="},
        {QString::fromUtf8("Preço €10"), "=?UTF-8?Q?Pre=C3=A7o_=E2=82=AC10?="},
        {QString::fromUtf8("a_b=c?"), "a_b=c?"},
        {QString::fromUtf8("ç_=?"), "=?ISO-8859-1?Q?=E7=5F=3D=3F?="},
        // A line break in merged data must not start a new header.
        {"Oi\r\nBcc: x@y.z", "=?ISO-8859-1?Q?Oi=0D=0ABcc=3A_x=40y=2Ez?="},
    };
    for (const Case& c : cases)
        EXPECT_EQ(encodeHeaderText(c.text), c.wire) << c.text.toStdString();
}

TEST(SmtpMessageWriter, LongTextSplitsIntoWordsOfAtMost75) {
    const QString text = QString::fromUtf8("Ação ").repeated(20) + QString::fromUtf8("😀");
    const QByteArray wire = encodeHeaderText(text);
    const QList<QByteArray> words = wire.split('\n');
    ASSERT_GT(words.size(), 1);
    for (QByteArray word : words) {
        word = word.trimmed();
        EXPECT_LE(word.size(), 75) << word.constData();
        EXPECT_TRUE(word.startsWith("=?UTF-8?Q?") && word.endsWith("?=")) << word.constData();
        // No UTF-8 sequence is cut: each word decodes on its own.
        QByteArray raw = QByteArray::fromPercentEncoding(word.mid(10, word.size() - 12).replace('=', '%'));
        EXPECT_FALSE(QString::fromUtf8(raw).contains(QChar::ReplacementCharacter)) << word.constData();
    }
}

TEST(SmtpMessageWriter, Mailboxes) {
    EXPECT_EQ(formatMailbox({}, "a@b.c"), "<a@b.c>");
    EXPECT_EQ(formatMailbox("Maria", "a@b.c"), "Maria <a@b.c>");
    EXPECT_EQ(formatMailbox("[a@b.c]", "a@b.c"), "\"[a@b.c]\" <a@b.c>");
    EXPECT_EQ(formatMailbox("Say \"hi\"", "a@b.c"), "\"Say \\\"hi\\\"\" <a@b.c>");
    EXPECT_EQ(formatMailbox(QString::fromUtf8("José"), "a@b.c"), "=?ISO-8859-1?Q?Jos=E9?= <a@b.c>");
}

// Hostile display names: control characters from merged data are dropped, a name that a mail program would
// decode as an encoded word is encoded itself, and blanks around an address do not reach the header.
TEST(SmtpMessageWriter, DisplayNameHygiene) {
    struct Case {
        QString name;
        QString address;
        QByteArray wire;
    };
    const Case cases[] = {
        {"Ana\r\nBcc: x@y.z", "a@b.c", "\"AnaBcc: x@y.z\" <a@b.c>"},
        {QString::fromUtf8("Jo\x1b[31mão\t"), "a@b.c", "=?ISO-8859-1?Q?Jo=5B31m=E3o?= <a@b.c>"},
        {"=?UTF-8?B?QWRtaW4=?=", "a@b.c", "=?ISO-8859-1?Q?=3D=3FUTF-8=3FB=3FQWRtaW4=3D=3F=3D?= <a@b.c>"},
        {"Ana", "  a@b.c \t", "Ana <a@b.c>"},
        {"\x01\x02", "a@b.c", "<a@b.c>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatMailbox(c.name, c.address), c.wire) << c.name.toStdString();
}

// Every header line stays within what servers accept (998) and what RFC 5322 recommends (78), encoded-word
// lines within 76 (RFC 2047, 2); unfolding gives the text back.
TEST(SmtpMessageWriter, LongSubjectsAndNamesFold) {
    const QString cases[] = {
        QStringLiteral("Oferta especial de fim de ano ").repeated(44).left(1300),
        QString::fromUtf8("Promoção relâmpago ").repeated(69).left(1300),
        QString(1300, u'x'),
        QStringLiteral("curto =?ISO-8859-1?Q?abc?= fim"),
    };
    for (const QString& text : cases) {
        SCOPED_TRACE(text.left(30).toStdString());
        EmailMessage m;
        m.fromAddress = "a@b.c";
        m.toAddress = "d@e.f";
        m.toName = text;
        m.subject = text;
        const QByteArray message = writeSmtpMessage(m, at(2026, 1, 1, 0, 0, 0, 0));
        const QByteArray headers = message.left(message.indexOf("\r\n\r\n"));
        for (const QByteArray& line : headers.split('\n')) {
            const QByteArray bare = line.endsWith('\r') ? line.chopped(1) : line;
            EXPECT_LE(bare.size(), bare.contains("=?") ? 76 : 78) << bare.constData();
        }
        const QByteArray subject = encodeHeaderText(text, 9);
        QByteArray unfolded = subject;
        unfolded.replace("\r\n", "");
        if (!subject.contains("=?")) {
            EXPECT_EQ(QString::fromLatin1(unfolded), text);
        }
        EXPECT_FALSE(subject.contains("=?ISO-8859-1?Q?abc?=")); // never passed on to be decoded
    }
}

TEST(SmtpMessageWriter, SafeAddresses) {
    EXPECT_TRUE(isSafeAddress("ana@example.com"));
    EXPECT_FALSE(isSafeAddress(""));
    EXPECT_FALSE(isSafeAddress("a@b.c>\r\nRCPT TO:<x@y.z"));
    EXPECT_FALSE(isSafeAddress("a b@c.d"));
    EXPECT_FALSE(isSafeAddress("a@b.c\n"));
}

TEST(SmtpMessageWriter, WholeMessage) {
    EmailMessage m;
    m.fromAddress = "loja@example.com";
    m.fromName = "[loja@example.com]";
    m.toAddress = "ana@example.org";
    m.toName = QString::fromUtf8("Ana Conceição");
    m.subject = "Oferta";
    m.htmlBody = QString::fromUtf8("<p>Olá</p>\n.\n..x\r\n.fim\rúltima");
    const QByteArray expected = "From: \"[loja@example.com]\" <loja@example.com>\r\n"
                                "Subject: Oferta\r\n"
                                "To: =?ISO-8859-1?Q?Ana_Concei=E7=E3o?= <ana@example.org>\r\n"
                                "Content-Type: text/html; charset=UTF-8\r\n"
                                "MIME-Version: 1.0\r\n"
                                "Date: Wed, 9 Dec 2026 07:05:03 -0300\r\n"
                                "\r\n"
                                "<p>Ol\xC3\xA1</p>\r\n"
                                "..\r\n"
                                "...x\r\n"
                                "..fim\r\n"
                                "\xC3\xBAltima\r\n"
                                "\r\n";
    EXPECT_EQ(writeSmtpMessage(m, at(2026, 12, 9, 7, 5, 3, -3 * 3600)), expected);
}

TEST(SmtpMessageWriter, EmptySubjectLeavesHeaderOut) {
    EmailMessage m;
    m.fromAddress = "a@b.c";
    m.toAddress = "d@e.f";
    const QByteArray text = writeSmtpMessage(m, at(2026, 1, 1, 0, 0, 0, 0));
    EXPECT_FALSE(text.contains("Subject:"));
    EXPECT_FALSE(text.contains("X-Mailer"));
    EXPECT_FALSE(text.contains("Message-ID"));
    EXPECT_TRUE(text.endsWith("\r\n\r\n\r\n"));
}

// Servers refuse lines over 998 octets; a body holding one goes quoted-printable, which decodes back exactly.
TEST(SmtpMessageWriter, OverlongBodyLineGoesQuotedPrintable) {
    EmailMessage m;
    m.fromAddress = "a@b.c";
    m.toAddress = "d@e.f";
    const QString longLine = QString::fromUtf8("<td>preço = 10 </td>").repeated(60) + QStringLiteral(" ");
    m.htmlBody = QStringLiteral("<p>curta</p>\n") + longLine + QStringLiteral("\n.linha");
    const QByteArray text = writeSmtpMessage(m, at(2026, 1, 1, 0, 0, 0, 0));
    EXPECT_TRUE(text.contains("\r\nContent-Transfer-Encoding: quoted-printable\r\nDate: "));
    const qsizetype bodyStart = text.indexOf("\r\n\r\n") + 4;
    QByteArray decoded;
    for (QByteArray line : text.mid(bodyStart).split('\n')) {
        line.chop(line.endsWith('\r') ? 1 : 0);
        EXPECT_LE(line.size(), 76);
        EXPECT_FALSE(line.startsWith('.')) << line.constData();
        if (line.endsWith('=')) {
            decoded += line.chopped(1);
        } else {
            decoded += line + '\n';
        }
    }
    decoded.replace('=', '%');
    EXPECT_EQ(QString::fromUtf8(QByteArray::fromPercentEncoding(decoded)),
              QStringLiteral("<p>curta</p>\n") + longLine + QStringLiteral("\n.linha\n\n\n"));
}
