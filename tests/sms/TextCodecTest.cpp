// What reaches the modem between the prompt and the Ctrl-Z: the character sets of text mode, and
// the bytes that must never get there.
#include "sms/TextCodec.h"

#include <gtest/gtest.h>

TEST(TextCodec, CharactersInEachSet) {
    struct Case {
        const char* text; // UTF-8
        QByteArray latin1;
        QByteArray ira;
    };
    const Case cases[] = {
        {"João Conceição", "Jo\xe3o Concei\xe7\xe3o", "Joao Conceicao"},
        {"ÉÈÊËéèêë", "\xc9\xc8\xca\xcb\xe9\xe8\xea\xeb", "EEEEeeee"},
        {"ÁÀÂÃÄáàâãäÇçÑñÕõÚÜúü", "\xc1\xc0\xc2\xc3\xc4\xe1\xe0\xe2\xe3\xe4\xc7\xe7\xd1\xf1\xd5\xf5\xda\xdc\xfa\xfc",
         "AAAAAaaaaaCcNnOoUUuu"},
        {"R$ 10,00 ou 5 €", "R$ 10,00 ou 5 EUR", "R$ 10,00 ou 5 EUR"},
        {"“aspas” ‘simples’ „baixas“", "\"aspas\" 'simples' \"baixas\"", "\"aspas\" 'simples' \"baixas\""},
        {"a–b—c‐d−e", "a-b-c-d-e", "a-b-c-d-e"},
        {"fim…", "fim...", "fim..."},
        {"«citação»",
         "\xab"
         "cita\xe7\xe3o\xbb",
         "\"citacao\""},
        {"ß", "\xdf", "ss"},
        {"º ª ° £", "\xba \xaa \xb0 \xa3", "o a ? ?"},
        {"😀 emoji", "? emoji", "? emoji"},
        {"汉字", "??", "??"},
        {"Ω≈", "??", "??"},
        {"a\xc2\xa0"
         "b",
         "a b", "a b"},         // no-break space
        {"\xc2\x85", "?", "?"}, // a C1 control character is no text
        {"@_$#%&*()[]{}<>/\\|~^`", "@_$#%&*()[]{}<>/\\|~^`", "@_$#%&*()[]{}<>/\\|~^`"},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(TextCodec::encode(text, TextCharset::Latin1), c.latin1) << c.text;
        EXPECT_EQ(TextCodec::encode(text, TextCharset::Ira), c.ira) << c.text;
        for (const char b : TextCodec::encode(text, TextCharset::Ira))
            EXPECT_LT(static_cast<unsigned char>(b), 0x80) << c.text;
    }
}

// Control characters pass through the encoder unchanged, so that the checks around it see them.
TEST(TextCodec, ControlCharactersAreFoundNotHidden) {
    struct Case {
        QString text;
        bool control;
    };
    const Case cases[] = {
        {QStringLiteral("Maria\x1a"
                        "AT+CMGS=\"5511000000000\"\rtexto"),
         true},
        {QStringLiteral("esc\x1b"), true},
        {QStringLiteral("linha\r\nnova"), true},
        {QString(QChar(0)) + QStringLiteral("nul"), true},
        {QStringLiteral("del\x7f"), true},
        {QStringLiteral("\x01\x02\x03\x1f"), true},
        {QStringLiteral("tab\tx"), true},
        {QStringLiteral("Olá, tudo bem? 100% ~ ^"), false},
        {QString(), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextCodec::hasControl(c.text), c.control) << c.text.toStdString();
        for (const TextCharset set : {TextCharset::Latin1, TextCharset::Ira})
            EXPECT_EQ(TextCodec::hasControlByte(TextCodec::encode(c.text, set)), c.control) << c.text.toStdString();
    }
}

TEST(TextCodec, NumbersFitForTheCommandLine) {
    struct Case {
        const char* fone;
        bool valid;
    };
    const Case cases[] = {
        {"5511987654321", true},          {"+5511987654321", true},       {"", false},      {"+", false},
        {"5511\"\r\nAT+CMGS=1", false},   {"55 11 9876", false},          {"55+11", false}, {"++55", false},
        {"123456789012345678901", false}, {"12345678901234567890", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextCodec::validNumber(QString::fromLatin1(c.fone)), c.valid) << c.fone;
}
