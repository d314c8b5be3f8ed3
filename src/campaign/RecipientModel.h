#pragma once

#include <QAbstractTableModel>
#include <QPointer>

#include "campaign/TDM.h"

// The send pages' grid model over the recipient set: the rows visible under the filter, with the
// columns NOME, TELEFONE, EMAIL, TEXTO, TEXTO0..TEXTO9 when the set has them.
class RecipientModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecipientModel(TDM* recipients, QObject* parent = nullptr);

    static const QStringList& shownColumns();
    TDM* recipients() const { return m_tdm; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void rebuild();

    QPointer<TDM> m_tdm;
    QStringList m_titles;
    QList<int> m_columnOf; // model column -> recipient set column
};
