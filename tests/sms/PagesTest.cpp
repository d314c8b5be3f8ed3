// The outbox page (marks, Ctrl+Delete, deleting everything, the scheduled send pressing the
// button) and the received-SMS page (a click marks a message read).
#include "../common/TempDataDir.h"
#include "sms/CaixaSaidaPage.h"
#include "sms/ScheduledSend.h"
#include "sms/SmsRecebidoPage.h"
#include "sms/SmsSender.h"
#include "sms/SmsStation.h"
#include "widgets/DbGrid.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>

namespace {

struct PageBench {
    TempDataDir data;
    bool start(int outboxRows) {
        if (!data.start().ok)
            return false;
        QSqlQuery q(data.ado->database());
        for (int i = 0; i < outboxRows; ++i) {
            q.prepare("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES (?, ?, 1)");
            q.addBindValue(QStringLiteral("551190000000%1").arg(i));
            q.addBindValue(QStringLiteral("texto %1").arg(i));
            if (!q.exec())
                return false;
        }
        data.ado->dbMENSAGEM->refresh();
        return true;
    }
    int count(const char* table) {
        QSqlQuery q(data.ado->database());
        q.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table));
        return q.next() ? q.value(0).toInt() : -1;
    }
};

} // namespace

TEST(CaixaSaidaPage, MarksAndCtrlDeleteRemoveTheMarkedRows) {
    PageBench bench;
    ASSERT_TRUE(bench.start(4));
    SmsStation station(bench.data.ado.get());
    CaixaSaidaPage page(bench.data.ado.get(), &station);
    QStringList asked;
    QMessageBox::StandardButton answer = QMessageBox::No;
    page.setDialog([&](QMessageBox::Icon, const QString& text, QMessageBox::StandardButtons buttons) {
        asked << text;
        EXPECT_EQ(buttons, QMessageBox::Yes | QMessageBox::No);
        return answer;
    });
    page.show();
    page.markAll();
    EXPECT_EQ(page.markedIds().size(), 4);
    page.unmarkAll();
    EXPECT_TRUE(page.markedIds().isEmpty());
    page.grid()->setCurrentIndex(page.grid()->model()->index(2, 0));
    page.unmarkAll();
    page.markFromHere();
    EXPECT_EQ(page.markedIds(), (QList<qint64>{3, 4}));
    QTest::keyClick(page.grid(), Qt::Key_Delete, Qt::ControlModifier); // "Não" keeps the rows
    EXPECT_EQ(asked, QStringList{"Apagar 2 mensagens marcadas?"});
    EXPECT_EQ(bench.count("dbMENSAGEM"), 4);
    answer = QMessageBox::Yes;
    QTest::keyClick(page.grid(), Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(asked.size(), 2);
    EXPECT_EQ(bench.count("dbMENSAGEM"), 2);
    EXPECT_EQ(bench.data.ado->dbMENSAGEM->recordCount(), 2);
    QTest::keyClick(page.grid(), Qt::Key_Delete); // without Ctrl nothing happens
    EXPECT_EQ(bench.count("dbMENSAGEM"), 2);
    page.unmarkAll();
    page.grid()->setCurrentIndex(QModelIndex());
    QTest::keyClick(page.grid(), Qt::Key_Delete, Qt::ControlModifier); // nothing marked: no question
    EXPECT_EQ(asked.size(), 2);
}

TEST(CaixaSaidaPage, DeleteAllAsksFirst) {
    PageBench bench;
    ASSERT_TRUE(bench.start(3));
    SmsStation station(bench.data.ado.get());
    CaixaSaidaPage page(bench.data.ado.get(), &station);
    QString asked;
    QMessageBox::StandardButton answer = QMessageBox::No;
    page.setDialog([&](QMessageBox::Icon, const QString& text, QMessageBox::StandardButtons) {
        asked = text;
        return answer;
    });
    page.apagarTodas();
    EXPECT_TRUE(asked.startsWith("Ao excluir as mensagens na caixa de saída"));
    EXPECT_EQ(bench.count("dbMENSAGEM"), 3);
    answer = QMessageBox::Yes;
    page.apagarTodas();
    EXPECT_EQ(bench.count("dbMENSAGEM"), 0);
}

// At the configured second the page marks every row and presses the send button; with no active
// slot every worker ends at once and the rows stay.
TEST(CaixaSaidaPage, ScheduledSendMarksAllAndSends) {
    PageBench bench;
    ASSERT_TRUE(bench.start(5));
    QSqlQuery q(bench.data.ado->database());
    ASSERT_TRUE(q.exec("UPDATE dbCFG SET HORARIO = '08:00:00'"));
    SmsStation station(bench.data.ado.get());
    CaixaSaidaPage page(bench.data.ado.get(), &station);
    station.schedule()->setClock([] { return QDateTime(QDate(2026, 12, 9), QTime(8, 0)); });
    int ended = 0;
    QObject::connect(station.sender(), &SmsSender::workerEnded, [&] { ++ended; });
    station.scheduledTick();
    EXPECT_EQ(page.markedIds().size(), 5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !station.sender()->running(); }, 10000));
    EXPECT_EQ(ended, 64);
    EXPECT_EQ(bench.count("dbMENSAGEM"), 5);
}

// Rows left in flight by an interrupted send are painted in their own colour, with a hint; the
// button clears their marks (refused while a send runs, which here none does).
TEST(CaixaSaidaPage, InterruptedRowsAreShownAndCanBeSentAgain) {
    PageBench bench;
    ASSERT_TRUE(bench.start(3));
    QSqlQuery q(bench.data.ado->database());
    ASSERT_TRUE(q.exec("UPDATE dbMENSAGEM SET ENVIANDO = '2026-12-09 08:00:00' WHERE ID IN (1, 3)"));
    bench.data.ado->dbMENSAGEM->refresh();
    SmsStation station(bench.data.ado.get());
    CaixaSaidaPage page(bench.data.ado.get(), &station);
    page.resize(900, 500);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    const QImage shot = page.grid()->viewport()->grab().toImage();
    auto colourOf = [&](int row) {
        const QRect cell = page.grid()->visualRect(page.grid()->model()->index(row, 2));
        return shot.pixelColor(cell.right() - 3, cell.center().y());
    };
    EXPECT_EQ(colourOf(0), CaixaSaidaPage::interruptedColor());
    EXPECT_NE(colourOf(1), CaixaSaidaPage::interruptedColor());
    EXPECT_EQ(colourOf(2), CaixaSaidaPage::interruptedColor());
    auto* hint = page.findChild<QLabel*>("interruptedHint");
    ASSERT_NE(hint, nullptr);
    EXPECT_TRUE(hint->text().contains("Reenviar Interrompidas"));
    auto* button = page.findChild<QPushButton*>("Reenviar Interrompidas");
    ASSERT_NE(button, nullptr);
    button->click();
    EXPECT_EQ(bench.count("dbMENSAGEM"), 3);
    ASSERT_TRUE(q.exec("SELECT COUNT(*) FROM dbMENSAGEM WHERE ENVIANDO IS NOT NULL"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 0);
}

TEST(SmsRecebidoPage, ClickMarksRead) {
    PageBench bench;
    ASSERT_TRUE(bench.start(0));
    QSqlQuery q(bench.data.ado->database());
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO dbSMS (ID_SMS, ENTRADA, FONE, SMS, LIDO) VALUES (%1, 1, "
                                          "'+5511', 'oi', 0)")
                               .arg(i + 1)));
    SmsRecebidoPage page(bench.data.ado.get());
    page.resize(900, 400);
    page.show();
    ASSERT_EQ(page.grid()->model()->rowCount(), 2);
    const QRect cell = page.grid()->visualRect(page.grid()->model()->index(1, 1));
    QTest::mouseClick(page.grid()->viewport(), Qt::LeftButton, {}, cell.center());
    q.exec("SELECT ID_SMS, LIDO FROM dbSMS ORDER BY ID");
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(1).toInt(), 0);
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(1).toInt(), 1);
}

// An unread message is drawn red and bold where a read one is drawn: marking it read must not move its
// text sideways. Both rows show the same "Entrada" value.
TEST(SmsRecebidoPage, UnreadRowsDrawTheirTextWhereReadRowsDo) {
    PageBench bench;
    ASSERT_TRUE(bench.start(0));
    QSqlQuery q(bench.data.ado->database());
    for (int lido : {0, 1, 0})
        ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO dbSMS (ID_SMS, ENTRADA, FONE, SMS, LIDO) VALUES (1, 1, "
                                          "'+5511', 'oi', %1)")
                               .arg(lido)));
    SmsRecebidoPage page(bench.data.ado.get());
    page.resize(900, 400);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    ASSERT_EQ(page.grid()->model()->rowCount(), 3);
    const QImage shot = page.grid()->viewport()->grab().toImage();
    struct Ink {
        int left = -1;
        QColor colour;
    };
    auto inkOf = [&](int row) { // the leftmost pixel that is not the row's background, in the "Entrada" cell
        const QRect cell = page.grid()->visualRect(page.grid()->model()->index(row, 2));
        const QColor background = shot.pixelColor(cell.right() - 2, cell.top() + 2);
        for (int x = cell.left(); x < cell.right(); ++x)
            for (int y = cell.top(); y < cell.bottom(); ++y)
                if (shot.pixelColor(x, y) != background)
                    return Ink{x - cell.left(), shot.pixelColor(x, y)};
        return Ink{};
    };
    const Ink read = inkOf(1);
    for (int unread : {0, 2}) {
        const Ink ink = inkOf(unread);
        ASSERT_GE(ink.left, 0) << unread;
        EXPECT_NEAR(ink.left, read.left, 1) << "row " << unread;
        EXPECT_GT(ink.colour.red(), ink.colour.green() + 60) << "row " << unread; // red text
    }
    ASSERT_GE(read.left, 0);
    EXPECT_LT(qAbs(read.colour.red() - read.colour.green()), 40); // black or grey text
}
