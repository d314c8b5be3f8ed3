#pragma once

#include "sms/SlotState.h"

#include <QByteArray>
#include <QString>

// What goes on the wire between the "> " prompt and the Ctrl-Z in text mode. Inside a pending
// prompt every byte is message text until Ctrl-Z (0x1A) or ESC (0x1B), so no byte below 0x20 and
// no DEL (0x7F) that came from data may ever be written there.
namespace TextCodec {

// The text in the modem's character set: Latin-1 ("8859-1"), or ASCII ("IRA") with every letter
// turned into its base letter ("ã" -> "a", "Ç" -> "C"). In both, "€" becomes "EUR", typographic
// quotes, dashes and the ellipsis their ASCII forms, and any other character the set lacks "?".
QByteArray encode(const QString& text, TextCharset charset);

// What the modem wrote in text mode, read in its character set: Latin-1 byte for byte ("8859-1"),
// or ASCII ("IRA"), where a byte above 0x7F stands for no character of the set and becomes "?".
QString decode(QByteArrayView bytes, TextCharset charset);

// The text holds a character below U+0020 or U+007F (it is refused, not sent).
bool hasControl(const QString& text);
bool hasControlByte(const QByteArray& bytes);

// A number fit for AT+CMGS="...": digits, with at most one leading "+".
bool validNumber(const QString& fone);

// The history MENSAGEM of a row refused for its text: " FALHA :TEXTO INVÁLIDO" CR text.
QString invalidTextFailure(const QString& text);
// ... and of a row refused for its number: " FALHA :NÚMERO INVÁLIDO" CR text.
QString invalidNumberFailure(const QString& text);

// The name AT+CSCS takes for the set ("8859-1", "IRA").
QByteArray charsetName(TextCharset charset);

} // namespace TextCodec
