#pragma once

#include <QObject>
#include <QString>

// The five panels of the status bar, written by index from anywhere in the engine; the main
// window shows them, the command line ignores them.
class StatusSink : public QObject {
    Q_OBJECT
public:
    enum Panel { Clock = 0, Contacts = 1, Recipients = 2, Outbox = 3, History = 4 };
    static StatusSink* instance();

    void setPanel(int panel, const QString& text) { Q_EMIT panelChanged(panel, text); }

Q_SIGNALS:
    void panelChanged(int panel, const QString& text);
};
