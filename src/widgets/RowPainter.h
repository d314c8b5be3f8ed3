#pragma once

#include <QStyledItemDelegate>

// The one row painter of every data grid: the selected rows yellow, the others alternating
// F3F3F3 and white by record number, yes/no columns drawn as check boxes, and stored time
// stamps shown day first.
class RowPainter : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static QColor rowColor(int row, bool selected);
    // Where a yes/no cell's check box goes: the style's box, centred in the cell inset 1 pixel.
    static QRect checkBoxRect(const QRect& cell);

    QString displayText(const QVariant& value, const QLocale& locale) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    // A grid's own text colour and font for a cell (black, the grid's font here), drawn at the same place.
    virtual void styleText(QStyleOptionViewItem* option, const QModelIndex& index) const;
};
