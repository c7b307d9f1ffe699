// Decoding of the recurrence blob and the time-zone structure.
#include "convert/read/AppointmentRecurrence.h"

#include <QtEndian>

namespace tolvane {

namespace {

// Reads little-endian fields in order; any read past the end marks it bad.
class BlobReader {
public:
    explicit BlobReader(const QByteArray& data) : data_(data) {}
    quint16 u16() { return take<quint16>(); }
    quint32 u32() { return take<quint32>(); }
    bool ok() const { return ok_; }

private:
    template <typename T>
    T take()
    {
        if (at_ + qsizetype(sizeof(T)) > data_.size()) {
            ok_ = false;
            return 0;
        }
        const T value = qFromLittleEndian<T>(reinterpret_cast<const uchar*>(data_.constData() + at_));
        at_ += sizeof(T);
        return value;
    }
    const QByteArray& data_;
    qsizetype at_ = 0;
    bool ok_ = true;
};

// Minutes since 1601-01-01 (the blob's dates) as a date.
QDate DateFromMinutes(quint32 minutes)
{
    return QDate(1601, 1, 1).addDays(static_cast<qint64>(minutes) / (24 * 60));
}

QVector<int> Weekdays(quint32 mask)
{
    QVector<int> days;
    for (int day = 0; day < 7; ++day) {
        if ((mask & (1u << day)) != 0)
            days << day;
    }
    return days;
}

}  // namespace

namespace {

// The pattern's limits: the largest interval a client offers (999 days,
// weeks, months or years), the latest date a series can reach (the blob's own
// "no end" date is 4501-12-31), and an occurrence count that fits RFC 5545's
// integer.
constexpr quint32 kLargestInterval = 999;
constexpr quint32 kLargestCount = 0x7FFFFFFF;
const QDate kLatestDate(4501, 12, 31);

// The recurrence pattern every recurring item starts with, up to its last
// date; false when it is not one this reads. `invalid` names a field out of
// range.
bool ReadPattern(BlobReader& in, AppointmentRecurrence& rule, QDate& startDate, QVector<QDate>& deleted,
                 QString* invalid)
{
    const auto reject = [invalid](const QString& why) {
        if (invalid != nullptr)
            *invalid = why;
        return false;
    };
    using R = AppointmentRecurrence;
    in.u16();  // reader version
    in.u16();  // writer version
    const quint16 frequency = in.u16();
    const quint16 patternType = in.u16();
    const quint16 calendarType = in.u16();
    in.u32();  // first date and time
    const quint32 period = in.u32();
    in.u32();  // sliding flag (tasks)
    if (!in.ok() || calendarType != 0)
        return false;
    quint32 dayMask = 0;
    quint32 nth = 0;
    quint32 dayOfMonth = 0;
    switch (patternType) {
    case 0x0000:  // every n days
        break;
    case 0x0001:  // weeks, on days
        dayMask = in.u32();
        break;
    case 0x0002:  // months, on a day
    case 0x0004:  // months, on the last day
        dayOfMonth = in.u32();
        break;
    case 0x0003:  // months, on the n-th weekday
        dayMask = in.u32();
        nth = in.u32();
        break;
    default:  // the Hijri patterns
        return false;
    }
    const quint32 endType = in.u32();
    const quint32 occurrences = in.u32();
    const quint32 firstDayOfWeek = in.u32();
    const quint32 deletedCount = in.u32();
    if (!in.ok() || deletedCount > 100000)
        return false;
    for (quint32 i = 0; i < deletedCount; ++i)
        deleted << DateFromMinutes(in.u32());
    const quint32 modifiedCount = in.u32();
    if (!in.ok() || modifiedCount > 100000)
        return false;
    for (quint32 i = 0; i < modifiedCount; ++i)
        rule.modifiedDates << DateFromMinutes(in.u32());
    startDate = DateFromMinutes(in.u32());
    const QDate endDate = DateFromMinutes(in.u32());
    if (!in.ok())
        return false;

    // Each field against what the pattern type allows: a value outside would
    // make the calendar describe another series than the mailbox does.
    if (startDate > kLatestDate)
        return reject(QStringLiteral("its first day %1 lies past %2").arg(startDate.toString(Qt::ISODate),
                                                                          kLatestDate.toString(Qt::ISODate)));
    if ((dayMask & ~0x7Fu) != 0 || ((patternType == 0x0001 || patternType == 0x0003) && dayMask == 0))
        return reject(QStringLiteral("its weekdays 0x%1 name no week's days").arg(dayMask, 0, 16));
    if (patternType == 0x0002 && (dayOfMonth < 1 || dayOfMonth > 31))
        return reject(QStringLiteral("its day of the month %1 is not 1 to 31").arg(dayOfMonth));
    if (patternType == 0x0003 && (nth < 1 || nth > 5))
        return reject(QStringLiteral("its week of the month %1 is not 1 to 5").arg(nth));
    if (firstDayOfWeek > 6)
        return reject(QStringLiteral("its first day of the week %1 is not 0 to 6").arg(firstDayOfWeek));
    quint32 unitsPerStep = 1;
    if (frequency == 0x200A && patternType == 0x0000)
        unitsPerStep = 24 * 60;  // a daily period counts minutes
    else if (frequency == 0x200D)
        unitsPerStep = 12;       // a yearly one, months
    const bool weekdaysOnly = frequency == 0x200A && patternType == 0x0001;
    if (!weekdaysOnly && (period == 0 || period % unitsPerStep != 0 || period / unitsPerStep > kLargestInterval))
        return reject(QStringLiteral("its period %1 is no interval of 1 to %2").arg(period).arg(kLargestInterval));
    if (endType != 0x2021 && endType != 0x2022 && endType != 0x2023 && endType != 0xFFFFFFFF)
        return reject(QStringLiteral("its end kind 0x%1 is unknown").arg(endType, 0, 16));
    if (endType == 0x2022 && (occurrences == 0 || occurrences > kLargestCount))
        return reject(QStringLiteral("its count of occurrences %1 is not 1 to %2").arg(occurrences).arg(kLargestCount));
    if (endType == 0x2021 && (endDate < startDate || endDate > kLatestDate))
        return reject(QStringLiteral("its last day %1 is not between its first day %2 and %3")
                          .arg(endDate.toString(Qt::ISODate), startDate.toString(Qt::ISODate),
                               kLatestDate.toString(Qt::ISODate)));

    switch (frequency) {
    case 0x200A:  // daily: every n days, or every weekday (a weekly pattern)
        rule.frequency = patternType == 0x0001 ? R::Frequency::Weekly : R::Frequency::Daily;
        rule.interval = patternType == 0x0001 ? 1 : static_cast<int>(period / (24 * 60));
        break;
    case 0x200B:
        rule.frequency = R::Frequency::Weekly;
        rule.interval = static_cast<int>(period);
        break;
    case 0x200C:
        rule.frequency = R::Frequency::Monthly;
        rule.interval = static_cast<int>(period);
        break;
    case 0x200D:
        rule.frequency = R::Frequency::Yearly;
        rule.interval = static_cast<int>(period / 12);
        break;
    default:
        return false;
    }
    if (rule.interval < 1)
        rule.interval = 1;
    rule.weekdays = Weekdays(dayMask);
    if (patternType == 0x0004)
        rule.monthDay = -1;
    else if (patternType == 0x0002)
        rule.monthDay = static_cast<int>(dayOfMonth);
    if (patternType == 0x0003)
        rule.setPosition = nth >= 5 ? -1 : static_cast<int>(nth);
    if (rule.frequency == R::Frequency::Yearly)
        rule.month = startDate.month();
    switch (endType) {
    case 0x2021:
        rule.end = R::End::ByDate;
        rule.until = endDate;
        break;
    case 0x2022:
        rule.end = R::End::AfterCount;
        rule.count = static_cast<int>(occurrences);
        break;
    default:
        rule.end = R::End::Never;
        break;
    }
    rule.firstDayOfWeek = static_cast<int>(firstDayOfWeek % 7);
    return true;
}

// The deleted list names the changed occurrences too: only the others are gone.
void KeepOnlyDeleted(AppointmentRecurrence& rule, const QVector<QDate>& deleted)
{
    for (const QDate& date : deleted) {
        if (!rule.modifiedDates.contains(date))
            rule.deletedDates << date;
    }
}

// The pattern at the start of `in`, with its first day and every day it
// names as deleted.
struct PatternRead {
    AppointmentRecurrence rule;
    QDate startDate;
    QVector<QDate> deleted;
};

std::optional<PatternRead> ReadPatternOf(BlobReader& in, QString* invalid)
{
    PatternRead read;
    if (!ReadPattern(in, read.rule, read.startDate, read.deleted, invalid))
        return std::nullopt;
    return read;
}

}  // namespace

std::optional<AppointmentRecurrence> ParseAppointmentRecurrence(const QByteArray& blob, QString* invalid)
{
    BlobReader in(blob);
    auto read = ReadPatternOf(in, invalid);
    if (!read)
        return std::nullopt;
    AppointmentRecurrence& rule = read->rule;
    in.u32();  // reader version 2
    in.u32();  // writer version 2
    const quint32 startOffset = in.u32();
    const quint32 endOffset = in.u32();
    if (!in.ok())
        return std::nullopt;
    if (endOffset < startOffset || startOffset >= 24 * 60) {
        if (invalid != nullptr)
            *invalid = QStringLiteral("its start and end minutes %1 and %2 are no time of day and duration")
                           .arg(startOffset)
                           .arg(endOffset);
        return std::nullopt;
    }
    rule.start = QDateTime(read->startDate, QTime(0, 0).addSecs(static_cast<int>(startOffset) * 60));
    rule.durationMinutes = static_cast<int>(endOffset - startOffset);
    KeepOnlyDeleted(rule, read->deleted);
    return rule;
}

std::optional<AppointmentRecurrence> ParseRecurrencePattern(const QByteArray& blob, QString* invalid)
{
    BlobReader in(blob);
    auto read = ReadPatternOf(in, invalid);
    if (!read)
        return std::nullopt;
    read->rule.start = QDateTime(read->startDate, QTime(0, 0));
    KeepOnlyDeleted(read->rule, read->deleted);
    return read->rule;
}

std::optional<TimeZoneRule> ParseTimeZoneStruct(const QByteArray& data, const QString& name)
{
    BlobReader in(data);
    TimeZoneRule zone;
    zone.name = name;
    zone.biasMinutes = static_cast<qint32>(in.u32());
    zone.standardBiasMinutes = static_cast<qint32>(in.u32());
    zone.daylightBiasMinutes = static_cast<qint32>(in.u32());
    auto transition = [&]() -> std::optional<TimeZoneRule::Transition> {
        in.u16();  // year
        // SYSTEMTIME: year, month, day of week, day (the week), hour, minute, second, milliseconds.
        in.u16();
        TimeZoneRule::Transition t;
        t.month = in.u16();
        t.weekday = in.u16();
        t.week = in.u16();
        t.hour = in.u16();
        t.minute = in.u16();
        in.u16();
        in.u16();
        if (t.month < 1 || t.month > 12 || t.weekday > 6 || t.week < 1 || t.week > 5 || t.hour > 23 || t.minute > 59)
            return std::nullopt;
        return t;
    };
    zone.toStandard = transition();
    zone.toDaylight = transition();
    if (!in.ok() || zone.biasMinutes < -24 * 60 || zone.biasMinutes > 24 * 60)
        return std::nullopt;
    if (!zone.toStandard || !zone.toDaylight) {
        zone.toStandard.reset();
        zone.toDaylight.reset();
    }
    if (zone.name.trimmed().isEmpty())
        zone.name = QStringLiteral("Zone %1").arg(-zone.biasMinutes);
    return zone;
}

std::optional<QString> ParseTimeZoneDefinitionKeyName(const QByteArray& data)
{
    // Versions (a byte each), the header's size, flags; a GUID when flag 1
    // says so; with flag 2 the key name, counted in UTF-16 units, unterminated.
    constexpr quint16 kHasGuid = 0x0001;
    constexpr quint16 kHasKeyName = 0x0002;
    constexpr int kMajorVersion = 2;
    BlobReader in(data);
    const quint16 versions = in.u16();
    in.u16();  // the header's size
    const quint16 flags = in.u16();
    if (!in.ok() || (versions & 0xFF) != kMajorVersion || (flags & kHasKeyName) == 0)
        return std::nullopt;
    if ((flags & kHasGuid) != 0) {
        for (int i = 0; i < 8; ++i)
            in.u16();
    }
    const quint16 length = in.u16();
    QString keyName;
    for (int i = 0; i < length && in.ok(); ++i)
        keyName += QChar(in.u16());
    if (!in.ok() || keyName.trimmed().isEmpty())
        return std::nullopt;
    return keyName.trimmed();
}

}  // namespace tolvane
