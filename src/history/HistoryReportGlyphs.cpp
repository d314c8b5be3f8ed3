#include "history/HistoryReportGlyphs.h"

#include <QFont>
#include <QGlyphRun>
#include <QPaintDevice>
#include <QPainter>

HistoryReportGlyphs::HistoryReportGlyphs(const QFont& font, QPaintDevice* device)
    : m_raw(QRawFont::fromFont(QFont(font, device))) {}

const HistoryReportGlyphs::Glyph* HistoryReportGlyphs::glyph(QChar c) {
    if (c.unicode() >= kTableSize)
        return nullptr;
    Glyph& g = m_table[c.unicode()];
    if (!g.looked) {
        g.looked = true;
        const QList<quint32> indexes = m_raw.isValid() ? m_raw.glyphIndexesForString(QString(c)) : QList<quint32>{};
        if (indexes.size() == 1 && indexes[0] != 0 && c.isPrint()) {
            const QList<QPointF> advances = m_raw.advancesForGlyphIndexes(indexes);
            g.index = indexes[0];
            g.advance = advances.value(0).x();
            g.usable = true;
        }
    }
    return g.usable ? &g : nullptr;
}

bool HistoryReportGlyphs::draw(QPainter& painter, const QPointF& origin, const QString& text, double width) {
    m_indexes.clear();
    m_positions.clear();
    double x = 0;
    for (QChar c : text) {
        const Glyph* g = glyph(c);
        if (!g)
            return false;
        if (x + g->advance > width + 1e-6)
            break;
        m_indexes.append(g->index);
        m_positions.append(QPointF(x, 0));
        x += g->advance;
    }
    if (m_indexes.isEmpty())
        return true;
    QGlyphRun run;
    run.setRawFont(m_raw);
    run.setGlyphIndexes(m_indexes);
    run.setPositions(m_positions);
    painter.drawGlyphRun(origin, run);
    return true;
}
