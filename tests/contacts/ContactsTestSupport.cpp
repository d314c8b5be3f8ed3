#include "ContactsTestSupport.h"

#include <QFile>
#include <QProcess>

#include <zip.h>

namespace ContactsTest {

QString dataFile(const QString& name) {
    return qEnvironmentVariable("VESTRAL_SOURCE_DIR", QStringLiteral(VESTRAL_TEST_SOURCE_DIR)) +
           QStringLiteral("/tests/data/") + name;
}

QByteArray makeZip(const QList<std::pair<QString, QByteArray>>& parts) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    zip_source_keep(buffer);
    for (const auto& [name, content] : parts) {
        zip_source_t* source =
            zip_source_buffer(archive, content.constData(), static_cast<zip_uint64_t>(content.size()), 0);
        zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_OVERWRITE);
    }
    zip_close(archive); // the part buffers are read here, while still alive
    zip_source_open(buffer);
    zip_source_seek(buffer, 0, SEEK_END);
    const zip_int64_t size = zip_source_tell(buffer);
    zip_source_seek(buffer, 0, SEEK_SET);
    QByteArray bytes(size, '\0');
    zip_source_read(buffer, bytes.data(), static_cast<zip_uint64_t>(size));
    zip_source_close(buffer);
    zip_source_free(buffer);
    zip_error_fini(&error);
    return bytes;
}

QByteArray makeXlsx(const QByteArray& sheetData, const QByteArray& sharedStrings, const QByteArray& styles,
                    const QByteArray& workbookPr) {
    const QByteArray ns = R"(xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")";
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    QByteArray rels =
        "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"" +
        rel + "/worksheet\" Target=\"worksheets/sheet1.xml\"/>";
    if (!sharedStrings.isEmpty()) {
        rels += "<Relationship Id=\"rId2\" Type=\"" + rel + "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
    }
    if (!styles.isEmpty()) {
        rels += "<Relationship Id=\"rId3\" Type=\"" + rel + "/styles\" Target=\"styles.xml\"/>";
    }
    rels += "</Relationships>";
    QList<std::pair<QString, QByteArray>> parts = {
        {QStringLiteral("_rels/.rels"),
         "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Type=\"" +
             rel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {QStringLiteral("xl/workbook.xml"),
         "<?xml version=\"1.0\"?><workbook " + ns + " xmlns:r=\"" + rel + "\">" + workbookPr +
             "<sheets><sheet name=\"Plan1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {QStringLiteral("xl/_rels/workbook.xml.rels"), rels},
        {QStringLiteral("xl/worksheets/sheet1.xml"),
         "<?xml version=\"1.0\"?><worksheet " + ns + "><sheetData>" + sheetData + "</sheetData></worksheet>"},
    };
    if (!sharedStrings.isEmpty()) {
        parts.append({QStringLiteral("xl/sharedStrings.xml"),
                      "<?xml version=\"1.0\"?><sst " + ns + ">" + sharedStrings + "</sst>"});
    }
    if (!styles.isEmpty()) {
        parts.append({QStringLiteral("xl/styles.xml"),
                      "<?xml version=\"1.0\"?><styleSheet " + ns + ">" + styles + "</styleSheet>"});
    }
    return makeZip(parts);
}

QByteArray runPython(const QString& script, const QStringList& arguments, QString* skipReason) {
    const QString python = QStringLiteral("/usr/bin/python3");
    if (!QFile::exists(python)) {
        *skipReason = QStringLiteral("/usr/bin/python3 not installed");
        return QByteArray();
    }
    QProcess process;
    process.start(python, QStringList{QStringLiteral("-c"), script} + arguments);
    process.waitForFinished(120000);
    const QByteArray errors = process.readAllStandardError();
    if (errors.contains("ModuleNotFoundError")) {
        *skipReason = QString::fromUtf8(errors.trimmed().split('\n').constLast());
        return QByteArray();
    }
    if (process.exitCode() != 0) {
        *skipReason = QString();
        return QByteArray("FAILED: ") + errors;
    }
    return process.readAllStandardOutput();
}

} // namespace ContactsTest
