#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QSqlQuery>
#include <QString>
#include <functional>
#include <optional>

#include "optout/SuppressionSet.h"
#include "store/PgCopyWriter.h"
#include "store/SmsModeSettings.h"

class TADO;
class TDM;

// Turns the marked recipients into outbox rows (dbMENSAGEM: digits of the phone, merged text cut
// to one SMS, slot), giving each ready slot of dbPORTA_ATIVA a block of CASCATA rows, lowest slot
// first, and re-probing the modems whenever every block is full. Opens no dialog: the page shows
// the outcome's warning.
//
// A recipient whose number or e-mail is on the opt-out list (dbDESCADASTRO, read once per run) gets no row:
// one log line " Descadastrado, não enviado: <phone>" and the count in the result.
//
// A build is all or nothing. The rows are gathered in a temporary table of the connection and
// copied into dbMENSAGEM by one statement when every marked row has been visited; a kill, an
// error, a stop for want of ports or a cancel leaves the outbox as it was. No transaction stays
// open while events run (the re-probes and the progress reports let the window handle its
// events, and other handlers write on the same connection).
class OutboxBuilder {
public:
    enum class Outcome {
        Done,      // every marked row visited, the rows are in the outbox
        NoPorts,   // the first probe found no ready slot
        NoMarks,   // nothing marked
        Stopped,   // quotas exhausted and the re-probe found no slot; the outbox is unchanged
        Failed,    // data layer error (e.g. a merge field missing); the outbox is unchanged
        Cancelled, // the progress report asked to stop; the outbox is unchanged
    };
    struct Result {
        Outcome outcome = Outcome::Done;
        int written = 0;    // rows that reached the outbox
        int suppressed = 0; // recipients on the opt-out list, left out with their log line
        QString error;
    };
    struct Progress {
        int visited = 0; // marked rows done
        int total = 0;   // marked rows
        int staged = 0;  // rows gathered for the outbox so far
        int cycles = 0;  // probes of the modems (the first one included)
    };

    static constexpr int kMaxText = kTextModeMaxChars;
    static constexpr int kProgressEvery = 250; // marked rows between two progress reports
    static const char* const kNoPortsWarning;
    static const char* const kNoMarksWarning;
    static const char* const kStoppedWarning;

    explicit OutboxBuilder(TADO* ado);

    // Re-tests the ready slots and rebuilds dbPORTA_ATIVA with QTD = CASCATA for each one that
    // answered; false when none did. Until the port slots are wired: no port ready.
    void setVerificaPortas(std::function<bool()> verificaPortas) { m_verificaPortas = std::move(verificaPortas); }
    void setLog(std::function<void(const QString&)> log) { m_log = std::move(log); }
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    // Called every kProgressEvery rows and after every re-probe, with no transaction open (it may
    // let events run); returning false cancels the build.
    void setProgress(std::function<bool(const Progress&)> progress) { m_progress = std::move(progress); }

    // Reads BODY_SMS from the settings row as it stands; the caller saves pending edits first.
    Result run(TDM* recipients);

    // Cuts to at most `max` UTF-16 units without splitting a surrogate pair.
    static QString cut(const QString& text, int max = kMaxText);
    static bool validPhone(const QString& digits) { return digits.size() >= 10 && digits.size() <= 12; }
    // The text as the modem may take it: every control character (below U+0020, and U+007F)
    // becomes a space. Inside the modem's "> " prompt a Ctrl-Z or ESC from a contact field would
    // end the message and run the rest as AT commands; CR and LF break the dialogue.
    static QString modemSafe(QString text);

    // The merged text as it goes to the outbox: control characters made blanks, then cut to what one SMS
    // holds in text mode (160 characters) or six concatenated parts in PDU mode. cut tells whether it was.
    struct Fitted {
        QString text;
        bool cut = false;
    };
    static Fitted fitText(const QString& merged, SmsMode mode);
    // The log line of a cut text, after the time stamp.
    static QString cutLogLine(const QString& phone, SmsMode mode);
    // How long the merge may let a text grow: ten times the longest text the mode sends.
    static qsizetype mergeBound(SmsMode mode);

private:
    struct Slot {
        int entrada;
        int qtd;
    };
    using Fields = std::function<bool(const QString&, QString*)>; // Merge::FieldLookup
    bool mergeText(const QString& body, const Fields& fields, const QString& phone, QString* text, QString* error);
    bool readMode(QString* error);
    bool suppressed(const Fields& fields, const QString& telefone);
    bool visit(const Fields& fields, const QString& body, QString* error, bool* stopped);
    void finish(Result* r, bool ok, bool stopped);
    bool probe();
    bool readSlots(QString* error);
    bool pickSlot(int* entrada, QString* error, bool* stopped);
    bool writeRow(const QString& phone, const QString& text, int entrada, QString* error);
    bool flushRows(QString* error);
    bool report();
    QString stamp() const;
    void log(const QString& line) const;
    bool begin(QString* error);
    bool commit(QString* error);
    void rollback();
    bool createStage(QString* error);
    bool publish(QString* error);
    void dropStage();

    TADO* m_ado;
    std::function<bool()> m_verificaPortas = [] { return false; };
    quint64 m_reconnects = 0; // of this thread's connection when the run began
    std::function<void(const QString&)> m_log;
    std::function<QDateTime()> m_clock = [] { return QDateTime::currentDateTime(); };
    std::function<bool(const Progress&)> m_progress;
    QList<Slot> m_slots; // dbPORTA_ATIVA rows with QTD > 0, by ENTRADA
    bool m_inTransaction = false;
    bool m_cancelled = false;
    Progress m_state;
    SmsMode m_mode = SmsMode::Text; // read from the settings row at the start of each run
    SuppressionSet m_optOut;        // the opt-out list, read at the start of each run
    int m_suppressed = 0;
    QString m_stage; // the temporary table of this run (the SQLite file)
    // On a server the rows stream to the outbox by COPY on a connection of their own, in one transaction that
    // commits at the end of the run: no round trip per row, no copy from a stage, and the station's connection
    // stays free for what runs between stretches.
    PgCopyWriter m_copy;
    bool m_copying = false;
    // Rows built and counted, not yet in the stage; they reach it before every commit.
    struct StagedRow {
        QString phone, text;
        int entrada = 0;
    };
    QList<StagedRow> m_pending;
    std::optional<QSqlQuery> m_insert; // one row into the stage
    QMap<int, int> m_spent;            // ENTRADA: rows given to the slot since its quota was last written afresh
};
