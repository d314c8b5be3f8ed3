#include "store/DatasetModel.h"

DatasetModel::DatasetModel(Dataset* dataset, QObject* parent) : QAbstractTableModel(parent), m_dataset(dataset) {
    // Qt's order: begin… before the dataset changes its rows, end… once it has.
    connect(dataset, &Dataset::rowsAboutToBeReset, this, [this] { change([this] { beginResetModel(); }); });
    connect(dataset, &Dataset::rowsReset, this, [this] {
        rebuildFieldMap();
        endChange([this] { endResetModel(); });
    });
    connect(dataset, &Dataset::rowChanged, this, [this](int row) {
        if (row >= 0 && row < rowCount() && columnCount() > 0)
            Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
    });
    connect(dataset, &Dataset::rowAboutToBeInserted, this,
            [this](int row) { change([this, row] { beginInsertRows({}, row, row); }); });
    connect(dataset, &Dataset::rowInserted, this, [this] { endChange([this] { endInsertRows(); }); });
    connect(dataset, &Dataset::rowsAboutToBeFetched, this,
            [this](int first, int last) { change([this, first, last] { beginInsertRows({}, first, last); }); });
    connect(dataset, &Dataset::rowsFetched, this, [this] { endChange([this] { endInsertRows(); }); });
    connect(dataset, &Dataset::rowAboutToBeRemoved, this,
            [this](int row) { change([this, row] { beginRemoveRows({}, row, row); }); });
    connect(dataset, &Dataset::rowRemoved, this, [this] { endChange([this] { endRemoveRows(); }); });
    rebuildFieldMap();
}

void DatasetModel::change(const std::function<void()>& begin) {
    ++m_changing;
    begin();
}

void DatasetModel::endChange(const std::function<void()>& end) {
    end();
    --m_changing;
}

void DatasetModel::setColumns(const QList<Column>& columns) {
    beginResetModel();
    m_columns = columns;
    rebuildFieldMap();
    endResetModel();
}

void DatasetModel::rebuildFieldMap() {
    m_fieldOf.clear();
    if (!m_dataset)
        return;
    if (m_columns.isEmpty()) {
        for (int i = 0; i < m_dataset->fieldNames().size(); ++i)
            m_fieldOf << i;
        return;
    }
    for (const Column& c : m_columns)
        m_fieldOf << m_dataset->fieldIndex(c.field);
}

int DatasetModel::fieldColumn(int column) const {
    return column >= 0 && column < m_fieldOf.size() ? m_fieldOf[column] : -1;
}

int DatasetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_dataset ? 0 : m_dataset->fetchedCount();
}

bool DatasetModel::canFetchMore(const QModelIndex& parent) const {
    // Not while the rows are changing: a view that asks for more in answer to a begin… signal
    // would insert rows inside another change.
    return !parent.isValid() && m_changing == 0 && m_dataset && m_dataset->canFetchMore();
}

void DatasetModel::fetchMore(const QModelIndex& parent) {
    if (canFetchMore(parent))
        m_dataset->fetchMore();
}

int DatasetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_fieldOf.size());
}

QVariant DatasetModel::data(const QModelIndex& index, int role) const {
    if (!m_dataset || !index.isValid())
        return {};
    const QVariant v = m_dataset->valueAt(index.row(), fieldColumn(index.column()));
    const bool yesNo = index.column() < m_columns.size() && m_columns[index.column()].yesNo;
    switch (role) {
    case Qt::DisplayRole:
        return yesNo ? QVariant() : v;
    case Qt::CheckStateRole:
        if (!yesNo)
            return {};
        return v.toLongLong() != 0 ? Qt::Checked : Qt::Unchecked;
    case Qt::TextAlignmentRole:
        return index.column() < m_columns.size() ? QVariant(m_columns[index.column()].alignment) : QVariant();
    case YesNoRole:
        return yesNo;
    case Qt::UserRole:
        return v;
    default:
        return {};
    }
}

QVariant DatasetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    if (section < m_columns.size())
        return m_columns[section].title;
    return m_dataset ? m_dataset->fieldNames().value(fieldColumn(section)) : QVariant();
}
