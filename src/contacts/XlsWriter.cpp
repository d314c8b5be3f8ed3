#include "contacts/XlsWriter.h"

#include "contacts/CompoundFile.h"
#include "store/AtomicFile.h"

#include <QHash>

namespace {

// BIFF8 record types.
enum Record : quint16 {
    Bof = 0x0809,
    Eof = 0x000A,
    Codepage = 0x0042,
    Window1 = 0x003D,
    DateMode = 0x0022,
    Font = 0x0031,
    Xf = 0x00E0,
    Style = 0x0293,
    BoundSheet = 0x0085,
    Sst = 0x00FC,
    Continue = 0x003C,
    DefColWidth = 0x0055,
    ColInfo = 0x007D,
    Dimension = 0x0200,
    LabelSst = 0x00FD,
    Blank = 0x0201,
    Window2 = 0x023E,
};

constexpr qsizetype MaxRecordData = 8224;
constexpr quint16 DefaultCellXf = 15; // the first 15 formats are styles, 15 is the default cell format
constexpr quint16 NameCellXf = 16;
constexpr quint16 NameFontIndex = 5;  // font index 4 does not exist in BIFF: the fifth record is index 5
constexpr quint16 RedColour = 0x000A; // red in the default palette
constexpr int DigitWidthPixels = 7;   // of the default font; Excel adds 5 pixels of padding to a width

void put8(QByteArray& out, quint8 value) {
    out.append(static_cast<char>(value));
}

void put16(QByteArray& out, quint16 value) {
    put8(out, static_cast<quint8>(value & 0xFF));
    put8(out, static_cast<quint8>(value >> 8));
}

void put32(QByteArray& out, quint32 value) {
    put16(out, static_cast<quint16>(value & 0xFFFF));
    put16(out, static_cast<quint16>(value >> 16));
}

void putRecord(QByteArray& out, quint16 type, const QByteArray& body) {
    put16(out, type);
    put16(out, static_cast<quint16>(body.size()));
    out.append(body);
}

bool needsWideChars(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() > 0xFF) {
            return true;
        }
    }
    return false;
}

void putChars(QByteArray& out, QStringView text, bool wide) {
    for (const QChar c : text) {
        if (wide) {
            put16(out, c.unicode());
        } else {
            put8(out, static_cast<quint8>(c.unicode()));
        }
    }
}

QByteArray bof(quint16 kind) {
    QByteArray body;
    put16(body, 0x0600); // BIFF8
    put16(body, kind);
    put16(body, 0x0DBB); // build
    put16(body, 0x07CC); // year
    put32(body, 0);
    put32(body, 0x06);
    return body;
}

QByteArray font(const QString& name, bool boldRed) {
    QByteArray body;
    put16(body, 200);             // 10 points, in twips
    put16(body, boldRed ? 1 : 0); // the old bold bit, which some readers still take
    put16(body, boldRed ? RedColour : 0x7FFF);
    put16(body, boldRed ? 700 : 400);
    put16(body, 0);
    put8(body, 0);
    put8(body, 0);
    put8(body, 0);
    put8(body, 0);
    put8(body, static_cast<quint8>(name.size()));
    put8(body, 0);
    putChars(body, name, false);
    return body;
}

QByteArray xf(quint16 fontIndex, bool style) {
    QByteArray body;
    put16(body, fontIndex);
    put16(body, 0);                       // number format: General
    put16(body, style ? 0xFFF5 : 0x0001); // locked; a style has no parent
    put8(body, 0x20);                     // bottom aligned
    put8(body, 0);
    put8(body, 0);
    put8(body, style ? 0xF4 : (fontIndex == NameFontIndex ? 0x08 : 0x00)); // attributes of its own
    put32(body, 0);
    put32(body, 0);
    put16(body, 0x20C0); // automatic pattern colours
    return body;
}

QByteArray globalsHead() {
    QByteArray out;
    putRecord(out, Bof, bof(0x0005));
    QByteArray codepage;
    put16(codepage, 1200); // UTF-16
    putRecord(out, Codepage, codepage);
    QByteArray window;
    for (quint16 value : {0, 0, 0x4000, 0x2000, 0x0038, 0, 0, 1, 0x0258}) {
        put16(window, value);
    }
    putRecord(out, Window1, window);
    putRecord(out, DateMode, QByteArray(2, '\0'));
    for (int i = 0; i < 4; ++i) {
        putRecord(out, Font, font(QStringLiteral("Arial"), false));
    }
    putRecord(out, Font, font(QString::fromLatin1(SpreadsheetWriter::NameFont), true));
    for (int i = 0; i < 15; ++i) {
        putRecord(out, Xf, xf(0, true));
    }
    putRecord(out, Xf, xf(0, false));
    putRecord(out, Xf, xf(NameFontIndex, false));
    QByteArray normalStyle;
    put16(normalStyle, 0x8000);
    put8(normalStyle, 0);
    put8(normalStyle, 0xFF);
    putRecord(out, Style, normalStyle);
    return out;
}

// The shared string table, split into CONTINUE records where it outgrows one record. A string's
// header never splits; when its characters do, the continuation starts with their width flag.
class SstBuilder {
public:
    SstBuilder(quint32 total, quint32 unique) {
        put32(m_body, total);
        put32(m_body, unique);
    }

    void add(const QString& text) {
        const bool wide = needsWideChars(text);
        const qsizetype charSize = wide ? 2 : 1;
        if (m_body.size() + 3 + charSize > MaxRecordData) {
            flush();
        }
        put16(m_body, static_cast<quint16>(text.size()));
        put8(m_body, wide ? 0x01 : 0x00);
        qsizetype done = 0;
        while (done < text.size()) {
            const qsizetype fit = (MaxRecordData - m_body.size()) / charSize;
            const qsizetype take = std::min(fit, text.size() - done);
            putChars(m_body, QStringView(text).mid(done, take), wide);
            done += take;
            if (done < text.size()) {
                flush();
                put8(m_body, wide ? 0x01 : 0x00);
            }
        }
    }

    QByteArray finish() {
        flush();
        return m_out;
    }

private:
    void flush() {
        putRecord(m_out, m_first ? Sst : Continue, m_body);
        m_first = false;
        m_body.clear();
    }

    QByteArray m_out;
    QByteArray m_body;
    bool m_first = true;
};

QByteArray cellRecord(quint16 type, int row, int column, quint16 format, quint32 stringIndex) {
    QByteArray body;
    put16(body, static_cast<quint16>(row));
    put16(body, static_cast<quint16>(column));
    put16(body, format);
    if (type == LabelSst) {
        put32(body, stringIndex);
    }
    QByteArray out;
    putRecord(out, type, body);
    return out;
}

QByteArray columnInfo(int first, int last, double widthChars) {
    const double pixels = std::trunc(widthChars * DigitWidthPixels + 5);
    QByteArray body;
    put16(body, static_cast<quint16>(first));
    put16(body, static_cast<quint16>(last));
    put16(body, static_cast<quint16>(std::lround(pixels / DigitWidthPixels * 256)));
    put16(body, DefaultCellXf);
    put16(body, 0);
    put16(body, 0);
    QByteArray out;
    putRecord(out, ColInfo, body);
    return out;
}

QByteArray sheetHead(int rowCount) {
    QByteArray out;
    putRecord(out, Bof, bof(0x0010));
    QByteArray defaultWidth;
    put16(defaultWidth, 8);
    putRecord(out, DefColWidth, defaultWidth);
    const auto& widths = SpreadsheetWriter::ColumnWidths;
    size_t first = 0;
    for (size_t column = 1; column <= widths.size(); ++column) {
        if (column == widths.size() || widths.at(column) != widths.at(first)) {
            if (widths.at(first) > 0) {
                out.append(columnInfo(static_cast<int>(first), static_cast<int>(column - 1), widths.at(first)));
            }
            first = column;
        }
    }
    QByteArray dimension;
    put32(dimension, 0);
    put32(dimension, static_cast<quint32>(rowCount));
    put16(dimension, 0);
    put16(dimension, SpreadsheetWriter::ColumnCount);
    put16(dimension, 0);
    putRecord(out, Dimension, dimension);
    return out;
}

QByteArray sheetTail() {
    QByteArray out;
    QByteArray window;
    put16(window, 0x06B6); // grid lines, headers, zeros, selected and shown sheet
    put16(window, 0);
    put16(window, 0);
    put16(window, 0x0040);
    put16(window, 0);
    put16(window, 0);
    put16(window, 0);
    put32(window, 0);
    putRecord(out, Window2, window);
    putRecord(out, Eof, QByteArray());
    return out;
}

QByteArray boundSheet(quint32 sheetOffset) {
    const QString name = QStringLiteral("Plan1");
    QByteArray body;
    put32(body, sheetOffset);
    put8(body, 0); // visible
    put8(body, 0); // worksheet
    put8(body, static_cast<quint8>(name.size()));
    put8(body, 0);
    putChars(body, name, false);
    QByteArray out;
    putRecord(out, BoundSheet, body);
    return out;
}

} // namespace

namespace {

using namespace CompoundLayout;

constexpr qsizetype SectorSize = qsizetype{1} << SmallSectorShift;
constexpr qsizetype EntriesPerSector = SectorSize / 4;

QByteArray directoryEntry(const QString& name, quint8 type, quint32 child, quint32 start, quint32 size) {
    QByteArray entry;
    putChars(entry, name, true);
    entry.append(QByteArray(EntryNameBytes - entry.size(), '\0'));
    put16(entry, name.isEmpty() ? 0 : static_cast<quint16>((name.size() + 1) * 2));
    put8(entry, type);
    put8(entry, 1); // black
    put32(entry, NoStream);
    put32(entry, NoStream);
    put32(entry, child);
    entry.append(QByteArray(16 + 4 + 8 + 8, '\0')); // class id, state bits, times
    put32(entry, start);
    put32(entry, size);
    put32(entry, 0);
    return entry;
}

// Sector counts of the allocation tables for a file of dataSectors stream and directory sectors.
void tableSectors(qsizetype dataSectors, qsizetype& fatSectors, qsizetype& difatSectors) {
    fatSectors = 0;
    difatSectors = 0;
    for (;;) {
        const qsizetype fat = (dataSectors + fatSectors + difatSectors + EntriesPerSector - 1) / EntriesPerSector;
        const qsizetype difat =
            fat > HeaderDifatSlots ? (fat - HeaderDifatSlots + EntriesPerSector - 2) / (EntriesPerSector - 1) : 0;
        if (fat == fatSectors && difat == difatSectors) {
            return;
        }
        fatSectors = fat;
        difatSectors = difat;
    }
}

void set16(QByteArray& out, qsizetype at, quint16 value) {
    out[at] = static_cast<char>(value & 0xFF);
    out[at + 1] = static_cast<char>(value >> 8);
}

void set32(QByteArray& out, qsizetype at, quint32 value) {
    set16(out, at, static_cast<quint16>(value & 0xFFFF));
    set16(out, at + 2, static_cast<quint16>(value >> 16));
}

QByteArray header(qsizetype fatSectors, quint32 directorySector, quint32 firstDifat, qsizetype difatSectors,
                  const QList<quint32>& fatPositions) {
    QByteArray out(HeaderSize, '\0');
    out.replace(0, SignatureSize, QByteArray(Signature, SignatureSize));
    set16(out, MinorVersionAt, 0x003E);
    set16(out, MajorVersionAt, 0x0003);
    set16(out, ByteOrderAt, 0xFFFE);
    set16(out, SectorShiftAt, SmallSectorShift);
    set16(out, MiniSectorShiftAt, MiniSectorShift);
    set32(out, FatSectorCountAt, static_cast<quint32>(fatSectors));
    set32(out, DirectoryStartAt, directorySector);
    set32(out, MiniStreamCutoffAt, MiniStreamCutoff);
    set32(out, MiniFatStartAt, EndOfChain); // no mini stream: the workbook stream is never shorter than the cutoff
    set32(out, MiniFatCountAt, 0);
    set32(out, DifatStartAt, firstDifat);
    set32(out, DifatCountAt, static_cast<quint32>(difatSectors));
    for (int i = 0; i < HeaderDifatSlots; ++i) {
        set32(out, HeaderDifatAt + 4 * i, i < fatPositions.size() ? fatPositions.at(i) : FreeSector);
    }
    return out;
}

} // namespace

QByteArray XlsWriter::compoundFile(const QByteArray& workbookStream) {
    QByteArray stream = workbookStream;
    if (stream.size() < MiniStreamCutoff) {
        stream.append(QByteArray(qsizetype{MiniStreamCutoff} - stream.size(), '\0')); // after the last EOF record
    }
    const qsizetype streamSectors = (stream.size() + SectorSize - 1) / SectorSize;
    const auto directorySector = static_cast<quint32>(streamSectors);
    qsizetype fatSectors = 0;
    qsizetype difatSectors = 0;
    tableSectors(streamSectors + 1, fatSectors, difatSectors);
    QList<quint32> fat(fatSectors * EntriesPerSector, FreeSector);
    for (qsizetype i = 0; i < streamSectors; ++i) {
        fat[i] = i + 1 < streamSectors ? static_cast<quint32>(i + 1) : EndOfChain;
    }
    fat[directorySector] = EndOfChain;
    QList<quint32> fatPositions;
    for (qsizetype i = 0; i < fatSectors; ++i) {
        fatPositions.append(directorySector + 1 + static_cast<quint32>(i));
        fat[fatPositions.constLast()] = FatSector;
    }
    const auto firstDifat = static_cast<quint32>(directorySector + 1 + fatSectors);
    for (qsizetype i = 0; i < difatSectors; ++i) {
        fat[firstDifat + i] = DifatSector;
    }
    QByteArray out =
        header(fatSectors, directorySector, difatSectors ? firstDifat : EndOfChain, difatSectors, fatPositions);
    out.append(stream);
    out.append(QByteArray(streamSectors * SectorSize - stream.size(), '\0'));
    out.append(directoryEntry(QStringLiteral("Root Entry"), RootEntry, 1, EndOfChain, 0));
    out.append(
        directoryEntry(QStringLiteral("Workbook"), StreamEntry, NoStream, 0, static_cast<quint32>(stream.size())));
    out.append(directoryEntry(QString(), 0, NoStream, 0, 0));
    out.append(directoryEntry(QString(), 0, NoStream, 0, 0));
    for (const quint32 entry : fat) {
        put32(out, entry);
    }
    for (qsizetype d = 0; d < difatSectors; ++d) {
        for (qsizetype slot = 0; slot < EntriesPerSector - 1; ++slot) {
            const qsizetype index = HeaderDifatSlots + d * (EntriesPerSector - 1) + slot;
            put32(out, index < fatPositions.size() ? fatPositions.at(index) : FreeSector);
        }
        put32(out, d + 1 < difatSectors ? firstDifat + static_cast<quint32>(d + 1) : EndOfChain);
    }
    return out;
}

QByteArray XlsWriter::workbookStream(const QList<QStringList>& rows, const SpreadsheetProgress& progress) {
    QHash<QString, quint32> stringIndex;
    QStringList strings;
    quint32 stringCells = 0;
    QByteArray cells;
    for (int row = 0; row < rows.size(); ++row) {
        const QStringList& texts = rows.at(row);
        for (int column = 0; column < SpreadsheetWriter::ColumnCount; ++column) {
            const QString text = SpreadsheetWriter::cellText(texts, column);
            const quint16 format = column == 0 ? NameCellXf : DefaultCellXf;
            if (text.isEmpty()) {
                if (column == 0) {
                    cells.append(cellRecord(Blank, row, column, format, 0)); // keeps the row, and its style
                }
                continue;
            }
            auto found = stringIndex.constFind(text);
            if (found == stringIndex.cend()) {
                found = stringIndex.insert(text, static_cast<quint32>(strings.size()));
                strings.append(text);
            }
            cells.append(cellRecord(LabelSst, row, column, format, *found));
            ++stringCells;
        }
        if (progress && !progress(row + 1, static_cast<int>(rows.size()))) {
            return QByteArray();
        }
    }
    SstBuilder sst(stringCells, static_cast<quint32>(strings.size()));
    for (const QString& text : strings) {
        sst.add(text);
    }
    QByteArray globalsTail = sst.finish();
    putRecord(globalsTail, Eof, QByteArray());
    const QByteArray head = globalsHead();
    const auto sheetOffset = static_cast<quint32>(head.size() + boundSheet(0).size() + globalsTail.size());
    return head + boundSheet(sheetOffset) + globalsTail + sheetHead(static_cast<int>(rows.size())) + cells +
           sheetTail();
}

SpreadsheetWriteResult XlsWriter::write(const QString& path, const QList<QStringList>& rows,
                                        const SpreadsheetProgress& progress) {
    SpreadsheetWriteResult result;
    if (rows.size() > MaxRows) {
        result.error = QStringLiteral("Uma planilha do Excel 97-2003 (.xls) comporta no máximo %1 linhas; "
                                      "exporte para .xlsx.")
                           .arg(MaxRows);
        return result;
    }
    const QByteArray stream = workbookStream(rows, progress);
    if (stream.isEmpty()) {
        result.stopped = true;
        return result;
    }
    AtomicFile file(path);
    if (!file.open() || !file.write(compoundFile(stream)) || !file.commit()) {
        result.error = file.errorString();
    }
    return result;
}
