#include "contacts/XlsxWriter.h"

#include <QFile>

#include <xlsxwriter.h>

namespace {

lxw_format* addNameFormat(lxw_workbook* workbook) {
    lxw_format* format = workbook_add_format(workbook);
    format_set_font_name(format, SpreadsheetWriter::NameFont);
    format_set_bold(format);
    format_set_font_color(format, LXW_COLOR_RED);
    return format;
}

void setColumnWidths(lxw_worksheet* sheet) {
    for (int column = 0; column < SpreadsheetWriter::ColumnCount; ++column) {
        const double width = SpreadsheetWriter::ColumnWidths.at(static_cast<size_t>(column));
        if (width > 0) {
            worksheet_set_column(sheet, static_cast<lxw_col_t>(column), static_cast<lxw_col_t>(column), width, nullptr);
        }
    }
}

lxw_error writeRow(lxw_worksheet* sheet, lxw_row_t row, const QStringList& cells, lxw_format* nameFormat) {
    for (int column = 0; column < SpreadsheetWriter::ColumnCount; ++column) {
        const QString text = SpreadsheetWriter::cellText(cells, column);
        lxw_format* format = column == 0 ? nameFormat : nullptr;
        const auto col = static_cast<lxw_col_t>(column);
        lxw_error error = LXW_NO_ERROR;
        if (!text.isEmpty()) {
            error = worksheet_write_string(sheet, row, col, text.toUtf8().constData(), format);
        } else if (format) {
            error = worksheet_write_blank(sheet, row, col, format); // keeps the row, and its style
        }
        if (error != LXW_NO_ERROR) {
            return error;
        }
    }
    return LXW_NO_ERROR;
}

} // namespace

SpreadsheetWriteResult XlsxWriter::write(const QString& path, const QList<QStringList>& rows,
                                         const SpreadsheetProgress& progress) {
    SpreadsheetWriteResult result;
    if (rows.size() > SpreadsheetReader::MaxRows) {
        result.error =
            QStringLiteral("Uma planilha .xlsx comporta no máximo %1 linhas.").arg(SpreadsheetReader::MaxRows);
        return result;
    }
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    const QByteArray nativePath = QFile::encodeName(path);
    lxw_workbook* workbook = workbook_new_opt(nativePath.constData(), &options);
    if (!workbook) {
        result.error = QStringLiteral("Não foi possível criar a planilha \"%1\".").arg(path);
        return result;
    }
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, "Plan1");
    lxw_format* nameFormat = addNameFormat(workbook);
    setColumnWidths(sheet);
    lxw_error error = LXW_NO_ERROR;
    for (qsizetype row = 0; row < rows.size() && error == LXW_NO_ERROR; ++row) {
        error = writeRow(sheet, static_cast<lxw_row_t>(row), rows.at(row), nameFormat);
        if (progress && !progress(static_cast<int>(row + 1), static_cast<int>(rows.size()))) {
            result.stopped = true;
            break;
        }
    }
    const lxw_error closeError = workbook_close(workbook);
    if (error == LXW_NO_ERROR) {
        error = closeError;
    }
    if (error != LXW_NO_ERROR) {
        result.error = QStringLiteral("Não foi possível gravar a planilha \"%1\": %2")
                           .arg(path, QString::fromUtf8(lxw_strerror(error)));
    }
    return result;
}
