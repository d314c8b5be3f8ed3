#pragma once

#include <QByteArray>
#include <optional>

// Unsolicited delivery-report lines of one slot's modem, line by line:
//   "+CDS: <length>" then the PDU line (AT+CNMI=...,1,... : the report itself),
//   "+CDSI: <mem>,<index>" (AT+CNMI=...,2,... : a report stored in the modem, read with AT+CMGR),
//   and, while such a read is awaited, "+CMGR: <stat>,[<alpha>],<length>" then the PDU line.
// The PDU line must be hexadecimal; any other line ends the wait and is left to the other tests. A "+CDS:" in
// text mode (with commas) is not a PDU report and is ignored here.
class StatusReportLines {
public:
    struct Pdu {
        QByteArray hex;
        int length = -1;     // TPDU octets the modem announced
        bool stored = false; // read with AT+CMGR after "+CDSI:"
    };
    struct Stored {
        QByteArray memory;
        int index = 0;
    };
    struct Result {
        std::optional<Pdu> pdu;
        std::optional<Stored> stored;
        bool taken = false;      // the line belonged to a report
        bool readFailed = false; // the awaited read of a stored report was refused
    };

    // One whole reply line, without its CR/LF.
    Result line(const QByteArray& text);
    // The coordinator wrote AT+CMGR for a stored report: its "+CMGR:" reply is a report.
    void expectStoredRead() { m_readPending = true; }
    void abandonStoredRead() {
        m_readPending = false;
        if (m_fromRead)
            m_length = -1;
        m_fromRead = false;
    }
    bool awaitingPdu() const { return m_length >= 0; }
    bool readAwaited() const { return m_readPending; }

private:
    int m_length = -1; // a "+CDS:"/"+CMGR:" header came: the next line is its PDU
    bool m_fromRead = false;
    bool m_readPending = false;
};
