#include "contacts/XlsxReader.h"

#include "contacts/SpreadsheetText.h"
#include "contacts/XlsxArchive.h"
#include "contacts/XlsxSheetParser.h"

#include <QHash>
#include <QXmlStreamReader>

namespace {

constexpr qint64 MaxSmallPartSize = 64LL * 1024 * 1024; // relationships, workbook, styles

struct Relationship {
    QString type;
    QString target; // resolved part name
};

QString damaged(const QString& what) {
    return QStringLiteral("A planilha está danificada: %1").arg(what);
}

// "xl/_rels/workbook.xml.rels" for "xl/workbook.xml".
QString relationshipsPartOf(const QString& partName) {
    const qsizetype slash = partName.lastIndexOf(u'/');
    return partName.left(slash + 1) + QStringLiteral("_rels/") + partName.mid(slash + 1) + QStringLiteral(".rels");
}

// A relationship target taken relative to the folder of its source part, "." and ".." resolved.
QString resolveTarget(const QString& sourcePart, const QString& target) {
    QString path = target.startsWith(u'/') ? target.mid(1) : sourcePart.left(sourcePart.lastIndexOf(u'/') + 1) + target;
    QStringList kept;
    for (const QString& piece : path.split(u'/', Qt::SkipEmptyParts)) {
        if (piece == u"..") {
            if (!kept.isEmpty()) {
                kept.removeLast();
            }
        } else if (piece != u".") {
            kept.append(piece);
        }
    }
    return kept.join(u'/');
}

// Relationships of a part, in document order, by id.
QList<std::pair<QString, Relationship>> parseRelationships(const QByteArray& xml, const QString& sourcePart) {
    QList<std::pair<QString, Relationship>> result;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd() && !reader.hasError()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != u"Relationship") {
            continue;
        }
        const QXmlStreamAttributes attributes = reader.attributes();
        if (attributes.value(QLatin1String("TargetMode")) == u"External") {
            continue;
        }
        Relationship relationship{attributes.value(QLatin1String("Type")).toString(),
                                  resolveTarget(sourcePart, attributes.value(QLatin1String("Target")).toString())};
        result.append({attributes.value(QLatin1String("Id")).toString(), relationship});
    }
    return result;
}

QString localAttribute(const QXmlStreamReader& reader, QStringView localName) {
    for (const QXmlStreamAttribute& attribute : reader.attributes()) {
        if (attribute.name() == localName) {
            return attribute.value().toString();
        }
    }
    return QString();
}

// What the workbook part says: the first worksheet's relationship id and the date system.
struct WorkbookInfo {
    QStringList sheetIds;
    bool date1904 = false;
};

WorkbookInfo parseWorkbook(const QByteArray& xml) {
    WorkbookInfo info;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd() && !reader.hasError()) {
        if (reader.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (reader.name() == u"workbookPr") {
            const QString value = localAttribute(reader, u"date1904");
            info.date1904 = value == u"1" || value == u"true";
        } else if (reader.name() == u"sheet") {
            info.sheetIds.append(localAttribute(reader, u"id"));
        }
    }
    return info;
}

// For each cell format (the s attribute of a cell): whether it shows dates or times.
QList<bool> parseDateStyles(const QByteArray& xml) {
    QHash<int, QString> customFormats;
    QList<bool> dateStyles;
    QXmlStreamReader reader(xml);
    bool inCellXfs = false;
    while (!reader.atEnd() && !reader.hasError()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement && reader.name() == u"cellXfs") {
            inCellXfs = false;
        }
        if (token != QXmlStreamReader::StartElement) {
            continue;
        }
        const QXmlStreamAttributes attributes = reader.attributes();
        if (reader.name() == u"numFmt") {
            customFormats.insert(attributes.value(QLatin1String("numFmtId")).toInt(),
                                 attributes.value(QLatin1String("formatCode")).toString());
        } else if (reader.name() == u"cellXfs") {
            inCellXfs = true;
        } else if (inCellXfs && reader.name() == u"xf") {
            const int id = attributes.value(QLatin1String("numFmtId")).toInt();
            const auto custom = customFormats.constFind(id);
            dateStyles.append(custom != customFormats.cend() ? SpreadsheetText::isDateFormat(*custom)
                                                             : SpreadsheetText::isBuiltInDateFormat(id));
        }
    }
    return dateStyles;
}

// Finds the first worksheet and the workbook-wide parts, then streams the sheet.
SpreadsheetData readArchive(XlsxArchive& archive, const SpreadsheetProgress& progress) {
    SpreadsheetData data;
    QString workbookPart = QStringLiteral("xl/workbook.xml");
    if (archive.contains(QStringLiteral("_rels/.rels"))) {
        for (const auto& [id, rel] :
             parseRelationships(archive.readAll(QStringLiteral("_rels/.rels"), MaxSmallPartSize), QString())) {
            if (rel.type.endsWith(QStringLiteral("/officeDocument"))) {
                workbookPart = rel.target;
                break;
            }
        }
    }
    const QByteArray workbookXml = archive.readAll(workbookPart, MaxSmallPartSize);
    if (workbookXml.isEmpty()) {
        data.error = archive.errorString().isEmpty() ? damaged(QStringLiteral("pasta de trabalho vazia."))
                                                     : archive.errorString();
        return data;
    }
    const WorkbookInfo workbook = parseWorkbook(workbookXml);
    const auto relationships =
        parseRelationships(archive.readAll(relationshipsPartOf(workbookPart), MaxSmallPartSize), workbookPart);
    QString sheetPart;
    QString stringsPart;
    QString stylesPart;
    for (const auto& [id, rel] : relationships) {
        if (rel.type.endsWith(QStringLiteral("/sharedStrings"))) {
            stringsPart = rel.target;
        } else if (rel.type.endsWith(QStringLiteral("/styles"))) {
            stylesPart = rel.target;
        }
    }
    for (const QString& sheetId : workbook.sheetIds) {
        for (const auto& [id, rel] : relationships) {
            if (id == sheetId && rel.type.endsWith(QStringLiteral("/worksheet")) && sheetPart.isEmpty()) {
                sheetPart = rel.target;
            }
        }
    }
    if (sheetPart.isEmpty()) {
        data.error = QStringLiteral("A pasta de trabalho não tem planilhas.");
        return data;
    }
    XlsxSheetParser parser(workbook.date1904, progress);
    if (!stylesPart.isEmpty() && archive.contains(stylesPart)) {
        parser.setDateStyles(parseDateStyles(archive.readAll(stylesPart, MaxSmallPartSize)));
    }
    // The sheet first: it says which shared strings are worth keeping.
    std::unique_ptr<QIODevice> sheet = archive.openPart(sheetPart, XlsxReader::MaxPartSize);
    if (!sheet) {
        data.error = archive.errorString();
        return data;
    }
    parser.readSheet(*sheet, data);
    if (!data.ok() || stringsPart.isEmpty() || !archive.contains(stringsPart)) {
        return data;
    }
    std::unique_ptr<QIODevice> strings = archive.openPart(stringsPart, XlsxReader::MaxPartSize);
    if (!strings) {
        data.error = archive.errorString();
    } else {
        parser.readSharedStrings(*strings, data);
    }
    if (!data.error.isEmpty()) {
        data.rows.clear();
    }
    return data;
}

} // namespace

SpreadsheetData XlsxReader::read(const QString& path, const SpreadsheetProgress& progress) {
    XlsxArchive archive;
    if (!archive.openFile(path)) {
        SpreadsheetData data;
        data.error = archive.errorString();
        return data;
    }
    return readArchive(archive, progress);
}

SpreadsheetData XlsxReader::readBytes(const QByteArray& bytes, const SpreadsheetProgress& progress) {
    XlsxArchive archive;
    if (!archive.openBytes(bytes)) {
        SpreadsheetData data;
        data.error = archive.errorString();
        return data;
    }
    return readArchive(archive, progress);
}
