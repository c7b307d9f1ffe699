// Recurrence blobs whose fields lie outside what a series can hold, and
// valid ones at the edges of the ranges. An out-of-range field must give no
// rule (a rule built from it would describe another series, or one without
// end) and a reason naming the field; a field at its limit must still read.
#include "convert/read/AppointmentRecurrence.h"
#include "pstwriter/AppointmentBlobs.h"

#include <gtest/gtest.h>

#include <functional>

namespace tolvane {
namespace {

using pstwriter::BlobMinutes;
using pstwriter::RecurrenceBlob;
using pstwriter::SeriesPattern;
using R = AppointmentRecurrence;

QByteArray Blob(const SeriesPattern& pattern)
{
    const pstwriter::Bytes bytes = RecurrenceBlob(pattern);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// Weekly on Mondays from 2 March 2026, 09:00 for an hour, without end.
SeriesPattern Weekly()
{
    SeriesPattern pattern;
    pattern.dayMask = 1u << 1;
    pattern.startDate = BlobMinutes(2026, 3, 2);
    pattern.startMinute = 9 * 60;
    pattern.endMinute = 10 * 60;
    return pattern;
}

SeriesPattern Daily(uint32_t period)
{
    SeriesPattern pattern = Weekly();
    pattern.frequency = 0x200A;
    pattern.patternType = 0x0000;
    pattern.dayMask = 0;
    pattern.period = period;
    return pattern;
}

SeriesPattern MonthlyOnDay(uint32_t day, uint32_t period = 1)
{
    SeriesPattern pattern = Weekly();
    pattern.frequency = 0x200C;
    pattern.patternType = 0x0002;
    pattern.dayMask = 0;
    pattern.dayOfMonth = day;
    pattern.period = period;
    return pattern;
}

SeriesPattern With(SeriesPattern pattern, const std::function<void(SeriesPattern&)>& change)
{
    change(pattern);
    return pattern;
}

struct InvalidCase {
    const char* name;
    SeriesPattern pattern;
    const char* field;  // what the reason must name
};

const InvalidCase kInvalid[] = {
    {"WeeklyPeriodZero", With(Weekly(), [](SeriesPattern& p) { p.period = 0; }), "period"},
    {"WeeklyPeriodPastTheLargestInterval", With(Weekly(), [](SeriesPattern& p) { p.period = 1000; }), "period"},
    {"WeeklyPeriodNegative", With(Weekly(), [](SeriesPattern& p) { p.period = 0xFFFFFFFF; }), "period"},
    {"DailyPeriodZero", Daily(0), "period"},
    {"DailyPeriodOfPartOfADay", Daily(90), "period"},
    {"DailyIntervalPastTheLargest", Daily(1000 * 24 * 60), "period"},
    {"DailyPeriodNegative", Daily(0xFFFFFFFF), "period"},
    {"MonthlyIntervalPastTheLargest", MonthlyOnDay(5, 1000), "period"},
    {"YearlyIntervalPastTheLargest",
     With(MonthlyOnDay(5), [](SeriesPattern& p) { p.frequency = 0x200D; p.period = 12 * 1000; }), "period"},
    {"YearlyPeriodOfPartOfAYear",
     With(MonthlyOnDay(5), [](SeriesPattern& p) { p.frequency = 0x200D; p.period = 18; }), "period"},
    {"DayOfMonth1000", MonthlyOnDay(1000), "day of the month"},
    {"DayOfMonthZero", MonthlyOnDay(0), "day of the month"},
    {"EndDateInTheYear9767",
     With(Weekly(), [](SeriesPattern& p) { p.endType = 0x2021; p.endDate = 0xFFFFFFFF; }), "last day"},
    {"EndDateBeforeTheStart",
     With(Weekly(), [](SeriesPattern& p) { p.endType = 0x2021; p.endDate = BlobMinutes(2026, 3, 1); }), "last day"},
    {"StartPast4501", With(Weekly(), [](SeriesPattern& p) { p.startDate = 0xFFFF0000; }), "first day"},
    {"CountZero", With(Weekly(), [](SeriesPattern& p) { p.endType = 0x2022; p.occurrences = 0; }), "count"},
    {"CountOf2To31", With(Weekly(), [](SeriesPattern& p) { p.endType = 0x2022; p.occurrences = 0x80000000; }),
     "count"},
    {"CountAllOnes", With(Weekly(), [](SeriesPattern& p) { p.endType = 0x2022; p.occurrences = 0xFFFFFFFF; }),
     "count"},
    {"UnknownEndType", With(Weekly(), [](SeriesPattern& p) { p.endType = 0x2024; }), "end kind"},
    {"WeekdayMaskWithAnEighthDay", With(Weekly(), [](SeriesPattern& p) { p.dayMask = 0x80 | 0x02; }), "weekdays"},
    {"WeeklyWithoutWeekdays", With(Weekly(), [](SeriesPattern& p) { p.dayMask = 0; }), "weekdays"},
    {"NthWeekdayWithoutWeekdays",
     With(Weekly(), [](SeriesPattern& p) { p.frequency = 0x200C; p.patternType = 0x0003; p.dayMask = 0; p.nth = 2; }),
     "weekdays"},
    {"NthWeekOfSix",
     With(Weekly(), [](SeriesPattern& p) { p.frequency = 0x200C; p.patternType = 0x0003; p.nth = 6; }),
     "week of the month"},
    {"FirstDayOfWeekSeven", With(Weekly(), [](SeriesPattern& p) { p.firstDayOfWeek = 7; }), "first day of the week"},
    {"StartMinuteOfTheNextDay", With(Weekly(), [](SeriesPattern& p) { p.startMinute = 24 * 60; p.endMinute = 24 * 60 + 30; }),
     "minutes"},
    {"EndBeforeStartMinute", With(Weekly(), [](SeriesPattern& p) { p.endMinute = 8 * 60; }), "minutes"},
};

void PrintTo(const InvalidCase& row, std::ostream* out)
{
    *out << row.name;
}

class InvalidRecurrenceTest : public ::testing::TestWithParam<InvalidCase> {};

TEST_P(InvalidRecurrenceTest, GivesNoRuleAndNamesTheField)
{
    QString invalid;
    const auto rule = ParseAppointmentRecurrence(Blob(GetParam().pattern), &invalid);
    EXPECT_FALSE(rule.has_value());
    EXPECT_TRUE(invalid.contains(QLatin1String(GetParam().field))) << "reason: " << invalid.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Fields, InvalidRecurrenceTest, ::testing::ValuesIn(kInvalid),
                         [](const auto& info) { return std::string(info.param.name); });

struct ValidCase {
    const char* name;
    SeriesPattern pattern;
    R::Frequency frequency;
    int interval;
    R::End end;
    int count;     // AfterCount
    QDate until;   // ByDate
};

const ValidCase kValid[] = {
    {"WeeklyOnce", Weekly(), R::Frequency::Weekly, 1, R::End::Never, 0, {}},
    {"WeeklyLargestInterval", With(Weekly(), [](SeriesPattern& p) { p.period = 999; }), R::Frequency::Weekly, 999,
     R::End::Never, 0, {}},
    {"DailyLargestInterval", Daily(999 * 24 * 60), R::Frequency::Daily, 999, R::End::Never, 0, {}},
    {"EveryWeekday",
     With(Daily(0), [](SeriesPattern& p) { p.patternType = 0x0001; p.dayMask = 0x3E; }), R::Frequency::Weekly, 1,
     R::End::Never, 0, {}},
    {"MonthlyOnThe31st", MonthlyOnDay(31), R::Frequency::Monthly, 1, R::End::Never, 0, {}},
    {"YearlyEveryOtherYear", With(MonthlyOnDay(2), [](SeriesPattern& p) { p.frequency = 0x200D; p.period = 24; }),
     R::Frequency::Yearly, 2, R::End::Never, 0, {}},
    {"LargestCount", With(Weekly(), [](SeriesPattern& p) { p.endType = 0x2022; p.occurrences = 0x7FFFFFFF; }),
     R::Frequency::Weekly, 1, R::End::AfterCount, 0x7FFFFFFF, {}},
    {"OneOccurrence", With(Weekly(), [](SeriesPattern& p) { p.endType = 0x2022; p.occurrences = 1; }),
     R::Frequency::Weekly, 1, R::End::AfterCount, 1, {}},
    {"EndingOnTheLatestDay",
     With(Weekly(), [](SeriesPattern& p) { p.endType = 0x2021; p.endDate = BlobMinutes(4501, 12, 31); }),
     R::Frequency::Weekly, 1, R::End::ByDate, 0, QDate(4501, 12, 31)},
    {"EndingOnItsFirstDay",
     With(Weekly(), [](SeriesPattern& p) { p.endType = 0x2021; p.endDate = BlobMinutes(2026, 3, 2); }),
     R::Frequency::Weekly, 1, R::End::ByDate, 0, QDate(2026, 3, 2)},
};

void PrintTo(const ValidCase& row, std::ostream* out)
{
    *out << row.name;
}

class ValidRecurrenceTest : public ::testing::TestWithParam<ValidCase> {};

TEST_P(ValidRecurrenceTest, GivesTheRule)
{
    const ValidCase& row = GetParam();
    QString invalid;
    const auto rule = ParseAppointmentRecurrence(Blob(row.pattern), &invalid);
    ASSERT_TRUE(rule.has_value()) << invalid.toStdString();
    EXPECT_TRUE(invalid.isEmpty()) << invalid.toStdString();
    EXPECT_EQ(rule->frequency, row.frequency);
    EXPECT_EQ(rule->interval, row.interval);
    EXPECT_EQ(rule->end, row.end);
    if (row.end == R::End::AfterCount)
        EXPECT_EQ(rule->count, row.count);
    if (row.end == R::End::ByDate)
        EXPECT_EQ(rule->until, row.until);
    EXPECT_EQ(rule->start, QDateTime(QDate(2026, 3, 2), QTime(9, 0)));
    EXPECT_EQ(rule->durationMinutes, 60);
}

INSTANTIATE_TEST_SUITE_P(Edges, ValidRecurrenceTest, ::testing::ValuesIn(kValid),
                         [](const auto& info) { return std::string(info.param.name); });

// A blob that is no pattern this reads is not a field out of range: no rule,
// and no reason to carry into the calendar.
TEST(UnreadableRecurrenceTest, ATruncatedBlobGivesNoRuleAndNoReason)
{
    const QByteArray whole = Blob(Weekly());
    for (const qsizetype length : {qsizetype(0), qsizetype(10), whole.size() / 2, whole.size() - 20}) {
        QString invalid;
        EXPECT_FALSE(ParseAppointmentRecurrence(whole.left(length), &invalid).has_value()) << length;
        EXPECT_TRUE(invalid.isEmpty()) << length << ": " << invalid.toStdString();
    }
}

}  // namespace
}  // namespace tolvane
