#pragma once

#include <QColor>
#include <QMessageBox>
#include <QWidget>

#include <functional>

class DbGrid;
class QListWidget;
class QPushButton;
class SmsSender;
class SmsStation;
class TADO;

// Sub-page "Caixa de Saída" of "Enviar SMS": the outbox grid with its marks, the send button, the
// marking buttons, "Apagar Todas as Mensagens" and the send log (group "Status"). Showing the page
// reads the outbox again.
class CaixaSaidaPage : public QWidget {
    Q_OBJECT
public:
    static const char* const kDeleteHint;
    static const char* const kInterruptedHint;
    // The colour of rows left in flight by an interrupted send.
    static QColor interruptedColor();
    using Dialog =
        std::function<QMessageBox::StandardButton(QMessageBox::Icon, const QString&, QMessageBox::StandardButtons)>;

    CaixaSaidaPage(TADO* ado, SmsStation* station, QWidget* parent = nullptr);

    DbGrid* grid() const { return m_grid; }
    QListWidget* sendLog() const { return m_log; }
    // Message boxes go through here (tests answer them).
    void setDialog(Dialog dialog) { m_dialog = std::move(dialog); }

    // A line of the send log; `showLast` moves the selection to it.
    void appendLog(const QString& line, bool showLast = true);
    // The question Ctrl+Delete asks before deleting `marked` rows.
    static QString deleteQuestion(int marked);
    // The rows marked in the grid, as outbox IDs.
    QList<qint64> markedIds() const;

public Q_SLOTS:
    void btEnvioSMSClick(); // "Enviar SMS p/ Destinatários"
    void markAll();         // "Marcar Todos"
    void unmarkAll();       // "Desmarcar Todos"
    void markFromHere();    // "Marcar Daqui!"
    void apagarTodas();     // "Apagar Todas as Mensagens"
    // Ctrl+Delete on the grid: after the operator's "Sim" the marked rows leave the outbox.
    void deleteMarked();
    // "Reenviar Interrompidas": rows left in flight by an interrupted send are sent again by the
    // next send (their marks are cleared). Refused while a send runs.
    void reenviarInterrompidas();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeButtons();
    void outboxChanged();

    TADO* m_ado;
    SmsStation* m_station;
    SmsSender* m_sender;
    DbGrid* m_grid;
    QListWidget* m_log;
    Dialog m_dialog;
};
