#include <QComboBox>
#include <QListWidget>
#include <QProgressDialog>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "CampaignTestSupport.h"
#include "campaign/EnviarEmailPage.h"
#include "campaign/EnviarSmsPage.h"
#include "campaign/RecipientPanel.h"
#include "campaign/TDM.h"

namespace {

class SendPages : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_data.start().ok);
        ado = m_data.ado.get();
        sql(ado, "INSERT INTO dbGRUPO (ID_GRUPO, GRUPO) VALUES (2, 'D''Ávila')");
        addContact(ado, "Ana", "11987654321", 1);
        addContact(ado, "Bia", "11987654322", 2);
        addContact(ado, "Caio", "11987654323", 2, true);
        setSetting(ado, "CASCATA", 2);
        setSetting(ado, "BODY_SMS", "Oi [NOME]");
        tdm = std::make_unique<TDM>(ado);
        tabs.addTab(sms = new EnviarSmsPage(ado, tdm.get()), "SMS");
        tabs.addTab(new QWidget, "Caixa de Saída");
        email = new EnviarEmailPage(ado, tdm.get());
        email->setParent(&other);
        tabs.show();
    }
    void clickRow(QTableView* grid, int row, Qt::KeyboardModifiers mods) {
        const QRect r = grid->visualRect(grid->model()->index(row, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, mods, r.center());
    }

    TempDataDir m_data;
    TADO* ado = nullptr;
    std::unique_ptr<TDM> tdm;
    QTabWidget tabs;
    QWidget other;
    EnviarSmsPage* sms = nullptr;
    EnviarEmailPage* email = nullptr;
};

TEST_F(SendPages, ConnectMarkAndBuildTheOutbox) {
    sms->suiButton22Click();
    ASSERT_TRUE(tdm->isOpen());
    QTableView* grid = sms->panel()->grid();
    ASSERT_EQ(grid->model()->rowCount(), 3);
    clickRow(grid, 0, Qt::NoModifier);
    clickRow(grid, 2, Qt::ControlModifier);
    EXPECT_EQ(tdm->markedRows(), QList<int>({0, 2}));
    clickRow(grid, 0, Qt::ControlModifier);
    EXPECT_EQ(tdm->markedRows(), QList<int>({2}));
    sms->suiButton9Click();
    EXPECT_EQ(grid->selectionModel()->selectedRows().size(), 3);
    sms->suiButton11Click();
    EXPECT_TRUE(grid->selectionModel()->selectedRows().isEmpty());
    clickRow(grid, 1, Qt::NoModifier);
    sms->suiButton26Click(); // "Marcar Daqui!" from the second row
    EXPECT_EQ(tdm->markedRows(), QList<int>({1, 2}));

    sms->setVerificaPortas([this] {
        sql(ado, "DELETE FROM dbPORTA_ATIVA");
        sql(ado, "INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (4, 2)");
        return true;
    });
    QSignalSpy outboxWanted(sms, &EnviarSmsPage::outboxPageWanted);
    sms->suiButton19Click();
    QSqlQuery q("SELECT FONE, MENSAGEM, PORTA FROM dbMENSAGEM ORDER BY ID", ado->database());
    QStringList rows;
    while (q.next())
        rows << q.value(0).toString() + "|" + q.value(1).toString() + "|" + q.value(2).toString();
    EXPECT_EQ(rows, QStringList({"11987654322|Oi Bia|4", "11987654323|Oi Caio|4"}));
    EXPECT_EQ(outboxWanted.count(), 1); // the window shows the outbox sub-page
}

// The build shows its progress; "Cancelar" leaves the outbox as it was.
TEST_F(SendPages, BuildProgressAndCancel) {
    QSqlDatabase db = ado->database();
    ASSERT_TRUE(db.transaction());
    for (int i = 0; i < 300; ++i)
        addContact(ado, QStringLiteral("Z%1").arg(i, 3, 10, QLatin1Char('0')),
                   QStringLiteral("11912345%1").arg(i, 3, 10, QLatin1Char('0')), 1);
    ASSERT_TRUE(db.commit());
    sql(ado, "INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('11900000000', 'de antes', 9)");
    sms->suiButton22Click();
    sms->suiButton9Click();
    sms->setVerificaPortas([this] {
        sql(ado, "DELETE FROM dbPORTA_ATIVA");
        sql(ado, "INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (1, 1000)");
        return true;
    });
    QString label;
    QTimer canceller;
    canceller.setInterval(0);
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        auto* dialog = sms->findChild<QProgressDialog*>("buildProgress");
        if (!dialog || dialog->maximum() == 0)
            return;
        label = dialog->labelText();
        dialog->cancel();
        canceller.stop();
    });
    canceller.start();
    QSignalSpy outboxWanted(sms, &EnviarSmsPage::outboxPageWanted);
    sms->suiButton19Click();
    EXPECT_EQ(label, "Montando a Caixa de Saída: 250 de 303 contatos, 250 SMS, ciclo 1");
    QSqlQuery q("SELECT COUNT(*) FROM dbMENSAGEM", ado->database());
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 1);
    ASSERT_GT(sms->statusList()->count(), 0);
    EXPECT_TRUE(sms->statusList()
                    ->item(sms->statusList()->count() - 1)
                    ->text()
                    .endsWith(" Montagem cancelada: a Caixa de Saída não foi alterada."));
    EXPECT_EQ(outboxWanted.count(), 0); // the outbox sub-page is not brought forward

    sms->suiButton19Click(); // not cancelled: every row
    QSqlQuery all("SELECT COUNT(*) FROM dbMENSAGEM", ado->database());
    ASSERT_TRUE(all.next());
    EXPECT_EQ(all.value(0).toInt(), 304);
    EXPECT_EQ(outboxWanted.count(), 1);
}

TEST_F(SendPages, EachPageFiltersWithItsOwnChoices) {
    other.show(); // showing the page fills its group list
    EXPECT_EQ(email->panel()->groupChoice()->itemText(0), "TODOS");
    EXPECT_EQ(email->panel()->groupChoice()->count(), 3);
    email->suiButton22Click();
    sms->panel()->groupChoice()->setEditText("GERAL"); // not the e-mail page's choice
    email->panel()->groupChoice()->setCurrentIndex(2); // "D'Ávila"
    email->panel()->statusChoice()->setCurrentIndex(1);
    email->suiButton8Click();
    ASSERT_EQ(tdm->recordCount(), 1);
    EXPECT_EQ(tdm->value(0, "NOME").toString(), "Bia");
    EXPECT_EQ(sms->panel()->grid()->model()->rowCount(), 1); // both grids show the same set
    // Choosing "Integração" on one page connects from that page.
    setSetting(ado, "ADOCONNECTION", QString("DRIVER=SQLite3;Database=" + m_data.dir.filePath("BDSMS.db")));
    setSetting(ado, "QUERY", "SELECT NOME, FONE AS TELEFONE FROM dbCLIENTE");
    email->panel()->sourceButton(TDM::Integracao)->click();
    EXPECT_EQ(tdm->source(), TDM::Integracao);
}

} // namespace
