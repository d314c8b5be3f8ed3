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

// One pass: replaces every occurrence of `placeholder` (ASCII, compared without case) scanning
// left to right; an inserted value is not searched again in this pass.
QString replacePass(const QString& text, const QString& placeholder, const QString& value);

// Runs the fourteen passes in order on the evolving text. Every field must exist in the recipient
// set, whether or not the template uses it; otherwise false with the data layer's error text.
bool apply(const QString& templ, const FieldLookup& lookup, QString* out, QString* error = nullptr);

// The error text of a missing recipient field.
QString missingFieldError(const QString& field);

} // namespace Merge

// The characters '0'..'9' of `text`, in order.
QString SomenteNumeros(const QString& text);
