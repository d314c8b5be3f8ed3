#pragma once

#include "sms/PduDecoder.h"

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Delivery reports (SMS-STATUS-REPORT) matched to the history row of the message they report on.
//
// When a message goes out with a report requested, the sender remembers each part's message reference
// (the <mr> of "+CMGS: <mr>", 0..255, counted by the modem per slot) with the history row, in
// dbENTREGA_PENDENTE, with this station's name (Station::current()): on a shared store each station's modems
// count their references themselves. A report names its slot (the port it came in on), that reference and the
// number; it is matched to the newest send of that reference on that slot of this station, when that send's
// number ends in the same eight digits (a report for another number is held like one that finds no send):
//   - the modem wraps its reference at 256, so a new send of reference r replaces the older row of r;
//   - the report's centre time stamp (when the centre took the part, a few seconds after it was sent) tells
//     an old report from a new one: more than kMatchWindowMinutes before the newest send of r, the report
//     is for an earlier send of r and is dropped (logged); more than that after it, it is for a send not
//     recorded yet and is held;
//   - a report that finds no send is held for kHoldSeconds, in case its send is being recorded on another
//     connection at that moment; remember() adopts it; after that it is logged and dropped.
// A message is "Entregue" when every part is delivered (ENTREGUE = the latest part's delivery time), "Falhou:
// ..." as soon as a part failed (the lowest failed part's reason), otherwise "Pendente". A part's final status
// (delivered or failed) is never replaced by a later report. Rows are kept kKeepDays (the message's validity
// is one week), so that a repeated report is recognised as such.
//
// All times are local, stored as "yyyy-MM-dd HH:mm:ss" like dbHISTORICO.DATA. Each call runs inside a
// savepoint: within the caller's transaction when there is one, else as its own.
class DeliveryReports {
public:
    static constexpr int kMatchWindowMinutes = 10;
    static constexpr int kHoldSeconds = 120;
    static constexpr int kKeepDays = 8;

    enum class Kind { Applied, Repeated, Held, Stale, Failed };

    struct Outcome {
        Kind kind = Kind::Failed;
        qint64 idHistorico = 0; // the history row (Applied, Repeated)
        QString statusEntrega;  // the message's STATUS_ENTREGA after the report (Applied, Repeated)
        QString entregue;       // ... and its ENTREGUE ("" while not delivered)
        QString logLine;        // for the send log; empty for a held report
        QString error;          // the database error (Failed)
    };

    // Remembers the parts' references of history row `idHistorico`, sent on slot `porta` at `sent`, and sets
    // the row's STATUS_ENTREGA to "Pendente" (or what reports already held say). False with `error` on a
    // database error or a reference outside 0..255; nothing is kept then.
    static bool remember(QSqlDatabase& db, int porta, const QList<int>& references, qint64 idHistorico, QString* error);
    static bool remember(QSqlDatabase& db, int porta, const QList<int>& references, qint64 idHistorico, QString* error,
                         const QDateTime& sent);

    // Applies one report that came in on slot `porta` at `now`; expires old rows first.
    static Outcome apply(QSqlDatabase& db, int porta, const pdu::StatusReport& report, const QDateTime& now);

    // Drops held reports older than kHoldSeconds (one log line each) and rows older than kKeepDays.
    static QStringList expire(QSqlDatabase& db, const QDateTime& now, QString* error = nullptr);

    // Parts sent at or after `since` whose final report (delivered or failed) has not come; -1 on an error.
    static int outstanding(QSqlDatabase& db, const QDateTime& since);

    // --send-outbox, once its workers have ended, waits for the reports of its sends: it may end when none is
    // outstanding (or the count could not be read, -1), or kReportWaitMs after the last send.
    static constexpr int kReportWaitMs = 10000;
    static bool waitOver(int outstanding, const QDateTime& lastSend, const QDateTime& now) {
        return outstanding <= 0 || !lastSend.isValid() || lastSend.msecsTo(now) >= kReportWaitMs;
    }

    // The stored form of a time ("yyyy-MM-dd HH:mm:ss", local).
    static QString stored(const QDateTime& time);
};
