// Column sets and row layouts of the item list: the hidden key columns "NO" and
// "Items", the initial set, and the mail, contact and appointment layouts.
#pragma once

#include "ItemRecords.h"

#include <QString>
#include <QStringList>
#include <QVector>

namespace tolvane {

struct ListColumn {
    QString heading;
    int width = 0;  // pixels; 0 hides the column
};
using ColumnSet = QVector<ListColumn>;

// One row's cell texts, column by column; a null QString is an empty cell.
using ListRow = QStringList;

enum class ListKind { Mail, Contact, Appointment };

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
