#pragma once

#include <QDate>
#include <QString>

class TADO;

// "Manutenção do Banco de Dados": record counts and the bulk deletions of the history, the
// contacts and the SMS outbox. Counts and deletions run on `dbCONT`. Every function returns an
// empty string on success, else the database error's text.
namespace Maintenance {

enum class Table { History, Contacts, Outbox };

// COUNT over the table's key column, read from the result column TOTAL; -1 with *error on failure.
int count(TADO* ado, Table table, QString* error = nullptr);
// The page's label for a count: "Total de Registros do Histórico: N" and so on.
QString countText(Table table, int count);
// The question asked before each deletion.
QString confirmationText(Table table);

// Deletes every row and restarts the key counter at 1.
QString clearHistory(TADO* ado);
// Deletes the history of the whole days `from` to `to` (00:00:00 to 23:59:59); numbering goes on.
QString clearHistoryPeriod(TADO* ado, const QDate& from, const QDate& to);
// Deletes every contact, restarts the key counter and reloads the contact list.
QString clearContacts(TADO* ado);
// Deletes the whole outbox, restarts the key counter and reloads the outbox dataset.
QString clearOutbox(TADO* ado);

} // namespace Maintenance
