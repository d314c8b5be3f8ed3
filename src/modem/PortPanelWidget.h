#pragma once

#include <QWidget>

class PortSlots;
class QFont;
class QLabel;
class SignalBar;
class StatusLight;

// The port panel across the bottom of the main window: the 64 slots in 4 rows of 16 (slot N in
// row (N-1) / 16, column (N-1) % 16), each cell with the ready light, the two-digit number, the
// activity light, the signal bar and the queue counter.
class PortPanelWidget : public QWidget {
    Q_OBJECT
public:
    static constexpr int kColumns = 16;
    static constexpr int kCounterPixelSize = 9;

    // The width the queue counter needs for 99,999 in the given font.
    static int counterWidth(const QFont& font);

    explicit PortPanelWidget(PortSlots* slots, QWidget* parent = nullptr);

    // The cell of slot n, named "cell<n>" (children: "ApdStatusLight<n>", "led<n>",
    // "suiProgressBar<n>", "L<n>").
    QWidget* cell(int n) const;
};
