// What the operator meets on the pages: the queue counters, typing the scheduled time, the contact's
// group, the shipped texts, the page after opening the ports, the settings page, calendars.
#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>
#include <gtest/gtest.h>

#include "TempDataDir.h"
#include "app/EstacoesPage.h"
#include "app/QtTextGaps.h"
#include "app/RegionalWidgets.h"
#include "app/SettingsPages.h"
#include "app/TfPrincipal.h"
#include "app/VersionInfo.h"
#include "campaign/Merge.h"
#include "campaign/SmsKeyFilter.h"
#include "campaign/SmsTextEditor.h"
#include "modem/ConfiguracaoModemPage.h"
#include "modem/PortPanelWidget.h"
#include "store/SmsModeSettings.h"
#include "widgets/CalendarHeaderPainter.h"
#include "widgets/RowPainter.h"

namespace {

class OperatorPages : public ::testing::Test {
protected:
    void SetUp() override {
        QApplication::setStyle("Fusion");
        ASSERT_TRUE(d.start().ok);
    }
    void open() {
        window = std::make_unique<TfPrincipal>(d.ado.get());
        window->resize(1025, 779);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    bool sql(const QString& statement) {
        QSqlQuery q(d.ado->database());
        return q.exec(statement);
    }
    void showPage(const QString& caption) {
        window->pages()->setCurrentIndex(TfPrincipal::pageCaptions().indexOf(caption));
        QApplication::processEvents();
    }
    TempDataDir d;
    std::unique_ptr<TfPrincipal> window;
};

// The counter of every slot shows a queue of 99,999 in full at the design size.
TEST_F(OperatorPages, QueueCountersShowFiveDigitsAtTheDesignSize) {
    open();
    for (int n : {1, 16, 17, 64}) {
        auto* counter = window->findChild<QLabel*>(QStringLiteral("L%1").arg(n));
        ASSERT_NE(counter, nullptr) << n;
        counter->setText("99999");
        QApplication::processEvents();
        EXPECT_GE(counter->contentsRect().width(), counter->fontMetrics().horizontalAdvance("99999")) << n;
        EXPECT_GE(counter->width(), PortPanelWidget::counterWidth(counter->font())) << n;
    }
    EXPECT_EQ(window->width(), 1025);
}

ConfigSistemaPage* settingsPage(TfPrincipal* w) {
    return qobject_cast<ConfigSistemaPage*>(w->page("Configuração do Sistema/Configuração Sistema"));
}

// The operator types the time as "18:15" or "1815"; the stored text keeps its own form.
TEST_F(OperatorPages, ScheduledTimeCanBeTypedAndKeepsTheStoredForm) {
    struct Case {
        const char* stored;
        const char* typed;
        const char* expected;
    };
    const Case cases[] = {
        {"08:00", "18:15", "18:15"},      {"08:00", "1815", "18:15"},
        {"08:00:00", "0730", "07:30:00"}, {"1899-12-30 08:00:00", "2359", "1899-12-30 23:59:00"},
        {"08:00", "00:05", "00:05"},
    };
    open();
    showPage("Configuração do Sistema");
    QTimeEdit* horario = settingsPage(window.get())->horario();
    Dataset* cfg = d.ado->dbCFG;
    for (const Case& c : cases) {
        ASSERT_TRUE(sql(QStringLiteral("UPDATE dbCFG SET HORARIO = '%1'").arg(QLatin1String(c.stored))));
        cfg->refresh();
        horario->setFocus();
        QTest::mouseClick(horario, Qt::LeftButton, {}, QPoint(8, horario->height() / 2)); // into the hours
        QTest::keyClicks(horario, QString::fromLatin1(c.typed));
        EXPECT_EQ(horario->time().toString("HH:mm"), QString::fromLatin1(c.expected).right(8).left(5))
            << c.stored << " " << c.typed;
        EXPECT_EQ(cfg->text("HORARIO"), QString::fromLatin1(c.expected)) << c.stored << " " << c.typed;
        cfg->cancel();
    }
}

// A group added after the window opened is shown for the contact that belongs to it.
TEST_F(OperatorPages, ContactEditorShowsAGroupAddedAfterStart) {
    open();
    ASSERT_TRUE(sql("INSERT INTO dbGRUPO (ID_GRUPO, GRUPO) VALUES (77, 'CLIENTES NOVOS')"));
    ASSERT_TRUE(sql("INSERT INTO dbCLIENTE (NOME, FONE, ID_GRUPO) VALUES ('Ana', '11999990000', 77)"));
    d.ado->dbCLIENTE->refresh();
    d.ado->dbCLIENTE->first();
    showPage("Cadastro de Contatos");
    auto* group = window->page("Cadastro de Contatos")->findChild<QComboBox*>("ID_GRUPO");
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->currentText(), "CLIENTES NOVOS");
}

// The shipped SMS text passes the SMS editor's own key filter; the e-mail body uses only
// placeholders the merge replaces; "Sobre" names the version of the title, also for an older file.
TEST_F(OperatorPages, ShippedTextsAndOneVersionEverywhere) {
    Dataset* cfg = d.ado->dbCFG;
    const QString sms = cfg->text("BODY_SMS");
    for (QChar c : sms)
        EXPECT_TRUE(SmsKeyFilter::accepts(c.unicode())) << QString(c).toStdString();
    const QString email = cfg->text("BODY_EMAIL");
    qsizetype at = 0;
    while ((at = email.indexOf('[', at)) >= 0) {
        const QString mark = email.mid(at, email.indexOf(']', at) - at + 1);
        EXPECT_TRUE(Merge::placeholders().contains(mark)) << mark.toStdString();
        ++at;
    }
    ASSERT_TRUE(sql("UPDATE dbCFG SET VERSAO = '2.0'"));
    cfg->refresh();
    open();
    showPage("Sobre");
    const QString expected = "Versão: " + VersionInfo::current();
    QStringList shown;
    for (QLabel* l : window->page("Sobre")->findChildren<QLabel*>())
        shown << l->text();
    EXPECT_TRUE(shown.contains(expected)) << shown.join(" | ").toStdString();
    EXPECT_TRUE(window->windowTitle().endsWith(VersionInfo::current()));
    EXPECT_EQ(cfg->text("VERSAO"), VersionInfo::current());
}

// After "&Abrir todas as Portas" the window shows "Enviar SMS" on its "SMS" sub-page.
TEST_F(OperatorPages, OpeningThePortsShowsTheSmsSubPage) {
    open();
    auto* smsPages = qobject_cast<QTabWidget*>(window->pages()->widget(0));
    ASSERT_NE(smsPages, nullptr);
    smsPages->setCurrentIndex(2); // "SMS Recebido" was open last
    showPage("Configuração Modem");
    auto* modem = qobject_cast<ConfiguracaoModemPage*>(window->page("Configuração Modem"));
    ASSERT_NE(modem, nullptr);
    Q_EMIT modem->portsOpened();
    EXPECT_EQ(window->pages()->currentIndex(), 0);
    EXPECT_EQ(smsPages->tabText(smsPages->currentIndex()), "SMS");
    EXPECT_EQ(smsPages->currentWidget(), window->page("Enviar SMS/SMS"));
}

// The scheduled-send controls sit in their captioned group; the connection string and the query
// are multi-line boxes with room for several lines at the design size.
TEST_F(OperatorPages, SettingsPageGroupsTheScheduleAndGivesTheQueryRoom) {
    open();
    showPage("Configuração do Sistema");
    ConfigSistemaPage* page = settingsPage(window.get());
    auto* group = page->findChild<QGroupBox*>("scheduleGroup");
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->title(), "Envio automático de SMS");
    EXPECT_TRUE(group->isAncestorOf(page->horario()));
    EXPECT_TRUE(group->isAncestorOf(page->scheduleCountdown()));
    for (const char* name : {"ADOCONNECTION", "QUERY"}) {
        auto* box = page->findChild<QPlainTextEdit*>(name);
        ASSERT_NE(box, nullptr) << name;
        EXPECT_GE(box->viewport()->height(), 4 * box->fontMetrics().lineSpacing()) << name;
        EXPECT_EQ(box->lineWrapMode(), QPlainTextEdit::WidgetWidth) << name;
    }
}

// The opt-out confirmation starts off and is saved with the settings row.
TEST_F(OperatorPages, OptOutConfirmationIsASavedSetting) {
    open();
    showPage("Configuração do Sistema");
    auto* confirm = settingsPage(window.get())->findChild<QCheckBox*>("CONFIRMA_SAIR");
    ASSERT_NE(confirm, nullptr);
    EXPECT_FALSE(confirm->isChecked());
    confirm->click();
    ASSERT_TRUE(d.ado->dbCFG->post()) << d.ado->dbCFG->lastError().toStdString();
    QSqlQuery q(d.ado->database());
    ASSERT_TRUE(q.exec("SELECT CONFIRMA_SAIR FROM dbCFG") && q.next());
    EXPECT_EQ(q.value(0).toInt(), 1);
}

// The sending mode is chosen on the settings page and saved with it; both SMS editors follow the choice at
// once (before it is saved), and a cancel brings back the stored mode.
TEST_F(OperatorPages, SmsModeChosenOnTheSettingsPageDrivesTheEditors) {
    open();
    showPage("Configuração do Sistema");
    ConfigSistemaPage* page = settingsPage(window.get());
    auto* mode = page->findChild<QComboBox*>("MODO_SMS");
    auto* confirm = page->findChild<QCheckBox*>("CONFIRMA_ENTREGA");
    ASSERT_TRUE(mode && confirm);
    EXPECT_EQ(mode->currentText(), "Texto");
    EXPECT_FALSE(confirm->isChecked());
    const QList<SmsTextEditor*> editors = window->findChildren<SmsTextEditor*>();
    ASSERT_EQ(editors.size(), 2);
    mode->setFocus();
    QTest::keyClick(mode, Qt::Key_Down);
    confirm->click();
    EXPECT_EQ(mode->currentText(), "PDU");
    for (SmsTextEditor* e : editors)
        EXPECT_EQ(e->mode(), SmsMode::Pdu);
    Dataset* cfg = d.ado->dbCFG;
    ASSERT_TRUE(cfg->post()) << cfg->lastError().toStdString();
    QString err;
    SmsModeSettings saved = readSmsMode(d.ado->database(), &err);
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();
    EXPECT_EQ(saved.mode, SmsMode::Pdu);
    EXPECT_TRUE(saved.confirmDelivery);
    QTest::keyClick(mode, Qt::Key_Up);
    for (SmsTextEditor* e : editors)
        EXPECT_EQ(e->mode(), SmsMode::Text);
    cfg->cancel();
    EXPECT_EQ(mode->currentText(), "PDU");
    for (SmsTextEditor* e : editors)
        EXPECT_EQ(e->mode(), SmsMode::Pdu);
    EXPECT_EQ(readSmsMode(d.ado->database(), &err).mode, SmsMode::Pdu);
}

// Calendars name the days as the regional formats do, Sunday first.
TEST(RegionalCalendar, DayNamesAreTheRegionalOnes) {
    RegionalWidgets regional;
    qApp->installEventFilter(&regional);
    QCalendarWidget calendar;
    calendar.show();
    qApp->removeEventFilter(&regional);
    auto* view = calendar.findChild<QTableView*>("qt_calendar_calendarview");
    ASSERT_NE(view, nullptr);
    auto* painter = qobject_cast<CalendarHeaderPainter*>(view->itemDelegate());
    ASSERT_NE(painter, nullptr);
    const QStringList expected{"Dom", "Seg", "Ter", "Qua", "Qui", "Sex", "Sab"};
    QStringList shown;
    for (int column = 0; column < 8; ++column)
        shown << painter->headerText(column);
    EXPECT_EQ(shown.mid(1, 7), expected); // column 0 holds the week numbers
    calendar.setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    EXPECT_EQ(painter->headerText(0), "Dom");
    EXPECT_EQ(painter->headerText(7), "");
}

// Month names are Portuguese in every calendar, also where the process's default locale is another one (a
// calendar built before the regional formats are installed, a system in English): a plain calendar and the
// drop-down of a date box.
TEST(RegionalCalendar, MonthNamesArePortugueseWhateverTheDefaultLocale) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    RegionalWidgets regional;
    qApp->installEventFilter(&regional);
    QCalendarWidget calendar;
    calendar.setSelectedDate(QDate(2026, 12, 10));
    calendar.show();
    QDateEdit box(QDate(2026, 3, 1));
    box.setCalendarPopup(true);
    box.show();
    QCalendarWidget* popup = box.calendarWidget();
    popup->show();
    qApp->removeEventFilter(&regional);
    QLocale::setDefault(before);
    const struct {
        QCalendarWidget* calendar;
        const char* month;
    } cases[] = {{&calendar, "dezembro"}, {popup, "março"}};
    for (const auto& c : cases) {
        auto* button = c.calendar->findChild<QToolButton*>("qt_calendar_monthbutton");
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), QString::fromUtf8(c.month));
        ASSERT_NE(button->menu(), nullptr);
        const QList<QAction*> months = button->menu()->actions();
        ASSERT_EQ(months.size(), 12);
        EXPECT_EQ(months.first()->text(), "janeiro");
        EXPECT_EQ(c.calendar->firstDayOfWeek(), Qt::Sunday);
    }
}

// The file dialog's type column in Portuguese, where Qt's catalogue has no text; nothing else taken.
TEST(QtTextGaps, FileTypesInPortuguese) {
    QtTextGaps gaps;
    EXPECT_EQ(gaps.translate("QAbstractFileIconProvider", "Folder"), "Pasta");
    EXPECT_EQ(gaps.translate("QAbstractFileIconProvider", "%1 File"), "Arquivo %1");
    EXPECT_EQ(gaps.translate("QAbstractFileIconProvider", "Something new"), "");
    EXPECT_EQ(gaps.translate("QFileDialog", "Folder"), "");
    EXPECT_EQ(gaps.translate(nullptr, "Folder"), "");
    EXPECT_EQ(gaps.translate("QAbstractFileIconProvider", nullptr), "");
}

// A message with line breaks is one line in a grid row.
TEST(GridRows, LineBreaksBecomeOneLine) {
    RowPainter painter;
    const struct {
        const char* text;
        const char* shown;
    } cases[] = {{"linha 1\nlinha 2", "linha 1 linha 2"},
                 {"a\r\n\r\nb", "a b"},
                 {"sem quebra", "sem quebra"},
                 {"\nfim\n", " fim "}};
    for (const auto& c : cases)
        EXPECT_EQ(painter.displayText(QString::fromLatin1(c.text), QLocale()), QString::fromLatin1(c.shown)) << c.text;
}

// Page "Estações": the stations' figures, a silent one in red with its silence said; read again only while shown;
// a name from the store with control characters shown on one line.
TEST_F(OperatorPages, StationsPageShowsTheFiguresAndASilentStationInRed) {
    ASSERT_TRUE(sql("INSERT INTO dbESTACAO (NOME, HOST, VERSAO, PID, BATIDA) VALUES ('balcao', 'maq1', '2.0', 11, "
                    "datetime('now', 'localtime'))"));
    ASSERT_TRUE(sql("INSERT INTO dbESTACAO (NOME, HOST, VERSAO, PID, BATIDA, ERRO) VALUES ('fundos\n\x01', 'maq2', "
                    "'2.0', 12, '2001-01-01 00:00:00', 'sem resposta')"));
    open();
    auto* page = qobject_cast<EstacoesPage*>(window->page("Estações"));
    ASSERT_NE(page, nullptr);
    EXPECT_FALSE(page->refreshing());
    showPage("Estações");
    EXPECT_TRUE(page->refreshing());
    QTableWidget* grid = page->grid();
    ASSERT_EQ(grid->rowCount(), 2);
    EXPECT_EQ(grid->item(0, 0)->text(), "balcao");
    EXPECT_EQ(grid->item(0, 0)->background().style(), Qt::NoBrush);
    EXPECT_EQ(grid->item(1, 1)->text(), "maq2");
    EXPECT_TRUE(grid->item(1, 4)->text().endsWith(" (SEM SINAL)")) << grid->item(1, 4)->text().toStdString();
    EXPECT_EQ(grid->item(1, 8)->text(), "sem resposta");
    EXPECT_EQ(grid->item(1, 0)->background().color().red(), 0xC0);
    EXPECT_EQ(page->status()->text(), "2 estação(ões), 1 sem sinal");
    // A station that starts beating again loses its red at the next reading.
    ASSERT_TRUE(sql("UPDATE dbESTACAO SET BATIDA = datetime('now', 'localtime')"));
    page->refresh();
    EXPECT_EQ(grid->item(1, 0)->background().style(), Qt::NoBrush);
    showPage("Sobre");
    EXPECT_FALSE(page->refreshing());
}

} // namespace
