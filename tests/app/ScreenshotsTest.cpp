// Pictures of the window as the operator meets it, for the eye: runs only when VESTRAL_SHOTS_DIR
// names a folder (under Xvfb: xvfb-run -a -s "-screen 0 1025x779x24" app_tests
// --gtest_filter='Screenshots.*'), and writes one PNG per page there.
#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QListWidget>
#include <QPrintDialog>
#include <QPrinter>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QTranslator>
#include <gtest/gtest.h>

#include "TempDataDir.h"
#include "app/QtTextGaps.h"
#include "app/RegionalFormats.h"
#include "app/SettingsPages.h"
#include "app/TfPrincipal.h"
#include "history/HistoricoPage.h"
#include "history/HistoryReportCommand.h"
#include "modem/ConfiguracaoModemPage.h"
#include "modem/ModemLog.h"
#include "optout/SuppressionList.h"
#include "sms/CaixaSaidaPage.h"
#include "store/TADO.h"
#include "widgets/DbGrid.h"

namespace {

class Screenshots : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = qEnvironmentVariable("VESTRAL_SHOTS_DIR");
        if (m_dir.isEmpty())
            GTEST_SKIP() << "VESTRAL_SHOTS_DIR not set";
        QDir().mkpath(m_dir);
        QApplication::setStyle("Fusion");
        RegionalFormats::install(); // as the program does before its window
        if (m_qt.load(QLocale(QLocale::Portuguese, QLocale::Brazil), "qtbase", "_",
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QApplication::installTranslator(&m_qt);
        QApplication::installTranslator(&m_gaps);
        ASSERT_TRUE(d.start().ok);
        fill();
        window = std::make_unique<TfPrincipal>(d.ado.get());
        window->resize(1025, 779);
        window->move(0, 0);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override {
        QApplication::removeTranslator(&m_gaps);
        QApplication::removeTranslator(&m_qt);
    }
    void sql(const QString& statement) {
        QSqlQuery q(d.ado->database());
        EXPECT_TRUE(q.exec(statement)) << statement.toStdString();
    }
    void fill() {
        sql("INSERT INTO dbGRUPO (GRUPO) VALUES ('CLIENTES VIP')");
        for (int i = 0; i < 12; ++i)
            sql(QStringLiteral("INSERT INTO dbCLIENTE (NOME, FONE, EMAIL, ID_GRUPO) VALUES ('Contato %1', "
                               "'+55 11 9%2-4321', 'contato%1@exemplo.com.br', 1)")
                    .arg(i + 1)
                    .arg(1000 + i * 37, 4, 10, QLatin1Char('0')));
        for (int i = 0; i < 8; ++i)
            sql(QStringLiteral("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('55119%1', 'Ola Contato %2, "
                               "sua fatura vence amanha.', %3)")
                    .arg(87650000 + i * 1111)
                    .arg(i + 1)
                    .arg(i % 4 + 1));
        // Received messages as a reading stores them: with the modem's time stamp ("Data da Mensagem").
        sql("INSERT INTO dbSMS (DATA, RECEBIDO, ENTRADA, FONE, SMS, LIDO) VALUES ('2026-12-09 18:15:42', "
            "'2026-12-09 18:14:58', 1, '+5511987650001', 'Recebido, obrigado!\nAte amanha.', 0)");
        sql("INSERT INTO dbSMS (DATA, RECEBIDO, ENTRADA, FONE, SMS, LIDO) VALUES ('2026-12-09 19:02:07', "
            "'2026-12-09 19:01:30', 2, '+5521998760022', 'Quero sair da lista', 1)");
        for (Dataset* ds : {d.ado->dbCLIENTE, d.ado->dbMENSAGEM, d.ado->dbSMS, d.ado->dbGRUPO})
            ds->refresh();
    }
    void show(const QString& caption, const QString& sub = {}) {
        window->pages()->setCurrentIndex(TfPrincipal::pageCaptions().indexOf(caption));
        if (!sub.isEmpty()) {
            QWidget* page = window->pages()->currentWidget();
            auto* tabs = qobject_cast<QTabWidget*>(page);
            if (!tabs)
                tabs = page->findChild<QTabWidget*>();
            for (int i = 0; tabs && i < tabs->count(); ++i)
                if (tabs->tabText(i) == sub)
                    tabs->setCurrentIndex(i);
        }
        settle();
    }
    static void settle() {
        for (int i = 0; i < 5; ++i) {
            QApplication::processEvents();
            QTest::qWait(30);
        }
    }
    void shot(QWidget* w, const QString& name) {
        settle();
        EXPECT_TRUE(w->grab().save(QDir(m_dir).filePath(name + ".png"))) << name.toStdString();
    }

    QString m_dir;
    QTranslator m_qt;
    QtTextGaps m_gaps;
    TempDataDir d;
    std::unique_ptr<TfPrincipal> window;
};

TEST_F(Screenshots, EveryItem) {
    show("Enviar SMS", "SMS");
    shot(window.get(), "01-enviar-sms-filtro");
    for (int n : {1, 2, 17, 64}) // queue counters of 5, 106, 9999 and 99999 rows
        if (auto* l = window->findChild<QLabel*>(QStringLiteral("L%1").arg(n)))
            l->setText(QString::number(n == 1 ? 5 : n == 2 ? 106 : n == 17 ? 9999 : 99999));
    shot(window.get(), "02-contadores-da-fila");
    show("Configuração do Sistema", "Configuração Sistema");
    auto* settings = qobject_cast<ConfigSistemaPage*>(window->page("Configuração do Sistema/Configuração Sistema"));
    settings->horario()->setFocus();
    QTest::mouseClick(settings->horario(), Qt::LeftButton, {}, QPoint(8, settings->horario()->height() / 2));
    QTest::keyClicks(settings->horario(), "1815");
    shot(window.get(), "03-08-configuracao-sistema-horario-1815");
    d.ado->dbCFG->cancel();
    show("Enviar SMS", "Caixa de Saída");
    shot(window.get(), "04a-caixa-de-saida");
    show("Enviar SMS", "SMS Recebido");
    shot(window.get(), "04b-sms-recebido");
    sql("INSERT INTO dbGRUPO (ID_GRUPO, GRUPO) VALUES (50, 'GRUPO NOVO')");
    sql("UPDATE dbCLIENTE SET ID_GRUPO = 50 WHERE NOME = 'Contato 1'");
    d.ado->dbCLIENTE->refresh();
    d.ado->dbCLIENTE->first();
    show("Cadastro de Contatos");
    shot(window.get(), "05-contato-grupo-novo");
    show("Configuração do Sistema", "Configurar SMS");
    shot(window.get(), "06a-texto-sms-padrao");
    // PDU mode: accents allowed, the counter gives the parts, the accent warning is gone.
    sql("UPDATE dbCFG SET MODO_SMS = 'PDU', BODY_SMS = 'Olá [NOME], sua fatura de março vence amanhã. "
        "Pague até às 18h e evite juros. Dúvidas? Responda esta mensagem ou ligue para a central de atendimento.'");
    d.ado->dbCFG->refresh();
    shot(window.get(), "06d-texto-sms-modo-pdu");
    show("Enviar SMS", "SMS");
    shot(window.get(), "06e-enviar-sms-modo-pdu");
    sql("UPDATE dbCFG SET MODO_SMS = 'TEXTO', BODY_SMS = 'Ola [NOME], esta e uma mensagem de teste.'");
    d.ado->dbCFG->refresh();
    show("Configuração do Sistema", "Configurar E-mail");
    shot(window.get(), "06b-texto-email-padrao");
    show("Sobre");
    shot(window.get(), "06c-sobre-versao");
    show("Enviar SMS", "SMS Recebido");
    // The slot's SIM as a set-up left it: identity read from the modem, the PIN masked.
    sql("UPDATE dbPORTA SET ATIVO = 1, COM = ID, PIN = '4821', SMSC = '+550110000000', LIMITE_DIA = 300, "
        "IMEI = '356938035643809', IMSI = '724051234567890', ICCID = '8955051234567890123', "
        "MODELO = 'SIMCOM_Ltd SIMCOM_SIM800L' WHERE ID <= 4");
    d.ado->dbPORTA->refresh();
    show("Configuração Modem");
    shot(window.get(), "07a-configuracao-modem-sim");
    Q_EMIT qobject_cast<ConfiguracaoModemPage*>(window->page("Configuração Modem"))->portsOpened();
    shot(window.get(), "07-apos-abrir-portas");
    show("Debug Modem");
    auto* status = window->page("Debug Modem")->findChild<QListWidget*>("ListBox2");
    for (int i = 1; i <= 60; ++i)
        status->addItem(QStringLiteral("09/12/2026 20:%1:00 - ENTRADA 01 - AT+CSQ -> +CSQ: 21,0 OK").arg(i % 60));
    status->scrollToBottom();
    shot(window.get(), "09-debug-modem-status");
    show("Configuração do Sistema", "Manutenção do Banco de Dados");
    shot(window.get(), "12a-calendario-dias");
}

// The opt-out list: the page "Descadastrados", SMS Recebido with a reply that opted out and one that only
// mentions the word, and a contact disabled by the list with its reason.
TEST_F(Screenshots, OptOut) {
    sql("INSERT INTO dbSMS (DATA, RECEBIDO, ENTRADA, FONE, SMS, LIDO) VALUES ('2026-12-09 19:10:00', "
        "'2026-12-09 19:09:41', 1, '+5511910374321', 'Sair.', 0)");
    QSqlDatabase db = d.ado->database();
    SuppressionList::add(db, "ana.souza@exemplo.com.br", SuppressionList::kOrigemEmail, "SAIR");
    SuppressionList::add(db, "(21) 99876-5432", SuppressionList::kOrigemOperador, "Pediu por telefone");
    SuppressionList::add(db, "LOJA CENTRO", SuppressionList::kOrigemImportacao, "lista-antiga.xlsx");
    show("Enviar SMS", "SMS Recebido");
    shot(window.get(), "04d-sms-recebido-descadastro");
    show("Enviar SMS", "Descadastrados");
    shot(window.get(), "04c-descadastrados");
    d.ado->dbCLIENTE->refresh();
    d.ado->dbCLIENTE->locate("FONE", "+55 11 91037-4321");
    show("Cadastro de Contatos");
    shot(window.get(), "05b-contato-descadastrado");
}

// Histórico de Envio with the delivery columns (delivered, pending, failed, no report, e-mail), and the full
// report of the same rows as a PDF beside the pictures (pdftoppm makes pictures of its pages).
TEST_F(Screenshots, HistoryWithDelivery) {
    const char* rows[] = {
        "('2026-12-09 10:00:01', '5511987650001', 'Ola Ana, sua fatura vence amanha.', 'SMS', 1, "
        "'2026-12-09 10:00:09', 'Entregue')",
        "('2026-12-09 10:00:02', '5511987650002', 'Ola Bruno, texto longo em tres partes ...', 'SMS', 1, NULL, "
        "'Pendente')",
        "('2026-12-09 10:00:03', '5511987650003', 'Ola Carla, sua fatura vence amanha.', 'SMS', 1, NULL, "
        "'Falhou: conexão recusada pelo destinatário')",
        "('2026-12-09 10:00:04', '5511987650004', ' ERRO :500 - Erro desconhecido\rOla Davi', 'SMS', 0, NULL, NULL)",
        "('2026-12-09 10:00:05', '(Elisa) elisa@exemplo.com.br', '<p>Novidades</p>', 'E-Mail', 1, NULL, NULL)"};
    for (const char* r : rows)
        sql(QStringLiteral("INSERT INTO dbHISTORICO (DATA, DESTINATARIO, MENSAGEM, TIPO, ENVIADO, ENTREGUE, "
                           "STATUS_ENTREGA) VALUES ") +
            QString::fromUtf8(r));
    show("Histórico de Envio");
    auto* page = qobject_cast<HistoricoPage*>(window->page("Histórico de Envio"));
    ASSERT_NE(page, nullptr);
    page->findChild<QCheckBox*>()->setChecked(false);
    page->suiButton24Click();
    shot(window.get(), "pdureports-historico");
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    const QString pdf = QDir(m_dir).filePath("pdureports-relatorio-completo.pdf");
    HistoryReportCommand::Request request;
    request.file = pdf;
    request.form = HistoryReport::Form::Completo;
    EXPECT_EQ(HistoryReportCommand::run(d.ado.get(), request, out, err), 0) << errText.toStdString();
}

// Ctrl+Delete's question, the file dialog and the print dialog, each as a window of its own.
TEST_F(Screenshots, Dialogs) {
    show("Enviar SMS", "Caixa de Saída");
    auto* outbox = qobject_cast<CaixaSaidaPage*>(window->page("Enviar SMS/Caixa de Saída"));
    outbox->grid()->selectRow(1);
    outbox->grid()->selectionModel()->select(outbox->grid()->model()->index(2, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTimer::singleShot(400, [this] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            shot(box, "10-ctrl-delete-pergunta");
            box->close();
        }
    });
    QTest::keyClick(outbox->grid(), Qt::Key_Delete, Qt::ControlModifier);
    QFileDialog files(window.get(), "Importar", qEnvironmentVariable("VESTRAL_SOURCE_DIR") + "/src");
    files.setOption(QFileDialog::DontUseNativeDialog);
    files.setViewMode(QFileDialog::Detail);
    files.resize(760, 480);
    files.show();
    shot(&files, "12b-dialogo-de-arquivo");
    files.close();
    QPrinter printer;
    QPrintDialog print(&printer, window.get());
    print.show();
    shot(&print, "12c-dialogo-de-impressao");
    print.close();
}

} // namespace
