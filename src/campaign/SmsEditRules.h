#pragma once

#include <QString>

#include "store/SmsModeSettings.h"

// What the SMS text editors let the operator type, by sending mode. Text mode: the SMS key filter and 160
// characters. PDU mode: any printable character (the encoder picks GSM 7-bit or UCS-2) and at most six
// concatenated parts, counted from the real encoding.
namespace SmsEditRules {

// The mode an editor follows for a MODO_SMS value: "PDU" is PDU mode, anything else the stricter text mode.
SmsMode modeOf(const QString& modoSms);

// Whether a typed character may reach the text (Backspace and Tab in both modes; no control character in
// PDU mode, where a line break would only become a blank on the way to the modem).
bool accepts(SmsMode mode, char32_t code);

// The part of `inserted` that may replace [from, to) of `text`: all of it, its longest beginning that keeps
// the text within the mode's limit (never half a surrogate pair), or nothing.
QString fitInsertion(SmsMode mode, const QString& text, int from, int to, const QString& inserted);

// "Total Caracteres: N" in text mode (N in characters as typed); "Total Caracteres: N (k SMS)" in PDU mode.
QString counterText(SmsMode mode, const QString& text);

} // namespace SmsEditRules
