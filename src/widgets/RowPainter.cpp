#include "widgets/RowPainter.h"

#include <QApplication>
#include <QPainter>

#include "store/DatasetModel.h"

QColor RowPainter::rowColor(int row, bool selected) {
    if (selected)
        return QColor(Qt::yellow);
    return row % 2 == 0 ? QColor(0xF3, 0xF3, 0xF3) : QColor(Qt::white);
}

void RowPainter::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    painter->fillRect(option.rect, rowColor(index.row(), selected));
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    opt.state &= ~QStyle::State_Selected;
    opt.state &= ~QStyle::State_HasFocus;
    opt.palette.setColor(QPalette::Text, Qt::black);
    opt.backgroundBrush = Qt::NoBrush;
    if (index.data(DatasetModel::YesNoRole).toBool() || index.data(Qt::CheckStateRole).isValid()) {
        QStyleOptionButton box;
        box.state = QStyle::State_Enabled |
                    (index.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStyle::State_On : QStyle::State_Off);
        const QSize sz = QApplication::style()->sizeFromContents(QStyle::CT_CheckBox, &box, QSize());
        box.rect = QRect(option.rect.center() - QPoint(sz.width() / 2, sz.height() / 2), sz);
        box.rect.setWidth(qMin(sz.width(), 16));
        QApplication::style()->drawControl(QStyle::CE_CheckBox, &box, painter);
        return;
    }
    QApplication::style()->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
}
