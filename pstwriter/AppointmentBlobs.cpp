// Recurrence blobs and time-zone structures in their stored byte form.
#include "pstwriter/AppointmentBlobs.h"

#include <chrono>

namespace tolvane::pstwriter {

uint32_t BlobMinutes(int year, int month, int day)
{
    using namespace std::chrono;
    const sys_days from{std::chrono::year{1601} / January / 1};
    const sys_days to{std::chrono::year{year} / std::chrono::month(unsigned(month)) / std::chrono::day(unsigned(day))};
    return uint32_t((to - from).count() * 24 * 60);
}

Bytes RecurrencePatternBlob(const SeriesPattern& pattern)
{
    Bytes out;
    PutU16(out, 0x3004);  // reader version
    PutU16(out, 0x3004);  // writer version
    PutU16(out, pattern.frequency);
    PutU16(out, pattern.patternType);
    PutU16(out, 0);       // Gregorian
    PutU32(out, 0);       // first date and time
    PutU32(out, pattern.period);
    PutU32(out, 0);       // sliding
    switch (pattern.patternType) {
    case 0x0001:
        PutU32(out, pattern.dayMask);
        break;
    case 0x0002:
    case 0x0004:
        PutU32(out, pattern.dayOfMonth);
        break;
    case 0x0003:
        PutU32(out, pattern.dayMask);
        PutU32(out, pattern.nth);
        break;
    default:
        break;
    }
    PutU32(out, pattern.endType);
    PutU32(out, pattern.occurrences);
    PutU32(out, pattern.firstDayOfWeek);
    PutU32(out, uint32_t(pattern.deletedDates.size()));
    for (uint32_t date : pattern.deletedDates)
        PutU32(out, date);
    PutU32(out, uint32_t(pattern.modifiedDates.size()));
    for (uint32_t date : pattern.modifiedDates)
        PutU32(out, date);
    PutU32(out, pattern.startDate);
    PutU32(out, pattern.endDate);
    return out;
}

Bytes RecurrenceBlob(const SeriesPattern& pattern)
{
    Bytes out = RecurrencePatternBlob(pattern);
    PutU32(out, 0x3006);  // reader version 2
    PutU32(out, 0x3009);  // writer version 2
    PutU32(out, pattern.startMinute);
    PutU32(out, pattern.endMinute);
    PutU16(out, 0);       // no exception details
    PutU32(out, 0);       // reserved block 1
    PutU32(out, 0);       // reserved block 2
    return out;
}

Bytes TimeZoneStruct(int32_t bias, int32_t standardBias, int32_t daylightBias, ZoneTransition toStandard,
                     ZoneTransition toDaylight)
{
    Bytes out;
    PutU32(out, uint32_t(bias));
    PutU32(out, uint32_t(standardBias));
    PutU32(out, uint32_t(daylightBias));
    for (const ZoneTransition& change : {toStandard, toDaylight}) {
        PutU16(out, 0);  // year
        PutU16(out, 0);  // SYSTEMTIME: year, month, day of week, day, hour, minute, second, milliseconds
        PutU16(out, change.month);
        PutU16(out, change.weekday);
        PutU16(out, change.week);
        PutU16(out, change.hour);
        PutU16(out, 0);
        PutU16(out, 0);
        PutU16(out, 0);
    }
    return out;
}

Bytes TimeZoneDefinition(std::u16string_view keyName, int32_t bias, int32_t standardBias, int32_t daylightBias,
                         ZoneTransition toStandard, ZoneTransition toDaylight)
{
    constexpr uint16_t kValidKeyName = 0x0002;
    Bytes out;
    out.push_back(0x02);  // major version
    out.push_back(0x01);  // minor version
    PutU16(out, uint16_t(2 + 2 + 2 * keyName.size() + 2));  // flags, key name and rule count follow
    PutU16(out, kValidKeyName);
    PutU16(out, uint16_t(keyName.size()));
    for (const char16_t unit : keyName)
        PutU16(out, uint16_t(unit));
    PutU16(out, 1);       // one rule
    out.push_back(0x02);  // the rule's versions
    out.push_back(0x01);
    PutU16(out, 62);      // its size after this field
    PutU16(out, 0x0002);  // the rule in effect
    for (int i = 0; i < 8; ++i)
        PutU16(out, 0);   // in effect since: SYSTEMTIME of zeros
    const Bytes rule = TimeZoneStruct(bias, standardBias, daylightBias, toStandard, toDaylight);
    out.insert(out.end(), rule.begin(), rule.end());
    return out;
}

}  // namespace tolvane::pstwriter
