#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSqlDatabase>
#include <QStringList>
#include <QVariant>
#include <functional>

#include "store/SqlText.h"

// A table or a query with a current row, in the manner of the data-aware datasets the pages are
// built on: open/close, navigation, edit/append/post/cancel/delete and after-events. Edits go to
// the database through bound parameters on the dataset's update table.
//
// Rows are read a page at a time, each page by a statement that runs to its end before the call
// returns: SQLite keeps a connection's read snapshot while any statement on it is unfinished, so a
// statement left open between events would show every later read on that connection old data.
// Opening reads the first page; a longer result is counted with COUNT(*) when its count is first
// asked for (never when nobody asks); grids read more pages as they scroll; only what needs the whole result
// (fetchAll(), last()) reads the rest. A keyed result (a table, or a query with a key field) is read in its
// ORDER BY order then by key, each page starting after the last row read, so rows that other connections
// delete or insert between pages neither push rows past the grid nor repeat them. A page that repeats a row
// already held (a row whose order column was changed between pages) is read without that row.
class Dataset : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };
    using ConnectionFn = std::function<QSqlDatabase()>;

    Dataset(const QString& name, ConnectionFn connection, QObject* parent = nullptr);
    ~Dataset() override;

    // A table dataset: every row of the table, optionally ordered; edits update that table.
    void setTable(const QString& table, const QString& orderBy = {});
    // Only the table's rows that meet `condition` (bound with bindValue); set after setTable.
    void setTableFilter(const QString& condition) { m_tableFilter = condition; }
    // A query dataset: replaces its text (closing it first). Edits reach `updateTable` when set.
    void setSql(const QStringList& lines);
    void setSql(const QString& text) { setSql(QStringList{text}); }
    QString sqlText() const { return m_sql.join('\n'); }
    // The table the rows come from and edits go to (the table of a table dataset, else the update table).
    QString sourceTable() const { return m_table.isEmpty() ? m_updateTable : m_table; }
    void setUpdateTable(const QString& table, const QString& keyField);
    void bindValue(const QString& placeholder, const QVariant& value);
    void clearBindings() { m_bindings.clear(); }

    bool open();
    void close();
    bool refresh(); // re-reads keeping the current position where possible
    // Reads one held row again from the update table (its key is the table's rowid or INTEGER PRIMARY KEY), so a
    // change written by another statement shows without a new search; false when the row is not held.
    bool reloadKey(const QVariant& key);
    int execSql(); // runs the text as a command; rows affected, or -1 with lastError()
    bool isOpen() const { return m_state != State::Inactive; }
    State state() const { return m_state; }
    QString lastError() const { return m_lastError; }
    // The connection the dataset reads through on this thread (for the statements a store spells its way).
    QSqlDatabase database() const { return m_connection(); }
    QString name() const { return objectName(); }

    // The result's row count, read no row for it. A result held whole: its rows. A longer one:
    // COUNT(*) when this is first asked after an open or refresh (a failed count is a failed read,
    // see readFailed()), then plus the rows appended and less the rows deleted since.
    int recordCount() const;
    bool isEmpty() const { return m_rows.isEmpty(); }
    int fetchedCount() const { return int(m_rows.size()); }
    bool canFetchMore() const { return m_more; }
    void fetchMore(int rows = kFetchBatch);
    // Reads every row left; false when a read failed (lastError() says why, readFailed was sent).
    bool fetchAll();
    // A page read failed since the last open/refresh: the rows held are not the whole result.
    bool readFailed() const { return m_readFailed; }
    static constexpr int kFetchBatch = 256;
    int recNo() const { return m_current; } // 0-based, -1 when empty
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    void first();
    void last();
    void next();
    void prior();
    void moveTo(int row);
    bool locate(const QString& field, const QVariant& value);

    const QStringList& fieldNames() const { return m_fields; }
    int fieldIndex(const QString& field) const;
    QVariant value(const QString& field) const;
    QString text(const QString& field) const { return value(field).toString(); }
    int integer(const QString& field) const { return value(field).toInt(); }
    bool boolean(const QString& field) const;
    QVariant valueAt(int row, int column) const;
    void setValue(const QString& field, const QVariant& value);

    void edit();
    void append();
    bool post();
    void cancel();
    bool remove();

Q_SIGNALS:
    void afterOpen();
    void afterClose();
    void afterScroll();
    void afterInsert();
    void afterPost();
    void afterDelete();
    void afterRefresh();
    void afterCancel();
    void stateChanged();
    void fieldChanged(const QString& field);
    // Each change of the rows is announced before it is made and again once it is made.
    void rowsAboutToBeReset();
    void rowsReset();
    void rowChanged(int row);
    void rowAboutToBeInserted(int row);
    void rowInserted(int row);
    void rowAboutToBeRemoved(int row);
    void rowRemoved(int row);
    void rowsAboutToBeFetched(int first, int last);
    void rowsFetched(int first, int last);
    // A page could not be read: the operation that needed it stops (the text is the driver's).
    void readError(const QString& error);

private:
    using Row = QList<QVariant>;
    QString selectText() const;
    // A column the pages follow: its quoted name in the statement and its place in a row.
    struct Cursor {
        QString name;
        bool descending = false;
        int column = -1;
    };
    bool load(int firstPage);
    bool readFirstByKey(const SqlText::Shape& shape, int limit, QList<Row>* rows, int* read);
    QString quoted(const QString& name) const;
    QString nullsOrder(bool descending) const;
    QList<QVariant> cursorValues(const Row& row) const;
    QString pageText(int offset, int limit) const;
    QString afterText(int limit, QHash<QString, QVariant>* values) const;
    bool readRows(const QString& sql, const QHash<QString, QVariant>& extra, QList<Row>* rows, int* read,
                  bool setFields);
    void countRows();
    int countStored(); // COUNT(*) of the stored result, -1 on an error (lastError())
    QVariant keyOfRow(const Row& row) const;
    void dropHeld(QList<Row>& page);
    void resetRows(const std::function<void()>& change);
    void failRead(const QString& error);
    bool keyed() const;
    void ensureFetched(int row);
    bool postInsert();
    bool postEdit();
    bool reloadRow(int row, const QVariant& key);
    QString keyColumn() const;
    QString insertedKey() const;
    QVariant keyOf(int row) const;
    void setCurrent(int row);
    void setState(State s);
    bool fail(const QString& error);

    ConnectionFn m_connection;
    QString m_select;      // the text pages are read from, without LIMIT
    QString m_count;       // COUNT(*) of the same rows, empty when the text cannot be paged
    int m_total = 0;       // see recordCount()
    bool m_counted = true; // m_total holds the count (false: a longer result not counted yet)
    int m_consumed = 0;    // result rows read so far: the next page's OFFSET
    bool m_more = false;   // rows are left to read
    bool m_readFailed = false;
    QSet<qint64> m_keys;    // keys of the rows held, to drop a row a later page repeats
    QList<Cursor> m_cursor; // the order and key pages follow; empty: pages by OFFSET
    QString m_keysetFrom;   // the result as a subquery, and its order ending in the key
    QString m_keysetOrder;
    QList<QVariant> m_after; // the cursor columns of the last row read
    QString m_table;
    QString m_orderBy;
    QString m_tableFilter;
    QStringList m_sql;
    QString m_updateTable;
    QString m_keyField;
    QHash<QString, QVariant> m_bindings;

    QStringList m_fields;     // visible fields
    int m_hiddenKey = -1;     // column index of the hidden rowid (table datasets)
    QList<Row> m_rows;        // visible fields, plus the hidden key at the end when present
    QList<QVariant> m_buffer; // the row being edited or inserted
    QList<bool> m_changed;
    int m_current = -1;
    int m_savedCurrent = -1; // position before append
    bool m_bof = true;
    bool m_eof = true;
    State m_state = State::Inactive;
    QString m_lastError;
};
