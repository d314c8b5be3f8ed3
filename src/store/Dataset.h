#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>

class QSqlQuery;

// A snapshot of a table or a query with a current row, in the manner of the data-aware datasets the
// pages are built on: open/close, navigation, edit/append/post/cancel/delete and after-events.
// Edits go to the database through bound parameters on the dataset's update table.
//
// With a read connection (every dataset of the data module has one) rows are fetched as they are
// needed: opening reads the first screenful, grids fetch more as they scroll, and anything that
// needs the whole result (recordCount(), last(), an edit) reads the rest. The read runs on its own
// connection because an unfinished statement would hold back the commit of every write made on
// the same connection. Without one, the whole result is read on open.
class Dataset : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };
    using ConnectionFn = std::function<QSqlDatabase()>;

    Dataset(const QString& name, ConnectionFn connection, QObject* parent = nullptr);
    ~Dataset() override;

    // A table dataset: every row of the table, optionally ordered; edits update that table.
    void setTable(const QString& table, const QString& orderBy = {});
    // A query dataset: replaces its text (closing it first). Edits reach `updateTable` when set.
    void setSql(const QStringList& lines);
    void setSql(const QString& text) { setSql(QStringList{text}); }
    QString sqlText() const { return m_sql.join('\n'); }
    void setUpdateTable(const QString& table, const QString& keyField);
    void setReadConnection(ConnectionFn connection) { m_readConnection = std::move(connection); }
    void bindValue(const QString& placeholder, const QVariant& value);
    void clearBindings() { m_bindings.clear(); }

    bool open();
    void close();
    bool refresh(); // re-reads keeping the current position where possible
    int execSql();  // runs the text as a command; rows affected, or -1 with lastError()
    bool isOpen() const { return m_state != State::Inactive; }
    State state() const { return m_state; }
    QString lastError() const { return m_lastError; }
    QString name() const { return objectName(); }

    // The whole result's row count (reads what was not fetched yet).
    int recordCount() const;
    bool isEmpty() const { return m_rows.isEmpty(); }
    int fetchedCount() const { return int(m_rows.size()); }
    bool canFetchMore() const { return m_cursor != nullptr; }
    void fetchMore(int rows = kFetchBatch);
    void fetchAll();
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
    void rowsReset();
    void rowChanged(int row);
    void rowInserted(int row);
    void rowRemoved(int row);
    void rowsAboutToBeFetched(int first, int last);
    void rowsFetched(int first, int last);

private:
    bool load();
    void finishCursor();
    void ensureFetched(int row);
    bool postInsert();
    bool postEdit();
    bool reloadRow(int row, const QVariant& key);
    QString keyColumn() const;
    QVariant keyOf(int row) const;
    void setCurrent(int row);
    void setState(State s);
    bool fail(const QString& error);

    ConnectionFn m_connection;
    ConnectionFn m_readConnection;
    std::unique_ptr<QSqlQuery> m_cursor; // the unfinished read, while rows are left to fetch
    int m_cursorColumns = 0;
    bool m_silentFetch = false;
    QString m_table;
    QString m_orderBy;
    QStringList m_sql;
    QString m_updateTable;
    QString m_keyField;
    QHash<QString, QVariant> m_bindings;

    QStringList m_fields;          // visible fields
    int m_hiddenKey = -1;          // column index of the hidden rowid (table datasets)
    QList<QList<QVariant>> m_rows; // visible fields, plus the hidden key at the end when present
    QList<QVariant> m_buffer;      // the row being edited or inserted
    QList<bool> m_changed;
    int m_current = -1;
    int m_savedCurrent = -1; // position before append
    bool m_bof = true;
    bool m_eof = true;
    State m_state = State::Inactive;
    QString m_lastError;
};
