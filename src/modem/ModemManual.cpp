#include "modem/ModemManual.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

namespace ModemManual {

QString fileName() {
    return QStringLiteral("Manual_Configuração_Modem_VESTRAL_SMS.pdf");
}

namespace {
bool render(const QString& html, const QString& path, QString* error) {
    // Written beside the target first, so a failed run leaves no half manual behind.
    const QString partial = path + QStringLiteral(".part");
    {
        QPdfWriter writer(partial);
        writer.setTitle(QStringLiteral("Manual de configuração do Modem GSM - VESTRAL SMS"));
        writer.setCreator(QStringLiteral("VESTRAL SMS"));
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter);
        writer.setResolution(300);
        QTextDocument doc;
        doc.setHtml(html);
        doc.print(&writer);
    }
    QFile::remove(path);
    if (QFileInfo(partial).size() <= 0 || !QFile::rename(partial, path)) {
        QFile::remove(partial);
        if (error)
            *error = QStringLiteral("Não foi possível gravar o manual em %1").arg(path);
        return false;
    }
    return true;
}
} // namespace

QString ensure(const QString& dir, QString* error) {
    const QString path = QDir(dir).filePath(fileName());
    if (QFileInfo::exists(path))
        return path;
    QFile source(QStringLiteral(":/modem/manual/Manual.html"));
    if (!source.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("O texto do manual não está no programa.");
        return {};
    }
    return render(QString::fromUtf8(source.readAll()), path, error) ? path : QString();
}

} // namespace ModemManual
