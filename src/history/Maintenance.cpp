#include "history/Maintenance.h"

#include "store/StatusSink.h"
#include "store/TADO.h"

namespace Maintenance {
namespace {

struct TableInfo {
    const char* table;
    const char* key;
};

TableInfo info(Table table) {
    switch (table) {
    case Table::History:
        return {"dbHISTORICO", "ID_HISTORICO"};
    case Table::Contacts:
        return {"dbCLIENTE", "ID_CLIENTE"};
    case Table::Outbox:
        break;
    }
    return {"dbMENSAGEM", "ID"};
}

// Each statement runs alone on the scratch query, closed and cleared first.
QString exec(TADO* ado, const QStringList& lines, const QVariantHash& bindings = {}) {
    Dataset* q = ado->dbCONT;
    q->close();
    q->clearBindings();
    q->setSql(lines);
    for (auto it = bindings.cbegin(); it != bindings.cend(); ++it)
        q->bindValue(it.key(), it.value());
    return q->execSql() < 0 ? q->lastError() : QString();
}

QString clearAll(TADO* ado, Table table) {
    const TableInfo t = info(table);
    QString error = exec(ado, {QStringLiteral("DELETE FROM %1;").arg(QLatin1String(t.table))});
    if (error.isEmpty() && !ado->resetCounter(QLatin1String(t.table), &error) && error.isEmpty())
        error = QStringLiteral("O contador de %1 não pôde ser reiniciado.").arg(QLatin1String(t.table));
    return error;
}

} // namespace

int count(TADO* ado, Table table, QString* error) {
    const TableInfo t = info(table);
    Dataset* q = ado->dbCONT;
    q->close();
    q->clearBindings();
    q->setSql(QStringLiteral("SELECT COUNT(%1) AS TOTAL FROM %2").arg(QLatin1String(t.key), QLatin1String(t.table)));
    if (!q->open()) {
        if (error)
            *error = q->lastError();
        return -1;
    }
    const int n = q->integer("TOTAL");
    q->close();
    return n;
}

QString countText(Table table, int n) {
    switch (table) {
    case Table::History:
        return QStringLiteral("Total de Registros do Histórico: %1").arg(n);
    case Table::Contacts:
        return QStringLiteral("Total de Registros de Contatos: %1").arg(n);
    case Table::Outbox:
        break;
    }
    return QStringLiteral("Total de Mensagens na Caixa de Saída: %1").arg(n);
}

QString confirmationText(Table table) {
    switch (table) {
    case Table::History:
        return QStringLiteral("Ao excluir o histórico não poderá ser desfeito essa operação. Deseja continuar?");
    case Table::Contacts:
        return QStringLiteral("Ao excluir o contatos não poderá ser desfeito essa operação. Deseja continuar?");
    case Table::Outbox:
        break;
    }
    return QStringLiteral(
        "Ao excluir as mensagens na caixa de saída não poderá ser desfeito essa operação. Deseja continuar?");
}

QString clearHistory(TADO* ado) {
    return clearAll(ado, Table::History);
}

QString clearHistoryPeriod(TADO* ado, const QDate& from, const QDate& to) {
    return exec(ado, {"DELETE FROM dbHISTORICO", "WHERE (dbHISTORICO.DATA BETWEEN :Inicial and :Final)"},
                {{":Inicial", QString(from.toString("yyyy-MM-dd") + QStringLiteral(" 00:00:00"))},
                 {":Final", QString(to.toString("yyyy-MM-dd") + QStringLiteral(" 23:59:59"))}});
}

QString clearContacts(TADO* ado) {
    QString error = clearAll(ado, Table::Contacts);
    // The contact grid would otherwise keep showing (and editing) rows that are gone.
    if (error.isEmpty() && ado->dbCLIENTE->isOpen() && !ado->dbCLIENTE->refresh())
        error = ado->dbCLIENTE->lastError();
    return error;
}

QString clearOutbox(TADO* ado) {
    QString error = clearAll(ado, Table::Outbox);
    if (error.isEmpty() && !ado->dbMENSAGEM->refresh())
        error = ado->dbMENSAGEM->lastError();
    if (error.isEmpty())
        StatusSink::instance()->setPanel(StatusSink::Outbox, QStringLiteral("SMS para envio: 0"));
    return error;
}

} // namespace Maintenance
