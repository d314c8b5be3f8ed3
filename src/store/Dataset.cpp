#include "store/Dataset.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include "store/SqlDialect.h"
#include "store/SqlText.h"

namespace {
const QString kRowId = QStringLiteral("__rowid__");

bool onPostgres(const QSqlQuery& q) {
    return q.driver() && q.driver()->dbmsType() == QSqlDriver::PostgreSQL;
}

// PostgreSQL refuses a boolean for the 0/1 yes/no columns; SQLite takes either.
QVariant bindable(const QSqlQuery& q, const QVariant& v) {
    return v.typeId() == QMetaType::Bool && onPostgres(q) ? QVariant(v.toBool() ? 1 : 0) : v;
}
// Rows read again before each page of a result without a key to follow (see fetchMore).
constexpr int kOverlap = 32;
} // namespace

Dataset::Dataset(const QString& name, ConnectionFn connection, QObject* parent)
    : QObject(parent), m_connection(std::move(connection)) {
    setObjectName(name);
}

Dataset::~Dataset() = default;

void Dataset::setTable(const QString& table, const QString& orderBy) {
    close();
    m_table = table;
    m_orderBy = orderBy;
    m_tableFilter.clear();
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

QString Dataset::selectText() const {
    if (m_table.isEmpty())
        return m_sql.join('\n');
    return QStringLiteral("SELECT %1 AS %2, * FROM %3")
               .arg(SqlDialect::rowKey(m_connection(), m_table), kRowId, m_table) +
           (m_tableFilter.isEmpty() ? QString() : QStringLiteral(" WHERE ") + m_tableFilter) +
           (m_orderBy.isEmpty() ? QString() : QStringLiteral(" ORDER BY ") + m_orderBy);
}

// Reads the first page (its columns name the fields); the caller announces the reset around it.
// A result longer than the page is counted when its count is first asked for.
bool Dataset::load(int firstPage) {
    m_rows.clear();
    m_keys.clear();
    m_consumed = m_total = 0;
    m_more = m_readFailed = false;
    m_counted = true;
    const QString sql = selectText();
    const SqlText::Shape shape = SqlText::shapeOf(sql);
    const bool paged = SqlText::pageable(shape);
    m_select = paged ? shape.body : sql;
    m_count = paged ? SqlText::countStatement(shape) : QString();
    QList<Row> page;
    int read = 0;
    if (!(paged && readFirstByKey(shape, firstPage, &page, &read))) {
        m_cursor.clear();
        page.clear();
        if (!readRows(pageText(0, paged ? firstPage : -1), {}, &page, &read, true))
            return false;
    }
    m_consumed = read;
    m_more = paged && read >= firstPage;
    if (!page.isEmpty())
        m_after = cursorValues(page.last());
    dropHeld(page);
    m_rows = std::move(page);
    m_total = int(m_rows.size());
    m_counted = !m_more;
    return true;
}

// Pages of a keyed result follow its order and key: each page starts after the last row read, so rows
// deleted or inserted before that row by another connection move no row past the grid. The result is
// read from a subquery ordered by its ORDER BY columns and then its key; false (nothing kept) when the
// order names something other than result columns, and pages are then read by OFFSET.
bool Dataset::readFirstByKey(const SqlText::Shape& shape, int limit, QList<Row>* rows, int* read) {
    m_cursor.clear();
    QList<SqlText::OrderTerm> terms;
    const QString key = m_table.isEmpty() ? m_keyField : kRowId;
    if (key.isEmpty() || !SqlText::orderTerms(shape, &terms))
        return false;
    terms << SqlText::OrderTerm{key, false};
    QStringList order;
    for (const SqlText::OrderTerm& t : std::as_const(terms))
        order << quoted(t.column) + (t.descending ? QStringLiteral(" DESC") : QString()) + nullsOrder(t.descending);
    const QString rowsText = shape.orderBy >= 0 ? shape.body.left(shape.orderBy) : shape.body;
    m_keysetFrom = QStringLiteral("SELECT * FROM (\n%1\n) AS vestral_pagina").arg(rowsText);
    m_keysetOrder = QStringLiteral("\nORDER BY ") + order.join(QStringLiteral(", "));
    const QString error = m_lastError;
    if (!readRows(m_keysetFrom + m_keysetOrder + QStringLiteral("\nLIMIT %1").arg(limit), {}, rows, read, true)) {
        m_lastError = error; // read again by OFFSET, which says its own error
        return false;
    }
    static const QRegularExpression renamed(QStringLiteral(":\\d+$")); // a subquery's repeated column name
    for (const QString& f : std::as_const(m_fields)) {
        if (renamed.match(f).hasMatch())
            return false;
    }
    for (const SqlText::OrderTerm& t : std::as_const(terms)) {
        const int column = t.column == kRowId ? m_hiddenKey : fieldIndex(t.column);
        if (column < 0) {
            m_cursor.clear();
            return false;
        }
        m_cursor << Cursor{quoted(t.column), t.descending, column};
    }
    return true;
}

// PostgreSQL folds the unquoted names of the schema to lower case, and names the result's columns so.
QString Dataset::quoted(const QString& name) const {
    const QString folded = SqlDialect::isPostgres(m_connection()) ? name.toLower() : name;
    return QLatin1Char('"') + QString(folded).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

// Where NULLs fall, said outright on PostgreSQL (which puts them last when ascending) so that both stores
// page in SQLite's order: NULL first when ascending, last when descending.
QString Dataset::nullsOrder(bool descending) const {
    if (!SqlDialect::isPostgres(m_connection()))
        return {};
    return descending ? QStringLiteral(" NULLS LAST") : QStringLiteral(" NULLS FIRST");
}

QList<QVariant> Dataset::cursorValues(const Row& row) const {
    QList<QVariant> values;
    for (const Cursor& c : m_cursor)
        values << row.value(c.column);
    return values;
}

QString Dataset::pageText(int offset, int limit) const {
    QString sql = m_select;
    if (limit >= 0 || offset > 0)
        sql += QStringLiteral("\nLIMIT %1 OFFSET %2")
                   .arg(limit >= 0                               ? QString::number(limit)
                        : SqlDialect::isPostgres(m_connection()) ? QStringLiteral("ALL")
                                                                 : QStringLiteral("-1"))
                   .arg(offset);
    return sql;
}

// The rows after the last one read, in the result's order (NULL first when ascending, as SQLite sorts):
// later in the first column, or equal there and later in the next, and so on down to the key. A NULL is
// never bound where the statement would have to guess its type (PostgreSQL refuses "$1 IS NULL"): the
// shape of each test follows whether the last row's value was NULL.
QString Dataset::afterText(int limit, QHash<QString, QVariant>* values) const {
    QString condition;
    for (qsizetype i = m_cursor.size() - 1; i >= 0; --i) {
        const Cursor& c = m_cursor[i];
        const QVariant value = m_after.value(i);
        const QString v = QStringLiteral(":vestral_after%1").arg(i);
        QString later;
        QString same;
        if (value.isNull()) {
            later = c.descending ? QStringLiteral("1 = 0") : QStringLiteral("%1 IS NOT NULL").arg(c.name);
            same = QStringLiteral("%1 IS NULL").arg(c.name);
        } else {
            values->insert(v, value);
            later = c.descending ? QStringLiteral("(%1 < %2 OR %1 IS NULL)").arg(c.name, v)
                                 : QStringLiteral("%1 > %2").arg(c.name, v);
            same = QStringLiteral("%1 = %2").arg(c.name, v);
        }
        condition = condition.isEmpty() ? QStringLiteral("(%1)").arg(later)
                                        : QStringLiteral("((%1) OR (%2 AND %3))").arg(later, same, condition);
    }
    // Lets an index on the first column start at the last row read.
    const Cursor& first = m_cursor.first();
    if (!first.descending && !m_after.value(0).isNull())
        condition = QStringLiteral("%1 >= :vestral_after0 AND %2").arg(first.name, condition);
    return m_keysetFrom + QStringLiteral("\nWHERE ") + condition + m_keysetOrder +
           (limit >= 0 ? QStringLiteral("\nLIMIT %1").arg(limit) : QString());
}

// Runs one statement to its end, with the dataset's bindings and `extra` ones.
bool Dataset::readRows(const QString& sql, const QHash<QString, QVariant>& extra, QList<Row>* rows, int* read,
                       bool setFields) {
    QSqlQuery q(m_connection());
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        return fail(q.lastError().text());
    for (auto it = m_bindings.cbegin(); it != m_bindings.cend(); ++it)
        q.bindValue(it.key(), bindable(q, it.value()));
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        q.bindValue(it.key(), bindable(q, it.value()));
    if (!q.exec())
        return fail(q.lastError().text());
    const QSqlRecord rec = q.record();
    const bool hidden = !m_table.isEmpty();
    const int first = hidden ? 1 : 0;
    // On PostgreSQL a keyless table carries its row key as a column of its own; it stays hidden.
    const int ownKey = hidden && onPostgres(q) ? rec.indexOf(QStringLiteral("rowid")) : -1;
    if (setFields) {
        m_fields.clear();
        for (int i = first; i < rec.count(); ++i)
            if (i != ownKey)
                m_fields << rec.fieldName(i);
        m_hiddenKey = hidden ? int(m_fields.size()) : -1;
    }
    *read = 0;
    while (q.next()) {
        Row row;
        row.reserve(rec.count());
        for (int i = first; i < rec.count(); ++i)
            if (i != ownKey)
                row << q.value(i);
        if (hidden)
            row << q.value(0);
        *rows << std::move(row);
        ++*read;
    }
    // next() is false at the end and on an error alike: a damaged page must not pass for the end.
    if (q.lastError().isValid())
        return fail(q.lastError().text());
    return true;
}

int Dataset::recordCount() const {
    if (!m_counted)
        const_cast<Dataset*>(this)->countRows();
    return m_total;
}

// COUNT(*) of the result as it is now, plus a row being inserted; a count that cannot be read
// is a failed read (readError), and the rows held are all the count says.
void Dataset::countRows() {
    m_counted = true;
    m_total = int(m_rows.size());
    if (const int counted = countStored(); counted >= 0)
        m_total = qMax(counted + (m_state == State::Insert ? 1 : 0), m_total);
    else
        failRead(m_lastError);
}

int Dataset::countStored() {
    QSqlQuery q(m_connection());
    q.setForwardOnly(true);
    if (!q.prepare(m_count)) {
        fail(q.lastError().text());
        return -1;
    }
    for (auto it = m_bindings.cbegin(); it != m_bindings.cend(); ++it)
        q.bindValue(it.key(), bindable(q, it.value()));
    if (!q.exec() || !q.next()) {
        fail(q.lastError().isValid() ? q.lastError().text() : QStringLiteral("contagem sem resultado"));
        return -1;
    }
    return q.value(0).toInt();
}

bool Dataset::keyed() const {
    return m_hiddenKey >= 0 || (!m_keyField.isEmpty() && fieldIndex(m_keyField) >= 0);
}

QVariant Dataset::keyOfRow(const Row& row) const {
    if (m_hiddenKey >= 0)
        return row.value(m_hiddenKey);
    const int col = m_keyField.isEmpty() ? -1 : fieldIndex(m_keyField);
    return col >= 0 ? row.value(col) : QVariant();
}

// Leaves out of a page the rows already held, and remembers the keys of the others.
void Dataset::dropHeld(QList<Row>& page) {
    if (!keyed())
        return;
    QList<Row> kept;
    kept.reserve(page.size());
    for (Row& row : page) {
        bool ok = false;
        const qint64 key = keyOfRow(row).toLongLong(&ok);
        if (ok && m_keys.contains(key))
            continue;
        if (ok)
            m_keys.insert(key);
        kept << std::move(row);
    }
    page = std::move(kept);
}

void Dataset::failRead(const QString& error) {
    m_more = false;
    m_readFailed = true;
    m_lastError = error;
    Q_EMIT readError(error);
}

void Dataset::fetchMore(int rows) {
    if (!m_more)
        return;
    QList<Row> page;
    int read = 0;
    int limit = rows;
    bool ok = false;
    if (!m_cursor.isEmpty()) {
        QHash<QString, QVariant> after;
        const QString sql = afterText(rows, &after);
        ok = readRows(sql, after, &page, &read, false);
        m_consumed += read;
    } else {
        // Without a key to follow, a few rows before the page are read again: rows deleted since the
        // last page move the rest up, and the overlap keeps them from slipping past.
        const int overlap = keyed() ? qMin(kOverlap, m_consumed) : 0;
        const int start = m_consumed - overlap;
        limit = rows < 0 ? -1 : rows + overlap;
        ok = readRows(pageText(start, limit), {}, &page, &read, false);
        m_consumed = start + read;
    }
    if (!ok) {
        failRead(m_lastError);
        return;
    }
    m_more = limit >= 0 && read >= limit;
    if (!page.isEmpty())
        m_after = cursorValues(page.last());
    dropHeld(page);
    if (!page.isEmpty()) {
        const int from = int(m_rows.size());
        const int to = from + int(page.size()) - 1;
        Q_EMIT rowsAboutToBeFetched(from, to);
        m_rows.append(std::move(page));
        if (m_current >= 0)
            m_eof = false;
        Q_EMIT rowsFetched(from, to);
    }
    if (!m_more || (m_counted && m_rows.size() > m_total))
        m_total = int(m_rows.size());
    m_counted = m_counted || !m_more;
}

bool Dataset::fetchAll() {
    fetchMore(-1);
    return !m_readFailed;
}

void Dataset::ensureFetched(int row) {
    while (m_more && row >= m_rows.size())
        fetchMore(qMax(kFetchBatch, row + 1 - int(m_rows.size())));
}

void Dataset::resetRows(const std::function<void()>& change) {
    Q_EMIT rowsAboutToBeReset();
    change();
    Q_EMIT rowsReset();
}

bool Dataset::open() {
    if (isOpen())
        return true;
    m_lastError.clear();
    bool ok = false;
    resetRows([&] {
        ok = load(kFetchBatch);
        if (ok)
            m_state = State::Browse;
        else
            m_rows.clear();
    });
    if (!ok)
        return false;
    setCurrent(m_rows.isEmpty() ? -1 : 0);
    m_bof = true;
    Q_EMIT stateChanged();
    Q_EMIT afterOpen();
    return true;
}

void Dataset::close() {
    if (!isOpen())
        return;
    resetRows([this] {
        m_rows.clear();
        m_keys.clear();
        m_total = m_consumed = 0;
        m_more = false;
        m_counted = true;
        m_current = -1;
        m_bof = m_eof = true;
        m_state = State::Inactive;
    });
    Q_EMIT stateChanged();
    Q_EMIT afterClose();
}

bool Dataset::refresh() {
    if (!isOpen())
        return open();
    if (m_state != State::Browse)
        cancel();
    const QVariant key = keyOf(m_current);
    const int oldRow = m_current;
    // As many rows as were held, so a grid keeps its place.
    const int held = qMax(kFetchBatch, int(m_rows.size()));
    bool ok = false;
    resetRows([&] {
        m_current = -1;
        ok = load(held);
    });
    if (!ok) {
        setCurrent(m_rows.isEmpty() ? -1 : 0);
        return false;
    }
    int row = -1;
    for (int i = 0; key.isValid() && row < 0 && i < m_rows.size(); ++i) {
        if (keyOf(i) == key)
            row = i;
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
        q.bindValue(it.key(), bindable(q, it.value()));
    if (!q.exec()) {
        fail(q.lastError().text());
        return -1;
    }
    return q.numRowsAffected();
}

void Dataset::setCurrent(int row) {
    // Knowing whether a next row exists tells eof; a row being edited or inserted stays last.
    if (m_state == State::Browse)
        ensureFetched(row + 1);
    m_current = row;
    m_bof = row <= 0;
    m_eof = row < 0 || (row >= int(m_rows.size()) - 1 && !m_more);
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
        fetchAll(); // the operator asked for the last row: the whole result is read
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
    m_buffer = m_rows[m_current];
    m_changed = QList<bool>(m_fields.size(), false);
    setState(State::Edit);
}

void Dataset::append() {
    if (!isOpen())
        return;
    if (m_state != State::Browse && !post())
        return;
    // The new row goes after the rows read so far; the rest of the result is not read for it.
    m_savedCurrent = m_current;
    const int row = int(m_rows.size());
    Q_EMIT rowAboutToBeInserted(row);
    m_rows << Row(m_fields.size() + (m_hiddenKey >= 0 ? 1 : 0));
    if (m_counted)
        ++m_total;
    m_changed = QList<bool>(m_fields.size(), false);
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
        Q_EMIT rowAboutToBeRemoved(row);
        m_rows.removeAt(row);
        if (m_counted)
            --m_total;
        m_current = -1;
        Q_EMIT rowRemoved(row);
        setCurrent(m_rows.isEmpty() ? -1 : qBound(0, m_savedCurrent, int(m_rows.size()) - 1));
    }
    Q_EMIT stateChanged();
    Q_EMIT afterScroll();
    Q_EMIT afterCancel();
}

QString Dataset::keyColumn() const {
    return m_hiddenKey >= 0 ? SqlDialect::rowKey(m_connection(), m_updateTable) : m_keyField;
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
    const bool postgres = onPostgres(q);
    if (!q.prepare(postgres ? sql + QStringLiteral(" RETURNING ") + insertedKey() : sql))
        return fail(q.lastError().text());
    for (const QVariant& v : values)
        q.addBindValue(bindable(q, v));
    if (!q.exec())
        return fail(q.lastError().text());
    if (!postgres)
        return reloadRow(m_current, q.lastInsertId());
    return reloadRow(m_current, q.next() ? q.value(0) : QVariant());
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
        q.addBindValue(bindable(q, v));
    q.addBindValue(key);
    if (!q.exec())
        return fail(q.lastError().text());
    return true;
}

// The column by which an inserted row is read back: SQLite's rowid, or the table's key on PostgreSQL.
QString Dataset::insertedKey() const {
    return SqlDialect::rowKey(m_connection(), m_updateTable);
}

// Reads back an inserted row so that database defaults (keys, time stamps) show at once.
bool Dataset::reloadRow(int row, const QVariant& rowid) {
    QSqlQuery q(m_connection());
    q.prepare(QStringLiteral("SELECT %1 AS %2, * FROM %3 WHERE %1 = ?").arg(insertedKey(), kRowId, m_updateTable));
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
    bool numeric = false;
    const qint64 key = keyOf(row).toLongLong(&numeric);
    if (numeric && keyed())
        m_keys.insert(key); // a later page that reaches the stored row does not show it twice
    Q_EMIT rowChanged(row);
    return true;
}

bool Dataset::reloadKey(const QVariant& key) {
    if (!isOpen() || !keyed() || m_updateTable.isEmpty() || key.isNull())
        return false;
    for (int i = 0; i < m_rows.size(); ++i)
        if (keyOf(i) == key)
            return reloadRow(i, key);
    return false;
}

bool Dataset::remove() {
    if (!isOpen() || m_current < 0)
        return false;
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
    bool numeric = false;
    m_keys.remove(keyOf(row).toLongLong(&numeric));
    Q_EMIT rowAboutToBeRemoved(row);
    m_rows.removeAt(row);
    if (m_counted)
        --m_total;
    m_consumed = qMax(0, m_consumed - 1); // the rows after it moved up by one
    Q_EMIT rowRemoved(row);
    setCurrent(m_rows.isEmpty() ? -1 : qMin(row, int(m_rows.size()) - 1));
    Q_EMIT afterDelete();
    return true;
}
