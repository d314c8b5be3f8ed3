#include "history/HistoryReport.h"

#include <QFile>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocumentFragment>
#include <QTextLayout>

#include "store/Dataset.h"

namespace HistoryReport {
namespace {

constexpr double kTitleHeight = 26.5;
constexpr double kHeadingHeight = 9.0;
constexpr double kDetailHeight = 4.0;
constexpr double kWidth = 194.0; // A4 less the 8 mm side margins

QFont font(const QString& family, int points, bool bold = false, bool italic = false) {
    QFont f(family, points);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

// Draws in millimetres on a device measured in its own dots.
class Renderer {
public:
    Renderer(QPagedPaintDevice* device, const Options& options, int rows)
        : m_device(device), m_options(options), m_rows(rows), m_dots(device->logicalDpiX() / 25.4),
          m_pageHeight(device->pageLayout().paintRect(QPageLayout::Millimeter).height()) {}

    bool begin() { return m_painter.begin(m_device); }
    void end() { m_painter.end(); }
    int pages() const { return m_page; }

    void titleBand();
    void headingBand();
    void detailBand(const Dataset* history, int row);

private:
    QRectF mm(double x, double y, double w, double h) const { return {x * m_dots, y * m_dots, w * m_dots, h * m_dots}; }
    void line(double x1, double y1, double x2, double y2) {
        m_painter.drawLine(QPointF(x1 * m_dots, y1 * m_dots), QPointF(x2 * m_dots, y2 * m_dots));
    }
    void text(const QRectF& r, int flags, const QString& t) {
        m_painter.save();
        m_painter.setClipRect(r);
        m_painter.drawText(r, flags, t);
        m_painter.restore();
    }
    void room(double height) {
        if (m_y + height <= m_pageHeight + 0.001)
            return;
        m_device->newPage();
        ++m_page;
        m_y = 0;
    }
    QString cell(const Column& c, const Dataset* history, int row, const QFont& f);

    QPagedPaintDevice* m_device;
    Options m_options;
    int m_rows;
    double m_dots;
    double m_pageHeight;
    QPainter m_painter;
    double m_y = 0;
    int m_page = 1;
};

void Renderer::titleBand() {
    m_painter.setPen(QPen(Qt::black, 0.2 * m_dots));
    line(0, 0, kWidth, 0);
    line(0, 0, 0, kTitleHeight);
    line(kWidth, 0, kWidth, kTitleHeight);
    const QDateTime at = m_options.printedAt.isValid() ? m_options.printedAt : QDateTime::currentDateTime();
    m_painter.setFont(font("Times New Roman", 18, true));
    text(mm(0, 1, kWidth, 8.5), Qt::AlignCenter, m_options.empresa);
    m_painter.setFont(font("Arial", 10));
    text(mm(0, 10, kWidth, 5), Qt::AlignCenter, titleText(m_options.form));
    text(mm(0, 15, kWidth, 5), Qt::AlignCenter,
         "Data da Impressão: " + at.toString("dd/MM/yyyy") + " " + at.toString("HH:mm:ss"));
    text(mm(0, 20.5, kWidth, 5), Qt::AlignCenter, QStringLiteral("Total de Registros: %1").arg(m_rows));
    m_y = kTitleHeight;
}

void Renderer::headingBand() {
    room(kHeadingHeight);
    m_painter.setPen(QPen(Qt::black, 0.2 * m_dots));
    m_painter.drawRect(mm(0, m_y, kWidth, kHeadingHeight));
    m_painter.setFont(font("Arial", 10));
    text(mm(1.6, m_y + 0.5, 60, 4.5), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Página:%1").arg(m_page));
    QFont f = font("Arial", 7, true, true);
    f.setUnderline(true);
    m_painter.setFont(f);
    for (const Column& c : columns(m_options.form))
        text(mm(c.left, m_y + 5.2, c.width, 3.5), Qt::AlignLeft | Qt::AlignVCenter, c.title);
    m_y += kHeadingHeight;
}

QString Renderer::cell(const Column& c, const Dataset* history, int row, const QFont& f) {
    const QFontMetricsF fm(f, m_device);
    const double width = c.width * m_dots;
    if (c.field.isEmpty()) {
        const QVariant v = history->valueAt(row, history->fieldIndex("ENVIADO"));
        return clipToWidth(v.toLongLong() != 0 ? QStringLiteral("SIM") : QStringLiteral("NÃO"), fm, width);
    }
    const QVariant v = history->valueAt(row, history->fieldIndex(c.field));
    if (c.field == QLatin1String("DATA"))
        return clipToWidth(displayDateTime(v), fm, width);
    if (c.field != QLatin1String("MENSAGEM"))
        return clipToWidth(v.toString(), fm, width);
    // As many wrapped lines of the body as the row's height holds.
    const int lines = qMax(1, int((kDetailHeight - 0.4) * m_dots / fm.lineSpacing()));
    QTextLayout layout(plainBody(v.toString()), f, m_device);
    layout.beginLayout();
    QStringList out;
    for (int i = 0; i < lines; ++i) {
        QTextLine l = layout.createLine();
        if (!l.isValid())
            break;
        l.setLineWidth(width);
        out << clipToWidth(layout.text().mid(l.textStart(), l.textLength()).trimmed(), fm, width);
    }
    layout.endLayout();
    return out.join('\n');
}

void Renderer::detailBand(const Dataset* history, int row) {
    room(kDetailHeight);
    const QFont f = font("Arial", 6);
    m_painter.setFont(f);
    for (const Column& c : columns(m_options.form))
        text(mm(c.left, m_y, c.width, kDetailHeight), Qt::AlignLeft | Qt::AlignVCenter, cell(c, history, row, f));
    m_painter.setPen(QPen(Qt::black, 0.1 * m_dots));
    line(0, m_y + kDetailHeight, kWidth, m_y + kDetailHeight);
    m_y += kDetailHeight;
}

} // namespace

const QList<Column>& columns(Form form) {
    static const QList<Column> full{{"ID", "ID_HISTORICO", 1.6, 7.9},
                                    {"Data", "DATA", 9.8, 26.5},
                                    {"Destinatário", "DESTINATARIO", 36.8, 26.5},
                                    {"Tipo", "TIPO", 64.0, 10.6},
                                    {"Corpo", "MENSAGEM", 75.4, 106.1},
                                    {"Enviado", "", 182.0, 11.4}};
    static const QList<Column> summary{{"ID", "ID_HISTORICO", 1.6, 7.9},
                                       {"Data", "DATA", 9.8, 26.5},
                                       {"Destinatário", "DESTINATARIO", 36.8, 71.4},
                                       {"Tipo", "TIPO", 109.0, 10.6},
                                       {"Enviado", "", 120.1, 11.4}};
    return form == Form::Completo ? full : summary;
}

QString titleText(Form form) {
    return form == Form::Completo ? QStringLiteral("RELATÓRIO COMPLETO DO HISTÓRICO DE ENVIO VESTRAL SMS")
                                  : QStringLiteral("RELATÓRIO RESUMIDO DO HISTÓRICO DE ENVIO VESTRAL SMS");
}

QString displayDateTime(const QVariant& stored) {
    const QString s = stored.toString();
    const QDateTime dt = QDateTime::fromString(s.left(19), "yyyy-MM-dd HH:mm:ss");
    if (dt.isValid())
        return dt.toString("dd/MM/yyyy HH:mm:ss");
    const QDate d = QDate::fromString(s.left(10), "yyyy-MM-dd");
    return d.isValid() && s.size() == 10 ? d.toString("dd/MM/yyyy") : s;
}

QString plainBody(const QString& mensagem) {
    const QString text =
        Qt::mightBeRichText(mensagem) ? QTextDocumentFragment::fromHtml(mensagem).toPlainText() : mensagem;
    return text.simplified();
}

QString clipToWidth(const QString& text, const QFontMetricsF& metrics, double width) {
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    // Binary search on the length; advances grow with the number of characters.
    qsizetype lo = 0, hi = text.size();
    while (lo < hi) {
        const qsizetype mid = (lo + hi + 1) / 2;
        if (metrics.horizontalAdvance(text.left(mid)) <= width)
            lo = mid;
        else
            hi = mid - 1;
    }
    return text.left(lo);
}

int render(QPagedPaintDevice* device, const Dataset* history, const Options& options) {
    device->setPageLayout(
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(8, 6, 8, 10), QPageLayout::Millimeter));
    const int rows = history && history->isOpen() ? history->recordCount() : 0;
    Renderer r(device, options, rows);
    if (!r.begin())
        return 0;
    r.titleBand();
    r.headingBand();
    for (int i = 0; i < rows; ++i)
        r.detailBand(history, i);
    r.end();
    return r.pages();
}

bool writePdf(const QString& path, const Dataset* history, const Options& options, QString* error) {
    QPdfWriter pdf(path);
    pdf.setResolution(600);
    pdf.setTitle(titleText(options.form));
    pdf.setCreator(QStringLiteral("VESTRAL SMS"));
    if (render(&pdf, history, options) == 0) {
        if (error)
            *error = QStringLiteral("Não foi possível gravar o arquivo %1.").arg(path);
        return false;
    }
    return true;
}

} // namespace HistoryReport
