#include "contacts/XlsxArchive.h"

#include <QFile>

#include <zip.h>

namespace {

QString zipErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = QString::fromUtf8(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

} // namespace

XlsxArchive::~XlsxArchive() {
    if (m_zip) {
        zip_discard(m_zip);
    }
}

bool XlsxArchive::openFile(const QString& path) {
    int code = 0;
    m_zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code);
    if (!m_zip) {
        m_error = QStringLiteral("Não foi possível abrir o arquivo \"%1\" como planilha .xlsx: %2")
                      .arg(path, zipErrorText(code));
        return false;
    }
    return true;
}

bool XlsxArchive::openBytes(const QByteArray& bytes) {
    m_bytes = bytes;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source =
        zip_source_buffer_create(m_bytes.constData(), static_cast<zip_uint64_t>(m_bytes.size()), 0, &error);
    if (source) {
        m_zip = zip_open_from_source(source, ZIP_RDONLY, &error);
        if (!m_zip) {
            zip_source_free(source);
        }
    }
    if (!m_zip) {
        m_error = QStringLiteral("O conteúdo não é uma planilha .xlsx: %1")
                      .arg(QString::fromUtf8(zip_error_strerror(&error)));
    }
    zip_error_fini(&error);
    return m_zip != nullptr;
}

bool XlsxArchive::contains(const QString& partName) const {
    return m_zip && zip_name_locate(m_zip, partName.toUtf8().constData(), ZIP_FL_NOCASE) >= 0;
}

std::unique_ptr<QIODevice> XlsxArchive::openPart(const QString& partName, qint64 maxSize) {
    const zip_int64_t index = m_zip ? zip_name_locate(m_zip, partName.toUtf8().constData(), ZIP_FL_NOCASE) : -1;
    zip_file_t* file = index >= 0 ? zip_fopen_index(m_zip, static_cast<zip_uint64_t>(index), 0) : nullptr;
    if (!file) {
        m_error = QStringLiteral("A planilha está danificada: falta a parte \"%1\".").arg(partName);
        return nullptr;
    }
    auto device = std::make_unique<XlsxPartDevice>(file, maxSize);
    device->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    return device;
}

QByteArray XlsxArchive::readAll(const QString& partName, qint64 maxSize) {
    std::unique_ptr<QIODevice> device = openPart(partName, maxSize);
    if (!device) {
        return QByteArray();
    }
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const qint64 n = device->read(buffer, sizeof buffer);
        if (n < 0) {
            m_error = QStringLiteral("A planilha está danificada: não foi possível ler \"%1\" (%2).")
                          .arg(partName, device->errorString());
            return QByteArray();
        }
        if (n == 0) {
            return bytes;
        }
        bytes.append(buffer, n);
    }
}

XlsxPartDevice::XlsxPartDevice(zip_file* file, qint64 maxSize) : m_file(file), m_limit(maxSize) {}

XlsxPartDevice::~XlsxPartDevice() {
    zip_fclose(m_file);
}

qint64 XlsxPartDevice::readData(char* data, qint64 maxSize) {
    if (m_done >= m_limit) {
        // One byte more than allowed tells a part that is too large from one that just fits.
        char probe = 0;
        if (zip_fread(m_file, &probe, 1) > 0) {
            m_tooLarge = true;
            setErrorString(QStringLiteral("parte grande demais"));
            return -1;
        }
        return 0;
    }
    const zip_int64_t n = zip_fread(m_file, data, static_cast<zip_uint64_t>(std::min(maxSize, m_limit - m_done)));
    if (n < 0) {
        setErrorString(QString::fromUtf8(zip_file_strerror(m_file)));
        return -1;
    }
    m_done += n;
    return n;
}

qint64 XlsxPartDevice::writeData(const char*, qint64) {
    return -1;
}
