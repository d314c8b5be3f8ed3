#pragma once

#include <QPlainTextEdit>

class QLabel;

// The SMS text box: typed characters pass the SMS key filter and the 160-character limit; the
// counter label (when given) shows "Total Caracteres: n" after each typed character.
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

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    QLabel* m_counter = nullptr;
};
