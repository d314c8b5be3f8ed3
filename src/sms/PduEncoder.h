#pragma once

#include <QList>
#include <QString>

#include <cstdint>

// SMS-SUBMIT PDUs for "AT+CMGS=<length>" in PDU mode (AT+CMGF=0): the GSM 7-bit alphabet when every character
// fits, UCS-2 otherwise, and concatenated parts (8-bit reference) for a text longer than one message.
namespace pdu {

enum class Coding { Gsm7, Ucs2 };

constexpr int kMaxParts = 6;         // what the SMS editors and the outbox builder allow in PDU mode
constexpr int kMaxConcatParts = 255; // what one 8-bit concatenation header can number

// Size of a text as it would be sent: characters (Unicode code points), coding, and parts.
struct SmsCount {
    int characters = 0;
    int parts = 1;
    Coding coding = Coding::Gsm7;
    int units = 0; // septets (GSM 7-bit, an extension character counts 2) or UTF-16 code units (UCS-2)
};

SmsCount countSms(const QString& text);

// The longest beginning of text (cut between characters, never inside an escape or surrogate pair) that fits
// in maxParts parts; text itself when it already fits.
QString fitToParts(const QString& text, int maxParts = kMaxParts);

struct SubmitOptions {
    bool statusReport = false;                  // TP-SRR: ask the centre for a delivery report
    std::uint8_t reference = 0;                 // concatenation reference, one per message (caller's choice)
    QString countryCode = QStringLiteral("55"); // 12-13 digits starting with it are an international number
};

struct SubmitPart {
    QByteArray hex; // SMSC field "00" + TPDU, upper-case hex, ready to write before Ctrl-Z
    int tpduLength; // octets after the SMSC field: the <length> of AT+CMGS
};

struct SubmitResult {
    QList<SubmitPart> parts; // empty on error
    QString error;           // Portuguese, for the operator's log
    bool ok() const { return error.isEmpty(); }
};

SubmitResult encodeSubmit(const QString& number, const QString& text, const SubmitOptions& options = {});

} // namespace pdu
