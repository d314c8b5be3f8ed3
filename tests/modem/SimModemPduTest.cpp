// The simulated modem in PDU mode, from the host's worst side: broken hex, lengths that lie, PDUs too long,
// modems that refuse a mode or an AT+CNMI, reports, listings with parts out of order or missing.
#include "ModemSimulator.h"
#include "SimModem.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace modemsim;

namespace {

// The classic "hellohello" SMS-SUBMIT to +46708251358 (relative validity), 23 TPDU octets.
const std::string kHello = "0011000B916407281553F80000AA0AE8329BFD4697D9EC37";

std::string hexOf(const std::vector<int>& octets) {
    std::string s;
    for (const int o : octets) {
        s += "0123456789ABCDEF"[(o >> 4) & 15];
        s += "0123456789ABCDEF"[o & 15];
    }
    return s;
}

// A UCS-2 SMS-SUBMIT to +5511987654321, optionally one part (reference, total, sequence) of a longer message.
std::string ucs2Submit(const std::u16string& units, bool report, std::vector<int> part = {}) {
    std::vector<int> o = {0x00, 0x11 | (report ? 0x20 : 0) | (part.empty() ? 0 : 0x40),
                          0x00, 13,
                          0x91, 0x55,
                          0x11, 0x89,
                          0x67, 0x45,
                          0x23, 0xF1,
                          0x00, 0x08,
                          0xAA};
    std::vector<int> ud;
    if (!part.empty())
        ud = {5, 0, 3, part[0], part[1], part[2]};
    for (const char16_t u : units) {
        ud.push_back(u >> 8);
        ud.push_back(u & 255);
    }
    o.push_back(int(ud.size()));
    o.insert(o.end(), ud.begin(), ud.end());
    return hexOf(o);
}

// A 7-bit SMS-SUBMIT of ASCII letters (the same septets in the default alphabet) with a user-data length of
// `septets`, to +46708251358.
std::string septetSubmit(int septets) {
    std::vector<int> o = {0x00, 0x11, 0x00, 0x0B, 0x91, 0x64, 0x07, 0x28, 0x15, 0x53, 0xF8, 0x00, 0x00, 0xAA, septets};
    std::vector<int> packed(std::size_t(septets * 7 + 7) / 8, 0);
    for (int k = 0; k < septets * 7; ++k) {
        if (('a' >> (k % 7)) & 1)
            packed[std::size_t(k / 8)] |= 1 << (k % 8);
    }
    o.insert(o.end(), packed.begin(), packed.end());
    return hexOf(o);
}

std::string cmgs(const std::string& hex) {
    return "AT+CMGS=" + std::to_string(hex.size() / 2 - 1) + "\r";
}

std::string all(SimModem& modem, const std::vector<std::string>& inputs) {
    std::string out;
    for (const std::string& input : inputs) {
        const SimModem::Output o = modem.receive(input);
        out += o.echo + o.reply;
    }
    return out;
}

PortConfig kind(SmsModes modes) {
    PortConfig c;
    c.modes = modes;
    return c;
}

PortConfig failing() {
    PortConfig c;
    c.failNumbers = {"46708251358"};
    return c;
}

PortConfig withoutSim() {
    PortConfig c;
    c.noSim = true;
    return c;
}

PortConfig references(int first) {
    PortConfig c;
    c.firstReference = first;
    return c;
}

const std::string kOk = "\r\nOK\r\n";
const std::string kPrompt = "\r\n> ";
const std::string kInvalid = "\r\n+CMS ERROR: 304\r\n";

std::string accepted(int reference) {
    return "\r\n+CMGS: " + std::to_string(reference) + "\r\n" + kOk;
}

struct Case {
    const char* name;
    PortConfig config;
    std::vector<std::string> inputs; // after ATE0 (PDU mode is the modem's own)
    std::string expected;
};

} // namespace

TEST(SimModemPdu, SendDialogues) {
    const std::string over = septetSubmit(161);
    const Case cases[] = {
        {"hellohello", {}, {cmgs(kHello), kHello + "\x1a"}, kPrompt + accepted(1)},
        {"lower-case hex",
         {},
         {cmgs(kHello), "0011000b916407281553f80000aa0ae8329bfd4697d9ec37\x1a"},
         kPrompt + accepted(1)},
        {"LF after the command and line breaks in the hex",
         {},
         {"AT+CMGS=23\r\n", kHello.substr(0, 20) + "\r\n" + kHello.substr(20) + "\x1a"},
         kPrompt + accepted(1)},
        {"bad hex", {}, {cmgs(kHello), "00ZZ" + kHello.substr(4) + "\x1a"}, kPrompt + kInvalid},
        {"odd length", {}, {cmgs(kHello), kHello.substr(1) + "\x1a"}, kPrompt + kInvalid},
        {"length one short", {}, {"AT+CMGS=22\r", kHello + "\x1a"}, kPrompt + kInvalid},
        {"length counting the SMSC field", {}, {"AT+CMGS=24\r", kHello + "\x1a"}, kPrompt + kInvalid},
        {"truncated user data", {}, {"AT+CMGS=22\r", kHello.substr(0, kHello.size() - 2) + "\x1a"}, kPrompt + kInvalid},
        {"161 septets", {}, {cmgs(over), over + "\x1a"}, kPrompt + kInvalid},
        {"160 septets", {}, {cmgs(septetSubmit(160)), septetSubmit(160) + "\x1a"}, kPrompt + accepted(1)},
        {"endless hex", {}, {"AT+CMGS=164\r", std::string(5000, '0') + "\x1a", "AT\r"}, kPrompt + kInvalid + kOk},
        {"Ctrl-Z without a PDU", {}, {cmgs(kHello), "\x1a"}, kPrompt + kInvalid},
        {"an SMS-DELIVER instead", {}, {cmgs(kHello), "0004" + kHello.substr(4) + "\x1a"}, kPrompt + kInvalid},
        {"ESC cancels, the next send works",
         {},
         {cmgs(kHello), kHello.substr(0, 10) + "\x1b", cmgs(kHello), kHello + "\x1a"},
         kPrompt + kOk + kPrompt + accepted(1)},
        {"length zero, too long, not a number",
         {},
         {"AT+CMGS=0\r", "AT+CMGS=165\r", "AT+CMGS=2x\r", "AT+CMGS=\"5511\"\r"},
         kInvalid + kInvalid + kInvalid + kInvalid},
        {"failing number", failing(), {cmgs(kHello), kHello + "\x1a"}, kPrompt + "\r\n+CMS ERROR: 500\r\n"},
        {"no SIM", withoutSim(), {cmgs(kHello)}, "\r\n+CME ERROR: 10\r\n"},
        {"references wrap to 0",
         references(255),
         {cmgs(kHello), kHello + "\x1a", cmgs(kHello), kHello + "\x1a"},
         kPrompt + accepted(255) + kPrompt + accepted(0)},
        {"text-only modem",
         kind(SmsModes::TextOnly),
         {"AT+CMGF?\r", "AT+CMGF=0\r", "AT+CMGF?\r"},
         "\r\n+CMGF: 1\r\n" + kOk + "\r\nERROR\r\n\r\n+CMGF: 1\r\n" + kOk},
        {"PDU-only modem",
         kind(SmsModes::PduOnly),
         {"AT+CMGF=1\r", "AT+CMGF?\r", "AT+CMGF=0\r"},
         "\r\nERROR\r\n\r\n+CMGF: 0\r\n" + kOk + kOk},
        {"both modes",
         {},
         {"AT+CMGF=1\r", "AT+CMGF?\r", "AT+CMGF=0\r", "AT+CMGF?\r"},
         kOk + "\r\n+CMGF: 1\r\n" + kOk + kOk + "\r\n+CMGF: 0\r\n" + kOk},
    };
    for (const Case& c : cases) {
        SimModem modem(c.config);
        modem.receive("ATE0\r");
        EXPECT_EQ(all(modem, c.inputs), c.expected) << c.name;
    }
}

TEST(SimModemPdu, EchoesTheHexButNotItsLineBreaks) {
    SimModem modem{PortConfig{}};
    EXPECT_EQ(all(modem, {"AT+CMGS=23\r", kHello.substr(0, 6) + "\r\n" + kHello.substr(6) + "\x1a"}),
              "AT+CMGS=23\r" + kPrompt + kHello + accepted(1));
}

TEST(SimModemPdu, RecordsEachPartAndJoinsThem) {
    SimModem modem{PortConfig{}};
    const std::u16string text = u"ação 😀 fim";
    // Part 2 first, the emoji's pair split between parts 2 and 3; then a second message with the same reference.
    const std::u16string p1 = text.substr(0, 5), p2 = text.substr(5, 1), p3 = text.substr(6);
    for (const auto& [units, seq] : std::vector<std::pair<std::u16string, int>>{{p2, 2}, {p1, 1}, {p3, 3}, {p1, 1}}) {
        const std::string hex = ucs2Submit(units, true, {7, 3, seq});
        all(modem, {cmgs(hex), hex + "\x1a"});
    }
    const std::vector<SentSms>& sent = modem.sent();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_TRUE(sent[0].pdu && sent[0].ucs2 && sent[0].statusReport && sent[0].accepted);
    EXPECT_EQ(sent[0].number, "+5511987654321");
    EXPECT_EQ(sent[0].concatReference, 7);
    EXPECT_EQ(sent[0].part, 2);
    EXPECT_EQ(sent[0].parts, 3);
    EXPECT_EQ(sent[1].text, "ação ");
    EXPECT_EQ(sent[1].reference, 2);

    const std::vector<SentMessage> messages = joinedSends(sent);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "ação 😀 fim");
    EXPECT_EQ(messages[0].parts, 3);
    EXPECT_TRUE(messages[0].complete);
    EXPECT_EQ(messages[1].text, "ação ");
    EXPECT_FALSE(messages[1].complete);
}

TEST(SimModemPdu, JoinsOnlyTheSameNumberAndReferenceAndMarksRefusedParts) {
    PortConfig config;
    config.failNumbers = {"5511987654321"};
    SimModem modem(config);
    const std::string single = ucs2Submit(u"oi", false);
    all(modem, {cmgs(kHello), kHello + "\x1a", cmgs(single), single + "\x1a"});
    const std::vector<SentMessage> messages = joinedSends(modem.sent());
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "hellohello");
    EXPECT_TRUE(messages[0].accepted);
    EXPECT_EQ(messages[1].text, "oi");
    EXPECT_FALSE(messages[1].accepted);
    EXPECT_EQ(modem.sent()[1].reference, -1);
}

namespace {

struct ReportCase {
    const char* name;
    PortConfig config;
    std::string cnmi; // AT+CNMI parameters sent before the send ("" for none)
    bool request;     // the SUBMIT asks for a report
    std::string cnmiReply;
    std::string reply; // the modem's unsolicited lines once the report has come ("" for none)
};

PortConfig reports(int status, bool smsc, bool stored, int delayMs = 5000) {
    PortConfig c;
    c.reportStatus = status;
    c.reportSmsc = smsc;
    c.reportStored = stored;
    c.reportDelayMs = delayMs;
    c.reportTime = "26/12/09,22:10:05-12";
    return c;
}

PortConfig refusing(const std::string& cnmi) {
    PortConfig c = reports(0, true, false);
    c.refusedCnmi = {cnmi};
    return c;
}

std::string cds(int status, bool smsc) {
    StatusReportSpec r{smsc, 1, "+5511987654321"};
    r.centreTime = r.dischargeTime = "26/12/09,22:10:05-12";
    r.status = status;
    int length = 0;
    const std::string hex = encodeStatusReportPdu(r, &length);
    return "\r\n+CDS: " + std::to_string(length) + "\r\n" + hex + "\r\n";
}

} // namespace

TEST(SimModemPdu, StatusReports) {
    const ReportCase cases[] = {
        {"delivered, with SMSC", reports(0, true, false), "2,1,0,1,0", true, kOk, cds(0, true)},
        {"failed 0x41, no SMSC", reports(0x41, false, false), "2,1,0,1,0", true, kOk, cds(0x41, false)},
        {"permanent failure 0x60", reports(0x60, true, false), "2,1,0,1,0", true, kOk, cds(0x60, true)},
        {"pending 0x20", reports(0x20, true, false), "1,1,0,1,0", true, kOk, cds(0x20, true)},
        {"not asked for", reports(0, true, false), "2,1,0,1,0", false, kOk, ""},
        {"no AT+CNMI", reports(0, true, false), "", true, "", ""},
        {"<ds> 0", reports(0, true, false), "2,1,0,0,0", true, kOk, ""},
        {"stored by <ds> 2", reports(0, true, false), "2,1,0,2,0", true, kOk, "\r\n+CDSI: \"SM\",1\r\n"},
        {"stored by the modem's kind", reports(0, true, true), "2,1,0,1,0", true, kOk, "\r\n+CDSI: \"SM\",1\r\n"},
        {"refused AT+CNMI", refusing("2,1,0,1,0"), "2,1,0,1,0", true, "\r\nERROR\r\n", ""},
        {"a value out of range", reports(0, true, false), "2,1,0,3,0", true, "\r\nERROR\r\n", ""},
        {"six values", reports(0, true, false), "2,1,0,1,0,0", true, "\r\nERROR\r\n", ""},
        {"not a number", reports(0, true, false), "2,1,0,x,0", true, "\r\nERROR\r\n", ""},
        {"trailing values left out", reports(0, true, false), "2,1,0,1", true, kOk, cds(0, true)},
    };
    for (const ReportCase& c : cases) {
        SimModem modem(c.config);
        modem.receive("ATE0\r");
        if (!c.cnmi.empty()) {
            EXPECT_EQ(all(modem, {"AT+CNMI=" + c.cnmi + "\r"}), c.cnmiReply) << c.name;
        }
        const std::string hex = ucs2Submit(u"oi", c.request);
        EXPECT_EQ(all(modem, {cmgs(hex), hex + "\x1a"}), kPrompt + accepted(1)) << c.name;
        const std::vector<SimModem::Report> due = modem.takeReports();
        ASSERT_EQ(due.size(), c.request ? 1u : 0u) << c.name;
        EXPECT_TRUE(modem.takeReports().empty()) << c.name;
        if (due.empty())
            continue;
        EXPECT_EQ(due[0].delayMs, 5000) << c.name;
        EXPECT_EQ(modem.deliverReport(due[0].pdu).reply, c.reply) << c.name;
    }
}

TEST(SimModemPdu, StoredReportIsReadAndCountedThenDeleted) {
    PortConfig config = reports(0x41, false, true);
    DeliverSpec y;
    y.sender = "+5511911112222";
    y.text = "y";
    config.inbox = {StoredSms{}, storedParts(y).at(0)}; // a free place on the SIM, taken by the report
    SimModem modem(config);
    modem.receive("ATE0\r");
    all(modem, {"AT+CNMI=2,1,0,1,0\r", "AT+CMGS=23\r", "0031000B916407281553F80000AA0AE8329BFD4697D9EC37\x1a"});
    EXPECT_EQ(modem.deliverReport(modem.takeReports().at(0).pdu).reply, "\r\n+CDSI: \"SM\",1\r\n");
    StatusReportSpec expected{true, 1, "+46708251358"}; // stored: read back with an SMSC field
    expected.centreTime = expected.dischargeTime = "26/12/09,22:10:05-12";
    expected.status = 0x41;
    int length = 0;
    const std::string hex = encodeStatusReportPdu(expected, &length);
    EXPECT_EQ(all(modem, {"AT+CPMS?\r", "AT+CMGR=1\r", "AT+CMGF=1\r", "AT+CMGR=1\r", "AT+CMGD=1\r", "AT+CPMS?\r"}),
              "\r\n+CPMS: \"SM\",2,50,\"SM\",2,50,\"SM\",2,50\r\n" + kOk + "\r\n+CMGR: 0,," + std::to_string(length) +
                  "\r\n" + hex + "\r\n" + kOk + kOk +
                  "\r\n+CMGR: \"REC READ\",6,1,\"+46708251358\",145,\"26/12/09,22:10:05-12\",\"26/12/09,22:10:05-12\","
                  "65\r\n" +
                  kOk + kOk + "\r\n+CPMS: \"SM\",1,50,\"SM\",1,50,\"SM\",1,50\r\n" + kOk);
}

TEST(SimModemPdu, ReportsInTextModeAndQueries) {
    PortConfig config = reports(0, true, false);
    SimModem modem(config);
    modem.receive("ATE0\r");
    EXPECT_EQ(all(modem, {"AT+CNMI?\r", "AT+CNMI=?\r", "AT+CNMI=2,1,0,1,0\r", "AT+CNMI?\r"}),
              "\r\n+CNMI: 0,0,0,0,0\r\n" + kOk + "\r\n+CNMI: (0-3),(0-3),(0-3),(0-2),(0,1)\r\n" + kOk + kOk +
                  "\r\n+CNMI: 2,1,0,1,0\r\n" + kOk);
    all(modem, {"AT+CMGS=23\r", "0031000B916407281553F80000AA0AE8329BFD4697D9EC37\x1a", "AT+CMGF=1\r"});
    const SimModem::Output out = modem.deliverReport(modem.takeReports().at(0).pdu);
    EXPECT_EQ(out.reply, "\r\n+CDS: 6,1,\"+46708251358\",145,\"26/12/09,22:10:05-12\",\"26/12/09,22:10:05-12\",0\r\n");
    EXPECT_EQ(out.notes, std::vector<std::string>{"RELATORIO mr=1 para=+46708251358 status=0x00"});
}

TEST(SimModemPdu, NoReportWhenNeverOrWhenTheSendFailed) {
    PortConfig never = reports(0, true, false, -1);
    PortConfig refusedNumber = reports(0, true, false);
    refusedNumber.failNumbers = {"5511987654321"};
    for (const PortConfig& config : {never, refusedNumber}) {
        SimModem modem(config);
        const std::string hex = ucs2Submit(u"oi", true);
        all(modem, {"AT+CNMI=2,1,0,1,0\r", cmgs(hex), hex + "\x1a"});
        EXPECT_TRUE(modem.takeReports().empty());
    }
}

namespace {

DeliverSpec longUcs2() {
    DeliverSpec m;
    m.sender = "+5511988887777";
    m.timestamp = "26/12/09,08:00:00-12";
    m.ucs2 = true;
    m.reference = 200;
    for (int i = 0; i < 3; ++i)
        m.text += "Olá, ação e coração em três partes: número " + std::to_string(i) + ". ";
    return m;
}

std::string listed(int index, int stat, const std::string& hex) {
    return "+CMGL: " + std::to_string(index) + "," + std::to_string(stat) + ",," + std::to_string(hex.size() / 2 - 9) +
           "\r\n" + hex + "\r\n";
}

} // namespace

TEST(SimModemPdu, ListingWithPartsOutOfOrderAndOneMissing) {
    std::vector<StoredSms> parts = storedParts(longUcs2());
    ASSERT_EQ(parts.size(), 3u);
    PortConfig config;
    // Part 3, then part 1; part 2 never arrived. Then a plain stored message that needs UCS-2.
    config.inbox = {parts[2], parts[0], {"+5511955554444", "26/12/09,08:05:00-12", "Até já", false}};
    SimModem modem(config);
    modem.receive("ATE0\r");
    DeliverSpec plain;
    plain.sender = "+5511955554444";
    plain.timestamp = "26/12/09,08:05:00-12";
    plain.text = "Até já";
    plain.ucs2 = true;
    const std::string plainHex = encodeDeliverPdu(plain);
    // The SMSC field "08 91 551199090000F0" takes 9 octets: the TPDU lengths leave them out.
    EXPECT_EQ(parts[2].pdu.substr(0, 20), "0891551199090000F044"); // then a DELIVER with a header
    EXPECT_EQ(all(modem, {"AT+CMGR=2\r"}),
              "\r\n+CMGR: 0,," + std::to_string(parts[0].pdu.size() / 2 - 9) + "\r\n" + parts[0].pdu + "\r\n" + kOk);
    EXPECT_EQ(all(modem, {"AT+CMGL=0\r"}), "\r\n" + listed(1, 0, parts[2].pdu) + listed(3, 0, plainHex) + kOk);
    EXPECT_EQ(all(modem, {"AT+CMGL=0\r"}), kOk);
    const std::string four = all(modem, {"AT+CMGL=4\r"});
    EXPECT_NE(four.find("+CMGL: 1,1,,"), std::string::npos);
    EXPECT_NE(four.find("+CMGL: 2,1,,"), std::string::npos);
    EXPECT_NE(four.find("+CMGL: 3,1,,"), std::string::npos);
    EXPECT_EQ(all(modem, {"AT+CMGD=2\r", "AT+CPMS?\r", "AT+CMGL=\"ALL\"\r", "AT+CMGL=5\r", "AT+CMGR=2\r"}),
              kOk + "\r\n+CPMS: \"SM\",2,50,\"SM\",2,50,\"SM\",2,50\r\n" + kOk +
                  "\r\n+CMS ERROR: 302\r\n\r\n+CMS ERROR: 302\r\n\r\n+CMS ERROR: 321\r\n");
}

TEST(SimModemPdu, StoredPartsCarryTheirOwnText) {
    const std::vector<StoredSms> parts = storedParts(longUcs2());
    std::string joined;
    for (const StoredSms& p : parts) {
        EXPECT_FALSE(p.read);
        EXPECT_EQ(p.sender, "+5511988887777");
        joined += p.text;
    }
    EXPECT_EQ(joined, longUcs2().text);
    DeliverSpec gsm = longUcs2();
    gsm.ucs2 = false;
    gsm.text = std::string(300, 'a');
    EXPECT_EQ(storedParts(gsm).size(), 2u);
}

namespace {

// The host's side of a simulated port: raw bytes written, bytes read until a text shows up (bounded far above
// the simulator's own delays).
class HostLine {
public:
    explicit HostLine(const std::string& path) : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        termios tio{};
        if (m_fd >= 0 && ::tcgetattr(m_fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~HostLine() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    HostLine(const HostLine&) = delete;
    HostLine& operator=(const HostLine&) = delete;
    bool open() const { return m_fd >= 0; }
    void write(const std::string& bytes) {
        ASSERT_EQ(::write(m_fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    bool waitFor(const std::string& text) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (m_read.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            pollfd fd{m_fd, POLLIN, 0};
            ::poll(&fd, 1, 100);
            char buffer[512];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0)
                m_read.append(buffer, std::size_t(n));
        }
        return true;
    }
    const std::string& read() const { return m_read; }

private:
    int m_fd;
    std::string m_read;
};

} // namespace

TEST(SimModemPdu, ReportComesOverTheLineAfterTheSendAndTheTranscriptTellsWhatArrived) {
    QTemporaryDir dir;
    SimulatorOptions options;
    options.dir = dir.filePath(QStringLiteral("portas")).toStdString();
    options.transcriptPath = dir.filePath(QStringLiteral("trafego.log")).toStdString();
    PortConfig config = reports(0x20, true, false, 0);
    options.ports = {config};
    ModemSimulator sim(options);
    sim.start();
    HostLine host(sim.linkPath(0));
    ASSERT_TRUE(host.open());
    const std::string part = ucs2Submit(u"ação", true, {9, 2, 2});
    host.write("ATE0\rAT+CNMI=2,1,0,1,0\r" + cmgs(part));
    ASSERT_TRUE(host.waitFor("> "));
    host.write(part + "\x1a");
    ASSERT_TRUE(host.waitFor("\r\n+CDS: ")) << host.read();
    ASSERT_TRUE(host.waitFor(cds(0x20, true))) << host.read();
    // The report never cuts into the send's own answer.
    EXPECT_LT(host.read().find("+CMGS: 1\r\n\r\nOK\r\n"), host.read().find("+CDS:"));
    EXPECT_EQ(sim.sentMessages(0).size(), 1u);
    EXPECT_FALSE(sim.sentMessages(0).at(0).complete);
    sim.stop();
    QFile log(dir.filePath(QStringLiteral("trafego.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString transcript = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(transcript.contains(QStringLiteral(
        "COM1 *** SMS mr=1 para=+5511987654321 parte=2/2 ref=9 ucs2=1 relatorio=1 aceito=1 texto=\"ação\"")))
        << transcript.toStdString();
    EXPECT_TRUE(transcript.contains(QStringLiteral("COM1 *** RELATORIO mr=1 para=+5511987654321 status=0x20")));
}

TEST(SimModemPdu, AReportDueDuringAPromptWaitsForTheSendToEnd) {
    QTemporaryDir dir;
    SimulatorOptions options;
    options.dir = dir.filePath(QStringLiteral("portas")).toStdString();
    options.ports = {reports(0, true, false, 0)};
    ModemSimulator sim(options);
    sim.start();
    HostLine host(sim.linkPath(0));
    ASSERT_TRUE(host.open());
    const std::string hex = ucs2Submit(u"oi", true);
    host.write("ATE0\rAT+CNMI=2,1,0,1,0\r" + cmgs(hex));
    ASSERT_TRUE(host.waitFor("> "));
    host.write(hex + "\x1a" + cmgs(hex)); // the next prompt opens as the first report falls due
    ASSERT_TRUE(host.waitFor("+CMGS: 1\r\n\r\nOK\r\n"));
    ASSERT_TRUE(host.waitFor("> "));
    host.write(hex.substr(0, 10));
    host.write(hex.substr(10) + "\x1a");
    ASSERT_TRUE(host.waitFor("+CMGS: 2\r\n\r\nOK\r\n"));
    ASSERT_TRUE(host.waitFor("+CDS: "));
    const std::string& read = host.read();
    const std::size_t prompt = read.find("> ", read.find("+CMGS: 1"));
    const std::size_t report = read.find("+CDS: ");
    EXPECT_TRUE(report < prompt || report > read.find("+CMGS: 2")) << read;
}

TEST(SimModemPdu, InboxFileLines) {
    std::string longText;
    for (int i = 0; i < 8; ++i)
        longText += "Promoção de verão, não perca! ";
    std::istringstream file("+5511911110000\t26/12/09,08:00:00-12\tOla\\nmundo\r\n"
                            "sem tabulação\n"
                            "\t26/12/09,08:00:00-12\tsem remetente\n"
                            "PDU\t0791551199900000F0040B915511\r\n"
                            "+5511922220000\t26/12/09,08:01:00-12\t" +
                            longText + "\r\n+5511933330000\t26/12/09,08:02:00-12\tAté\n");
    const std::vector<StoredSms> inbox = readInboxFile(file);
    ASSERT_EQ(inbox.size(), 7u);
    EXPECT_EQ(inbox[0].text, "Ola\r\nmundo"); // a short line stays a plain message, as text mode lists it
    EXPECT_EQ(inbox[0].timestamp, "26/12/09,08:00:00-12");
    EXPECT_TRUE(inbox[0].pdu.empty());
    EXPECT_EQ(inbox[1].pdu, "0791551199900000F0040B915511"); // stored as it is, a broken PDU included
    std::string joined;
    for (std::size_t k = 2; k < 6; ++k) {
        EXPECT_EQ(inbox[k].sender, "+5511922220000");
        EXPECT_FALSE(inbox[k].pdu.empty());
        joined += inbox[k].text;
    }
    EXPECT_EQ(joined, longText); // 240 characters in UCS-2: four parts of 67
    EXPECT_EQ(inbox[6].text, "Até");

    PortConfig config;
    config.inbox = inbox;
    SimModem stored(config);
    const std::string listing = all(stored, {"ATE0\r", "AT+CMGL=4\r"});
    EXPECT_NE(listing.find("+CMGL: 2,0,,6\r\n0791551199900000F0040B915511\r\n"), std::string::npos) << listing;
}

namespace {

// A send whose final result the network gives late: the dialogue after ATE0, and the result expected.
struct DelayedSend {
    const char* name;
    PortConfig config;
    std::string start;  // AT+CMGS (after AT+CMGF when in text mode)
    std::string body;   // the text or PDU, Ctrl-Z included
    std::string result; // what comes only after the delay
};

PortConfig delayed(int ms, std::set<std::string> failNumbers = {}) {
    PortConfig c;
    c.resultDelayMs = ms;
    c.failNumbers = std::move(failNumbers);
    return c;
}

std::vector<DelayedSend> delayedSends(int ms) {
    return {
        {"text, accepted", delayed(ms), "AT+CMGF=1\rAT+CMGS=\"5511987650000\"\r", "oi\x1a", accepted(1)},
        {"text, refused", delayed(ms, {"5511987650000"}), "AT+CMGF=1\rAT+CMGS=\"5511987650000\"\r", "oi\x1a",
         "\r\n+CMS ERROR: 500\r\n"},
        {"PDU, accepted", delayed(ms), cmgs(kHello), kHello + "\x1a", accepted(1)},
        {"PDU, refused", delayed(ms, {"46708251358"}), cmgs(kHello), kHello + "\x1a", "\r\n+CMS ERROR: 500\r\n"},
        {"PDU, not a valid PDU", delayed(ms), cmgs(kHello), kHello.substr(1) + "\x1a", kInvalid},
    };
}

} // namespace

// The modem answers the prompt at once and holds only the send's final result; what the host writes
// meanwhile waits behind that result, as a real modem takes one command at a time.
TEST(SimModemResultDelay, OnlyTheFinalResultOfASendWaits) {
    for (const DelayedSend& c : delayedSends(600000)) {
        SimModem modem(c.config);
        modem.receive("ATE0\r");
        const std::string opened = all(modem, {c.start});
        EXPECT_NE(opened.find(kPrompt), std::string::npos) << c.name;
        const SimModem::Output sent = modem.receive(c.body + "AT+CSQ\r");
        EXPECT_EQ(sent.reply, "") << c.name;
        EXPECT_TRUE(modem.holding()) << c.name;
        EXPECT_EQ(modem.releaseAfterMs(), 600000) << c.name;
        EXPECT_EQ(modem.release().reply, c.result + "\r\n+CSQ: 21,99\r\n" + kOk) << c.name;
    }
}

TEST(SimModemResultDelay, OverTheLineThePromptComesAtOnceAndTheResultAfterTheDelay) {
    for (const int ms : {600000, 20}) {
        for (const DelayedSend& c : delayedSends(ms)) {
            QTemporaryDir dir;
            SimulatorOptions options;
            options.dir = dir.filePath(QStringLiteral("portas")).toStdString();
            options.ports = {c.config};
            ModemSimulator sim(options);
            sim.start();
            HostLine host(sim.linkPath(0));
            ASSERT_TRUE(host.open());
            host.write("ATE0\rAT+CSQ\r" + c.start);
            // Ten minutes of delay: whatever comes in the test's bound came without it.
            ASSERT_TRUE(host.waitFor("+CSQ: 21,99\r\n\r\nOK\r\n")) << c.name << ' ' << ms;
            ASSERT_TRUE(host.waitFor(kPrompt)) << c.name << ' ' << ms;
            host.write(c.body + "AT\r");
            if (ms > 1000) {
                // The result (and the AT behind it) stays with the modem until its time.
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                while (!sim.holding(0) && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                EXPECT_TRUE(sim.holding(0)) << c.name;
                EXPECT_EQ(host.read().find(c.result), std::string::npos) << c.name;
                sim.release(0);
            }
            ASSERT_TRUE(host.waitFor(c.result + kOk)) << c.name << ' ' << ms << ": " << host.read();
            EXPECT_EQ(host.read().substr(host.read().find(kPrompt) + kPrompt.size()), c.result + kOk)
                << c.name << ' ' << ms;
        }
    }
}
