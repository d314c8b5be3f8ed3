#include "modem/PinMask.h"

#include <gtest/gtest.h>

namespace {

// The PIN never shows, whole or cut anywhere between two reads of the port, and nothing else changes.
TEST(PinMask, HidesThePinInEveryCut) {
    const QByteArray echo = "AT+CPIN=\"4821\"\r\r\nOK\r\n";
    const QByteArray masked = "AT+CPIN=\"****\"\r\r\nOK\r\n";
    EXPECT_EQ(PinMask::masked(echo), masked);
    for (qsizetype cut = 0; cut <= echo.size(); ++cut) {
        PinMask mask;
        QByteArray out = mask.filter(echo.left(cut));
        out.append(mask.filter(echo.mid(cut)));
        EXPECT_EQ(out, masked) << cut;
    }
    PinMask bytewise;
    QByteArray out;
    for (const char c : "at+cpin=\"12345678\"\r+CPIN: READY\r\n")
        out.append(bytewise.filter(QByteArrayView(&c, 1)));
    EXPECT_FALSE(out.contains("1234")) << out.constData();
    EXPECT_TRUE(out.contains("+CPIN: READY"));
    // A PIN cut by a line end: the mask stops there and the next line is untouched.
    EXPECT_EQ(PinMask::masked("AT+CPIN=\"12\r\nOK\r\n"), QByteArray("AT+CPIN=\"**\r\nOK\r\n"));
    EXPECT_EQ(PinMask::masked("+CMGS: 12\r\nOK\r\n"), QByteArray("+CMGS: 12\r\nOK\r\n"));
}

} // namespace
