#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

// Received PDUs in PDU mode (AT+CMGF=0): SMS-DELIVER from "+CMGL: <index>,<stat>,,<length>" listings and
// SMS-STATUS-REPORT from "+CDS: <length>" (or a read after "+CDSI:"). Everything here comes from a modem and
// is checked: a malformed PDU gives an error text, never a crash.
namespace pdu {

enum class DataCoding { Gsm7, EightBit, Ucs2 };

struct Address {
    QString number;        // digits ("+" first for an international number), or the alphanumeric sender's name
    std::uint8_t type = 0; // type-of-address octet (0x91 international, 0xA1 national, 0xD0 alphanumeric, ...)
};

// Service-centre time stamp: local time of the centre and its zone.
struct Timestamp {
    QDateTime time;      // with the zone's offset; invalid when the digits are not a date
    int zoneMinutes = 0; // offset from UTC, minutes (quarters of an hour on air)
};

// A concatenation header (8- or 16-bit reference).
struct Concat {
    int reference = 0;
    bool wideReference = false;
    int total = 0;
    int sequence = 0;
};

struct Deliver {
    Address smsc; // empty when the PDU came without one
    Address sender;
    Timestamp sent;
    DataCoding coding = DataCoding::Gsm7;
    QString text; // 8-bit data shown as Latin-1; UCS-2 kept unit by unit (a pair split across parts rejoins)
    std::optional<Concat> concat;
    bool statusReportIndicated = false;
};

enum class DeliveryState { Delivered, Pending, Failed };

struct StatusReport {
    int reference = 0; // TP-MR: the "+CMGS: <mr>" of the part it reports on
    Address recipient;
    Timestamp centreTime;    // when the centre took the message
    Timestamp dischargeTime; // when it was delivered, or the last attempt
    std::uint8_t status = 0;
    DeliveryState state = DeliveryState::Delivered;
    QString statusText; // "Entregue", "Pendente" or "Falhou: <reason>"
};

template <typename T> struct Decoded {
    std::optional<T> value;
    QString error; // Portuguese, when value is empty
};

// tpduLength: the <length> the modem gave with the PDU (octets after the SMSC field), or -1 when unknown.
// With it, the SMSC field is present exactly when the PDU is longer than that; without it, a DELIVER is taken to
// carry its SMSC field (as listings do) and a STATUS-REPORT is tried both ways.
Decoded<Deliver> decodeDeliver(QByteArrayView hex, int tpduLength = -1);
Decoded<StatusReport> decodeStatusReport(QByteArrayView hex, int tpduLength = -1);

// The Portuguese text of a TP-Status value, and its class.
QString deliveryStatusText(std::uint8_t status);
DeliveryState deliveryState(std::uint8_t status);

} // namespace pdu
