#pragma once

#include <QList>
#include <QString>
#include <QVariant>

class Dataset;
class TADO;

// The criteria of the contacts list: each one replaces the whole query of dbCLIENTE and reopens
// it, ordered by name; only the last criterion applies. The operator's text is bound as a
// parameter and searched literally ("%", "_" and quotes are plain characters), without case,
// accented letters included.
class ContactSearch {
public:
    struct Box {
        const char* label;
        const char* column;
    };
    // The fourteen search boxes, in screen order.
    static const QList<Box>& boxes();
    enum Status { Todos = 0, Ativado = 1, Desativado = 2 };

    explicit ContactSearch(Dataset* dbCLIENTE) : m_dataset(dbCLIENTE) {}

    // Text found anywhere in one of the boxes' columns; empty text lists everyone.
    bool searchColumn(const QString& column, const QString& text);
    bool byStatus(int status);
    // Ticked with a chosen group: that group only; otherwise everyone.
    bool byGroup(bool ticked, const QVariant& idGrupo);
    bool showAll();

    // The database's error text of the last failed reopen (the list then stays closed).
    QString lastError() const { return m_error; }

    static const QStringList& fullList();

    // "Apagar Todos os Contatos": empties dbCLIENTE and restarts its numbering. The list is not
    // reopened. A failed restart leaves the contacts deleted and reports the error.
    static bool deleteAllContacts(TADO* ado, QString* error);

private:
    bool reopen(const QString& where, const QVariant& bound = {});

    Dataset* m_dataset;
    QString m_error;
};
