#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// Pure readers of the modem's replies to the set-up commands. Each takes the lines the modem sent
// between the command and its final result (the echo of the command, unsolicited lines and the
// final result itself may be among them) and picks the line it knows, skipping the others.
namespace ModemReplies {

using Lines = QList<QByteArray>;

// "+CPIN: READY", "+CPIN: SIM PIN", "+CPIN: SIM PUK" (AT+CPIN?).
enum class Pin { Unknown, Ready, SimPin, SimPuk, Other };
Pin pinState(const Lines& lines);

// "+CME ERROR: <n>": the code, or -1 when no such line (or a code in words) is there.
int cmeError(const Lines& lines);

// AT+CGSN: the IMEI, 14 to 17 digits, bare or as "+CGSN: "…"" (quotes dropped).
QString imei(const Lines& lines);
// AT+CIMI: the IMSI, 6 to 15 digits, bare or as "+CIMI: …".
QString imsi(const Lines& lines);
// AT+CCID, AT^ICCID?, AT+QCCID: the ICCID as the modem writes it ("+CCID: ", "^ICCID: ", "+QCCID: ",
// "+ICCID: " or bare; quotes dropped), 18 to 22 digits or hex letters. A BCD-swapped ICCID stays as written.
QString iccid(const Lines& lines);
// AT+CGMI / AT+CGMM: the first line that is no echo of `command`, no final result and no unsolicited
// "+…:"/"^…:" line of another command, with a "+CGMI: "/"+CGMM: " prefix and quotes dropped; printable,
// at most 64 characters.
QString infoText(const Lines& lines, const QByteArray& command);

// "+CREG: …" in every form the modems use: "<n>,<stat>[,<lac>,<ci>[,<act>]]" answering AT+CREG?, and
// "<stat>[,<lac>,<ci>[,<act>]]" unsolicited. The registration status, or nothing.
std::optional<int> registration(const QByteArray& line);
std::optional<int> registration(const Lines& lines);
// Registered: home network (1) or roaming (5).
inline bool registered(int stat) {
    return stat == 1 || stat == 5;
}

// "+CSQ: <rssi>,<ber>": rssi (0..31, 99 = unknown), or -1.
int signal(const Lines& lines);

// "+CSCA: "<number>",<type>": the SMS centre's number, empty when the SIM has none; nothing without a
// "+CSCA:" line.
std::optional<QString> smsc(const Lines& lines);

} // namespace ModemReplies
