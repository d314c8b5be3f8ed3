#include "mail/EmailPreviewView.h"

#include <QDir>
#include <QTemporaryFile>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

// Keeps the preview on the template: a click on a link of the newsletter does not navigate the view away.
class PreviewPage : public QWebEnginePage {
public:
    PreviewPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        if (type == NavigationTypeLinkClicked)
            return false;
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }
};

// setHtml carries the document in a data: address, which the browser limits to 2 MB.
constexpr qsizetype kInlineLimit = 2 * 1000 * 1000;

} // namespace

EmailPreviewView::EmailPreviewView(QWidget* parent)
    : QWidget(parent), m_profile(new QWebEngineProfile), m_view(new QWebEngineView(this)) {
    auto* page = new PreviewPage(m_profile, m_view);
    QWebEngineSettings* s = page->settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    m_view->setPage(page);
    m_view->setContextMenuPolicy(Qt::NoContextMenu);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    connect(m_view, &QWebEngineView::loadFinished, this, &EmailPreviewView::loadFinished);
}

EmailPreviewView::~EmailPreviewView() {
    // The page must go before the profile it was made with.
    delete m_view;
    delete m_profile;
}

void EmailPreviewView::loadHtml(const QString& html) {
    const QByteArray utf8 = html.toUtf8();
    if (utf8.size() < kInlineLimit) {
        m_view->setHtml(html, QUrl(QStringLiteral("about:blank")));
        return;
    }
    delete m_largeDocument;
    m_largeDocument = new QTemporaryFile(QDir::tempPath() + QStringLiteral("/vestral-preview-XXXXXX.html"), this);
    if (!m_largeDocument->open()) {
        m_view->setHtml(QString());
        return;
    }
    m_largeDocument->write("\xEF\xBB\xBF"); // the byte order mark makes the file read as UTF-8
    m_largeDocument->write(utf8);
    m_largeDocument->flush();
    m_view->load(QUrl::fromLocalFile(m_largeDocument->fileName()));
}
