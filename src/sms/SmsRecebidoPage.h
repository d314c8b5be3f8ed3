#pragma once

#include <QWidget>

class DbGrid;
class QLineEdit;
class QPlainTextEdit;
class RecordNavigator;
class TADO;

// Sub-page "SMS Recebido" of "Enviar SMS": the received messages (dbSMS), unread ones in red bold;
// clicking a message marks it read at once. A detail panel shows the current message.
class SmsRecebidoPage : public QWidget {
    Q_OBJECT
public:
    explicit SmsRecebidoPage(TADO* ado, QWidget* parent = nullptr);

    DbGrid* grid() const { return m_grid; }
    RecordNavigator* navigator() const { return m_navigator; }
    // Marks the dataset's row read (LIDO) and stores it, when it is not yet.
    void markRead(int row);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeDetail();
    void showCurrent();

    TADO* m_ado;
    DbGrid* m_grid;
    RecordNavigator* m_navigator;
    QLineEdit* m_id;
    QLineEdit* m_recebido;
    QLineEdit* m_entrada;
    QLineEdit* m_fone;
    QPlainTextEdit* m_sms;
};
