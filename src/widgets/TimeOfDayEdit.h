#pragma once

#include <QTimeEdit>

// A time box the operator can type into as "18:15", "1815" or "8:15", whatever part of the text is
// selected; the arrow keys and the mouse work as in any time box.
class TimeOfDayEdit : public QTimeEdit {
    Q_OBJECT
public:
    using QTimeEdit::QTimeEdit;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString m_digits; // typed since the box took the focus
};
