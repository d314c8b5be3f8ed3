#include "modem/TerminalView.h"

#include "modem/PortSlot.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

TerminalView::TerminalView(PortSlot* slot, QWidget* parent) : QPlainTextEdit(parent), m_slot(slot) {
    setObjectName(QStringLiteral("AdTerminal%1").arg(slot->number()));
    setReadOnly(true); // text appears only as the modem sends it; keys go to the channel
    setFocusPolicy(Qt::StrongFocus);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setMaximumBlockCount(kScreenLines);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setStyleSheet(QStringLiteral("QPlainTextEdit { background: black; color: silver; }"));
    connect(slot, &PortSlot::received, this, &TerminalView::showBytes);
}

void TerminalView::showBytes(const QByteArray& bytes) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    QString text;
    auto flush = [&] {
        if (!text.isEmpty())
            cursor.insertText(text);
        text.clear();
    };
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n') {
            flush();
            cursor.insertBlock();
        } else if (c == '\b') {
            flush();
            if (!cursor.atBlockStart())
                cursor.deletePreviousChar();
        } else if (u >= 0x20 && u != 0x7f) {
            text += QChar(u);
        }
    }
    flush();
    setTextCursor(cursor);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

QByteArray TerminalView::keyBytes(int key, const QString& text) {
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QByteArray("\r");
    case Qt::Key_Backspace:
        return QByteArray("\b");
    case Qt::Key_Escape:
        return QByteArray("\x1b");
    default:
        break;
    }
    return text.toLatin1();
}

void TerminalView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    const QByteArray bytes = keyBytes(event->key(), event->text());
    event->accept();
    if (bytes.isEmpty() || !m_slot->channel()->isOpen())
        return;
    try {
        m_slot->channel()->WriteText(bytes);
    } catch (const SerialChannelError&) {
        // The port closed under the key (unplugged): nothing is sent, as while it is closed.
    }
}
