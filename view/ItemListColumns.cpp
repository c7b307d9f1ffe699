// Headings, widths and cell texts of the item list's layouts.
#include "view/ItemListColumns.h"

#include "frontend/RecordText.h"

#include <algorithm>

namespace tolvane {

namespace {

ColumnSet WithKeyColumns(std::initializer_list<const char*> headings, int width)
{
    ColumnSet set{{QStringLiteral("NO"), 0}, {QStringLiteral("Items"), 0}};
    for (const char* heading : headings)
        set.push_back({QString::fromLatin1(heading), width});
    return set;
}

// What a missing date or size sorts as: before every value.
constexpr qint64 kMissing = std::numeric_limits<qint64>::min();

qint64 TicksOf(const std::optional<FileTime>& time)
{
    return time ? static_cast<qint64>(std::min<uint64_t>(time->ticks, kSortsByText - 1)) : kMissing;
}

// The words a filter looks in, case-folded once so typing stays cheap on
// large folders.
QString SearchTextOf(QStringList words)
{
    words.removeAll(QString());
    return words.join(u'\n').toCaseFolded();
}

}  // namespace

ColumnSet InitialColumnSet()
{
    return {
        {QStringLiteral("NO"), 0},
        {QStringLiteral("Items"), 0},
        {QStringLiteral("From"), 150},
        {QStringLiteral("E-mail Subject"), 100},
        {QStringLiteral("Delivery time"), 100},
        {QStringLiteral("Creation time"), 100},
        {QStringLiteral("Modification time"), 100},
        {QStringLiteral("Size"), 100},
        {QStringLiteral("Flag"), 50},
        {QStringLiteral("Priority"), 100},
        {QStringLiteral("Sensitivity"), 150},
        {QStringLiteral("Importance"), 150},
    };
}

ColumnSet ColumnSetFor(ListKind kind)
{
    switch (kind) {
    case ListKind::Mail:
        return WithKeyColumns({"From", "E-mail Subject", "Delivery Time", "Creation Time",
                               "Modification Time", "Size", "Flag", "Priority", "Sensitivity",
                               "Importance"},
                              80);
    case ListKind::Contact:
        return WithKeyColumns({"Full name", "First name", "Last name", "Company", "Business Phone",
                               "Business Fax", "Home Phone", "Mobile Phone", "Flag", "Categories"},
                              80);
    case ListKind::Appointment:
        return WithKeyColumns({"Subject", "Location", "Start", "End", "Recurrence", "Size"}, 80);
    }
    return {};
}

ListRow MailRow(const MailRecord& r)
{
    ListRow row{{ListKind::Mail, r.number},
                {QString::number(r.number), MailKindWord(), RecordText::SenderName(r), r.subject,
                 RecordText::DeliveryTime(r), RecordText::CreationTime(r), RecordText::ModificationTime(r),
                 RecordText::Size(r), RecordText::Flag(r), RecordText::Priority(r), RecordText::Sensitivity(r),
                 RecordText::Importance(r)},
                {},
                {}};
    using namespace column::mail;
    row.sortValues.fill(kSortsByText, kSize + 1);
    row.sortValues[column::kNumber] = r.number;
    row.sortValues[kDeliveryTime] = TicksOf(r.deliveryTime);
    row.sortValues[kCreationTime] = TicksOf(r.creationTime);
    row.sortValues[kModificationTime] = TicksOf(r.modificationTime);
    row.sortValues[kSize] = r.size ? *r.size : kMissing;
    row.searchText = SearchTextOf(QStringList{r.subject, r.senderName.value_or(QString()),
                                              r.senderAddress.value_or(QString())}
                                  + r.recipients);
    return row;
}

ListRow ContactRow(const ContactRecord& r)
{
    ListRow row{{ListKind::Contact, r.number},
                {QString::number(r.number), ContactKindWord(), r.fullName, r.givenName, r.surname,
                 r.companyName, r.businessPhone, r.businessFax, r.homePhone, r.mobilePhone, QString(),
                 QString()},
                {},
                {}};
    row.searchText = SearchTextOf(row.cells.mid(column::contact::kFullName));
    return row;
}

ListRow AppointmentRow(const AppointmentRecord& r)
{
    // The subject cell only shows a placeholder; the text itself stays hidden.
    ListRow row{{ListKind::Appointment, r.number},
                {QString::number(r.number), AppointmentKindWord(), RecordText::SubjectPlaceholder(r),
                 RecordText::Location(r), RecordText::StartTime(r), RecordText::EndTime(r), QString(), QString()},
                {},
                {}};
    using namespace column::appointment;
    row.sortValues.fill(kSortsByText, kEnd + 1);
    row.sortValues[column::kNumber] = r.number;
    row.sortValues[kStart] = TicksOf(r.startTime);
    row.sortValues[kEnd] = TicksOf(r.endTime);
    row.searchText = SearchTextOf(row.cells.mid(kSubject));
    return row;
}

}  // namespace tolvane
