#include "modem/UnsolicitedLine.h"

#include <array>
#include <string_view>

namespace UnsolicitedLine {
namespace {

// How a table entry meets a line: the whole line, or its beginning.
enum class Match { Whole, Prefix };

struct Entry {
    std::string_view text;
    Match match;
    Kind kind;
    // The query whose answer starts the same way (after "AT", upper case), empty when none.
    std::string_view askedBy;
};

// Real modems' own lines: the standard ones and those of Huawei (^), ZTE (+Z), Quectel (+Q, RDY,
// SMS DONE), Cinterion (^SYSSTART) and Ericsson MBM (*EMRDY).
constexpr std::array kTable{
    Entry{"RING", Match::Whole, Kind::Call, {}},
    Entry{"NO CARRIER", Match::Whole, Kind::Call, {}},
    Entry{"+CLIP:", Match::Prefix, Kind::Call, "+CLIP"},
    Entry{"+CMTI:", Match::Prefix, Kind::NewMessage, {}},
    Entry{"+CDSI:", Match::Prefix, Kind::Report, {}},
    Entry{"+CDS:", Match::Prefix, Kind::Report, {}},
    Entry{"+CREG:", Match::Prefix, Kind::Registration, "+CREG"},
    Entry{"+CGREG:", Match::Prefix, Kind::Registration, "+CGREG"},
    Entry{"+CEREG:", Match::Prefix, Kind::Registration, "+CEREG"},
    Entry{"^SRVST:", Match::Prefix, Kind::Registration, "^SRVST"},
    Entry{"^MODE:", Match::Prefix, Kind::Registration, "^MODE"},
    Entry{"^RSSI:", Match::Prefix, Kind::Signal, "^RSSI"},
    Entry{"^HCSQ:", Match::Prefix, Kind::Signal, "^HCSQ"},
    Entry{"+CPIN:", Match::Prefix, Kind::Sim, "+CPIN"},
    Entry{"^SIMST:", Match::Prefix, Kind::Sim, "^SIMST"},
    Entry{"+ZUSIMR:", Match::Prefix, Kind::Sim, "+ZUSIMR"},
    Entry{"+ZPASR:", Match::Prefix, Kind::Sim, "+ZPASR"},
    Entry{"+QUSIM:", Match::Prefix, Kind::Sim, "+QUSIM"},
    Entry{"RDY", Match::Whole, Kind::Start, {}},
    Entry{"+CFUN:", Match::Prefix, Kind::Start, "+CFUN"},
    Entry{"^BOOT:", Match::Prefix, Kind::Start, {}},
    Entry{"^SYSSTART", Match::Prefix, Kind::Start, {}},
    Entry{"*EMRDY:", Match::Prefix, Kind::Start, "*EMRDY"},
    Entry{"SMS DONE", Match::Whole, Kind::Start, {}},
    Entry{"PB DONE", Match::Whole, Kind::Start, {}},
    Entry{"+QIND: \"csq\"", Match::Prefix, Kind::Signal, {}},
    Entry{"+QIND:", Match::Prefix, Kind::Start, {}},
    Entry{"+CUSD:", Match::Prefix, Kind::Network, "+CUSD"},
    Entry{"^DSFLOWRPT:", Match::Prefix, Kind::Network, "^DSFLOWRPT"},
    Entry{"^STIN:", Match::Prefix, Kind::Network, "^STIN"},
};

bool meets(const Entry& e, QByteArrayView line) {
    const QByteArrayView text(e.text.data(), qsizetype(e.text.size()));
    return e.match == Match::Whole ? line == text : line.startsWith(text);
}

// Whether `pending` ("AT+CREG?", "at+cpin?", "AT+CFUN=1") queries what `askedBy` names.
bool asks(QByteArrayView pending, std::string_view askedBy) {
    if (askedBy.empty() || pending.size() < 2 + qsizetype(askedBy.size()))
        return false;
    const QByteArrayView body = pending.sliced(2);
    for (std::size_t i = 0; i < askedBy.size(); ++i) {
        char c = body[qsizetype(i)];
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        if (c != askedBy[i])
            return false;
    }
    return true;
}

} // namespace

Kind classify(QByteArrayView line, QByteArrayView pending) {
    // A modem may pad its own line with a blank or a CR left from its framing.
    while (!line.isEmpty() && (line.back() == '\r' || line.back() == ' '))
        line.chop(1);
    for (const Entry& e : kTable) {
        if (!meets(e, line))
            continue;
        return asks(pending, e.askedBy) ? Kind::None : e.kind;
    }
    return Kind::None;
}

bool isOtherRefusal(QByteArrayView line) {
    return line == "COMMAND NOT SUPPORT";
}

QString kindName(Kind kind) {
    switch (kind) {
    case Kind::Call:
        return QStringLiteral("CHAMADA");
    case Kind::NewMessage:
        return QStringLiteral("NOVO SMS");
    case Kind::Report:
        return QStringLiteral("CONFIRMAÇÃO DE ENTREGA");
    case Kind::Registration:
        return QStringLiteral("REGISTRO NA REDE");
    case Kind::Signal:
        return QStringLiteral("SINAL");
    case Kind::Sim:
        return QStringLiteral("SIM");
    case Kind::Start:
        return QStringLiteral("INÍCIO DO MODEM");
    case Kind::Network:
        return QStringLiteral("REDE");
    case Kind::None:
        break;
    }
    return QString();
}

} // namespace UnsolicitedLine
