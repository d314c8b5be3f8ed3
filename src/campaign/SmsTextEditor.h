#pragma once

#include <QPlainTextEdit>

#include "store/SmsModeSettings.h"

class Dataset;
class QLabel;

// The SMS text box. In text mode typed characters pass the SMS key filter and the 160-character limit and the
// counter label (when given) shows "Total Caracteres: n"; in PDU mode any printable character goes in, up to
// six concatenated parts, and the counter shows "Total Caracteres: n (k SMS)".
class SmsTextEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit SmsTextEditor(QWidget* parent = nullptr);

    void setCounter(QLabel* counter) {
        m_counter = counter;
        updateCounter();
    }
    // Sets the counter to the text's current length.
    void updateCounter();

    SmsMode mode() const { return m_mode; }
    void setMode(SmsMode mode);
    // Follows MODO_SMS of the settings row as it is edited, saved, cancelled or reloaded.
    void followMode(Dataset* cfg);

Q_SIGNALS:
    void modeChanged(SmsMode mode);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    QLabel* m_counter = nullptr;
    SmsMode m_mode = SmsMode::Text;
};
