#include "contacts/ImportPreviewModel.h"

#include "contacts/SpreadsheetReader.h"

const QStringList& ImportPreviewModel::headers() {
    static const QStringList h{"Indice", "Nome do Contato", "Telefone", "E-Mail", "TEXTO",
                               "TEXTO0", "TEXTO1",          "TEXTO2",   "TEXTO3", "TEXTO4",
                               "TEXTO5", "TEXTO6",          "TEXTO7",   "TEXTO8", "TEXTO9"};
    return h;
}

int ImportPreviewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ImportPreviewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(headers().size());
}

QVariant ImportPreviewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size() || role != Qt::DisplayRole)
        return {};
    const Row& r = m_rows[index.row()];
    if (index.column() == 0)
        return r.indice;
    return r.cells.value(index.column() - 1);
}

QVariant ImportPreviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    return headers().value(section);
}

int ImportPreviewModel::addRow(const QStringList& cells) {
    Row r;
    r.indice = m_rows.isEmpty() ? 1 : m_rows.last().indice + 1;
    r.cells = cells;
    while (r.cells.size() < SpreadsheetReader::ColumnCount)
        r.cells << QString();
    const int at = int(m_rows.size());
    beginInsertRows({}, at, at);
    m_rows << r;
    endInsertRows();
    return r.indice;
}

void ImportPreviewModel::removeFirst(int count) {
    count = qMin(count, int(m_rows.size()));
    if (count <= 0)
        return;
    beginRemoveRows({}, 0, count - 1);
    m_rows.remove(0, count);
    endRemoveRows();
}

void ImportPreviewModel::clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}
