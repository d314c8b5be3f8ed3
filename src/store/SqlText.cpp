#include "store/SqlText.h"

namespace SqlText {
namespace {

bool wordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

// Index just past a quoted run or comment starting at i, or i when none starts there.
qsizetype skipQuotedOrComment(const QString& s, qsizetype i) {
    const QChar c = s[i];
    const QChar next = i + 1 < s.size() ? s[i + 1] : QChar();
    if (c == QLatin1Char('-') && next == QLatin1Char('-')) {
        const qsizetype end = s.indexOf(QLatin1Char('\n'), i);
        return end < 0 ? s.size() : end + 1;
    }
    if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
        const qsizetype end = s.indexOf(QLatin1String("*/"), i + 2);
        return end < 0 ? s.size() : end + 2;
    }
    QChar close;
    if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`'))
        close = c;
    else if (c == QLatin1Char('['))
        close = QLatin1Char(']');
    else
        return i;
    for (qsizetype j = i + 1; j < s.size(); ++j) {
        if (s[j] != close)
            continue;
        if (close != QLatin1Char(']') && j + 1 < s.size() && s[j + 1] == close) {
            ++j; // a doubled quote stands for itself
            continue;
        }
        return j + 1;
    }
    return s.size();
}

QString trimmedBody(const QString& sql) {
    qsizetype end = sql.size();
    while (end > 0 && (sql[end - 1].isSpace() || sql[end - 1] == QLatin1Char(';')))
        --end;
    qsizetype start = 0;
    while (start < end && sql[start].isSpace())
        ++start;
    return sql.mid(start, end - start);
}

// The next top-level word at or after i (its start in *at), skipping blanks, quotes and comments.
QString nextWord(const QString& s, qsizetype i, qsizetype* at) {
    while (i < s.size()) {
        const qsizetype skipped = skipQuotedOrComment(s, i);
        if (skipped != i) {
            i = skipped;
        } else if (s[i].isSpace()) {
            ++i;
        } else {
            break;
        }
    }
    qsizetype end = i;
    while (end < s.size() && wordChar(s[end]))
        ++end;
    *at = i;
    return s.mid(i, end - i);
}

// The name of a plain or quoted identifier at the start of `s` (its length in *used), empty when none.
QString identifierAt(const QString& s, qsizetype* used) {
    *used = 0;
    if (s.isEmpty())
        return {};
    const QChar c = s[0];
    if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('[')) {
        const qsizetype end = skipQuotedOrComment(s, 0);
        const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
        if (end < 2 || s[end - 1] != close)
            return {};
        *used = end;
        QString name = s.mid(1, end - 2);
        if (close != QLatin1Char(']'))
            name.replace(QString(2, close), QString(close));
        return name;
    }
    if (!wordChar(c) || c.isDigit())
        return {};
    qsizetype end = 1;
    while (end < s.size() && wordChar(s[end]))
        ++end;
    *used = end;
    return s.left(end);
}

// One ORDER BY term: [table.]column [ASC|DESC].
bool orderTerm(QString text, OrderTerm* term) {
    text = text.trimmed();
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString last = words.isEmpty() ? QString() : words.last().toUpper();
    term->descending = last == QLatin1String("DESC");
    if (words.size() > 1 && (term->descending || last == QLatin1String("ASC")))
        text = text.left(text.lastIndexOf(QLatin1Char(' '))).trimmed();
    qsizetype used = 0;
    QString name = identifierAt(text, &used);
    if (!name.isEmpty() && used < text.size() && text[used] == QLatin1Char('.')) {
        text = text.mid(used + 1);
        name = identifierAt(text, &used);
    }
    term->column = name;
    return !name.isEmpty() && used == text.size();
}

} // namespace

bool orderTerms(const Shape& shape, QList<OrderTerm>* terms) {
    terms->clear();
    if (shape.hasLimit)
        return false;
    if (shape.orderBy < 0)
        return true;
    const QString& s = shape.body;
    qsizetype i = shape.orderBy + 5; // past ORDER
    qsizetype byAt = 0;
    nextWord(s, i, &byAt);
    i = byAt + 2; // past BY
    int depth = 0;
    qsizetype start = i;
    for (; i <= s.size(); ++i) {
        if (i < s.size()) {
            const qsizetype skipped = skipQuotedOrComment(s, i);
            if (skipped != i) {
                i = skipped - 1;
                continue;
            }
            depth += s[i] == QLatin1Char('(') ? 1 : s[i] == QLatin1Char(')') ? -1 : 0;
            if (depth != 0 || s[i] != QLatin1Char(','))
                continue;
        }
        OrderTerm term;
        QString text = s.mid(start, i - start);
        text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\t'), QLatin1Char(' '));
        if (!orderTerm(text, &term))
            return false;
        *terms << term;
        start = i + 1;
    }
    return true;
}

Shape shapeOf(const QString& sql) {
    Shape shape;
    shape.body = trimmedBody(sql);
    const QString& s = shape.body;
    int depth = 0;
    bool first = true;
    for (qsizetype i = 0; i < s.size();) {
        const qsizetype skipped = skipQuotedOrComment(s, i);
        if (skipped != i) {
            i = skipped;
            continue;
        }
        const QChar c = s[i];
        if (c == QLatin1Char('(') || c == QLatin1Char(')')) {
            depth += c == QLatin1Char('(') ? 1 : -1;
            ++i;
            continue;
        }
        if (!wordChar(c) || (i > 0 && wordChar(s[i - 1]))) {
            ++i;
            continue;
        }
        qsizetype at = i;
        const QString word = nextWord(s, i, &at).toUpper();
        i = at + qMax<qsizetype>(1, word.size());
        if (first) {
            shape.select =
                word == QLatin1String("SELECT") || word == QLatin1String("WITH") || word == QLatin1String("VALUES");
            first = false;
        }
        if (depth != 0)
            continue;
        if (word == QLatin1String("LIMIT")) {
            shape.hasLimit = true;
        } else if (word == QLatin1String("ORDER")) {
            qsizetype byAt = 0;
            if (nextWord(s, i, &byAt).compare(QLatin1String("BY"), Qt::CaseInsensitive) == 0)
                shape.orderBy = at;
        }
    }
    return shape;
}

bool pageable(const Shape& shape) {
    return shape.select && !shape.hasLimit;
}

QString countStatement(const Shape& shape) {
    const QString rows = shape.orderBy >= 0 && !shape.hasLimit ? shape.body.left(shape.orderBy) : shape.body;
    // The alias: PostgreSQL wants a name for every subquery in FROM; SQLite takes it.
    return QStringLiteral("SELECT COUNT(*) FROM (\n%1\n) AS contagem").arg(rows);
}

} // namespace SqlText
