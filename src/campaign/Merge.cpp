#include "campaign/Merge.h"

#include <array>

namespace Merge {

const QStringList& placeholders() {
    static const QStringList p{"[NOME]",   "[TELEFONE]", "[EMAIL]",  "[TEXTO]",  "[TEXTO0]", "[TEXTO1]", "[TEXTO2]",
                               "[TEXTO3]", "[TEXTO4]",   "[TEXTO5]", "[TEXTO6]", "[TEXTO7]", "[TEXTO8]", "[TEXTO9]"};
    return p;
}

const QStringList& fields() {
    static const QStringList f{"NOME",   "TELEFONE", "EMAIL",  "TEXTO",  "TEXTO0", "TEXTO1", "TEXTO2",
                               "TEXTO3", "TEXTO4",   "TEXTO5", "TEXTO6", "TEXTO7", "TEXTO8", "TEXTO9"};
    return f;
}

namespace {

// Upper-cases ASCII letters only: the placeholders are ASCII, and no other character may match
// one of their letters.
inline char16_t asciiUpper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? char16_t(c - (u'a' - u'A')) : c;
}

bool matchesAt(const QChar* text, qsizetype avail, const QString& placeholder) {
    const qsizetype n = placeholder.size();
    if (avail < n)
        return false;
    for (qsizetype i = 0; i < n; ++i) {
        if (asciiUpper(text[i].unicode()) != placeholder[i].unicode())
            return false;
    }
    return true;
}

} // namespace

QString cutAt(const QString& text, qsizetype max) {
    if (text.size() <= max)
        return text;
    qsizetype n = max;
    if (n > 0 && text.at(n - 1).isHighSurrogate())
        --n;
    return text.left(n);
}

namespace {

// Appends at most `bound - out.size()` units of `data`, never the first half of a surrogate pair;
// false when `data` did not fit whole.
bool appendWithin(QString& out, const QChar* data, qsizetype size, qsizetype bound) {
    qsizetype n = qMin(size, bound - out.size());
    const bool whole = n == size;
    if (!whole && n > 0 && data[n - 1].isHighSurrogate())
        --n;
    out.append(data, n);
    return whole;
}

} // namespace

QString replacePass(const QString& text, const QString& placeholder, const QString& value, qsizetype bound, bool* cut) {
    const qsizetype size = text.size();
    const QChar* data = text.constData();
    qsizetype from = 0;
    qsizetype pos = text.indexOf(QLatin1Char('['));
    if (pos < 0)
        return text;
    QString out;
    bool replaced = false;
    while (pos >= 0 && pos < size) {
        if (matchesAt(data + pos, size - pos, placeholder)) {
            if (!replaced) {
                out.reserve(qMin(bound, size + value.size()));
                replaced = true;
            }
            // Whatever lies past the bound is not built at all.
            if (!appendWithin(out, data + from, pos - from, bound) ||
                !appendWithin(out, value.constData(), value.size(), bound)) {
                if (cut)
                    *cut = true;
                return out;
            }
            from = pos + placeholder.size();
            pos = text.indexOf(QLatin1Char('['), from);
        } else {
            pos = text.indexOf(QLatin1Char('['), pos + 1);
        }
    }
    if (!replaced)
        return text;
    if (!appendWithin(out, data + from, size - from, bound) && cut)
        *cut = true;
    return out;
}

QString missingFieldError(const QString& field) {
    return QStringLiteral("DBQuery: Field '%1' not found").arg(field);
}

bool apply(const QString& templ, const FieldLookup& lookup, QString* out, QString* error, qsizetype bound, bool* cut) {
    const QStringList& names = fields();
    const QStringList& marks = placeholders();
    bool wasCut = templ.size() > bound;
    QString text = cutAt(templ, bound);
    QString value;
    for (qsizetype i = 0; i < names.size(); ++i) {
        value.clear();
        if (!lookup(names[i], &value)) {
            if (error)
                *error = missingFieldError(names[i]);
            return false;
        }
        text = replacePass(text, marks[i], value, bound, &wasCut);
    }
    *out = text;
    if (cut)
        *cut = wasCut;
    return true;
}

} // namespace Merge

QString SomenteNumeros(const QString& text) {
    QString digits;
    digits.reserve(text.size());
    for (QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits.append(c);
    }
    return digits;
}
