#pragma once

#include "sms/ModemReplies.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// What one slot's set-up starts from: its row of dbPORTA and the settings row.
struct SlotSetupSettings {
    int entrada = 0;
    QString pin;             // empty: none given
    bool pinRefused = false; // the SIM refused this PIN once: it is not sent again
    QString smsc;            // empty: the SIM's own centre is kept
    int networkWaitS = 60;   // how long a modem may search for the network
};

// What the set-up found out about the slot's modem and SIM.
struct SlotSetupReport {
    enum class Pin { Ok, Asked, Wrong, Puk, Unknown };
    enum class Network { Registered, Searching, Denied, NoSignal, Unknown };
    bool ready = true;
    Pin pin = Pin::Unknown;
    Network network = Network::Unknown;
    int signal = -1; // +CSQ rssi, -1 when not read
    QString imei, imsi, iccid, maker, model;
    bool markPinRefused = false; // the SIM refused the PIN now: remember it on the slot
    bool lasting = false;        // not ready until the operator acts (PIN, SIM, SMS centre, daily cap)
    QStringList log;             // "ENTRADA n …" lines for the send log, in order
    QString condition;           // what the slot's light tells the operator ("" when all is well)

    QString modelo() const { return QString(maker + QLatin1Char(' ') + model).trimmed(); }
};

// The set-up of one slot's modem at port open, as a sequence of AT commands and their replies:
// echo off (ATE0), numeric errors (AT+CMEE=1), the SIM's PIN (AT+CPIN? and, once, AT+CPIN="…"), the
// modem's and SIM's identity (AT+CGSN, AT+CIMI, AT+CCID or AT^ICCID? or AT+QCCID, AT+CGMI, AT+CGMM), the
// SMS centre (AT+CSCA), the signal (AT+CSQ) and the network registration (AT+CREG?). A command the modem
// refuses leaves its field empty; only the SIM (PIN, PUK, no SMS centre) and the network can make the slot
// not ready. A SIM busy after its PIN ("+CME ERROR: 14") is asked again every second for up to 20 s; a
// modem searching for the network is asked every 2 s for up to networkWaitS. Time comes from the caller
// (milliseconds on any steady clock): no waiting happens here.
class SlotSetup {
public:
    static constexpr qint64 kBusyMs = 20000;
    static constexpr qint64 kBusyRetryMs = 1000;
    static constexpr qint64 kNetworkRetryMs = 2000;

    struct Step {
        enum class Kind { Command, Wait, Done };
        Kind kind = Kind::Done;
        QByteArray command; // Command: what to write, without the CR
        qint64 until = 0;   // Wait: ask again at this time
    };

    explicit SlotSetup(SlotSetupSettings settings = {});

    // What to do now.
    Step next(qint64 nowMs);
    // The reply to the command of the last step: `answered` when a final result came ("OK" or an error),
    // `lines` every line received meanwhile (the final result among them).
    void reply(bool answered, const ModemReplies::Lines& lines, qint64 nowMs);
    // The port failed under the set-up: the slot is not ready, `line` says why.
    void abandon(const QString& line);

    const SlotSetupReport& report() const { return m_report; }
    bool done() const { return m_stage == Stage::Done; }

private:
    enum class Stage {
        Echo,
        Errors,
        Pin,
        PinEnter,
        PinCheck,
        Imei,
        Imsi,
        Iccid,
        IccidHuawei,
        IccidQuectel,
        Maker,
        Model,
        Smsc,
        Signal,
        Network,
        Done
    };
    QByteArray command() const;
    void advance(const ModemReplies::Lines& lines, qint64 nowMs);
    void pinReply(const ModemReplies::Lines& lines, bool afterPin);
    void networkReply(const ModemReplies::Lines& lines, qint64 nowMs);
    bool busy(const ModemReplies::Lines& lines, qint64 nowMs);
    // `lasting`: only the operator can change it (a PIN, a SIM, an SMS centre); asking again will not help.
    void notReady(const QString& line, const QString& condition, bool lasting = false);
    QString head() const;

    SlotSetupSettings m_settings;
    SlotSetupReport m_report;
    Stage m_stage = Stage::Echo;
    qint64 m_waitUntil = -1;       // a Wait step before the stage's command is asked again
    qint64 m_busyDeadline = -1;    // the SIM busy since: asked again until then
    qint64 m_networkDeadline = -1; // searching since: asked again until then
    int m_silent = 0;              // commands in a row without any reply
};
