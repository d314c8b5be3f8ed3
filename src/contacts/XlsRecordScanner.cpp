#include "contacts/XlsRecordScanner.h"

#include "contacts/BiffRecords.h"
#include "contacts/CompoundFile.h"
#include "contacts/SpreadsheetReader.h"
#include "contacts/SpreadsheetText.h"

#include <QList>

#include <cstring>

namespace {

quint16 get16(const QByteArray& bytes, qsizetype at) {
    return Biff::get16(bytes, at);
}

quint32 get32(const QByteArray& bytes, qsizetype at) {
    return Biff::get32(bytes, at);
}

QString errorText(quint8 code) {
    switch (code) {
    case 0x00:
        return QStringLiteral("#NULL!");
    case 0x07:
        return QStringLiteral("#DIV/0!");
    case 0x0F:
        return QStringLiteral("#VALUE!");
    case 0x17:
        return QStringLiteral("#REF!");
    case 0x1D:
        return QStringLiteral("#NAME?");
    case 0x24:
        return QStringLiteral("#NUM!");
    default:
        return QStringLiteral("#N/A");
    }
}

// Offset of the first worksheet's BOF, from the sheet entries of the workbook globals.
qint64 firstWorksheetOffset(const QByteArray& stream) {
    for (qsizetype at = 0; at + 4 <= stream.size();) {
        const quint16 type = get16(stream, at);
        const quint16 length = get16(stream, at + 2);
        if (type == 0x000A) {
            break;
        }
        if (type == 0x0085 && length >= 6 && stream.size() >= at + 4 + 6 && stream[at + 4 + 5] == 0) {
            return get32(stream, at + 4);
        }
        at += 4 + length;
    }
    return -1;
}

} // namespace

QByteArray XlsRecordScanner::compoundStream(const QByteArray& file, const QString& name) {
    CompoundFileReader compound(file);
    return compound.load() ? compound.stream(name) : QByteArray();
}

QHash<quint64, QString> XlsRecordScanner::shownValues(const QByteArray& file) {
    QByteArray stream = compoundStream(file, QStringLiteral("Workbook"));
    if (stream.isEmpty()) {
        stream = compoundStream(file, QStringLiteral("Book")); // Excel 5/95
    }
    return shownValuesOfStream(stream);
}

QHash<quint64, QString> XlsRecordScanner::shownValuesOfStream(const QByteArray& stream) {
    QHash<quint64, QString> values;
    const qint64 sheet = firstWorksheetOffset(stream);
    if (sheet < 0) {
        return values;
    }
    qint64 pendingString = -1; // key of a formula whose text comes in the next STRING record
    for (qsizetype at = sheet; at + 4 <= stream.size();) {
        const quint16 type = get16(stream, at);
        const quint16 length = get16(stream, at + 2);
        const qsizetype body = at + 4;
        if (body + length > stream.size() || type == 0x000A) {
            break;
        }
        const quint16 column = get16(stream, body + 2);
        const quint64 cell = key(get16(stream, body), column);
        const bool wanted = column < SpreadsheetReader::ColumnCount;
        if (type == 0x0006) {
            pendingString = -1;
        }
        if (type == 0x0006 && length >= 20 && wanted) { // FORMULA: its cached result
            const bool special = get16(stream, body + 12) == 0xFFFF;
            const quint8 kind = static_cast<quint8>(stream[body + 6]);
            const quint8 value = static_cast<quint8>(stream[body + 8]);
            if (!special) {
                double number = 0;
                std::memcpy(&number, stream.constData() + body + 6, sizeof number);
                values.insert(cell, SpreadsheetText::number(number));
            } else if (kind == 0) {
                pendingString = static_cast<qint64>(cell);
            } else if (kind == 1) {
                values.insert(cell, SpreadsheetText::boolean(value != 0));
            } else if (kind == 2) {
                values.insert(cell, errorText(value));
            } else {
                values.insert(cell, QString());
            }
        } else if (type == 0x0207 && pendingString >= 0 && length >= 3) { // STRING: a formula's text
            const quint16 count = get16(stream, body);
            const bool wide = stream[body + 2] & 0x01;
            QString text;
            for (qsizetype i = 0; i < count && body + 3 + (i + 1) * (wide ? 2 : 1) <= body + length; ++i) {
                text +=
                    wide ? QChar(get16(stream, body + 3 + 2 * i)) : QChar(static_cast<quint8>(stream[body + 3 + i]));
            }
            values.insert(static_cast<quint64>(pendingString), text);
            pendingString = -1;
        } else if (type == 0x0205 && length >= 8 && wanted) { // BOOLERR
            const quint8 value = static_cast<quint8>(stream[body + 6]);
            values.insert(cell, stream[body + 7] ? errorText(value) : SpreadsheetText::boolean(value != 0));
        }
        at = body + length;
    }
    return values;
}
