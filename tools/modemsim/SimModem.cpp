#include "SimModem.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace modemsim {

namespace {

constexpr char kCtrlZ = 0x1a;
constexpr char kEsc = 0x1b;
constexpr int kMaxTpdu = 164; // an SMS-SUBMIT with a 20-digit number, a 7-octet validity and 140 octets of data

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

std::string unquoted(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
    return text;
}

std::string info(const std::string& line) {
    return "\r\n" + line + "\r\n" + kOk;
}

// Text mode writes stored texts (UTF-8) in the set AT+CSCS selected: Latin-1 bytes in "8859-1",
// four hex digits per UTF-16 unit in "UCS2", ASCII in "IRA" and "GSM"; a character the set lacks
// is "?".
std::string inCharset(std::string_view utf8, const std::string& charset) {
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (const char32_t c : utf8ToCodePoints(utf8)) {
        if (charset == "UCS2") {
            std::u16string units;
            if (c >= 0x10000)
                units = {char16_t(0xD800 + ((c - 0x10000) >> 10)), char16_t(0xDC00 + ((c - 0x10000) & 0x3FF))};
            else
                units = {char16_t(c)};
            for (const char16_t u : units)
                for (int shift = 12; shift >= 0; shift -= 4)
                    out += hex[(u >> shift) & 0xF];
        } else {
            const char32_t top = charset == "8859-1" ? 0xFF : 0x7F;
            out += c <= top ? char(c) : '?';
        }
    }
    return out;
}

// What the host wrote in the selected set, as UTF-8 (the text the recipient reads).
std::string fromCharset(std::string_view bytes, const std::string& charset) {
    std::u16string units;
    if (charset == "UCS2") {
        for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
            try {
                units += char16_t(std::stoi(std::string(bytes.substr(i, 4)), nullptr, 16));
            } catch (const std::exception&) {
                units += u'?';
            }
        }
        return utf16ToUtf8(units);
    }
    for (const char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        units += charset == "8859-1" || u < 0x80 ? char16_t(u) : u'?';
    }
    return utf16ToUtf8(units);
}

} // namespace

SimModem::SimModem(PortConfig config, unsigned seed)
    : m_config(std::move(config)), m_random(seed), m_textMode(m_config.modes == SmsModes::TextOnly),
      m_reference(m_config.firstReference - 1) {}

SimModem::Output SimModem::receive(std::string_view bytes) {
    Output out;
    if (m_config.silent || m_unplug || booting())
        return out;
    if (m_bootLinesDue) {
        m_bootLinesDue = false;
        out.reply += "\r\nRDY\r\n\r\n+CPIN: READY\r\n\r\n+QIND: SMS DONE\r\n";
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (!m_held.empty()) { // a send's result is pending: commands wait behind it
            m_queued.append(bytes.substr(i));
            break;
        }
        if (m_inText)
            textChar(c, out);
        else
            commandChar(c, out);
    }
    return out;
}

SimModem::Output SimModem::release(bool stopHolding) {
    if (stopHolding)
        m_config.holdResults = false;
    Output out;
    std::swap(out.reply, m_held);
    std::string queued;
    std::swap(queued, m_queued);
    const Output rest = receive(queued);
    out.reply += rest.echo + rest.reply; // all after the result, in order
    return out;
}

void SimModem::commandChar(char c, Output& out) {
    // On the command line a modem drops control characters (a stray ESC or Ctrl-Z).
    if (c != '\r' && c != '\n' && static_cast<unsigned char>(c) < 0x20)
        return;
    chatterInEcho(c, out);
    const bool afterCr = std::exchange(m_afterCommandCr, false);
    if (c == '\n') {
        if (!(afterCr && chatterEchoEnd(c, m_line, out)) && m_echo)
            out.echo += c;
        return;
    }
    if (m_echo)
        out.echo += c;
    if (c != '\r') {
        m_line += c;
        return;
    }
    std::string line;
    std::swap(line, m_line);
    if (line.empty())
        return;
    chatterEchoEnd(c, line, out);
    m_afterCommandCr = true;
    std::string reply = command(line);
    if (!m_inText)
        reply = chatterAroundResult(reply);
    if (!reply.empty() && m_config.garbage)
        reply = junk() + reply;
    out.reply += reply;
}

void SimModem::textChar(char c, Output& out) {
    // The LF of a command ended by CR LF belongs to the command line, not to the text.
    const bool first = m_text.empty() && !m_textStarted;
    m_textStarted = true;
    if (first && c == '\n' && !(m_config.chatter.keepLfAfterCmgs && !m_sendPdu))
        return;
    if (c == kCtrlZ) {
        if (m_echo && m_config.chatter.echoCtrlZ)
            out.echo += c;
        m_inText = false;
        const std::string junkLine = m_config.garbage ? junk() : std::string();
        const std::string result = junkLine + chatterAroundResult(m_sendPdu ? finishPduSend(out) : finishSend());
        m_sendPdu = false;
        if (m_config.holdResults || m_config.resultDelayMs > 0)
            m_held = result;
        else
            out.reply += result;
        return;
    }
    if (c == kEsc) {
        m_inText = false;
        m_sendPdu = false;
        m_text.clear();
        m_hex.clear();
        out.reply += kOk;
        return;
    }
    if (m_sendPdu) {
        pduChar(c, out);
        return;
    }
    if (m_echo)
        out.echo += c == '\r' ? std::string("\r\n> ") : std::string(1, c);
    m_text += c == '\r' ? '\n' : c;
}

std::string SimModem::command(const std::string& line) {
    const std::string cmd = upper(line);
    if (cmd.rfind("AT", 0) != 0)
        return kError;
    const std::string body = cmd.substr(2);
    if (body.empty())
        return kOk;
    if (body == "Z") {
        m_echo = true;
        return kOk;
    }
    if (body == "E0" || body == "E1" || body == "E") {
        m_echo = body == "E1";
        return kOk;
    }
    if (body == "+CSQ")
        return info("+CSQ: " + std::to_string(m_config.csq) + "," + std::to_string(m_config.ber));
    if (body == "+CMGF=1" || body == "+CMGF=0")
        return setMode(body.back());
    if (body == "+CMGF?")
        return info(std::string("+CMGF: ") + (m_textMode ? "1" : "0"));
    if (const std::optional<std::string> answer = setUpCommand(body, line))
        return *answer;
    if (const std::optional<std::string> error = simRefuses(body))
        return *error;
    if (body.rfind("+CMGS=", 0) == 0)
        return startSend(line.substr(8));
    if (body.rfind("+CSCS=", 0) == 0)
        return selectCharset(body.substr(6));
    if (body == "+CSCS?")
        return info("+CSCS: \"" + m_charset + "\"");
    if (body.rfind("+CMGL", 0) == 0)
        return listMessages(body.size() > 6 ? body.substr(6) : std::string("\"REC UNREAD\""));
    if (body.rfind("+CMGR=", 0) == 0)
        return m_config.silentRead ? std::string() : readMessage(body.substr(6));
    if (body.rfind("+CMGD=", 0) == 0)
        return deleteMessage(body.substr(6));
    if (body == "+CPMS?")
        return storageCount();
    if (body.rfind("+CNMI", 0) == 0)
        return newMessageIndications(body.substr(5));
    return unknownCommand();
}

std::string SimModem::selectCharset(const std::string& args) {
    const std::string name = unquoted(args);
    if (m_config.charsets.count(name) == 0)
        return kError;
    m_charset = name;
    return kOk;
}

std::string SimModem::startSend(const std::string& args) {
    if (m_config.noSim)
        return "\r\n+CME ERROR: 10\r\n";
    m_sendPdu = !m_textMode;
    if (m_sendPdu) {
        // PDU mode: AT+CMGS=<TPDU length>, the PDU follows the prompt in hex.
        try {
            std::size_t used = 0;
            m_pduLength = std::stoi(args, &used);
            if (used != args.size())
                m_pduLength = -1;
        } catch (const std::exception&) {
            m_pduLength = -1;
        }
        if (m_pduLength < 1 || m_pduLength > kMaxTpdu)
            return "\r\n+CMS ERROR: 304\r\n";
        m_hex.clear();
        m_text.clear();
        m_inText = true;
        m_textStarted = false;
        return prompt();
    }
    m_number = unquoted(args.substr(0, args.find(',')));
    m_text.clear();
    m_textStarted = false;
    m_inText = true;
    return prompt();
}

// Whether a send to this number fails: a listed number, or an unlucky draw.
bool SimModem::refused(const std::string& number) {
    const bool listed = m_config.failNumbers.count(number) > 0;
    const bool unlucky = m_config.failRate > 0 && std::uniform_real_distribution<>(0, 1)(m_random) < m_config.failRate;
    return listed || unlucky;
}

// The final result of a send the network refused.
std::string SimModem::failure() const {
    if (m_config.cmeError > 0)
        return "\r\n+CME ERROR: " + std::to_string(m_config.cmeError) + "\r\n";
    return m_config.cmsError > 0 ? "\r\n+CMS ERROR: " + std::to_string(m_config.cmsError) + "\r\n" : kError;
}

std::string SimModem::finishSend() {
    const bool accepted = !refused(m_number);
    m_sent.push_back({m_number, fromCharset(m_text, m_charset), accepted});
    if (m_config.unplugAfter > 0 && int(m_sent.size()) >= m_config.unplugAfter)
        m_unplug = true;
    if (!accepted)
        return failure();
    m_reference = m_reference % 255 + 1;
    return info("+CMGS: " + std::to_string(m_reference));
}

// Text-mode listing: each record "+CMGL: <index>,"<stat>","<oa>",,"<scts>"" CR LF <text> CR LF.
std::string SimModem::listMessages(const std::string& args) {
    if (m_config.listError)
        return kError;
    if (!m_textMode)
        return listPdus(args);
    const std::string status = unquoted(args);
    std::string out = "\r\n";
    for (std::size_t i = 0; i < m_config.inbox.size(); ++i) {
        StoredSms& sms = m_config.inbox[i];
        if (sms.sender.empty())
            continue;
        const std::string stat = sms.read ? "REC READ" : "REC UNREAD";
        if (status != "ALL" && status != stat)
            continue;
        if (sms.statusReport)
            out += "+CMGL: " + std::to_string(i + 1) + ",\"" + stat + "\"," + sms.text + "\r\n";
        else
            out += "+CMGL: " + std::to_string(i + 1) + ",\"" + stat + "\",\"" + inCharset(sms.sender, m_charset) +
                   "\",,\"" + sms.timestamp + "\"\r\n" + inCharset(sms.text, m_charset) + "\r\n";
        out += listingChatter();
        sms.read = true;
    }
    return out.size() == 2 ? kOk : out + kOk;
}

// Indexes are 1-based positions in the stored list; a deleted message leaves an empty place.
StoredSms* SimModem::stored(const std::string& args) {
    int index = 0;
    try {
        index = std::stoi(args);
    } catch (const std::exception&) {
        return nullptr;
    }
    if (index < 1 || index > int(m_config.inbox.size()) || m_config.inbox[std::size_t(index - 1)].sender.empty())
        return nullptr;
    return &m_config.inbox[std::size_t(index - 1)];
}

// Text-mode reading of one message: "+CMGR: "<stat>","<oa>",,"<scts>"" CR LF <text> CR LF.
std::string SimModem::readMessage(const std::string& args) {
    StoredSms* sms = stored(args);
    if (!sms)
        return "\r\n+CMS ERROR: 321\r\n";
    if (!m_textMode)
        return readPdu(*sms);
    const std::string stat = sms->read ? "REC READ" : "REC UNREAD";
    sms->read = true;
    if (sms->statusReport)
        return "\r\n+CMGR: \"" + stat + "\"," + sms->text + "\r\n" + kOk;
    return "\r\n+CMGR: \"" + stat + "\",\"" + inCharset(sms->sender, m_charset) + "\",,\"" + sms->timestamp + "\"\r\n" +
           inCharset(sms->text, m_charset) + "\r\n" + kOk;
}

std::string SimModem::deleteMessage(const std::string& args) {
    StoredSms* sms = stored(args);
    if (!sms || m_config.refusedDeletions-- > 0)
        return "\r\n+CMS ERROR: 321\r\n";
    *sms = StoredSms{};
    return kOk;
}

// The SIM's count of stored messages, the same for the three storages.
std::string SimModem::storageCount() const {
    const auto used = std::count_if(m_config.inbox.begin(), m_config.inbox.end(),
                                    [](const StoredSms& sms) { return !sms.sender.empty(); });
    const std::string memory = "\"SM\"," + std::to_string(used) + ",50";
    return info("+CPMS: " + memory + "," + memory + "," + memory);
}

std::string SimModem::junk() {
    std::string line = "\r\n";
    std::uniform_int_distribution<int> byte(0x80, 0xfe);
    for (int i = 0; i < 8; ++i)
        line += char(byte(m_random));
    return line + "\r\n";
}

} // namespace modemsim
