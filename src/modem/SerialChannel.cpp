#include "modem/SerialChannel.h"

#include "modem/ComMapping.h"
#include "store/OwnerThread.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcModem, "vestral.modem", QtWarningMsg)
// The traffic of every port, for an operator to send when a modem misbehaves:
// QT_LOGGING_RULES="vestral.modem.transcript.debug=true".
Q_LOGGING_CATEGORY(lcTranscript, "vestral.modem.transcript", QtWarningMsg)

namespace {

QSerialPort::Parity toQt(SerialChannel::Parity parity) {
    switch (parity) {
    case SerialChannel::Parity::pOdd:
        return QSerialPort::OddParity;
    case SerialChannel::Parity::pEven:
        return QSerialPort::EvenParity;
    case SerialChannel::Parity::pMark:
        return QSerialPort::MarkParity;
    case SerialChannel::Parity::pSpace:
        return QSerialPort::SpaceParity;
    case SerialChannel::Parity::pNone:
        break;
    }
    return QSerialPort::NoParity;
}

QString visible(QByteArrayView bytes) {
    QString text;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            text += QLatin1String("\\r");
        else if (c == '\n')
            text += QLatin1String("\\n");
        else if (u < 0x20 || u == 0x7f)
            text += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            text += QChar(u);
    }
    return text;
}

QString resolved(const QString& device) {
    const QString target = QFileInfo(device).canonicalFilePath();
    return target.isEmpty() ? device : target;
}

} // namespace

SerialChannel::SerialChannel(int tag, QObject* parent) : QObject(parent), m_port(new QSerialPort(this)), m_tag(tag) {
    connect(m_port, &QSerialPort::readyRead, this, &SerialChannel::onReadyRead);
    connect(m_port, &QSerialPort::errorOccurred, this, &SerialChannel::onErrorOccurred);
}

SerialChannel::~SerialChannel() {
    close();
}

void SerialChannel::setComNumber(int comNumber) {
    if (comNumber < 0 || comNumber > 0xFFFF)
        throw SerialChannelError(QStringLiteral("Número de porta inválido: %1").arg(comNumber));
    m_comNumber = comNumber;
}

void SerialChannel::setBaud(qint32 baud) {
    if (baud <= 0)
        throw SerialChannelError(QStringLiteral("Velocidade inválida: %1").arg(baud));
    m_baud = baud;
}

void SerialChannel::setDataBits(int dataBits) {
    if (dataBits < 5 || dataBits > 8)
        throw SerialChannelError(QStringLiteral("Databits inválido: %1 (use 5, 6, 7 ou 8)").arg(dataBits));
    m_dataBits = dataBits;
}

void SerialChannel::setStopBits(int stopBits) {
    if (stopBits != 1 && stopBits != 2)
        throw SerialChannelError(QStringLiteral("Stopbits inválido: %1 (use 1 ou 2)").arg(stopBits));
    m_stopBits = stopBits;
}

SerialChannel::Parity SerialChannel::parityFromName(const QString& name) {
    static const QList<QPair<QString, Parity>> names = {{QStringLiteral("pNone"), Parity::pNone},
                                                        {QStringLiteral("pOdd"), Parity::pOdd},
                                                        {QStringLiteral("pEven"), Parity::pEven},
                                                        {QStringLiteral("pMark"), Parity::pMark},
                                                        {QStringLiteral("pSpace"), Parity::pSpace}};
    for (const auto& [text, parity] : names) {
        if (name.trimmed().compare(text, Qt::CaseInsensitive) == 0)
            return parity;
    }
    throw SerialChannelError(QStringLiteral("Paridade inválida: \"%1\"").arg(name));
}

QString SerialChannel::parityName(Parity parity) {
    switch (parity) {
    case Parity::pOdd:
        return QStringLiteral("pOdd");
    case Parity::pEven:
        return QStringLiteral("pEven");
    case Parity::pMark:
        return QStringLiteral("pMark");
    case Parity::pSpace:
        return QStringLiteral("pSpace");
    case Parity::pNone:
        break;
    }
    return QStringLiteral("pNone");
}

int SerialChannel::stopBitsFromText(const QString& text) {
    const QString value = text.trimmed();
    if (value == QLatin1String("1"))
        return 1;
    if (value == QLatin1String("2"))
        return 2;
    if (value == QLatin1String("1.5") || value == QLatin1String("1,5"))
        throw SerialChannelError(
            QStringLiteral("Stopbits 1.5 não é suportado pelas portas seriais deste sistema; use 1 ou 2."));
    throw SerialChannelError(QStringLiteral("Stopbits inválido: \"%1\" (use 1 ou 2)").arg(text));
}

bool SerialChannel::isOpen() const {
    return m_port->isOpen();
}

void SerialChannel::setOpen(bool open) {
    if (open)
        this->open();
    else
        close();
}

void SerialChannel::open() {
    if (isOpen())
        return;
    if (m_comNumber == 0) {
        const int chosen = m_chooser ? m_chooser(*this) : 0;
        if (chosen <= 0)
            throw SerialChannelError(
                QStringLiteral("Nenhuma porta serial foi escolhida para a entrada %1.").arg(m_tag));
        setComNumber(chosen);
    }
    openDevice(ComMapping::devicePath(m_comNumber));
}

void SerialChannel::openDevice(const QString& device) {
    m_deviceName = resolved(device);
    m_received.clear();
    m_port->setPortName(m_deviceName);
    applyParameters();
    if (!m_port->open(QIODevice::ReadWrite)) {
        const QString text = openErrorText(device);
        m_port->close();
        m_port->clearError();
        throw SerialChannelError(text);
    }
    // Pseudo-terminals refuse the modem-control lines ("Inappropriate ioctl for device"); the
    // port works without them.
    if (!m_port->setDataTerminalReady(true) || !m_port->setRequestToSend(true))
        qCDebug(lcModem) << "COM" << m_comNumber << "sem DTR/RTS:" << m_port->errorString();
    // Bytes the device received before this open belong to no one.
    m_port->clear(QSerialPort::Input);
    m_port->clearError();
    m_lost.store(false);
}

void SerialChannel::applyParameters() {
    m_port->setBaudRate(m_baud);
    m_port->setParity(toQt(m_parity));
    m_port->setDataBits(static_cast<QSerialPort::DataBits>(m_dataBits));
    m_port->setStopBits(m_stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    m_port->setReadBufferSize(kInSize);
}

QString SerialChannel::openErrorText(const QString& device) const {
    const QString port = QStringLiteral("COM%1 (%2)").arg(m_comNumber).arg(device);
    switch (m_port->error()) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("A porta %1 não existe.").arg(port);
    case QSerialPort::PermissionError:
        if (::access(m_deviceName.toLocal8Bit().constData(), R_OK | W_OK) != 0 && errno == EACCES)
            return QStringLiteral("Sem permissão para abrir a porta %1. Inclua o usuário no grupo dialout "
                                  "(sudo usermod -aG dialout $USER) e entre novamente no sistema.")
                .arg(port);
        return QStringLiteral("A porta %1 está em uso por outro programa.").arg(port);
    default:
        break;
    }
    return QStringLiteral("Não foi possível abrir a porta %1: %2").arg(port, m_port->errorString());
}

void SerialChannel::close() {
    if (m_port->isOpen())
        m_port->close();
    m_port->clearError();
    m_received.clear();
    m_announcedLeft = 0;
}

QString SerialChannel::closedText() const {
    return QStringLiteral("A porta COM%1 da entrada %2 está fechada.").arg(m_comNumber).arg(m_tag);
}

void SerialChannel::WriteText(const QString& text) {
    WriteText(text.toLatin1());
}

void SerialChannel::WriteText(const QByteArray& text) {
    if (QThread::currentThread() == thread()) {
        writeHere(text);
        return;
    }
    // Off the owning thread the write is carried out there, and the caller waits for it.
    const QByteArray copy = text;
    QString error;
    bool written = false;
    const bool ran = runOnOwnerThread(this, [&] {
        try {
            writeHere(copy);
            written = true;
        } catch (const SerialChannelError& e) {
            error = e.text();
        }
    });
    if (!ran || !written)
        throw SerialChannelError(error.isEmpty() ? closedText() : error);
}

void SerialChannel::writeHere(QByteArrayView text) {
    if (!isOpen())
        throw SerialChannelError(closedText());
    if (text.isEmpty())
        return;
    if (m_port->bytesToWrite() + text.size() > kOutSize)
        throw SerialChannelError(
            QStringLiteral("Buffer de transmissão cheio na porta COM%1 da entrada %2.").arg(m_comNumber).arg(m_tag));
    qCDebug(lcTranscript).noquote() << "ENTRADA" << m_tag << "-->" << visible(PinMask::masked(text));
    if (m_port->write(text.data(), text.size()) != text.size())
        throw SerialChannelError(
            QStringLiteral("Falha ao escrever na porta COM%1: %2").arg(m_comNumber).arg(m_port->errorString()));
    // Out at once rather than at the event loop's next pass: with many ports busy, that pass can
    // come milliseconds later, and every send waits on it twice (the command, then the text).
    m_inWrite = true;
    m_port->flush();
    m_inWrite = false;
}

char SerialChannel::ReadByte() {
    if (m_received.isEmpty())
        throw SerialChannelError(QStringLiteral("Nenhum byte a ler na porta COM%1.").arg(m_comNumber));
    const char c = m_received.at(0);
    m_received.remove(0, 1);
    m_announcedLeft = std::max(0, m_announcedLeft - 1);
    return c;
}

QByteArray SerialChannel::takeBytes(int count) {
    const qsizetype n = std::clamp<qsizetype>(count, 0, m_received.size());
    QByteArray bytes = m_received.left(n);
    m_received.remove(0, n);
    m_announcedLeft = std::max(0, m_announcedLeft - int(n));
    return bytes;
}

int SerialChannel::available() {
    pull();
    return int(m_received.size());
}

void SerialChannel::pull() {
    if (!m_port->isOpen() || m_port->bytesAvailable() <= 0)
        return;
    // The modem's echo of a PIN is masked before anyone sees it (the handler has no use for it).
    const QByteArray bytes = m_receivedMask.filter(m_port->readAll());
    qCDebug(lcTranscript).noquote() << "ENTRADA" << m_tag << "<--" << visible(bytes);
    m_received.append(bytes);
}

// The event is raised from a queued call rather than from inside QSerialPort's readyRead, which
// QSerialPort does not raise again until its handler returns: a handler that waits for the modem
// (processing events) then still gets the bytes that arrive meanwhile, in a nested event.
void SerialChannel::onReadyRead() {
    pull();
    if (m_announceQueued)
        return;
    m_announceQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_announceQueued = false;
            announce();
        },
        Qt::QueuedConnection);
}

void SerialChannel::announce() {
    // An event whose announced bytes are not all taken yet keeps them first in line: the new
    // bytes are announced together with the rest once it returns.
    if (m_eventDepth > 0 && m_announcedLeft > 0) {
        m_deferred = true;
        return;
    }
    do {
        m_deferred = false;
        pull();
        if (m_received.isEmpty() || !isOpen())
            return;
        const auto count = static_cast<quint16>(std::min<qsizetype>(m_received.size(), 0xFFFF));
        const int outerLeft = m_announcedLeft;
        m_announcedLeft = count;
        ++m_eventDepth;
        Q_EMIT TriggerAvail(this, count);
        --m_eventDepth;
        m_announcedLeft = outerLeft;
    } while (m_deferred);
}

void SerialChannel::onErrorOccurred(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
    if (m_inWrite) {
        // A device gone under a write is taken at the next pass, as a write left to the event loop found it, not
        // inside the writer's own code.
        QMetaObject::invokeMethod(
            this, [this, error] { onErrorOccurred(error); }, Qt::QueuedConnection);
        return;
    }
    if (!m_port->isOpen())
        return;
    // What the modem said before it went away still counts (its last send's result, say).
    announce();
    if (!m_port->isOpen())
        return;
    // The device went away (unplugged modem): close at once, or the read notifier keeps firing.
    const QString reason = QStringLiteral("A porta COM%1 da entrada %2 foi desconectada: %3")
                               .arg(m_comNumber)
                               .arg(m_tag)
                               .arg(m_port->errorString());
    m_lost.store(true);
    close();
    Q_EMIT portLost(this, reason);
}

QList<int> SerialChannel::openablePorts(int maxNumber) {
    QList<int> numbers;
    for (int n = 1; n <= maxNumber; ++n) {
        QSerialPort probe;
        probe.setPortName(resolved(ComMapping::devicePath(n)));
        if (probe.open(QIODevice::ReadWrite)) {
            numbers.append(n);
            probe.close();
        }
    }
    return numbers;
}
