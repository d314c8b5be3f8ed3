#pragma once

#include <QWidget>

#include <functional>

class ModemLog;
class PortSlots;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class TerminalView;

// Page "Debug Modem": one sub-tab per slot ("01".."64") with the slot's response line and
// terminal view; on "01" the command entry, "Enviar Comando" and nine frequent commands, all
// sent to slot 1; below, the "Status" list with slot 1's reply lines.
class DebugModemPage : public QWidget {
    Q_OBJECT
public:
    DebugModemPage(PortSlots* slots, ModemLog* consoleLog, QWidget* parent = nullptr);

    static const QStringList& commandCaptions();
    static QString closedPortWarning();
    // Edit4KeyPress: a typed "a".."z" enters as its upper-case letter; anything else unchanged.
    static QChar commandChar(QChar typed);

    QTabWidget* tabs() const { return m_tabs; }
    QLineEdit* commandEntry() const { return m_command; }
    QListWidget* statusList() const { return m_status; }
    TerminalView* terminal(int slot) const;
    QPushButton* receberSmsButton() const { return m_receberSms; }
    // What "RECEBER SMS" does: the SMS engine's inbox reading.
    void setReceberSms(std::function<void()> read) { m_receberSmsAction = std::move(read); }

public Q_SLOTS:
    void Button2Click();  // "Enviar Comando"
    void Button3Click();  // the nine command buttons (the sender's caption)
    void Button13Click(); // "RECEBER SMS"

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeSlotTab(int n);
    QWidget* makeCommandRow(QWidget* parent);
    void sendToSlot1(const QString& command);

    PortSlots* m_slots;
    QTabWidget* m_tabs;
    QLineEdit* m_command = nullptr;
    QListWidget* m_status = nullptr;
    QPushButton* m_receberSms = nullptr;
    std::function<void()> m_receberSmsAction;
};
