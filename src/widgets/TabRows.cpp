#include "widgets/TabRows.h"

#include <QFontMetrics>
#include <QPushButton>
#include <QResizeEvent>
#include <QTabBar>

namespace {
constexpr int kTabHeight = 24;
}

TabRows::TabRows(QTabWidget* pages, int tabWidth, QWidget* parent)
    : QWidget(parent), m_pages(pages), m_tabWidth(tabWidth) {
    pages->tabBar()->hide();
    m_group.setExclusive(true);
    connect(&m_group, &QButtonGroup::idClicked, pages, &QTabWidget::setCurrentIndex);
    connect(pages, &QTabWidget::currentChanged, this, [this](int i) {
        if (QAbstractButton* b = m_group.button(i))
            b->setChecked(true);
    });
    setStyleSheet("QPushButton { border: 1px solid #a0a0a0; border-bottom: none; border-top-left-radius: 4px;"
                  " border-top-right-radius: 4px; background: #e8e8e8; padding: 2px; }"
                  "QPushButton:checked { background: white; font-weight: bold; }");
    rebuild();
}

void TabRows::rebuild() {
    qDeleteAll(m_buttons);
    m_buttons.clear();
    for (int i = 0; i < m_pages->count(); ++i) {
        auto* b = new QPushButton(m_pages->tabText(i), this);
        b->setCheckable(true);
        b->setFixedSize(m_tabWidth, kTabHeight);
        b->setFocusPolicy(Qt::NoFocus);
        m_group.addButton(b, i);
        m_buttons << b;
        b->show();
    }
    if (QAbstractButton* cur = m_group.button(m_pages->currentIndex()))
        cur->setChecked(true);
    layoutButtons();
}

QList<int> TabRows::captionWidths() const {
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    QList<int> widths;
    for (const QAbstractButton* b : m_buttons)
        widths << metrics.horizontalAdvance(b->text()) + 16; // the style's padding and border, with room to spare
    return widths;
}

QList<QList<int>> TabRows::flowRows(const QList<int>& widths) const {
    // As many tabs to a row as fit, in order: the fewest rows.
    const auto fill = [&](int target, int maxRows) {
        QList<QList<int>> rows{QList<int>()};
        int used = 0;
        for (int i = 0; i < widths.size(); ++i) {
            const bool full = used + widths[i] > width() || (target > 0 && used + widths[i] / 2 > target);
            if (!rows.last().isEmpty() && full && (maxRows == 0 || rows.size() < maxRows)) {
                rows.append(QList<int>());
                used = 0;
            }
            rows.last() << i;
            used += widths[i];
        }
        return rows;
    };
    const QList<QList<int>> fewest = fill(0, 0);
    // The same number of rows, evened out: each row about the same share of the captions' width.
    int total = 0;
    for (int w : widths)
        total += w;
    const QList<QList<int>> even = fill((total + int(fewest.size()) - 1) / int(fewest.size()), int(fewest.size()));
    for (const QList<int>& row : even) {
        int used = 0;
        for (int i : row)
            used += widths[i];
        if (used > width() && row.size() > 1)
            return fewest;
    }
    return even;
}

int TabRows::gridPerRow() const {
    return qMax(1, width() / m_tabWidth);
}

int TabRows::rowCount() const {
    return m_rows;
}

void TabRows::layoutButtons() {
    const int count = int(m_buttons.size());
    const int perRow = gridPerRow();
    const int gridRows = qMax(1, (count + perRow - 1) / perRow);
    const QList<int> widths = captionWidths();
    const QList<QList<int>> flow = flowRows(widths);
    if (flow.size() >= gridRows) {
        for (int i = 0; i < count; ++i) {
            m_buttons[i]->setFixedSize(m_tabWidth, kTabHeight);
            m_buttons[i]->move((i % perRow) * m_tabWidth, (i / perRow) * kTabHeight);
        }
        m_rows = gridRows;
    } else {
        // Fewer rows with tabs as wide as their captions: each row stretched to the full width.
        for (int r = 0; r < flow.size(); ++r) {
            int natural = 0;
            for (int i : flow[r])
                natural += widths[i];
            const int spare = qMax(0, width() - natural);
            int x = 0;
            for (int k = 0; k < flow[r].size(); ++k) {
                const int i = flow[r][k];
                // The spare width shared out, the rounding's rest to the last tab of the row.
                const int w =
                    k + 1 == flow[r].size() ? qMax(widths[i], width() - x) : widths[i] + spare / int(flow[r].size());
                m_buttons[i]->setFixedSize(w, kTabHeight);
                m_buttons[i]->move(x, r * kTabHeight);
                x += w;
            }
        }
        m_rows = int(flow.size());
    }
    setFixedHeight(m_rows * kTabHeight);
}

void TabRows::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutButtons();
}
