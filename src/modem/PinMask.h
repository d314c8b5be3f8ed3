#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Hides a SIM PIN in the bytes of a port: whatever follows `+CPIN="` up to the closing quote becomes '*'.
// The PIN leaves the program only in the AT+CPIN command; the modem's echo of it, the transcript and the
// Debug Modem page see it masked. One instance per direction of a port: a PIN cut between two reads of
// the port is masked across them.
class PinMask {
public:
    QByteArray filter(QByteArrayView bytes);
    // A whole text (one write), from a fresh state.
    static QByteArray masked(QByteArrayView bytes);

private:
    QByteArray m_tail; // the last characters read, to find the marker across reads
    bool m_inside = false;
};
