#include "widgets/RowPainter.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <QRegularExpression>

#include "store/DatasetModel.h"
#include "store/TimeText.h"

QColor RowPainter::rowColor(int row, bool selected) {
    if (selected)
        return QColor(Qt::yellow);
    // Record numbers count from 1: odd records light grey, even white.
    return row % 2 == 0 ? QColor(0xF3, 0xF3, 0xF3) : QColor(Qt::white);
}

QString RowPainter::displayText(const QVariant& value, const QLocale& locale) const {
    // The store keeps date and time as "yyyy-MM-dd HH:mm:ss" text; the operator reads day first.
    if (value.typeId() == QMetaType::QString && TimeText::isStoredStamp(value.toString()))
        return TimeText::storedStampShown(value.toString());
    // A message with line breaks is one line in a grid row; the painter elides what does not fit.
    QString text = QStyledItemDelegate::displayText(value, locale);
    // (Qt's own text for a string turns "\n" into a line separator.)
    static const QRegularExpression breaks(QStringLiteral("[\\r\\n\\x{2028}\\x{2029}]+"));
    text.replace(breaks, QStringLiteral(" "));
    return text;
}

QRect RowPainter::checkBoxRect(const QRect& cell) {
    const QStyle* style = QApplication::style();
    const QRect inner = cell.adjusted(1, 1, -1, -1);
    const int w = qMin(style->pixelMetric(QStyle::PM_IndicatorWidth), inner.width());
    const int h = qMin(style->pixelMetric(QStyle::PM_IndicatorHeight), inner.height());
    return QRect(inner.x() + (inner.width() - w) / 2, inner.y() + (inner.height() - h) / 2, w, h);
}

void RowPainter::styleText(QStyleOptionViewItem*, const QModelIndex&) const {}

void RowPainter::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    // The current row is yellow too: in multi-select grids it need not be among the selected rows.
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    const bool current = view && view->currentIndex().isValid() && view->currentIndex().row() == index.row();
    const bool selected = (option.state & QStyle::State_Selected) || current;
    painter->fillRect(option.rect, rowColor(index.row(), selected));
    if (index.data(DatasetModel::YesNoRole).toBool() || index.data(Qt::CheckStateRole).isValid()) {
        QStyleOptionButton box;
        box.palette = option.palette;
        box.direction = option.direction;
        box.state = QStyle::State_Enabled |
                    (index.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStyle::State_On : QStyle::State_Off);
        box.rect = checkBoxRect(option.rect);
        QApplication::style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, option.widget);
        return;
    }
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    opt.state &= ~QStyle::State_Selected;
    opt.state &= ~QStyle::State_HasFocus;
    opt.palette.setColor(QPalette::Text, Qt::black);
    styleText(&opt, index);
    opt.backgroundBrush = Qt::NoBrush;
    opt.rect = option.rect.adjusted(2, 0, -2, 0);
    opt.features &= ~QStyleOptionViewItem::WrapText;
    opt.textElideMode = Qt::ElideRight;
    QApplication::style()->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
}
