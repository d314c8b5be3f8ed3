#pragma once

#include "modem/PinMask.h"
#include "modem/SerialChannelError.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <atomic>
#include <functional>

// The serial channel of one port slot: moves bytes between the program and one modem, without
// translating them. Open, close and parameter changes happen on the thread that owns the channel
// (the window thread), where the data-available event TriggerAvail is delivered too. WriteText is
// safe from any thread. Failures raise SerialChannelError with a Portuguese text.
class SerialChannel : public QObject {
    Q_OBJECT

public:
    enum class Parity { pNone, pOdd, pEven, pMark, pSpace };

    static constexpr int kInSize = 4096;
    static constexpr int kOutSize = 4096;

    // Asked for a port number when ComNumber is 0 at open ("Select Port"); returns 0 to cancel.
    using PortChooser = std::function<int(const SerialChannel&)>;

    explicit SerialChannel(int tag, QObject* parent = nullptr);
    ~SerialChannel() override;

    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    // Parameters are stored and used at the next open.
    int comNumber() const { return m_comNumber; }
    void setComNumber(int comNumber);
    qint32 baud() const { return m_baud; }
    void setBaud(qint32 baud);
    Parity parity() const { return m_parity; }
    void setParity(Parity parity) { m_parity = parity; }
    int dataBits() const { return m_dataBits; }
    void setDataBits(int dataBits);
    int stopBits() const { return m_stopBits; }
    void setStopBits(int stopBits);

    // "pEven", "pMark", "pNone", "pOdd", "pSpace" (as stored in dbPORTA.PARIDADE).
    static Parity parityFromName(const QString& name);
    static QString parityName(Parity parity);
    // "1" or "2" (dbPORTA.STOPBITS). "1.5" is refused: the Linux serial drivers offer no
    // one-and-a-half stop bits.
    static int stopBitsFromText(const QString& text);

    void setPortChooser(PortChooser chooser) { m_chooser = std::move(chooser); }

    bool isOpen() const;
    // The device failed while open (portLost) and the channel has not been opened since. Safe from any thread.
    bool lost() const { return m_lost.load(); }
    void setOpen(bool open);
    void open();
    void close();
    // The device the channel opened last (resolved path), for messages and the device dialog.
    QString deviceName() const { return m_deviceName; }

    // Queues all bytes at once, in order, without waiting for them to leave. A text is sent as
    // Latin-1 (characters outside it become '?').
    void WriteText(const QByteArray& bytes);
    void WriteText(const QString& text);
    void WriteText(const char* text) { WriteText(QByteArray(text)); }

    // Received bytes not taken yet.
    int available();
    char ReadByte();
    QByteArray takeBytes(int count);

    // COM numbers 1..maxNumber whose devices can be opened now (for the "Select Port" choice).
    static QList<int> openablePorts(int maxNumber = 50);

Q_SIGNALS:
    // Bytes arrived; count = received bytes not yet taken (at most 65535 per event). A handler
    // that takes all `count` bytes before it waits for anything gets the bytes arriving during
    // its wait in a nested event; otherwise they follow in one event after it returns.
    void TriggerAvail(SerialChannel* channel, quint16 count);
    // The device failed while open (unplugged modem): the channel has been closed.
    void portLost(SerialChannel* channel, const QString& reason);

private:
    void onReadyRead();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void announce();
    void pull();
    void openDevice(const QString& device);
    void applyParameters();
    void writeHere(QByteArrayView text);
    QString openErrorText(const QString& device) const;
    QString closedText() const;

    QSerialPort* m_port;
    int m_tag;
    int m_comNumber = 0;
    qint32 m_baud = 115200;
    Parity m_parity = Parity::pNone;
    int m_dataBits = 8;
    int m_stopBits = 1;
    QString m_deviceName;
    QByteArray m_received;
    PinMask m_receivedMask;
    int m_eventDepth = 0;
    int m_announcedLeft = 0; // bytes announced by the innermost running event, not taken yet
    bool m_deferred = false;
    bool m_announceQueued = false;
    bool m_inWrite = false; // a write is flushing its bytes out
    PortChooser m_chooser;
    std::atomic<bool> m_lost{false};
};
