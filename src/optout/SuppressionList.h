#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include "optout/OptOutAddress.h"

class TADO;
class SuppressionSet;

// dbDESCADASTRO, the opt-out list: one row per address that gets no more messages (ENDERECO: E.164, an
// e-mail in lower case, or a number kept as written), when (DATA), where from (ORIGEM: "SMS", "E-MAIL",
// "OPERADOR", "IMPORTAÇÃO"), the message or the operator's note (TEXTO) and the slot or station (ENTRADA).
// Adding disables every contact with that number or address; only an operator's removal takes an address
// off, and the removal is kept in the history (a row of type "Descadastro").
// Calls open no transaction of their own: a caller that adds many wraps them in one.
namespace SuppressionList {

inline const QString kOrigemSms = QStringLiteral("SMS");
inline const QString kOrigemEmail = QStringLiteral("E-MAIL");
inline const QString kOrigemOperador = QStringLiteral("OPERADOR");
inline const QString kOrigemImportacao = QStringLiteral("IMPORTAÇÃO");
inline const QString kHistoryType = QStringLiteral("Descadastro");

struct Entry {
    qint64 id = 0;
    QString endereco;
    QString data; // as stored, "yyyy-MM-dd HH:mm:ss"
    QString origem;
    QString texto;
    QString entrada;
    bool normalizado = false; // false: a number kept as written
};

struct Addition {
    QString address; // as given
    QString texto;
    QString entrada;
};

struct AddResult {
    int added = 0;            // new rows
    int already = 0;          // addresses the list held already
    int contactsDisabled = 0; // contacts that were active and are now disabled
    QStringList unusable;     // texts that hold no address (empty after trimming)
    QString error;            // the database's text; nothing after the refused row was done
    bool ok() const { return error.isEmpty(); }
};

// Adds each address (none twice) and disables the contacts the new rows name.
AddResult add(QSqlDatabase db, const QList<Addition>& additions, const QString& origem);
AddResult add(QSqlDatabase db, const QString& address, const QString& origem, const QString& texto = {},
              const QString& entrada = {});

enum class Removal { Removed, NotFound, Failed };
// Takes the address off the list and writes the history row "Removido da lista de descadastrados" (with the
// operator's note). Contacts stay disabled: enabling them again is the operator's own choice.
Removal remove(TADO* ado, const QString& address, const QString& note, QString* error);

// The rows whose address, origin or text contains `search` (all when empty), newest first.
bool list(QSqlDatabase db, const QString& search, QList<Entry>* out, QString* error);
// Whether the list holds the address (any spelling of the number).
bool contains(QSqlDatabase db, const QString& address, bool* found, QString* error);

// Disables every active contact whose FONE or EMAIL is in `set`; returns how many, -1 with `error`.
int disableContacts(QSqlDatabase db, const SuppressionSet& set, QString* error);

// Why a contact is disabled by the list: "Descadastrado em 10/12/2026 13:02:20 (SMS, entrada 1): Sair"; empty
// when neither its phone nor its e-mail is listed.
QString reasonFor(QSqlDatabase db, const QString& fone, const QString& email);

// What a build or a campaign logs for a recipient it leaves out (after the time stamp).
QString skipLogLine(const QString& address);
// "Descadastrados, não enviados: N", the run's summary line.
QString skippedSummary(int count);

} // namespace SuppressionList
