#include "sms/SmsCommands.h"

#include "modem/ModemLog.h"
#include "modem/PortConfigurator.h"
#include "optout/InboxOptOut.h"
#include "sms/DeliveryReportSetup.h"
#include "sms/DeliveryReports.h"
#include "sms/JournalReplay.h"
#include "sms/ModemSetup.h"
#include "sms/ModemStation.h"
#include "sms/OutboxCommit.h"
#include "sms/ResponseCoordinator.h"
#include "sms/SlotRecovery.h"
#include "sms/SmsInbox.h"
#include "sms/SmsSender.h"
#include "sms/SmsStation.h"
#include "store/SmsModeSettings.h"
#include "store/Station.h"
#include "store/TADO.h"
#include "store/TimeText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <csignal>

namespace SmsCommands {
namespace {

std::atomic<int> g_interrupts{0};

// The longest wait for the modem to delete the delivery reports a reading found.
constexpr qint64 kStoredReportsWaitMs = 3000;

extern "C" void onSignal(int) {
    g_interrupts.fetch_add(1);
}

QString lines(QString text) {
    return text.replace('\r', '\n');
}

// The modem side and the SMS engine joined, with every send log line printed.
struct Engine {
    explicit Engine(TADO* ado, QTextStream& out) : m_ado(ado), modems(ado), sms(ado) {
        modems.attach(&sms);
        auto print = [&out](const QString& line) { out << lines(line) << Qt::endl; };
        QObject::connect(modems.sendLog(), &ModemLog::lineAppended, print);
        QObject::connect(&sms, &SmsStation::sendLogLine, print);
    }
    // With delivery reports asked for, the modems pass them on while the command runs, and let out the ones
    // they kept meanwhile.
    bool openPorts() {
        const bool opened = modems.configurator()->openAll();
        QString error;
        const SmsModeSettings mode = readSmsMode(m_ado->database(), &error);
        if (opened && error.isEmpty() && mode.mode == SmsMode::Pdu && mode.confirmDelivery)
            DeliveryReportSetup::enable(modems.portSlots(), modems.coordinator(),
                                        qMax<int>(int(modems.configurator()->timing().probe), 1000));
        return opened;
    }

    TADO* m_ado;
    ModemStation modems;
    SmsStation sms;
};

qint64 scalar(TADO* ado, const QString& sql, QString* error = nullptr) {
    QSqlQuery q(ado->database());
    if (q.exec(sql) && q.next())
        return q.value(0).toLongLong();
    if (error && error->isEmpty())
        *error = ado->failureText(q.lastError().text());
    return 0;
}

// Slots that hold outbox rows but are not in the active slot list: their rows stay.
QStringList notReadySlots(TADO* ado) {
    QStringList slots;
    QSqlQuery q(ado->database());
    q.prepare(QStringLiteral("SELECT DISTINCT PORTA FROM dbMENSAGEM WHERE PORTA NOT IN (SELECT ENTRADA FROM "
                             "dbPORTA_ATIVA WHERE ESTACAO IS NULL OR ESTACAO = ?) ORDER BY PORTA"));
    q.addBindValue(Station::current());
    q.exec();
    while (q.next())
        slots << q.value(0).toString();
    return slots;
}

// The send's outcome in three numbers: history rows it added, sent and failed, and the outbox left.
void printSummary(TADO* ado, qint64 historyBefore, QTextStream& out) {
    const QString added = QStringLiteral("SELECT COUNT(*) FROM dbHISTORICO WHERE ID_HISTORICO > %1 AND TIPO = 'SMS' "
                                         "AND ENVIADO = %2");
    QString error;
    const qint64 sent = scalar(ado, added.arg(historyBefore).arg(1), &error);
    const qint64 failed = scalar(ado, added.arg(historyBefore).arg(0), &error);
    const qint64 left = scalar(ado, QStringLiteral("SELECT COUNT(*) FROM dbMENSAGEM"), &error);
    if (!error.isEmpty()) {
        // Numbers that could not be read are not shown as zeros.
        out << QStringLiteral("RESUMO DO ENVIO INDISPONÍVEL: ") << error.simplified() << Qt::endl;
        return;
    }
    out << QStringLiteral("ENVIADAS: %1  FALHAS: %2  NA CAIXA DE SAÍDA: %3").arg(sent).arg(failed).arg(left)
        << Qt::endl;
}

// Once the workers have ended: the delivery reports of this run's sends, until each has come or
// DeliveryReports::kReportWaitMs have passed since the last send (or Ctrl+C). Reports read meanwhile are
// applied by the response coordinator; later ones are read by the next program that opens the port.
void waitForReports(TADO* ado, const QDateTime& since, const Clock& clock, QTextStream& out) {
    QSqlDatabase db = ado->database();
    int left = DeliveryReports::outstanding(db, since);
    if (left <= 0 || g_interrupts.load() > 0)
        return;
    out << QStringLiteral("AGUARDANDO RELATÓRIOS DE ENTREGA: %1").arg(left) << Qt::endl;
    const QDateTime lastSend = clock();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        left = DeliveryReports::outstanding(db, since);
        if (DeliveryReports::waitOver(left, lastSend, clock()) || g_interrupts.load() > 0)
            loop.quit();
    });
    poll.start(100);
    loop.exec();
    if (left > 0)
        out << QStringLiteral("RELATÓRIOS DE ENTREGA NÃO RECEBIDOS: %1").arg(left) << Qt::endl;
}

} // namespace

int sendOutbox(TADO* ado, QTextStream& out, QTextStream& err, bool resendInterrupted, const Clock& clock) {
    // Results kept while the database was away go in first: their rows were sent.
    const auto log = [&out](const QString& line) { out << line << Qt::endl; };
    JournalReplay::applyPending(ado, ado->dataDir(), log);
    if (resendInterrupted) {
        QString error;
        if (!JournalReplay::settleBeforeResend(ado, ado->dataDir(), log, &error)) {
            err << error << Qt::endl;
            return 1;
        }
        if (OutboxCommit::clearInFlight(ado, &error) < 0) {
            err << QStringLiteral("Não foi possível gravar no banco de dados: ") << error << Qt::endl;
            return 1;
        }
    }
    Engine engine(ado, out);
    const bool opened = engine.openPorts();
    // The list of ready slots is rebuilt even when none opened: a slot listed by an earlier run is no late modem.
    const bool ready = engine.modems.configurator()->VerificaPortas() && opened;
    SlotRecovery* recovery = engine.modems.recovery();
    // With no modem ready, the send still waits for the late ones (a slow boot) when there are any.
    if (!ready && (recovery->lateSlots().isEmpty() || ModemSetup::networkWaitS(ado) <= 0)) {
        err << lines(PortConfigurator::noPortOpenedText()) << Qt::endl;
        return 2;
    }
    const qint64 historyBefore = scalar(ado, QStringLiteral("SELECT COALESCE(MAX(ID_HISTORICO), 0) FROM dbHISTORICO"));
    g_interrupts.store(0);
    // ENVIO is stored to the second: the run's sends are those of this second on.
    const QDateTime since = TimeText::stampFromStored(DeliveryReports::stored(QDateTime::currentDateTime()));
    auto oldInt = std::signal(SIGINT, onSignal);
    auto oldTerm = std::signal(SIGTERM, onSignal);
    SmsSender* sender = engine.sms.sender();
    // How each slot's last worker ended: a modem that vanished and came back counts by its second worker.
    QHash<int, TMeuThread::End> ends;
    QObject::connect(sender, &SmsSender::workerEnded, [&](int slot, TMeuThread::End end) { ends.insert(slot, end); });
    QEventLoop loop;
    // The send is over when every worker has ended and no modem is waited for any more.
    auto over = [sender, recovery] { return !sender->running() && recovery->idle(); };
    QObject::connect(sender, &SmsSender::allEnded, &loop, [&] {
        if (over())
            loop.quit();
    });
    QObject::connect(recovery, &SlotRecovery::settled, &loop, [&] {
        if (over())
            loop.quit();
    });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [sender] {
        const int interrupts = g_interrupts.load();
        if (interrupts >= 2)
            sender->abort(); // the second Ctrl+C: no more waiting for a silent modem
        else if (interrupts == 1)
            sender->stop();
    });
    watch.start(100);
    sender->startSend();
    if (!over())
        loop.exec();
    waitForReports(ado, since, clock ? clock : Clock([] { return QDateTime::currentDateTime(); }), out);
    std::signal(SIGINT, oldInt);
    std::signal(SIGTERM, oldTerm);
    const QStringList notReady = notReadySlots(ado);
    if (!notReady.isEmpty())
        out << QStringLiteral("ENTRADAS NÃO PRONTAS (MENSAGENS MANTIDAS NA CAIXA DE SAÍDA): ") << notReady.join(", ")
            << Qt::endl;
    printSummary(ado, historyBefore, out);
    if (g_interrupts.load() > 0)
        return 130;
    if (!ready && recovery->joined().isEmpty()) {
        err << lines(PortConfigurator::noPortOpenedText()) << Qt::endl;
        return 2;
    }
    const bool workerFailed = std::any_of(ends.cbegin(), ends.cend(), [](TMeuThread::End end) {
        return end == TMeuThread::End::PortFailed || end == TMeuThread::End::Failed;
    });
    return workerFailed || !recovery->refused().isEmpty() ? 1 : 0;
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
    switch (inbox->readModemInbox()) {
    case SmsInbox::Start::PortClosed:
        err << lines(QString::fromUtf8(SmsInbox::kPortClosedWarning)) << Qt::endl;
        return 2;
    case SmsInbox::Start::Busy:
    case SmsInbox::Start::Started:
        break;
    }
    if (inbox->busy())
        loop.exec();
    // Delivery reports the reading found are deleted on the modem before the port closes.
    QElapsedTimer reports;
    reports.start();
    while (engine.modems.coordinator()->storedReportsPending() && reports.elapsed() < kStoredReportsWaitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    out << QStringLiteral("SMS RECEBIDOS: %1%2")
               .arg(stored)
               .arg(timedOut ? QStringLiteral(" (TEMPO ESGOTADO)") : QString())
        << Qt::endl;
    out << InboxOptOut::summaryLine(inbox->optedOut()) << Qt::endl;
    if (inbox->lastError().isEmpty())
        return 0;
    err << inbox->lastError() << Qt::endl;
    return 1;
}

} // namespace SmsCommands
