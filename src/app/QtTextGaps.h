#pragma once

#include <QTranslator>

// Qt's own texts that its Brazilian Portuguese catalogue leaves in English: the file types of the
// file dialog ("Folder", "Drive", "%1 File", ...). Installed after the catalogue, so it is asked first
// and answers only these.
class QtTextGaps : public QTranslator {
    Q_OBJECT
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override;
    bool isEmpty() const override { return false; }
};
