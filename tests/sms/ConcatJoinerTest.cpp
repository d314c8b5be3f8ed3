// Joining received parts: complete messages, parts that never come, duplicates and colliding references.
#include "sms/ConcatJoiner.h"

#include <QTimeZone>
#include <gtest/gtest.h>

using namespace pdu;

namespace {

const QDateTime kT0(QDate(2026, 12, 9), QTime(10, 0), QTimeZone(-3 * 3600));

InboxPart part(int index, const char* sender, int ref, int total, int seq, const char* text, QDateTime seen = kT0) {
    InboxPart p;
    p.index = index;
    p.sender = QString::fromUtf8(sender);
    p.sent = kT0.addSecs(index);
    p.text = QString::fromUtf8(text);
    p.concatenated = total > 1;
    p.reference = ref;
    p.total = total;
    p.sequence = seq;
    p.firstSeen = seen;
    return p;
}

InboxPart single(int index, const char* sender, const char* text) {
    return part(index, sender, 0, 1, 1, text);
}

} // namespace

TEST(ConcatJoiner, groupsAndWaits) {
    const QDateTime soon = kT0.addSecs(3600);
    const QDateTime dayLater = kT0.addSecs(24 * 3600);
    struct Expected {
        QString text;
        QList<int> indices;
        bool complete;
    };
    const struct {
        const char* name;
        QList<InboxPart> parts;
        QDateTime now;
        QList<Expected> ready;
        QList<int> waiting;
    } cases[] = {
        {"nothing", {}, soon, {}, {}},
        {"single messages pass straight through",
         {single(3, "+55", "b"), single(1, "+55", "a")},
         soon,
         {{QStringLiteral("a"), {1}, true}, {QStringLiteral("b"), {3}, true}},
         {}},
        {"parts listed out of order",
         {part(7, "+55", 9, 3, 3, "C"), part(2, "+55", 9, 3, 1, "A"), part(5, "+55", 9, 3, 2, "B")},
         soon,
         {{QStringLiteral("ABC"), {2, 5, 7}, true}},
         {}},
        {"missing part waits", {part(1, "+55", 9, 3, 1, "A"), part(2, "+55", 9, 3, 3, "C")}, soon, {}, {1, 2}},
        {"missing part after 24 h",
         {part(1, "+55", 9, 3, 1, "A"), part(2, "+55", 9, 3, 3, "C")},
         dayLater,
         {{QStringLiteral("A[parte faltando]C"), {1, 2}, false}},
         {}},
        {"missing last part after 24 h",
         {part(4, "+55", 9, 2, 1, "A", kT0.addSecs(-10))},
         dayLater,
         {{QStringLiteral("A[parte faltando]"), {4}, false}},
         {}},
        {"the earliest sighting counts",
         {part(1, "+55", 9, 3, 1, "A", kT0), part(2, "+55", 9, 3, 3, "C", dayLater)},
         dayLater,
         {{QStringLiteral("A[parte faltando]C"), {1, 2}, false}},
         {}},
        {"a part never stamped waits", {part(1, "+55", 9, 2, 1, "A", QDateTime())}, dayLater.addDays(30), {}, {1}},
        {"same reference, other sender",
         {part(1, "+55", 9, 2, 1, "A"), part(2, "+66", 9, 2, 2, "B"), part(3, "+55", 9, 2, 2, "b")},
         soon,
         {{QStringLiteral("Ab"), {1, 3}, true}},
         {2}},
        {"same sender and reference, other part count",
         {part(1, "+55", 9, 2, 1, "A"), part(2, "+55", 9, 3, 2, "x"), part(3, "+55", 9, 2, 2, "B")},
         soon,
         {{QStringLiteral("AB"), {1, 3}, true}},
         {2}},
        {"a part listed twice is used once and both deleted",
         {part(1, "+55", 9, 2, 1, "A"), part(2, "+55", 9, 2, 1, "A"), part(3, "+55", 9, 2, 2, "B")},
         soon,
         {{QStringLiteral("AB"), {1, 2, 3}, true}},
         {}},
        {"impossible numbers read as a single message",
         {part(1, "+55", 9, 2, 3, "X"), part(2, "+55", 9, 0, 0, "Y")},
         soon,
         {{QStringLiteral("X"), {1}, true}, {QStringLiteral("Y"), {2}, true}},
         {}},
    };
    for (const auto& c : cases) {
        const JoinResult r = joinParts(c.parts, c.now);
        ASSERT_EQ(r.ready.size(), c.ready.size()) << c.name;
        for (qsizetype i = 0; i < r.ready.size(); ++i) {
            EXPECT_EQ(r.ready[i].text, c.ready[i].text) << c.name;
            EXPECT_EQ(r.ready[i].indices, c.ready[i].indices) << c.name;
            EXPECT_EQ(r.ready[i].complete, c.ready[i].complete) << c.name;
        }
        EXPECT_EQ(r.waiting, c.waiting) << c.name;
    }
}

TEST(ConcatJoiner, surrogatePairSplitAcrossPartsRejoins) {
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
    InboxPart a = part(1, "+55", 1, 2, 1, "");
    InboxPart b = part(2, "+55", 1, 2, 2, "");
    a.text = QStringLiteral("x") + smile.at(0);
    b.text = QString(smile.at(1)) + QStringLiteral("y");
    const JoinResult r = joinParts({b, a}, kT0);
    ASSERT_EQ(r.ready.size(), 1);
    EXPECT_EQ(r.ready[0].text, QStringLiteral("x") + smile + QStringLiteral("y"));
    EXPECT_EQ(r.ready[0].sender, QStringLiteral("+55"));
    EXPECT_EQ(r.ready[0].sent, kT0.addSecs(1)); // the first part's time stamp
}
