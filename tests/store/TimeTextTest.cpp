#include <QDateTime>
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "MissingPeer.h"
#include "store/TimeText.h"

// The stored time's own form survives an edit; unreadable or empty texts take "HH:mm".
TEST(TimeText, KeepsTheStoredForm) {
    const struct {
        const char* stored;
        const char* written; // 18:15:07.250 written over `stored`
        const char* read;    // what `stored` reads as
    } cases[] = {
        {"08:00", "18:15", "08:00:00"},
        {"8:00", "18:15", "08:00:00"},
        {" 08:00", " 18:15", "08:00:00"},
        {"08:00:30", "18:15:07", "08:00:30"},
        {"08:00:30.5", "18:15:07.2", "08:00:30"},
        {"1899-12-30 08:00:00", "1899-12-30 18:15:07", "08:00:00"},
        {"2026-12-09T08:00:00", "2026-12-09T18:15:07", "08:00:00"},
        {"", "18:15", ""},
        {"abc", "18:15", ""},
        {"25:00", "18:15", ""},
        {"08:61", "18:15", ""},
    };
    const QTime t(18, 15, 7, 250);
    for (const auto& c : cases) {
        EXPECT_EQ(TimeText::inFormOf(QString::fromLatin1(c.stored), t), QString::fromLatin1(c.written)) << c.stored;
        EXPECT_EQ(TimeText::read(QString::fromLatin1(c.stored)).toString("HH:mm:ss"), QString::fromLatin1(c.read))
            << c.stored;
    }
}

// Typing into the time box, key by key; a key that cannot stand there is refused.
TEST(TimeText, TypedKeys) {
    const struct {
        const char* before;
        char16_t key;
        const char* after; // nullptr: refused
    } cases[] = {
        {"", u'1', "1"},       {"1", u'8', "18"},        {"18", u':', "18"},    {"18", u'1', "181"},
        {"181", u'5', "1815"}, {"1815", u'0', "0"},      {"", u'8', "08"},      {"1", u':', "01"},
        {"", u':', nullptr},   {"2", u'4', nullptr},     {"18", u'6', nullptr}, {"181", u':', nullptr},
        {"", u'a', nullptr},   {"", u'\x0663', nullptr}, {"23", u'5', "235"},   {"235", u'9', "2359"},
    };
    for (const auto& c : cases) {
        const std::optional<QString> got = TimeText::typed(QString::fromLatin1(c.before), QChar(c.key));
        if (!c.after)
            EXPECT_FALSE(got.has_value()) << c.before << " + " << int(c.key);
        else
            EXPECT_EQ(got.value_or("refused"), QString::fromLatin1(c.after)) << c.before << " + " << int(c.key);
    }
    EXPECT_EQ(TimeText::ofDigits("1"), QTime(1, 0));
    EXPECT_EQ(TimeText::ofDigits("181"), QTime(18, 1));
    EXPECT_EQ(TimeText::ofDigits("1815"), QTime(18, 15));
}

// Stored stamps as the operator reads them, and which texts are a stamp at all: the exact stored form (even
// an impossible date: a report rearranges a million without judging them), longer texts cut after the
// seconds when that much is a real stamp, a date alone, broken texts, control bytes, non-ASCII digits.
TEST(TimeText, StoredStampsAsTheOperatorReadsThem) {
    const struct {
        const char* stored;
        const char* shown;
        bool stamp; // isStoredStamp
    } cases[] = {
        {"2026-12-09 08:05:01", "09/12/2026 08:05:01", true},
        {"2026-12-09 00:00:00", "09/12/2026 00:00:00", true},
        {"2028-02-29 23:59:59", "29/02/2028 23:59:59", true},
        {"0999-01-02 03:04:05", "02/01/0999 03:04:05", true},
        {"2026-12-09 08:05:01.250", "09/12/2026 08:05:01", false},
        {"2026-12-09 08:05:01\n", "09/12/2026 08:05:01", false},
        {"2026-12-09", "09/12/2026", false},
        {"2026-12-09 ", "2026-12-09 ", false},
        {"2026-02-30 08:05:01", "30/02/2026 08:05:01", false},
        {"2027-02-29 08:05:01", "29/02/2027 08:05:01", false},
        {"2026-12-09 24:00:00", "09/12/2026 24:00:00", false},
        {"2026-02-30 08:05:01.5", "2026-02-30 08:05:01.5", false},
        {"2026-12-09 24:00:00.5", "2026-12-09 24:00:00.5", false},
        {"2026-12-09\t08:05:01", "2026-12-09\t08:05:01", false},
        {" 2026-12-09 08:05:01", " 2026-12-09 08:05:01", false},
        {"09/12/2026 08:05:01", "09/12/2026 08:05:01", false},
        {"10000-01-02 03:04:05", "10000-01-02 03:04:05", false},
        {"", "", false},
        {"texto", "texto", false},
        {"2026-12-09 08:05", "2026-12-09 08:05", false},
        {"\u0662026-12-09 08:05:01", "\u0662026-12-09 08:05:01", false},
    };
    for (const auto& c : cases) {
        const QString stored = QString::fromUtf8(c.stored);
        EXPECT_EQ(TimeText::storedStampShown(stored), QString::fromUtf8(c.shown)) << c.stored;
        EXPECT_EQ(TimeText::isStoredStamp(stored), c.stamp) << c.stored;
    }
    const QString nul = QStringLiteral("2026-12-09 08:05:0") + QChar(0);
    EXPECT_FALSE(TimeText::isStoredStamp(nul));
    EXPECT_EQ(TimeText::storedStampShown(nul), nul);
}

// A stamp written and read back: cut to the second (never rounded into the next day), midnight as 00, a leap
// day, years below 1000 padded; a year past 9999 and an invalid time write texts that do not read back.
TEST(TimeText, StampsWrittenAndReadBack) {
    const struct {
        QDateTime at;
        const char* shown;
        const char* stored;
        bool readsBack;
    } cases[] = {
        {QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)), "02/01/2026 03:04:05", "2026-01-02 03:04:05", true},
        {QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 999)), "31/12/2026 23:59:59", "2026-12-31 23:59:59", true},
        {QDateTime(QDate(2027, 1, 1), QTime(0, 0)), "01/01/2027 00:00:00", "2027-01-01 00:00:00", true},
        {QDateTime(QDate(2028, 2, 29), QTime(12, 0)), "29/02/2028 12:00:00", "2028-02-29 12:00:00", true},
        {QDateTime(QDate(999, 1, 2), QTime(3, 4, 5)), "02/01/0999 03:04:05", "0999-01-02 03:04:05", true},
        {QDateTime(QDate(10000, 1, 2), QTime(3, 4, 5)), "02/01/10000 03:04:05", "10000-01-02 03:04:05", false},
        {QDateTime(), "", "", false},
    };
    for (const auto& c : cases) {
        const QString shown = TimeText::stampShown(c.at);
        const QString stored = TimeText::stampStored(c.at);
        EXPECT_EQ(shown, QString::fromLatin1(c.shown));
        EXPECT_EQ(stored, QString::fromLatin1(c.stored));
        EXPECT_EQ(TimeText::dateShown(c.at.date()), shown.left(shown.indexOf(u' ')));
        const QDateTime second = c.at.addMSecs(-c.at.time().msec());
        EXPECT_EQ(TimeText::stampFromStored(stored), c.readsBack ? second : QDateTime()) << c.stored;
        EXPECT_EQ(TimeText::stampFromShown(shown), c.readsBack ? second : QDateTime()) << c.shown;
        if (c.readsBack) {
            EXPECT_EQ(TimeText::storedStampShown(stored), shown);
        }
    }
}

// Texts that are not exactly the form read as no time: empty, garbage, spaces or bytes around it, the
// other form, an impossible date or hour.
TEST(TimeText, BrokenStampsReadAsNoTime) {
    for (const char* text :
         {"", "garbage", " 2026-12-09 08:05:01", "2026-12-09 08:05:01 ", "2026-12-09 08:05:01x", "2026-12-09 08:05",
          "2026-12-09", "09/12/2026 08:05:01", "2026-02-30 08:05:01", "2026-12-09 24:00:00", "2026-12-09 8:05:01"})
        EXPECT_FALSE(TimeText::stampFromStored(QString::fromLatin1(text)).isValid()) << text;
    for (const char* text : {"", "09/12/2026 08:05:01\r", "2026-12-09 08:05:01", "30/02/2026 08:05:01",
                             "9/12/2026 08:05:01", "09/12/26 08:05:01"})
        EXPECT_FALSE(TimeText::stampFromShown(QString::fromLatin1(text)).isValid()) << text;
    EXPECT_FALSE(TimeText::stampFromStored(QStringLiteral("2026-12-09 08:05:01") + QChar(0)).isValid());
}

namespace {
// The process's local zone set to `zone` while it lives.
class LocalZone {
public:
    explicit LocalZone(const char* zone) : m_had(qEnvironmentVariableIsSet("TZ")), m_old(qgetenv("TZ")) {
        qputenv("TZ", zone);
        tzset();
    }
    ~LocalZone() {
        if (m_had)
            qputenv("TZ", m_old);
        else
            qunsetenv("TZ");
        tzset();
    }
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;

private:
    bool m_had;
    QByteArray m_old;
};
} // namespace

// São Paulo skipped 00:00-00:59 on 4 November 2018. A stamp stored in that hour (by an older file, another
// program, or a clock that moved) is still shown as the text says; only reading it as a local time fails.
TEST(TimeText, HourSkippedByDaylightSaving) {
    LocalZone zone("America/Sao_Paulo");
    if (QDateTime(QDate(2018, 11, 4), QTime(0, 30)).isValid())
        VESTRAL_SKIP_MISSING_PEER("no zone data for America/Sao_Paulo (tzdata)");
    EXPECT_TRUE(TimeText::isStoredStamp(QStringLiteral("2018-11-04 00:30:00")));
    EXPECT_EQ(TimeText::storedStampShown(QStringLiteral("2018-11-04 00:30:00")), "04/11/2018 00:30:00");
    EXPECT_EQ(TimeText::storedStampShown(QStringLiteral("2018-11-04 00:30:00.5")), "04/11/2018 00:30:00");
    EXPECT_FALSE(TimeText::stampFromStored(QStringLiteral("2018-11-04 00:30:00")).isValid());
    EXPECT_EQ(TimeText::stampFromStored(QStringLiteral("2018-11-04 01:30:00")),
              QDateTime(QDate(2018, 11, 4), QTime(1, 30)));
}

// The cheap local clock of the log lines reads as the local time in zones west and east of UTC, on a half hour
// and on a quarter hour: same offset, same shown stamp (up to the second the two calls straddle). Each zone in a
// thread of its own, whose cached offset starts empty.
TEST(TimeText, LocalNowReadsAsTheLocalTime) {
    for (const char* name : {"UTC", "America/Sao_Paulo", "Asia/Kolkata", "Asia/Kathmandu", "Pacific/Chatham"}) {
        SCOPED_TRACE(name);
        LocalZone zone(name);
        QDateTime fast, local;
        std::thread([&] {
            local = QDateTime::currentDateTime();
            fast = TimeText::localNow();
        }).join();
        EXPECT_EQ(fast.offsetFromUtc(), local.offsetFromUtc());
        EXPECT_LE(local.secsTo(fast), 1);
        EXPECT_GE(local.secsTo(fast), 0);
        if (local.secsTo(fast) == 0) {
            EXPECT_EQ(TimeText::stampShown(fast), TimeText::stampShown(local));
        }
    }
}

// Within a thread the offset is looked up again when the second changes: a zone changed under a running program
// shows in its stamps a second later at the latest.
TEST(TimeText, LocalNowFollowsAZoneChangeWithinASecond) {
    std::thread([] {
        QDateTime before, after;
        {
            LocalZone zone("Asia/Kolkata");
            if (QDateTime::currentDateTime().offsetFromUtc() != 5 * 3600 + 1800)
                VESTRAL_SKIP_MISSING_PEER("no zone data for Asia/Kolkata (tzdata)");
            before = TimeText::localNow();
        }
        LocalZone zone("America/Sao_Paulo");
        // Past the next second boundary (a bound far above the wait itself).
        const QDateTime until = QDateTime::currentDateTimeUtc().addMSecs(1100);
        while (QDateTime::currentDateTimeUtc() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        after = TimeText::localNow();
        EXPECT_EQ(before.offsetFromUtc(), 5 * 3600 + 1800);
        EXPECT_EQ(after.offsetFromUtc(), QDateTime::currentDateTime().offsetFromUtc());
        EXPECT_NE(after.offsetFromUtc(), before.offsetFromUtc());
    }).join();
}
