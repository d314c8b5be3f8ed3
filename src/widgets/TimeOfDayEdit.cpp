#include "widgets/TimeOfDayEdit.h"

#include <QKeyEvent>

#include "store/TimeText.h"

void TimeOfDayEdit::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    const bool timeKey = text.size() == 1 && (text[0].isDigit() || text[0] == QLatin1Char(':')) &&
                         !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (!timeKey) {
        m_digits.clear();
        QTimeEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    const std::optional<QString> digits = TimeText::typed(m_digits, text[0]);
    if (!digits)
        return; // a key that cannot stand there is ignored
    m_digits = *digits;
    setTime(TimeText::ofDigits(m_digits));
    setSelectedSection(m_digits.size() < 2 ? QDateTimeEdit::HourSection : QDateTimeEdit::MinuteSection);
}

void TimeOfDayEdit::focusInEvent(QFocusEvent* event) {
    m_digits.clear();
    QTimeEdit::focusInEvent(event);
}

void TimeOfDayEdit::mousePressEvent(QMouseEvent* event) {
    m_digits.clear();
    QTimeEdit::mousePressEvent(event);
}
