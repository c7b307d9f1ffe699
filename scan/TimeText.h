// FILETIME values (100-nanosecond ticks since 1601-01-01 UTC) as the scan's
// 21-character time text ("Mar 05, 2021 14:07:09") and as QDateTime.
#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace tolvane {

// The time text, always UTC; nullopt when the value lies beyond year 9999.
std::optional<QString> FiletimeToTimeText(uint64_t filetime);

// The same instant as a UTC QDateTime (millisecond precision); invalid when
// the value lies beyond year 9999.
QDateTime FiletimeToDateTime(uint64_t filetime);

// The FILETIME of an instant at or after 1601-01-01 UTC.
uint64_t DateTimeToFiletime(const QDateTime& time);

}  // namespace tolvane
