#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>

class ModemLog;
class TADO;
class PortSlots;

// Configures, opens and probes the port slots from their stored settings (dbPORTA), and
// rebuilds the active slot list (dbPORTA_ATIVA) that the outbox builder spreads messages over.
// A slot counts as ready when its modem answers "AT+CSQ" with an "OK" line within the wait: the
// response handler lights the slot's ready light when it sees that line. Runs on the window
// thread; the waits keep processing events. Opens no dialog.
class PortConfigurator : public QObject {
    Q_OBJECT
public:
    static constexpr quint32 kProbeWait = 100;  // ms, opening all ports
    static constexpr quint32 kReprobeWait = 50; // ms, VerificaPortas

    // The longest waits for the modems' replies to the probe. The wait ends earlier, as soon as
    // every probed slot's ready light is lit, so a long bound costs nothing with quick modems.
    struct ProbeTiming {
        quint32 probe = kProbeWait;
        quint32 reprobe = kReprobeWait;
        // A number of milliseconds (1..600000) for both waits; anything else keeps the defaults.
        static ProbeTiming fromText(const QByteArray& text);
        // VESTRAL_PROBE_MS, read once per process: slow modems (and loaded test machines) get longer.
        static ProbeTiming fromEnvironment();
    };

    // NotReady: the modem answered, but its set-up found it unable to send (SIM, network, SMS centre).
    enum class ProbeState { Ready, NoAnswer, Closed, NotReady };
    // The outcome of one active slot in the last openAll().
    struct ProbeResult {
        int entrada = 0;
        int com = 0;
        ProbeState state = ProbeState::Closed;
        QString error; // Closed: why the port did not open; NotReady: what the set-up found
    };
    // The set-up of the modems that answered the probe, all of them side by side: returns the slots
    // found unable to send, each with what is wrong. Those are closed and their lights go off.
    using SetUp = std::function<QHash<int, QString>(const QList<int>& ready)>;
    void setSetUp(SetUp setUp) { m_setUp = std::move(setUp); }

    PortConfigurator(TADO* ado, PortSlots* slots, QObject* parent = nullptr);

    // The wait between the probe and the look at the ready light (waitForAnswers by default).
    void setWait(std::function<void(quint32)> wait) { m_wait = std::move(wait); }
    void setTiming(ProbeTiming timing) { m_timing = timing; }
    const ProbeTiming& timing() const { return m_timing; }
    // Waits up to `ms` while processing events (like Aguarda, events at least once), ending as
    // soon as every slot probed by the running openAll()/VerificaPortas() has its light lit.
    void waitForAnswers(quint32 ms);
    // The logs whose lines of the probed slots are held during a probe and let out in slot order.
    void setLogs(QList<ModemLog*> logs) { m_logs = std::move(logs); }

    // Closes every active slot and sets its channel's parameters from its row. A row with a
    // value the channel cannot take is left half-configured and remembered as failed.
    void configureAll();
    // configureAll(), then opens and probes every active slot; inactive slots are closed.
    // True when at least one slot is ready. The slots are probed side by side: one wait of
    // timing().probe for all of them.
    bool openAll();
    // Opens and probes the active slots `entradas` again, as openAll() does, leaving every other slot as it
    // is; the modems that answer get `setUp` (the configurator's own when empty). Their results replace
    // theirs in lastProbe().
    QList<ProbeResult> reopen(const QList<int>& entradas, const SetUp& setUp = {});
    // Lists a slot that became ready during a send (QTD = CASCATA), unless it is listed already.
    bool addActive(int entrada);
    // Re-probes every ready, open slot (side by side, one wait of timing().reprobe) and rebuilds
    // dbPORTA_ATIVA with QTD = CASCATA for each one that answered. True when at least one slot
    // was listed.
    bool VerificaPortas();
    // VerificaPortas as a function for the outbox builder.
    std::function<bool()> verificaPortasFunction();

    const QList<ProbeResult>& lastProbe() const { return m_lastProbe; }
    PortSlots* portSlots() const { return m_slots; }

    // "Nenhuma porta foi aberta!…" without the question about the manual.
    static QString noPortOpenedText();
    // The same warning with the question about the manual (Yes opens it).
    static QString noPortOpenedQuestion();

private:
    struct Row {
        int id = 0;
        bool ativo = false;
        QVariant com, velocidade, paridade, databits, stopbits;
    };
    QList<Row> readRows();
    void configureRow(const Row& row);
    ProbeResult openAndWrite(const Row& row);
    void judgeOpened(ProbeResult* result);
    QList<ProbeResult> openRows(const QList<Row>& rows, const SetUp& setUp);
    void setUpAnswered(const QList<int>& answered, QList<ProbeResult>* results, const SetUp& setUp);
    void writeProbe(int entrada);
    void waitFor(const QList<int>& probed, quint32 ms);
    bool allAnswered() const;
    void holdLogs(const QList<Row>& rows);
    void releaseLogs();
    bool rebuildActiveList(const QList<int>& answered);
    bool listActive(int entrada, int qtd);
    int cascata() const;

    TADO* m_ado;
    PortSlots* m_slots;
    std::function<void(quint32)> m_wait;
    ProbeTiming m_timing = ProbeTiming::fromEnvironment();
    QList<int> m_probing;               // the slots the running wait is for
    QHash<int, QString> m_configErrors; // by slot, from the last configureAll()
    QList<ProbeResult> m_lastProbe;
    QList<ModemLog*> m_logs;
    SetUp m_setUp;
};
