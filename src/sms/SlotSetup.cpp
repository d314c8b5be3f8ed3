#include "sms/SlotSetup.h"

#include <utility>

using Lines = ModemReplies::Lines;
using Pin = SlotSetupReport::Pin;
using Network = SlotSetupReport::Network;

namespace {

// A PIN is 4 to 8 digits: nothing else is ever written inside the command.
bool validPin(const QString& pin) {
    if (pin.size() < 4 || pin.size() > 8)
        return false;
    for (const QChar c : pin)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

// The SMS centre as the command takes it: digits with an optional leading '+', else empty.
QByteArray smscDigits(const QString& number) {
    QByteArray out;
    for (qsizetype i = 0; i < number.size(); ++i) {
        const QChar c = number.at(i);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            out.append(char(c.unicode()));
        else if (c == QLatin1Char('+') && out.isEmpty())
            out.append('+');
        else if (c != QLatin1Char(' ') && c != QLatin1Char('-'))
            return {};
    }
    return out.size() > 1 && out.size() <= 21 ? out : QByteArray();
}

} // namespace

SlotSetup::SlotSetup(SlotSetupSettings settings) : m_settings(std::move(settings)) {}

QString SlotSetup::head() const {
    return QStringLiteral("ENTRADA %1 ").arg(m_settings.entrada);
}

SlotSetup::Step SlotSetup::next(qint64 nowMs) {
    if (m_stage == Stage::Done)
        return {};
    if (m_waitUntil >= 0 && nowMs < m_waitUntil)
        return {Step::Kind::Wait, {}, m_waitUntil};
    m_waitUntil = -1;
    return {Step::Kind::Command, command(), 0};
}

QByteArray SlotSetup::command() const {
    switch (m_stage) {
    case Stage::Echo:
        return "ATE0";
    case Stage::Errors:
        return "AT+CMEE=1";
    case Stage::Pin:
    case Stage::PinCheck:
        return "AT+CPIN?";
    case Stage::PinEnter:
        return "AT+CPIN=\"" + m_settings.pin.toLatin1() + '"';
    case Stage::Imei:
        return "AT+CGSN";
    case Stage::Imsi:
        return "AT+CIMI";
    case Stage::Iccid:
        return "AT+CCID";
    case Stage::IccidHuawei:
        return "AT^ICCID?";
    case Stage::IccidQuectel:
        return "AT+QCCID";
    case Stage::Maker:
        return "AT+CGMI";
    case Stage::Model:
        return "AT+CGMM";
    case Stage::Smsc: {
        const QByteArray number = smscDigits(m_settings.smsc);
        if (number.isEmpty())
            return "AT+CSCA?";
        return "AT+CSCA=\"" + number + "\"," + (number.startsWith('+') ? "145" : "129");
    }
    case Stage::Signal:
        return "AT+CSQ";
    case Stage::Network:
        return "AT+CREG?";
    case Stage::Done:
        break;
    }
    return {};
}

void SlotSetup::reply(bool answered, const Lines& lines, qint64 nowMs) {
    if (m_stage == Stage::Done)
        return;
    // A modem that stops answering keeps what was found so far and sends as it did before.
    m_silent = answered || !lines.isEmpty() ? 0 : m_silent + 1;
    if (m_silent >= 2) {
        m_stage = Stage::Done;
        return;
    }
    if (busy(lines, nowMs))
        return;
    advance(lines, nowMs);
}

// "+CME ERROR: 14": the SIM is busy (right after its PIN, for seconds). The same command is asked again.
bool SlotSetup::busy(const Lines& lines, qint64 nowMs) {
    if (ModemReplies::cmeError(lines) != 14)
        return false;
    if (m_busyDeadline < 0)
        m_busyDeadline = nowMs + kBusyMs;
    if (nowMs >= m_busyDeadline) {
        notReady(head() + QStringLiteral("SIM OCUPADO: NÃO RESPONDEU EM %1 S").arg(kBusyMs / 1000),
                 QStringLiteral("SIM ocupado"));
        return true;
    }
    m_waitUntil = nowMs + kBusyRetryMs;
    return true;
}

void SlotSetup::advance(const Lines& lines, qint64 nowMs) {
    switch (m_stage) {
    case Stage::Echo:
        m_stage = Stage::Errors;
        return;
    case Stage::Errors:
        m_stage = Stage::Pin;
        return;
    case Stage::Pin:
    case Stage::PinCheck:
        pinReply(lines, m_stage == Stage::PinCheck);
        return;
    case Stage::PinEnter: {
        const int error = ModemReplies::cmeError(lines);
        if (error == 16 || error == 12) {
            m_report.markPinRefused = error == 16;
            m_report.pin = error == 16 ? Pin::Wrong : Pin::Puk;
            notReady(head() + (error == 16 ? QStringLiteral("PIN INCORRETO: NÃO SERÁ TENTADO DE NOVO")
                                           : QStringLiteral("SIM BLOQUEADO (PUK)")),
                     error == 16 ? QStringLiteral("PIN incorreto") : QStringLiteral("SIM bloqueado (PUK)"), true);
            return;
        }
        // The SIM may be busy for a while after taking its PIN.
        m_busyDeadline = nowMs + kBusyMs;
        m_stage = Stage::PinCheck;
        return;
    }
    case Stage::Imei:
        m_report.imei = ModemReplies::imei(lines);
        m_stage = Stage::Imsi;
        return;
    case Stage::Imsi:
        m_report.imsi = ModemReplies::imsi(lines);
        m_stage = Stage::Iccid;
        return;
    case Stage::Iccid:
    case Stage::IccidHuawei:
    case Stage::IccidQuectel:
        m_report.iccid = ModemReplies::iccid(lines);
        if (!m_report.iccid.isEmpty() || m_stage == Stage::IccidQuectel)
            m_stage = Stage::Maker;
        else
            m_stage = m_stage == Stage::Iccid ? Stage::IccidHuawei : Stage::IccidQuectel;
        return;
    case Stage::Maker:
        m_report.maker = ModemReplies::infoText(lines, "AT+CGMI");
        m_stage = Stage::Model;
        return;
    case Stage::Model:
        m_report.model = ModemReplies::infoText(lines, "AT+CGMM");
        m_stage = Stage::Smsc;
        return;
    case Stage::Smsc: {
        // A centre written with AT+CSCA is trusted; one read with AT+CSCA? must be there.
        const std::optional<QString> centre = ModemReplies::smsc(lines);
        if (command() == "AT+CSCA?" && centre && centre->isEmpty()) {
            notReady(head() + QStringLiteral("SEM CENTRO DE MENSAGENS (SMSC): INFORME-O EM CONFIGURAÇÃO MODEM"),
                     QStringLiteral("sem centro de mensagens (SMSC)"), true);
            return;
        }
        m_stage = Stage::Signal;
        return;
    }
    case Stage::Signal:
        m_report.signal = ModemReplies::signal(lines);
        if (m_report.signal == 99) {
            m_report.network = Network::NoSignal;
            notReady(head() + QStringLiteral("SEM SINAL"), QStringLiteral("sem sinal"));
            return;
        }
        m_stage = Stage::Network;
        return;
    case Stage::Network:
        networkReply(lines, nowMs);
        return;
    case Stage::Done:
        return;
    }
}

void SlotSetup::pinReply(const Lines& lines, bool afterPin) {
    switch (ModemReplies::pinState(lines)) {
    case ModemReplies::Pin::Ready:
        m_report.pin = Pin::Ok;
        m_stage = Stage::Imei;
        return;
    case ModemReplies::Pin::SimPin:
        if (afterPin || m_settings.pinRefused) {
            // Never a second try: three wrong PINs block the SIM.
            m_report.markPinRefused = afterPin;
            m_report.pin = Pin::Wrong;
            notReady(head() + QStringLiteral("PIN INCORRETO: NÃO SERÁ TENTADO DE NOVO"),
                     QStringLiteral("PIN incorreto"), true);
        } else if (!validPin(m_settings.pin)) {
            m_report.pin = Pin::Asked;
            notReady(head() + QStringLiteral("SIM PEDE PIN: INFORME O PIN DA ENTRADA EM CONFIGURAÇÃO MODEM"),
                     QStringLiteral("SIM pede PIN"), true);
        } else {
            m_stage = Stage::PinEnter;
        }
        return;
    case ModemReplies::Pin::SimPuk:
        m_report.pin = Pin::Puk;
        notReady(head() + QStringLiteral("SIM BLOQUEADO (PUK)"), QStringLiteral("SIM bloqueado (PUK)"), true);
        return;
    case ModemReplies::Pin::Other:
    case ModemReplies::Pin::Unknown:
        break;
    }
    const int error = ModemReplies::cmeError(lines);
    if (error == 10 || error == 13) {
        notReady(head() + QStringLiteral("SEM SIM (CHIP AUSENTE OU COM DEFEITO)"), QStringLiteral("sem SIM"), true);
        return;
    }
    // A modem that does not say (AT+CPIN? refused) is taken as it is.
    m_stage = Stage::Imei;
}

void SlotSetup::networkReply(const Lines& lines, qint64 nowMs) {
    const std::optional<int> stat = ModemReplies::registration(lines);
    if (!stat) {
        m_stage = Stage::Done; // a modem that does not say is taken as it is
        return;
    }
    if (ModemReplies::registered(*stat)) {
        m_report.network = Network::Registered;
        if (m_report.condition == QStringLiteral("aguardando rede"))
            m_report.condition.clear();
        m_stage = Stage::Done;
        return;
    }
    if (*stat == 3) {
        m_report.network = Network::Denied;
        notReady(head() + QStringLiteral("REGISTRO NA REDE NEGADO"), QStringLiteral("registro na rede negado"));
        return;
    }
    m_report.network = Network::Searching;
    if (m_networkDeadline < 0) {
        m_networkDeadline = nowMs + qint64(qMax(0, m_settings.networkWaitS)) * 1000;
        m_report.log << head() + QStringLiteral("AGUARDANDO REDE");
        m_report.condition = QStringLiteral("aguardando rede");
    }
    if (nowMs >= m_networkDeadline) {
        notReady(head() + QStringLiteral("SEM REDE APÓS %1 S").arg(m_settings.networkWaitS),
                 QStringLiteral("sem rede"));
        return;
    }
    m_waitUntil = qMin(nowMs + kNetworkRetryMs, m_networkDeadline);
}

void SlotSetup::abandon(const QString& line) {
    notReady(head() + line, QStringLiteral("porta fechada"));
}

void SlotSetup::notReady(const QString& line, const QString& condition, bool lasting) {
    m_report.ready = false;
    m_report.lasting = lasting;
    m_report.log << line;
    m_report.condition = condition;
    m_stage = Stage::Done;
}
