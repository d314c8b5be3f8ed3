#include "campaign/SmsTextEditor.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>

#include "campaign/SmsKeyFilter.h"

SmsTextEditor::SmsTextEditor(QWidget* parent) : QPlainTextEdit(parent) {
    setTabChangesFocus(false);
    // The count follows the text however it changes (typing, the stored template being shown).
    connect(this, &QPlainTextEdit::textChanged, this, &SmsTextEditor::updateCounter);
}

void SmsTextEditor::updateCounter() {
    if (m_counter)
        m_counter->setText(SmsKeyFilter::counterText(int(toPlainText().size())));
}

void SmsTextEditor::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    const bool shortcut = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    // Keys without a character (arrows, Delete, ...) and editing shortcuts (copy, paste) pass.
    if (typed.isEmpty() || shortcut) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    const char32_t code = typed.toUcs4().value(0);
    // Enter arrives as CR: refused with every other character outside the SMS set.
    if (!SmsKeyFilter::accepts(code)) {
        event->accept();
        return;
    }
    const QTextCursor c = textCursor();
    const int selected = c.selectionEnd() - c.selectionStart();
    if (code != 8 && !SmsKeyFilter::fits(int(toPlainText().size()), selected)) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
    updateCounter();
}

void SmsTextEditor::insertFromMimeData(const QMimeData* source) {
    // A paste keeps the text within one SMS.
    const QTextCursor c = textCursor();
    const int room = SmsKeyFilter::kMaxLength - int(toPlainText().size()) + (c.selectionEnd() - c.selectionStart());
    QString text = source->text();
    text.remove(QLatin1Char('\r'));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (room <= 0)
        return;
    textCursor().insertText(text.left(room));
    updateCounter();
}
