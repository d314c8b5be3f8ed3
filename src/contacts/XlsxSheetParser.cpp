#include "contacts/XlsxSheetParser.h"

#include "contacts/SpreadsheetText.h"
#include "contacts/XlsxArchive.h"

#include <QDateTime>
#include <QXmlStreamReader>

namespace {

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

// Text of an <si> or <is> element: its <t> and its runs' <t>, phonetic hints (<rPh>) left out.
QString readRichText(QXmlStreamReader& reader) {
    QString text;
    while (reader.readNextStartElement()) {
        if (reader.name() == u"t") {
            text += reader.readElementText();
        } else if (reader.name() == u"r") {
            while (reader.readNextStartElement()) {
                if (reader.name() == u"t") {
                    text += reader.readElementText();
                } else {
                    reader.skipCurrentElement();
                }
            }
        } else {
            reader.skipCurrentElement();
        }
    }
    return unescapeXString(text);
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
bool parseCellReference(QStringView reference, int& column, qint64& row) {
    qsizetype i = 0;
    int value = 0;
    while (i < reference.size() && reference.at(i).isLetter()) {
        const char16_t letter = reference.at(i).toUpper().unicode();
        if (letter < u'A' || letter > u'Z' || i == 3) {
            return false;
        }
        value = value * 26 + (letter - u'A' + 1);
        ++i;
    }
    column = value - 1;
    row = 0;
    if (i == reference.size()) {
        return true;
    }
    bool ok = false;
    row = reference.size() - i <= 8 ? reference.mid(i).toLongLong(&ok) : 0;
    return ok && row > 0;
}

QString damaged(const QString& what) {
    return QStringLiteral("A planilha está danificada: %1").arg(what);
}

} // namespace

XlsxSheetParser::XlsxSheetParser(bool date1904, const SpreadsheetProgress& progress)
    : m_date1904(date1904), m_progress(progress), m_blankRow(SpreadsheetReader::ColumnCount) {}

QString XlsxSheetParser::streamError(const QXmlStreamReader& reader, const QIODevice& device) const {
    const auto* part = dynamic_cast<const XlsxPartDevice*>(&device);
    if (part && part->tooLarge()) {
        return QStringLiteral("A planilha é grande demais para ser importada.");
    }
    return damaged(QStringLiteral("%1 (linha %2 do XML).").arg(reader.errorString()).arg(reader.lineNumber()));
}

bool XlsxSheetParser::readSharedStrings(QIODevice& device) {
    QXmlStreamReader reader(&device);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == u"si") {
            m_sharedStrings.append(readRichText(reader));
        }
    }
    if (reader.hasError()) {
        m_error = streamError(reader, device);
        return false;
    }
    return true;
}

QString XlsxSheetParser::valueText(const QString& type, const QString& value, int style) const {
    if (type == u"s") {
        bool ok = false;
        const qsizetype index = value.toLongLong(&ok);
        return ok && index >= 0 && index < m_sharedStrings.size() ? m_sharedStrings.at(index) : QString();
    }
    if (type == u"b") {
        return value.isEmpty() ? QString() : SpreadsheetText::boolean(value == u"1" || value == u"true");
    }
    if (type == u"d") {
        return isoDateText(value);
    }
    if (type == u"str" || type == u"e" || type == u"inlineStr" || value.isEmpty()) {
        return value;
    }
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok) {
        return value;
    }
    const bool date = style >= 0 && style < m_dateStyles.size() && m_dateStyles.at(style);
    return date ? SpreadsheetText::dateTime(number, m_date1904) : SpreadsheetText::number(number);
}

// Reads a <c> element to its end. cell.column and cell.row come in as the defaults for a cell
// without reference (next column, current row).
bool XlsxSheetParser::readCell(QXmlStreamReader& reader, Cell& cell) {
    const QXmlStreamAttributes attributes = reader.attributes();
    if (attributes.hasAttribute(QLatin1String("r"))) {
        int column = -1;
        qint64 row = 0;
        if (!parseCellReference(attributes.value(QLatin1String("r")), column, row) || column < 0) {
            m_error = damaged(
                QStringLiteral("referência de célula inválida \"%1\".").arg(attributes.value(QLatin1String("r"))));
            return false;
        }
        cell.column = column;
        cell.row = row > 0 ? row : cell.row;
    }
    if (cell.column >= SpreadsheetReader::ColumnCount) {
        reader.skipCurrentElement(); // columns after N are never read
        return true;
    }
    const QString type = attributes.value(QLatin1String("t")).toString();
    const int style = attributes.hasAttribute(QLatin1String("s")) ? attributes.value(QLatin1String("s")).toInt() : -1;
    QString value;
    while (reader.readNextStartElement()) {
        if (reader.name() == u"v") {
            value = reader.readElementText();
        } else if (reader.name() == u"is") {
            value = readRichText(reader);
        } else {
            reader.skipCurrentElement();
        }
    }
    cell.text = valueText(type, value, style);
    return true;
}

bool XlsxSheetParser::storeCell(const Cell& cell, SpreadsheetData& data) {
    if (cell.row > SpreadsheetReader::MaxRows) {
        m_error = QStringLiteral("A planilha tem mais de %1 linhas.").arg(SpreadsheetReader::MaxRows);
        return false;
    }
    while (data.rows.size() < cell.row) {
        data.rows.append(m_blankRow); // shared until written to
    }
    if (cell.column < SpreadsheetReader::ColumnCount && !cell.text.isEmpty()) {
        data.rows[cell.row - 1][cell.column] = cell.text;
    }
    return true;
}

void XlsxSheetParser::readSheet(QIODevice& device, SpreadsheetData& data) {
    QXmlStreamReader reader(&device);
    qint64 row = 0;
    int column = -1;
    int lastRowHint = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement && reader.name() == u"c") {
            Cell cell{column + 1, std::max<qint64>(row, 1), QString()};
            if (!readCell(reader, cell) || !storeCell(cell, data)) {
                data.error = m_error;
                return;
            }
            column = cell.column;
        } else if (token == QXmlStreamReader::StartElement && reader.name() == u"row") {
            const QStringView r = reader.attributes().value(QLatin1String("r"));
            bool ok = r.isEmpty();
            row = ok ? row + 1 : r.toLongLong(&ok);
            if (!ok || row <= 0) {
                data.error = damaged(QStringLiteral("número de linha inválido \"%1\".").arg(r));
                return;
            }
            column = -1;
        } else if (token == QXmlStreamReader::StartElement && reader.name() == u"dimension") {
            int hintColumn = 0;
            qint64 hintRow = 0;
            const QStringView ref = reader.attributes().value(QLatin1String("ref"));
            if (parseCellReference(ref.mid(ref.indexOf(u':') + 1), hintColumn, hintRow)) {
                lastRowHint = static_cast<int>(std::min<qint64>(hintRow, SpreadsheetReader::MaxRows));
            }
        } else if (token == QXmlStreamReader::EndElement && reader.name() == u"row" && m_progress &&
                   !m_progress(static_cast<int>(data.rows.size()), lastRowHint)) {
            data.stopped = true;
            return;
        }
    }
    if (reader.hasError()) {
        data.error = streamError(reader, device);
    }
}
