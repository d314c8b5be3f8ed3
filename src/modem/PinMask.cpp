#include "modem/PinMask.h"

namespace {

constexpr char kMarker[] = "+CPIN=\"";
constexpr qsizetype kMarkerSize = sizeof(kMarker) - 1;

char upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

} // namespace

QByteArray PinMask::filter(QByteArrayView bytes) {
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        if (m_inside) {
            // The PIN ends at its quote or at the end of the line.
            if (c == '"' || c == '\r' || c == '\n') {
                m_inside = false;
                out.append(c);
            } else {
                out.append('*');
            }
            continue;
        }
        out.append(c);
        m_tail.append(upper(c));
        if (m_tail.size() > kMarkerSize)
            m_tail.remove(0, m_tail.size() - kMarkerSize);
        if (m_tail == kMarker) {
            m_inside = true;
            m_tail.clear();
        }
    }
    return out;
}

QByteArray PinMask::masked(QByteArrayView bytes) {
    PinMask mask;
    return mask.filter(bytes);
}
