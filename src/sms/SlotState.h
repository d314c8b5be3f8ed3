#pragma once

#include <QString>
#include <QtGlobal>

#include <atomic>
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
// belongs to an earlier send can be told apart from the current one.
class SlotState {
public:
    // Worker: store the row being sent, then raise the awaiting flag.
    void beginSend(const OutboxRow& row) {
        {
            std::lock_guard lock(m_rowMutex);
            m_row = row;
        }
        m_sequence.fetch_add(1, std::memory_order_acq_rel);
        m_awaiting.store(true, std::memory_order_release);
    }

    // Handler's coordinator on a final result; the worker when its wait for the answer runs out.
    void lowerAwaiting() { m_awaiting.store(false, std::memory_order_release); }

    bool awaiting() const { return m_awaiting.load(std::memory_order_acquire); }
    quint64 sequence() const { return m_sequence.load(std::memory_order_acquire); }

    OutboxRow currentRow() const {
        std::lock_guard lock(m_rowMutex);
        return m_row;
    }

private:
    std::atomic<bool> m_awaiting{false};
    std::atomic<quint64> m_sequence{0};
    mutable std::mutex m_rowMutex;
    OutboxRow m_row;
};
