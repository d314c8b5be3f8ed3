#pragma once

#include <string>
#include <vector>

namespace modemsim {

// How a modem talks beyond its answers: the ways it echoes, and the lines of its own it writes at any
// moment (each framed CR LF <line> CR LF), as real modems of several makers do.
struct Chatter {
    bool lfEchoAfterAnswer = false; // the LF after a command's CR is echoed after the answer
    bool doubleEcho = false;        // every command line echoed twice ("ATE0\rATE0\r")
    bool echoCtrlZ = false;         // the Ctrl-Z that ends a text or PDU is echoed (before the result)
    bool barePrompt = false;        // the prompt is ">" CR LF, not "> "
    bool commandNotSupport = false; // an unknown command answers "COMMAND NOT SUPPORT" instead of ERROR
    bool keepLfAfterCmgs = false;   // an LF right after AT+CMGS="<number>" CR is the text's first character
    std::vector<std::string> lines; // the lines of its own, written in turn
    bool beforeEcho = false;        // before each command's echo
    bool insideEcho = false;        // inside each command's echo, after its third character
    bool afterPrompt = false;       // right after the prompt
    bool beforeOk = false;          // between an answer's information lines and its "OK"
    bool afterResult = false;       // right after each final result
    bool inListing = false;         // after each record of a listing (text and PDU)
};

// The chatter of a maker's modems: "huawei" (^RSSI, ^BOOT, ^SRVST, ^MODE, "COMMAND NOT SUPPORT"), "zte"
// (+ZUSIMR:2, double echo), "quectel" (RDY, +QIND, bare ">" prompt), "cinterion" (^SYSSTART), "mbm"
// (*EMRDY inside the echo); every profile echoes the LF after the answer and the Ctrl-Z. Empty for
// "plain"; false when the name is unknown.
bool chatterProfile(const std::string& name, Chatter* chatter);

} // namespace modemsim
