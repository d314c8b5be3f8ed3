#pragma once

#include <QString>
#include <QTextStream>

class TADO;

// The opt-out list from the command line: `--opt-out-add NUMERO|EMAIL [--note TEXTO]`, `--opt-out-remove
// NUMERO|EMAIL` and `--opt-out-list`. Exit codes: 0 done, 1 not on the list (or the database refused), 2 a
// text that holds no address.
namespace OptOutCommand {

int add(TADO* ado, const QString& address, const QString& note, QTextStream& out, QTextStream& err);
int remove(TADO* ado, const QString& address, QTextStream& out, QTextStream& err);
// One line per entry, newest first: address, date, origin, slot, text (tab between them; control characters
// and line breaks of the text made blanks), and "(não normalizado)" after a number kept as written.
int list(TADO* ado, QTextStream& out, QTextStream& err);

} // namespace OptOutCommand
