#include "mail/EmailPreviewView.h"

#include <QDir>
#include <QTemporaryFile>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <unistd.h>

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

EmailPreviewView::EmailPreviewView(QWidget* parent) : QWidget(parent), m_layout(new QVBoxLayout(this)) {
    m_layout->setContentsMargins(0, 0, 0, 0);
}

EmailPreviewView::~EmailPreviewView() {
    // The page must go before the profile it was made with.
    delete m_view;
    delete m_profile;
}

// The browser starts with the first preview, not with the window.
void EmailPreviewView::createView() {
    // The browser's sandbox refuses to start as root (CI machines, containers).
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    m_profile = new QWebEngineProfile; // private and in memory only
    m_view = new QWebEngineView(this);
    auto* page = new PreviewPage(m_profile, m_view);
    QWebEngineSettings* s = page->settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    m_view->setPage(page);
    m_view->setContextMenuPolicy(Qt::NoContextMenu);
    m_layout->addWidget(m_view);
    connect(m_view, &QWebEngineView::loadFinished, this, &EmailPreviewView::loadFinished);
}

void EmailPreviewView::loadHtml(const QString& html) {
    if (!m_view)
        createView();
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
