#pragma once

#include <QObject>
#include <QString>

#include <functional>

// What the operator follows of a spreadsheet import or export: the status panel shown or hidden,
// its text and its progress bar. The contacts page's panel and the command line listen to the
// same signals, so both show the same texts in the same order.
//
// It also holds the program-wide stop flag that import and export share: the button
// "Parar Importação/Exportação" sets it, a running transfer tests it once per row and clears it
// when it stops.
class TransferStatus : public QObject {
    Q_OBJECT
public:
    // The pause of every row, in which the window handles the operator's clicks (the stop button).
    static constexpr int RowPauseMs = 3;
    using Wait = std::function<void(int ms)>;

    explicit TransferStatus(QObject* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return m_text; }
    void setPanelVisible(bool visible);
    bool panelVisible() const { return m_panelVisible; }
    void setMaximum(int maximum);
    void setProgress(int value);

    // The per-row pause: by default it processes events for RowPauseMs; tests and the command
    // line put their own (no pause, or a stop at a given row).
    void setWait(Wait wait) { m_wait = std::move(wait); }
    void rowPause() const;

    static void requestStop();
    static bool stopRequested();
    static void clearStop();

    // Waits `ms` milliseconds while this thread keeps handling its events (at least once).
    static void processEventsFor(int ms);

Q_SIGNALS:
    void textChanged(const QString& text);
    void panelVisibleChanged(bool visible);
    void maximumChanged(int maximum);
    void progressChanged(int value);

private:
    QString m_text;
    bool m_panelVisible = false;
    Wait m_wait;
};
