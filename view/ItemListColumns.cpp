// Headings, widths and cell texts of the item list's layouts.
#include "view/ItemListColumns.h"

#include "app/RecordText.h"

namespace tolvane {

namespace {

ColumnSet WithKeyColumns(std::initializer_list<const char*> headings, int width)
{
    ColumnSet set{{QStringLiteral("NO"), 0}, {QStringLiteral("Items"), 0}};
    for (const char* heading : headings)
        set.push_back({QString::fromLatin1(heading), width});
    return set;
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
    return {{ListKind::Mail, r.number},
            {QString::number(r.number), MailKindWord(), RecordText::SenderName(r), r.subject,
             RecordText::DeliveryTime(r), RecordText::CreationTime(r), RecordText::ModificationTime(r),
             RecordText::Size(r), RecordText::Flag(r), RecordText::Priority(r), RecordText::Sensitivity(r),
             RecordText::Importance(r)}};
}

ListRow ContactRow(const ContactRecord& r)
{
    return {{ListKind::Contact, r.number},
            {QString::number(r.number), ContactKindWord(), r.fullName, r.givenName, r.surname,
             r.companyName, r.businessPhone, r.businessFax, r.homePhone, r.mobilePhone, QString(),
             QString()}};
}

ListRow AppointmentRow(const AppointmentRecord& r)
{
    // The subject cell only shows a placeholder; the text itself stays hidden.
    return {{ListKind::Appointment, r.number},
            {QString::number(r.number), AppointmentKindWord(), RecordText::SubjectPlaceholder(r),
             RecordText::Location(r), RecordText::StartTime(r), RecordText::EndTime(r), QString(), QString()}};
}

}  // namespace tolvane
