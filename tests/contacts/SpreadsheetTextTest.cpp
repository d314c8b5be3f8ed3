#include "contacts/SpreadsheetText.h"

#include <gtest/gtest.h>

namespace {

TEST(SpreadsheetTextTest, NumbersShowAsTheOperatorTypedThem) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {11987654321.0, "11987654321"}, // a phone typed as a number: its digits, no exponent, no ",0"
        {5511987654321.0, "5511987654321"},
        {0, "0"},
        {-0.0, "0"},
        {-42, "-42"},
        {1234.5, "1234,5"},
        {0.1 + 0.2, "0,3"}, // 15 significant digits, as the spreadsheet shows
        {-0.25, "-0,25"},
        {1e20, "1E20"},
        {1.5e-7, "1,5E-7"},
        {999999999999999.0, "999999999999999"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SpreadsheetText::number(c.value), QString::fromUtf8(c.text)) << c.value;
    }
}

TEST(SpreadsheetTextTest, DateSerialsShowAsDayMonthYear) {
    const struct {
        double serial;
        bool date1904;
        const char* text;
    } cases[] = {
        {45356, false, "05/03/2024"},
        {36525.5729166667, false, "31/12/1999 13:45:00"},
        {1, false, "01/01/1900"},
        {59, false, "28/02/1900"},
        {60, false, "29/02/1900"}, // the day Excel's 1900 calendar invents
        {61, false, "01/03/1900"},
        {0.5, false, "12:00:00"},
        {0.99999999, false, "01/01/1900"}, // rounds up to the next midnight
        {43893, true, "04/03/2024"},       // the 1904 calendar counts 1462 days fewer
        {-1, false, "-1"},                 // no date: shown as the number
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SpreadsheetText::dateTime(c.serial, c.date1904), QString::fromUtf8(c.text)) << c.serial;
    }
}

TEST(SpreadsheetTextTest, DateFormatsAreToldFromNumberFormats) {
    const struct {
        const char* code;
        bool date;
    } cases[] = {
        {"dd/mm/yyyy", true},
        {"[$-416]d\\-mmm\\-yy;@", true},
        {"hh:mm:ss", true},
        {"[h]:mm", true},
        {"mm/dd/yy", true},
        {"General", false},
        {"0.00", false},
        {"#,##0", false},
        {"[Red]0;[Blue]-0", false},
        {"\"dias \"0", false},
        {"0\" m\"", false},
        {"0_)", false},
        {"\"TRUE\";\"TRUE\";\"FALSE\"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SpreadsheetText::isDateFormat(QString::fromUtf8(c.code)), c.date) << c.code;
    }
    for (int id : {14, 15, 16, 17, 18, 19, 20, 21, 22, 45, 46, 47}) {
        EXPECT_TRUE(SpreadsheetText::isBuiltInDateFormat(id)) << id;
    }
    for (int id : {0, 1, 2, 3, 4, 9, 10, 11, 12, 13, 37, 49}) {
        EXPECT_FALSE(SpreadsheetText::isBuiltInDateFormat(id)) << id;
    }
}

} // namespace
