// The simulated modem's echo variants and the lines it writes on its own (Chatter).
#include "SimModem.h"

namespace modemsim {

namespace {

const std::string kOk = "\r\nOK\r\n";

} // namespace

bool chatterProfile(const std::string& name, Chatter* chatter) {
    Chatter c;
    if (name == "plain") {
        *chatter = c;
        return true;
    }
    c.lfEchoAfterAnswer = true;
    c.echoCtrlZ = true;
    if (name == "huawei") {
        c.lines = {"^RSSI:14", "^BOOT:35323129,0,0,0,26", "^SRVST:0", "^MODE:5,4",
                   "^DSFLOWRPT:00000124,00000000,00000000,0000000000000000,0000000000000000,0003E800,0003E800"};
        c.commandNotSupport = true;
        c.beforeEcho = c.beforeOk = c.afterPrompt = c.inListing = true;
    } else if (name == "zte") {
        c.lines = {"+ZUSIMR:2"};
        c.doubleEcho = true;
        c.afterResult = c.afterPrompt = c.inListing = true;
    } else if (name == "quectel") {
        c.lines = {"RDY", "+CFUN: 1", "+CPIN: READY", "+QUSIM: 1", "+QIND: SMS DONE", "+QIND: \"csq\",27,99"};
        c.barePrompt = true;
        c.beforeOk = c.afterResult = c.inListing = true;
    } else if (name == "cinterion") {
        c.lines = {"^SYSSTART"};
        c.beforeEcho = c.afterPrompt = true;
    } else if (name == "mbm") {
        c.lines = {"*EMRDY: 1"};
        c.insideEcho = true;
    } else {
        return false;
    }
    *chatter = c;
    return true;
}

// The next line of its own, framed; empty when the modem has none.
std::string SimModem::chatterLine() {
    const std::vector<std::string>& lines = m_config.chatter.lines;
    if (lines.empty())
        return {};
    return "\r\n" + lines[m_chatterNext++ % lines.size()] + "\r\n";
}

// Before a command's first echoed character, and inside the echo after its third.
void SimModem::chatterInEcho(char c, Output& out) {
    if (c == '\r' || c == '\n')
        return;
    if (m_line.empty() && m_config.chatter.beforeEcho)
        out.echo += chatterLine();
    if (m_line.size() == 3 && m_config.chatter.insideEcho && m_echo)
        out.echo += chatterLine();
}

// The echo of a command line's end: the CR, the line again for a double echo; the LF after the
// answer when the modem echoes so (an LF right after a command's CR). True when the character is fully handled.
bool SimModem::chatterEchoEnd(char c, const std::string& line, Output& out) {
    if (!m_echo)
        return false;
    if (c == '\r' && m_config.chatter.doubleEcho && !line.empty())
        out.echo += line + "\r";
    if (c == '\n' && m_config.chatter.lfEchoAfterAnswer) {
        out.reply += "\n";
        return true;
    }
    return false;
}

// An answer as the modem writes it with its own lines: one between the information lines and the
// "OK", one after the final result.
std::string SimModem::chatterAroundResult(std::string reply) {
    const Chatter& c = m_config.chatter;
    const bool hasInfo = reply.size() > kOk.size() && reply.compare(reply.size() - kOk.size(), kOk.size(), kOk) == 0;
    if (c.beforeOk && hasInfo)
        reply.insert(reply.size() - kOk.size(), chatterLine());
    if (c.afterResult && !reply.empty() && reply.back() == '\n')
        reply += chatterLine();
    return reply;
}

std::string SimModem::prompt() {
    std::string p = m_config.chatter.barePrompt ? "\r\n>\r\n" : "\r\n> ";
    if (m_config.chatter.afterPrompt)
        p += chatterLine();
    return p;
}

std::string SimModem::unknownCommand() const {
    return m_config.chatter.commandNotSupport ? "\r\nCOMMAND NOT SUPPORT\r\n" : "\r\nERROR\r\n";
}

std::string SimModem::listingChatter() {
    return m_config.chatter.inListing ? chatterLine() : std::string();
}

} // namespace modemsim
