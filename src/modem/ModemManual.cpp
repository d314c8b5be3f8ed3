#include "modem/ModemManual.h"

#include "store/AtomicFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

namespace ModemManual {

QString fileName() {
    return QStringLiteral("Manual_Configuração_Modem_VESTRAL_SMS.pdf");
}

namespace {
// Whether the file reads as a whole PDF: its header first, its end-of-file mark near its end (a
// file cut short by a full disk or a killed program has none).
bool readsAsPdf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 64 || !file.read(5).startsWith("%PDF-"))
        return false;
    file.seek(std::max<qint64>(0, file.size() - 1024));
    return file.readAll().contains("%%EOF");
}

bool render(const QString& html, const QString& path, QString* error) {
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setTitle(QStringLiteral("Manual de configuração do Modem GSM - VESTRAL SMS"));
        writer.setCreator(QStringLiteral("VESTRAL SMS"));
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter);
        writer.setResolution(300);
        QTextDocument doc;
        doc.setHtml(html);
        doc.print(&writer);
    }
    // Whole or not at all: a failed write keeps whatever was there and says why.
    AtomicFile file(path, 0644);
    if (!file.open() || !file.write(pdf.data()) || !file.commit()) {
        if (error)
            *error = file.errorString();
        qWarning("%s", qPrintable(file.errorString()));
        return false;
    }
    return true;
}
} // namespace

QString ensure(const QString& dir, QString* error) {
    const QString path = QDir(dir).filePath(fileName());
    if (readsAsPdf(path))
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
