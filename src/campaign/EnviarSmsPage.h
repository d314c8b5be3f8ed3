#pragma once

#include <QWidget>
#include <functional>

#include "campaign/OutboxBuilder.h"

class TADO;
class TDM;
class RecipientPanel;
class SmsTextEditor;
class QLabel;
class QListWidget;
class QProgressDialog;

// Sub-page "SMS" of "Enviar SMS": the recipient panel with its row marks, the SMS text group and
// the "Status" list, and the outbox builder button.
class EnviarSmsPage : public QWidget {
    Q_OBJECT
public:
    EnviarSmsPage(TADO* ado, TDM* recipients, QWidget* parent = nullptr);

    RecipientPanel* panel() const { return m_panel; }
    SmsTextEditor* editor() const { return m_editor; }
    QLabel* counter() const { return m_counter; }
    QListWidget* statusList() const { return m_status; }
    // The modem side's re-probe of the ready slots (VerificaPortas); none ready until wired.
    void setVerificaPortas(std::function<bool()> verificaPortas);

Q_SIGNALS:
    // The build wants the operator on another page: the ports (none ready) or the outbox (rows built).
    // The window shows the page it holds for each.
    void portsPageWanted();
    void outboxPageWanted();

public Q_SLOTS:
    void suiButton22Click(); // connect, also after the ports were opened
    void suiButton25Click(); // "Filtrar"
    void suiButton9Click();  // "Marcar Todos"
    void suiButton11Click(); // "Desmarcar Todos"
    void suiButton26Click(); // "Marcar Daqui!"
    void suiButton19Click(); // "Enviar SMS Caixa de Saída  "
    void refreshIndicator();

protected:
    void showEvent(QShowEvent* event) override; // TabSheet1Show

private:
    QWidget* makeSmsGroup();
    QWidget* makeButtons();
    void addStatusLine(const QString& line);
    bool showProgress(QProgressDialog* dialog, const OutboxBuilder::Progress& p);
    void showOutcome(const OutboxBuilder::Result& r);

    TADO* m_ado;
    TDM* m_tdm;
    RecipientPanel* m_panel;
    SmsTextEditor* m_editor = nullptr;
    QLabel* m_counter = nullptr;
    QListWidget* m_status = nullptr;
    OutboxBuilder m_builder;
    bool m_building = false;
};
