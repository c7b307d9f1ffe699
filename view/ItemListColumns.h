// Column sets and row layouts of the item list: the hidden key columns "NO" and
// "Items", the initial set, and the mail, contact and appointment layouts. A
// row carries the identity of its record beside its cell texts, so nothing
// has to read the record back out of a cell.
#pragma once

#include "model/ItemRecords.h"

#include <QString>
#include <QStringList>
#include <QMetaType>
#include <QVector>
#include <cstdint>
#include <limits>

namespace tolvane {

struct ListColumn {
    QString heading;
    int width = 0;  // pixels; 0 hides the column
};
using ColumnSet = QVector<ListColumn>;

enum class ListKind { Mail, Contact, Appointment };

// Which record a row shows: its kind and its number in the item store.
struct ItemRef {
    ListKind kind = ListKind::Mail;
    int32_t number = 0;
    friend bool operator==(const ItemRef&, const ItemRef&) = default;
};

inline constexpr qint64 kSortsByText = std::numeric_limits<qint64>::max();

// One row: its record and its cell texts, column by column; a null QString is
// an empty cell. Columns whose text does not sort as its value does (dates,
// sizes) carry the value too, and the row keeps the words a filter looks in.
struct ListRow {
    ItemRef item;
    QStringList cells;
    // By column: the value to sort by (a missing date or size sorts first);
    // kSortsByText, or a column past its end, sorts by the cell's text.
    QVector<qint64> sortValues;
    // Subject, sender and recipients (a contact's or appointment's shown
    // texts), case-folded, one per line.
    QString searchText;
};

// Column positions. Every set starts with the hidden key columns; the rest
// depends on the layout the list shows.
namespace column {
inline constexpr int kNumber = 0;  // "NO", hidden
inline constexpr int kKind = 1;    // "Items", hidden: the kind word
namespace mail {  // also the initial set
inline constexpr int kFrom = 2;
inline constexpr int kSubject = 3;
inline constexpr int kDeliveryTime = 4;
inline constexpr int kCreationTime = 5;
inline constexpr int kModificationTime = 6;
inline constexpr int kSize = 7;
inline constexpr int kFlag = 8;
inline constexpr int kPriority = 9;
inline constexpr int kSensitivity = 10;
inline constexpr int kImportance = 11;
}  // namespace mail
namespace contact {
inline constexpr int kFullName = 2;
inline constexpr int kGivenName = 3;
inline constexpr int kSurname = 4;
inline constexpr int kCompany = 5;
inline constexpr int kBusinessPhone = 6;
inline constexpr int kBusinessFax = 7;
inline constexpr int kHomePhone = 8;
inline constexpr int kMobilePhone = 9;
inline constexpr int kFlag = 10;
inline constexpr int kCategories = 11;
}  // namespace contact
namespace appointment {
inline constexpr int kSubject = 2;
inline constexpr int kLocation = 3;
inline constexpr int kStart = 4;
inline constexpr int kEnd = 5;
inline constexpr int kRecurrence = 6;
inline constexpr int kSize = 7;
}  // namespace appointment
}  // namespace column

ColumnSet InitialColumnSet();
ColumnSet ColumnSetFor(ListKind kind);

ListRow MailRow(const MailRecord& record);
ListRow ContactRow(const ContactRecord& record);
ListRow AppointmentRow(const AppointmentRecord& record);

// Kind words of the "Items" column.
inline QString MailKindWord() { return QStringLiteral("mail"); }
inline QString ContactKindWord() { return QStringLiteral("contact"); }
inline QString AppointmentKindWord() { return QStringLiteral("appointment"); }

}  // namespace tolvane

Q_DECLARE_METATYPE(tolvane::ItemRef)
