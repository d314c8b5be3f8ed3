#pragma once

// A send bench for the tests: a temporary database, N simulated modems linked as portas/COMn,
// one serial channel, slot state and response handler per slot, and a small window-thread
// coordinator that applies the handler's actions (the history rows through the history writer).
#include "../common/TempDataDir.h"
#include "ModemSimulator.h"
#include "history/HistoryWriter.h"
#include "modem/ComMapping.h"
#include "modem/SerialChannel.h"
#include "sms/OutboxCommit.h"
#include "sms/ResponseCoordinator.h"
#include "sms/ResponseHandler.h"
#include "sms/SendScreen.h"
#include "sms/SmsSender.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>

#include <functional>
#include <memory>
#include <vector>

struct SmsBench {
    struct Slot {
        std::unique_ptr<SerialChannel> channel;
        std::unique_ptr<SlotState> state;
        std::unique_ptr<ResponseHandler> handler;
    };

    TempDataDir data;
    StoreLocation::Kind store = StoreLocation::Kind::Sqlite; // the store start() opens
    std::unique_ptr<modemsim::ModemSimulator> sim;
    std::vector<Slot> slots;
    InboxMode inbox;
    std::unique_ptr<SendScreen> screen;
    std::unique_ptr<SmsSender> sender;
    QStringList log;
    std::vector<std::pair<int, int>> counters; // slot, count
    std::vector<std::pair<int, SendScreen::BarState>> bars;

    // One simulated modem per config, on slots 1..N; `open` opens their channels.
    bool start(const std::vector<modemsim::PortConfig>& configs, bool open = true) {
        if (!data.start(store).ok)
            return false;
        ComMapping::setDataDir(data.path());
        modemsim::SimulatorOptions options;
        options.dir = QString(data.path() + QStringLiteral("/portas")).toStdString();
        options.ports = configs;
        sim = std::make_unique<modemsim::ModemSimulator>(options);
        sim->start();
        screen = std::make_unique<SendScreen>(data.ado.get());
        QObject::connect(screen.get(), &SendScreen::sendLogLine, [this](const QString& l) { log << l; });
        QObject::connect(screen.get(), &SendScreen::queueCounterChanged,
                         [this](int s, int c) { counters.emplace_back(s, c); });
        QObject::connect(screen.get(), &SendScreen::signalBarChanged,
                         [this](int s, SendScreen::BarState b) { bars.emplace_back(s, b); });
        sender = std::make_unique<SmsSender>(data.ado.get(), screen.get());
        for (int i = 0; i < int(configs.size()); ++i)
            addSlot(i + 1, open);
        return true;
    }

    ~SmsBench() {
        if (sender)
            sender->stopAndWait();
        sender.reset();
        slots.clear();
        if (sim)
            sim->stop();
        ComMapping::setDataDir(QString());
    }

    void addSlot(int number, bool open) {
        Slot s;
        s.channel = std::make_unique<SerialChannel>(number);
        s.channel->setComNumber(number);
        s.state = std::make_unique<SlotState>();
        s.handler = std::make_unique<ResponseHandler>(number, *s.state, &inbox);
        SerialChannel* ch = s.channel.get();
        ResponseHandler* handler = s.handler.get();
        SlotState* state = s.state.get();
        QObject::connect(ch, &SerialChannel::TriggerAvail, [this, handler, state](SerialChannel* c, quint16 count) {
            apply(c, *state, handler->feed(c->takeBytes(count)));
        });
        QObject::connect(ch, &SerialChannel::portLost, [](SerialChannel*, const QString&) {});
        if (open)
            ch->open();
        sender->setSlot(number, ch, state);
        slots.push_back(std::move(s));
    }

    void apply(SerialChannel* c, SlotState& state, const HandlerActions& actions) {
        for (const HandlerAction& action : actions) {
            if (const auto* write = std::get_if<WriteToChannel>(&action)) {
                const bool cancel = write->sequence > 0 && !state.is(SlotState::Phase::Submitted, write->sequence);
                try {
                    c->WriteText(cancel ? QByteArray("\x1b") : write->bytes);
                } catch (const std::exception&) {
                }
            } else if (const auto* mark = std::get_if<MarkInFlight>(&action)) {
                OutboxCommit::markInFlight(data.ado.get(), mark->outboxId);
            } else if (const auto* row = std::get_if<HistoryRow>(&action)) {
                if (HistoryWriter::append(data.ado.get(), row->destinatario, row->mensagem, row->tipo, row->enviado)
                        .isEmpty() &&
                    row->markNextId > 0)
                    OutboxCommit::markInFlight(data.ado.get(), row->markNextId); // as the coordinator does
            } else if (const auto* line = std::get_if<LogLine>(&action)) {
                if (line->target == LogTarget::SendLog)
                    log << line->text;
            } else if (const auto* lower = std::get_if<LowerAwaiting>(&action)) {
                if (state.is(SlotState::Phase::Answered, lower->sequence))
                    state.store(lower->sequence);
            } else if (const auto* late = std::get_if<LateResult>(&action)) {
                const QString said = ResponseCoordinator::storeLateResult(state, c->tag(), *late, data.ado.get(), {});
                if (!said.isEmpty())
                    log << QStringLiteral(" ENTRADA %1 ").arg(c->tag()) + said;
            }
        }
    }

    QSqlQuery sql(const QString& text, const QVariantList& values = {}) {
        QSqlQuery q(data.ado->database());
        if (values.isEmpty()) { // not prepared: PostgreSQL prepares no CREATE or DROP
            q.exec(text);
            return q;
        }
        q.prepare(text);
        for (const QVariant& v : values)
            q.addBindValue(v);
        q.exec();
        return q;
    }
    int count(const QString& table) {
        QSqlQuery q = sql(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table));
        return q.next() ? q.value(0).toInt() : -1;
    }
    void activate(std::initializer_list<int> entradas) {
        for (int e : entradas)
            sql(QStringLiteral("INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (?, 10)"), {e});
    }
    void addRow(int porta, const QString& fone, const QString& text, qint64 id = 0) {
        if (id > 0)
            sql(QStringLiteral("INSERT INTO dbMENSAGEM (ID, FONE, MENSAGEM, PORTA) VALUES (?, ?, ?, ?)"),
                {id, fone, text, porta});
        else
            sql(QStringLiteral("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES (?, ?, ?)"), {fone, text, porta});
    }
    void setTempoSms(int ms) { sql(QStringLiteral("UPDATE dbCFG SET TEMPO_SMS = ?"), {ms}); }

    // Runs the send button and serves the window thread until every worker has ended.
    bool send(const TMeuThread::Timing& timing = {}) {
        sender->setTiming(timing);
        sender->startSend();
        return waitUntil([this] { return !sender->running(); });
    }

    static bool waitUntil(const std::function<bool()>& condition, int guardMs = 30000) {
        QElapsedTimer guard;
        guard.start();
        while (!condition()) {
            if (guard.elapsed() > guardMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }
};
