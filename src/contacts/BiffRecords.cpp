#include "contacts/BiffRecords.h"

#include "contacts/SpreadsheetText.h"

#include <cstring>

namespace Biff {

quint16 get16(QByteArrayView bytes, qsizetype at) {
    if (at < 0 || at + 2 > bytes.size()) {
        return 0;
    }
    return static_cast<quint16>(static_cast<quint8>(bytes[at]) | (static_cast<quint8>(bytes[at + 1]) << 8));
}

quint32 get32(QByteArrayView bytes, qsizetype at) {
    return get16(bytes, at) | (quint32{get16(bytes, at + 2)} << 16);
}

double getDouble(QByteArrayView bytes, qsizetype at) {
    const quint64 bits = get32(bytes, at) | (quint64{get32(bytes, at + 4)} << 32);
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

double rkValue(quint32 rk) {
    double value = 0;
    if (rk & 0x02) {
        value = static_cast<double>(static_cast<qint32>(rk) >> 2);
    } else {
        const quint64 bits = quint64{rk & 0xFFFFFFFCu} << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 0x01) ? value / 100 : value;
}

bool RecordWalker::next() {
    if (m_next < 0 || m_next + 4 > m_stream.size()) {
        return false;
    }
    const QByteArrayView view(m_stream);
    m_type = get16(view, m_next);
    const quint16 length = get16(view, m_next + 2);
    if (m_next + 4 + length > m_stream.size()) {
        return false;
    }
    m_body = view.sliced(m_next + 4, length);
    m_next += 4 + length;
    return true;
}

QList<QByteArrayView> RecordWalker::continuations() {
    QList<QByteArrayView> bodies;
    const QByteArrayView view(m_stream);
    while (m_next + 4 <= m_stream.size() && get16(view, m_next) == Continue) {
        const quint16 length = get16(view, m_next + 2);
        if (m_next + 4 + length > m_stream.size()) {
            break;
        }
        bodies.append(view.sliced(m_next + 4, length));
        m_next += 4 + length;
    }
    return bodies;
}

bool SegmentReader::nextSegment() {
    if (m_segment + 1 >= m_segments.size()) {
        return false;
    }
    ++m_segment;
    m_at = 0;
    return true;
}

bool SegmentReader::atEnd() const {
    for (qsizetype s = m_segment; s < m_segments.size(); ++s) {
        if ((s == m_segment ? m_at : 0) < m_segments.at(s).size()) {
            return false;
        }
    }
    return true;
}

bool SegmentReader::u8(quint8& value) {
    while (m_segment < m_segments.size() && m_at >= m_segments.at(m_segment).size()) {
        if (!nextSegment()) {
            return false;
        }
    }
    if (m_segment >= m_segments.size()) {
        return false;
    }
    value = static_cast<quint8>(m_segments.at(m_segment)[m_at++]);
    return true;
}

bool SegmentReader::u16(quint16& value) {
    quint8 low = 0;
    quint8 high = 0;
    if (!u8(low) || !u8(high)) {
        return false;
    }
    value = static_cast<quint16>(low | (high << 8));
    return true;
}

bool SegmentReader::u32(quint32& value) {
    quint16 low = 0;
    quint16 high = 0;
    if (!u16(low) || !u16(high)) {
        return false;
    }
    value = low | (quint32{high} << 16);
    return true;
}

bool SegmentReader::skip(qint64 bytes) {
    while (bytes > 0) {
        if (m_segment >= m_segments.size()) {
            return false;
        }
        const qint64 here = std::min<qint64>(bytes, m_segments.at(m_segment).size() - m_at);
        m_at += here;
        bytes -= here;
        if (bytes > 0 && !nextSegment()) {
            return false;
        }
    }
    return true;
}

bool SegmentReader::characters(quint32 count, bool wide, QString& text) {
    text.clear();
    text.reserve(std::min<qsizetype>(count, 65535));
    while (static_cast<quint32>(text.size()) < count) {
        if (m_segment >= m_segments.size()) {
            return false;
        }
        const QByteArrayView here = m_segments.at(m_segment);
        if (m_at >= here.size()) {
            quint8 options = 0;
            if (!nextSegment() || !u8(options)) {
                return false;
            }
            wide = options & 0x01;
            continue;
        }
        const qsizetype width = wide ? 2 : 1;
        const qsizetype take = std::min<qsizetype>((here.size() - m_at) / width, count - text.size());
        if (take == 0) {
            return false; // half a character at a record's end
        }
        for (qsizetype i = 0; i < take; ++i) {
            text += wide ? QChar(get16(here, m_at + 2 * i)) : QChar(static_cast<quint8>(here[m_at + i]));
        }
        m_at += take * width;
    }
    return true;
}

bool SegmentReader::unicodeString(QString& text, bool shortCount) {
    quint16 count = 0;
    quint8 shortLength = 0;
    quint8 options = 0;
    if (!(shortCount ? u8(shortLength) : u16(count)) || !u8(options)) {
        return false;
    }
    if (shortCount) {
        count = shortLength;
    }
    quint16 runs = 0;
    quint32 phonetic = 0;
    if (((options & 0x08) && !u16(runs)) || ((options & 0x04) && !u32(phonetic))) {
        return false;
    }
    return characters(count, options & 0x01, text) && skip(4LL * runs) && skip(phonetic);
}

bool SegmentReader::byteString(QString& text, bool shortCount) {
    quint16 count = 0;
    quint8 shortLength = 0;
    if (!(shortCount ? u8(shortLength) : u16(count))) {
        return false;
    }
    if (shortCount) {
        count = shortLength;
    }
    QByteArray bytes;
    for (quint16 i = 0; i < count; ++i) {
        quint8 b = 0;
        if (!u8(b)) {
            return false;
        }
        bytes.append(static_cast<char>(b));
    }
    text = SpreadsheetText::fromWindows1252(bytes);
    return true;
}

} // namespace Biff
