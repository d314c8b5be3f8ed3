// Every page and sub-page of the main window, at the design size and on a large screen: no control
// the operator types into or presses is squeezed below its minimum size, and no grid header is cut.
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include "TempDataDir.h"
#include "app/TfPrincipal.h"

namespace {

// "page/sub-page: control" for the failure messages.
QString describe(const QString& where, const QWidget* w) {
    return where + ": " + QString::fromLatin1(w->metaObject()->className()) + " '" + w->objectName() + "'";
}

bool isControl(const QWidget* w) {
    return qobject_cast<const QComboBox*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QAbstractButton*>(w);
}

// Controls narrower than their minimum size hint, and cut grid headers, on the page shown now.
QStringList faultsOnScreen(QWidget* root, const QString& where) {
    QStringList faults;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->parentWidget() == nullptr)
            continue;
        // A line edit inside a combo or spin box is part of that control.
        if (qobject_cast<QLineEdit*>(w) &&
            (qobject_cast<QComboBox*>(w->parentWidget()) || qobject_cast<QAbstractSpinBox*>(w->parentWidget())))
            continue;
        if (isControl(w) && w->width() < w->minimumSizeHint().width())
            faults << describe(where, w) + QStringLiteral(" %1 < %2").arg(w->width()).arg(w->minimumSizeHint().width());
        if (auto* grid = qobject_cast<QTableView*>(w)) {
            QHeaderView* header = grid->horizontalHeader();
            for (int c = 0; c < header->count(); ++c) {
                if (header->isSectionHidden(c) || !header->isVisible())
                    continue;
                if (header->sectionSize(c) < header->sectionSizeHint(c))
                    faults << describe(where, grid) + QStringLiteral(" header '%1' %2 < %3")
                                                          .arg(grid->model()->headerData(c, Qt::Horizontal).toString())
                                                          .arg(header->sectionSize(c))
                                                          .arg(header->sectionSizeHint(c));
            }
        }
    }
    return faults;
}

void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
    }
}

// The tab widget holding a page's sub-pages: the page itself, or the first one inside it.
QTabWidget* subPages(QWidget* page) {
    if (auto* tabs = qobject_cast<QTabWidget*>(page))
        return tabs;
    return page->findChild<QTabWidget*>();
}

// Shows each page and each of its sub-pages, and collects the faults of what is on screen.
QStringList walk(QTabWidget* pages, QWidget* window) {
    QStringList faults;
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        settle();
        QWidget* page = pages->widget(i);
        QTabWidget* sub = subPages(page);
        if (!sub) {
            faults << faultsOnScreen(page, pages->tabText(i));
            continue;
        }
        for (int s = 0; s < sub->count(); ++s) {
            sub->setCurrentIndex(s);
            settle();
            faults << faultsOnScreen(page, pages->tabText(i) + "/" + sub->tabText(s));
        }
    }
    // The controls outside the pages (port panel, status bar) at this size.
    faults << faultsOnScreen(window, "window");
    return faults;
}

class WindowLayout : public ::testing::TestWithParam<QSize> {};

TEST_P(WindowLayout, EveryPageGivesItsControlsTheirMinimumSize) {
    QApplication::setStyle("Fusion"); // the program's style
    TempDataDir d;
    ASSERT_TRUE(d.start().ok);
    TfPrincipal window(d.ado.get());
    window.resize(GetParam());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    settle();
    EXPECT_EQ(window.size(), GetParam()); // nothing forces the window wider or taller
    QStringList faults = walk(window.pages(), &window);
    faults.removeDuplicates();
    EXPECT_TRUE(faults.isEmpty()) << faults.join('\n').toStdString();
}

std::string sizeName(const ::testing::TestParamInfo<QSize>& size) {
    return QStringLiteral("%1x%2").arg(size.param.width()).arg(size.param.height()).toStdString();
}

INSTANTIATE_TEST_SUITE_P(DesignAndLarge, WindowLayout, ::testing::Values(QSize(1025, 779), QSize(1600, 1000)),
                         sizeName);

} // namespace
