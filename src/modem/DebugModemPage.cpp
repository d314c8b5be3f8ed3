#include "modem/DebugModemPage.h"

#include "modem/ModemLog.h"
#include "modem/PortSlot.h"
#include "modem/TerminalView.h"
#include "widgets/TabRows.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

DebugModemPage::DebugModemPage(PortSlots* slots, ModemLog* consoleLog, QWidget* parent)
    : QWidget(parent), m_slots(slots), m_tabs(new QTabWidget(this)) {
    setObjectName(QStringLiteral("Debug Modem"));
    auto* v = new QVBoxLayout(this);
    for (int n = 1; n <= PortSlots::kCount; ++n)
        m_tabs->addTab(makeSlotTab(n), QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')));
    auto* rows = new TabRows(m_tabs, 44, this);
    v->setSpacing(0);
    v->addWidget(rows);
    v->addWidget(m_tabs, 3);
    rows->rebuild();
    auto* group = new QGroupBox(QStringLiteral("Status"), this);
    auto* g = new QVBoxLayout(group);
    m_status = new QListWidget(group);
    m_status->setObjectName(QStringLiteral("ListBox2"));
    m_status->setSelectionMode(QAbstractItemView::ExtendedSelection);
    g->addWidget(m_status);
    v->addWidget(group, 1);
    for (const QString& line : consoleLog->lines())
        m_status->addItem(line);
    m_status->scrollToBottom();
    // The list follows its newest line, as the send log does.
    connect(consoleLog, &ModemLog::lineAppended, m_status, [this](const QString& line) {
        m_status->addItem(line);
        m_status->scrollToBottom();
    });
}

const QStringList& DebugModemPage::commandCaptions() {
    static const QStringList captions{"AT",       "AT+CFUN=6", "AT+CFUN?",        "AT+CSQ", "AT+CMGF=1",
                                      "AT+CSMS?", "AT+CSCA?",  "AT+CMGL=\"ALL\"", "ATZ"};
    return captions;
}

QString DebugModemPage::closedPortWarning() {
    return QStringLiteral("A porta deve estar aberta para que possa enviar comando!\rAbras as portas antes de "
                          "continuar.");
}

QChar DebugModemPage::commandChar(QChar typed) {
    return typed >= QLatin1Char('a') && typed <= QLatin1Char('z') ? typed.toUpper() : typed;
}

TerminalView* DebugModemPage::terminal(int slot) const {
    return findChild<TerminalView*>(QStringLiteral("AdTerminal%1").arg(slot));
}

QWidget* DebugModemPage::makeSlotTab(int n) {
    PortSlot* slot = m_slots->slot(n);
    auto* tab = new QWidget(m_tabs);
    auto* v = new QVBoxLayout(tab);
    auto* line = new QLineEdit(tab);
    line->setObjectName(QStringLiteral("edt%1").arg(n));
    line->setReadOnly(true);
    connect(slot, &PortSlot::responseLineChanged, line, &QLineEdit::setText);
    v->addWidget(line);
    if (n == 1)
        v->addWidget(makeCommandRow(tab));
    v->addWidget(new TerminalView(slot, tab), 1);
    return tab;
}

QWidget* DebugModemPage::makeCommandRow(QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    auto* top = new QHBoxLayout;
    m_command = new QLineEdit(QStringLiteral("AT+CNMI?"), box);
    m_command->setObjectName(QStringLiteral("Edit4"));
    m_command->installEventFilter(this);
    auto* send = new QPushButton(QStringLiteral("Enviar Comando"), box);
    send->setObjectName(QStringLiteral("Button2"));
    connect(send, &QPushButton::clicked, this, &DebugModemPage::Button2Click);
    connect(m_command, &QLineEdit::returnPressed, this, &DebugModemPage::Button2Click);
    top->addWidget(m_command, 1);
    top->addWidget(send);
    v->addLayout(top);
    auto* buttons = new QHBoxLayout;
    for (const QString& caption : commandCaptions()) {
        auto* b = new QPushButton(caption, box);
        connect(b, &QPushButton::clicked, this, &DebugModemPage::Button3Click);
        buttons->addWidget(b);
    }
    buttons->addStretch();
    m_receberSms = new QPushButton(QStringLiteral("RECEBER SMS"), box);
    m_receberSms->setObjectName(QStringLiteral("btReceberSms"));
    connect(m_receberSms, &QPushButton::clicked, this, &DebugModemPage::Button13Click);
    buttons->addWidget(m_receberSms);
    v->addLayout(buttons);
    return box;
}

bool DebugModemPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_command && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        if (text.size() == 1 && commandChar(text[0]) != text[0] && !(key->modifiers() & Qt::ControlModifier)) {
            m_command->insert(QString(commandChar(text[0])));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void DebugModemPage::Button13Click() {
    if (m_receberSmsAction)
        m_receberSmsAction();
}

void DebugModemPage::Button2Click() {
    sendToSlot1(m_command->text());
}

void DebugModemPage::Button3Click() {
    if (auto* button = qobject_cast<QPushButton*>(sender()))
        sendToSlot1(button->text());
}

void DebugModemPage::sendToSlot1(const QString& command) {
    SerialChannel* channel = m_slots->slot(1)->channel();
    if (!channel->isOpen()) {
        QMessageBox::warning(window(), QApplication::applicationName(), closedPortWarning().replace('\r', '\n'));
        return;
    }
    try {
        channel->WriteText(command + QStringLiteral("\r\n"));
    } catch (const SerialChannelError& e) {
        QMessageBox::critical(window(), QApplication::applicationName(), e.text());
    }
}
