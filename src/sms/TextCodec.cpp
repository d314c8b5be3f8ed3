#include "sms/TextCodec.h"

#include <QList>

namespace TextCodec {
namespace {

// Typographic characters with a plain ASCII stand-in, the same in both sets.
const char* asciiStandIn(char32_t c) {
    switch (c) {
    case 0x20AC: // €
        return "EUR";
    case 0x2018: // ‘ ’ ‚ ‛ ′
    case 0x2019:
    case 0x201A:
    case 0x201B:
    case 0x2032:
        return "'";
    case 0x201C: // “ ” „ ‟ ″
    case 0x201D:
    case 0x201E:
    case 0x201F:
    case 0x2033:
        return "\"";
    case 0x2010: // hyphens and dashes, the minus sign
    case 0x2011:
    case 0x2012:
    case 0x2013:
    case 0x2014:
    case 0x2015:
    case 0x2212:
        return "-";
    case 0x2026: // …
        return "...";
    case 0x00A0: // no-break space
    case 0x202F:
        return " ";
    case 0x00AB: // « »
    case 0x00BB:
        return "\"";
    default:
        return nullptr;
    }
}

// The base letters of `c` when it decomposes into ASCII letters and combining marks ("ã", "Ç").
QByteArray baseLetters(char32_t c) {
    const QString decomposed = QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_KD);
    QByteArray out;
    for (const QChar ch : decomposed) {
        if (ch.category() == QChar::Mark_NonSpacing)
            continue;
        if (ch.unicode() < 0x20 || ch.unicode() >= 0x7F)
            return {};
        out.append(char(ch.unicode()));
    }
    return out;
}

void appendChar(QByteArray& out, char32_t c, TextCharset charset) {
    if (c < 0x80 || (charset == TextCharset::Latin1 && c >= 0xA0 && c <= 0xFF && c != 0xA0)) {
        out.append(char(c));
        return;
    }
    if (const char* standIn = asciiStandIn(c)) {
        out.append(standIn);
        return;
    }
    if (charset == TextCharset::Ira) {
        if (c == 0x00DF) { // ß
            out.append("ss");
            return;
        }
        const QByteArray base = baseLetters(c);
        out.append(base.isEmpty() ? QByteArray("?") : base);
        return;
    }
    out.append('?');
}

} // namespace

QByteArray encode(const QString& text, TextCharset charset) {
    QByteArray out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4())
        appendChar(out, c, charset);
    return out;
}

QString decode(QByteArrayView bytes, TextCharset charset) {
    QString text = QString::fromLatin1(bytes);
    if (charset == TextCharset::Ira)
        for (QChar& c : text)
            if (c.unicode() > 0x7F)
                c = QLatin1Char('?');
    return text;
}

bool hasControl(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    return false;
}

bool hasControlByte(const QByteArray& bytes) {
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return true;
    }
    return false;
}

bool validNumber(const QString& fone) {
    const qsizetype first = fone.startsWith(QLatin1Char('+')) ? 1 : 0;
    if (fone.size() <= first || fone.size() > 20 + first)
        return false;
    for (qsizetype i = first; i < fone.size(); ++i)
        if (fone[i] < QLatin1Char('0') || fone[i] > QLatin1Char('9'))
            return false;
    return true;
}

QString invalidTextFailure(const QString& text) {
    return QStringLiteral(" FALHA :TEXTO INVÁLIDO\r") + text;
}

QString invalidNumberFailure(const QString& text) {
    return QStringLiteral(" FALHA :NÚMERO INVÁLIDO\r") + text;
}

QByteArray charsetName(TextCharset charset) {
    return charset == TextCharset::Latin1 ? QByteArrayLiteral("8859-1") : QByteArrayLiteral("IRA");
}

} // namespace TextCodec
