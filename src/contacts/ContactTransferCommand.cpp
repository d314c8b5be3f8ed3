#include "contacts/ContactTransferCommand.h"

#include "contacts/ContactExport.h"
#include "contacts/ContactImport.h"
#include "contacts/ContactSearch.h"
#include "contacts/SpreadsheetWriter.h"
#include "contacts/TransferStatus.h"
#include "store/Dataset.h"
#include "store/Integrity.h"
#include "store/TADO.h"

namespace ContactTransferCommand {
namespace {

// Makes the group named `name` the current row of dbGRUPO (exact name first, then ignoring case).
bool chooseGroup(Dataset* dbGRUPO, const QString& name) {
    if (!dbGRUPO->isOpen() && !dbGRUPO->open())
        return false;
    if (dbGRUPO->locate("GRUPO", name))
        return true;
    const int column = dbGRUPO->fieldIndex("GRUPO");
    for (int row = 0; row < dbGRUPO->recordCount(); ++row) {
        if (dbGRUPO->valueAt(row, column).toString().compare(name, Qt::CaseInsensitive) == 0) {
            dbGRUPO->moveTo(row);
            return true;
        }
    }
    return false;
}

// Prints every status text as a line; no pause between rows.
void printTo(TransferStatus& status, QTextStream& out) {
    status.setWait({});
    QObject::connect(&status, &TransferStatus::textChanged, &status,
                     [&out](const QString& t) { out << t << Qt::endl; });
}

} // namespace

int runImport(TADO* ado, const Request& r, QTextStream& out, QTextStream& err) {
    if (!chooseGroup(ado->dbGRUPO, r.group)) {
        err << QStringLiteral("O grupo de contatos \"%1\" não existe.").arg(r.group) << Qt::endl;
        return 1;
    }
    TransferStatus status;
    printTo(status, out);
    ContactImport import(&status);
    const ContactImport::ReadResult read = import.read(r.file);
    if (read.outcome != ContactImport::ReadOutcome::Finished) {
        err << QString(read.error).replace('\r', '\n') << Qt::endl;
        return 1;
    }
    const ContactImport::SaveResult saved = import.save(ado, ContactImport::currentGroup(ado->dbGRUPO));
    if (!saved.ok()) {
        err << QStringLiteral("A linha %1 da planilha não foi gravada: %2").arg(saved.failedIndice).arg(saved.error)
            << Qt::endl
            << QStringLiteral("Contatos gravados antes dela: %1").arg(saved.saved) << Qt::endl;
        return 1;
    }
    if (saved.suppressed > 0)
        out << QStringLiteral("Descadastrados, importados desativados: %1").arg(saved.suppressed) << Qt::endl;
    out << QStringLiteral("Contatos importados: %1").arg(saved.saved) << Qt::endl;
    return 0;
}

int runExport(TADO* ado, const Request& r, QTextStream& out, QTextStream& err) {
    if (!SpreadsheetWriter::isSupported(r.file)) { // said before any contact is read
        err << SpreadsheetWriter::unsupportedText(r.file) << Qt::endl;
        return 2;
    }
    Dataset* clientes = ado->dbCLIENTE;
    clientes->close();
    clientes->clearBindings();
    clientes->setSql(ContactSearch::fullList());
    if (!clientes->open()) {
        err << Integrity::readErrorText(clientes->lastError()).replace('\r', '\n') << Qt::endl;
        return 1;
    }
    TransferStatus status;
    printTo(status, out);
    const ContactExport::Result result = ContactExport(&status).run(clientes, [&r] { return r.file; });
    if (result.outcome == ContactExport::Outcome::Failed) {
        err << QString(result.error).replace('\r', '\n') << Qt::endl;
        return 1;
    }
    return 0;
}

} // namespace ContactTransferCommand
