#include "contacts/XlsxArchive.h"

#include <QFile>

#include <zip.h>

namespace {

// The library's text, after what it means for the operator.
QString zipErrorText(zip_error_t* error) {
    const QString library = QString::fromUtf8(zip_error_strerror(error));
    QString meaning;
    switch (zip_error_code_zip(error)) {
    case ZIP_ER_NOZIP:
        meaning = QStringLiteral("o arquivo não é uma planilha .xlsx (não é um arquivo zip)");
        break;
    case ZIP_ER_OPEN:
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
        meaning = QStringLiteral("não foi possível ler o arquivo");
        break;
    case ZIP_ER_NOENT:
        meaning = QStringLiteral("o arquivo não existe");
        break;
    case ZIP_ER_MEMORY:
        meaning = QStringLiteral("memória insuficiente");
        break;
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
        meaning = QStringLiteral("a planilha está protegida por senha");
        break;
    case ZIP_ER_COMPNOTSUPP:
    case ZIP_ER_OPNOTSUPP:
        meaning = QStringLiteral("a planilha usa um recurso do formato zip que o programa não lê");
        break;
    default:
        meaning = QStringLiteral("a planilha está danificada");
        break;
    }
    return QStringLiteral("%1 (%2)").arg(meaning, library);
}

QString zipErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = zipErrorText(&error);
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
        m_error = QStringLiteral("A planilha \"%1\" não pôde ser lida: %2").arg(path, zipErrorText(code));
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
        m_error = zipErrorText(&error);
    }
    zip_error_fini(&error);
    return m_zip != nullptr;
}

bool XlsxArchive::contains(const QString& partName) const {
    return m_zip && zip_name_locate(m_zip, partName.toUtf8().constData(), ZIP_FL_NOCASE) >= 0;
}

std::unique_ptr<QIODevice> XlsxArchive::openPart(const QString& partName, qint64 maxSize) {
    const zip_int64_t index = m_zip ? zip_name_locate(m_zip, partName.toUtf8().constData(), ZIP_FL_NOCASE) : -1;
    if (index < 0) {
        m_error = QStringLiteral("a planilha está danificada: falta a parte \"%1\".").arg(partName);
        return nullptr;
    }
    // A part that says it is larger than the cap is refused before a byte of it is inflated; the
    // device still counts, for a part that lies about its size.
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(m_zip, static_cast<zip_uint64_t>(index), 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE) &&
        stat.size > static_cast<zip_uint64_t>(maxSize)) {
        m_error = QStringLiteral("a planilha é grande demais para ser importada: a parte \"%1\" tem %2 MB "
                                 "(o máximo é %3 MB).")
                      .arg(partName)
                      .arg(stat.size / (1024 * 1024))
                      .arg(maxSize / (1024 * 1024));
        return nullptr;
    }
    zip_file_t* file = zip_fopen_index(m_zip, static_cast<zip_uint64_t>(index), 0);
    if (!file) {
        m_error =
            QStringLiteral("a parte \"%1\" não pôde ser aberta: %2").arg(partName, zipErrorText(zip_get_error(m_zip)));
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
            m_error = QStringLiteral("a planilha está danificada: não foi possível ler \"%1\" (%2).")
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
        setErrorString(zipErrorText(zip_file_get_error(m_file)));
        return -1;
    }
    m_done += n;
    return n;
}

qint64 XlsxPartDevice::writeData(const char*, qint64) {
    return -1;
}
