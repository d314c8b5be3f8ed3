// libFuzzer target: contact data and a template through the placeholder merge. The fields come
// from spreadsheets and outside databases, so any text may hold placeholders of its own; the merge
// must end, stay within memory and never read out of bounds.
#include "campaign/Merge.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // NUL-separated: the template, then NOME, TELEFONE, EMAIL, TEXTO, TEXTO0..TEXTO9.
    const QList<QByteArray> parts =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)).split('\0');
    const QString templ = QString::fromUtf8(parts.value(0));
    const QStringList& fields = Merge::fields();
    const Merge::FieldLookup lookup = [&](const QString& field, QString* value) {
        const qsizetype at = fields.indexOf(field);
        *value = QString::fromUtf8(parts.value(at + 1));
        return at >= 0;
    };
    QString out;
    Merge::apply(templ, lookup, &out);
    SomenteNumeros(out);
    return 0;
}
