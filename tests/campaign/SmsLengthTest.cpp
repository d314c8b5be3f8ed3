// How long an SMS text may be, by sending mode: the editors' counter and limit, and the outbox builder's cut.
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

#include "campaign/OutboxBuilder.h"
#include "campaign/SmsEditRules.h"
#include "campaign/SmsTextEditor.h"
#include "sms/PduEncoder.h"

namespace {

const QString kEmoji = QString::fromUtf8("😀"); // a surrogate pair
const QChar kCedilla(0x00E7);                  // "ç": not in the GSM alphabet (0x09 is "Ç")
const QChar kEuro(0x20AC);                     // GSM extension table: escape + septet

QString times(const QString& s, int n) {
    return s.repeated(n);
}

struct CounterCase {
    const char* name;
    SmsMode mode;
    QString text;
    const char* counter;
};

class Counter : public ::testing::TestWithParam<CounterCase> {};

TEST_P(Counter, ReadsTheRealEncoding) {
    EXPECT_EQ(SmsEditRules::counterText(GetParam().mode, GetParam().text), QString::fromUtf8(GetParam().counter));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Counter,
    ::testing::Values(
        CounterCase{"textEmpty", SmsMode::Text, "", "Total Caracteres: 0"},
        CounterCase{"text160", SmsMode::Text, QString(160, 'a'), "Total Caracteres: 160"},
        CounterCase{"gsm160", SmsMode::Pdu, QString(160, 'a'), "Total Caracteres: 160 (1 SMS)"},
        CounterCase{"gsm161", SmsMode::Pdu, QString(161, 'a'), "Total Caracteres: 161 (2 SMS)"},
        CounterCase{"gsm306", SmsMode::Pdu, QString(306, 'a'), "Total Caracteres: 306 (2 SMS)"},
        CounterCase{"gsm307", SmsMode::Pdu, QString(307, 'a'), "Total Caracteres: 307 (3 SMS)"},
        // An extension character takes two septets: 80 of them fill one SMS, 81 need two.
        CounterCase{"euro80", SmsMode::Pdu, QString(80, kEuro), "Total Caracteres: 80 (1 SMS)"},
        CounterCase{"euro81", SmsMode::Pdu, QString(81, kEuro), "Total Caracteres: 81 (2 SMS)"},
        CounterCase{"euroAfter159", SmsMode::Pdu, QString(159, 'a') + kEuro, "Total Caracteres: 160 (2 SMS)"},
        CounterCase{"ucs70", SmsMode::Pdu, QString(70, kCedilla), "Total Caracteres: 70 (1 SMS)"},
        CounterCase{"ucs71", SmsMode::Pdu, QString(71, kCedilla), "Total Caracteres: 71 (2 SMS)"},
        CounterCase{"ucs134", SmsMode::Pdu, QString(134, kCedilla), "Total Caracteres: 134 (2 SMS)"},
        CounterCase{"ucs135", SmsMode::Pdu, QString(135, kCedilla), "Total Caracteres: 135 (3 SMS)"},
        // One "ç" turns a whole GSM text into UCS-2.
        CounterCase{"gsm100PlusCedilla", SmsMode::Pdu, QString(100, 'a') + kCedilla, "Total Caracteres: 101 (2 SMS)"},
        // The pair counts as one character; it fits a single SMS at units 69-70, but is not split across parts:
        // 66 + pair + 66 would be 134 units (2 parts) if it could be, and takes 3.
        CounterCase{"pairEndsSingle", SmsMode::Pdu, QString(68, kCedilla) + kEmoji, "Total Caracteres: 69 (1 SMS)"},
        CounterCase{"pairAtPartEdge", SmsMode::Pdu, QString(66, kCedilla) + kEmoji + QString(66, kCedilla),
                    "Total Caracteres: 133 (3 SMS)"},
        CounterCase{"gsm918", SmsMode::Pdu, QString(918, 'a'), "Total Caracteres: 918 (6 SMS)"}),
    [](const auto& tp) { return std::string(tp.param.name); });

struct InsertCase {
    const char* name;
    SmsMode mode;
    QString text;
    int from, to;
    QString inserted;
    QString accepted;
};

class Insertion : public ::testing::TestWithParam<InsertCase> {};

TEST_P(Insertion, KeepsTheTextWithinTheModesLimit) {
    const InsertCase& c = GetParam();
    EXPECT_EQ(SmsEditRules::fitInsertion(c.mode, c.text, c.from, c.to, c.inserted), c.accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Insertion,
    ::testing::Values(InsertCase{"text159", SmsMode::Text, QString(159, 'a'), 159, 159, "bc", "b"},
                      InsertCase{"text160Full", SmsMode::Text, QString(160, 'a'), 160, 160, "b", ""},
                      InsertCase{"text160ReplacesSelection", SmsMode::Text, QString(160, 'a'), 0, 1, "b", "b"},
                      InsertCase{"pduOverTextLimit", SmsMode::Pdu, QString(160, 'a'), 160, 160, "b", "b"},
                      InsertCase{"pdu917", SmsMode::Pdu, QString(917, 'a'), 917, 917, "bc", "b"},
                      InsertCase{"pdu918Full", SmsMode::Pdu, QString(918, 'a'), 918, 918, "b", ""},
                      InsertCase{"pdu918ReplacesSelection", SmsMode::Pdu, QString(918, 'a'), 10, 12, "bc", "bc"},
                      // 500 GSM characters are 4 parts; one "ç" would make them 501 UCS-2 units, 8 parts: refused.
                      InsertCase{"pduCedillaIntoLongGsm", SmsMode::Pdu, QString(500, 'a'), 250, 250, QString(kCedilla),
                                 ""},
                      InsertCase{"pduUcs401", SmsMode::Pdu, QString(401, kCedilla), 0, 0, QString::fromUtf8("ãõ"), "ã"},
                      InsertCase{"pduPairNeverHalved", SmsMode::Pdu, QString(401, kCedilla), 401, 401, kEmoji, ""},
                      InsertCase{"pduPasteCut", SmsMode::Pdu, "", 0, 0, QString(1000, 'x'), QString(918, 'x')},
                      InsertCase{"pduPastePairs", SmsMode::Pdu, "", 0, 0, times(kEmoji, 300), times(kEmoji, 198)},
                      InsertCase{"pduEuroNotSplit", SmsMode::Pdu, QString(917, 'a'), 917, 917, QString(kEuro), ""}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST(SmsEditRules, CharactersByMode) {
    const std::tuple<char32_t, bool, bool> cases[] = {
        // code, text mode, PDU mode
        {'a', true, true},    {8, true, true},        {9, true, true},          {'@', false, true},
        {'"', false, true},   {0x00E7, false, true},  {0x1F600, false, true},   {'\r', false, false},
        {'\n', false, false}, {0x1A, false, false},   {0x1B, false, false},     {0x7F, false, false},
        {0x85, false, false}, {0xD800, false, false}, {0x110000, false, false},
    };
    for (const auto& [code, text, pduMode] : cases) {
        EXPECT_EQ(SmsEditRules::accepts(SmsMode::Text, code), text) << std::hex << unsigned(code);
        EXPECT_EQ(SmsEditRules::accepts(SmsMode::Pdu, code), pduMode) << std::hex << unsigned(code);
    }
    EXPECT_EQ(SmsEditRules::modeOf("PDU"), SmsMode::Pdu);
    EXPECT_EQ(SmsEditRules::modeOf("pdu"), SmsMode::Text);
    EXPECT_EQ(SmsEditRules::modeOf(""), SmsMode::Text);
}

TEST(SmsTextEditor, PduModeTakesAccentsUpToSixParts) {
    SmsTextEditor editor;
    QLabel counter;
    editor.setCounter(&counter);
    editor.setMode(SmsMode::Pdu);
    QKeyEvent accented(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("ç"));
    QApplication::sendEvent(&editor, &accented);
    QTest::keyClicks(&editor, "a@b");
    QTest::keyClick(&editor, Qt::Key_Return);
    EXPECT_EQ(editor.toPlainText(), QString::fromUtf8("ça@b"));
    EXPECT_EQ(counter.text(), "Total Caracteres: 4 (1 SMS)");
    editor.setPlainText(QString(401, kCedilla));
    editor.moveCursor(QTextCursor::End);
    QKeyEvent emoji(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, kEmoji);
    QApplication::sendEvent(&editor, &emoji);
    QApplication::sendEvent(&editor, &accented);
    QApplication::sendEvent(&editor, &accented);
    EXPECT_EQ(editor.toPlainText(), QString(402, kCedilla));
    EXPECT_EQ(counter.text(), "Total Caracteres: 402 (6 SMS)");
    // Back in text mode the counter is the plain count again, and nothing more may be typed.
    editor.setMode(SmsMode::Text);
    EXPECT_EQ(counter.text(), "Total Caracteres: 402");
    QTest::keyClick(&editor, 'a');
    EXPECT_EQ(editor.toPlainText().size(), 402);
}

struct FitCase {
    const char* name;
    SmsMode mode;
    QString merged;
    QString expected;
    bool cut;
};

class Fit : public ::testing::TestWithParam<FitCase> {};

TEST_P(Fit, CutsOnlyWhatTheModeCannotSend) {
    const FitCase& c = GetParam();
    const OutboxBuilder::Fitted f = OutboxBuilder::fitText(c.merged, c.mode);
    EXPECT_EQ(f.text, c.expected);
    EXPECT_EQ(f.cut, c.cut);
    if (c.mode == SmsMode::Pdu) {
        EXPECT_LE(pdu::countSms(f.text).parts, pdu::kMaxParts);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Fit,
    ::testing::Values(FitCase{"text160", SmsMode::Text, QString(160, 'a'), QString(160, 'a'), false},
                      FitCase{"text161", SmsMode::Text, QString(161, 'a'), QString(160, 'a'), true},
                      FitCase{"textControls", SmsMode::Text,
                              "a\x1A"
                              "b\r\n\x1B",
                              "a b   ", false},
                      FitCase{"pduEmpty", SmsMode::Pdu, "", "", false},
                      FitCase{"pdu161Whole", SmsMode::Pdu, QString(161, 'a'), QString(161, 'a'), false},
                      FitCase{"pduExactlySixParts", SmsMode::Pdu, QString(918, 'a'), QString(918, 'a'), false},
                      FitCase{"pdu919", SmsMode::Pdu, QString(919, 'a'), QString(918, 'a'), true},
                      FitCase{"pduUcsExactlySixParts", SmsMode::Pdu, QString(402, kCedilla), QString(402, kCedilla),
                              false},
                      FitCase{"pduUcs403", SmsMode::Pdu, QString(403, kCedilla), QString(402, kCedilla), true},
                      // Escape pairs are not split: 76 euros (152 septets) per part.
                      FitCase{"pduEuros", SmsMode::Pdu, QString(459, kEuro), QString(456, kEuro), true},
                      FitCase{"pduPairs", SmsMode::Pdu, times(kEmoji, 201), times(kEmoji, 198), true},
                      // Control characters are blanks before the count: 919 ESC would be 919 blanks, one too many.
                      FitCase{"pduControlsBlanked", SmsMode::Pdu, QString(919, QChar(0x1B)), QString(918, ' '), true},
                      FitCase{"pduUcsWithControls", SmsMode::Pdu, QString(400, kCedilla) + "\r\n",
                              QString(400, kCedilla) + "  ", false}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST(OutboxBuilderText, LogLineAndMergeBoundByMode) {
    EXPECT_EQ(OutboxBuilder::cutLogLine("11987654321", SmsMode::Text),
              " (11987654321) SMS maior que 160 caracteres! Ajustado automaticamente!");
    EXPECT_EQ(OutboxBuilder::cutLogLine("11987654321", SmsMode::Pdu),
              " (11987654321) SMS maior que 6 partes! Ajustado automaticamente!");
    EXPECT_EQ(OutboxBuilder::mergeBound(SmsMode::Text), 1600);
    EXPECT_EQ(OutboxBuilder::mergeBound(SmsMode::Pdu), 9180);
    // The outbox column holds the longest text six parts carry, and no more is ever needed.
    EXPECT_EQ(pdu::countSms(QString(kSmsColumnMaxChars, 'a')).parts, pdu::kMaxParts);
    EXPECT_EQ(pdu::countSms(QString(kSmsColumnMaxChars + 1, 'a')).parts, pdu::kMaxParts + 1);
}

} // namespace
