#include <QApplication>
#include <QLabel>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTabWidget>
#include <gtest/gtest.h>

#include "TempDataDir.h"
#include "WaitUntil.h"
#include "app/TfPrincipal.h"
#include "app/UpdateCheck.h"
#include "campaign/EnviarSmsPage.h"
#include "widgets/RecordNavigator.h"

namespace {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(d.start().ok);
        window = std::make_unique<TfPrincipal>(d.ado.get());
    }
    QString panel(int i) const { return window->statusPanel(i)->text(); }
    void addContact(const QString& nome) {
        Dataset* c = d.ado->dbCLIENTE;
        c->append();
        c->setValue("NOME", nome);
        ASSERT_TRUE(c->post());
    }
    TempDataDir d;
    std::unique_ptr<TfPrincipal> window;
};

TEST_F(MainWindow, ElevenPagesInOrderWithSubPages) {
    QTabWidget* pages = window->pages();
    ASSERT_EQ(pages->count(), 11);
    for (int i = 0; i < pages->count(); ++i)
        EXPECT_EQ(pages->tabText(i), TfPrincipal::pageCaptions()[i]);
    EXPECT_EQ(pages->tabText(pages->currentIndex()), "Configuração Modem");
    auto* sms = qobject_cast<QTabWidget*>(pages->widget(0));
    ASSERT_NE(sms, nullptr);
    EXPECT_EQ(sms->tabText(0), "SMS");
    EXPECT_EQ(sms->tabText(1), "Caixa de Saída");
    EXPECT_EQ(sms->tabText(2), "SMS Recebido");
    for (const char* sub :
         {"Configuração Sistema", "Configurar SMS", "Configurar E-mail", "Manutenção do Banco de Dados"})
        EXPECT_NE(window->page(QStringLiteral("Configuração do Sistema/") + QString::fromUtf8(sub)), nullptr) << sub;
    EXPECT_TRUE(window->windowTitle().startsWith("VESTRAL SMS V."));
}

// The send page asks for the outbox or the ports; the window answers with the pages it holds, whatever
// their captions say (a renamed tab must not break the way there).
TEST_F(MainWindow, SendPageRequestsReachThePagesThroughTheirPointers) {
    QTabWidget* pages = window->pages();
    auto* sms = qobject_cast<QTabWidget*>(pages->widget(0));
    auto* enviarSms = qobject_cast<EnviarSmsPage*>(window->page("Enviar SMS/SMS"));
    ASSERT_NE(sms, nullptr);
    ASSERT_NE(enviarSms, nullptr);
    for (int i = 0; i < pages->count(); ++i)
        pages->setTabText(i, QStringLiteral("renomeada %1").arg(i));
    for (int i = 0; i < sms->count(); ++i)
        sms->setTabText(i, QStringLiteral("sub %1").arg(i));
    struct Case {
        const char* name;
        void (EnviarSmsPage::*request)();
        const char* page;
        const char* subPage;
    };
    const Case cases[] = {
        {"outbox", &EnviarSmsPage::outboxPageWanted, "Enviar SMS", "Enviar SMS/Caixa de Saída"},
        {"ports", &EnviarSmsPage::portsPageWanted, "Configuração Modem", nullptr},
        {"outbox again", &EnviarSmsPage::outboxPageWanted, "Enviar SMS", "Enviar SMS/Caixa de Saída"},
    };
    for (const Case& c : cases) {
        sms->setCurrentIndex(2); // "SMS Recebido" open last
        pages->setCurrentIndex(pages->count() - 1);
        Q_EMIT(enviarSms->*c.request)();
        const int expected = TfPrincipal::pageCaptions().indexOf(QString::fromUtf8(c.page));
        EXPECT_EQ(pages->currentIndex(), expected) << c.name;
        if (c.subPage) {
            EXPECT_EQ(sms->currentWidget(), window->page(QString::fromUtf8(c.subPage))) << c.name;
        }
    }
}

TEST_F(MainWindow, StatusPanelsFollowContactsButNotSearches) {
    EXPECT_EQ(panel(1), "Contatos Cadastrados: 0");
    EXPECT_EQ(panel(2), "");
    EXPECT_EQ(panel(3), "SMS para envio: 0");
    EXPECT_EQ(panel(4), "Total SMS Histórico: 0");
    EXPECT_TRUE(QRegularExpression("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d$").match(panel(0)).hasMatch());
    addContact("Ana");
    addContact("Bruno");
    EXPECT_EQ(panel(1), "Contatos Cadastrados: 2");
    Dataset* c = d.ado->dbCLIENTE;
    c->setSql({"SELECT *", "FROM dbCLIENTE", "WHERE NOME LIKE 'b%'"});
    ASSERT_TRUE(c->open());
    EXPECT_EQ(panel(1), "Contatos Cadastrados: 2");
    ASSERT_TRUE(c->remove());
    EXPECT_EQ(panel(1), "Contatos Cadastrados: 0");
}

TEST_F(MainWindow, ScheduledSendTimerFollowsSavedSetting) {
    EXPECT_FALSE(window->tAUTO()->isActive());
    EXPECT_TRUE(window->relogio()->isActive());
    EXPECT_TRUE(window->atualizador()->timer()->isActive());
    Dataset* cfg = d.ado->dbCFG;
    cfg->setValue("AUTO", 1);
    window->settingsNavigator()->button(RecordNavigator::Post)->click();
    EXPECT_TRUE(window->tAUTO()->isActive());
    cfg->setValue("AUTO", 0);
    window->settingsNavigator()->button(RecordNavigator::Post)->click();
    EXPECT_FALSE(window->tAUTO()->isActive());
}

TEST_F(MainWindow, SettingsNavigatorShowsItsEightButtons) {
    RecordNavigator* nav = window->settingsNavigator();
    window->show();
    for (int i = 0; i < RecordNavigator::ButtonCount; ++i) {
        const bool expected = i != RecordNavigator::Insert && i != RecordNavigator::Delete;
        EXPECT_EQ(!nav->button(RecordNavigator::Button(i))->isHidden(), expected) << i;
    }
}

TEST(MainWindowScreen, AsksOnlyBelowTheRecommendedSize) {
    EXPECT_FALSE(TfPrincipal::needsResolutionQuestion({1024, 768}));
    EXPECT_TRUE(TfPrincipal::needsResolutionQuestion({1280, 720}));
    EXPECT_TRUE(TfPrincipal::needsResolutionQuestion({800, 600}));
    EXPECT_FALSE(TfPrincipal::needsResolutionQuestion({1920, 1080}));
}

// Two stations' windows on one shared store: a contact, an outbox row and a history row written by the other station
// show in this window's grids and status bar without the operator asking.
class MainWindowOnSharedStore : public StoreParam {};

TEST_P(MainWindowOnSharedStore, TheOtherStationsChangesReachTheGridsAndTheStatusBar) {
    TempDataDir d;
    VESTRAL_START_STORE(d, GetParam());
    TfPrincipal window(d.ado.get());
    TempDataDir other;
    ASSERT_TRUE(other.start(d.ado->store()).ok) << "the other station";
    QSqlQuery q(other.ado->database());
    for (const char* sql : {"INSERT INTO dbCLIENTE (NOME, FONE) VALUES ('Da Outra Estacao', '11977776666')",
                            "INSERT INTO dbMENSAGEM (FONE, MENSAGEM) VALUES ('11977776666', 'oi')"})
        ASSERT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
    EXPECT_TRUE(waitUntil([&] {
        return window.statusPanel(1)->text() == "Contatos Cadastrados: 1" &&
               window.statusPanel(3)->text() == "SMS para envio: 1";
    })) << window.statusPanel(1)->text().toStdString()
        << " / " << window.statusPanel(3)->text().toStdString();
    EXPECT_EQ(d.ado->dbCLIENTE->text("NOME"), "Da Outra Estacao");
}

INSTANTIATE_TEST_SUITE_P(Store, MainWindowOnSharedStore, ::testing::Values(StoreLocation::Kind::Postgres), storeName);

} // namespace
