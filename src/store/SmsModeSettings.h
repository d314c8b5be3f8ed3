#pragma once

#include <QSqlDatabase>
#include <QString>

// How SMS go to the modems: text mode (AT+CMGF=1, the modem's character set, 160 characters) or PDU mode
// (AT+CMGF=0, GSM 7-bit or UCS-2, concatenated parts), and whether delivery reports are asked for. Both live
// in the settings row: dbCFG.MODO_SMS ("TEXTO" / "PDU") and dbCFG.CONFIRMA_ENTREGA.
enum class SmsMode { Text, Pdu };

struct SmsModeSettings {
    SmsMode mode = SmsMode::Text;
    bool confirmDelivery = false;
};

// Longest text of one SMS in text mode, in characters.
constexpr int kTextModeMaxChars = 160;
// Longest text the outbox and the SMS template hold: six concatenated parts of 153 GSM 7-bit septets. A UCS-2
// text fits fewer characters in six parts (6 x 67 = 402), so this bounds both codings.
constexpr int kSmsColumnMaxChars = 6 * 153;

QString smsModeText(SmsMode mode); // "TEXTO" or "PDU", as stored

// Reads the settings row. On failure (no row, a read error, a value other than "TEXTO"/"PDU") *error holds a
// Portuguese text for the operator and the returned value must not be used; on success *error is cleared.
SmsModeSettings readSmsMode(const QSqlDatabase& db, QString* error);

// Writes both columns of the settings row; false with *error set when the write fails.
bool writeSmsMode(const QSqlDatabase& db, const SmsModeSettings& settings, QString* error);
