#include "contacts/SpreadsheetWriter.h"

#include "contacts/XlsWriter.h"
#include "contacts/XlsxWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

SpreadsheetWriteResult SpreadsheetWriter::write(const QString& path, const QList<QStringList>& rows,
                                                const SpreadsheetProgress& progress) {
    SpreadsheetWriteResult result;
    const QFileInfo target(path);
    const QString suffix = target.suffix().toLower();
    if (suffix != u"xls" && suffix != u"xlsx") {
        result.error = QStringLiteral("Formato de planilha não suportado: \"%1\" (use .xls ou .xlsx).").arg(path);
        return result;
    }
    // A temporary file beside the target, so that the final rename stays on one file system.
    QTemporaryFile temporary(target.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(target.fileName())));
    if (!temporary.open()) {
        result.error =
            QStringLiteral("Não foi possível gravar a planilha \"%1\": %2").arg(path, temporary.errorString());
        return result;
    }
    temporary.close();
    result = suffix == u"xls" ? XlsWriter::write(temporary.fileName(), rows, progress)
                              : XlsxWriter::write(temporary.fileName(), rows, progress);
    if (!result.ok()) {
        return result; // the temporary file goes with its object
    }
    QFile::setPermissions(temporary.fileName(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                                    QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther);
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(), QFile::encodeName(path).constData()) != 0) {
        result.error = QStringLiteral("Não foi possível gravar a planilha \"%1\": %2")
                           .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    }
    return result;
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
