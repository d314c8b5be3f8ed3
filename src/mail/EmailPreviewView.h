#pragma once

#include <QWidget>

class QTemporaryFile;
class QVBoxLayout;
class QWebEngineProfile;
class QWebEngineView;

// The e-mail preview: an embedded browser view showing an HTML text as a mail program would, with scripts
// off and links not followed. It has its own private, memory-only browser profile, released after the view.
class EmailPreviewView : public QWidget {
    Q_OBJECT
public:
    explicit EmailPreviewView(QWidget* parent = nullptr);
    ~EmailPreviewView() override;

    // WBLoadHTML: shows `html` as the current document, unchanged (an empty text gives an empty white page).
    void loadHtml(const QString& html);
    // The browser view; null until the first text is loaded.
    QWebEngineView* view() const { return m_view; }

Q_SIGNALS:
    void loadFinished(bool ok);

private:
    void createView();

    QVBoxLayout* m_layout;
    QWebEngineProfile* m_profile = nullptr;
    QWebEngineView* m_view = nullptr;
    QTemporaryFile* m_largeDocument = nullptr;
};
