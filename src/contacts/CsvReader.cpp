#include "contacts/CsvReader.h"

#include "contacts/SpreadsheetText.h"

#include <QFile>
#include <QStringDecoder>

namespace {

// Walks the text record by record, field by field.
class CsvParser {
public:
    CsvParser(const QString& text, QChar separator) : m_text(text), m_separator(separator) {}

    bool atEnd() const { return m_pos >= m_text.size(); }
    qsizetype pos() const { return m_pos; }

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

namespace {

// Length of the valid UTF-8 sequence at p (1 for ASCII), or 0 when the byte starts none.
int utf8Length(const unsigned char* p, qsizetype left) {
    const unsigned char b = p[0];
    if (b < 0x80) {
        return 1;
    }
    int length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (left < length || p[1] < low || p[1] > high) {
        return 0;
    }
    for (int i = 2; i < length; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF) {
            return 0;
        }
    }
    return length;
}

// UTF-8 with its stray bytes taken one by one as Windows-1252 (what a row pasted from another
// program usually holds), noting where in the text each one landed.
CsvReader::Decoded mixedUtf8(QByteArrayView view) {
    CsvReader::Decoded decoded;
    const auto* p = reinterpret_cast<const unsigned char*>(view.data());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < view.size();) {
        const int length = utf8Length(p + i, view.size() - i);
        if (length > 0) {
            i += length;
            continue;
        }
        decoded.text += QString::fromUtf8(view.sliced(runStart, i - runStart));
        decoded.invalidAt.append(decoded.text.size());
        decoded.text += SpreadsheetText::fromWindows1252(view.sliced(i, 1));
        runStart = ++i;
    }
    decoded.text += QString::fromUtf8(view.sliced(runStart));
    return decoded;
}

} // namespace

CsvReader::Decoded CsvReader::decodeText(const QByteArray& bytes) {
    QByteArrayView view(bytes);
    if (view.startsWith("\xFF\xFE") || view.startsWith("\xFE\xFF")) { // "Unicode text" of Excel
        QStringDecoder utf16(view.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        return {utf16.decode(view.sliced(2)), {}};
    }
    const bool bom = view.startsWith("\xEF\xBB\xBF");
    if (bom) {
        view = view.sliced(3);
    }
    // UTF-8 unless the file holds more stray bytes than UTF-8 characters beyond ASCII: a few bad
    // bytes must not turn every accent of a UTF-8 file into mojibake.
    qsizetype multiByte = 0;
    qsizetype invalid = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(view.data());
    for (qsizetype i = 0; i < view.size();) {
        const int length = utf8Length(p + i, view.size() - i);
        multiByte += length > 1;
        invalid += length == 0;
        i += std::max(length, 1);
    }
    if (invalid == 0) {
        return {QString::fromUtf8(view), {}};
    }
    if (bom || multiByte >= invalid) {
        return mixedUtf8(view);
    }
    return {SpreadsheetText::fromWindows1252(view), {}};
}

QString CsvReader::decode(const QByteArray& bytes) {
    return decodeText(bytes).text;
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

namespace {

// "34, 57 e 90" (at most a few rows named, then how many more).
QString rowList(const QList<qsizetype>& rows) {
    constexpr int Named = 10;
    QStringList names;
    for (qsizetype i = 0; i < std::min<qsizetype>(rows.size(), Named); ++i) {
        names.append(QString::number(rows.at(i)));
    }
    QString text = names.size() > 1 ? names.mid(0, names.size() - 1).join(QStringLiteral(", ")) +
                                          QStringLiteral(" e ") + names.constLast()
                                    : names.value(0);
    if (rows.size() > Named) {
        text = names.join(QStringLiteral(", ")) + QStringLiteral(" e mais %1").arg(rows.size() - Named);
    }
    return text;
}

QString tooLongIn(const QStringList& record, qsizetype row) {
    for (int column = 0; column < std::min<int>(record.size(), SpreadsheetReader::ColumnCount); ++column) {
        if (record.at(column).size() > SpreadsheetReader::MaxCellLength) {
            return SpreadsheetText::cellTooLong(row, column, record.at(column).size());
        }
    }
    return QString();
}

} // namespace

SpreadsheetData CsvReader::parse(const QByteArray& bytes, const SpreadsheetProgress& progress) {
    SpreadsheetData data;
    Decoded decoded = decodeText(bytes);
    QString& text = decoded.text;
    QChar separator;
    qsizetype skipped = 0;
    // Excel writes and honours a first line "sep=;" naming the separator.
    if (text.startsWith(QStringLiteral("sep="), Qt::CaseInsensitive) && text.size() >= 5 &&
        (text.size() == 5 || text.at(5) == u'\r' || text.at(5) == u'\n')) {
        separator = text.at(4);
        skipped = text.size() > 6 && text.at(5) == u'\r' && text.at(6) == u'\n' ? 7 : 6;
        text.remove(0, skipped);
    } else {
        separator = detectSeparator(text);
    }
    CsvParser parser(text, separator);
    qsizetype lastUsed = 0;
    qsizetype nextInvalid = 0;
    QList<qsizetype> invalidRows;
    while (!parser.atEnd()) {
        if (data.rows.size() >= SpreadsheetReader::MaxRows) {
            data.error = QStringLiteral("A planilha tem mais de %1 linhas.").arg(SpreadsheetReader::MaxRows);
            return data;
        }
        const QStringList record = parser.nextRecord();
        const qsizetype row = data.rows.size() + 1;
        data.error = tooLongIn(record, row);
        if (!data.error.isEmpty()) {
            data.rows.clear();
            return data;
        }
        // The rows whose bytes were no UTF-8, by where their text ends.
        while (nextInvalid < decoded.invalidAt.size() && decoded.invalidAt.at(nextInvalid) - skipped < parser.pos()) {
            if (invalidRows.isEmpty() || invalidRows.constLast() != row) {
                invalidRows.append(row);
            }
            ++nextInvalid;
        }
        if (!isBlank(record)) {
            lastUsed = row; // a field past column N also makes the row a used one
        }
        data.rows.append(SpreadsheetText::fitRow(record, SpreadsheetReader::ColumnCount));
        if (progress && !progress(static_cast<int>(data.rows.size()), 0)) {
            data.stopped = true;
            return data;
        }
    }
    data.rows.resize(lastUsed); // blank lines after the last used row are no rows of the sheet
    if (!invalidRows.isEmpty()) {
        const QString rows = rowList(invalidRows);
        data.warning =
            invalidRows.size() == 1
                ? QStringLiteral(
                      "O arquivo está em UTF-8, mas a linha %1 tem bytes inválidos, lidos como Windows-1252.")
                      .arg(rows)
                : QStringLiteral("O arquivo está em UTF-8, mas as linhas %1 têm bytes inválidos, lidos como "
                                 "Windows-1252.")
                      .arg(rows);
    }
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
    SpreadsheetData data = parse(file.readAll(), progress);
    data.warning.replace(QStringLiteral("O arquivo está"), QStringLiteral("O arquivo \"%1\" está").arg(path));
    return data;
}
