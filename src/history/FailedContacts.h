#pragma once

#include <QString>

class Dataset;
class TADO;

// "Desativar contatos com falha" / "Apagar contatos com falha": for each failed row of the history
// result set, disable or delete the contacts it was sent to. The recipient text only ever reaches
// the statement as a bound parameter.
namespace FailedContacts {

enum class Action { Disable, Delete };

struct Result {
    int failedRows = 0;      // rows with ENVIADO false that were acted on
    int skippedRows = 0;     // rows whose statement failed (skipped, as the operator is not told)
    int contactsChanged = 0; // contacts disabled or deleted
};

// The address an e-mail row was sent to: "(name) address" keeps the text after the last ") ".
QString emailAddressOf(const QString& destinatario);

// The questions the page asks before acting.
QString confirmationText(Action action);
inline const QString kEmptyResult = QStringLiteral("Sua busca não possui registros!");

// Walks `history` from its first row to its end. The statements run on `dbLIMPEZA`.
Result apply(TADO* ado, Dataset* history, Action action);

} // namespace FailedContacts
