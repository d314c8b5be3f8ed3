#include "sms/PduDecoder.h"

#include "sms/GsmAlphabet.h"

#include <QTimeZone>

#include <algorithm>
#include <iterator>

namespace pdu {
namespace {

constexpr int kMaxPduOctets = 200;    // SMSC field (12) + the longest TPDU (164), with room to spare
constexpr int kMaxSmscOctets = 11;    // type + 10 octets of digits
constexpr int kMaxAddressDigits = 20; // TP-OA / TP-RA: type + 10 octets
constexpr int kMaxSeptets = 160;
constexpr int kMaxOctets = 140;

QString tr(const char* text) {
    return QString::fromUtf8(text);
}

// Bounds-checked walk over the octets of a PDU.
class Reader {
public:
    Reader(const std::uint8_t* data, int size) : m_data(data), m_size(size) {}
    int remaining() const { return m_size - m_pos; }
    int position() const { return m_pos; }
    bool octet(std::uint8_t& v) {
        if (m_pos >= m_size)
            return false;
        v = m_data[m_pos++];
        return true;
    }
    const std::uint8_t* take(int n) {
        if (n < 0 || n > remaining())
            return nullptr;
        const std::uint8_t* p = m_data + m_pos;
        m_pos += n;
        return p;
    }

private:
    const std::uint8_t* m_data;
    int m_size;
    int m_pos = 0;
};

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool hexToOctets(QByteArrayView hex, QByteArray& out, QString& error) {
    const QByteArrayView t = hex.trimmed();
    if (t.isEmpty()) {
        error = tr("PDU vazio");
        return false;
    }
    if (t.size() % 2 != 0) {
        error = tr("PDU com número ímpar de dígitos hexadecimais");
        return false;
    }
    if (t.size() / 2 > kMaxPduOctets) {
        error = tr("PDU longo demais");
        return false;
    }
    out.resize(t.size() / 2);
    for (qsizetype i = 0; i < t.size(); ++i) {
        const int v = hexValue(t[i]);
        if (v < 0) {
            error = tr("PDU com caractere não hexadecimal");
            return false;
        }
        if (i % 2 == 0)
            out[i / 2] = char(v << 4);
        else
            out[i / 2] = char(static_cast<unsigned char>(out[i / 2]) | v);
    }
    return true;
}

QChar semiOctetDigit(int nibble) {
    static const char digits[] = "0123456789*#abc";
    return QChar::fromLatin1(digits[nibble & 0x0F]);
}

QString semiOctets(const std::uint8_t* p, int digits) {
    QString s;
    for (int i = 0; i < digits; ++i) {
        const int nibble = (i % 2 == 0) ? (p[i / 2] & 0x0F) : (p[i / 2] >> 4);
        if (nibble == 0x0F)
            continue; // filler
        s.append(semiOctetDigit(nibble));
    }
    return s;
}

bool isInternational(std::uint8_t type) {
    return (type & 0x70) == 0x10;
}

bool readSmsc(Reader& r, Address& smsc, QString& error) {
    std::uint8_t len = 0;
    if (!r.octet(len)) {
        error = tr("PDU sem campo da central");
        return false;
    }
    if (len == 0)
        return true;
    const std::uint8_t* p = len <= kMaxSmscOctets ? r.take(len) : nullptr;
    if (p == nullptr) {
        error = tr("Campo da central inválido");
        return false;
    }
    smsc.type = p[0];
    smsc.number = (isInternational(p[0]) ? QStringLiteral("+") : QString()) + semiOctets(p + 1, (len - 1) * 2);
    return true;
}

bool readAddress(Reader& r, Address& a, QString& error) {
    std::uint8_t digits = 0;
    std::uint8_t type = 0;
    if (!r.octet(digits) || !r.octet(type) || digits > kMaxAddressDigits) {
        error = tr("Endereço inválido no PDU");
        return false;
    }
    const int octets = (digits + 1) / 2;
    const std::uint8_t* p = r.take(octets);
    if (p == nullptr) {
        error = tr("Endereço truncado no PDU");
        return false;
    }
    a.type = type;
    if ((type & 0x70) == 0x50) { // alphanumeric, GSM 7-bit packed
        a.number = gsm7::decodeSeptets(gsm7::unpackSeptets(p, octets, 0, digits * 4 / 7));
        return true;
    }
    a.number = (isInternational(type) ? QStringLiteral("+") : QString()) + semiOctets(p, digits);
    return true;
}

int swappedBcd(std::uint8_t o) {
    const int tens = o & 0x0F;
    const int units = o >> 4;
    return (tens > 9 || units > 9) ? -1 : tens * 10 + units;
}

bool readTimestamp(Reader& r, Timestamp& ts, QString& error) {
    const std::uint8_t* p = r.take(7);
    if (p == nullptr) {
        error = tr("Data da central truncada no PDU");
        return false;
    }
    int v[6];
    for (int i = 0; i < 6; ++i)
        v[i] = swappedBcd(p[i]);
    const int tens = p[6] & 0x07;
    const int units = p[6] >> 4;
    const int quarters = units > 9 ? 0 : tens * 10 + units;
    ts.zoneMinutes = ((p[6] & 0x08) ? -quarters : quarters) * 15;
    const QDate date(v[0] >= 90 ? 1900 + v[0] : 2000 + v[0], v[1], v[2]); // a two-digit year of the SMS era
    const QTime time(v[3], v[4], v[5]);
    const bool digitsOk = std::all_of(std::begin(v), std::end(v), [](int x) { return x >= 0; });
    const QTimeZone zone(ts.zoneMinutes * 60);
    if (digitsOk && date.isValid() && time.isValid() && zone.isValid())
        ts.time = QDateTime(date, time, zone);
    return true;
}

struct Dcs {
    DataCoding coding = DataCoding::Gsm7;
};

Dcs readDcs(std::uint8_t dcs) {
    Dcs d;
    const int group = dcs >> 4;
    if (group <= 0x07) { // general data coding (and automatic deletion)
        const int alphabet = (dcs >> 2) & 0x03;
        if (dcs & 0x20)
            d.coding = DataCoding::EightBit; // compressed: shown as its bytes
        else if (alphabet == 1)
            d.coding = DataCoding::EightBit;
        else if (alphabet == 2)
            d.coding = DataCoding::Ucs2;
    } else if (group == 0x0E) {
        d.coding = DataCoding::Ucs2;
    } else if (group == 0x0F) {
        d.coding = (dcs & 0x04) ? DataCoding::EightBit : DataCoding::Gsm7;
    }
    return d; // reserved groups and message waiting groups: the default alphabet
}

bool readHeader(const std::uint8_t* h, int udhl, std::optional<Concat>& concat, QString& error) {
    for (int i = 0; i < udhl;) {
        if (i + 2 > udhl || i + 2 + h[i + 1] > udhl) {
            error = tr("Cabeçalho da mensagem truncado");
            return false;
        }
        const std::uint8_t iei = h[i];
        const int iel = h[i + 1];
        const std::uint8_t* d = h + i + 2;
        Concat c;
        if (iei == 0x00 && iel == 3)
            c = {d[0], false, d[1], d[2]};
        else if (iei == 0x08 && iel == 4)
            c = {(d[0] << 8) | d[1], true, d[2], d[3]};
        if (c.total >= 1 && c.sequence >= 1 && c.sequence <= c.total)
            concat = c; // an element with impossible numbers is ignored
        i += 2 + iel;
    }
    return true;
}

bool readUserData(Reader& r, bool udhi, DataCoding coding, Deliver& out, QString& error) {
    std::uint8_t udl = 0;
    if (!r.octet(udl)) {
        error = tr("PDU sem dados da mensagem");
        return false;
    }
    const bool septets = coding == DataCoding::Gsm7;
    if (udl > (septets ? kMaxSeptets : kMaxOctets)) {
        error = tr("Comprimento da mensagem inválido no PDU");
        return false;
    }
    const int octets = septets ? (udl * 7 + 7) / 8 : udl;
    const std::uint8_t* p = r.take(octets);
    if (p == nullptr) {
        error = tr("Mensagem truncada no PDU");
        return false;
    }
    int headerOctets = 0;
    if (udhi) {
        headerOctets = octets > 0 ? p[0] + 1 : 1;
        if (headerOctets > octets || !readHeader(p + 1, headerOctets - 1, out.concat, error)) {
            if (error.isEmpty())
                error = tr("Cabeçalho da mensagem maior que a mensagem");
            return false;
        }
    }
    if (septets) {
        const int headerSeptets = (headerOctets * 8 + 6) / 7;
        if (headerSeptets > udl) {
            error = tr("Cabeçalho da mensagem maior que a mensagem");
            return false;
        }
        out.text = gsm7::decodeSeptets(gsm7::unpackSeptets(p, octets, headerSeptets * 7, udl - headerSeptets));
        return true;
    }
    const std::uint8_t* body = p + headerOctets;
    const int bodyOctets = octets - headerOctets;
    if (coding == DataCoding::EightBit) {
        out.text = QString::fromLatin1(reinterpret_cast<const char*>(body), bodyOctets);
        return true;
    }
    out.text.resize(bodyOctets / 2);
    for (int i = 0; i < bodyOctets / 2; ++i)
        out.text[i] = QChar(char16_t((body[2 * i] << 8) | body[2 * i + 1]));
    return true;
}

// Where the TPDU starts, reading the SMSC field when there is one.
bool locateTpdu(Reader& r, int total, int tpduLength, Address& smsc, QString& error) {
    if (tpduLength < 0)
        return readSmsc(r, smsc, error);
    if (tpduLength == total)
        return true;
    if (!readSmsc(r, smsc, error))
        return false;
    if (r.remaining() != tpduLength) {
        error = tr("Comprimento do PDU não confere com o informado pelo modem");
        return false;
    }
    return true;
}

bool readDeliverTpdu(Reader& r, Deliver& d, QString& error) {
    std::uint8_t first = 0;
    std::uint8_t pid = 0;
    std::uint8_t dcs = 0;
    if (!r.octet(first)) {
        error = tr("PDU sem mensagem");
        return false;
    }
    if ((first & 0x03) != 0x00) {
        error = tr("PDU não é uma mensagem recebida (SMS-DELIVER)");
        return false;
    }
    if (!readAddress(r, d.sender, error))
        return false;
    if (!r.octet(pid) || !r.octet(dcs)) {
        error = tr("PDU truncado");
        return false;
    }
    if (!readTimestamp(r, d.sent, error))
        return false;
    d.coding = readDcs(dcs).coding;
    d.statusReportIndicated = (first & 0x20) != 0;
    return readUserData(r, (first & 0x40) != 0, d.coding, d, error);
}

bool readStatusTpdu(Reader& r, StatusReport& s, QString& error) {
    std::uint8_t first = 0;
    std::uint8_t mr = 0;
    if (!r.octet(first) || (first & 0x03) != 0x02) {
        error = tr("PDU não é um relatório de entrega (SMS-STATUS-REPORT)");
        return false;
    }
    if (!r.octet(mr)) {
        error = tr("PDU truncado");
        return false;
    }
    s.reference = mr;
    if (!readAddress(r, s.recipient, error) || !readTimestamp(r, s.centreTime, error) ||
        !readTimestamp(r, s.dischargeTime, error))
        return false;
    if (!r.octet(s.status)) {
        error = tr("Relatório de entrega sem situação");
        return false;
    }
    s.state = deliveryState(s.status);
    s.statusText = deliveryStatusText(s.status);
    return true; // optional parameters after TP-ST are not needed
}

bool plausible(const StatusReport& s) {
    return s.centreTime.time.isValid() && s.dischargeTime.time.isValid();
}

} // namespace

Decoded<Deliver> decodeDeliver(QByteArrayView hex, int tpduLength) {
    Decoded<Deliver> result;
    QByteArray octets;
    if (!hexToOctets(hex, octets, result.error))
        return result;
    Reader r(reinterpret_cast<const std::uint8_t*>(octets.constData()), int(octets.size()));
    Deliver d;
    if (!locateTpdu(r, int(octets.size()), tpduLength, d.smsc, result.error) || !readDeliverTpdu(r, d, result.error))
        return result;
    result.value = std::move(d);
    return result;
}

Decoded<StatusReport> decodeStatusReport(QByteArrayView hex, int tpduLength) {
    Decoded<StatusReport> result;
    QByteArray octets;
    if (!hexToOctets(hex, octets, result.error))
        return result;
    const auto* data = reinterpret_cast<const std::uint8_t*>(octets.constData());
    const int size = int(octets.size());
    // Without a length: with the SMSC field first (its type octet has the top bit set), then without; a reading
    // whose time stamps are dates wins over one that only fits.
    struct Try {
        std::optional<StatusReport> report;
        QString error;
    };
    auto attempt = [&](bool withSmsc) {
        Try t;
        Reader r(data, size);
        Address smsc;
        StatusReport s;
        const bool located = tpduLength >= 0 ? locateTpdu(r, size, tpduLength, smsc, t.error)
                                             : (!withSmsc || readSmsc(r, smsc, t.error));
        if (located && tpduLength < 0 && withSmsc && !smsc.number.isEmpty() && !(smsc.type & 0x80))
            t.error = tr("Campo da central inválido");
        else if (located && readStatusTpdu(r, s, t.error))
            t.report = s;
        return t;
    };
    if (tpduLength >= 0) {
        Try t = attempt(true);
        result.value = t.report;
        result.error = t.error;
        return result;
    }
    const Try with = attempt(true);
    const Try without = attempt(false);
    for (const Try* t : {&with, &without}) {
        if (t->report && plausible(*t->report)) {
            result.value = t->report;
            return result;
        }
    }
    result.value = with.report ? with.report : without.report;
    if (!result.value)
        result.error = with.error;
    return result;
}

DeliveryState deliveryState(std::uint8_t status) {
    if (status < 0x20)
        return DeliveryState::Delivered; // transaction completed
    if (status < 0x40)
        return DeliveryState::Pending; // temporary error, the centre keeps trying
    return DeliveryState::Failed;      // permanent, or temporary with no more attempts (reserved values too)
}

QString deliveryStatusText(std::uint8_t status) {
    switch (deliveryState(status)) {
    case DeliveryState::Delivered:
        return tr("Entregue");
    case DeliveryState::Pending:
        return tr("Pendente");
    case DeliveryState::Failed:
        break;
    }
    static const char* const permanent[] = {"erro de procedimento remoto",        "destino incompatível",
                                            "conexão recusada pelo destinatário", "não obtida",
                                            "qualidade de serviço indisponível",  "sem interligação disponível",
                                            "validade da mensagem expirou",       "mensagem apagada pelo remetente",
                                            "mensagem apagada pela central",      "mensagem inexistente na central"};
    static const char* const temporary[] = {"congestionamento",
                                            "destinatário ocupado",
                                            "sem resposta do destinatário",
                                            "serviço recusado",
                                            "qualidade de serviço indisponível",
                                            "erro no destinatário"};
    const char* reason = nullptr;
    if (status >= 0x40 && status <= 0x49)
        reason = permanent[status - 0x40];
    else if (status >= 0x60 && status <= 0x65)
        reason = temporary[status - 0x60];
    if (reason != nullptr)
        return tr("Falhou: ") + tr(reason);
    return tr("Falhou: situação 0x") + QString::number(status, 16).toUpper().rightJustified(2, u'0');
}

} // namespace pdu
