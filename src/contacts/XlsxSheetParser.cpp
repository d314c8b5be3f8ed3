#include "contacts/XlsxSheetParser.h"

#include "contacts/SpreadsheetText.h"
#include "contacts/XlsxArchive.h"

#include <QDateTime>

#include <expat.h>

#include <cctype>
#include <cstring>
#include <string_view>

namespace {

constexpr qint64 ChunkSize = 256 * 1024;
// The most UTF-8 bytes a cell's text can take (4 bytes a character); past it the text is cut and
// the cell refused, so a huge string never sits in memory.
constexpr size_t MaxCollectedBytes = 4 * size_t{SpreadsheetReader::MaxCellLength};
// Bytes expat may hold without giving a single element or text (a token that big is no sheet).
constexpr qint64 MaxQuietBytes = 64LL * 1024 * 1024;

// Element and attribute names without their namespace prefix ("x:c" → "c").
std::string_view localName(const char* name) {
    const char* colon = std::strrchr(name, ':');
    return colon ? std::string_view(colon + 1) : std::string_view(name);
}

const char* attribute(const char** attributes, std::string_view name) {
    for (const char** a = attributes; a && *a; a += 2) {
        if (localName(a[0]) == name) {
            return a[1];
        }
    }
    return nullptr;
}

// Turns the _xHHHH_ escapes of Office Open XML strings back into characters.
QString unescapeXString(const QString& text) {
    if (!text.contains(QStringLiteral("_x"))) {
        return text;
    }
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        bool ok = false;
        if (text.at(i) == u'_' && i + 6 < text.size() && text.at(i + 1) == u'x' && text.at(i + 6) == u'_') {
            const ushort code = text.mid(i + 2, 4).toUShort(&ok, 16);
            if (ok) {
                out += QChar(code);
                i += 6;
                continue;
            }
        }
        out += text.at(i);
    }
    return out;
}

QString isoDateText(const QString& iso) {
    const QDateTime moment = QDateTime::fromString(iso, Qt::ISODate);
    if (moment.isValid()) {
        const QString date = moment.date().toString(QStringLiteral("dd/MM/yyyy"));
        return moment.time() == QTime(0, 0) ? date : date + u' ' + moment.time().toString(QStringLiteral("HH:mm:ss"));
    }
    const QDate date = QDate::fromString(iso, Qt::ISODate);
    return date.isValid() ? date.toString(QStringLiteral("dd/MM/yyyy")) : iso;
}

// "AB12" → column 27 (0-based) and row 12. Column -1 / row 0 for a part that is absent;
// false for a reference that is no cell reference.
bool parseCellReference(std::string_view reference, int& column, qint64& row) {
    size_t i = 0;
    int value = 0;
    for (; i < reference.size() && std::isalpha(static_cast<unsigned char>(reference[i])); ++i) {
        if (i == 3) {
            return false;
        }
        value = value * 26 + (std::toupper(static_cast<unsigned char>(reference[i])) - 'A' + 1);
    }
    column = value - 1;
    row = 0;
    if (i == reference.size()) {
        return true;
    }
    if (reference.size() - i > 8) {
        return false;
    }
    for (; i < reference.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(reference[i]))) {
            return false;
        }
        row = row * 10 + (reference[i] - '0');
    }
    return row > 0;
}

QString damaged(const QString& what) {
    return QStringLiteral("A planilha está danificada: %1").arg(what);
}

XlsxSheetParser* self(void* userData) {
    return static_cast<XlsxSheetParser*>(userData);
}

void XMLCALL onStart(void* userData, const XML_Char* name, const XML_Char** attributes) {
    self(userData)->startElement(name, attributes);
}

void XMLCALL onEnd(void* userData, const XML_Char* name) {
    self(userData)->endElement(name);
}

void XMLCALL onCharacters(void* userData, const XML_Char* text, int length) {
    self(userData)->characters(text, length);
}

void XMLCALL onDoctype(void* userData, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    self(userData)->fail(damaged(QStringLiteral("declaração de tipo de documento não permitida.")));
}

} // namespace

XlsxSheetParser::XlsxSheetParser(bool date1904, const SpreadsheetProgress& progress)
    : m_date1904(date1904), m_progress(progress), m_blankRow(SpreadsheetReader::ColumnCount) {}

void XlsxSheetParser::fail(const QString& error) {
    if (m_error.isEmpty()) {
        m_error = error;
    }
    XML_StopParser(static_cast<XML_Parser>(m_parser), XML_FALSE);
}

bool XlsxSheetParser::parse(QIODevice& device, Part part) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (!parser) {
        m_error = QStringLiteral("Memória insuficiente para ler a planilha.");
        return false;
    }
    m_parser = parser;
    m_part = part;
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetCharacterDataHandler(parser, onCharacters);
    XML_SetStartDoctypeDeclHandler(parser, onDoctype);
    QByteArray chunk(ChunkSize, Qt::Uninitialized);
    bool stopped = false;
    for (bool last = false; !last && !stopped;) {
        const qint64 n = device.read(chunk.data(), chunk.size());
        last = n <= 0;
        if (n < 0) {
            const auto* partDevice = dynamic_cast<const XlsxPartDevice*>(&device);
            m_error = partDevice && partDevice->tooLarge()
                          ? QStringLiteral("A planilha é grande demais para ser importada.")
                          : damaged(device.errorString());
            break;
        }
        m_quietBytes += std::max<qint64>(n, 0);
        if (XML_Parse(parser, chunk.constData(), static_cast<int>(std::max<qint64>(n, 0)), last) != XML_STATUS_OK) {
            stopped = true;
            if (m_error.isEmpty() && !(m_data && m_data->stopped)) {
                m_error = damaged(QStringLiteral("%1 (linha %2 do XML).")
                                      .arg(QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(parser))))
                                      .arg(XML_GetCurrentLineNumber(parser)));
            }
        } else if (m_quietBytes > MaxQuietBytes) {
            m_error = damaged(QStringLiteral("um elemento do XML é grande demais."));
            stopped = true;
        }
    }
    XML_ParserFree(parser);
    m_parser = nullptr;
    return m_error.isEmpty();
}

bool XlsxSheetParser::readSharedStrings(QIODevice& device, SpreadsheetData& data) {
    m_data = nullptr;
    m_stringIndex = 0;
    if (!parse(device, Part::SharedStrings)) {
        data.error = m_error;
        return false;
    }
    return fillSharedStrings(data);
}

bool XlsxSheetParser::fillSharedStrings(SpreadsheetData& data) {
    for (const StringCell& cell : std::as_const(m_stringCells)) {
        const auto tooLong = m_tooLongStrings.constFind(cell.index);
        if (tooLong != m_tooLongStrings.cend()) {
            data.error = SpreadsheetText::cellTooLong(cell.row + 1, cell.column, *tooLong);
            return false;
        }
        const QString text = m_usedStrings.value(cell.index);
        if (!text.isEmpty() && cell.row < data.rows.size()) {
            data.rows[cell.row][cell.column] = text;
        }
    }
    return true;
}

void XlsxSheetParser::readSheet(QIODevice& device, SpreadsheetData& data) {
    m_data = &data;
    m_row = 0;
    m_column = -1;
    if (!parse(device, Part::Sheet)) {
        data.error = m_error;
    }
    m_data = nullptr;
}

void XlsxSheetParser::resetText() {
    m_text.clear();
    m_textChars = 0;
    m_textCut = false;
}

void XlsxSheetParser::startElement(const char* name, const char** attributes) {
    m_quietBytes = 0;
    const std::string_view element = localName(name);
    if (element == "t" && m_inString && m_phoneticDepth == 0) {
        m_collecting = true;
    } else if (element == "rPh") {
        ++m_phoneticDepth;
    } else if (element == "si" || (element == "is" && m_inCell)) {
        m_inString = true;
        resetText();
    } else if (m_part == Part::SharedStrings) {
        return;
    } else if (element == "c") {
        startCell(attributes);
    } else if (element == "v" && m_inCell) {
        m_collecting = true;
        resetText();
    } else if (element == "row") {
        startRow(attributes);
    } else if (element == "dimension") {
        const char* ref = attribute(attributes, "ref");
        const char* end = ref ? std::strchr(ref, ':') : nullptr;
        int column = 0;
        qint64 row = 0;
        if (ref && parseCellReference(end ? end + 1 : ref, column, row)) {
            m_lastRowHint = static_cast<int>(std::min<qint64>(row, SpreadsheetReader::MaxRows));
        }
    }
}

void XlsxSheetParser::endElement(const char* name) {
    m_quietBytes = 0;
    const std::string_view element = localName(name);
    if (element == "t" || element == "v") {
        m_collecting = false;
    } else if (element == "rPh") {
        --m_phoneticDepth;
    } else if (element == "si" && m_part == Part::SharedStrings) {
        endSharedString();
    } else if (element == "is") {
        m_inString = false;
    } else if (element == "c" && m_inCell) {
        endCell();
    } else if (element == "row" && m_part == Part::Sheet && m_progress &&
               !m_progress(static_cast<int>(m_data->rows.size()), m_lastRowHint)) {
        m_data->stopped = true;
        XML_StopParser(static_cast<XML_Parser>(m_parser), XML_FALSE);
    }
}

void XlsxSheetParser::characters(const char* text, int length) {
    m_quietBytes = 0;
    if (!m_collecting) {
        return;
    }
    for (int i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        m_textChars += ((byte & 0xC0) != 0x80) + (byte >= 0xF0); // UTF-16 units
    }
    if (m_text.size() + static_cast<size_t>(length) > MaxCollectedBytes) {
        m_textCut = true;
    } else {
        m_text.append(text, static_cast<size_t>(length));
    }
}

// The text collected, or empty with *tooLong set when it is longer than a cell may be.
QString XlsxSheetParser::collectedText(bool escaped, qint64* tooLong) const {
    QString text = QString::fromUtf8(m_text);
    if (escaped) {
        text = unescapeXString(text);
    }
    *tooLong = m_textCut ? m_textChars : (text.size() > SpreadsheetReader::MaxCellLength ? text.size() : 0);
    return *tooLong ? QString() : text;
}

void XlsxSheetParser::endSharedString() {
    m_inString = false;
    const quint32 index = m_stringIndex++;
    const auto used = m_usedStrings.find(index);
    if (used == m_usedStrings.end()) {
        return; // no cell of columns A to N shows it: not kept
    }
    qint64 tooLong = 0;
    *used = collectedText(true, &tooLong);
    if (tooLong) {
        m_tooLongStrings.insert(index, tooLong);
    }
}

void XlsxSheetParser::startRow(const char** attributes) {
    const char* r = attribute(attributes, "r");
    int column = 0;
    qint64 row = m_row + 1;
    if (r && (!parseCellReference(r, column, row) || column >= 0 || row <= 0)) {
        fail(damaged(QStringLiteral("número de linha inválido \"%1\".").arg(QString::fromUtf8(r))));
        return;
    }
    m_row = row;
    m_column = -1;
}

void XlsxSheetParser::startCell(const char** attributes) {
    int column = m_column + 1;
    qint64 row = std::max<qint64>(m_row, 1);
    const char* r = attribute(attributes, "r");
    if (r) {
        qint64 cellRow = 0;
        if (!parseCellReference(r, column, cellRow) || column < 0) {
            fail(damaged(QStringLiteral("referência de célula inválida \"%1\".").arg(QString::fromUtf8(r))));
            return;
        }
        row = cellRow > 0 ? cellRow : row;
    }
    m_column = column;
    m_row = row;
    const std::string_view type = attribute(attributes, "t") ? attribute(attributes, "t") : "n";
    m_cellType = type == "s"           ? CellType::SharedString
                 : type == "inlineStr" ? CellType::InlineString
                 : type == "b"         ? CellType::Boolean
                 : type == "d"         ? CellType::Date
                 : type == "n"         ? CellType::Number
                                       : CellType::Text; // "str" (a formula's text), "e" (an error)
    const char* style = attribute(attributes, "s");
    m_cellStyle = style ? std::atoi(style) : -1;
    resetText();
    m_inCell = true;
    if (column >= SpreadsheetReader::ColumnCount) {
        m_inCell = false; // columns after N are never read, but their row is a used one
        storeCell(column, row, QString());
    }
}

void XlsxSheetParser::endCell() {
    m_inCell = false;
    qint64 tooLong = 0;
    const QString value = collectedText(m_cellType == CellType::InlineString, &tooLong);
    if (tooLong) {
        fail(SpreadsheetText::cellTooLong(m_row, m_column, tooLong));
        return;
    }
    if (m_cellType != CellType::SharedString) {
        storeCell(m_column, m_row, valueText(value));
        return;
    }
    // The text comes with the shared strings, read after the sheet.
    bool ok = false;
    const quint32 index = value.toUInt(&ok);
    if (storeCell(m_column, m_row, QString()) && ok) {
        m_stringCells.append({static_cast<qint32>(m_row - 1), m_column, index});
        m_usedStrings.insert(index, QString());
    }
}

QString XlsxSheetParser::valueText(const QString& value) const {
    switch (m_cellType) {
    case CellType::SharedString:
        return QString(); // filled in from the shared strings
    case CellType::Boolean:
        return value.isEmpty() ? QString() : SpreadsheetText::boolean(value == u"1" || value == u"true");
    case CellType::Date:
        return isoDateText(value);
    case CellType::InlineString:
    case CellType::Text:
        return value;
    case CellType::Number:
        break;
    }
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok) {
        return value;
    }
    const bool date = m_cellStyle >= 0 && m_cellStyle < m_dateStyles.size() && m_dateStyles.at(m_cellStyle);
    return date ? SpreadsheetText::dateTime(number, m_date1904) : SpreadsheetText::number(number);
}

bool XlsxSheetParser::storeCell(int column, qint64 row, const QString& text) {
    if (row > SpreadsheetReader::MaxRows) {
        fail(QStringLiteral("A planilha tem mais de %1 linhas.").arg(SpreadsheetReader::MaxRows));
        return false;
    }
    while (m_data->rows.size() < row) {
        m_data->rows.append(m_blankRow); // shared until written to
    }
    if (column < SpreadsheetReader::ColumnCount && !text.isEmpty()) {
        m_data->rows[row - 1][column] = text;
    }
    return true;
}
