#include "store/Dataset.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {
const QString kRowId = QStringLiteral("__rowid__");
}

Dataset::Dataset(const QString& name, ConnectionFn connection, QObject* parent)
    : QObject(parent), m_connection(std::move(connection)) {
    setObjectName(name);
}

Dataset::~Dataset() = default;

void Dataset::setTable(const QString& table, const QString& orderBy) {
    close();
    m_table = table;
    m_orderBy = orderBy;
    m_sql.clear();
    m_updateTable = table;
    m_keyField.clear();
}

void Dataset::setSql(const QStringList& lines) {
    close();
    m_table.clear();
    m_sql = lines;
}

void Dataset::setUpdateTable(const QString& table, const QString& keyField) {
    m_updateTable = table;
    m_keyField = keyField;
}

void Dataset::bindValue(const QString& placeholder, const QVariant& value) {
    m_bindings.insert(placeholder, value);
}

bool Dataset::fail(const QString& error) {
    m_lastError = error;
    return false;
}

bool Dataset::load() {
    finishCursor();
    const bool lazy = bool(m_readConnection);
    auto q = std::make_unique<QSqlQuery>(lazy ? m_readConnection() : m_connection());
    q->setForwardOnly(true);
    QString sql = m_table.isEmpty() ? m_sql.join('\n')
                                    : QStringLiteral("SELECT rowid AS %1, * FROM %2").arg(kRowId, m_table) +
                                          (m_orderBy.isEmpty() ? QString() : QStringLiteral(" ORDER BY ") + m_orderBy);
    if (!q->prepare(sql))
        return fail(q->lastError().text());
    for (auto it = m_bindings.cbegin(); it != m_bindings.cend(); ++it)
        q->bindValue(it.key(), it.value());
    if (!q->exec())
        return fail(q->lastError().text());
    QSqlRecord rec = q->record();
    const bool hidden = !m_table.isEmpty();
    const int first = hidden ? 1 : 0;
    m_fields.clear();
    for (int i = first; i < rec.count(); ++i)
        m_fields << rec.fieldName(i);
    m_hiddenKey = hidden ? int(m_fields.size()) : -1;
    m_cursorColumns = rec.count();
    m_rows.clear();
    m_cursor = std::move(q);
    // The first rows arrive under the caller's rowsReset, not as appended rows.
    m_silentFetch = true;
    if (lazy)
        fetchMore();
    else
        fetchAll();
    m_silentFetch = false;
    return true;
}

void Dataset::finishCursor() {
    if (!m_cursor)
        return;
    m_cursor->finish();
    m_cursor.reset();
}

void Dataset::fetchMore(int rows) {
    if (!m_cursor)
        return;
    QList<QList<QVariant>> batch;
    const bool hidden = m_hiddenKey >= 0;
    const int first = hidden ? 1 : 0;
    while (batch.size() < rows && m_cursor->next()) {
        QList<QVariant> row;
        row.reserve(m_cursorColumns);
        for (int i = first; i < m_cursorColumns; ++i)
            row << m_cursor->value(i);
        if (hidden)
            row << m_cursor->value(0);
        batch << std::move(row);
    }
    if (batch.size() < rows)
        finishCursor();
    if (batch.isEmpty())
        return;
    const int from = int(m_rows.size());
    const int to = from + int(batch.size()) - 1;
    if (!m_silentFetch)
        Q_EMIT rowsAboutToBeFetched(from, to);
    m_rows.append(std::move(batch));
    if (m_current >= 0)
        m_eof = false;
    if (!m_silentFetch)
        Q_EMIT rowsFetched(from, to);
}

void Dataset::fetchAll() {
    while (m_cursor)
        fetchMore(4096);
}

void Dataset::ensureFetched(int row) {
    while (m_cursor && row >= m_rows.size())
        fetchMore(qMax(kFetchBatch, row + 1 - int(m_rows.size())));
}

int Dataset::recordCount() const {
    const_cast<Dataset*>(this)->fetchAll();
    return int(m_rows.size());
}

bool Dataset::open() {
    if (isOpen())
        return true;
    m_lastError.clear();
    if (!load())
        return false;
    m_state = State::Browse;
    Q_EMIT rowsReset();
    setCurrent(m_rows.isEmpty() ? -1 : 0);
    m_bof = true;
    Q_EMIT stateChanged();
    Q_EMIT afterOpen();
    return true;
}

void Dataset::close() {
    if (!isOpen())
        return;
    finishCursor();
    m_rows.clear();
    m_current = -1;
    m_bof = m_eof = true;
    m_state = State::Inactive;
    Q_EMIT rowsReset();
    Q_EMIT stateChanged();
    Q_EMIT afterClose();
}

bool Dataset::refresh() {
    if (!isOpen())
        return open();
    if (m_state != State::Browse)
        cancel();
    QVariant key = keyOf(m_current);
    const int oldRow = m_current;
    if (!load())
        return false;
    Q_EMIT rowsReset();
    int row = -1;
    if (key.isValid()) {
        for (int i = 0; row < 0; ++i) {
            ensureFetched(i);
            if (i >= m_rows.size())
                break;
            if (keyOf(i) == key)
                row = i;
        }
    }
    if (row < 0)
        row = m_rows.isEmpty() ? -1 : qBound(0, oldRow, int(m_rows.size()) - 1);
    setCurrent(row);
    Q_EMIT afterRefresh();
    return true;
}

int Dataset::execSql() {
    QSqlQuery q(m_connection());
    if (!q.prepare(m_sql.join('\n'))) {
        fail(q.lastError().text());
        return -1;
    }
    for (auto it = m_bindings.cbegin(); it != m_bindings.cend(); ++it)
        q.bindValue(it.key(), it.value());
    if (!q.exec()) {
        fail(q.lastError().text());
        return -1;
    }
    return q.numRowsAffected();
}

void Dataset::setCurrent(int row) {
    ensureFetched(row + 1); // knowing whether a next row exists tells eof
    m_current = row;
    m_bof = row <= 0;
    m_eof = row < 0 || (row >= int(m_rows.size()) - 1 && !m_cursor);
    Q_EMIT afterScroll();
}

void Dataset::setState(State s) {
    if (m_state == s)
        return;
    m_state = s;
    Q_EMIT stateChanged();
}

void Dataset::first() {
    if (isOpen() && (m_state == State::Browse || post()))
        setCurrent(m_rows.isEmpty() ? -1 : 0);
}

void Dataset::last() {
    if (isOpen() && (m_state == State::Browse || post())) {
        fetchAll();
        setCurrent(int(m_rows.size()) - 1);
        m_eof = true;
    }
}

void Dataset::next() {
    if (!isOpen() || (m_state != State::Browse && !post()))
        return;
    if (m_current + 1 < m_rows.size())
        setCurrent(m_current + 1);
    else
        m_eof = true;
}

void Dataset::prior() {
    if (!isOpen() || (m_state != State::Browse && !post()))
        return;
    if (m_current > 0)
        setCurrent(m_current - 1);
    else
        m_bof = true;
}

void Dataset::moveTo(int row) {
    ensureFetched(row);
    if (!isOpen() || row < 0 || row >= m_rows.size() || row == m_current)
        return;
    if (m_state != State::Browse && !post())
        return;
    setCurrent(row);
}

bool Dataset::locate(const QString& field, const QVariant& value) {
    const int col = fieldIndex(field);
    if (col < 0)
        return false;
    for (int i = 0;; ++i) {
        ensureFetched(i);
        if (i >= m_rows.size())
            break;
        if (m_rows[i][col] == value || m_rows[i][col].toString() == value.toString()) {
            moveTo(i);
            return m_current == i;
        }
    }
    return false;
}

int Dataset::fieldIndex(const QString& field) const {
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant Dataset::value(const QString& field) const {
    const int col = fieldIndex(field);
    if (col < 0 || m_current < 0 || m_current >= m_rows.size())
        return {};
    return m_rows[m_current][col];
}

bool Dataset::boolean(const QString& field) const {
    const QVariant v = value(field);
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toLower();
        return s == "true" || s == "1" || s == "-1" || s == "sim";
    }
    return v.toLongLong() != 0;
}

QVariant Dataset::valueAt(int row, int column) const {
    const_cast<Dataset*>(this)->ensureFetched(row);
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= m_fields.size())
        return {};
    return m_rows[row][column];
}

void Dataset::setValue(const QString& field, const QVariant& value) {
    const int col = fieldIndex(field);
    if (col < 0 || m_current < 0)
        return;
    if (m_state == State::Browse)
        edit();
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    m_rows[m_current][col] = value;
    m_changed[col] = true;
    Q_EMIT fieldChanged(m_fields[col]);
    Q_EMIT rowChanged(m_current);
}

void Dataset::edit() {
    if (m_state != State::Browse || m_current < 0)
        return;
    fetchAll(); // an edited snapshot is read whole, so the read cannot see its own changes half-way
    m_buffer = m_rows[m_current];
    m_changed = QList<bool>(m_fields.size(), false);
    setState(State::Edit);
}

void Dataset::append() {
    if (!isOpen())
        return;
    if (m_state != State::Browse && !post())
        return;
    fetchAll(); // the new row goes after the last row of the whole result
    m_savedCurrent = m_current;
    QList<QVariant> blank(m_fields.size() + (m_hiddenKey >= 0 ? 1 : 0));
    m_rows << blank;
    m_changed = QList<bool>(m_fields.size(), false);
    const int row = int(m_rows.size()) - 1;
    Q_EMIT rowInserted(row);
    m_state = State::Insert;
    setCurrent(row);
    Q_EMIT stateChanged();
    Q_EMIT afterInsert();
}

void Dataset::cancel() {
    const State was = m_state;
    if (was != State::Edit && was != State::Insert)
        return;
    // Back to browsing before anyone hears of the change: a grid that moves its current row in
    // answer must not post the row being thrown away.
    m_state = State::Browse;
    if (was == State::Edit) {
        m_rows[m_current] = m_buffer;
        Q_EMIT rowChanged(m_current);
    } else {
        const int row = m_current;
        m_rows.removeAt(row);
        m_current = -1;
        Q_EMIT rowRemoved(row);
        setCurrent(m_rows.isEmpty() ? -1 : qBound(0, m_savedCurrent, int(m_rows.size()) - 1));
    }
    Q_EMIT stateChanged();
    Q_EMIT afterScroll();
    Q_EMIT afterCancel();
}

QString Dataset::keyColumn() const {
    return m_hiddenKey >= 0 ? QStringLiteral("rowid") : m_keyField;
}

QVariant Dataset::keyOf(int row) const {
    if (row < 0 || row >= m_rows.size())
        return {};
    if (m_hiddenKey >= 0)
        return m_rows[row].value(m_hiddenKey);
    const int col = m_keyField.isEmpty() ? -1 : fieldIndex(m_keyField);
    return col >= 0 ? m_rows[row][col] : QVariant();
}

bool Dataset::post() {
    if (m_state == State::Browse)
        return true;
    if (m_state == State::Inactive)
        return fail(QStringLiteral("O conjunto de dados %1 está fechado.").arg(name()));
    if (m_updateTable.isEmpty() || keyColumn().isEmpty())
        return fail(QStringLiteral("O conjunto de dados %1 não pode ser alterado.").arg(name()));
    const bool inserting = m_state == State::Insert;
    if (!(inserting ? postInsert() : postEdit()))
        return false;
    setState(State::Browse);
    Q_EMIT afterPost();
    return true;
}

bool Dataset::postInsert() {
    QStringList cols, marks;
    QVariantList values;
    for (int i = 0; i < m_fields.size(); ++i) {
        if (!m_changed[i])
            continue;
        cols << m_fields[i];
        marks << QStringLiteral("?");
        values << m_rows[m_current][i];
    }
    QSqlQuery q(m_connection());
    const QString sql =
        cols.isEmpty()
            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(m_updateTable)
            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(m_updateTable, cols.join(", "), marks.join(", "));
    if (!q.prepare(sql))
        return fail(q.lastError().text());
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec())
        return fail(q.lastError().text());
    return reloadRow(m_current, q.lastInsertId());
}

bool Dataset::postEdit() {
    QStringList sets;
    QVariantList values;
    for (int i = 0; i < m_fields.size(); ++i) {
        if (!m_changed[i])
            continue;
        sets << m_fields[i] + QStringLiteral(" = ?");
        values << m_rows[m_current][i];
    }
    if (sets.isEmpty())
        return true;
    QVariant key = m_hiddenKey >= 0 ? m_buffer.value(m_hiddenKey) : m_buffer.value(fieldIndex(m_keyField));
    QSqlQuery q(m_connection());
    if (!q.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?").arg(m_updateTable, sets.join(", "), keyColumn())))
        return fail(q.lastError().text());
    for (const QVariant& v : values)
        q.addBindValue(v);
    q.addBindValue(key);
    if (!q.exec())
        return fail(q.lastError().text());
    return true;
}

// Reads back an inserted row so that database defaults (keys, time stamps) show at once.
bool Dataset::reloadRow(int row, const QVariant& rowid) {
    QSqlQuery q(m_connection());
    q.prepare(QStringLiteral("SELECT rowid AS %1, * FROM %2 WHERE rowid = ?").arg(kRowId, m_updateTable));
    q.addBindValue(rowid);
    if (!q.exec() || !q.next())
        return true; // the row is stored; keep what was typed
    QSqlRecord rec = q.record();
    for (int i = 0; i < m_fields.size(); ++i) {
        const int src = rec.indexOf(m_fields[i]);
        if (src >= 0)
            m_rows[row][i] = q.value(src);
    }
    if (m_hiddenKey >= 0)
        m_rows[row][m_hiddenKey] = q.value(0);
    Q_EMIT rowChanged(row);
    return true;
}

bool Dataset::remove() {
    if (!isOpen() || m_current < 0)
        return false;
    fetchAll();
    if (m_state == State::Insert) {
        cancel();
        return true;
    }
    if (m_state == State::Edit)
        cancel();
    if (m_updateTable.isEmpty() || keyColumn().isEmpty())
        return fail(QStringLiteral("O conjunto de dados %1 não pode ser alterado.").arg(name()));
    QSqlQuery q(m_connection());
    q.prepare(QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(m_updateTable, keyColumn()));
    q.addBindValue(keyOf(m_current));
    if (!q.exec())
        return fail(q.lastError().text());
    const int row = m_current;
    m_rows.removeAt(row);
    Q_EMIT rowRemoved(row);
    setCurrent(m_rows.isEmpty() ? -1 : qMin(row, int(m_rows.size()) - 1));
    Q_EMIT afterDelete();
    return true;
}
