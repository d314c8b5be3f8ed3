#pragma once

#include <QButtonGroup>
#include <QTabWidget>
#include <QWidget>

// Page tabs of a fixed width laid out in as many rows as the window needs, above a QTabWidget
// whose own bar is hidden (a QTabBar keeps to one row).
class TabRows : public QWidget {
    Q_OBJECT
public:
    TabRows(QTabWidget* pages, int tabWidth, QWidget* parent = nullptr);

    void rebuild();
    int tabsPerRow() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutButtons();

    QTabWidget* m_pages;
    int m_tabWidth;
    QButtonGroup m_group;
    QList<QAbstractButton*> m_buttons;
};
