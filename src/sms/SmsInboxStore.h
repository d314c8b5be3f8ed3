#pragma once

#include "sms/InboxListing.h"

#include <QList>
#include <QString>

class TADO;

// dbSMS_BUFFER as the journal of a reading: a listed message is staged, then stored in dbSMS,
// then deleted on the modem, and its staged row goes only once the modem has said "OK" to the
// deletion. A reading that was interrupted (killed, a refused commit, a silent modem) leaves its
// rows staged; the next reading settles them against its own listing, so a message is stored
// once and deleted only after it was stored. Window thread only.
class SmsInboxStore {
public:
    // A message of this reading: its staged row and whether dbSMS already holds it.
    struct Pending {
        InboxRecord record;
        qint64 staged = 0;
        bool stored = false;
        QList<int> parts; // PDU mode: the modem positions of its parts (text mode: CODIGO)
    };
    // A row of dbSMS_BUFFER.
    struct Staged {
        qint64 rowid = 0;
        InboxRecord record;
        bool used = false;
    };

    SmsInboxStore(TADO* ado, int slot) : m_ado(ado), m_slot(slot) {}

    // Stages the confirmed messages of a listing, in one transaction. A staged row that matches
    // a listed message (index, sender, time stamp, text) stands for it; one that matches none is
    // dropped unless it names a message the modem may still hold that this reading leaves there
    // (`onModem`: index, sender, time stamp of the headers not confirmed): a message gone from the
    // modem was stored before it was deleted.
    // False with `error` when the database refused.
    bool stage(const QList<InboxRecord>& listed, const QList<InboxRecord>& onModem, QList<Pending>* out,
               QString* error);
    // Stores one message in dbSMS (unread, received now on this slot).
    bool store(const InboxRecord& record, QString* error);
    // The modem has deleted the message: its staged row goes.
    bool unstage(qint64 staged, QString* error);

    // Values as dbSMS_BUFFER keeps them (its text columns hold at most 50 characters).
    static InboxRecord asStaged(const InboxRecord& record);

    // Every staged row, oldest first.
    bool readStaged(QList<Staged>* rows, QString* error);
    // Whether dbSMS holds the message (same slot, first position, sender, text and time stamp).
    bool alreadyStored(const InboxRecord& record, bool* stored, QString* error);

private:
    bool insertStaged(const InboxRecord& record, qint64* rowid, QString* error);
    bool dropUnmatched(const QList<Staged>& rows, const QList<InboxRecord>& onModem, QString* error);

    TADO* m_ado;
    int m_slot;
};
