// Page "Configuração Modem": grid and editor choices, "&Abrir todas as Portas" with a ready
// modem and with none, and the "Select Port" dialog.
#include "modem/ConfiguracaoModemPage.h"
#include "ModemSimulator.h"
#include "TempDataDir.h"
#include "modem/ComMapping.h"
#include "modem/PortConfigurator.h"
#include "modem/PortSlot.h"
#include "modem/SelectPortDialog.h"
#include "widgets/DbGrid.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTimer>

namespace {

// Stands in for the response handler: an "OK" line lights the slot's ready light.
void lightOnOk(PortSlots& slots) {
    for (int n = 1; n <= PortSlots::kCount; ++n) {
        PortSlot* slot = slots.slot(n);
        QObject::connect(slot->channel(), &SerialChannel::TriggerAvail, [slot](SerialChannel* ch, quint16 count) {
            if (ch->takeBytes(count).contains("\r\nOK\r\n"))
                slot->setReady(true);
        });
    }
}

} // namespace

TEST(ConfiguracaoModem, GridTitlesAndEditorChoices) {
    TempDataDir data;
    ASSERT_TRUE(data.start().ok);
    PortSlots slots;
    PortConfigurator configurator(data.ado.get(), &slots);
    ConfiguracaoModemPage page(data.ado.get(), &configurator);
    QStringList titles;
    for (int c = 0; c < page.grid()->model()->columnCount(); ++c)
        titles << page.grid()->model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    EXPECT_EQ(titles, (QStringList{"Entrada", "Porta", "Velocidade", "Paridade", "Databits", "Stopbits", "Ativo",
                                   "Modelo", "IMSI", QString::fromUtf8("Limite Diário")}));
    EXPECT_EQ(page.grid()->model()->rowCount(), 64);
    EXPECT_EQ(ConfiguracaoModemPage::speedChoices().size(), 21);
    EXPECT_EQ(ConfiguracaoModemPage::speedChoices().first(), "50");
    EXPECT_EQ(ConfiguracaoModemPage::speedChoices().last(), "921600");
    EXPECT_FALSE(ConfiguracaoModemPage::stopBitsChoices().contains("1.5"));
    auto* com = page.findChild<QComboBox*>("COM");
    ASSERT_NE(com, nullptr);
    EXPECT_EQ(com->count(), 999);
    EXPECT_EQ(com->currentText(), "1");
}

// The slot's SIM: the PIN is masked and never in the grid; what the modem said is shown, not edited.
TEST(ConfiguracaoModem, SimFieldsPinMaskedIdentityReadOnly) {
    TempDataDir data;
    ASSERT_TRUE(data.start().ok);
    QSqlQuery q(data.ado->database());
    ASSERT_TRUE(q.exec("UPDATE dbPORTA SET PIN = '4821', IMSI = '724051234567890', MODELO = 'SIMCOM SIM800' "
                       "WHERE ID = 1"));
    data.ado->dbPORTA->refresh();
    PortSlots slots;
    PortConfigurator configurator(data.ado.get(), &slots);
    ConfiguracaoModemPage page(data.ado.get(), &configurator);
    auto* pin = page.findChild<QLineEdit*>("PIN");
    ASSERT_NE(pin, nullptr);
    EXPECT_EQ(pin->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(pin->isReadOnly());
    EXPECT_EQ(pin->text(), "4821"); // bound, shown masked
    for (const char* name : {"SMSC", "LIMITE_DIA"}) {
        auto* edit = page.findChild<QLineEdit*>(name);
        ASSERT_NE(edit, nullptr) << name;
        EXPECT_FALSE(edit->isReadOnly()) << name;
    }
    for (const char* name : {"IMEI", "IMSI", "ICCID", "MODELO"}) {
        auto* edit = page.findChild<QLineEdit*>(name);
        ASSERT_NE(edit, nullptr) << name;
        EXPECT_TRUE(edit->isReadOnly()) << name;
    }
    EXPECT_EQ(page.findChild<QLineEdit*>("IMSI")->text(), "724051234567890");
    for (int r = 0; r < page.grid()->model()->rowCount(); ++r)
        for (int c = 0; c < page.grid()->model()->columnCount(); ++c)
            EXPECT_NE(page.grid()->model()->index(r, c).data().toString(), "4821");
}

// Each slot's character set for text mode, as the send chose it, is shown under the grid.
TEST(ConfiguracaoModem, ShowsTheCharacterSetOfEachSlot) {
    TempDataDir data;
    ASSERT_TRUE(data.start().ok);
    PortSlots slots;
    PortConfigurator configurator(data.ado.get(), &slots);
    ConfiguracaoModemPage page(data.ado.get(), &configurator);
    ASSERT_NE(page.charsetLabel(), nullptr);
    EXPECT_FALSE(page.charsetLabel()->text().contains("Entrada"));
    slots.slot(1)->setCharset(QStringLiteral("8859-1"));
    slots.slot(3)->setCharset(QStringLiteral("IRA"));
    EXPECT_TRUE(page.charsetLabel()->text().endsWith(QStringLiteral("Entrada 1: 8859-1 · Entrada 3: IRA")))
        << page.charsetLabel()->text().toStdString();
}

// In PDU mode no character set of the modem is used, whatever an earlier text-mode send chose; the
// caption follows the mode as it is when the page is shown.
TEST(ConfiguracaoModem, CharacterSetCaptionFollowsTheSendingMode) {
    TempDataDir data;
    ASSERT_TRUE(data.start().ok);
    PortSlots slots;
    PortConfigurator configurator(data.ado.get(), &slots);
    QSqlQuery q(data.ado->database());
    ASSERT_TRUE(q.exec(QStringLiteral("UPDATE dbCFG SET MODO_SMS = 'PDU'")));
    ConfiguracaoModemPage page(data.ado.get(), &configurator);
    const QString notUsed = QStringLiteral("Conjunto de caracteres: não usado no modo PDU");
    EXPECT_EQ(page.charsetLabel()->text(), notUsed);
    slots.slot(2)->setCharset(QStringLiteral("8859-1"));
    EXPECT_EQ(page.charsetLabel()->text(), notUsed);
    ASSERT_TRUE(q.exec(QStringLiteral("UPDATE dbCFG SET MODO_SMS = 'TEXTO'")));
    page.show();
    EXPECT_EQ(page.charsetLabel()->text(), QStringLiteral("Conjunto de caracteres (modo texto): Entrada 2: 8859-1"));
    page.hide();
    ASSERT_TRUE(q.exec(QStringLiteral("UPDATE dbCFG SET MODO_SMS = 'PDU'")));
    page.show();
    EXPECT_EQ(page.charsetLabel()->text(), notUsed);
}

TEST(ConfiguracaoModem, OpenAllPortsWithAndWithoutAReadyModem) {
    TempDataDir data;
    ASSERT_TRUE(data.start().ok);
    ComMapping::setDataDir(data.path());
    modemsim::SimulatorOptions options;
    options.dir = QString(data.path() + "/portas").toStdString();
    options.ports = {modemsim::PortConfig{}};
    modemsim::ModemSimulator sim(options);
    sim.start();
    QSqlQuery(data.ado->database()).exec("UPDATE dbPORTA SET ATIVO = 1 WHERE ID = 1");
    PortSlots slots;
    lightOnOk(slots);
    PortConfigurator configurator(data.ado.get(), &slots);
    ConfiguracaoModemPage page(data.ado.get(), &configurator);
    QSignalSpy opened(&page, &ConfiguracaoModemPage::portsOpened);
    auto* abrir = page.findChild<QPushButton*>("btAbrir");
    ASSERT_NE(abrir, nullptr);
    EXPECT_EQ(abrir->text(), "&Abrir todas as Portas");

    abrir->click();
    EXPECT_EQ(opened.count(), 1);
    EXPECT_TRUE(slots.slot(1)->ready());

    sim.unplug(0);
    QString question;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            question = box->text();
            box->button(QMessageBox::Cancel)->click();
        }
    });
    abrir->click();
    EXPECT_EQ(opened.count(), 1);
    EXPECT_EQ(question, PortConfigurator::noPortOpenedQuestion().replace('\r', '\n'));
    EXPECT_FALSE(slots.slot(1)->channel()->isOpen());
    sim.stop();
    ComMapping::setDataDir(QString());
}

TEST(SelectPort, ListsOpenablePortsFirstPreselected) {
    SelectPortDialog dialog({3, 7});
    auto* box = dialog.findChild<QComboBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->count(), 2);
    EXPECT_EQ(box->itemText(1), "COM7");
    EXPECT_EQ(dialog.chosenPort(), 3);
    box->setCurrentIndex(1);
    EXPECT_EQ(dialog.chosenPort(), 7);
    EXPECT_EQ(SelectPortDialog({}).chosenPort(), 0);
    EXPECT_EQ(dialog.windowTitle(), "Select Port");
}
