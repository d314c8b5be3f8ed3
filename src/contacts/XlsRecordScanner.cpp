#include "contacts/XlsRecordScanner.h"

#include "contacts/SpreadsheetReader.h"
#include "contacts/SpreadsheetText.h"

#include <QList>

#include <cstring>

namespace {

constexpr quint32 LastRegularSector = 0xFFFFFFFA;
constexpr int HeaderDifatSlots = 109;
constexpr qsizetype DirectoryEntrySize = 128;

quint16 get16(const QByteArray& bytes, qsizetype at) {
    if (at < 0 || at + 2 > bytes.size()) {
        return 0;
    }
    return static_cast<quint16>(static_cast<quint8>(bytes[at]) | (static_cast<quint8>(bytes[at + 1]) << 8));
}

quint32 get32(const QByteArray& bytes, qsizetype at) {
    return get16(bytes, at) | (quint32{get16(bytes, at + 2)} << 16);
}

// Sector chains of a compound file, every step checked against the file's size and the table.
class CompoundFile {
public:
    explicit CompoundFile(const QByteArray& file) : m_file(file) {}

    bool load() {
        if (m_file.size() < 512 || !m_file.startsWith(QByteArray::fromHex("D0CF11E0A1B11AE1"))) {
            return false;
        }
        const quint16 shift = get16(m_file, 30);
        if (shift != 9 && shift != 12) {
            return false;
        }
        m_sectorSize = qsizetype{1} << shift;
        m_miniCutoff = get32(m_file, 56);
        loadFat();
        m_directory = chain(m_fat, get32(m_file, 48), -1);
        return !m_fat.isEmpty() && !m_directory.isEmpty();
    }

    QByteArray stream(const QString& name) const {
        for (qsizetype at = 0; at + DirectoryEntrySize <= m_directory.size(); at += DirectoryEntrySize) {
            const int nameBytes = std::min<int>(get16(m_directory, at + 64), 64);
            QString entryName;
            for (int i = 0; i + 2 < nameBytes; i += 2) {
                entryName += QChar(get16(m_directory, at + i));
            }
            if (m_directory[at + 66] == 2 && entryName.compare(name, Qt::CaseInsensitive) == 0) {
                const quint32 size = get32(m_directory, at + 120);
                return size < m_miniCutoff ? miniStream(get32(m_directory, at + 116), size)
                                           : chain(m_fat, get32(m_directory, at + 116), size);
            }
        }
        return QByteArray();
    }

private:
    QByteArray sector(quint32 index) const {
        const qsizetype at = (qsizetype{index} + 1) * m_sectorSize;
        return at + m_sectorSize <= m_file.size() ? m_file.mid(at, m_sectorSize) : QByteArray();
    }

    void appendTableSector(QList<quint32>& table, quint32 index) const {
        const QByteArray bytes = sector(index);
        for (qsizetype at = 0; at + 4 <= bytes.size(); at += 4) {
            table.append(get32(bytes, at));
        }
    }

    void loadFat() {
        const qsizetype maxSectors = m_file.size() / m_sectorSize;
        QList<quint32> fatSectors;
        for (int i = 0; i < HeaderDifatSlots; ++i) {
            fatSectors.append(get32(m_file, 76 + 4 * i));
        }
        quint32 difat = get32(m_file, 68);
        for (qsizetype steps = 0; difat <= LastRegularSector && steps < maxSectors; ++steps) {
            const QByteArray bytes = sector(difat);
            for (qsizetype at = 0; at + 8 <= bytes.size(); at += 4) {
                fatSectors.append(get32(bytes, at));
            }
            difat = get32(bytes, bytes.size() - 4);
            if (bytes.isEmpty()) {
                break;
            }
        }
        for (const quint32 index : fatSectors) {
            if (index <= LastRegularSector && m_fat.size() < maxSectors * 2 + 512) {
                appendTableSector(m_fat, index);
            }
        }
    }

    // The sectors of a chain, joined; cut to size unless size is negative. A loop ends it.
    QByteArray chain(const QList<quint32>& table, quint32 start, qint64 size, bool mini = false) const {
        QByteArray out;
        quint32 next = start;
        const qsizetype unit = mini ? 64 : m_sectorSize;
        for (qsizetype steps = 0; next < table.size() && steps < table.size(); ++steps) {
            if (mini) {
                const qsizetype at = qsizetype{next} * unit;
                if (at + unit > m_miniData.size()) {
                    break;
                }
                out.append(m_miniData.mid(at, unit));
            } else {
                const QByteArray bytes = sector(next);
                if (bytes.isEmpty()) {
                    break;
                }
                out.append(bytes);
            }
            if (size >= 0 && out.size() >= size) {
                break;
            }
            next = table.at(next);
        }
        return size >= 0 ? out.left(size) : out;
    }

    QByteArray miniStream(quint32 start, quint32 size) const {
        if (m_directory.size() < DirectoryEntrySize || m_directory[66] != 5) {
            return QByteArray();
        }
        QList<quint32> miniFat;
        const QByteArray miniFatBytes = chain(m_fat, get32(m_file, 60), -1);
        for (qsizetype at = 0; at + 4 <= miniFatBytes.size(); at += 4) {
            miniFat.append(get32(miniFatBytes, at));
        }
        m_miniData = chain(m_fat, get32(m_directory, 116), get32(m_directory, 120));
        return chain(miniFat, start, size, true);
    }

    const QByteArray& m_file;
    qsizetype m_sectorSize = 512;
    quint32 m_miniCutoff = 4096;
    QList<quint32> m_fat;
    QByteArray m_directory;
    mutable QByteArray m_miniData;
};

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
    CompoundFile compound(file);
    return compound.load() ? compound.stream(name) : QByteArray();
}

QHash<quint64, QString> XlsRecordScanner::shownValues(const QByteArray& file) {
    QHash<quint64, QString> values;
    QByteArray stream = compoundStream(file, QStringLiteral("Workbook"));
    if (stream.isEmpty()) {
        stream = compoundStream(file, QStringLiteral("Book")); // Excel 5/95
    }
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
