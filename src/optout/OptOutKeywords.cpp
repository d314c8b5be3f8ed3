#include "optout/OptOutKeywords.h"

const char* const OptOutKeywords::kDefault = "SAIR, PARE, STOP, CANCELAR, DESCADASTRAR, REMOVER";

namespace {

bool isBlank(QChar c) {
    return c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
}

bool isTrailingMark(QChar c) {
    return c.isPunct() || c.isSymbol() || isBlank(c);
}

} // namespace

OptOutKeywords::OptOutKeywords(const QString& setting) {
    for (const QString& part : setting.split(QLatin1Char(','))) {
        const QString word = fold(part);
        if (!word.isEmpty() && !m_words.contains(word))
            m_words << word;
    }
}

QString OptOutKeywords::fold(const QString& text) {
    const QString decomposed = text.left(kMaxChars).normalized(QString::NormalizationForm_KD);
    QString out;
    out.reserve(decomposed.size());
    bool space = false;
    for (QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing || c.category() == QChar::Mark_Enclosing)
            continue;
        if (isBlank(c)) {
            space = !out.isEmpty();
            continue;
        }
        if (space)
            out += QLatin1Char(' ');
        space = false;
        out += c;
    }
    while (!out.isEmpty() && isTrailingMark(out.back()))
        out.chop(1);
    return out.toCaseFolded();
}

OptOutKeywords::Verdict OptOutKeywords::judge(const QString& text) const {
    const QString folded = fold(text);
    if (folded.isEmpty())
        return Verdict::None;
    if (text.size() <= kMaxChars && m_words.contains(folded))
        return Verdict::OptOut;
    // A mention: the keyword as a whole word of the text.
    for (const QString& word : m_words) {
        for (qsizetype at = folded.indexOf(word); at >= 0; at = folded.indexOf(word, at + 1)) {
            const qsizetype end = at + word.size();
            const bool startsWord = at == 0 || !folded.at(at - 1).isLetterOrNumber();
            const bool endsWord = end == folded.size() || !folded.at(end).isLetterOrNumber();
            if (startsWord && endsWord)
                return Verdict::Mention;
        }
    }
    return Verdict::None;
}
