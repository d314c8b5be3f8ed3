#pragma once

#include "SimChatter.h"
#include "SimPdu.h"

#include <chrono>
#include <cstdint>
#include <istream>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace modemsim {

// A message stored on the simulated modem's SIM, listed by AT+CMGL.
struct StoredSms {
    std::string sender;
    std::string timestamp; // "yy/MM/dd,hh:mm:ss+zz"
    std::string text;      // UTF-8; text mode lists it (and the sender) in the set AT+CSCS selected
    bool read = false;
    // The hex "SMSC + TPDU" listed in PDU mode (an SMS-DELIVER part, a stored status report, or any bytes a test
    // wants the host to face); empty: the modem encodes sender, time stamp and text as one SMS-DELIVER.
    std::string pdu = {};
    bool statusReport = false; // a stored status report (listed in text mode in the report's format)
};

// The parts of one received message as stored on a SIM, in order: each part's text and its SMS-DELIVER PDU.
std::vector<StoredSms> storedParts(const DeliverSpec& message);

// An inbox file: lines "sender<TAB>yy/MM/dd,hh:mm:ss+zz<TAB>text" ("\n" in the text is a line break; a text
// longer than one SMS becomes its parts, UCS-2 when it needs it) and "PDU<TAB>hex" (stored as it is). A CR
// ending a line is dropped; other lines are skipped.
std::vector<StoredSms> readInboxFile(std::istream& in);

// A message the host sent with AT+CMGS (whatever the simulated outcome).
struct SentSms {
    std::string number;
    std::string text; // UTF-8 (text mode: what the host wrote, read in the set AT+CSCS selected)
    bool accepted = false;
    // PDU mode: what the modem decoded from the SMS-SUBMIT (text above is the part's own text).
    bool pdu = false;
    int reference = -1;       // the "+CMGS: <mr>" answered, -1 when the send failed
    int concatReference = -1; // the concatenation reference of the user-data header, -1 for a single SMS
    int part = 1;
    int parts = 1;
    bool ucs2 = false;
    bool statusReport = false; // the SUBMIT asked for a status report
    std::u16string units = {}; // the part's text as UTF-16 units (a pair may be split between parts)
    std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now(); // when its Ctrl-Z came
};

// A message as the recipient's phone would show it: the PDU parts joined by (number, reference, count).
struct SentMessage {
    std::string number;
    std::string text;
    int parts = 1;
    bool complete = true; // every part 1..parts arrived
    bool accepted = true; // and the modem accepted every one
};
std::vector<SentMessage> joinedSends(const std::vector<SentSms>& sent);

// Which of the two message formats (AT+CMGF) a modem supports.
enum class SmsModes { Both, TextOnly, PduOnly };

// The SIM and the network behind one simulated modem, and what the modem says it is: the set-up a program
// makes at port open (AT+CPIN, AT+CGSN, AT+CIMI, AT+CCID, AT+CGMI, AT+CGMM, AT+CSCA, AT+CREG, AT+CMEE).
struct SimCard {
    std::string pin;                    // the SIM asks for this PIN ("+CPIN: SIM PIN"); empty: no PIN
    int pinTries = 3;                   // wrong PINs before the SIM blocks ("+CPIN: SIM PUK")
    bool puk = false;                   // blocked from the start
    int busyAfterPinMs = 0;             // "+CME ERROR: 14" to SIM commands for this long after the right PIN
    std::string smsc = "+550110000000"; // the SIM's SMS centre; empty: none, sends fail with +CMS ERROR: 330
    int registerAfterMs = 0;            // searching for the network ("+CREG: 0,2") this long after the modem starts
    bool denied = false;                // registration denied ("+CREG: 0,3")
    std::string imei = "356938035643809";
    std::string imsi = "724051234567890";
    std::string iccid = "8955051234567890123";
    std::string maker = "SIMULADOR";
    std::string model = "VESTRAL-SIM 1";
    // Identity commands answered ERROR, as written after "AT" ("+CGSN", "+CCID", "^ICCID?", ...).
    std::set<std::string> refused = {"^ICCID?", "+QCCID"};
    // The reply lines to AT+CCID (the ICCID in the form a maker writes it); empty: "+CCID: <iccid>".
    std::string iccidReply = {};
    // A slow boot: for this long after the modem starts it takes nothing (no echo, no answer); its boot lines
    // ("RDY", "+CPIN: READY", "+QIND: SMS DONE") then come before the first answer.
    int bootSilentMs = 0;
};

// Behaviour and faults of one simulated port.
struct PortConfig {
    int csq = 21;
    int ber = 99;
    int latencyMs = 0;                 // delay before every reply (echo is immediate)
    std::set<std::string> failNumbers; // AT+CMGS to these numbers fails
    double failRate = 0.0;             // share of the other sends that fail (0..1)
    int cmsError = 500;                // failures answer "+CMS ERROR: <code>", or "ERROR" when 0
    int cmeError = 0;                  // when > 0, failures answer "+CME ERROR: <code>" instead
    bool silent = false;               // never answers, not even with an echo
    bool garbage = false;              // a line of junk bytes before every reply
    int unplugAfter = 0;               // the modem vanishes after this many messages (0 = never)
    int replugAfterMs = -1;            // ... and is back this long after, a fresh modem (-1 = never)
    std::string replugImsi;            // ... with another SIM of this IMSI (empty: the same SIM)
    bool noSim = false;                // no SIM: AT+CMGS answers "+CME ERROR: 10"
    bool holdResults = false;          // a send's final result waits for release(); meanwhile
                                       // the modem takes no command (it queues what it gets)
    // A send's final result ("+CMGS: <mr>" OK, or its error) comes this long after the Ctrl-Z, as the network
    // answers; the prompt and every other reply come at once (after latencyMs). Meanwhile the modem takes no
    // command, as with holdResults. 0: no delay of its own.
    int resultDelayMs = 0;
    std::set<std::string> charsets{"GSM", "IRA", "8859-1", "UCS2"}; // AT+CSCS takes these
    std::vector<StoredSms> inbox;                                   // AT+CMGL/CMGR/CMGD/CPMS? work on these
    bool listError = false;                                         // AT+CMGL answers "ERROR"
    SmsModes modes = SmsModes::Both; // text-only: AT+CMGF=0 answers ERROR (starts in text mode);
                                     // PDU-only: AT+CMGF=1 answers ERROR
    int firstReference = 1;          // the first "+CMGS: <mr>"; later ones count up, 255 wraps (to 0 in PDU mode)
    // Status reports, for PDU sends that ask for one while AT+CNMI's <ds> is 1 or 2:
    int reportDelayMs = 100;           // how long after "+CMGS" the report arrives (< 0: never)
    int reportStatus = 0;              // its TP-Status (0x00 delivered, 0x20 pending, 0x41/0x60 failed...)
    bool reportSmsc = true;            // the "+CDS:" PDU carries an SMSC field
    bool reportStored = false;         // stored and announced with "+CDSI:" (read with AT+CMGR) instead
    std::set<std::string> refusedCnmi; // AT+CNMI=<these parameters, as sent> answers ERROR
    std::string reportTime = {};       // "yy/MM/dd,hh:mm:ss+zz" of the reports; empty: the clock's local time
    // The first this many AT+CMGD answer "+CMS ERROR: 321" (a reading killed before its deletions leaves the same).
    int refusedDeletions = 0;
    // AT+CMGR gets no answer at all (the echo only).
    bool silentRead = false;
    // Written once inside the next PDU listing, after its first entry (a report arriving meanwhile).
    std::string listingUnsolicited = {};
    // Echo variants and lines of its own (chatterProfile() gives a maker's).
    Chatter chatter = {};
    SimCard sim = {};
};

// A GSM modem as seen through its serial line: echo, AT, ATZ, ATE0/1, AT+CSQ, AT+CMGF, AT+CMGS with the "> "
// prompt (Ctrl-Z sends, ESC cancels) in text and PDU mode, AT+CMGL, AT+CMGR, AT+CMGD, AT+CPMS?, AT+CNMI and
// status reports ("+CDS:" or "+CDSI:").
class SimModem {
public:
    struct Output {
        std::string echo;               // sent at once
        std::string reply;              // sent after the port's latency
        std::vector<std::string> notes; // lines for the transcript: what a PDU carried, reports
    };
    // A status report on its way from the network: due delayMs after the send that asked for it.
    struct Report {
        int delayMs = 0;
        StatusReportSpec pdu;
    };

    explicit SimModem(PortConfig config, unsigned seed = 1);

    Output receive(std::string_view bytes);

    // A held final result goes out, then the input queued behind it is taken.
    Output release(bool stopHolding = false);
    // Results wait for release() from now on.
    void hold() { m_config.holdResults = true; }
    bool holding() const { return !m_held.empty(); }
    // Prompt open or result held: an unsolicited report would cut into the dialogue, so it waits.
    bool busy() const { return m_inText || holding(); }
    // A held result that goes out by itself after this many milliseconds; < 0 while it waits for release().
    int releaseAfterMs() const { return m_config.holdResults ? -1 : m_config.resultDelayMs; }

    // The reports the sends so far have asked for (each taken once).
    std::vector<Report> takeReports();
    // A report arrives from the network: the unsolicited lines the modem sends ("" when <ds> is 0).
    Output deliverReport(const StatusReportSpec& report);
    const std::string& charset() const { return m_charset; }

    bool unplugRequested() const { return m_unplug; }
    const std::vector<SentSms>& sent() const { return m_sent; }
    const std::vector<StoredSms>& inbox() const { return m_config.inbox; }
    const PortConfig& config() const { return m_config; }

private:
    void commandChar(char c, Output& out);
    void textChar(char c, Output& out);
    std::string command(const std::string& line);
    std::string startSend(const std::string& args);
    std::string selectCharset(const std::string& args);
    std::string finishSend();
    bool refused(const std::string& number);
    std::string failure() const;
    std::string listMessages(const std::string& args);
    std::string readMessage(const std::string& args);
    std::string deleteMessage(const std::string& args);
    std::string storageCount() const;
    std::string setMode(char mode);
    std::string newMessageIndications(const std::string& args);
    void pduChar(char c, Output& out);
    std::string finishPduSend(Output& out);
    std::string pduRejected(const std::string& why, Output& out);
    std::string listPdus(const std::string& args);
    std::string readPdu(StoredSms& sms);
    std::string pduOf(const StoredSms& sms) const;
    std::string reportTime() const;
    StoredSms* stored(const std::string& args);
    std::string junk();
    // Chatter (SimModemChatter.cpp).
    std::string chatterLine();
    void chatterInEcho(char c, Output& out);
    bool chatterEchoEnd(char c, const std::string& line, Output& out);
    std::string chatterAroundResult(std::string reply);
    std::string prompt();
    std::string unknownCommand() const;
    std::string listingChatter();
    // The set-up commands (SimModemSetup.cpp): an answer, or nothing when `body` is none of them.
    std::optional<std::string> setUpCommand(const std::string& body, const std::string& line);
    // SMS commands while the SIM waits for its PIN, or sends without an SMS centre: the error, or nothing.
    std::optional<std::string> simRefuses(const std::string& body) const;
    std::string equipmentError(int code) const;
    std::string enterPin(const std::string& pin);
    std::string registration() const;
    bool booting();
    long long msSinceStart() const;

    PortConfig m_config;
    std::mt19937 m_random;
    bool m_echo = true;
    bool m_textMode = false;
    bool m_inText = false;
    bool m_textStarted = false;
    bool m_unplug = false;
    std::string m_line;
    std::string m_held;            // the final result waiting for release()
    std::string m_queued;          // input that came while a result was held
    std::string m_charset = "IRA"; // a fresh modem's set: text mode lists and reads ASCII
    std::string m_number;
    std::string m_text;
    int m_reference = 0;
    std::vector<SentSms> m_sent;
    bool m_sendPdu = false; // the open prompt takes a hex PDU
    int m_pduLength = 0;    // the TPDU length AT+CMGS announced
    std::string m_hex;
    std::vector<int> m_indications{0, 0, 0, 0, 0}; // AT+CNMI: <mode>,<mt>,<bm>,<ds>,<bfr>
    std::vector<Report> m_reports;
    std::size_t m_chatterNext = 0; // the next line of its own
    bool m_afterCommandCr = false; // the last character ended a command line
    // The SIM's state.
    bool m_pinEntered = false;
    bool m_cmee = false;
    long long m_pinAtMs = -1;
    bool m_bootLinesDue = false;
    bool m_bootAnnounced = false;
    std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
};

} // namespace modemsim
