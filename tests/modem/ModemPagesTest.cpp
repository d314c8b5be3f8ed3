// The modem pages and widgets: port panel layout, the Debug Modem console against a simulated
// modem, the terminal view, the manual and Aguarda.
#include "FileLimits.h"
#include "ModemSimulator.h"
#include "WaitUntil.h"
#include "modem/Aguarda.h"
#include "modem/ComMapping.h"
#include "modem/DebugModemPage.h"
#include "modem/ModemLog.h"
#include "modem/ModemManual.h"
#include "modem/PortPanelWidget.h"
#include "modem/PortSlot.h"
#include "modem/SignalBar.h"
#include "modem/StatusLight.h"
#include "modem/TerminalView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// Answers the next modal message box with OK and keeps its text.
QString* answerNextMessageBox() {
    auto* text = new QString;
    QTimer::singleShot(0, [text] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *text = box->text();
            box->accept();
        }
    });
    return text;
}

QPushButton* buttonCaptioned(QWidget* parent, const QString& caption) {
    for (QPushButton* b : parent->findChildren<QPushButton*>())
        if (b->text() == caption)
            return b;
    return nullptr;
}

} // namespace

TEST(PortPanel, SlotCellsInFourRowsOfSixteenFollowTheSlots) {
    PortSlots slots;
    PortPanelWidget panel(&slots);
    auto* grid = qobject_cast<QGridLayout*>(panel.layout());
    ASSERT_NE(grid, nullptr);
    const struct { int slot, row, column; } cases[] = {{1, 0, 0}, {16, 0, 15}, {17, 1, 0}, {64, 3, 15}};
    for (const auto& c : cases) {
        int row = -1, column = -1, rs = 0, cs = 0;
        grid->getItemPosition(grid->indexOf(panel.cell(c.slot)), &row, &column, &rs, &cs);
        EXPECT_EQ(row, c.row) << c.slot;
        EXPECT_EQ(column, c.column) << c.slot;
    }
    PortSlot* s = slots.slot(17);
    s->setReady(true);
    s->setActive(true);
    s->setSignal(21);
    s->setQueued(5);
    QWidget* cell = panel.cell(17);
    EXPECT_TRUE(cell->findChild<StatusLight*>("ApdStatusLight17")->isLit());
    EXPECT_TRUE(cell->findChild<StatusLight*>("led17")->isLit());
    EXPECT_EQ(cell->findChild<SignalBar*>("suiProgressBar17")->caption(), "67%");
    EXPECT_EQ(cell->findChild<QLabel*>("L17")->text(), "5");
    s->setSignal(99); // out of range: the bar is full, never past it
    EXPECT_EQ(s->signalCaption(), "100%");
    s->setSignal(0);
    EXPECT_EQ(s->signalCaption(), "0%");
    // A slot with something wrong says it on the whole cell, until the set-up finds it well again.
    s->setCondition(QStringLiteral("desconectado"));
    EXPECT_EQ(cell->toolTip(), "Entrada 17: desconectado");
    EXPECT_EQ(cell->findChild<StatusLight*>("ApdStatusLight17")->toolTip(), "Entrada 17: desconectado");
    s->setCondition({});
    EXPECT_EQ(cell->toolTip(), "");
}

TEST(DebugModem, CommandEntryUpperCasesOnlyAToZ) {
    const struct {
        QChar typed, entered;
    } cases[] = {{'a', 'A'}, {'z', 'Z'}, {'A', 'A'}, {'1', '1'}, {'+', '+'}, {QChar(0xE7), QChar(0xE7)}};
    for (const auto& c : cases)
        EXPECT_EQ(DebugModemPage::commandChar(c.typed), c.entered) << int(c.typed.unicode());
    PortSlots slots;
    ModemLog log;
    DebugModemPage page(&slots, &log);
    EXPECT_EQ(page.commandEntry()->text(), "AT+CNMI?");
    page.commandEntry()->clear();
    QTest::keyClicks(page.commandEntry(), QStringLiteral("at+cmgf=1 "));
    for (const QString& accented : {QStringLiteral("ç"), QStringLiteral("é")}) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, accented);
        QApplication::sendEvent(page.commandEntry(), &press);
    }
    EXPECT_EQ(page.commandEntry()->text(), QStringLiteral("AT+CMGF=1 çé"));
    ASSERT_EQ(page.tabs()->count(), 64);
    EXPECT_EQ(page.tabs()->tabText(0), "01");
    EXPECT_EQ(page.tabs()->tabText(63), "64");
}

// The "Status" list follows its newest line, from the lines logged before the page existed on.
TEST(DebugModem, StatusListFollowsItsNewestLine) {
    PortSlots slots;
    ModemLog log;
    for (int i = 0; i < 200; ++i)
        log.append(QStringLiteral("antes %1").arg(i));
    DebugModemPage page(&slots, &log);
    page.resize(1000, 600);
    page.show();
    QApplication::processEvents();
    auto* status = page.findChild<QListWidget*>("ListBox2");
    ASSERT_NE(status, nullptr);
    QScrollBar* bar = status->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    for (int i = 0; i < 50; ++i) {
        log.append(QStringLiteral("OK %1").arg(i));
        QApplication::processEvents();
        EXPECT_EQ(bar->value(), bar->maximum()) << i;
    }
}

TEST(DebugModem, ClosedSlotOneWarnsAndWritesNothing) {
    QTemporaryDir dir;
    ComMapping::setDataDir(dir.path());
    modemsim::SimulatorOptions options;
    options.dir = QString(dir.path() + "/portas").toStdString();
    options.ports = {modemsim::PortConfig{}, modemsim::PortConfig{}};
    modemsim::ModemSimulator sim(options);
    sim.start();
    PortSlots slots;
    slots.slot(2)->channel()->setComNumber(2);
    slots.slot(2)->channel()->open(); // another slot open does not matter
    ModemLog log;
    DebugModemPage page(&slots, &log);
    QStringList captions = DebugModemPage::commandCaptions();
    captions.prepend("Enviar Comando");
    for (const QString& caption : captions) {
        QPushButton* button = buttonCaptioned(&page, caption);
        ASSERT_NE(button, nullptr) << caption.toStdString();
        std::unique_ptr<QString> warning(answerNextMessageBox());
        button->click();
        EXPECT_EQ(*warning, DebugModemPage::closedPortWarning().replace('\r', '\n')) << caption.toStdString();
    }
    Aguarda(50);
    EXPECT_EQ(sim.received(0), "");
    EXPECT_EQ(sim.received(1), "");
    sim.stop();
    ComMapping::setDataDir(QString());
}

TEST(DebugModem, ReceberSmsCallsTheEngineOncePerClickAndNothingUnwired) {
    PortSlots slots;
    ModemLog log;
    DebugModemPage page(&slots, &log);
    QPushButton* button = buttonCaptioned(&page, "RECEBER SMS");
    ASSERT_NE(button, nullptr);
    button->click(); // not wired yet: no crash, no message box
    int reads = 0;
    page.setReceberSms([&] { ++reads; });
    button->click();
    button->click();
    EXPECT_EQ(reads, 2);
}

TEST(DebugModem, CommandsGoToSlotOneAndRepliesShowInTerminal) {
    QTemporaryDir dir;
    ComMapping::setDataDir(dir.path());
    modemsim::SimulatorOptions options;
    options.dir = QString(dir.path() + "/portas").toStdString();
    options.ports = {modemsim::PortConfig{}};
    modemsim::ModemSimulator sim(options);
    sim.start();
    PortSlots slots;
    SerialChannel* channel = slots.slot(1)->channel();
    channel->setComNumber(1);
    channel->open();
    // What the response coordinator does with announced bytes, for the terminal view.
    QObject::connect(channel, &SerialChannel::TriggerAvail,
                     [&](SerialChannel* ch, quint16 count) { slots.slot(1)->showReceived(ch->takeBytes(count)); });
    ModemLog log;
    DebugModemPage page(&slots, &log);
    buttonCaptioned(&page, "AT+CMGL=\"ALL\"")->click();
    page.commandEntry()->clear();
    buttonCaptioned(&page, "Enviar Comando")->click(); // empty entry: CR LF alone
    ASSERT_TRUE(waitUntil([&] { return sim.received(0).size() >= 17; }));
    EXPECT_EQ(sim.received(0), "AT+CMGL=\"ALL\"\r\n\r\n");
    TerminalView* terminal = page.terminal(1);
    ASSERT_TRUE(
        waitUntil([&] { return terminal->toPlainText().contains("ERROR") || terminal->toPlainText().contains("OK"); }));
    EXPECT_TRUE(terminal->toPlainText().startsWith("AT+CMGL=\"ALL\"\n"));
    // Keys typed into the terminal go to the modem.
    QTest::keyClicks(terminal, "at");
    QTest::keyClick(terminal, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return QByteArray::fromStdString(sim.received(0)).endsWith("at\r"); }));
    channel->close();
    QTest::keyClicks(terminal, "x"); // closed: nothing is sent
    EXPECT_FALSE(QByteArray::fromStdString(sim.received(0)).endsWith("x"));
    sim.stop();
    ComMapping::setDataDir(QString());
}

TEST(TerminalView, ShowsTextLinesAndBackspace) {
    PortSlot slot(3);
    TerminalView view(&slot);
    const struct {
        QByteArray bytes;
        QString shown;
    } cases[] = {{"AT\r\r\nOK\r\n", "AT\nOK\n"},
                 {"ABC\bD", "ABD"},
                 {QByteArray("+CMGS: 1\x1a\x00X", 11), "+CMGS: 1X"},
                 {"\xe7\xe3o", QStringLiteral("ção")}};
    for (const auto& c : cases) {
        view.clear();
        slot.showReceived(c.bytes);
        EXPECT_EQ(view.toPlainText(), c.shown) << c.bytes.toStdString();
    }
    EXPECT_EQ(TerminalView::keyBytes(Qt::Key_Return, "\r"), "\r");
    EXPECT_EQ(TerminalView::keyBytes(Qt::Key_Escape, "\x1b"), "\x1b");
    EXPECT_EQ(TerminalView::keyBytes(Qt::Key_Z, "\x1a"), "\x1a");
    EXPECT_EQ(TerminalView::keyBytes(Qt::Key_C, QStringLiteral("ç")), "\xe7");
}

TEST(ModemManual, WrittenIntoTheDataFolderWholeOrNotAtAll) {
    QTemporaryDir dir;
    QString error;
    const QString path = ModemManual::ensure(dir.path(), &error);
    ASSERT_FALSE(path.isEmpty()) << error.toStdString();
    EXPECT_EQ(QFileInfo(path).fileName(), "Manual_Configuração_Modem_VESTRAL_SMS.pdf");
    QProcess text;
    text.start("pdftotext", {path, "-"});
    if (text.waitForFinished(30000) && text.exitCode() == 0) {
        const QString body = QString::fromUtf8(text.readAllStandardOutput());
        for (const char* words : {"dialout", "portas/COM", "AT+CSQ", "ENTRADA 1 COM1 PRONTA"})
            EXPECT_TRUE(body.contains(QString::fromUtf8(words))) << words;
    }
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray whole = written.readAll();
    written.close();
    const auto put = [&path](const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    };
    // A manual that does not read as a whole PDF (cut by a full disk, or no PDF) is written again.
    for (const QByteArray& damaged : {whole.left(whole.size() / 2), QByteArray("mine"), QByteArray()}) {
        put(damaged);
        EXPECT_EQ(ModemManual::ensure(dir.path()), path);
        EXPECT_EQ(QFileInfo(path).size(), whole.size()) << damaged.size();
    }
    // A whole PDF (perhaps the operator's own) is kept.
    const QByteArray own = "%PDF-1.4\n" + QByteArray(100, ' ') + "\n%%EOF\n";
    put(own);
    EXPECT_EQ(ModemManual::ensure(dir.path()), path);
    EXPECT_EQ(QFileInfo(path).size(), own.size());
    // A write that fails is said, and the file there is kept.
    put("cut");
    {
        const TestFiles::FileSizeLimit limit(1024);
        error.clear();
        EXPECT_TRUE(ModemManual::ensure(dir.path(), &error).isEmpty());
    }
    EXPECT_TRUE(error.contains(path)) << error.toStdString();
    EXPECT_EQ(QFileInfo(path).size(), 3);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporary left
}

TEST(Aguarda, ProcessesEventsAtLeastOnceAndForTheWholeWait) {
    int ran = 0;
    QTimer::singleShot(0, [&] { ++ran; });
    Aguarda(0);
    EXPECT_EQ(ran, 1);
    bool late = false;
    QTimer::singleShot(20, [&] { late = true; });
    Aguarda(200); // a wait long enough for an event due well inside it
    EXPECT_TRUE(late);
}
