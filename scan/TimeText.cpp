// Calendar arithmetic for FILETIME values, done here so the text never depends
// on the local time zone or locale.
#include "scan/TimeText.h"

#include <array>
#include <cstdio>

namespace tolvane {

namespace {

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kSecondsPerDay = 86'400;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kDaysFrom1601To1970 = 134'774;
// 9999-12-31 23:59:59 as FILETIME seconds: the last instant a four-digit year can show.
constexpr uint64_t kLastSecond = 265'046'774'399ULL;

struct CivilDate {
    int64_t year;
    unsigned month;  // 1..12
    unsigned day;    // 1..31
};

// Proleptic Gregorian date of a day count relative to 1970-01-01.
CivilDate CivilFromDays(int64_t days)
{
    days += 719'468;
    const int64_t era = (days >= 0 ? days : days - 146'096) / 146'097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146'097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const unsigned month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const int64_t year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

}  // namespace

std::optional<QString> FiletimeToTimeText(uint64_t filetime)
{
    static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const uint64_t seconds = filetime / kTicksPerSecond;
    if (seconds > kLastSecond)
        return std::nullopt;
    const auto days = static_cast<int64_t>(seconds / kSecondsPerDay);
    const auto secondOfDay = static_cast<unsigned>(seconds % kSecondsPerDay);
    const CivilDate date = CivilFromDays(days - kDaysFrom1601To1970);
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "%s %02u, %04lld %02u:%02u:%02u", kMonths[date.month - 1], date.day,
                  static_cast<long long>(date.year), secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60);
    return QString::fromLatin1(buffer);
}

QDateTime FiletimeToDateTime(uint64_t filetime)
{
    if (filetime / kTicksPerSecond > kLastSecond)
        return QDateTime();
    const auto milliseconds = static_cast<qint64>(filetime / 10'000);
    const qint64 unixMilliseconds = milliseconds - kDaysFrom1601To1970 * kSecondsPerDay * 1000;
    return QDateTime::fromMSecsSinceEpoch(unixMilliseconds, Qt::UTC);
}

uint64_t DateTimeToFiletime(const QDateTime& time)
{
    const qint64 unixMilliseconds = time.toMSecsSinceEpoch();
    return static_cast<uint64_t>(unixMilliseconds + kDaysFrom1601To1970 * kSecondsPerDay * 1000) * 10'000;
}

}  // namespace tolvane
