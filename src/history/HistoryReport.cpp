#include "history/HistoryReport.h"

#include <QDebug>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QIODevice>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocumentFragment>

#include "history/HistoryReportGlyphs.h"
#include "history/HistoryReportReader.h"
#include "store/AtomicFile.h"
#include "store/TimeText.h"

namespace HistoryReport {
namespace {

constexpr double kTitleHeight = 26.5;
constexpr double kHeadingHeight = 9.0;
constexpr double kDetailHeight = 4.0;
constexpr double kWidth = 194.0; // A4 less the 8 mm side margins
// Kept clear before the next column: a text cut at its cell stops at least this far from the text beside it.
constexpr double kCellGap = 0.8;

// The installed Liberation files (fonts-liberation2), registered with the program when the machine's font
// configuration does not list them.
constexpr const char* kLiberationDir = "/usr/share/fonts/truetype/liberation2";
constexpr const char* kLiberationFiles[] = {
    "LiberationSans-Regular.ttf",    "LiberationSans-Bold.ttf",     "LiberationSans-Italic.ttf",
    "LiberationSans-BoldItalic.ttf", "LiberationSerif-Regular.ttf", "LiberationSerif-Bold.ttf",
};

QFont font(const QString& family, int points, bool bold = false, bool italic = false) {
    loadFonts();
    QFont f(family, points);
    f.setBold(bold);
    f.setItalic(italic);
    // The faces' own advances, not ones fitted to a pixel grid by the machine's hinting settings: the cells
    // are cut by the same widths the printed page uses, on every machine.
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

// The PDF writer writes to a device: this one hands its bytes to an AtomicFile in blocks of 64 kB, and
// refuses every write after the first that failed.
class AtomicDevice : public QIODevice {
public:
    explicit AtomicDevice(AtomicFile* file) : m_file(file) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }
    bool flushBuffer() {
        if (m_ok && !m_buffer.isEmpty())
            m_ok = m_file->write(m_buffer);
        m_buffer.clear();
        return m_ok;
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override {
        if (!m_ok)
            return -1;
        m_buffer.append(data, len);
        if (m_buffer.size() >= kBlock && !flushBuffer())
            return -1;
        return len;
    }

private:
    static constexpr qsizetype kBlock = 64 * 1024;
    AtomicFile* m_file;
    QByteArray m_buffer;
    bool m_ok = true;
};

// Draws in millimetres on a device measured in its own dots.
class Renderer {
public:
    Renderer(QPagedPaintDevice* device, const Options& options, int rows, qint64 maxId)
        : m_device(device), m_options(options), m_rows(rows), m_dots(device->logicalDpiX() / 25.4),
          m_pageHeight(device->pageLayout().paintRect(QPageLayout::Millimeter).height()), m_detailFont(font(kSans, 6)),
          m_detail(m_detailFont, device), m_columns(fittedColumns(options.form, m_detail, m_dots, maxId)),
          m_glyphs(m_detailFont, device), m_textWidths(textWidths()) {
        const double h = kDetailHeight * m_dots;
        m_detailBaseline = (h - (m_detail.ascent() + m_detail.descent())) / 2 + m_detail.ascent();
        m_bodyLines = qMax(1, int((kDetailHeight - 0.4) * m_dots / m_detail.lineSpacing()));
    }

    bool begin() { return m_painter.begin(m_device); }
    void end() { m_painter.end(); }
    int pages() const { return m_page; }
    bool cancelled() const { return m_cancelled; }
    // Reports the last page as finished.
    void finish() {
        if (m_options.progress && !m_cancelled)
            m_cancelled = !m_options.progress(m_page, m_printed);
    }

    void titleBand();
    void headingBand();
    // False when the operator cancelled at a page break.
    bool detailBand(const Row& row);

private:
    QRectF mm(double x, double y, double w, double h) const { return {x * m_dots, y * m_dots, w * m_dots, h * m_dots}; }
    // Dots each column's text may take: its width, ending at least the gap before the next column (or the edge).
    QList<double> textWidths() const {
        QList<double> out;
        for (qsizetype i = 0; i < m_columns.size(); ++i) {
            const double next = i + 1 < m_columns.size() ? m_columns[i + 1].left : kWidth;
            out << qMax(0.0, qMin(m_columns[i].width, next - kCellGap - m_columns[i].left)) * m_dots;
        }
        return out;
    }
    void line(double x1, double y1, double x2, double y2) {
        m_painter.drawLine(QPointF(x1 * m_dots, y1 * m_dots), QPointF(x2 * m_dots, y2 * m_dots));
    }
    void text(const QRectF& r, int flags, const QString& t) {
        m_painter.save();
        m_painter.setClipRect(r);
        m_painter.drawText(r, flags, t);
        m_painter.restore();
    }
    bool room(double height) {
        if (m_y + height <= m_pageHeight + 0.001)
            return true;
        if (m_options.progress && !m_options.progress(m_page, m_printed)) {
            m_cancelled = true;
            return false;
        }
        m_device->newPage();
        ++m_page;
        m_y = 0;
        return true;
    }
    QString cell(const Column& c, double width, const Row& row) const;

    QPagedPaintDevice* m_device;
    Options m_options;
    int m_rows;
    double m_dots;
    double m_pageHeight;
    QFont m_detailFont;
    QFontMetricsF m_detail;
    QList<Column> m_columns;
    double m_detailBaseline = 0;
    int m_bodyLines = 1;
    HistoryReportGlyphs m_glyphs;
    QList<double> m_textWidths;
    QPainter m_painter;
    double m_y = 0;
    int m_page = 1;
    int m_printed = 0;
    bool m_cancelled = false;
};

void Renderer::titleBand() {
    m_painter.setPen(QPen(Qt::black, 0.2 * m_dots));
    line(0, 0, kWidth, 0);
    line(0, 0, 0, kTitleHeight);
    line(kWidth, 0, kWidth, kTitleHeight);
    const QDateTime at = m_options.printedAt.isValid() ? m_options.printedAt : QDateTime::currentDateTime();
    m_painter.setFont(font(kSerif, 18, true));
    text(mm(0, 1, kWidth, 8.5), Qt::AlignCenter, m_options.empresa);
    m_painter.setFont(font(kSans, 10));
    text(mm(0, 10, kWidth, 5), Qt::AlignCenter, titleText(m_options.form));
    text(mm(0, 15, kWidth, 5), Qt::AlignCenter, "Data da Impressão: " + TimeText::stampShown(at));
    text(mm(0, 20.5, kWidth, 5), Qt::AlignCenter, QStringLiteral("Total de Registros: %1").arg(m_rows));
    m_y = kTitleHeight;
}

void Renderer::headingBand() {
    room(kHeadingHeight);
    m_painter.setPen(QPen(Qt::black, 0.2 * m_dots));
    m_painter.drawRect(mm(0, m_y, kWidth, kHeadingHeight));
    m_painter.setFont(font(kSans, 10));
    text(mm(1.6, m_y + 0.5, 60, 4.5), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Página:%1").arg(m_page));
    QFont f = font(kSans, 7, true, true);
    f.setUnderline(true);
    m_painter.setFont(f);
    for (const Column& c : std::as_const(m_columns))
        text(mm(c.left, m_y + 5.2, c.width, 3.5), Qt::AlignLeft | Qt::AlignVCenter, c.title);
    m_y += kHeadingHeight;
}

// The cell's text before it is cut to its column; the body as the lines it shows.
QString Renderer::cell(const Column& c, double width, const Row& row) const {
    if (c.field.isEmpty())
        return row.enviado ? QStringLiteral("SIM") : QStringLiteral("NÃO");
    if (c.field == QLatin1String("ID_HISTORICO"))
        return QString::number(row.id);
    if (c.field == QLatin1String("DATA"))
        return displayDateTime(row.data);
    if (c.field == QLatin1String("DESTINATARIO"))
        return row.destinatario;
    if (c.field == QLatin1String("TIPO"))
        return row.tipo;
    if (c.field == QLatin1String("ENTREGUE"))
        return row.entregue.isEmpty() ? QString() : displayDateTime(row.entregue);
    if (c.field == QLatin1String("STATUS_ENTREGA"))
        return row.statusEntrega;
    const QString body = plainBody(row.mensagem);
    return m_bodyLines == 1 ? body : cellLines(body, m_detail, width, m_bodyLines).join(u'\n');
}

bool Renderer::detailBand(const Row& row) {
    if (!room(kDetailHeight))
        return false;
    m_painter.setFont(m_detailFont);
    m_painter.setPen(QPen(Qt::black, 0.1 * m_dots));
    const double top = m_y * m_dots;
    for (qsizetype i = 0; i < m_columns.size(); ++i) {
        const Column& c = m_columns[i];
        const double width = m_textWidths[i];
        const QString t = cell(c, width, row);
        const QPointF origin(c.left * m_dots, top + m_detailBaseline);
        if (t.contains(u'\n'))
            m_painter.drawText(QRectF(c.left * m_dots, top, width, kDetailHeight * m_dots),
                               Qt::AlignLeft | Qt::AlignVCenter, t);
        else if (!t.isEmpty() && !m_glyphs.draw(m_painter, origin, t, width))
            m_painter.drawText(origin, clipToWidth(t, m_detail, width)); // cut here: the device clips nothing
    }
    line(0, m_y + kDetailHeight, kWidth, m_y + kDetailHeight);
    m_y += kDetailHeight;
    ++m_printed;
    return true;
}

} // namespace

const QList<Column>& columns(Form form) {
    static const QList<Column> full{{"ID", "ID_HISTORICO", 1.6, 7.9},
                                    {"Data", "DATA", 9.8, 26.5},
                                    {"Destinatário", "DESTINATARIO", 36.8, 26.5},
                                    {"Tipo", "TIPO", 64.0, 10.6},
                                    {"Corpo", "MENSAGEM", 75.4, 52.0},
                                    {"Entregue", "ENTREGUE", 127.6, 24.0},
                                    {"Entrega", "STATUS_ENTREGA", 151.8, 30.0},
                                    {"Enviado", "", 182.0, 11.4}};
    static const QList<Column> summary{{"ID", "ID_HISTORICO", 1.6, 7.9},
                                       {"Data", "DATA", 9.8, 26.5},
                                       {"Destinatário", "DESTINATARIO", 36.8, 71.4},
                                       {"Tipo", "TIPO", 109.0, 10.6},
                                       {"Enviado", "", 120.1, 11.4}};
    return form == Form::Completo ? full : summary;
}

bool loadFonts() {
    static const bool loaded = [] {
        const QStringList known = QFontDatabase::families();
        if (known.contains(QLatin1String(kSans)) && known.contains(QLatin1String(kSerif)))
            return true;
        bool ok = true;
        for (const char* file : kLiberationFiles) {
            const QString path = QLatin1String(kLiberationDir) + QLatin1Char('/') + QLatin1String(file);
            if (QFontDatabase::addApplicationFont(path) < 0) {
                qWarning().noquote()
                    << QStringLiteral("Fonte do relatório não encontrada: %1 (pacote fonts-liberation2)").arg(path);
                ok = false;
            }
        }
        return ok;
    }();
    return loaded;
}

QFont sansFont(int points) {
    return font(kSans, points);
}

QString titleText(Form form) {
    return form == Form::Completo ? QStringLiteral("RELATÓRIO COMPLETO DO HISTÓRICO DE ENVIO VESTRAL SMS")
                                  : QStringLiteral("RELATÓRIO RESUMIDO DO HISTÓRICO DE ENVIO VESTRAL SMS");
}

QString displayDateTime(const QVariant& stored) {
    return TimeText::storedStampShown(stored.toString());
}

QString plainBody(const QString& mensagem) {
    const QString text =
        Qt::mightBeRichText(mensagem) ? QTextDocumentFragment::fromHtml(mensagem).toPlainText() : mensagem;
    return text.simplified();
}

QString clipToWidth(const QString& text, const QFontMetricsF& metrics, double width) {
    // No glyph is narrower than a fraction of the average: longer text is cut before it is measured, so a
    // body of thousands of characters costs what a line costs.
    const double narrowest = qMax(0.01, metrics.averageCharWidth() / 8);
    const qsizetype cap = qsizetype(qMin<double>(double(text.size()), width / narrowest + 2));
    const QString head = text.left(cap);
    if (metrics.horizontalAdvance(head) <= width && cap == text.size())
        return text;
    // Binary search on the length; advances grow with the number of characters.
    qsizetype lo = 0, hi = head.size();
    while (lo < hi) {
        const qsizetype mid = (lo + hi + 1) / 2;
        if (metrics.horizontalAdvance(head.left(mid)) <= width)
            lo = mid;
        else
            hi = mid - 1;
    }
    return head.left(lo);
}

QStringList cellLines(const QString& text, const QFontMetricsF& metrics, double width, int lines) {
    QStringList out;
    QStringView rest(text);
    for (int i = 0; i < lines; ++i) {
        rest = rest.trimmed();
        if (rest.isEmpty())
            break;
        const QString fit = clipToWidth(rest.toString(), metrics, width);
        if (i == lines - 1 || fit.size() == rest.size() || fit.isEmpty()) {
            out << fit;
            break;
        }
        // Wrap at the last blank that fits; a word wider than the cell is broken where the cell ends.
        const qsizetype blank = rest[fit.size()].isSpace() ? fit.size() : fit.lastIndexOf(u' ');
        const qsizetype take = blank > 0 ? blank : fit.size();
        out << fit.left(take);
        rest = rest.mid(take);
    }
    return out;
}

QList<Column> fittedColumns(Form form, const QFontMetricsF& detailFont, double dotsPerMm, qint64 widestId) {
    QList<Column> out = columns(form);
    const double needed = detailFont.horizontalAdvance(QString::number(qMax<qint64>(widestId, 0))) / dotsPerMm;
    const double extra = qMax(0.0, needed + kCellGap - out[0].width);
    if (extra <= 0)
        return out;
    out[0].width += extra;
    for (qsizetype i = 1; i < out.size(); ++i) {
        out[i].left += extra;
        if (out[i].field == QLatin1String("MENSAGEM")) {
            out[i].width -= extra; // the columns right of the body stay where they are
            break;
        }
    }
    return out;
}

QPageLayout pageLayout() {
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(8, 6, 8, 10),
                       QPageLayout::Millimeter);
}

Outcome render(QPagedPaintDevice* device, Reader& reader, const Options& options) {
    Outcome outcome;
    device->setPageLayout(pageLayout());
    if (!reader.start()) {
        outcome.error = reader.error();
        return outcome;
    }
    Renderer r(device, options, reader.total(), reader.maxId());
    if (!r.begin()) {
        outcome.error = QStringLiteral("Não foi possível desenhar o relatório.");
        return outcome;
    }
    r.titleBand();
    r.headingBand();
    QList<Row> page;
    bool ok = true;
    while ((ok = reader.next(&page)) && !page.isEmpty()) {
        for (const Row& row : std::as_const(page)) {
            if (!r.detailBand(row))
                break;
            ++outcome.rows;
        }
        if (r.cancelled())
            break;
    }
    r.finish();
    r.end();
    outcome.pages = r.pages();
    outcome.cancelled = r.cancelled();
    if (!ok)
        outcome.error = reader.error();
    return outcome;
}

bool writePdf(const QString& path, const QSqlDatabase& db, const HistorySearch::Filter& filter, const Options& options,
              QString* error) {
    AtomicFile file(path);
    const auto fail = [&](const QString& text) {
        file.discard();
        if (error)
            *error = text;
        return false;
    };
    if (!file.open())
        return fail(file.errorString());
    Outcome outcome;
    AtomicDevice device(&file);
    {
        QPdfWriter pdf(&device);
        pdf.setResolution(600);
        pdf.setTitle(titleText(options.form));
        pdf.setCreator(QStringLiteral("VESTRAL SMS"));
        Reader reader(db, filter, options.form == Form::Completo);
        outcome = render(&pdf, reader, options);
    } // the writer finishes the file here
    if (outcome.cancelled || outcome.pages == 0 || !outcome.error.isEmpty()) {
        const QString why = outcome.cancelled ? QStringLiteral("relatório cancelado") : outcome.error;
        return fail(QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2").arg(path, why));
    }
    if (!device.flushBuffer() || !file.commit())
        return fail(file.errorString());
    return true;
}

} // namespace HistoryReport
