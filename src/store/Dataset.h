#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QStringList>
#include <QVariant>
#include <functional>

// A snapshot of a table or a query with a current row, in the manner of the data-aware datasets the
// pages are built on: open/close, navigation, edit/append/post/cancel/delete and after-events.
// Rows are read in full on open (the snapshot knows its record count); edits go to the database
// through bound parameters on the dataset's update table.
class Dataset : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };
    using ConnectionFn = std::function<QSqlDatabase()>;

    Dataset(const QString& name, ConnectionFn connection, QObject* parent = nullptr);

    // A table dataset: every row of the table, optionally ordered; edits update that table.
    void setTable(const QString& table, const QString& orderBy = {});
    // A query dataset: replaces its text (closing it first). Edits reach `updateTable` when set.
    void setSql(const QStringList& lines);
    void setSql(const QString& text) { setSql(QStringList{text}); }
    QString sqlText() const { return m_sql.join('\n'); }
    void setUpdateTable(const QString& table, const QString& keyField);
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

    int recordCount() const { return int(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }
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

private:
    bool load();
    bool postInsert();
    bool postEdit();
    bool reloadRow(int row, const QVariant& key);
    QString keyColumn() const;
    QVariant keyOf(int row) const;
    void setCurrent(int row);
    void setState(State s);
    bool fail(const QString& error);

    ConnectionFn m_connection;
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
