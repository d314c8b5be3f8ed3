#include "sms/SmsCommands.h"

#include "modem/ModemLog.h"
#include "modem/PortConfigurator.h"
#include "sms/ModemStation.h"
#include "sms/SmsInbox.h"
#include "sms/SmsSender.h"
#include "sms/SmsStation.h"

#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <csignal>

namespace SmsCommands {
namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void onSignal(int) {
    g_interrupted.store(true);
}

QString lines(QString text) {
    return text.replace('\r', '\n');
}

// The modem side and the SMS engine joined, with every send log line printed.
struct Engine {
    explicit Engine(TADO* ado, QTextStream& out) : modems(ado), sms(ado) {
        modems.attach(&sms);
        auto print = [&out](const QString& line) { out << lines(line) << Qt::endl; };
        QObject::connect(modems.sendLog(), &ModemLog::lineAppended, print);
        QObject::connect(&sms, &SmsStation::sendLogLine, print);
    }
    bool openPorts() { return modems.configurator()->openAll(); }

    ModemStation modems;
    SmsStation sms;
};

} // namespace

int sendOutbox(TADO* ado, QTextStream& out, QTextStream& err) {
    Engine engine(ado, out);
    if (!engine.openPorts() || !engine.modems.configurator()->VerificaPortas()) {
        err << lines(PortConfigurator::noPortOpenedText()) << Qt::endl;
        return 2;
    }
    g_interrupted.store(false);
    auto oldInt = std::signal(SIGINT, onSignal);
    auto oldTerm = std::signal(SIGTERM, onSignal);
    SmsSender* sender = engine.sms.sender();
    QEventLoop loop;
    QObject::connect(sender, &SmsSender::allEnded, &loop, &QEventLoop::quit);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [sender] {
        if (g_interrupted.load())
            sender->stop();
    });
    watch.start(100);
    sender->btEnvioSMSClick();
    if (sender->running())
        loop.exec();
    std::signal(SIGINT, oldInt);
    std::signal(SIGTERM, oldTerm);
    return 0;
}

int receiveSms(TADO* ado, QTextStream& out, QTextStream& err) {
    Engine engine(ado, out);
    engine.openPorts();
    SmsInbox* inbox = engine.sms.inbox();
    QEventLoop loop;
    int stored = 0;
    bool timedOut = false;
    QObject::connect(inbox, &SmsInbox::readingEnded, &loop, [&](int n, bool late) {
        stored = n;
        timedOut = late;
        loop.quit();
    });
    switch (inbox->Button13Click()) {
    case SmsInbox::Start::PortClosed:
        err << lines(QString::fromUtf8(SmsInbox::kPortClosedWarning)) << Qt::endl;
        return 2;
    case SmsInbox::Start::Busy:
    case SmsInbox::Start::Started:
        break;
    }
    if (inbox->busy())
        loop.exec();
    out << QStringLiteral("SMS RECEBIDOS: %1%2")
               .arg(stored)
               .arg(timedOut ? QStringLiteral(" (TEMPO ESGOTADO)") : QString())
        << Qt::endl;
    if (inbox->lastError().isEmpty())
        return 0;
    err << inbox->lastError() << Qt::endl;
    return 1;
}

} // namespace SmsCommands
