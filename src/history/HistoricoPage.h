#pragma once

#include <QWidget>

#include "history/FailedContacts.h"
#include "history/HistorySearch.h"
#include "history/OperatorDialog.h"

class TADO;
class DbGrid;
class QButtonGroup;
class QCheckBox;
class QDateEdit;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimeEdit;

// Page "Histórico de Envio": search the history by period, outcome and channel, print it, and
// disable or delete the contacts whose sending failed.
class HistoricoPage : public QWidget {
    Q_OBJECT
public:
    explicit HistoricoPage(TADO* ado, QWidget* parent = nullptr);

    // The period of the pickers (first of the month 00:00:00 to today 23:59:59 at start).
    void setPeriod(const QDate& from, const QTime& fromTime, const QDate& to, const QTime& toTime);
    void setPeriodChecked(bool on);
    void setOutcome(HistorySearch::Outcome outcome);
    void setChannel(HistorySearch::Channel channel);
    HistorySearch::Filter filter() const;
    int reportKind() const; // 0 "Completo", 1 "Resumido", -1 none

    QString totalText() const;
    QString messageText() const;
    DbGrid* grid() const { return m_grid; }
    void setDialog(OperatorDialog dialog) { m_dialog = std::move(dialog); }

public Q_SLOTS:
    void suiButton24Click(); // "Buscar Histórico" and every option of the page
    void suiButton7Click();  // "Imprimir"
    void suiButton15Click(); // "Desativar contatos com falha"
    void suiButton17Click(); // "Apagar contatos com falha"

private:
    QWidget* makePeriodBox();
    QWidget* makeGroup(const QString& title, const QStringList& options, QButtonGroup** group, int checked);
    QWidget* makeButtons();
    void wireSearchTriggers();
    void showMessage();
    void failedContacts(FailedContacts::Action action);

    TADO* m_ado;
    QCheckBox* m_periodo;
    QDateEdit* m_deData;
    QTimeEdit* m_deHora;
    QDateEdit* m_ateData;
    QTimeEdit* m_ateHora;
    QButtonGroup* m_outcome = nullptr;
    QButtonGroup* m_channel = nullptr;
    QButtonGroup* m_kind = nullptr;
    QLabel* m_total;
    DbGrid* m_grid;
    QPlainTextEdit* m_mensagem;
    OperatorDialog m_dialog;
    HistorySearch::Filter m_searched; // the filter of the rows the page holds, which "Imprimir" prints
};
