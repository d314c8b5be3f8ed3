#include "widgets/TabRows.h"

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

int TabRows::tabsPerRow() const {
    return qMax(1, width() / m_tabWidth);
}

void TabRows::layoutButtons() {
    const int perRow = tabsPerRow();
    for (int i = 0; i < m_buttons.size(); ++i)
        m_buttons[i]->move((i % perRow) * m_tabWidth, (i / perRow) * kTabHeight);
    const int rows = (int(m_buttons.size()) + perRow - 1) / perRow;
    setFixedHeight(qMax(1, rows) * kTabHeight);
}

void TabRows::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutButtons();
}
