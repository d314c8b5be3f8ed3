#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The GSM 7-bit default alphabet and its extension table (reached with the escape septet 0x1B), as the modem and
// the network use them in SMS user data.
namespace gsm7 {

constexpr std::uint8_t kEscape = 0x1B;

// Septets one Unicode code point takes: 1 in the basic table, 2 (escape + septet) in the extension table,
// 0 when the alphabet has no such character.
int septetsFor(char32_t codePoint);

// Appends the septet(s) of codePoint to septets; false (nothing appended) when the alphabet lacks it.
bool appendSeptets(char32_t codePoint, QByteArray& septets);

// True when every code point of text is in the basic or the extension table.
bool fits(const QString& text);

// The character of a basic-table septet (0..127; higher bits ignored).
char32_t basicChar(std::uint8_t septet);

// The character of the extension-table septet following an escape. A septet the table does not define shows
// as its basic-table character, and a second escape as a space, as a receiver without further tables does.
char32_t extensionChar(std::uint8_t septet);

// Unpacks count septets from 7-bit packed octets, starting after skipBits bits (fill bits after a user data
// header). Stops early when the octets run out.
QByteArray unpackSeptets(const std::uint8_t* octets, int octetCount, int skipBits, int count);

// Packs septets into octets, leading with fillBits zero bits (fill after a user data header).
QByteArray packSeptets(const QByteArray& septets, int fillBits);

// Text of a run of septets: escapes resolved through the extension table; a trailing escape shows as a space.
QString decodeSeptets(const QByteArray& septets);

} // namespace gsm7
