#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QSqlDatabase>
#include <QStringList>
#include <QTimer>

#include "store/StoreLocation.h"

// Tells the window which shared tables other stations (or this one's workers) changed, on a PostgreSQL store.
//
// It keeps a connection of its own on the window thread, listens on the store's channel (the triggers name the
// table a statement changed) and gathers what comes in for kGatherMs, so a burst of statements costs one re-read.
// A notification is only a hint: one sent while the connection was down is lost. So every kPollMs it also reads
// the tables' change counters and reports a table whose counter moved; a counter is bumped when the statement
// runs, before its commit, so a table found moved is reported once more at the next poll, when that commit has
// normally happened (a notification covers the rest: it is sent at the commit). A connection found gone is
// opened again at each poll until the server answers; then it listens again and reports every table, because
// anything may have changed meanwhile.
//
// Nothing of this runs on the SQLite file: one program works on it at a time.
class StoreWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kGatherMs = 300;
    static constexpr int kPollMs = 2000;

    explicit StoreWatcher(const StoreLocation& store, QObject* parent = nullptr);
    ~StoreWatcher() override;

    // Opens the connection and starts listening and polling; false (and error()) when the server cannot be
    // reached now: the polls go on trying.
    bool start();
    void stop();
    QString error() const { return m_error; }

    // Whether the connection is listening now; the server's process id of it (0 when not connected).
    bool listening() const { return m_listening; }
    qint64 serverPid() const { return m_pid; }
    // How many times the connection was opened again after it was lost.
    int reconnects() const { return m_reconnects; }

    // Reads the counters and opens the connection again when it is gone (the timer's work, callable at once).
    void poll();

Q_SIGNALS:
    // The tables to read again (names as PostgreSQL's watchedTables() spells them), at most once per kGatherMs.
    void tablesChanged(const QStringList& tables);
    // The connection was lost or came back; the text says it for the log ("" when it came back).
    void connectionChanged(bool listening, const QString& text);

private:
    bool connectNow();
    void drop(const QString& why);
    bool readCounters(QHash<QString, qint64>* counters);
    void onNotification(const QString& channel, const QVariant& payload);
    void gather(const QStringList& tables);
    void flush();

    StoreLocation m_store;
    QString m_name;
    QString m_error;
    bool m_listening = false;
    qint64 m_pid = 0;
    int m_reconnects = 0;
    bool m_everConnected = false;
    QHash<QString, qint64> m_counters;
    QSet<QString> m_recheck; // moved at the last poll: reported again at this one
    QSet<QString> m_pending;
    QTimer m_gather;
    QTimer m_poll;
};
