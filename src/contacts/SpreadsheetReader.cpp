#include "contacts/SpreadsheetReader.h"

#include "contacts/CsvReader.h"
#include "contacts/XlsReader.h"
#include "contacts/XlsxReader.h"

#include <QFileInfo>

SpreadsheetData SpreadsheetReader::read(const QString& path, const SpreadsheetProgress& progress) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"xlsx" || suffix == u"xlsm") {
        return XlsxReader::read(path, progress);
    }
    if (suffix == u"csv" || suffix == u"txt") {
        return CsvReader::read(path, progress);
    }
    if (suffix == u"xls") {
        return XlsReader::read(path, progress);
    }
    SpreadsheetData data;
    data.error = QStringLiteral("O arquivo \"%1\" não é uma planilha (.xls, .xlsx ou .csv).").arg(path);
    return data;
}

const QStringList& SpreadsheetReader::columnFields() {
    static const QStringList fields = {QStringLiteral("NOME"),   QStringLiteral("FONE"),   QStringLiteral("EMAIL"),
                                       QStringLiteral("TEXTO"),  QStringLiteral("TEXTO0"), QStringLiteral("TEXTO1"),
                                       QStringLiteral("TEXTO2"), QStringLiteral("TEXTO3"), QStringLiteral("TEXTO4"),
                                       QStringLiteral("TEXTO5"), QStringLiteral("TEXTO6"), QStringLiteral("TEXTO7"),
                                       QStringLiteral("TEXTO8"), QStringLiteral("TEXTO9")};
    return fields;
}

QString SpreadsheetReader::fileFilter() {
    return QStringLiteral(
        "Excel 97-2003 (.xls) (*.xls *.xlsx);;Excel (.xlsx) (*.xlsx);;CSV (.csv, .txt) (*.csv *.txt)");
}
