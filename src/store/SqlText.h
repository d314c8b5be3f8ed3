#pragma once

#include <QList>
#include <QString>

// What a dataset needs to know about a SELECT text to read it a page at a time: whether it can
// take a LIMIT/OFFSET of its own, and the same rows without their ORDER BY (to count them).
// Only the top level of the text counts: parentheses, quoted names, string literals and comments
// are skipped, so an ORDER BY inside a subquery or a window is left alone.
namespace SqlText {

struct Shape {
    QString body;           // the text without trailing blanks and ';'
    bool select = false;    // starts with SELECT, WITH or VALUES
    bool hasLimit = false;  // a top-level LIMIT is already there
    qsizetype orderBy = -1; // where the top-level ORDER BY starts in body, or -1
};

Shape shapeOf(const QString& sql);

// True when pages can be read with " LIMIT n OFFSET m" appended to the body.
bool pageable(const Shape& shape);

// One term of a top-level ORDER BY that names a column: `NOME`, `dbCLIENTE.NOME`, `"NOME" DESC`.
struct OrderTerm {
    QString column; // the name alone, unquoted, without its table
    bool descending = false;
};
// The terms of the top-level ORDER BY. False when a term is anything else (an expression, a column
// number, COLLATE, NULLS FIRST/LAST) or the text has its own LIMIT; no ORDER BY: true and no terms.
bool orderTerms(const Shape& shape, QList<OrderTerm>* terms);

// "SELECT COUNT(*) FROM (<body without its ORDER BY>)": counting does not sort.
QString countStatement(const Shape& shape);

} // namespace SqlText
