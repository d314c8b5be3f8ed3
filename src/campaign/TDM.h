#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariant>

#include "campaign/Merge.h"

class TADO;

// The recipient set: a second data module with its own connection, loaded either from the local
// contacts joined with their groups ("Cadastro Local") or from an external source through ODBC
// ("Integração"), narrowed by a group/status filter, with the operator's row marks.
// It knows no widgets: the send pages and the command line both drive it.
class TDM : public QObject {
    Q_OBJECT
public:
    enum Source { CadastroLocal = 0, Integracao = 1 };
    enum Status { Todos = 0, Ativado = 1, Desativado = 2 };

    // Rows passing: every group when `anyGroup`, else GRUPO equal to `group`; and the status.
    struct Filter {
        bool active = false;
        bool anyGroup = true;
        QString group;
        int status = Todos;
    };

    static const QStringList& localQuery();
    static QString connectionErrorText(const QString& error);

    explicit TDM(TADO* ado, QObject* parent = nullptr);
    ~TDM() override;
    static TDM* instance();

    // Connects to the source and loads the set. On failure the set stays closed and `error`
    // holds the data layer's message (the page prefixes connectionErrorText).
    bool connectSource(Source source, QString* error = nullptr);
    bool isConnected() const;
    bool isOpen() const { return m_open; }
    Source source() const { return m_source; }
    void close();

    // The "Filtrar" action: does nothing (false) for the external source or an empty group text.
    // "TODOS" removes the group condition.
    bool filter(const QString& group, int status, Source pageSource);
    void setFilter(const Filter& filter);
    const Filter& currentFilter() const { return m_filter; }

    // Rows visible under the filter, in the set's order.
    int recordCount() const { return int(m_visible.size()); }
    const QStringList& fieldNames() const { return m_fields; }
    int fieldIndex(const QString& field) const;
    QVariant value(int row, int column) const;
    QVariant value(int row, const QString& field) const;
    // Field lookup of one visible row, for the merge: a copy of the row, unaffected by later
    // reloads or filters.
    Merge::FieldLookup fieldsOf(int row) const;

    int recNo() const { return m_current; }
    void moveTo(int row);

    bool isMarked(int row) const;
    void setMarked(int row, bool marked);
    void setMarks(const QList<int>& rows); // replaces every mark
    void markAll();                        // "Marcar Todos"
    void unmarkAll();                      // "Desmarcar Todos"
    void markFrom(int row);                // "Marcar Daqui!"
    QList<int> markedRows() const;         // visible rows, ascending

Q_SIGNALS:
    void rowsReset();    // loaded, closed or filtered
    void marksChanged(); // marks set from the logic (not by the grid)
    void currentChanged(int row);

private:
    bool openConnection(Source source, QString* error);
    bool load(const QString& sql, QString* error);
    bool passes(const QList<QVariant>& row) const;
    void applyFilter();
    void publishCount() const;

    TADO* m_ado;
    QString m_connectionName;
    Source m_source = CadastroLocal;
    bool m_open = false;
    QStringList m_fields;
    QHash<QString, int> m_index; // upper-case column name -> column
    QList<QList<QVariant>> m_rows;
    QList<int> m_visible; // visible row -> loaded row
    QList<bool> m_marked; // per loaded row
    int m_current = -1;
    Filter m_filter;
};
