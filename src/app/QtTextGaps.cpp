#include "app/QtTextGaps.h"

#include <QLatin1StringView>

QString QtTextGaps::translate(const char* context, const char* sourceText, const char*, int) const {
    if (!context || !sourceText || QLatin1StringView(context) != QLatin1StringView("QAbstractFileIconProvider"))
        return {};
    static const struct {
        const char* english;
        const char* portuguese;
    } texts[] = {{"Folder", "Pasta"},    {"Drive", "Unidade"},        {"File Folder", "Pasta"},  {"Alias", "Atalho"},
                 {"Shortcut", "Atalho"}, {"Unknown", "Desconhecido"}, {"%1 File", "Arquivo %1"}, {"File", "Arquivo"}};
    for (const auto& t : texts)
        if (QLatin1StringView(sourceText) == QLatin1StringView(t.english))
            return QString::fromUtf8(t.portuguese);
    return {};
}
