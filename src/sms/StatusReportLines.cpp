#include "sms/StatusReportLines.h"

#include <QList>

namespace {

bool isHex(const QByteArray& text) {
    if (text.isEmpty() || text.size() % 2 != 0)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// A length field: 1..3 decimal digits (a TPDU has at most 164 octets).
int lengthOf(const QByteArray& field) {
    const QByteArray t = field.trimmed();
    if (t.isEmpty() || t.size() > 3)
        return -1;
    for (const char c : t)
        if (c < '0' || c > '9')
            return -1;
    return t.toInt();
}

} // namespace

StatusReportLines::Result StatusReportLines::line(const QByteArray& text) {
    Result r;
    if (text.isEmpty())
        return r; // the blank between header and PDU some modems send
    if (m_length >= 0) {
        const int length = m_length;
        const bool fromRead = m_fromRead;
        m_length = -1;
        m_fromRead = false;
        if (isHex(text)) {
            r.pdu = Pdu{text, length, fromRead};
            r.taken = true;
            return r;
        }
    }
    if (text.startsWith("+CDSI:")) {
        const QList<QByteArray> f = text.mid(6).split(',');
        const int index = f.size() == 2 ? lengthOf(f[1]) : -1;
        if (index >= 0) {
            r.stored = Stored{f[0].trimmed(), index};
            r.taken = true;
        }
    } else if (text.startsWith("+CDS:") && !text.contains(',')) {
        m_length = lengthOf(text.mid(5));
        r.taken = m_length >= 0;
    } else if (m_readPending && (text.startsWith("ERROR") || text.startsWith("+CMS ERROR"))) {
        m_readPending = false; // the stored report is gone: the line keeps its usual meaning
        r.readFailed = true;
    } else if (m_readPending && text.startsWith("+CMGR:")) {
        m_readPending = false;
        const QList<QByteArray> f = text.mid(6).split(',');
        m_length = f.size() >= 2 ? lengthOf(f.last()) : -1;
        m_fromRead = m_length >= 0;
        r.taken = m_fromRead;
    }
    return r;
}
