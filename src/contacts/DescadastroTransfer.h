#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "contacts/SpreadsheetWriter.h"
#include "optout/SuppressionList.h"

class TADO;

// The opt-out list to and from files and pasted text, for the page "Descadastrados": addresses pasted (one
// per line, or separated by commas, semicolons or tabs), read from a spreadsheet or text file (every cell
// that is a phone number or an e-mail; names and other texts are left out), and the list written as .xlsx.
namespace DescadastroTransfer {

// The addresses of a pasted text, in order, each once as written (blank ones dropped).
QStringList splitPasted(const QString& text);

// Adds the pasted addresses with the operator's note, in one transaction; `unusable` of the result names
// what holds no address.
SuppressionList::AddResult addPasted(TADO* ado, const QString& text, const QString& note);

// Adds every phone number and e-mail of the file (origin "IMPORTAÇÃO", the file's name as the text), in one
// transaction. `error` holds the reader's text when the file cannot be read.
SuppressionList::AddResult importFile(TADO* ado, const QString& path);

// The rows of the export: a title row, then address, date, origin, slot, text.
QList<QStringList> exportRows(const QList<SuppressionList::Entry>& entries);
// Writes the whole list to path (.xlsx or .xls by its extension), whole or not at all.
SpreadsheetWriteResult exportFile(TADO* ado, const QString& path);

// "Incluídos: a  Já na lista: b  Contatos desativados: c" (and "Sem endereço: d" when some were not).
QString summary(const SuppressionList::AddResult& r);

} // namespace DescadastroTransfer
