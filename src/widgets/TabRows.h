#pragma once

#include <QButtonGroup>
#include <QTabWidget>
#include <QWidget>

// Page tabs laid out in as many rows as the window needs, above a QTabWidget whose own bar is hidden (a
// QTabBar keeps to one row). Each tab is `tabWidth` wide, in a grid, unless tabs as wide as their own captions
// need fewer rows: then each row takes as many tabs as fit, in order, stretched to fill the width.
class TabRows : public QWidget {
    Q_OBJECT
public:
    TabRows(QTabWidget* pages, int tabWidth, QWidget* parent = nullptr);

    void rebuild();
    // How many rows the tabs take at the current width.
    int rowCount() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutButtons();
    // Each tab's width when it is as wide as its caption (bold, as when chosen) and the button's padding.
    QList<int> captionWidths() const;
    // The tabs of each row, by the captions' widths, in order.
    QList<QList<int>> flowRows(const QList<int>& widths) const;
    int gridPerRow() const;

    QTabWidget* m_pages;
    int m_tabWidth;
    QButtonGroup m_group;
    QList<QAbstractButton*> m_buttons;
    int m_rows = 1;
};
