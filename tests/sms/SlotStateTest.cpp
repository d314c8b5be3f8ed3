// The slot's send state machine: every event from every phase, legal or refused (and logged), a
// result for another send, and a result racing a time-out from two threads.
#include "sms/SlotState.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <atomic>
#include <map>
#include <thread>

namespace {

using Phase = SlotState::Phase;

enum class Event {
    BeginSend,
    Submit,
    Answer,
    Store,
    Unrecord,
    TimeOut,
    Resync,
    Resynced,
    Finish,
    Configure,
    Replied,
    FinishConfiguring,
    AcceptPart,
    NextPart
};

const char* eventName(Event e) {
    static const char* const names[] = {
        "beginSend", "submit", "answer",    "store",   "unrecord",          "timeOut",    "resync",
        "resynced",  "finish", "configure", "replied", "finishConfiguring", "acceptPart", "nextPart"};
    return names[int(e)];
}

// Applies `e` to the current send; true when the machine took it.
bool fire(SlotState& s, Event e) {
    const quint64 seq = s.sequence();
    switch (e) {
    case Event::BeginSend: // the first of three PDU parts: the part events are legal too
        return s.beginSend({QStringLiteral("5511900000001"), QStringLiteral("oi"), 1, 0, false, "0011", 1, 3}) > 0;
    case Event::Submit:
        return s.submit(seq);
    case Event::Answer:
        return s.answer(seq);
    case Event::Store:
        return s.store(seq);
    case Event::Unrecord:
        return s.unrecord(seq);
    case Event::TimeOut:
        return s.timeOut(seq);
    case Event::Resync:
        return s.resync();
    case Event::Resynced:
        return s.resynced();
    case Event::Finish:
        return s.finish(seq);
    case Event::Configure:
        return s.configure();
    case Event::Replied:
        return s.replied(true);
    case Event::FinishConfiguring:
        return s.finishConfiguring();
    case Event::AcceptPart:
        return s.acceptPart(seq, 7);
    case Event::NextPart:
        return s.nextPart(seq, "0012") > 0;
    }
    return false;
}

// A legal road from Idle to each phase.
const std::map<Phase, std::vector<Event>> kRoads{
    {Phase::Idle, {}},
    {Phase::Prompted, {Event::BeginSend}},
    {Phase::Submitted, {Event::BeginSend, Event::Submit}},
    {Phase::Answered, {Event::BeginSend, Event::Submit, Event::Answer}},
    {Phase::Stored, {Event::BeginSend, Event::Submit, Event::Answer, Event::Store}},
    {Phase::Unrecorded, {Event::BeginSend, Event::Submit, Event::Answer, Event::Unrecord}},
    {Phase::TimedOut, {Event::BeginSend, Event::TimeOut}},
    {Phase::Resyncing, {Event::BeginSend, Event::TimeOut, Event::Resync}},
    {Phase::Configuring, {Event::Configure}},
    {Phase::PartSent, {Event::BeginSend, Event::Submit, Event::AcceptPart}},
};

// Every legal transition; any other (phase, event) pair is refused and leaves the phase as it is.
const std::map<std::pair<Phase, Event>, Phase> kLegal{
    {{Phase::Idle, Event::BeginSend}, Phase::Prompted},
    {{Phase::Idle, Event::Configure}, Phase::Configuring},
    {{Phase::Prompted, Event::Submit}, Phase::Submitted},
    {{Phase::Prompted, Event::Answer}, Phase::Answered},
    {{Phase::Prompted, Event::TimeOut}, Phase::TimedOut},
    {{Phase::Submitted, Event::Answer}, Phase::Answered},
    {{Phase::Submitted, Event::Unrecord}, Phase::Unrecorded},
    {{Phase::Submitted, Event::TimeOut}, Phase::TimedOut},
    {{Phase::Answered, Event::Store}, Phase::Stored},
    {{Phase::Answered, Event::Unrecord}, Phase::Unrecorded},
    {{Phase::Stored, Event::Finish}, Phase::Idle},
    {{Phase::Unrecorded, Event::Finish}, Phase::Idle},
    {{Phase::TimedOut, Event::Resync}, Phase::Resyncing},
    {{Phase::Resyncing, Event::Resync}, Phase::Resyncing},
    {{Phase::Resyncing, Event::Resynced}, Phase::Idle},
    {{Phase::Configuring, Event::Replied}, Phase::Idle},
    {{Phase::Configuring, Event::FinishConfiguring}, Phase::Idle},
    {{Phase::Submitted, Event::AcceptPart}, Phase::PartSent},
    {{Phase::PartSent, Event::NextPart}, Phase::Prompted},
    {{Phase::PartSent, Event::Finish}, Phase::Idle},
};

} // namespace

TEST(SlotState, EveryEventFromEveryPhase) {
    int legal = 0;
    for (const auto& [from, road] : kRoads) {
        for (int e = 0; e <= int(Event::NextPart); ++e) {
            const Event event = Event(e);
            SlotState s;
            QStringList refused;
            s.setLogger([&](const QString& line) { refused << line; });
            for (const Event step : road)
                ASSERT_TRUE(fire(s, step)) << SlotState::name(from);
            ASSERT_EQ(s.phase(), from);
            const auto it = kLegal.find({from, event});
            const bool expected = it != kLegal.end();
            const std::string row = std::string(SlotState::name(from)) + " --" + eventName(event) + "-->";
            EXPECT_EQ(fire(s, event), expected) << row;
            EXPECT_EQ(s.phase(), expected ? it->second : from) << row;
            // A refused transition is said (a reply outside a set-up command is only an "OK").
            const bool quietRefusal = event == Event::Replied;
            EXPECT_EQ(refused.size(), expected || quietRefusal ? 0 : 1) << row;
            legal += expected ? 1 : 0;
        }
    }
    EXPECT_EQ(legal, int(kLegal.size()));
}

TEST(SlotState, ASendsOwnTransitionsNeedItsSequence) {
    SlotState s;
    s.setLogger([](const QString&) {});
    const quint64 first = s.beginSend({QStringLiteral("1"), QStringLiteral("a"), 1});
    ASSERT_TRUE(s.timeOut(first));
    ASSERT_TRUE(s.resync());
    ASSERT_TRUE(s.resynced());
    const quint64 second = s.beginSend({QStringLiteral("2"), QStringLiteral("b"), 2});
    ASSERT_EQ(second, first + 1);
    // The first send's late result, its store and its finish belong to nobody now.
    for (auto late : {&SlotState::submit, &SlotState::answer, &SlotState::store, &SlotState::unrecord,
                      &SlotState::timeOut, &SlotState::finish})
        EXPECT_FALSE((s.*late)(first));
    EXPECT_TRUE(s.is(Phase::Prompted, second));
    EXPECT_EQ(s.currentRow().id, 2);
    EXPECT_TRUE(s.answer(second));
    EXPECT_TRUE(s.answered(second));
    EXPECT_FALSE(s.answered(first));
}

TEST(SlotState, ASetUpReplySaysWhetherTheModemTookTheCommand) {
    SlotState s;
    for (const bool ok : {true, false, true}) {
        ASSERT_TRUE(s.configure());
        EXPECT_FALSE(s.awaiting());
        ASSERT_TRUE(s.replied(ok));
        EXPECT_EQ(s.replyOk(), ok);
        EXPECT_EQ(s.phase(), Phase::Idle);
    }
}

// The handler's result (window thread) and the worker's time-out (its own thread) for one send:
// exactly one of them wins, every time.
TEST(SlotState, AResultAndATimeOutNeverBothWin) {
    for (int round = 0; round < 300; ++round) {
        SlotState s;
        s.setLogger([](const QString&) {});
        const quint64 seq = s.beginSend({QStringLiteral("1"), QStringLiteral("a"), 1});
        ASSERT_TRUE(s.submit(seq));
        std::atomic<bool> go{false};
        std::atomic<int> winners{0};
        std::thread handler([&] {
            while (!go.load())
                std::this_thread::yield();
            winners += s.answer(seq) ? 1 : 0;
        });
        std::thread worker([&] {
            while (!go.load())
                std::this_thread::yield();
            winners += s.timeOut(seq) ? 1 : 0;
        });
        go = true;
        handler.join();
        worker.join();
        ASSERT_EQ(winners.load(), 1) << round;
        EXPECT_TRUE(s.phase() == Phase::Answered || s.phase() == Phase::TimedOut);
    }
}

// A waiter wakes at the transition it waits for, not at the end of its time.
TEST(SlotState, WaitForWakesAtTheTransition) {
    SlotState s;
    const quint64 seq = s.beginSend({QStringLiteral("1"), QStringLiteral("a"), 1});
    std::thread handler([&] {
        s.submit(seq);
        s.answer(seq);
        s.store(seq);
    });
    // A bound far above the work: the waiter returns as soon as the send is Stored.
    EXPECT_TRUE(s.waitFor([&](Phase p, quint64 q) { return q == seq && p == Phase::Stored; }, 600000));
    handler.join();
}

// A PDU message: each part is a send of its own; a part's "+CMGS:" moves the message on only while
// parts remain (the last one's is the message's answer), a late result of an earlier part belongs
// to nobody, and the references of the accepted parts stay with the message until the next one.
TEST(SlotState, APduMessageGoesPartByPart) {
    SlotState s;
    QStringList refused;
    s.setLogger([&](const QString& line) { refused << line; });
    quint64 seq = s.beginSend({QStringLiteral("1"), QStringLiteral("a"), 9, 0, false, "P1", 1, 3});
    const quint64 first = seq;
    for (int part = 1; part < 3; ++part) {
        ASSERT_TRUE(s.submit(seq));
        ASSERT_TRUE(s.acceptPart(seq, 40 + part));
        EXPECT_TRUE(s.awaiting()) << "the activity light stays on between parts";
        const quint64 next = s.nextPart(seq, QByteArray("P") + QByteArray::number(part + 1));
        ASSERT_EQ(next, seq + 1);
        seq = next;
        EXPECT_EQ(s.currentRow().part, part + 1);
        EXPECT_TRUE(s.currentRow().inFlight) << "the first part's mark covers the message";
    }
    EXPECT_EQ(s.currentRow().pdu, QByteArray("P3"));
    EXPECT_FALSE(s.acceptPart(first, 99)) << "an earlier part's late result";
    ASSERT_TRUE(s.submit(seq));
    EXPECT_FALSE(s.acceptPart(seq, 43)) << "the last part's result answers the message";
    EXPECT_FALSE(s.nextPart(seq, "P4"));
    ASSERT_TRUE(s.answer(seq));
    EXPECT_EQ(s.references(), (QList<int>{41, 42}));
    ASSERT_TRUE(s.store(seq));
    ASSERT_TRUE(s.finish(seq));
    EXPECT_EQ(refused.size(), 3);
    s.beginSend({QStringLiteral("2"), QStringLiteral("b"), 10});
    EXPECT_TRUE(s.references().isEmpty());
    // Concatenation references go round one per message.
    const quint8 r1 = s.nextConcatReference();
    EXPECT_EQ(quint8(s.nextConcatReference()), quint8(r1 + 1));
}
