#include "contacts/XlsReader.h"

#include "contacts/BiffRecords.h"
#include "contacts/CompoundFile.h"
#include "contacts/SpreadsheetText.h"
#include "contacts/XlsRecordScanner.h"

#include <QFile>
#include <QHash>

using namespace Biff;

namespace {

constexpr int MaxBiffRows = 65536;

// What the workbook globals say about the cells of the sheets.
struct Globals {
    bool biff8 = true;
    bool date1904 = false;
    qint64 sheetOffset = -1;  // the first worksheet's BOF
    QList<quint16> xfFormats; // number format of each cell format
    QHash<quint16, QString> formats;
    QStringList strings; // the shared string table
};

QString notAWorkbook(const QString& why) {
    return QStringLiteral("não é uma planilha do Excel 97-2003 válida (%1).").arg(why);
}

void readSharedStrings(RecordWalker& walker, Globals& globals) {
    QList<QByteArrayView> segments{walker.body()};
    segments.append(walker.continuations());
    SegmentReader reader(segments);
    quint32 total = 0;
    quint32 unique = 0;
    if (!reader.u32(total) || !reader.u32(unique)) {
        return;
    }
    QString text;
    for (quint32 i = 0; i < unique && reader.unicodeString(text); ++i) {
        globals.strings.append(text);
    }
}

void readFormat(QByteArrayView body, Globals& globals) {
    SegmentReader reader({body});
    quint16 index = 0;
    QString code;
    if (reader.u16(index) && (globals.biff8 ? reader.unicodeString(code) : reader.byteString(code, true))) {
        globals.formats.insert(index, code);
    }
}

void readBoundSheet(QByteArrayView body, Globals& globals) {
    // The first worksheet (type 0); charts and macro sheets are skipped.
    if (globals.sheetOffset < 0 && body.size() >= 6 && body[5] == 0) {
        globals.sheetOffset = get32(body, 0);
    }
}

// The workbook globals, from the stream's first BOF to its EOF. Returns an error text or "".
QString readGlobals(const QByteArray& stream, Globals& globals) {
    RecordWalker walker(stream, 0);
    if (!walker.next() || walker.type() != Bof || walker.body().size() < 4) {
        return notAWorkbook(QStringLiteral("sem registro BOF"));
    }
    const quint16 version = get16(walker.body(), 0);
    if (version != Biff8Version && version != Biff5Version) {
        return notAWorkbook(QStringLiteral("versão BIFF %1 não suportada").arg(version, 4, 16, QChar(u'0')));
    }
    globals.biff8 = version == Biff8Version;
    while (walker.next() && walker.type() != Eof) {
        const QByteArrayView body = walker.body();
        switch (walker.type()) {
        case FilePass:
            return QStringLiteral("está protegida por senha.");
        case DateMode:
            globals.date1904 = get16(body, 0) == 1;
            break;
        case Format:
            readFormat(body, globals);
            break;
        case Xf:
            globals.xfFormats.append(get16(body, 2));
            break;
        case BoundSheet:
            readBoundSheet(body, globals);
            break;
        case Sst:
            if (globals.biff8) {
                readSharedStrings(walker, globals);
            }
            break;
        default:
            break;
        }
    }
    return globals.sheetOffset < 0 ? QStringLiteral("não tem planilhas.") : QString();
}

// Fills the rows of the first worksheet, one cell record at a time.
class SheetReader {
public:
    SheetReader(const Globals& globals, const QHash<quint64, QString>& shown, SpreadsheetData& data,
                const SpreadsheetProgress& progress)
        : m_globals(globals), m_shown(shown), m_data(data), m_progress(progress),
          m_blankRow(SpreadsheetReader::ColumnCount) {}

    void read(const QByteArray& stream);

private:
    bool cell(quint32 row, quint32 column, const QString& text);
    bool numberCell(quint32 row, quint32 column, quint16 xf, double value);
    bool record(RecordWalker& walker);
    bool multiple(QByteArrayView body, bool numbers);
    bool isDate(quint16 xf) const;
    QString stringOf(RecordWalker& walker, qsizetype at);

    const Globals& m_globals;
    const QHash<quint64, QString>& m_shown;
    SpreadsheetData& m_data;
    const SpreadsheetProgress& m_progress;
    QStringList m_blankRow;
    int m_lastRowHint = 0;
};

bool SheetReader::isDate(quint16 xf) const {
    if (xf >= m_globals.xfFormats.size()) {
        return false;
    }
    const quint16 format = m_globals.xfFormats.at(xf);
    const auto custom = m_globals.formats.constFind(format);
    return custom != m_globals.formats.cend() ? SpreadsheetText::isDateFormat(*custom)
                                              : SpreadsheetText::isBuiltInDateFormat(format);
}

// Stores a cell's text; the rows before it are kept, blank ones included. False stops the reading.
bool SheetReader::cell(quint32 row, quint32 column, const QString& text) {
    if (row >= MaxBiffRows) {
        m_data.error = notAWorkbook(QStringLiteral("linha %1 fora da planilha").arg(row + 1));
        return false;
    }
    if (row + 1 > static_cast<quint32>(m_data.rows.size())) {
        if (m_progress && !m_progress(static_cast<int>(m_data.rows.size()), m_lastRowHint)) {
            m_data.stopped = true;
            return false;
        }
        while (m_data.rows.size() < static_cast<qsizetype>(row) + 1) {
            m_data.rows.append(m_blankRow); // shared until written to
        }
    }
    if (column >= SpreadsheetReader::ColumnCount) {
        return true; // columns after N are never read, but their row is a used one
    }
    const auto shown = m_shown.constFind(XlsRecordScanner::key(row, static_cast<quint16>(column)));
    const QString& value = shown != m_shown.cend() ? *shown : text;
    if (value.size() > SpreadsheetReader::MaxCellLength) {
        m_data.error = SpreadsheetText::cellTooLong(row + 1, static_cast<int>(column), value.size());
        return false;
    }
    if (!value.isEmpty()) {
        m_data.rows[row][column] = value;
    }
    return true;
}

bool SheetReader::numberCell(quint32 row, quint32 column, quint16 xf, double value) {
    return cell(row, column,
                isDate(xf) ? SpreadsheetText::dateTime(value, m_globals.date1904) : SpreadsheetText::number(value));
}

// MULRK (numbers) and MULBLANK: row, first column, one entry per column, last column.
bool SheetReader::multiple(QByteArrayView body, bool numbers) {
    const quint16 row = get16(body, 0);
    const quint16 first = get16(body, 2);
    const qsizetype entry = numbers ? 6 : 2;
    for (qsizetype at = 4, column = first; at + entry + 2 <= body.size(); at += entry, ++column) {
        const bool ok = numbers ? numberCell(row, column, get16(body, at), rkValue(get32(body, at + 2)))
                                : cell(row, column, QString());
        if (!ok) {
            return false;
        }
    }
    return true;
}

QString SheetReader::stringOf(RecordWalker& walker, qsizetype at) {
    QList<QByteArrayView> segments{walker.body().sliced(std::min<qsizetype>(at, walker.body().size()))};
    segments.append(walker.continuations());
    SegmentReader reader(segments);
    QString text;
    const bool ok = m_globals.biff8 ? reader.unicodeString(text) : reader.byteString(text);
    return ok ? text : QString();
}

bool SheetReader::record(RecordWalker& walker) {
    const QByteArrayView body = walker.body();
    const quint16 row = get16(body, 0);
    const quint16 column = get16(body, 2);
    const quint16 xf = get16(body, 4);
    switch (walker.type()) {
    case LabelSst: {
        const quint32 index = get32(body, 6);
        return body.size() < 10 ||
               cell(row, column, index < m_globals.strings.size() ? m_globals.strings.at(index) : QString());
    }
    case Label:
    case RString:
        return body.size() < 8 || cell(row, column, stringOf(walker, 6));
    case Number:
        return body.size() < 14 || numberCell(row, column, xf, getDouble(body, 6));
    case Rk:
        return body.size() < 10 || numberCell(row, column, xf, rkValue(get32(body, 6)));
    case MulRk:
        return multiple(body, true);
    case MulBlank:
        return multiple(body, false);
    case Blank:
    case BoolErr:
    case Formula: // the shown values of these come from the record scanner
        return body.size() < 6 || cell(row, column, QString());
    case Dimension:
        m_lastRowHint = static_cast<int>(std::min<quint32>(get32(body, 4), MaxBiffRows));
        return true;
    default:
        return true;
    }
}

void SheetReader::read(const QByteArray& stream) {
    RecordWalker walker(stream, m_globals.sheetOffset);
    if (!walker.next() || walker.type() != Bof) {
        m_data.error = notAWorkbook(QStringLiteral("a primeira planilha não começa com BOF"));
        return;
    }
    // Charts inside a sheet have their own BOF … EOF: only the sheet's own level is read.
    for (int depth = 1; depth > 0 && walker.next();) {
        if (walker.type() == Bof) {
            ++depth;
        } else if (walker.type() == Eof) {
            --depth;
        } else if (depth == 1 && !record(walker)) {
            return;
        }
    }
}

} // namespace

SpreadsheetData XlsReader::readBytes(const QByteArray& file, const SpreadsheetProgress& progress) {
    SpreadsheetData data;
    CompoundFileReader compound(file);
    if (!compound.load()) {
        data.error = notAWorkbook(compound.error());
        return data;
    }
    QByteArray stream = compound.stream(QStringLiteral("Workbook"));
    if (stream.isEmpty()) {
        stream = compound.stream(QStringLiteral("Book")); // Excel 5/95
    }
    Globals globals;
    data.error =
        stream.isEmpty() ? notAWorkbook(QStringLiteral("sem a pasta de trabalho")) : readGlobals(stream, globals);
    if (!data.error.isEmpty()) {
        return data;
    }
    const QHash<quint64, QString> shown = XlsRecordScanner::shownValuesOfStream(stream);
    SheetReader(globals, shown, data, progress).read(stream);
    if (!data.error.isEmpty()) {
        data.rows.clear();
    }
    return data;
}

SpreadsheetData XlsReader::read(const QString& path, const SpreadsheetProgress& progress) {
    QFile file(path);
    SpreadsheetData data;
    if (!file.open(QIODevice::ReadOnly)) {
        data.error = QStringLiteral("Não foi possível abrir o arquivo \"%1\": %2").arg(path, file.errorString());
        return data;
    }
    if (file.size() > MaxFileSize) {
        data.error = QStringLiteral("O arquivo \"%1\" é grande demais para ser importado.").arg(path);
        return data;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        data.error = QStringLiteral("Não foi possível ler o arquivo \"%1\": %2").arg(path, file.errorString());
        return data;
    }
    return readBytes(bytes, progress);
}
