#include "sms/GsmAlphabet.h"

#include <QList>

#include <array>

namespace gsm7 {
namespace {

// Basic table, septet -> UTF-16 (every entry is in the BMP). 0x1B is the escape (never a character of its own).
constexpr std::array<char16_t, 128> kBasic = {
    u'@',      u'\u00A3', u'$',      u'\u00A5', u'\u00E8', u'\u00E9', u'\u00F9', u'\u00EC', // 0x00
    u'\u00F2', u'\u00C7', u'\n',     u'\u00D8', u'\u00F8', u'\r',     u'\u00C5', u'\u00E5', // 0x08
    u'\u0394', u'_',      u'\u03A6', u'\u0393', u'\u039B', u'\u03A9', u'\u03A0', u'\u03A8', // 0x10
    u'\u03A3', u'\u0398', u'\u039E', u' ',      u'\u00C6', u'\u00E6', u'\u00DF', u'\u00C9', // 0x18
    u' ',      u'!',      u'"',      u'#',      u'\u00A4', u'%',      u'&',      u'\'',     // 0x20
    u'(',      u')',      u'*',      u'+',      u',',      u'-',      u'.',      u'/',      // 0x28
    u'0',      u'1',      u'2',      u'3',      u'4',      u'5',      u'6',      u'7',      // 0x30
    u'8',      u'9',      u':',      u';',      u'<',      u'=',      u'>',      u'?',      // 0x38
    u'\u00A1', u'A',      u'B',      u'C',      u'D',      u'E',      u'F',      u'G',      // 0x40
    u'H',      u'I',      u'J',      u'K',      u'L',      u'M',      u'N',      u'O',      // 0x48
    u'P',      u'Q',      u'R',      u'S',      u'T',      u'U',      u'V',      u'W',      // 0x50
    u'X',      u'Y',      u'Z',      u'\u00C4', u'\u00D6', u'\u00D1', u'\u00DC', u'\u00A7', // 0x58
    u'\u00BF', u'a',      u'b',      u'c',      u'd',      u'e',      u'f',      u'g',      // 0x60
    u'h',      u'i',      u'j',      u'k',      u'l',      u'm',      u'n',      u'o',      // 0x68
    u'p',      u'q',      u'r',      u's',      u't',      u'u',      u'v',      u'w',      // 0x70
    u'x',      u'y',      u'z',      u'\u00E4', u'\u00F6', u'\u00F1', u'\u00FC', u'\u00E0', // 0x78
};

struct Extension {
    std::uint8_t septet;
    char16_t ch;
};

constexpr std::array<Extension, 10> kExtension = {{
    {0x0A, u'\f'},
    {0x14, u'^'},
    {0x28, u'{'},
    {0x29, u'}'},
    {0x2F, u'\\'},
    {0x3C, u'['},
    {0x3D, u'~'},
    {0x3E, u']'},
    {0x40, u'|'},
    {0x65, u'\u20AC'},
}};

// Reverse of the basic table for the BMP range it covers, built once: code point -> septet + 1 (0 = absent).
struct ReverseTable {
    std::array<std::uint8_t, 0x400> latin{}; // U+0000..U+03FF
    ReverseTable() {
        for (std::size_t s = 0; s < kBasic.size(); ++s) {
            if (s != kEscape && kBasic[s] < latin.size())
                latin[kBasic[s]] = std::uint8_t(s + 1);
        }
    }
};

const ReverseTable& reverse() {
    static const ReverseTable table;
    return table;
}

int basicSeptet(char32_t c) {
    if (c >= 0x400)
        return -1;
    const int v = reverse().latin[c];
    return v - 1;
}

int extensionSeptet(char32_t c) {
    for (const Extension& e : kExtension) {
        if (e.ch == c)
            return e.septet;
    }
    return -1;
}

} // namespace

int septetsFor(char32_t codePoint) {
    if (basicSeptet(codePoint) >= 0)
        return 1;
    return extensionSeptet(codePoint) >= 0 ? 2 : 0;
}

bool appendSeptets(char32_t codePoint, QByteArray& septets) {
    if (const int b = basicSeptet(codePoint); b >= 0) {
        septets.append(char(b));
        return true;
    }
    if (const int e = extensionSeptet(codePoint); e >= 0) {
        septets.append(char(kEscape));
        septets.append(char(e));
        return true;
    }
    return false;
}

bool fits(const QString& text) {
    for (const char32_t c : text.toUcs4()) {
        if (septetsFor(c) == 0)
            return false;
    }
    return true;
}

char32_t basicChar(std::uint8_t septet) {
    return kBasic[septet & 0x7F];
}

char32_t extensionChar(std::uint8_t septet) {
    septet &= 0x7F;
    if (septet == kEscape)
        return u' ';
    for (const Extension& e : kExtension) {
        if (e.septet == septet)
            return e.ch;
    }
    return basicChar(septet);
}

QByteArray unpackSeptets(const std::uint8_t* octets, int octetCount, int skipBits, int count) {
    QByteArray out;
    if (octetCount <= 0 || count <= 0 || skipBits < 0)
        return out;
    out.reserve(count);
    const long long totalBits = static_cast<long long>(octetCount) * 8;
    for (long long bit = skipBits; out.size() < count && bit + 7 <= totalBits; bit += 7) {
        const long long byte = bit / 8;
        const int shift = int(bit % 8);
        unsigned v = octets[byte] >> shift;
        if (shift > 1)
            v |= unsigned(octets[byte + 1]) << (8 - shift);
        out.append(char(v & 0x7F));
    }
    return out;
}

QByteArray packSeptets(const QByteArray& septets, int fillBits) {
    const long long bits = fillBits + static_cast<long long>(septets.size()) * 7;
    QByteArray out(qsizetype((bits + 7) / 8), '\0');
    long long bit = fillBits;
    for (const char s : septets) {
        const unsigned v = unsigned(static_cast<unsigned char>(s) & 0x7F);
        const long long byte = bit / 8;
        const int shift = int(bit % 8);
        out[byte] = char(static_cast<unsigned char>(out[byte]) | ((v << shift) & 0xFF));
        if (shift > 1)
            out[byte + 1] = char(static_cast<unsigned char>(out[byte + 1]) | (v >> (8 - shift)));
        bit += 7;
    }
    return out;
}

QString decodeSeptets(const QByteArray& septets) {
    QString text;
    text.reserve(septets.size());
    for (qsizetype i = 0; i < septets.size(); ++i) {
        const auto s = static_cast<std::uint8_t>(septets[i]);
        char32_t c = 0;
        if (s != kEscape)
            c = basicChar(s);
        else if (i + 1 < septets.size())
            c = extensionChar(static_cast<std::uint8_t>(septets[++i]));
        else
            c = u' ';
        text.append(QChar(char16_t(c)));
    }
    return text;
}

} // namespace gsm7
