#include "campaign/SmsTextEditor.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>

#include "campaign/SmsEditRules.h"
#include "store/Dataset.h"

SmsTextEditor::SmsTextEditor(QWidget* parent) : QPlainTextEdit(parent) {
    setTabChangesFocus(false);
    // The count follows the text however it changes (typing, the stored template being shown).
    connect(this, &QPlainTextEdit::textChanged, this, &SmsTextEditor::updateCounter);
}

void SmsTextEditor::updateCounter() {
    if (m_counter)
        m_counter->setText(SmsEditRules::counterText(m_mode, toPlainText()));
}

void SmsTextEditor::setMode(SmsMode mode) {
    if (mode == m_mode)
        return;
    m_mode = mode;
    updateCounter();
    Q_EMIT modeChanged(mode);
}

void SmsTextEditor::followMode(Dataset* cfg) {
    auto read = [this, cfg] { setMode(SmsEditRules::modeOf(cfg->text(QStringLiteral("MODO_SMS")))); };
    connect(cfg, &Dataset::fieldChanged, this, [read](const QString& field) {
        if (field == QLatin1String("MODO_SMS"))
            read();
    });
    for (auto signal : {&Dataset::afterOpen, &Dataset::afterScroll, &Dataset::afterCancel, &Dataset::afterRefresh,
                        &Dataset::afterPost})
        connect(cfg, signal, this, read);
    read();
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
    // Enter arrives as CR: refused with every other character the mode does not take.
    if (!SmsEditRules::accepts(m_mode, code)) {
        event->accept();
        return;
    }
    const QTextCursor c = textCursor();
    if (code != 8 &&
        SmsEditRules::fitInsertion(m_mode, toPlainText(), c.selectionStart(), c.selectionEnd(), typed) != typed) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
    updateCounter();
}

void SmsTextEditor::insertFromMimeData(const QMimeData* source) {
    // A paste keeps the text within what the mode sends.
    const QTextCursor c = textCursor();
    QString text = source->text();
    text.remove(QLatin1Char('\r'));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text = SmsEditRules::fitInsertion(m_mode, toPlainText(), c.selectionStart(), c.selectionEnd(), text);
    if (text.isEmpty())
        return;
    textCursor().insertText(text);
    updateCounter();
}
