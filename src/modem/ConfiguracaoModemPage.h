#pragma once

#include <QWidget>

class DbGrid;
class PortConfigurator;
class QLabel;
class QPushButton;
class RecordNavigator;
class TADO;

// Page "Configuração Modem": the stored serial settings of the 64 slots (dbPORTA) in a grid with
// editors for the current row, and the buttons that configure, open and probe every slot.
class ConfiguracaoModemPage : public QWidget {
    Q_OBJECT
public:
    ConfiguracaoModemPage(TADO* ado, PortConfigurator* configurator, QWidget* parent = nullptr);

    DbGrid* grid() const { return m_grid; }
    // Which character set each slot's modem got for text mode, as the send chose it; in PDU mode, that
    // none is used.
    QLabel* charsetLabel() const { return m_charsets; }
    RecordNavigator* navigator() const { return m_navigator; }

    // Choices of the editors.
    static QStringList speedChoices();
    static QStringList parityChoices();
    static QStringList dataBitsChoices();
    static QStringList stopBitsChoices();

    // What answering Yes to the warning opens (the manual, written to the data folder first).
    static void openManual();

public Q_SLOTS:
    void btConfigurarClick(); // "Fechar e &Configurar todas as porta seriais"
    void btAbrirClick();      // "&Abrir todas as Portas"
    void btDispositivosClick();

Q_SIGNALS:
    // At least one slot is ready: the window shows "Enviar SMS" and connects the recipients.
    void portsOpened();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeEditors();
    QWidget* makeSimEditors();
    QWidget* makeButtons();
    void showCharsets();

    TADO* m_ado;
    PortConfigurator* m_configurator;
    DbGrid* m_grid;
    RecordNavigator* m_navigator = nullptr;
    QLabel* m_charsets = nullptr;
};
