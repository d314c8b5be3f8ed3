#include "sms/PduEncoder.h"

#include "sms/GsmAlphabet.h"

#include <algorithm>
#include <vector>

namespace pdu {
namespace {

constexpr int kSingleSeptets = 160;
constexpr int kPartSeptets = 153;
constexpr int kSingleUcs2 = 70;
constexpr int kPartUcs2 = 67;
constexpr std::uint8_t kValidityOneWeek = 0xAD; // relative: (0xAD - 166) days = 7 days
constexpr int kMaxNumberDigits = 20;

// One character as sent: its encoded units (septets, or UTF-16 code units) and where it lies in the text.
struct Unit {
    qsizetype begin;  // index in the QString
    qsizetype length; // QChars taken (2 for a surrogate pair)
    int size;         // septets or UTF-16 code units it takes on air
};

struct Layout {
    Coding coding = Coding::Gsm7;
    std::vector<Unit> units;
    std::vector<std::pair<std::size_t, std::size_t>> parts; // [first, last) ranges into units
    int total = 0;
};

// The characters of text with their size on air; false (units left incomplete) when gsm is asked for and a
// character is outside the GSM alphabet.
bool splitCharacters(const QString& text, bool gsm, std::vector<Unit>& units) {
    units.clear();
    units.reserve(std::size_t(text.size()));
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text.at(i);
        const bool pair = c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const qsizetype len = pair ? 2 : 1;
        int size = int(len);
        if (gsm) {
            size = pair ? 0 : gsm7::septetsFor(c.unicode());
            if (size == 0)
                return false;
        }
        units.push_back({i, len, size});
        i += len;
    }
    return true;
}

Layout layout(const QString& text) {
    Layout l;
    if (!splitCharacters(text, true, l.units)) {
        l.coding = Coding::Ucs2;
        splitCharacters(text, false, l.units);
    }
    for (const Unit& u : l.units)
        l.total += u.size;
    const bool gsm = l.coding == Coding::Gsm7;
    if (l.total <= (gsm ? kSingleSeptets : kSingleUcs2)) {
        l.parts.push_back({0, l.units.size()});
        return l;
    }
    const int perPart = gsm ? kPartSeptets : kPartUcs2;
    std::size_t first = 0;
    int used = 0;
    for (std::size_t i = 0; i < l.units.size(); ++i) {
        if (used + l.units[i].size > perPart) {
            l.parts.push_back({first, i});
            first = i;
            used = 0;
        }
        used += l.units[i].size;
    }
    l.parts.push_back({first, l.units.size()});
    return l;
}

QStringView partText(const QString& text, const Layout& l, std::size_t part) {
    const auto [first, last] = l.parts[part];
    if (first == last)
        return {};
    const qsizetype begin = l.units[first].begin;
    const qsizetype end = l.units[last - 1].begin + l.units[last - 1].length;
    return QStringView(text).sliced(begin, end - begin);
}

struct Destination {
    QByteArray digits;
    bool international = false;
};

bool parseNumber(const QString& number, const QString& countryCode, Destination& out) {
    const QString trimmed = number.trimmed();
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        if (c.unicode() >= '0' && c.unicode() <= '9')
            out.digits.append(char(c.unicode()));
        else if (c == u'+' && i == 0)
            out.international = true;
        else if (c != u' ' && c != u'-' && c != u'(' && c != u')' && c != u'.')
            return false;
    }
    if (!out.international && (out.digits.size() == 12 || out.digits.size() == 13) &&
        out.digits.startsWith(countryCode.toLatin1()) && !countryCode.isEmpty())
        out.international = true;
    return !out.digits.isEmpty() && out.digits.size() <= kMaxNumberDigits;
}

void appendAddress(QByteArray& tpdu, const Destination& d) {
    tpdu.append(char(d.digits.size()));
    tpdu.append(char(d.international ? 0x91 : 0xA1));
    for (qsizetype i = 0; i < d.digits.size(); i += 2) {
        const int low = d.digits[i] - '0';
        const int high = i + 1 < d.digits.size() ? d.digits[i + 1] - '0' : 0xF;
        tpdu.append(char(low | (high << 4)));
    }
}

QByteArray concatHeader(std::uint8_t reference, int total, int sequence) {
    QByteArray h;
    h.append(char(5)); // UDHL
    h.append(char(0)); // IEI: concatenated short messages, 8-bit reference
    h.append(char(3));
    h.append(char(reference));
    h.append(char(total));
    h.append(char(sequence));
    return h;
}

// TP-UDL and TP-UD of one part.
QByteArray userData(QStringView chunk, Coding coding, const QByteArray& header) {
    QByteArray ud;
    if (coding == Coding::Gsm7) {
        QByteArray septets;
        septets.reserve(chunk.size() * 2);
        for (const QChar c : chunk)
            gsm7::appendSeptets(c.unicode(), septets); // every character is in the BMP here
        const int headerBits = int(header.size()) * 8;
        const int fill = (7 - headerBits % 7) % 7;
        const int headerSeptets = (headerBits + fill) / 7;
        ud.append(char(headerSeptets + septets.size()));
        QByteArray packed = gsm7::packSeptets(septets, fill);
        ud.append(header);
        ud.append(packed);
        return ud;
    }
    QByteArray body;
    body.reserve(chunk.size() * 2);
    for (const QChar c : chunk) {
        body.append(char(c.unicode() >> 8));
        body.append(char(c.unicode() & 0xFF));
    }
    ud.append(char(header.size() + body.size()));
    ud.append(header);
    ud.append(body);
    return ud;
}

// "00" (no SMSC: the modem uses its own) followed by the TPDU in upper-case hex.
QByteArray pduHex(const QByteArray& tpdu) {
    static const char digits[] = "0123456789ABCDEF";
    QByteArray hex(2 + tpdu.size() * 2, Qt::Uninitialized);
    char* out = hex.data();
    *out++ = '0';
    *out++ = '0';
    for (const char c : tpdu) {
        const auto o = static_cast<unsigned char>(c);
        *out++ = digits[o >> 4];
        *out++ = digits[o & 0x0F];
    }
    return hex;
}

SubmitPart buildPart(const Destination& d, QStringView chunk, Coding coding, const QByteArray& header,
                     bool statusReport) {
    QByteArray tpdu;
    tpdu.reserve(176);
    std::uint8_t first = 0x01 | 0x10; // SMS-SUBMIT, relative validity period
    if (statusReport)
        first |= 0x20;
    if (!header.isEmpty())
        first |= 0x40;
    tpdu.append(char(first));
    tpdu.append(char(0)); // TP-MR: the modem fills it in
    appendAddress(tpdu, d);
    tpdu.append(char(0)); // TP-PID
    tpdu.append(char(coding == Coding::Gsm7 ? 0x00 : 0x08));
    tpdu.append(char(kValidityOneWeek));
    tpdu.append(userData(chunk, coding, header));
    return {pduHex(tpdu), int(tpdu.size())};
}

} // namespace

SmsCount countSms(const QString& text) {
    const Layout l = layout(text);
    return {int(l.units.size()), int(l.parts.size()), l.coding, l.total};
}

QString fitToParts(const QString& text, int maxParts) {
    const Layout whole = layout(text);
    if (int(whole.parts.size()) <= maxParts || maxParts < 1)
        return maxParts < 1 ? QString() : text;
    // Longest prefix (in characters) that fits: the count only grows with the prefix, so search it.
    std::size_t low = 0;
    std::size_t high = whole.units.size();
    while (low < high) {
        const std::size_t mid = (low + high + 1) / 2;
        const Unit& u = whole.units[mid - 1];
        if (countSms(text.left(u.begin + u.length)).parts <= maxParts)
            low = mid;
        else
            high = mid - 1;
    }
    if (low == 0)
        return {};
    const Unit& u = whole.units[low - 1];
    return text.left(u.begin + u.length);
}

SubmitResult encodeSubmit(const QString& number, const QString& text, const SubmitOptions& options) {
    SubmitResult result;
    Destination d;
    if (!parseNumber(number, options.countryCode, d)) {
        result.error = QStringLiteral("Número inválido para o modo PDU: ") + number;
        return result;
    }
    const Layout l = layout(text);
    const int count = int(l.parts.size());
    if (count > kMaxConcatParts) {
        result.error = QStringLiteral("Mensagem longa demais: %1 partes (máximo %2)").arg(count).arg(kMaxConcatParts);
        return result;
    }
    result.parts.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QByteArray header = count > 1 ? concatHeader(options.reference, count, i + 1) : QByteArray();
        result.parts.append(buildPart(d, partText(text, l, std::size_t(i)), l.coding, header, options.statusReport));
    }
    return result;
}

} // namespace pdu
