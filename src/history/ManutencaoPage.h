#pragma once

#include <QWidget>

#include "history/Maintenance.h"
#include "history/OperatorDialog.h"

class TADO;
class QCalendarWidget;
class QLabel;

// Sub-page "Manutenção do Banco de Dados": the record counts of the history, the contacts and
// the outbox, and their bulk deletion.
class ManutencaoPage : public QWidget {
    Q_OBJECT
public:
    explicit ManutencaoPage(TADO* ado, QWidget* parent = nullptr);

    QLabel* countLabel(Maintenance::Table table) const;
    QCalendarWidget* periodoInicial() const { return m_inicial; }
    QCalendarWidget* periodoFinal() const { return m_final; }
    void setDialog(OperatorDialog dialog) { m_dialog = std::move(dialog); }

public Q_SLOTS:
    void TabSheet81Show(); // the three counts
    void Button8Click();   // history: "Limpar Todos os Registros"
    void Button9Click();   // history: "Limpar Registros no Período"
    void Button10Click();  // contacts: "Limpar Todos os Registros"
    void Button12Click();  // outbox: "Limpar Todos os Registros" (also "Apagar Todas as Mensagens")

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeHistoryBox();
    QWidget* makeSimpleBox(const QString& title, Maintenance::Table table, void (ManutencaoPage::*slot)());
    bool confirm(Maintenance::Table table);
    void refreshCount(Maintenance::Table table);
    void done(const QString& error, Maintenance::Table table);

    TADO* m_ado;
    QLabel* m_labels[3];
    QCalendarWidget* m_inicial;
    QCalendarWidget* m_final;
    OperatorDialog m_dialog;
};
