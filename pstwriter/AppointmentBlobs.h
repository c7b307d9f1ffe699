// The binary forms an appointment keeps its recurrence and its time zone in:
// the recurrence pattern blob of a recurring series and the time-zone
// structure, written from their plain values.
#pragma once

#include "pstwriter/PstBytes.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace tolvane::pstwriter {

// Minutes from 1601-01-01 00:00 to midnight of the given day (the blob's dates).
uint32_t BlobMinutes(int year, int month, int day);

struct SeriesPattern {
    uint16_t frequency = 0x200B;    // 0x200A daily, 0x200B weekly, 0x200C monthly, 0x200D yearly
    uint16_t patternType = 0x0001;  // 0 day, 1 week, 2 month, 3 month n-th, 4 month end
    uint32_t period = 1;            // minutes (daily), weeks, months (12 per year)
    uint32_t dayMask = 0;           // weekly and n-th patterns: bit 0 Sunday ... bit 6 Saturday
    uint32_t nth = 0;               // n-th pattern: 1-4, 5 for the last
    uint32_t dayOfMonth = 0;        // month pattern
    uint32_t endType = 0x2023;      // 0x2021 by date, 0x2022 after count, 0x2023 never
    uint32_t occurrences = 10;
    uint32_t firstDayOfWeek = 1;    // Monday
    std::vector<uint32_t> deletedDates;   // BlobMinutes of each removed or changed occurrence
    std::vector<uint32_t> modifiedDates;  // BlobMinutes of each changed occurrence
    uint32_t startDate = 0;         // BlobMinutes of the first occurrence's day
    uint32_t endDate = 0x5AE980DF;  // "never" as stored
    uint32_t startMinute = 0;       // minutes after midnight, local
    uint32_t endMinute = 0;
};

// The bare recurrence pattern (what a recurring task keeps), and the
// appointment recurrence blob that follows it with times, without exception
// details.
Bytes RecurrencePatternBlob(const SeriesPattern& pattern);
Bytes RecurrenceBlob(const SeriesPattern& pattern);

struct ZoneTransition {
    uint16_t month = 0;
    uint16_t weekday = 0;  // 0 Sunday
    uint16_t week = 0;     // 1-4, 5 for the last
    uint16_t hour = 0;
};

// The time-zone structure: UTC = local + bias (+ the standard or daylight bias).
Bytes TimeZoneStruct(int32_t bias, int32_t standardBias, int32_t daylightBias, ZoneTransition toStandard,
                     ZoneTransition toDaylight);

// A stored time-zone definition naming its zone by the Windows key name,
// with one rule of the same fields as TimeZoneStruct.
Bytes TimeZoneDefinition(std::u16string_view keyName, int32_t bias, int32_t standardBias, int32_t daylightBias,
                         ZoneTransition toStandard, ZoneTransition toDaylight);

}  // namespace tolvane::pstwriter
