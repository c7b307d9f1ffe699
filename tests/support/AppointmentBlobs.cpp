// Recurrence blobs and time-zone structures in their stored byte form.
#include "tests/support/AppointmentBlobs.h"

#include <chrono>

namespace tolvane::pstwriter {

namespace {

void Put16(Bytes& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put32(Bytes& out, uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(uint8_t(v >> shift));
}

}  // namespace

uint32_t BlobMinutes(int year, int month, int day)
{
    using namespace std::chrono;
    const sys_days from{std::chrono::year{1601} / January / 1};
    const sys_days to{std::chrono::year{year} / std::chrono::month(unsigned(month)) / std::chrono::day(unsigned(day))};
    return uint32_t((to - from).count() * 24 * 60);
}

Bytes RecurrenceBlob(const RecurrenceSpec& spec)
{
    Bytes out;
    Put16(out, 0x3004);  // reader version
    Put16(out, 0x3004);  // writer version
    Put16(out, spec.frequency);
    Put16(out, spec.patternType);
    Put16(out, 0);       // Gregorian
    Put32(out, 0);       // first date and time
    Put32(out, spec.period);
    Put32(out, 0);       // sliding
    switch (spec.patternType) {
    case 0x0001:
        Put32(out, spec.dayMask);
        break;
    case 0x0002:
    case 0x0004:
        Put32(out, spec.dayOfMonth);
        break;
    case 0x0003:
        Put32(out, spec.dayMask);
        Put32(out, spec.nth);
        break;
    default:
        break;
    }
    Put32(out, spec.endType);
    Put32(out, spec.occurrences);
    Put32(out, spec.firstDayOfWeek);
    Put32(out, uint32_t(spec.deletedDates.size()));
    for (uint32_t date : spec.deletedDates)
        Put32(out, date);
    Put32(out, uint32_t(spec.modifiedDates.size()));
    for (uint32_t date : spec.modifiedDates)
        Put32(out, date);
    Put32(out, spec.startDate);
    Put32(out, spec.endDate);
    Put32(out, 0x3006);  // reader version 2
    Put32(out, 0x3009);  // writer version 2
    Put32(out, spec.startMinute);
    Put32(out, spec.endMinute);
    Put16(out, 0);       // no exception details
    Put32(out, 0);       // reserved block 1
    Put32(out, 0);       // reserved block 2
    return out;
}

Bytes TimeZoneStruct(int32_t bias, int32_t standardBias, int32_t daylightBias, ZoneTransition toStandard,
                     ZoneTransition toDaylight)
{
    Bytes out;
    Put32(out, uint32_t(bias));
    Put32(out, uint32_t(standardBias));
    Put32(out, uint32_t(daylightBias));
    for (const ZoneTransition& change : {toStandard, toDaylight}) {
        Put16(out, 0);  // year
        Put16(out, 0);  // SYSTEMTIME: year, month, day of week, day, hour, minute, second, milliseconds
        Put16(out, change.month);
        Put16(out, change.weekday);
        Put16(out, change.week);
        Put16(out, change.hour);
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, 0);
    }
    return out;
}

}  // namespace tolvane::pstwriter
