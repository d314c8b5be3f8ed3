#pragma once

#include "store/StoreLocation.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// This station's row in the stations table (dbESTACAO) and its heartbeat. Once the station's name is held, the
// row is written (host, version, process, start, heartbeat on the store's clock, no error) and then the heartbeat
// every few seconds, on a thread and a connection of its own, so that neither a busy window nor a long command
// holds it back. A write that fails (the server away, the schema not made yet) is tried again at the next beat;
// it never stops the program.
class StationRegistry {
public:
    static constexpr int kIntervalMs = 5000;

    // `dataDir`: the data folder whose SQLite file is the store when `store` names no server.
    StationRegistry(StoreLocation store, QString dataDir, QString version, int intervalMs = kIntervalMs);
    ~StationRegistry();
    StationRegistry(const StationRegistry&) = delete;
    StationRegistry& operator=(const StationRegistry&) = delete;

    void start();
    void stop();
    // Rows written so far (the first one and each heartbeat that reached the store).
    int beats() const { return m_beats.load(); }

    // The station's last error, kept in its row at the next beat (and at the registry's stop, when it changed
    // since the last write); an empty text clears it. Cleaned by cleanError. Safe from any thread, and never
    // waits for the server: the beat's thread writes it, and keeps trying while the server is away.
    static void recordError(const QString& text);
    // The error as other operators see it: one line (control characters and line breaks become spaces, runs of
    // spaces one), at most kErrorChars characters.
    static QString cleanError(const QString& text);
    static constexpr int kErrorChars = 300;
    // In the data folder: the last error a program ended without writing (the server away); the next program
    // of the folder writes it and removes the file.
    static constexpr const char* kPendingErrorFile = "erro-estacao-pendente.txt";

private:
    void run();
    QString pendingErrorPath() const;
    bool beat(const QString& connection, bool* registered);

    StoreLocation m_store;
    QString m_dataDir;
    QString m_version;
    int m_intervalMs;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::atomic<int> m_beats{0};
    quint64 m_errorWritten = 0; // the error's version the last beat wrote (beat thread only)
};
