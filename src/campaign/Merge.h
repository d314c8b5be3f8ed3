#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// The placeholder merge of the campaign texts ("[NOME]", "[TELEFONE]", ...) and the digit filter
// used on phone numbers. Both are pure and run once per recipient of large campaigns.
namespace Merge {

// Gives a recipient field as text by column name; returns false when the recipient set has no
// such column.
using FieldLookup = std::function<bool(const QString& field, QString* value)>;

// The placeholders in the order their passes run, and the field each one takes.
const QStringList& placeholders();
const QStringList& fields();

// How long a merged text may grow. Each pass searches the values inserted by the earlier ones, so a
// field holding placeholders multiplies the text pass after pass; past the bound the rest is cut
// off before it is built (the sender cuts far shorter anyway).
constexpr qsizetype kSmsBound = 10 * 160;    // ten times the longest text-mode SMS
constexpr qsizetype kEmailBound = 1'000'000; // an e-mail subject or body

// One pass: replaces every occurrence of `placeholder` (ASCII, compared without case) scanning
// left to right; an inserted value is not searched again in this pass. The result holds at most
// `bound` characters (without splitting a surrogate pair); the text given must not exceed it.
// `cut`, when given, is set when something was left out to keep the bound (and left alone otherwise).
QString replacePass(const QString& text, const QString& placeholder, const QString& value,
                    qsizetype bound = kEmailBound, bool* cut = nullptr);

// Runs the fourteen passes in order on the evolving text, never letting it grow past `bound`
// characters (a longer template is cut to the bound first). Every field must exist in the
// recipient set, whether or not the template uses it; otherwise false with the data layer's error
// text. `cut`, when given, tells whether the bound cut the text (the caller says so in its log).
bool apply(const QString& templ, const FieldLookup& lookup, QString* out, QString* error = nullptr,
           qsizetype bound = kEmailBound, bool* cut = nullptr);

// The first `max` UTF-16 units of `text`, without splitting a surrogate pair.
QString cutAt(const QString& text, qsizetype max);

// The error text of a missing recipient field.
QString missingFieldError(const QString& field);

} // namespace Merge

// The characters '0'..'9' of `text`, in order.
QString SomenteNumeros(const QString& text);
