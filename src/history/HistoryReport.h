#pragma once

#include <QDateTime>
#include <QList>
#include <QPageLayout>
#include <QSqlDatabase>
#include <QString>
#include <functional>

#include "history/HistorySearch.h"

class QFont;
class QFontMetricsF;
class QPagedPaintDevice;

// The printed history report, "Completo" (with the message text) or "Resumido": an A4 page with a
// title band on page 1, a heading band once above the first row, and one detail band per row of
// the history search, in its order. Positions are millimetres from the left edge of the printable
// area. Pages are drawn while the rows are read, a page of rows at a time, so memory stays bounded
// whatever the row count.
namespace HistoryReport {

class Reader;

enum class Form { Completo = 0, Resumido = 1 };

struct Column {
    QString title;
    QString field; // "" for "Enviado", drawn "SIM" / "NÃO"
    double left;
    double width;
};
const QList<Column>& columns(Form form);
// The columns as printed: the ID column widened to hold `widestId` in the detail font (it never
// narrows), the columns right of it moved along, and the full report's "Corpo" narrowed by as much,
// so the row still fits the page.
QList<Column> fittedColumns(Form form, const QFontMetricsF& detailFont, double dotsPerMm, qint64 widestId);

// Called after each page is finished (pages so far, rows so far); false cancels the report.
using Progress = std::function<bool(int pages, int rows)>;

struct Options {
    Form form = Form::Resumido;
    QString empresa;     // `EMPRESA` of the settings row
    QDateTime printedAt; // "Data da Impressão:"; now when invalid
    Progress progress;   // optional
};

// The report prints with the Liberation fonts the package depends on, metric-compatible with Arial and
// Times New Roman and named exactly, so that it lays out alike on every machine whatever other fonts the
// machine offers under those names. loadFonts() registers the installed files when the font configuration
// does not list them (once; false, with a warning, when they are missing).
inline constexpr const char* kSans = "Liberation Sans";
inline constexpr const char* kSerif = "Liberation Serif";
bool loadFonts();
// The sans face at `points`, as the report's cells use it.
QFont sansFont(int points);

QString titleText(Form form);
// The date and time as the report and the grid show them: "dd/MM/yyyy HH:mm:ss".
QString displayDateTime(const QVariant& stored);
// A message body as printed: HTML bodies as their text, every line break as a blank.
QString plainBody(const QString& mensagem);
// The longest beginning of `text` that fits in `width` (cut at the column's right edge).
QString clipToWidth(const QString& text, const QFontMetricsF& metrics, double width);
// The lines of `text` in a cell `width` wide holding `lines` lines: words wrap at blanks, a word wider
// than the cell is broken at the cell's width, and the last line is cut at the cell's right edge.
QStringList cellLines(const QString& text, const QFontMetricsF& metrics, double width, int lines);

struct Outcome {
    int pages = 0; // 0 when nothing could be drawn
    int rows = 0;
    bool cancelled = false;
    QString error; // a failed read, or the device that cannot be painted on
};

// Lays the report out on the device (page size and margins are set here), reading the rows of the
// search through `reader`, which must not have been started.
// A4, upright, margins of 8 mm at the sides, 6 mm above and 10 mm below. A PDF places the printable area
// at whole points (QPageLayout::paintRectPoints()), a fraction of a millimetre off the margins.
QPageLayout pageLayout();
Outcome render(QPagedPaintDevice* device, Reader& reader, const Options& options);
// The search over `db` rendered as a PDF file, through AtomicFile: written under a temporary name beside
// it, every write, the flush and the close checked, and only then renamed over `path`. On any failure
// (a full disk, a folder that cannot be written, a cancel) the old file stays as it was. False with
// *error (Portuguese, the system's reason after it).
bool writePdf(const QString& path, const QSqlDatabase& db, const HistorySearch::Filter& filter, const Options& options,
              QString* error);

} // namespace HistoryReport
