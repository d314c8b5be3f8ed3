#pragma once

#include <QSqlDatabase>
#include <QString>

namespace SqlFunctions {

// Replaces SQLite's ASCII-only LIKE on this connection with one that folds case across Unicode,
// so that "ângela" finds "Ângela" as the operator expects. Returns false when the driver
// does not expose its sqlite3 handle.
bool installUnicodeLike(const QSqlDatabase& db);

// The LIKE match itself ('%' any run, '_' one character, optional escape character).
bool likeMatch(const QString& pattern, const QString& text, QChar escape = QChar());

// Escapes '%', '_' and the escape character so the operator's text is matched literally
// inside a "LIKE ... ESCAPE '\'" pattern.
QString escapeLike(const QString& text, QChar escape = QLatin1Char('\\'));

} // namespace SqlFunctions
