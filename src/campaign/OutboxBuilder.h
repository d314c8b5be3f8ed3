#pragma once

#include <QDateTime>
#include <QList>
#include <QSqlQuery>
#include <QString>
#include <functional>
#include <optional>

class TADO;
class TDM;

// Turns the marked recipients into outbox rows (dbMENSAGEM: digits of the phone, merged text cut
// to one SMS, slot), giving each ready slot of dbPORTA_ATIVA a block of CASCATA rows, lowest slot
// first, and re-probing the modems whenever every block is full. Opens no dialog: the page shows
// the outcome's warning.
class OutboxBuilder {
public:
    enum class Outcome {
        Done,    // every marked row visited
        NoPorts, // the first probe found no ready slot
        NoMarks, // nothing marked
        Stopped, // quotas exhausted and the re-probe found no slot
        Failed,  // data layer error (e.g. a merge field missing); rows written before stay
    };
    struct Result {
        Outcome outcome = Outcome::Done;
        int written = 0;
        QString error;
    };

    static constexpr int kMaxText = 160;
    static const char* const kNoPortsWarning;
    static const char* const kNoMarksWarning;
    static const char* const kStoppedWarning;

    explicit OutboxBuilder(TADO* ado);

    // Re-tests the ready slots and rebuilds dbPORTA_ATIVA with QTD = CASCATA for each one that
    // answered; false when none did. Until the port slots are wired: no port ready.
    void setVerificaPortas(std::function<bool()> verificaPortas) { m_verificaPortas = std::move(verificaPortas); }
    void setLog(std::function<void(const QString&)> log) { m_log = std::move(log); }
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // Reads BODY_SMS from the settings row as it stands; the caller saves pending edits first.
    Result run(TDM* recipients);

    // Cuts to at most `max` UTF-16 units without splitting a surrogate pair.
    static QString cut(const QString& text, int max = kMaxText);
    static bool validPhone(const QString& digits) { return digits.size() >= 10 && digits.size() <= 12; }

private:
    struct Slot {
        int entrada;
        int qtd;
    };
    bool readSlots(QString* error);
    bool pickSlot(int* entrada, QString* error, bool* stopped);
    bool writeRow(const QString& phone, const QString& text, int entrada, QString* error);
    QString stamp() const;
    void log(const QString& line) const;
    bool begin(QString* error);
    bool commit(QString* error);
    bool prepare(QString* error);

    TADO* m_ado;
    std::function<bool()> m_verificaPortas = [] { return false; };
    std::function<void(const QString&)> m_log;
    std::function<QDateTime()> m_clock = [] { return QDateTime::currentDateTime(); };
    QList<Slot> m_slots; // dbPORTA_ATIVA rows with QTD > 0, by ENTRADA
    bool m_inTransaction = false;
    std::optional<QSqlQuery> m_insert;
    std::optional<QSqlQuery> m_decrement;
};
