// The simulated modem's SIM, network and identity: what a program asks at port open.
#include "SimModem.h"

#include <algorithm>

namespace modemsim {
namespace {

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";

std::string info(const std::string& line) {
    return "\r\n" + line + "\r\n" + kOk;
}

std::string quotedValue(const std::string& args) {
    const auto first = args.find('"');
    const auto last = args.rfind('"');
    if (first == std::string::npos || last == first)
        return args;
    return args.substr(first + 1, last - first - 1);
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

} // namespace

long long SimModem::msSinceStart() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_started).count();
}

// Still booting: what comes is lost. The boot lines are owed once it is over.
bool SimModem::booting() {
    if (m_config.sim.bootSilentMs <= 0)
        return false;
    if (msSinceStart() < m_config.sim.bootSilentMs)
        return true;
    if (!m_bootAnnounced)
        m_bootLinesDue = m_bootAnnounced = true;
    return false;
}

// With AT+CMEE=1 an equipment error is numbered; without it, a plain ERROR.
std::string SimModem::equipmentError(int code) const {
    return m_cmee ? "\r\n+CME ERROR: " + std::to_string(code) + "\r\n" : kError;
}

std::optional<std::string> SimModem::setUpCommand(const std::string& body, const std::string& line) {
    const SimCard& sim = m_config.sim;
    if (startsWith(body, "+CMEE=")) {
        m_cmee = body != "+CMEE=0";
        return kOk;
    }
    if (body == "+CPIN?") {
        if (sim.puk || (!sim.pin.empty() && m_config.sim.pinTries <= 0))
            return info("+CPIN: SIM PUK");
        if (!sim.pin.empty() && !m_pinEntered)
            return info("+CPIN: SIM PIN");
        if (m_pinAtMs >= 0 && msSinceStart() - m_pinAtMs < sim.busyAfterPinMs)
            return equipmentError(14);
        return info("+CPIN: READY");
    }
    if (startsWith(body, "+CPIN=")) // the original line: the PIN as typed
        return enterPin(quotedValue(line.substr(7)));
    if (const std::optional<std::string> error = simRefuses(body);
        error && !startsWith(body, "+CMG") && !startsWith(body, "+CPMS"))
        return error;
    if (sim.refused.count(body) > 0)
        return kError;
    if (body == "+CGSN")
        return info(sim.imei);
    if (body == "+CIMI")
        return info(sim.imsi);
    if (body == "+CCID")
        return sim.iccidReply.empty() ? info("+CCID: " + sim.iccid) : "\r\n" + sim.iccidReply + "\r\n" + kOk;
    if (body == "^ICCID?")
        return info("^ICCID: " + sim.iccid);
    if (body == "+QCCID")
        return info("+QCCID: " + sim.iccid);
    if (body == "+CGMI")
        return info(sim.maker);
    if (body == "+CGMM")
        return info(sim.model);
    if (body == "+CSCA?")
        return info("+CSCA: \"" + sim.smsc + "\"," + (startsWith(sim.smsc, "+") ? "145" : "129"));
    if (startsWith(body, "+CSCA=")) {
        m_config.sim.smsc = quotedValue(body.substr(6));
        return kOk;
    }
    if (body == "+CREG?")
        return info(registration());
    if (startsWith(body, "+CREG="))
        return kOk;
    return std::nullopt;
}

std::string SimModem::enterPin(const std::string& pin) {
    SimCard& sim = m_config.sim;
    if (sim.puk || (!sim.pin.empty() && sim.pinTries <= 0))
        return equipmentError(12);
    if (sim.pin.empty() || m_pinEntered)
        return equipmentError(3); // no PIN asked: operation not allowed
    if (pin != sim.pin) {
        sim.pinTries -= 1;
        return equipmentError(sim.pinTries <= 0 ? 12 : 16);
    }
    m_pinEntered = true;
    sim.pinTries = 3;
    m_pinAtMs = msSinceStart();
    return kOk;
}

std::string SimModem::registration() const {
    const SimCard& sim = m_config.sim;
    if (sim.denied)
        return "+CREG: 0,3";
    if (sim.registerAfterMs < 0 || msSinceStart() < sim.registerAfterMs)
        return "+CREG: 0,2";
    return "+CREG: 0,1";
}

// While the SIM waits for its PIN (or is blocked, or busy after it) it takes no SIM or SMS command; a send
// without an SMS centre fails at the network.
std::optional<std::string> SimModem::simRefuses(const std::string& body) const {
    const SimCard& sim = m_config.sim;
    const bool smsCommand = startsWith(body, "+CMGS") || startsWith(body, "+CMGL") || startsWith(body, "+CMGR") ||
                            startsWith(body, "+CMGD") || startsWith(body, "+CPMS") || startsWith(body, "+CSCA") ||
                            startsWith(body, "+CIMI") || startsWith(body, "+CCID") || startsWith(body, "^ICCID") ||
                            startsWith(body, "+QCCID");
    if (!smsCommand)
        return std::nullopt;
    if (sim.puk || (!sim.pin.empty() && (!m_pinEntered || sim.pinTries <= 0)))
        return equipmentError(sim.puk || sim.pinTries <= 0 ? 12 : 11);
    if (m_pinAtMs >= 0 && msSinceStart() - m_pinAtMs < sim.busyAfterPinMs)
        return equipmentError(14);
    if (startsWith(body, "+CMGS") && sim.smsc.empty())
        return std::string("\r\n+CMS ERROR: 330\r\n");
    return std::nullopt;
}

} // namespace modemsim
