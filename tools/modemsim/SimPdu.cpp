#include "SimPdu.h"

#include <algorithm>
#include <map>

namespace modemsim {
namespace {

// The default alphabet in septet order, as UTF-8; position 27 (the escape) holds a placeholder.
const char* const kDefaultAlphabet = "@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞ\x1B"
                                     "ÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
                                     "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà";

const std::map<int, char32_t>& shiftTable() {
    static const std::map<int, char32_t> table = {{10, U'\f'}, {20, U'^'}, {40, U'{'}, {41, U'}'}, {47, U'\\'},
                                                  {60, U'['},  {61, U'~'}, {62, U']'}, {64, U'|'}, {101, U'€'}};
    return table;
}

const std::u32string& defaultAlphabet() {
    static const std::u32string table = utf8ToCodePoints(kDefaultAlphabet);
    return table;
}

std::nullopt_t fail(std::string* error, const char* what) {
    if (error)
        *error = what;
    return std::nullopt;
}

bool parseHex(std::string_view hex, std::vector<int>& out) {
    if (hex.size() % 2)
        return false;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = nibble(hex[i]);
        const int lo = nibble(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out.push_back(hi * 16 + lo);
    }
    return true;
}

std::string bcdDigits(const std::vector<int>& o, std::size_t from, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) {
        const int b = o[from + std::size_t(i / 2)];
        const int d = i % 2 ? b >> 4 : b & 15;
        if (d < 10)
            s += char('0' + d);
    }
    return s;
}

// Septets of a bit stream, least significant bit first, from bit position start.
std::vector<int> septetsAt(const std::vector<int>& o, std::size_t from, std::size_t octets, int start, int count) {
    std::vector<int> out;
    for (int k = 0; k < count; ++k) {
        int v = 0;
        for (int b = 0; b < 7; ++b) {
            const long bit = long(start) + long(k) * 7 + b;
            const std::size_t byte = std::size_t(bit / 8);
            if (byte >= octets)
                return out;
            v |= ((o[from + byte] >> (bit % 8)) & 1) << b;
        }
        out.push_back(v);
    }
    return out;
}

std::u16string septetsToUnits(const std::vector<int>& septets) {
    std::u16string s;
    for (std::size_t i = 0; i < septets.size(); ++i) {
        char32_t c = 0;
        if (septets[i] == 27 && i + 1 < septets.size()) {
            auto it = shiftTable().find(septets[++i]);
            c = it != shiftTable().end() ? it->second : defaultAlphabet()[std::size_t(septets[i])];
        } else {
            c = septets[i] == 27 ? U' ' : defaultAlphabet()[std::size_t(septets[i])];
        }
        s += char16_t(c);
    }
    return s;
}

void appendUtf8(std::string& s, char32_t c) {
    if (c < 0x80) {
        s += char(c);
    } else if (c < 0x800) {
        s += char(0xC0 | (c >> 6));
        s += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += char(0xE0 | (c >> 12));
        s += char(0x80 | ((c >> 6) & 0x3F));
        s += char(0x80 | (c & 0x3F));
    } else {
        s += char(0xF0 | (c >> 18));
        s += char(0x80 | ((c >> 12) & 0x3F));
        s += char(0x80 | ((c >> 6) & 0x3F));
        s += char(0x80 | (c & 0x3F));
    }
}

} // namespace

std::u32string utf8ToCodePoints(std::string_view utf8) {
    std::u32string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
        char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; k <= extra && i + std::size_t(k) < utf8.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + std::size_t(k)]) & 0x3F);
        out += c;
        i += std::size_t(extra) + 1;
    }
    return out;
}

bool fitsDefaultAlphabet(std::string_view utf8) {
    for (const char32_t c : utf8ToCodePoints(utf8)) {
        const std::size_t pos = defaultAlphabet().find(c);
        const bool shifted =
            std::any_of(shiftTable().begin(), shiftTable().end(), [c](const auto& entry) { return entry.second == c; });
        if ((pos == std::u32string::npos || pos == 27) && !shifted)
            return false;
    }
    return true;
}

std::string utf16ToUtf8(const std::u16string& units) {
    std::string s;
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        appendUtf8(s, c);
    }
    return s;
}

std::optional<SubmitPdu> decodeSubmitPdu(std::string_view hex, std::string* error) {
    std::vector<int> o;
    if (!parseHex(hex, o) || o.empty())
        return fail(error, "not hex");
    SubmitPdu p;
    std::size_t i = 0;
    const int smscLen = o[i++];
    if (i + std::size_t(smscLen) > o.size())
        return fail(error, "SMSC field too long");
    if (smscLen > 1)
        p.smsc = bcdDigits(o, i + 1, (smscLen - 1) * 2);
    i += std::size_t(smscLen);
    p.tpduLength = int(o.size() - i);
    auto need = [&](std::size_t n) { return i + n <= o.size(); };
    if (!need(3))
        return fail(error, "short TPDU");
    const int first = o[i++];
    if ((first & 3) != 1)
        return fail(error, "not an SMS-SUBMIT");
    p.statusReport = (first >> 5) & 1;
    p.validityFormat = (first >> 3) & 3;
    const bool header = (first >> 6) & 1;
    p.messageReference = o[i++];
    const int digits = o[i++];
    if (!need(1 + std::size_t(digits + 1) / 2))
        return fail(error, "short address");
    p.numberType = o[i++];
    p.number = ((p.numberType & 0x70) == 0x10 ? "+" : "") + bcdDigits(o, i, digits);
    i += std::size_t(digits + 1) / 2;
    const std::size_t vpLen = p.validityFormat == 2 ? 1 : p.validityFormat == 0 ? 0 : 7;
    if (!need(2 + vpLen + 1))
        return fail(error, "short TPDU");
    i++; // TP-PID
    p.dcs = o[i++];
    p.ucs2 = (p.dcs & 0x0C) == 0x08;
    if (vpLen == 1)
        p.validity = o[i];
    i += vpLen;
    p.septets = o[i++];
    const std::size_t udOctets = p.ucs2 ? std::size_t(p.septets) : std::size_t(p.septets * 7 + 7) / 8;
    if (i + udOctets != o.size())
        return fail(error, "user data length does not match");
    std::size_t headerOctets = 0;
    if (header) {
        headerOctets = std::size_t(o[i]) + 1;
        if (headerOctets > udOctets)
            return fail(error, "header too long");
        for (std::size_t h = i + 1; h + 1 < i + headerOctets;) {
            const int iei = o[h];
            const int len = o[h + 1];
            if (iei == 0 && len == 3 && h + 4 < i + headerOctets) {
                p.concatenated = true;
                p.reference = o[h + 2];
                p.total = o[h + 3];
                p.sequence = o[h + 4];
            }
            h += 2 + std::size_t(len);
        }
    }
    if (p.ucs2) {
        for (std::size_t k = i + headerOctets; k + 1 < i + udOctets; k += 2)
            p.units += char16_t(o[k] << 8 | o[k + 1]);
    } else {
        const int headerSeptets = int(headerOctets * 8 + 6) / 7;
        p.units = septetsToUnits(septetsAt(o, i, udOctets, headerSeptets * 7, p.septets - headerSeptets));
    }
    return p;
}

std::string joinedText(std::vector<SubmitPdu> parts) {
    std::sort(parts.begin(), parts.end(),
              [](const SubmitPdu& a, const SubmitPdu& b) { return a.sequence < b.sequence; });
    std::u16string all;
    for (const SubmitPdu& p : parts)
        all += p.units;
    return utf16ToUtf8(all);
}

namespace {

std::string hexOf(const std::vector<int>& octets) {
    static const char* const digits = "0123456789ABCDEF";
    std::string s;
    for (const int o : octets) {
        s += digits[(o >> 4) & 15];
        s += digits[o & 15];
    }
    return s;
}

void putBcd(std::vector<int>& out, const std::string& digits) {
    for (std::size_t k = 0; k < digits.size(); k += 2) {
        const int lo = digits[k] - '0';
        const int hi = k + 1 < digits.size() ? digits[k + 1] - '0' : 15;
        out.push_back(lo | hi << 4);
    }
}

std::vector<int> septetsOf(const std::u32string& text) {
    std::vector<int> out;
    for (const char32_t c : text) {
        const std::size_t pos = defaultAlphabet().find(c);
        if (pos != std::u32string::npos && pos != 27) {
            out.push_back(int(pos));
            continue;
        }
        int shifted = -1;
        for (const auto& [septet, ch] : shiftTable()) {
            if (ch == c)
                shifted = septet;
        }
        if (shifted >= 0) {
            out.push_back(27);
            out.push_back(shifted);
        } else {
            out.push_back(int(defaultAlphabet().find(U'?')));
        }
    }
    return out;
}

// Septets packed after fillBits zero bits, least significant bit first.
std::vector<int> packed(const std::vector<int>& septets, int fillBits) {
    std::vector<int> out(std::size_t(fillBits + int(septets.size()) * 7 + 7) / 8, 0);
    int bit = fillBits;
    for (const int s : septets) {
        for (int b = 0; b < 7; ++b, ++bit) {
            if ((s >> b) & 1)
                out[std::size_t(bit / 8)] |= 1 << (bit % 8);
        }
    }
    return out;
}

void putAddress(std::vector<int>& out, const std::string& address) {
    const bool plus = !address.empty() && address[0] == '+';
    const std::string digits = plus ? address.substr(1) : address;
    const bool numeric =
        !digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!numeric) {
        const std::vector<int> septets = septetsOf(utf8ToCodePoints(address));
        const std::vector<int> octets = packed(septets, 0);
        out.push_back(int(septets.size() * 7 + 3) / 4);
        out.push_back(0xD0);
        out.insert(out.end(), octets.begin(), octets.end());
        return;
    }
    out.push_back(int(digits.size()));
    out.push_back(plus ? 0x91 : 0x81);
    putBcd(out, digits);
}

void putSmsc(std::vector<int>& out, const std::string& smsc) {
    if (smsc.empty()) {
        out.push_back(0);
        return;
    }
    const std::string digits = smsc[0] == '+' ? smsc.substr(1) : smsc;
    out.push_back(1 + int(digits.size() + 1) / 2);
    out.push_back(smsc[0] == '+' ? 0x91 : 0x81);
    putBcd(out, digits);
}

// "yy/MM/dd,hh:mm:ss+zz" (zone in quarters of an hour) as seven swapped-digit octets.
void putTimestamp(std::vector<int>& out, const std::string& ts) {
    auto two = [&](std::size_t at) { return at + 1 < ts.size() ? (ts[at] - '0') * 10 + (ts[at + 1] - '0') : 0; };
    for (const std::size_t at : {0u, 3u, 6u, 9u, 12u, 15u}) {
        const int v = two(at);
        out.push_back((v / 10) | (v % 10) << 4);
    }
    const int zone = two(18);
    const bool minus = ts.size() > 17 && ts[17] == '-';
    out.push_back((zone / 10) | (minus ? 8 : 0) | (zone % 10) << 4);
}

std::u16string toUtf16(const std::u32string& cps) {
    std::u16string units;
    for (const char32_t c : cps) {
        if (c >= 0x10000) {
            units += char16_t(0xD800 + ((c - 0x10000) >> 10));
            units += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            units += char16_t(c);
        }
    }
    return units;
}

} // namespace

std::string encodeDeliverPdu(const DeliverSpec& msg, int* tpduLength) {
    std::vector<int> o;
    putSmsc(o, msg.smsc);
    const std::size_t tpduStart = o.size();
    o.push_back(0x04 | (msg.concatenated ? 0x40 : 0)); // SMS-DELIVER, no more messages waiting
    putAddress(o, msg.sender);
    o.push_back(0);
    o.push_back(msg.ucs2 ? 0x08 : 0x00);
    putTimestamp(o, msg.timestamp);
    std::vector<int> header;
    if (msg.concatenated && msg.wideReference)
        header = {6, 8, 4, (msg.reference >> 8) & 255, msg.reference & 255, msg.total, msg.sequence};
    else if (msg.concatenated)
        header = {5, 0, 3, msg.reference & 255, msg.total, msg.sequence};
    if (msg.ucs2) {
        const std::u16string units = msg.units.empty() ? toUtf16(utf8ToCodePoints(msg.text)) : msg.units;
        o.push_back(int(header.size() + units.size() * 2));
        o.insert(o.end(), header.begin(), header.end());
        for (const char16_t u : units) {
            o.push_back(u >> 8);
            o.push_back(u & 255);
        }
    } else {
        const std::vector<int> septets = septetsOf(utf8ToCodePoints(msg.text));
        const int headerSeptets = int(header.size() * 8 + 6) / 7;
        std::vector<int> body = packed(septets, headerSeptets * 7 - int(header.size()) * 8);
        o.push_back(headerSeptets + int(septets.size()));
        o.insert(o.end(), header.begin(), header.end());
        o.insert(o.end(), body.begin(), body.end());
    }
    if (tpduLength)
        *tpduLength = int(o.size() - tpduStart);
    return hexOf(o);
}

std::vector<DeliverSpec> splitForDelivery(const DeliverSpec& message) {
    std::vector<std::string> texts;
    std::vector<std::u16string> unitParts;
    if (message.ucs2) {
        const std::u16string units = toUtf16(utf8ToCodePoints(message.text));
        const std::size_t per = units.size() <= 70 ? 70 : message.wideReference ? 66 : 67;
        for (std::size_t k = 0; k < units.size() || k == 0; k += per)
            unitParts.push_back(units.substr(k, per)); // a pair may be split, as some phones do
    } else {
        const std::u32string cps = utf8ToCodePoints(message.text);
        std::size_t total = septetsOf(cps).size();
        std::u32string part;
        std::size_t used = 0;
        for (const char32_t c : cps) {
            const std::size_t n = septetsOf(std::u32string(1, c)).size();
            if (total > 160 && used + n > (message.wideReference ? 152u : 153u)) {
                texts.push_back(utf16ToUtf8(toUtf16(part)));
                part.clear();
                used = 0;
            }
            part += c;
            used += n;
        }
        texts.push_back(utf16ToUtf8(toUtf16(part)));
    }
    const std::size_t count = message.ucs2 ? unitParts.size() : texts.size();
    std::vector<DeliverSpec> parts;
    for (std::size_t k = 0; k < count; ++k) {
        DeliverSpec p = message;
        p.concatenated = count > 1;
        p.total = int(count);
        p.sequence = int(k + 1);
        if (message.ucs2)
            p.units = unitParts[k];
        else
            p.text = texts[k];
        parts.push_back(p);
    }
    return parts;
}

std::string encodeStatusReportPdu(const StatusReportSpec& msg, int* tpduLength) {
    std::vector<int> o;
    if (msg.withSmsc)
        putSmsc(o, "+5511999000000");
    const std::size_t tpduStart = o.size();
    o.push_back(0x06); // SMS-STATUS-REPORT, no more messages waiting
    o.push_back(msg.messageReference & 255);
    putAddress(o, msg.recipient);
    putTimestamp(o, msg.centreTime);
    putTimestamp(o, msg.dischargeTime);
    o.push_back(msg.status & 255);
    if (tpduLength)
        *tpduLength = int(o.size() - tpduStart);
    return hexOf(o);
}

} // namespace modemsim
