#include "contacts/CsvReader.h"

#include "contacts/SpreadsheetText.h"

#include <QFile>
#include <QStringDecoder>

namespace {

// Windows-1252 differs from Latin-1 only in 0x80–0x9F; unassigned bytes keep their Latin-1 value.
constexpr char16_t Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromWindows1252(const QByteArray& bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        *out++ = (b >= 0x80 && b < 0xA0) ? QChar(Cp1252High[b - 0x80]) : QChar(b);
    }
    return text;
}

// Walks the text record by record, field by field.
class CsvParser {
public:
    CsvParser(const QString& text, QChar separator) : m_text(text), m_separator(separator) {}

    bool atEnd() const { return m_pos >= m_text.size(); }

    QStringList nextRecord() {
        QStringList fields;
        QString field;
        bool quoted = false;
        while (m_pos < m_text.size()) {
            const QChar c = m_text.at(m_pos++);
            if (quoted) {
                if (c != u'"') {
                    field += c;
                } else if (m_pos < m_text.size() && m_text.at(m_pos) == u'"') {
                    field += c;
                    ++m_pos;
                } else {
                    quoted = false;
                }
            } else if (c == u'"') {
                quoted = true;
            } else if (c == m_separator) {
                fields.append(field);
                field.clear();
            } else if (c == u'\r' || c == u'\n') {
                if (c == u'\r' && m_pos < m_text.size() && m_text.at(m_pos) == u'\n') {
                    ++m_pos;
                }
                break;
            } else {
                field += c;
            }
        }
        fields.append(field);
        return fields;
    }

private:
    const QString& m_text;
    QChar m_separator;
    qsizetype m_pos = 0;
};

bool isBlank(const QStringList& row) {
    for (const QString& cell : row) {
        if (!cell.isEmpty()) {
            return false;
        }
    }
    return true;
}

} // namespace

QString CsvReader::decode(const QByteArray& bytes) {
    QByteArrayView view(bytes);
    if (view.startsWith("\xFF\xFE") || view.startsWith("\xFE\xFF")) { // "Unicode text" of Excel
        QStringDecoder utf16(view.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        return utf16.decode(view.sliced(2));
    }
    if (view.startsWith("\xEF\xBB\xBF")) {
        view = view.sliced(3);
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(view);
    if (!utf8.hasError()) {
        return text;
    }
    return fromWindows1252(bytes);
}

QChar CsvReader::detectSeparator(const QString& text) {
    int commas = 0;
    int semicolons = 0;
    int tabs = 0;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u'"') {
            quoted = !quoted;
        } else if (!quoted && (c == u'\n' || c == u'\r')) {
            break;
        } else if (!quoted) {
            commas += c == u',';
            semicolons += c == u';';
            tabs += c == u'\t';
        }
    }
    if (tabs > commas && tabs > semicolons) {
        return QChar(u'\t');
    }
    return semicolons > commas ? QChar(u';') : QChar(u',');
}

SpreadsheetData CsvReader::parse(const QByteArray& bytes, const SpreadsheetProgress& progress) {
    SpreadsheetData data;
    QString text = decode(bytes);
    QChar separator;
    // Excel writes and honours a first line "sep=;" naming the separator.
    if (text.startsWith(QStringLiteral("sep="), Qt::CaseInsensitive) && text.size() >= 5 &&
        (text.size() == 5 || text.at(5) == u'\r' || text.at(5) == u'\n')) {
        separator = text.at(4);
        text.remove(0, text.size() > 6 && text.at(5) == u'\r' && text.at(6) == u'\n' ? 7 : 6);
    } else {
        separator = detectSeparator(text);
    }
    CsvParser parser(text, separator);
    qsizetype lastUsed = 0;
    while (!parser.atEnd()) {
        if (data.rows.size() >= SpreadsheetReader::MaxRows) {
            data.error = QStringLiteral("A planilha tem mais de %1 linhas.").arg(SpreadsheetReader::MaxRows);
            return data;
        }
        const QStringList record = parser.nextRecord();
        if (!isBlank(record)) {
            lastUsed = data.rows.size() + 1; // a field past column N also makes the row a used one
        }
        data.rows.append(SpreadsheetText::fitRow(record, SpreadsheetReader::ColumnCount));
        if (progress && !progress(static_cast<int>(data.rows.size()), 0)) {
            data.stopped = true;
            return data;
        }
    }
    data.rows.resize(lastUsed); // blank lines after the last used row are no rows of the sheet
    return data;
}

SpreadsheetData CsvReader::read(const QString& path, const SpreadsheetProgress& progress) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        SpreadsheetData data;
        data.error = QStringLiteral("Não foi possível abrir o arquivo \"%1\": %2").arg(path, file.errorString());
        return data;
    }
    if (file.size() > MaxFileSize) {
        SpreadsheetData data;
        data.error = QStringLiteral("O arquivo \"%1\" é grande demais para ser importado.").arg(path);
        return data;
    }
    return parse(file.readAll(), progress);
}
