#pragma once

#include <QStyledItemDelegate>

// The one row painter of every data grid: the selected rows yellow, the others alternating
// F3F3F3 and white by record number, and yes/no columns drawn as check boxes.
class RowPainter : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static QColor rowColor(int row, bool selected);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
