#pragma once

#include <QObject>
#include <QStringList>

// A status list that only grows: the send log of the outbox page and the console log of the
// Debug Modem page. The pages show the lines; the command line prints them.
class ModemLog : public QObject {
    Q_OBJECT
public:
    explicit ModemLog(QObject* parent = nullptr) : QObject(parent) {}

    // showLast moves the list's selection to this (newest) line.
    void append(const QString& line, bool showLast = false) {
        m_lines.append(line);
        Q_EMIT lineAppended(line, showLast);
    }
    const QStringList& lines() const { return m_lines; }

Q_SIGNALS:
    void lineAppended(const QString& line, bool showLast);

private:
    QStringList m_lines;
};
