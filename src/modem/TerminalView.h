#pragma once

#include <QPlainTextEdit>

class PortSlot;

// The terminal view of a port slot on the Debug Modem page: shows the bytes the slot's channel
// receives (black background, silver fixed-width text, one screen, no scroll-back) and sends the
// keys typed into it to the channel while the channel is open. Nothing typed is shown locally:
// the modem's echo shows it.
class TerminalView : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kScreenLines = 25;

    explicit TerminalView(PortSlot* slot, QWidget* parent = nullptr);

    // Shows received bytes: CR LF and LF start a new line, backspace removes a character, other
    // control characters are not shown.
    void showBytes(const QByteArray& bytes);
    // The bytes a key sends: its text as Latin-1; Return sends CR, Backspace 08, Escape 1B.
    static QByteArray keyBytes(int key, const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    PortSlot* m_slot;
};
