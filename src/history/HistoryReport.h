#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

class Dataset;
class QFontMetricsF;
class QPagedPaintDevice;

// The printed history report, "Completo" (with the message text) or "Resumido": an A4 page with a
// title band on page 1, a heading band once above the first row, and one detail band per row of
// the history result set, in its current order. Positions are millimetres from the left edge of
// the printable area.
namespace HistoryReport {

enum class Form { Completo = 0, Resumido = 1 };

struct Column {
    QString title;
    QString field; // "" for "Enviado", drawn "SIM" / "NÃO"
    double left;
    double width;
};
const QList<Column>& columns(Form form);

struct Options {
    Form form = Form::Resumido;
    QString empresa;     // `EMPRESA` of the settings row
    QDateTime printedAt; // "Data da Impressão:"; now when invalid
};

QString titleText(Form form);
// The date and time as the report and the grid show them: "dd/MM/yyyy HH:mm:ss".
QString displayDateTime(const QVariant& stored);
// A message body as printed: HTML bodies as their text, every line break as a blank.
QString plainBody(const QString& mensagem);
// The longest beginning of `text` that fits in `width` (cut at the column's right edge).
QString clipToWidth(const QString& text, const QFontMetricsF& metrics, double width);

// Lays the report out on the device (page size and margins are set here). Returns the number of
// pages drawn, 0 when the device cannot be painted on.
int render(QPagedPaintDevice* device, const Dataset* history, const Options& options);
// Writes the report to a PDF file; false with *error when the file cannot be written.
bool writePdf(const QString& path, const Dataset* history, const Options& options, QString* error);

} // namespace HistoryReport
