#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <utility>

// A status list that only grows: the send log of the outbox page and the console log of the
// Debug Modem page. The pages show the lines; the command line prints them.
//
// While the modems are probed side by side their replies arrive in any order; the lines of the
// probed slots are held and come out in slot order when the probe ends, as if the slots had been
// probed one after another.
class ModemLog : public QObject {
    Q_OBJECT
public:
    explicit ModemLog(QObject* parent = nullptr) : QObject(parent) {}

    // showLast moves the list's selection to this (newest) line. `slot` names the port slot the
    // line is about (0: none).
    void append(const QString& line, bool showLast = false, int slot = 0) {
        if (m_holdDepth > 0 && slot > 0 && m_heldSlots.contains(slot)) {
            m_held[slot].append({line, showLast});
            return;
        }
        emitLine(line, showLast);
    }
    const QStringList& lines() const { return m_lines; }

    // Holds the lines of `slots` until the matching release(); holds may nest.
    void hold(const QList<int>& slots) {
        ++m_holdDepth;
        for (int s : slots)
            m_heldSlots.insert(s);
    }
    // Ends a hold; the outermost one lets the held lines out, slot by slot, each slot's in order.
    void release() {
        if (m_holdDepth == 0 || --m_holdDepth > 0)
            return;
        const QMap<int, QList<Held>> held = std::exchange(m_held, {});
        m_heldSlots.clear();
        for (const QList<Held>& lines : held)
            for (const Held& h : lines)
                emitLine(h.line, h.showLast);
    }

Q_SIGNALS:
    void lineAppended(const QString& line, bool showLast);

private:
    struct Held {
        QString line;
        bool showLast;
    };
    void emitLine(const QString& line, bool showLast) {
        m_lines.append(line);
        Q_EMIT lineAppended(line, showLast);
    }

    QStringList m_lines;
    int m_holdDepth = 0;
    QSet<int> m_heldSlots;
    QMap<int, QList<Held>> m_held; // by slot: QMap keeps them in slot order
};
