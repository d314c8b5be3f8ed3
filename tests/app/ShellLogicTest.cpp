#include <QDate>
#include <gtest/gtest.h>

#include "app/RegionalFormats.h"
#include "app/VersionInfo.h"
#include "app/WheelTranslator.h"
#include "widgets/RecordNavigator.h"

namespace {

struct VersionCase {
    int major, minor, release, build;
    const char* expected;
};

class VersionString : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionString, FollowsTheDigitRule) {
    const VersionCase& c = GetParam();
    EXPECT_EQ(VersionInfo::versionString(c.major, c.minor, c.release, c.build).toStdString(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, VersionString,
                         ::testing::Values(VersionCase{2, 0, 1, 23, "2.0.1.23"},
                                           VersionCase{1, 12, 3, 4567, "1.2.3.456"}, VersionCase{3, 0, 0, 7, "3.0.0.7"},
                                           VersionCase{10, 2, 899, 0, "0.2.9.0"},
                                           VersionCase{900, 0, 0, 65535, "00.0.0.655"}));

TEST(RegionalFormats, NamesAndFormatsArePortugueseWhateverTheSystem) {
    RegionalFormats::install();
    // Qt numbers days from Monday = 1; the operator's lists start on Sunday.
    EXPECT_EQ(RegionalFormats::shortDayName(7), "Dom");
    EXPECT_EQ(RegionalFormats::shortDayName(6), "Sab");
    EXPECT_EQ(RegionalFormats::longDayName(3), "Quarta");
    EXPECT_EQ(RegionalFormats::longDayName(6), "Sábado");
    EXPECT_EQ(RegionalFormats::shortMonthName(2), "Fev");
    EXPECT_EQ(RegionalFormats::longMonthName(3), "Março");
    EXPECT_EQ(RegionalFormats::formatDate(QDate(2026, 3, 7)), "07/03/2026");
    EXPECT_EQ(RegionalFormats::parseDate("07/03/2026"), QDate(2026, 3, 7));
    EXPECT_FALSE(RegionalFormats::parseDate("2026-03-07").isValid());
    EXPECT_EQ(RegionalFormats::formatNumber(1234567.5, 2), "1.234.567,50");
    EXPECT_EQ(RegionalFormats::formatDateTime(QDateTime(QDate(2026, 12, 9), QTime(7, 5, 3))), "09/12/2026 07:05:03");
    EXPECT_EQ(RegionalFormats::firstOfMonth(QDate(2026, 12, 9)), QDate(2026, 12, 1));
    EXPECT_EQ(QLocale().toString(2.5, 'f', 1), "2,5");
}

TEST(WheelTranslator, OneNotchOneArrowKey) {
    struct Step {
        int delta;
        QList<int> keys;
    };
    const Step steps[] = {
        {120, {Qt::Key_Up}},
        {-120, {Qt::Key_Down}},
        {0, {Qt::Key_Down}},
        {240, {Qt::Key_Up, Qt::Key_Up}},
        {60, {}}, // half a notch on a touchpad: wait for the other half
        {60, {Qt::Key_Up}},
        {60, {}},
        {-120, {Qt::Key_Down}}, // a turn the other way drops what was pending
    };
    WheelTranslator t;
    for (const Step& s : steps)
        EXPECT_EQ(t.translate(s.delta), s.keys) << "delta " << s.delta;
}

TEST(RecordNavigator, CaptionsByPosition) {
    RecordNavigator nav;
    const char* expected[] = {"Primeiro", "Anterior", "Próximo", "Último",   "Novo",
                              "Excluir",  "Editar",   "Salvar",  "Cancelar", "Atualizar"};
    for (int i = 0; i < RecordNavigator::ButtonCount; ++i) {
        EXPECT_EQ(nav.button(RecordNavigator::Button(i))->text(), QString::fromUtf8(expected[i]));
        EXPECT_EQ(nav.button(RecordNavigator::Button(i))->toolTip(), QString::fromUtf8(expected[i]));
    }
    nav.setCaptionsOnly(true);
    EXPECT_TRUE(nav.button(RecordNavigator::Post)->icon().isNull());
}

} // namespace
