#include "contacts/SpreadsheetWriter.h"

#include "contacts/XlsWriter.h"
#include "contacts/XlsxWriter.h"

#include "store/AtomicFile.h"

#include <QFileInfo>

bool SpreadsheetWriter::isSupported(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == u"xls" || suffix == u"xlsx";
}

QString SpreadsheetWriter::unsupportedText(const QString& path) {
    return QStringLiteral("Formato de planilha não suportado: \"%1\" (use .xls ou .xlsx).").arg(path);
}

SpreadsheetWriteResult SpreadsheetWriter::write(const QString& path, const QList<QStringList>& rows,
                                                const SpreadsheetProgress& progress) {
    SpreadsheetWriteResult result;
    if (!isSupported(path)) {
        result.error = unsupportedText(path);
        return result;
    }
    if (QFileInfo(path).suffix().toLower() == u"xls") {
        return XlsWriter::write(path, rows, progress);
    }
    // libxlsxwriter writes by name: into the temporary, which is then checked and renamed.
    AtomicFile file(path);
    if (!file.open()) {
        result.error = file.errorString();
        return result;
    }
    result = XlsxWriter::write(file.temporaryPath(), rows, progress);
    result.error.replace(file.temporaryPath(), path);
    if (result.ok() && !file.commit()) {
        result.error = file.errorString();
    }
    return result; // a temporary not committed goes with its object
}

QString SpreadsheetWriter::cellText(const QStringList& row, int column) {
    if (column >= row.size()) {
        return QString();
    }
    QString text = row.at(column);
    text.remove(QChar(u'\0'));
    return text.left(MaxCellLength);
}

QString SpreadsheetWriter::fileFilter() {
    return QStringLiteral("Excel (.xls) (*.xls);;Excel (.xlsx) (*.xlsx)");
}
