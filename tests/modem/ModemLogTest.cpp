// The send and console logs hold the lines of the slots being probed and let them out in slot order.
#include "modem/ModemLog.h"

#include <gtest/gtest.h>

namespace {

TEST(ModemLog, HeldLinesComeOutInSlotOrder) {
    ModemLog log;
    QStringList emitted;
    QList<bool> selected;
    QObject::connect(&log, &ModemLog::lineAppended, [&](const QString& line, bool showLast) {
        emitted << line;
        selected << showLast;
    });
    log.hold({1, 2, 3});
    log.append("3a", false, 3);
    log.append("livre", false, 0);   // about no slot: at once
    log.append("outra 9", false, 9); // a slot not probed: at once
    log.append("2a", false, 2);
    log.append("3b", true, 3);
    log.hold({7}); // a probe nested in the first one's wait
    log.append("7a", false, 7);
    log.append("1a", false, 1);
    log.release(); // the inner one: still held
    EXPECT_EQ(emitted, QStringList({"livre", "outra 9"}));
    log.release();
    EXPECT_EQ(emitted, QStringList({"livre", "outra 9", "1a", "2a", "3a", "3b", "7a"}));
    EXPECT_EQ(selected, QList<bool>({false, false, false, false, false, true, false}));
    EXPECT_EQ(log.lines(), emitted);
    log.release(); // one release too many changes nothing
    log.append("3c", false, 3);
    EXPECT_EQ(emitted.last(), "3c");
}

} // namespace
