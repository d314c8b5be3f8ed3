#include "contacts/SpreadsheetReader.h"

#include "contacts/CompoundFile.h"
#include "contacts/CsvReader.h"
#include "contacts/XlsReader.h"
#include "contacts/XlsxReader.h"

#include <QFile>
#include <QFileInfo>

namespace {

// What the file holds, by its first bytes: a zip archive (.xlsx) or a compound file (.xls).
enum class Content { Zip, Compound, Other };

Content sniff(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return Content::Other;
    }
    const QByteArray head = file.read(8);
    if (head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06")) {
        return Content::Zip;
    }
    return CompoundFileReader::hasSignature(head) ? Content::Compound : Content::Other;
}

SpreadsheetData readByKind(const QString& path, const SpreadsheetProgress& progress) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool excel = suffix == u"xls" || suffix == u"xlsx" || suffix == u"xlsm";
    // An Excel file is read by its content, whatever its name says.
    switch (excel ? sniff(path) : Content::Other) {
    case Content::Zip:
        return XlsxReader::read(path, progress);
    case Content::Compound:
        return XlsReader::read(path, progress);
    case Content::Other:
        break;
    }
    if (suffix == u"csv" || suffix == u"txt") {
        return CsvReader::read(path, progress);
    }
    SpreadsheetData data;
    if (excel && QFileInfo(path).isFile()) {
        data.error = QStringLiteral("O arquivo \"%1\" não é uma planilha do Excel (.xls ou .xlsx): o conteúdo não é "
                                    "de nenhum dos dois formatos.")
                         .arg(path);
    } else if (excel) {
        return suffix == u"xls" ? XlsReader::read(path, progress) : XlsxReader::read(path, progress);
    } else {
        data.error = QStringLiteral("O arquivo \"%1\" não é uma planilha (.xls, .xlsx ou .csv).").arg(path);
    }
    return data;
}

} // namespace

SpreadsheetData SpreadsheetReader::read(const QString& path, const SpreadsheetProgress& progress) {
    SpreadsheetData data = readByKind(path, progress);
    // Every error names the file; the reason, with the library's own text, follows.
    if (!data.error.isEmpty() && !data.error.contains(path)) {
        data.error = QStringLiteral("A planilha \"%1\" não pôde ser lida: %2").arg(path, data.error);
    }
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
