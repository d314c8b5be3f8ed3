#include "campaign/RecipientModel.h"

RecipientModel::RecipientModel(TDM* recipients, QObject* parent) : QAbstractTableModel(parent), m_tdm(recipients) {
    connect(recipients, &TDM::rowsReset, this, [this] {
        beginResetModel();
        rebuild();
        endResetModel();
    });
    rebuild();
}

const QStringList& RecipientModel::shownColumns() {
    static const QStringList c{"NOME",   "TELEFONE", "EMAIL",  "TEXTO",  "TEXTO0", "TEXTO1", "TEXTO2",
                               "TEXTO3", "TEXTO4",   "TEXTO5", "TEXTO6", "TEXTO7", "TEXTO8", "TEXTO9"};
    return c;
}

void RecipientModel::rebuild() {
    m_titles.clear();
    m_columnOf.clear();
    if (!m_tdm || !m_tdm->isOpen())
        return;
    for (const QString& name : shownColumns()) {
        const int col = m_tdm->fieldIndex(name);
        if (col >= 0) {
            m_titles << name;
            m_columnOf << col;
        }
    }
}

int RecipientModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_tdm ? 0 : m_tdm->recordCount();
}

int RecipientModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_columnOf.size());
}

QVariant RecipientModel::data(const QModelIndex& index, int role) const {
    if (!m_tdm || !index.isValid() || index.column() >= m_columnOf.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::UserRole)
        return m_tdm->value(index.row(), m_columnOf[index.column()]);
    return {};
}

QVariant RecipientModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_titles.size())
        return m_titles[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}
