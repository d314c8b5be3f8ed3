#pragma once

#include <QString>
#include <QStringList>

// The words of a received SMS that ask for no more messages (dbCFG.PALAVRAS_SAIR, comma separated). A text
// opts out when the whole of it is one of them, after trimming, folding case and accents and dropping final
// punctuation ("Sair", "SAIR!!!", " sáir. ", "STOP\r\n"). A text that only holds one inside a sentence ("não
// quero sair") does not opt out: it is a mention, shown to the operator.
class OptOutKeywords {
public:
    enum class Verdict {
        None,    // nothing to do with leaving the list
        OptOut,  // the whole text is a keyword
        Mention, // a keyword stands as a word inside a longer text
    };

    static const char* const kDefault; // "SAIR, PARE, STOP, CANCELAR, DESCADASTRAR, REMOVER"
    // The longest text judged; a longer one is never a keyword and is searched up to this bound.
    static constexpr int kMaxChars = 4096;

    explicit OptOutKeywords(const QString& setting = QString::fromUtf8(kDefault));

    Verdict judge(const QString& text) const;
    const QStringList& words() const { return m_words; }

    // Case and accents folded, blanks and control characters made one space, trimmed, final punctuation
    // (and symbols such as "+" left by a modem's listing) dropped.
    static QString fold(const QString& text);

private:
    QStringList m_words; // folded, non-empty
};
