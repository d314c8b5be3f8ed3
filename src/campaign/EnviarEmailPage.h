#pragma once

#include <QWidget>

class TADO;
class TDM;
class RecipientPanel;
class QVBoxLayout;

// Page "Enviar EMAIL": its recipient panel over the shared recipient set; the e-mail campaign
// adds its own controls to `campaignArea()`.
class EnviarEmailPage : public QWidget {
    Q_OBJECT
public:
    EnviarEmailPage(TADO* ado, TDM* recipients, QWidget* parent = nullptr);

    RecipientPanel* panel() const { return m_panel; }
    QVBoxLayout* campaignArea() const { return m_campaignArea; }

public Q_SLOTS:
    void suiButton22Click();
    void suiButton8Click(); // "Filtrar"
    void refreshIndicator();

protected:
    void showEvent(QShowEvent* event) override; // TabSheet2Show

private:
    RecipientPanel* m_panel;
    QVBoxLayout* m_campaignArea;
};
