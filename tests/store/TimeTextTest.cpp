#include <QDateTime>
#include <gtest/gtest.h>

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

// Stamps between the store's form and the operator's: the exact stored form, a date alone, longer and
// broken texts, control bytes, non-ASCII digits; an empty or invalid time gives no text.
TEST(TimeText, StoredStampsAsTheOperatorReadsThem) {
    const struct {
        const char* stored;
        const char* shown;
    } cases[] = {
        {"2026-12-09 08:05:01", "09/12/2026 08:05:01"},
        {"2026-12-09 08:05:01.250", "09/12/2026 08:05:01"},
        {"2026-12-09", "09/12/2026"},
        {"2026-12-09 ", "2026-12-09 "},
        {"2026-02-30 08:05:01", "30/02/2026 08:05:01"}, // the stored form is rearranged, not judged
        {"2026-02-30 08:05:01.5", "2026-02-30 08:05:01.5"},
        {"2026-12-09\t08:05:01", "2026-12-09\t08:05:01"},
        {"09/12/2026 08:05:01", "09/12/2026 08:05:01"},
        {"", ""},
        {"texto", "texto"},
        {"2026-12-09 08:05", "2026-12-09 08:05"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TimeText::storedStampShown(QString::fromUtf8(c.stored)), QString::fromUtf8(c.shown)) << c.stored;
    // Arabic-Indic digits in the exact shape are not a stored stamp.
    const QString arabic = QString::fromUtf8("\u0662026-12-09 08:05:01");
    EXPECT_EQ(TimeText::storedStampShown(arabic), arabic);

    const QDateTime at(QDate(2026, 1, 2), QTime(3, 4, 5, 999));
    EXPECT_EQ(TimeText::stampShown(at), "02/01/2026 03:04:05");
    EXPECT_EQ(TimeText::stampStored(at), "2026-01-02 03:04:05");
    EXPECT_EQ(TimeText::dateShown(at.date()), "02/01/2026");
    EXPECT_EQ(TimeText::storedStampShown(TimeText::stampStored(at)), TimeText::stampShown(at));
    EXPECT_EQ(TimeText::stampShown(QDateTime()), "");
    EXPECT_EQ(TimeText::stampStored(QDateTime()), "");
    EXPECT_EQ(TimeText::dateShown(QDate()), "");
}
