// FILETIME to the 21-character time text and to QDateTime.
#include "scan/TimeText.h"

#include <gtest/gtest.h>

using namespace tolvane;

namespace {

constexpr uint64_t kUnixEpoch = 116444736000000000ULL;
constexpr uint64_t kTicksPerSecond = 10000000ULL;

struct TimeCase {
    uint64_t filetime;
    const char* expected;
};

class TimeTextTable : public ::testing::TestWithParam<TimeCase> {};

TEST_P(TimeTextTable, Formats)
{
    const auto text = FiletimeToTimeText(GetParam().filetime);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, QString::fromLatin1(GetParam().expected));
    EXPECT_EQ(text->size(), 21);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TimeTextTable,
    ::testing::Values(TimeCase{0, "Jan 01, 1601 00:00:00"},
                      TimeCase{kUnixEpoch, "Jan 01, 1970 00:00:00"},
                      // 2000-02-29 23:59:59 (leap day of a century leap year)
                      TimeCase{kUnixEpoch + 951868799ULL * kTicksPerSecond, "Feb 29, 2000 23:59:59"},
                      // 2016-08-02 15:00:00 plus a fraction that must be cut, not rounded
                      TimeCase{kUnixEpoch + 1470150000ULL * kTicksPerSecond + 9999999ULL, "Aug 02, 2016 15:00:00"},
                      TimeCase{kUnixEpoch + 4102444800ULL * kTicksPerSecond, "Jan 01, 2100 00:00:00"},
                      TimeCase{265046774399ULL * kTicksPerSecond, "Dec 31, 9999 23:59:59"}));

TEST(TimeText, BeyondFourDigitYearsIsNotConvertible)
{
    EXPECT_FALSE(FiletimeToTimeText(265046774400ULL * kTicksPerSecond).has_value());
    EXPECT_FALSE(FiletimeToTimeText(UINT64_MAX).has_value());
}

TEST(TimeText, DateTimeIsUtcWithMilliseconds)
{
    const QDateTime time = FiletimeToDateTime(kUnixEpoch + 1470150000ULL * kTicksPerSecond + 1234567ULL);
    ASSERT_TRUE(time.isValid());
    EXPECT_EQ(time.timeSpec(), Qt::UTC);
    EXPECT_EQ(time.toString(Qt::ISODateWithMs), QStringLiteral("2016-08-02T15:00:00.123Z"));
    EXPECT_FALSE(FiletimeToDateTime(UINT64_MAX).isValid());
}

}  // namespace
