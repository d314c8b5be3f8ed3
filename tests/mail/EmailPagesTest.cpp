// The e-mail pages: the browser preview of "Configurar E-mail" (offscreen, or under Xvfb for a screenshot)
// and the sending half of "Enviar EMAIL".
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <gtest/gtest.h>
#include <unistd.h>

#include "TempDataDir.h"
#include "campaign/TDM.h"
#include "mail/ConfigEmailPage.h"
#include "mail/EmailCampaign.h"
#include "mail/EmailPreviewView.h"
#include "mail/EmailSendWidget.h"
#include "store/Dataset.h"

using vestral::mail::EmailCampaign;

#if defined(__SANITIZE_ADDRESS__)
// The browser engine's own code frees some objects through a base type of another size, which AddressSanitizer
// reports as a new/delete mismatch inside libQt6WebEngineCore; every other check stays on.
extern "C" const char* __asan_default_options() {
    return "new_delete_type_mismatch=0";
}
#endif

namespace {

// The browser's sandbox cannot start as root (CI); set before the application object exists.
const bool g_sandboxOff = [] {
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    return true;
}();

QString newsletter() {
    QFile f(QStringLiteral(VESTRAL_MAIL_TEST_DIR "/data/newsletter.html"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return QString::fromUtf8(f.readAll());
}

// Runs `script` beside the page's own (disabled) scripts and returns its result.
QVariant evaluate(QWebEngineView* view, const QString& script) {
    QVariant result;
    bool done = false;
    view->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 30000));
    return result;
}

QString plainText(QWebEngineView* view) {
    QString text;
    bool done = false;
    view->page()->toPlainText([&](const QString& t) {
        text = t;
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 30000));
    return text;
}

class EmailPagesTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(g_sandboxOff);
        const TADO::StartResult started = m_data.start();
        ASSERT_TRUE(started.ok) << started.error.toStdString();
    }
    TADO* ado() const { return m_data.ado.get(); }
    void setBody(const QString& html) {
        QSqlQuery q(ado()->database());
        q.prepare("UPDATE dbCFG SET BODY_EMAIL = ?, TEMPO_EMAIL = 3");
        q.addBindValue(html);
        ASSERT_TRUE(q.exec());
        ado()->dbCFG->refresh();
    }
    // Loads through `load` and waits for the preview to finish.
    static bool loads(ConfigEmailPage& page, const std::function<void()>& load) {
        QSignalSpy finished(page.preview(), &EmailPreviewView::loadFinished);
        load();
        if (finished.isEmpty() && !finished.wait(60000))
            return false;
        return finished.last().at(0).toBool();
    }

    TempDataDir m_data;
};

} // namespace

TEST_F(EmailPagesTest, PreviewShowsTheNewsletterAsABrowserDoes) {
    setBody(newsletter());
    ConfigEmailPage page(ado());
    page.resize(1400, 900);
    ASSERT_TRUE(loads(page, [&] { page.show(); })); // TabSheet11Show
    QWebEngineView* view = page.preview()->view();
    const QString text = plainText(view);
    EXPECT_TRUE(text.contains(QStringLiteral("Olá, [NOME]!"))) << text.toStdString(); // placeholders literally
    EXPECT_TRUE(text.contains(QString::fromUtf8("São Paulo")));
    // The fixed-width layout a mail program keeps.
    EXPECT_EQ(evaluate(view, "document.querySelector('table[width=\"600\"]').getBoundingClientRect().width").toInt(),
              600);
    if (const QString shot = qEnvironmentVariable("VESTRAL_PREVIEW_SHOT"); !shot.isEmpty()) {
        QTest::qWait(300); // the compositor's first frame
        EXPECT_TRUE(page.grab().save(shot));
    }
}

TEST_F(EmailPagesTest, PreviewFollowsTheEditorOnShowAndSaveOnly) {
    setBody(QStringLiteral("<p>antes</p>"));
    ConfigEmailPage page(ado());
    EXPECT_EQ(page.helpLabel()->styleSheet(), QStringLiteral("color: red;"));
    EXPECT_EQ(page.bodyEditor()->toPlainText(), QStringLiteral("<p>antes</p>")); // bound to BODY_EMAIL
    ASSERT_TRUE(loads(page, [&] { page.show(); }));
    QWebEngineView* view = page.preview()->view();

    // An unsaved edit shows when the settings are saved; the script in it does not run.
    page.bodyEditor()->setPlainText("<title>t</title><p>depois [TEXTO]</p><script>document.title='js';</script>");
    EXPECT_EQ(plainText(view).trimmed(), QStringLiteral("antes")); // typing alone does not refresh
    ASSERT_TRUE(loads(page, [&] { page.DBNavigator1Click(); }));
    EXPECT_EQ(plainText(view).trimmed(), QStringLiteral("depois [TEXTO]"));
    EXPECT_EQ(view->title(), QStringLiteral("t"));
    EXPECT_EQ(ado()->dbCFG->state(), Dataset::State::Edit); // the binder put the settings row into edit

    page.bodyEditor()->setPlainText(QString());
    ASSERT_TRUE(loads(page, [&] { page.TabSheet11Show(); })); // an empty template: an empty white page
    EXPECT_TRUE(plainText(view).trimmed().isEmpty());
}

// A run over rows without addresses needs no server: the button is off during the run, the lines grow.
TEST_F(EmailPagesTest, SendButtonIsDisabledDuringARun) {
    QSqlQuery q(ado()->database());
    ASSERT_TRUE(q.exec("INSERT INTO dbGRUPO (ID_GRUPO, GRUPO) VALUES (10, 'Clientes')"));
    ASSERT_TRUE(q.exec("INSERT INTO dbCLIENTE (NOME, FONE, EMAIL, ID_GRUPO) VALUES ('Ana', '11', '', 10), "
                       "('Bia', '12', '', 10)"));
    TDM recipients(ado());
    EmailSendWidget widget(ado(), &recipients);
    widget.show();

    // Not connected: the warning, nothing else.
    QTimer::singleShot(0, [] {
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    widget.suiButton12Click();
    EXPECT_EQ(widget.statusList()->count(), 0);

    ASSERT_TRUE(recipients.connectSource(TDM::CadastroLocal));
    QList<bool> enabledDuring;
    widget.campaign()->setTiming({[] { return QDateTime(QDate(2026, 12, 9), QTime(9, 0)); },
                                  [&](int) {
                                      enabledDuring << widget.sendButton()->isEnabled();
                                      widget.suiButton12Click(); // a click that got through: ignored
                                  }});
    widget.suiButton12Click();
    EXPECT_EQ(enabledDuring, QList<bool>({false, false}));
    EXPECT_TRUE(widget.sendButton()->isEnabled());
    EXPECT_FALSE(widget.progressBar()->isVisible());
    ASSERT_EQ(widget.statusList()->count(), 4);
    EXPECT_EQ(widget.statusList()->item(3)->text(), QString::fromUtf8("09/12/2026 09:00:00 sem E-mail para envio!"));
}

// A run stopped by a connection failure: the bar is idle again and the error box names host, port and reason
// under the socket layer's text.
TEST_F(EmailPagesTest, FailedRunLeavesTheBarIdleAndNamesTheServer) {
    quint16 port;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    QSqlQuery q(ado()->database());
    ASSERT_TRUE(q.exec("INSERT INTO dbGRUPO (ID_GRUPO, GRUPO) VALUES (10, 'Clientes')"));
    ASSERT_TRUE(q.exec("INSERT INTO dbCLIENTE (NOME, FONE, EMAIL, ID_GRUPO) VALUES ('Ana', '11', 'ana@x.org', 10)"));
    q.prepare("UPDATE dbCFG SET HOST = '127.0.0.1', PORTA = ?, TLS = 'utNoTLSSupport', SSL = 0, TEMPO_EMAIL = 0");
    q.addBindValue(port);
    ASSERT_TRUE(q.exec());
    ado()->dbCFG->refresh();
    TDM recipients(ado());
    ASSERT_TRUE(recipients.connectSource(TDM::CadastroLocal));
    EmailSendWidget widget(ado(), &recipients);
    widget.show();
    QString shown;
    bool barVisibleUnderBox = true;
    QTimer poll; // the run itself turns the event loop while it connects: wait for the box to appear
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        shown = box->text();
        barVisibleUnderBox = widget.progressBar()->isVisible();
        box->close();
    });
    poll.start(10);
    widget.suiButton12Click();
    poll.stop();
    EXPECT_EQ(shown, QString::fromUtf8("Socket Error # 111\nConnection refused\n"
                                       "Não foi possível conectar a 127.0.0.1:%1 (conexão recusada)")
                         .arg(port));
    EXPECT_FALSE(barVisibleUnderBox);
    EXPECT_FALSE(widget.progressBar()->isVisible());
    EXPECT_EQ(widget.progressBar()->value(), 0);
    EXPECT_TRUE(widget.sendButton()->isEnabled());
}
