#pragma once

#include "sms/ConcatJoiner.h"
#include "sms/SmsInboxStore.h"

#include <QDateTime>
#include <QList>
#include <QString>

class TADO;

// What a PDU-mode reading does with the parts it listed, before anything is deleted on the modem:
//   - every concatenated message (sender, reference, part count) gets the time its first part was
//     first seen, kept in dbSMS_PARTE so that the 24-hour wait goes on across restarts;
//   - parts left on the modem by a reading killed while it deleted a stored message's parts are
//     recognised by its staged row (CODIGO lists the positions of its parts) and only deleted;
//   - messages a text-mode reading stored and did not delete are recognised by its staged rows
//     through what both modes read alike (position, sender, time stamp) and only deleted;
//   - the other parts are joined, and each whole message (or one whose wait is over) is staged
//     through SmsInboxStore, so it is stored once and deleted only after it was stored.
// Window thread only.
class PduInboxStore {
public:
    PduInboxStore(TADO* ado, SmsInboxStore* store, int slot) : m_ado(ado), m_store(store), m_slot(slot) {}

    struct Plan {
        QList<SmsInboxStore::Pending> pending; // in order; `parts` holds the positions to delete
        QList<int> waiting;                    // positions kept for their missing siblings
    };

    // `now` is the current time (UTC or local, any zone). False with `error` when the database refused.
    bool plan(QList<pdu::InboxPart> parts, const QDateTime& now, Plan* out, QString* error);

private:
    bool stampFirstSeen(QList<pdu::InboxPart>& parts, const QDateTime& now, QString* error);
    bool takeLeftovers(QList<pdu::InboxPart>& parts, QList<SmsInboxStore::Pending>* leftovers, QList<InboxRecord>* keep,
                       QString* error);
    bool takeTextLeftovers(QList<pdu::InboxPart>& parts, QList<SmsInboxStore::Pending>* leftovers,
                           QList<InboxRecord>* keep, QString* error);

    TADO* m_ado;
    SmsInboxStore* m_store;
    int m_slot;
};
