#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The simulated modem's own reading and writing of SMS PDUs, kept apart from the program's so that each checks
// the other: SMS-SUBMIT decoding (what the host sends with AT+CMGS in PDU mode), SMS-DELIVER and
// SMS-STATUS-REPORT encoding (what the modem lists and reports). Plain C++, UTF-8 text.
namespace modemsim {

struct SubmitPdu {
    int tpduLength = 0; // octets after the SMSC field
    std::string smsc;   // digits of the SMSC field, empty for "00"
    int messageReference = 0;
    bool statusReport = false;
    int validityFormat = 0; // TP-VPF: 0 none, 2 relative, 1 enhanced, 3 absolute
    int validity = -1;      // the relative validity octet
    std::string number;     // "+" and digits when international
    int numberType = 0;
    int dcs = 0;
    bool ucs2 = false;
    bool concatenated = false;
    int reference = 0;
    int total = 1;
    int sequence = 1;
    std::u16string units; // the text as UTF-16 code units (a surrogate half may end a part)
    int septets = 0;      // user-data length in septets (7-bit), or octets (UCS-2), header included
};

// Decodes one "SMSC + TPDU" hex PDU; on failure returns nothing and sets *error when given.
std::optional<SubmitPdu> decodeSubmitPdu(std::string_view hex, std::string* error = nullptr);

// Joins the parts of one message (any order) and gives the text as UTF-8.
std::string joinedText(std::vector<SubmitPdu> parts);

// UTF-16 to UTF-8 (an unpaired surrogate becomes U+FFFD) and UTF-8 to code points.
std::string utf16ToUtf8(const std::u16string& units);
std::u32string utf8ToCodePoints(std::string_view utf8);

// Whether every character has a place in the default alphabet or its extension table.
bool fitsDefaultAlphabet(std::string_view utf8);

struct DeliverSpec {
    std::string smsc = "+5511999000000";            // empty: "00"
    std::string sender;                             // "+digits", digits, or a name (alphanumeric sender)
    std::string timestamp = "26/12/09,10:20:30-12"; // yy/MM/dd,hh:mm:ss followed by the zone in quarters
    std::string text;                               // UTF-8
    bool ucs2 = false;    // otherwise the GSM 7-bit alphabet (characters outside it become '?')
    std::u16string units; // UCS-2: when not empty, sent instead of text (parts may split a pair)
    bool concatenated = false;
    bool wideReference = false;
    int reference = 0;
    int total = 1;
    int sequence = 1;
};

// The hex PDU of an SMS-DELIVER, and its TPDU length through *tpduLength.
std::string encodeDeliverPdu(const DeliverSpec& msg, int* tpduLength = nullptr);

// Splits a text into DELIVER parts as a sending phone would: 153 septets or 67 UCS-2 units per part (152 / 66
// with a 16-bit reference).
std::vector<DeliverSpec> splitForDelivery(const DeliverSpec& message);

struct StatusReportSpec {
    bool withSmsc = true;
    int messageReference = 0;
    std::string recipient; // "+digits" or digits
    std::string centreTime = "26/12/09,10:20:30-12";
    std::string dischargeTime = "26/12/09,10:20:35-12";
    int status = 0;
};

std::string encodeStatusReportPdu(const StatusReportSpec& msg, int* tpduLength = nullptr);

} // namespace modemsim
