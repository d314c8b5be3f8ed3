// PDU mode of the simulated modem: AT+CMGS=<length> with a hex SMS-SUBMIT, listings of SMS-DELIVER PDUs, AT+CNMI
// and the status reports the network sends back.
#include "SimModem.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <tuple>

namespace modemsim {

namespace {

constexpr std::size_t kMaxHex = 2 * (12 + 164); // an SMSC field of up to 12 octets, then the longest TPDU

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";
const std::string kInvalidPdu = "\r\n+CMS ERROR: 304\r\n";

std::string info(const std::string& line) {
    return "\r\n" + line + "\r\n" + kOk;
}

// TPDU octets of a "SMSC + TPDU" hex PDU, as the length field of a listing gives them.
int tpduLength(const std::string& hex) {
    int smsc = 0;
    try {
        smsc = hex.size() >= 2 ? std::stoi(hex.substr(0, 2), nullptr, 16) : 0;
    } catch (const std::exception&) {
        smsc = 0;
    }
    return std::max(0, int(hex.size() / 2) - 1 - smsc);
}

// A text for one transcript line: control characters and quotes escaped, the rest as it is (UTF-8).
std::string noteText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else if (static_cast<unsigned char>(c) < 0x20)
            out += "\\x" + std::string(1, "0123456789abcdef"[(c >> 4) & 15]) + "0123456789abcdef"[c & 15];
        else
            out += c;
    }
    return out + "\"";
}

std::string hexByte(int value) {
    const char* const digits = "0123456789ABCDEF";
    return std::string("0x") + digits[(value >> 4) & 15] + digits[value & 15];
}

// The report's fields as text mode gives them: <fo>,<mr>,"<ra>",<tora>,"<scts>","<dt>",<st>.
std::string reportFields(const StatusReportSpec& r) {
    const bool plus = !r.recipient.empty() && r.recipient[0] == '+';
    return "6," + std::to_string(r.messageReference) + ",\"" + r.recipient + "\"," + (plus ? "145" : "129") + ",\"" +
           r.centreTime + "\",\"" + r.dischargeTime + "\"," + std::to_string(r.status);
}

} // namespace

std::vector<StoredSms> storedParts(const DeliverSpec& message) {
    std::vector<StoredSms> stored;
    for (const DeliverSpec& part : splitForDelivery(message)) {
        StoredSms sms{part.sender, part.timestamp, part.ucs2 ? utf16ToUtf8(part.units) : part.text, false};
        sms.pdu = encodeDeliverPdu(part);
        stored.push_back(sms);
    }
    return stored;
}

namespace {

std::string unescaped(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += "\r\n";
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::vector<StoredSms> readInboxFile(std::istream& in) {
    std::vector<StoredSms> messages;
    std::string line;
    int reference = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("PDU\t", 0) == 0) {
            StoredSms raw{"PDU", "", "", false};
            raw.pdu = line.substr(4);
            messages.push_back(raw);
            continue;
        }
        const auto a = line.find('\t');
        const auto b = a == std::string::npos ? a : line.find('\t', a + 1);
        if (b == std::string::npos || a == 0)
            continue;
        DeliverSpec message;
        message.sender = line.substr(0, a);
        message.timestamp = line.substr(a + 1, b - a - 1);
        message.text = unescaped(line.substr(b + 1));
        message.ucs2 = !fitsDefaultAlphabet(message.text);
        message.reference = ++reference & 255;
        if (splitForDelivery(message).size() > 1) {
            const std::vector<StoredSms> parts = storedParts(message);
            messages.insert(messages.end(), parts.begin(), parts.end());
        } else {
            messages.push_back({message.sender, message.timestamp, message.text, false});
        }
    }
    return messages;
}

std::vector<SentMessage> joinedSends(const std::vector<SentSms>& sent) {
    std::vector<SentMessage> messages;
    std::vector<std::map<int, std::u16string>> parts(sent.size()); // of messages[i], by part number
    std::map<std::tuple<std::string, int, int>, std::size_t> open; // (number, reference, count) -> message
    for (const SentSms& s : sent) {
        if (!s.pdu || s.concatReference < 0 || s.parts <= 1) {
            messages.push_back({s.number, s.text, 1, true, s.accepted});
            continue;
        }
        const auto key = std::make_tuple(s.number, s.concatReference, s.parts);
        auto it = open.find(key);
        // A part number seen again starts the next message that uses the same reference.
        if (it == open.end() || parts[it->second].count(s.part))
            it = open.insert_or_assign(key, messages.size()).first;
        if (it->second == messages.size())
            messages.push_back({s.number, {}, s.parts, false, true});
        parts[it->second][s.part] = s.units;
        messages[it->second].accepted = messages[it->second].accepted && s.accepted;
    }
    for (std::size_t i = 0; i < messages.size(); ++i) {
        if (parts[i].empty())
            continue;
        std::u16string units;
        for (const auto& [number, text] : parts[i])
            units += text;
        messages[i].text = utf16ToUtf8(units);
        messages[i].complete = int(parts[i].size()) == messages[i].parts && parts[i].begin()->first == 1 &&
                               parts[i].rbegin()->first == messages[i].parts;
    }
    return messages;
}

std::string SimModem::setMode(char mode) {
    const bool text = mode == '1';
    if ((text && m_config.modes == SmsModes::PduOnly) || (!text && m_config.modes == SmsModes::TextOnly))
        return kError;
    m_textMode = text;
    return kOk;
}

// AT+CNMI=<mode>,<mt>,<bm>,<ds>,<bfr> (trailing ones may be left out), AT+CNMI? and AT+CNMI=?.
std::string SimModem::newMessageIndications(const std::string& args) {
    auto joined = [this] {
        std::string s;
        for (const int v : m_indications)
            s += (s.empty() ? "" : ",") + std::to_string(v);
        return s;
    };
    if (args == "?")
        return info("+CNMI: " + joined());
    if (args == "=?")
        return info("+CNMI: (0-3),(0-3),(0-3),(0-2),(0,1)");
    if (args.rfind('=', 0) != 0 || m_config.refusedCnmi.count(args.substr(1)))
        return kError;
    static const int kHighest[] = {3, 3, 3, 2, 1};
    std::vector<int> values = m_indications;
    std::size_t at = 1;
    for (std::size_t k = 0; at <= args.size(); ++k) {
        const std::size_t comma = std::min(args.find(',', at), args.size());
        const std::string field = args.substr(at, comma - at);
        if (k >= values.size() || field.size() > 1 || (field.size() == 1 && (field[0] < '0' || field[0] > '9')))
            return kError;
        if (!field.empty())
            values[k] = field[0] - '0';
        if (values[k] > kHighest[k])
            return kError;
        at = comma + 1;
    }
    m_indications = values;
    return kOk;
}

void SimModem::pduChar(char c, Output& out) {
    if (c == '\r' || c == '\n')
        return; // line breaks inside the hex are ignored
    if (m_echo)
        out.echo += c;
    if (m_hex.size() <= kMaxHex)
        m_hex += c;
}

std::string SimModem::pduRejected(const std::string& why, Output& out) {
    out.notes.push_back("PDU recusada (AT+CMGS=" + std::to_string(m_pduLength) + "): " + why);
    m_hex.clear();
    return kInvalidPdu;
}

std::string SimModem::finishPduSend(Output& out) {
    if (m_hex.empty())
        return pduRejected("nenhuma PDU antes do Ctrl-Z", out);
    if (m_hex.size() > kMaxHex)
        return pduRejected("PDU mais longa que qualquer SMS-SUBMIT", out);
    std::string error;
    const std::optional<SubmitPdu> pdu = decodeSubmitPdu(m_hex, &error);
    if (!pdu)
        return pduRejected(error, out);
    if (pdu->tpduLength != m_pduLength)
        return pduRejected("a TPDU tem " + std::to_string(pdu->tpduLength) + " octetos", out);
    const bool septets = (pdu->dcs & 0x0C) == 0;
    if (pdu->septets > (septets ? 160 : 140))
        return pduRejected("dados do usuário além de um SMS", out);
    m_hex.clear();
    SentSms sms{pdu->number, utf16ToUtf8(pdu->units), false};
    sms.pdu = true;
    sms.concatReference = pdu->concatenated ? pdu->reference : -1;
    sms.part = pdu->sequence;
    sms.parts = pdu->total;
    sms.ucs2 = pdu->ucs2;
    sms.statusReport = pdu->statusReport;
    sms.units = pdu->units;
    const std::string bare = sms.number.rfind('+', 0) == 0 ? sms.number.substr(1) : sms.number;
    sms.accepted = !refused(sms.number) && m_config.failNumbers.count(bare) == 0;
    if (sms.accepted) {
        m_reference = (m_reference + 1) & 255;
        sms.reference = m_reference;
    }
    m_sent.push_back(sms);
    if (m_config.unplugAfter > 0 && int(m_sent.size()) >= m_config.unplugAfter)
        m_unplug = true;
    out.notes.push_back("SMS mr=" + std::to_string(sms.reference) + " para=" + sms.number +
                        " parte=" + std::to_string(sms.part) + "/" + std::to_string(sms.parts) +
                        " ref=" + (sms.concatReference < 0 ? std::string("-") : std::to_string(sms.concatReference)) +
                        " ucs2=" + std::to_string(int(sms.ucs2)) +
                        " relatorio=" + std::to_string(int(sms.statusReport)) +
                        " aceito=" + std::to_string(int(sms.accepted)) + " texto=" + noteText(sms.text));
    if (!sms.accepted)
        return failure();
    if (sms.statusReport && m_config.reportDelayMs >= 0) {
        StatusReportSpec report{m_config.reportSmsc, sms.reference, sms.number};
        report.centreTime = reportTime();
        report.status = m_config.reportStatus;
        m_reports.push_back({m_config.reportDelayMs, report});
    }
    return info("+CMGS: " + std::to_string(sms.reference));
}

std::vector<SimModem::Report> SimModem::takeReports() {
    std::vector<Report> reports;
    std::swap(reports, m_reports);
    return reports;
}

SimModem::Output SimModem::deliverReport(const StatusReportSpec& sent) {
    Output out;
    StatusReportSpec report = sent;
    report.dischargeTime = reportTime();
    const int ds = m_indications[3];
    const std::string what = "RELATORIO mr=" + std::to_string(report.messageReference) + " para=" + report.recipient +
                             " status=" + hexByte(report.status);
    if (ds == 0 || m_unplug || m_config.silent) {
        out.notes.push_back(what + " descartado (AT+CNMI sem <ds>)");
        return out;
    }
    int length = 0;
    const std::string hex = encodeStatusReportPdu(report, &length);
    if (ds == 2 || m_config.reportStored) {
        // A stored PDU is read back with its SMSC field, whatever "+CDS:" would have carried.
        StatusReportSpec withSmsc = report;
        withSmsc.withSmsc = true;
        StoredSms stored{
            report.recipient, report.centreTime, reportFields(report), false, encodeStatusReportPdu(withSmsc), true};
        auto place = std::find_if(m_config.inbox.begin(), m_config.inbox.end(),
                                  [](const StoredSms& sms) { return sms.sender.empty(); });
        if (place == m_config.inbox.end())
            place = m_config.inbox.insert(place, stored);
        else
            *place = stored;
        const auto index = std::to_string(place - m_config.inbox.begin() + 1);
        out.notes.push_back(what + " guardado no índice " + index);
        out.reply = "\r\n+CDSI: \"SM\"," + index + "\r\n";
        return out;
    }
    out.notes.push_back(what);
    out.reply = m_textMode ? "\r\n+CDS: " + reportFields(report) + "\r\n"
                           : "\r\n+CDS: " + std::to_string(length) + "\r\n" + hex + "\r\n";
    return out;
}

// PDU-mode listing: "+CMGL: <index>,<stat>,,<length>" CR LF <hex> CR LF per message; <stat> 0 unread, 1 read, 4 all.
std::string SimModem::listPdus(const std::string& args) {
    int status = 0;
    if (!args.empty() && (args.size() != 1 || args[0] < '0' || args[0] > '4'))
        return "\r\n+CMS ERROR: 302\r\n";
    if (!args.empty())
        status = args[0] - '0';
    std::string out = "\r\n";
    for (std::size_t i = 0; i < m_config.inbox.size(); ++i) {
        StoredSms& sms = m_config.inbox[i];
        if (sms.sender.empty() || (status != 4 && status != int(sms.read)))
            continue;
        const std::string hex = pduOf(sms);
        out += "+CMGL: " + std::to_string(i + 1) + "," + std::to_string(int(sms.read)) + ",," +
               std::to_string(tpduLength(hex)) + "\r\n" + hex + "\r\n";
        sms.read = true;
        out += listingChatter();
        out += m_config.listingUnsolicited; // a report the network delivers while the listing goes out
        m_config.listingUnsolicited.clear();
    }
    return out.size() == 2 ? kOk : out + kOk;
}

std::string SimModem::readPdu(StoredSms& sms) {
    const std::string hex = pduOf(sms);
    const std::string stat = std::to_string(int(sms.read));
    sms.read = true;
    return "\r\n+CMGR: " + stat + ",," + std::to_string(tpduLength(hex)) + "\r\n" + hex + "\r\n" + kOk;
}

std::string SimModem::pduOf(const StoredSms& sms) const {
    if (!sms.pdu.empty())
        return sms.pdu;
    DeliverSpec deliver;
    deliver.sender = sms.sender;
    deliver.timestamp = sms.timestamp;
    deliver.text = sms.text;
    deliver.ucs2 = !fitsDefaultAlphabet(sms.text);
    return encodeDeliverPdu(deliver);
}

// "yy/MM/dd,hh:mm:ss±zz", the zone in quarters of an hour.
std::string SimModem::reportTime() const {
    if (!m_config.reportTime.empty())
        return m_config.reportTime;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32] = {};
    std::strftime(text, sizeof text, "%y/%m/%d,%H:%M:%S", &local);
    const long quarters = local.tm_gmtoff / 900;
    const long q = quarters < 0 ? -quarters : quarters;
    return std::string(text) + (quarters < 0 ? "-" : "+") + char('0' + q / 10 % 10) + char('0' + q % 10);
}

} // namespace modemsim
