#include "contacts/XlsReader.h"

#include "contacts/SpreadsheetText.h"
#include "contacts/XlsRecordScanner.h"

#include <QDate>
#include <QDateTime>
#include <QFile>

#include <freexl.h>

namespace {

constexpr qint64 MaxScannedSize = 512LL * 1024 * 1024;

// Owns a FreeXL handle.
class FreeXlBook {
public:
    FreeXlBook() = default;
    FreeXlBook(const FreeXlBook&) = delete;
    FreeXlBook& operator=(const FreeXlBook&) = delete;
    ~FreeXlBook() {
        if (m_handle) {
            freexl_close(m_handle);
        }
    }
    const void** slot() { return &m_handle; }
    const void* handle() const { return m_handle; }

private:
    const void* m_handle = nullptr;
};

QString openError(const QString& path, int code) {
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        return QStringLiteral("Não foi possível abrir o arquivo \"%1\".").arg(path);
    case FREEXL_INSUFFICIENT_MEMORY:
        return QStringLiteral("Memória insuficiente para ler o arquivo \"%1\".").arg(path);
    default:
        return QStringLiteral("O arquivo \"%1\" não é uma planilha do Excel 97-2003 válida (erro %2).")
            .arg(path)
            .arg(code);
    }
}

// FreeXL gives dates as "yyyy-mm-dd", times as "hh:mm:ss" and both as "yyyy-mm-dd hh:mm:ss".
QString dateText(const char* text) {
    const QString iso = QString::fromUtf8(text);
    const QDate date = QDate::fromString(iso.left(10), Qt::ISODate);
    if (!date.isValid()) {
        return iso;
    }
    QString shown = date.toString(QStringLiteral("dd/MM/yyyy"));
    const QString time = iso.mid(11, 8);
    if (!time.isEmpty() && time != u"00:00:00") {
        shown += u' ' + time;
    }
    return shown;
}

QString cellText(const FreeXL_CellValue& cell) {
    switch (cell.type) {
    case FREEXL_CELL_INT:
        return QString::number(cell.value.int_value);
    case FREEXL_CELL_DOUBLE:
        return SpreadsheetText::number(cell.value.double_value);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
    case FREEXL_CELL_TIME:
        return cell.value.text_value ? QString::fromUtf8(cell.value.text_value) : QString();
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
        return cell.value.text_value ? dateText(cell.value.text_value) : QString();
    default:
        return QString();
    }
}

QString readRows(const void* book, unsigned rowCount, unsigned short columnCount, const QHash<quint64, QString>& shown,
                 SpreadsheetData& data, const SpreadsheetProgress& progress) {
    const unsigned short columns = std::min<unsigned short>(columnCount, SpreadsheetReader::ColumnCount);
    for (unsigned row = 0; row < rowCount; ++row) {
        QStringList cells;
        cells.reserve(SpreadsheetReader::ColumnCount);
        for (unsigned short column = 0; column < columns; ++column) {
            FreeXL_CellValue cell;
            const int rc = freexl_get_cell_value(book, row, column, &cell);
            if (rc != FREEXL_OK) {
                return QStringLiteral("Não foi possível ler a célula da linha %1, coluna %2 (erro %3).")
                    .arg(row + 1)
                    .arg(column + 1)
                    .arg(rc);
            }
            const auto scanned = shown.constFind(XlsRecordScanner::key(row, column));
            cells.append(scanned != shown.cend() ? *scanned : cellText(cell));
        }
        data.rows.append(SpreadsheetText::fitRow(cells, SpreadsheetReader::ColumnCount));
        if (progress && !progress(static_cast<int>(row + 1), static_cast<int>(rowCount))) {
            data.stopped = true;
            break;
        }
    }
    return QString();
}

} // namespace

SpreadsheetData XlsReader::read(const QString& path, const SpreadsheetProgress& progress) {
    SpreadsheetData data;
    FreeXlBook book;
    const QByteArray nativePath = QFile::encodeName(path);
    int rc = freexl_open(nativePath.constData(), book.slot());
    if (rc != FREEXL_OK) {
        data.error = openError(path, rc);
        return data;
    }
    unsigned int protectedBook = 0;
    if (freexl_get_info(book.handle(), FREEXL_BIFF_PASSWORD, &protectedBook) == FREEXL_OK &&
        protectedBook == FREEXL_BIFF_OBFUSCATED) {
        data.error = QStringLiteral("A planilha \"%1\" está protegida por senha.").arg(path);
        return data;
    }
    unsigned int sheets = 0;
    rc = freexl_get_info(book.handle(), FREEXL_BIFF_SHEET_COUNT, &sheets);
    if (rc != FREEXL_OK || sheets == 0 || freexl_select_active_worksheet(book.handle(), 0) != FREEXL_OK) {
        data.error = QStringLiteral("O arquivo \"%1\" não tem planilhas.").arg(path);
        return data;
    }
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_worksheet_dimensions(book.handle(), &rows, &columns) != FREEXL_OK) {
        data.error = openError(path, rc);
        return data;
    }
    if (rows > static_cast<unsigned>(SpreadsheetReader::MaxRows)) {
        data.error = QStringLiteral("A planilha tem mais de %1 linhas.").arg(SpreadsheetReader::MaxRows);
        return data;
    }
    // Formula results and logical cells, which FreeXL does not give as shown.
    QFile file(path);
    QHash<quint64, QString> shown;
    if (file.size() <= MaxScannedSize && file.open(QIODevice::ReadOnly)) {
        shown = XlsRecordScanner::shownValues(file.readAll());
    }
    data.error = readRows(book.handle(), rows, columns, shown, data, progress);
    return data;
}
