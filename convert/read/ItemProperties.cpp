// The readings every kind of item shares; see ItemProperties.h.
#include "convert/read/ItemProperties.h"

#include "convert/read/BodyText.h"
#include "scan/PropertyTags.h"
#include "scan/TextDecoding.h"
#include "scan/TimeText.h"

namespace tolvane {

namespace Tag = PropertyTag;

std::optional<QString> MappedString(libpff_item_t* item, int set, uint32_t tag, int codePage, ReadFailures* failures)
{
    return ReadString(item, set, tag, codePage, NamedLookup::Mapped, failures);
}

std::optional<QDateTime> TimeOf(libpff_item_t* item, uint32_t tag, ReadFailures* failures)
{
    const auto ticks = ReadFiletime(item, 0, tag, NamedLookup::Mapped, failures);
    if (!ticks || *ticks == 0)
        return std::nullopt;
    const QDateTime time = FiletimeToDateTime(*ticks);
    return time.isValid() ? std::optional<QDateTime>(time) : std::nullopt;
}

std::optional<QDate> DayOf(libpff_item_t* item, uint32_t tag, ReadFailures* failures)
{
    const auto time = TimeOf(item, tag, failures);
    return time ? std::optional<QDate>(time->toUTC().date()) : std::nullopt;
}

QStringList Categories(libpff_item_t* item, int codePage, ReadFailures* failures)
{
    QStringList categories;
    if (const auto keywords = ReadNamedProperty(item, 0, kKeywordsProperty, failures)) {
        for (const QString& keyword : DecodeMultiStringValue(*keywords, codePage)) {
            if (!IsBlank(keyword))
                categories << keyword.trimmed();
        }
    }
    return categories;
}

QString PlainText(libpff_item_t* item, int fileCodePage, ReadFailures* failures)
{
    const auto plain = ReadPlainTextBody(item, fileCodePage, failures);
    if (!plain || IsBlankUtf8(plain->utf8))
        return QString();
    QString text = QString::fromUtf8(plain->utf8).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text;
}

std::optional<HeaderProperties::Sensitivity> SensitivityOf(libpff_item_t* item, ReadFailures* failures)
{
    const auto value = Read32(item, 0, Tag::Sensitivity, NamedLookup::Mapped, failures);
    if (!value)
        return std::nullopt;
    switch (*value) {
    case 1: return HeaderProperties::Sensitivity::Personal;
    case 2: return HeaderProperties::Sensitivity::Private;
    case 3: return HeaderProperties::Sensitivity::Confidential;
    default: return HeaderProperties::Sensitivity::None;
    }
}

std::optional<HeaderProperties::Importance> ImportanceOf(libpff_item_t* item, ReadFailures* failures)
{
    const auto importance = Read32(item, 0, Tag::Importance, NamedLookup::Mapped, failures);
    if (!importance)
        return std::nullopt;
    const auto value = static_cast<int32_t>(*importance);
    return value <= 0 ? HeaderProperties::Importance::Low
           : value == 1 ? HeaderProperties::Importance::Normal
                        : HeaderProperties::Importance::High;
}

void NoteMissing(MissingParts& missing, const ReadFailures& failures, const MissingEntry& what)
{
    if (!failures.empty())
        missing.AddOnce(what);
}

}  // namespace tolvane
