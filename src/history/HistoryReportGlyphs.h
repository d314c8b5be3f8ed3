#pragma once

#include <QList>
#include <QPointF>
#include <QRawFont>
#include <QString>
#include <array>

class QFont;
class QPaintDevice;
class QPainter;

// The glyphs of one font looked up once per character, so that cells of plain Latin text are cut to their
// column and drawn as glyph runs without shaping each string again: a report over a million rows draws
// millions of cells, and shaping was most of its time. Text holding a character outside the Latin blocks,
// or one the font lacks, is left to the painter's own text drawing (font fallback, shaping).
class HistoryReportGlyphs {
public:
    HistoryReportGlyphs(const QFont& font, QPaintDevice* device);

    // Draws the longest beginning of `text` that fits in `width`, its baseline starting at `origin`.
    // False, drawing nothing, when the text needs the painter's own text drawing.
    bool draw(QPainter& painter, const QPointF& origin, const QString& text, double width);

private:
    struct Glyph {
        quint32 index = 0;
        double advance = 0;
        bool looked = false;
        bool usable = false;
    };
    static constexpr char16_t kTableSize = 0x250; // Basic Latin to Latin Extended-B
    const Glyph* glyph(QChar c);

    QRawFont m_raw;
    std::array<Glyph, kTableSize> m_table{};
    QList<quint32> m_indexes;
    QList<QPointF> m_positions;
};
