#include "history/FailedContacts.h"

#include "store/SqlDialect.h"
#include "store/SqlFunctions.h"
#include "store/TADO.h"

namespace FailedContacts {
namespace {

// A phone matches exactly, so every contact with that number is found and no '%' or '_' in the
// recipient widens the match. An address matches without regard to case (Unicode-aware LIKE with
// its wildcards escaped).
QStringList statementFor(const QSqlDatabase& db, Action action, bool sms) {
    const QString head = action == Action::Disable ? QStringLiteral("UPDATE dbCLIENTE SET DESATIVADO = 1")
                                                   : QStringLiteral("DELETE FROM dbCLIENTE");
    const QString where = sms ? QStringLiteral("WHERE FONE = :Destino")
                              : QStringLiteral("WHERE ") + SqlDialect::foldedLike(db, "EMAIL", ":Destino");
    return {head, where};
}

int runRow(Dataset* scratch, Action action, const QString& tipo, const QString& destinatario) {
    const bool sms = tipo == QLatin1String("SMS");
    scratch->close();
    scratch->setSql(QStringList{});
    scratch->clearBindings();
    scratch->setSql(statementFor(scratch->database(), action, sms));
    scratch->bindValue(":Destino", sms ? destinatario : SqlFunctions::escapeLike(emailAddressOf(destinatario)));
    return scratch->execSql();
}

} // namespace

QString emailAddressOf(const QString& destinatario) {
    const int at = destinatario.lastIndexOf(QStringLiteral(") "));
    const QString address = at < 0 ? destinatario : destinatario.mid(at + 2);
    return address.trimmed();
}

QString confirmationText(Action action) {
    return action == Action::Disable
               ? QStringLiteral("Deseja desabilitar os contatos com falha no envio desta lista?")
               : QStringLiteral("Deseja apagar os contatos com falha no envio desta lista?\rEsta operação não pode "
                                "ser desfeita depois!");
}

Result apply(TADO* ado, Dataset* history, Action action) {
    Result r;
    // Nothing is changed from part of the list: a page that cannot be read stops it (the dataset says why).
    if (!history->isOpen() || !history->fetchAll())
        return r;
    history->first();
    while (true) {
        if (!history->isEmpty() && !history->boolean("ENVIADO")) {
            const QString tipo = history->text("TIPO");
            const QString destino = history->text("DESTINATARIO");
            // An empty phone or address would select every contact that has none.
            const bool blank = tipo == QLatin1String("SMS") ? destino.isEmpty() : emailAddressOf(destino).isEmpty();
            const int n = blank ? -1 : runRow(ado->dbLIMPEZA, action, tipo, destino);
            if (n < 0) {
                ++r.skippedRows;
            } else {
                ++r.failedRows;
                r.contactsChanged += n;
            }
        }
        if (history->eof())
            break;
        history->next();
    }
    return r;
}

} // namespace FailedContacts
