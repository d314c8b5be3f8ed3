#pragma once

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

// The outbox row a slot's sender worker is handing to its modem.
struct OutboxRow {
    QString fone;
    QString mensagem;
    qint64 id = 0;
};

// Per-slot state shared by the slot's sender worker (its own thread) and the response handler
// (window thread). The worker stores the row before the awaiting flag rises; the handler reads
// the row only while the flag is up. Every raise starts a new send sequence, so a result that
// belongs to an earlier send can be told apart from the current one. A final result is first
// marked as answered (its history row is on its way to the disk) and the flag comes down once it
// is stored; the worker sleeps on the flag and wakes the moment it drops.
class SlotState {
public:
    // Worker: store the row being sent, then raise the awaiting flag.
    void beginSend(const OutboxRow& row) {
        {
            std::lock_guard lock(m_rowMutex);
            m_row = row;
        }
        std::lock_guard lock(m_flagMutex);
        m_sequence.fetch_add(1, std::memory_order_acq_rel);
        m_awaiting.store(true, std::memory_order_release);
    }

    // Handler's coordinator on a final result; the worker when its wait for the answer runs out.
    void lowerAwaiting() {
        {
            std::lock_guard lock(m_flagMutex);
            m_awaiting.store(false, std::memory_order_release);
        }
        m_lowered.notify_all();
    }

    // Waits until the flag is down or `ms` have passed; true when it is down.
    bool waitLowered(int ms) {
        std::unique_lock lock(m_flagMutex);
        return m_lowered.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !awaiting(); });
    }

    // Coordinator: send `sequence` has its final result; the flag comes down when it is stored.
    void markAnswered(quint64 sequence) { m_answered.store(sequence, std::memory_order_release); }
    bool answered(quint64 sequence) const { return m_answered.load(std::memory_order_acquire) == sequence; }

    // Coordinator: the result of `sequence` could not be stored, so its outbox row must stay.
    void markUnrecorded(quint64 sequence) { m_unrecorded.store(sequence, std::memory_order_release); }
    bool unrecorded(quint64 sequence) const { return m_unrecorded.load(std::memory_order_acquire) == sequence; }

    bool awaiting() const { return m_awaiting.load(std::memory_order_acquire); }
    quint64 sequence() const { return m_sequence.load(std::memory_order_acquire); }

    OutboxRow currentRow() const {
        std::lock_guard lock(m_rowMutex);
        return m_row;
    }

private:
    std::atomic<bool> m_awaiting{false};
    std::atomic<quint64> m_sequence{0};
    std::atomic<quint64> m_answered{0};
    std::atomic<quint64> m_unrecorded{0};
    std::mutex m_flagMutex;
    std::condition_variable m_lowered;
    mutable std::mutex m_rowMutex;
    OutboxRow m_row;
};
