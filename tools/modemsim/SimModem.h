#pragma once

#include <cstdint>
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
    std::string text;
    bool read = false;
};

// A message the host sent with AT+CMGS (whatever the simulated outcome).
struct SentSms {
    std::string number;
    std::string text;
    bool accepted = false;
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
    bool noSim = false;                // no SIM: AT+CMGS answers "+CME ERROR: 10"
    bool holdResults = false;          // a send's final result waits for release(); meanwhile
                                       // the modem takes no command (it queues what it gets)
    std::set<std::string> charsets{"GSM", "IRA", "8859-1", "UCS2"}; // AT+CSCS takes these
    std::vector<StoredSms> inbox;                                   // AT+CMGL/CMGR/CMGD/CPMS? work on these
    bool listError = false;                                         // AT+CMGL answers "ERROR"
};

// A text-mode GSM modem as seen through its serial line: echo, AT, ATZ, ATE0/1, AT+CSQ,
// AT+CMGF, AT+CMGS with the "> " prompt (Ctrl-Z sends, ESC cancels), AT+CMGL, AT+CMGR, AT+CMGD,
// AT+CPMS?.
class SimModem {
public:
    struct Output {
        std::string echo;  // sent at once
        std::string reply; // sent after the port's latency
    };

    explicit SimModem(PortConfig config, unsigned seed = 1);

    Output receive(std::string_view bytes);

    // A held final result goes out, then the input queued behind it is taken.
    Output release(bool stopHolding = false);
    bool holding() const { return !m_held.empty(); }
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
    std::string listMessages(const std::string& args);
    std::string readMessage(const std::string& args);
    std::string deleteMessage(const std::string& args);
    std::string storageCount() const;
    StoredSms* stored(const std::string& args);
    std::string junk();

    PortConfig m_config;
    std::mt19937 m_random;
    bool m_echo = true;
    bool m_textMode = false;
    bool m_inText = false;
    bool m_textStarted = false;
    bool m_unplug = false;
    std::string m_line;
    std::string m_held;   // the final result waiting for release()
    std::string m_queued; // input that came while a result was held
    std::string m_charset = "GSM";
    std::string m_number;
    std::string m_text;
    int m_reference = 0;
    std::vector<SentSms> m_sent;
};

} // namespace modemsim
