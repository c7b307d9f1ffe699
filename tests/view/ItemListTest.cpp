// Item list: column sets, row layouts, the model, and folder fills.
#include "scan/TimeText.h"
#include "view/FillItemList.h"
#include "tests/view/GuiTestSupport.h"
#include "view/ItemListModel.h"
#include "view/ItemListProxy.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

std::shared_ptr<const MailRecord> Mail(int number, const QString& folder, const QString& subject = QStringLiteral("s"))
{
    auto r = std::make_shared<MailRecord>();
    r->number = number;
    r->folderKey = folder;
    r->folderName = folder.section(u'\\', -1);
    r->subject = subject;
    r->senderName = QStringLiteral("Ann");
    return r;
}

std::shared_ptr<const ContactRecord> Contact(int number, const QString& folder)
{
    auto r = std::make_shared<ContactRecord>();
    r->number = number;
    r->folderKey = folder;
    r->folderName = folder.section(u'\\', -1);
    r->givenName = QStringLiteral("Bo");
    r->surname = QStringLiteral("Lund");
    return r;
}

std::shared_ptr<const AppointmentRecord> Appointment(int number, const QString& folder)
{
    auto r = std::make_shared<AppointmentRecord>();
    r->number = number;
    r->folderKey = folder;
    r->folderName = folder.section(u'\\', -1);
    r->startTime = FileTime{DateTimeToFiletime(QDateTime(QDate(2020, 1, 1), QTime(10, 0, 0), Qt::UTC))};
    return r;
}

QStringList Headings(const ColumnSet& set)
{
    QStringList headings;
    for (const ListColumn& column : set)
        headings << column.heading;
    return headings;
}

TEST(ItemListColumnsTest, KeyColumnsAreHiddenInEverySet)
{
    for (const ColumnSet& set : {InitialColumnSet(), ColumnSetFor(ListKind::Mail), ColumnSetFor(ListKind::Contact),
                                 ColumnSetFor(ListKind::Appointment)}) {
        ASSERT_GE(set.size(), 8);
        EXPECT_EQ(set[column::kNumber].heading, QStringLiteral("NO"));
        EXPECT_EQ(set[column::kKind].heading, QStringLiteral("Items"));
        EXPECT_EQ(set[column::kNumber].width, 0);
        EXPECT_EQ(set[column::kKind].width, 0);
    }
    EXPECT_EQ(InitialColumnSet()[column::mail::kDeliveryTime].heading, QStringLiteral("Delivery time"));
    EXPECT_EQ(ColumnSetFor(ListKind::Mail)[column::mail::kDeliveryTime].heading, QStringLiteral("Delivery Time"));
    EXPECT_EQ(InitialColumnSet()[column::mail::kFrom].width, 150);
    EXPECT_EQ(InitialColumnSet()[column::mail::kFlag].width, 50);
    EXPECT_EQ(ColumnSetFor(ListKind::Contact).size(), 12);
    EXPECT_EQ(ColumnSetFor(ListKind::Appointment).size(), 8);
}

TEST(ItemListModelTest, ScanRowsGoOnTopNewestFirstAndFillRowsAtTheBottom)
{
    ItemListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.SetColumns(InitialColumnSet());
    model.InsertRowsOnTop({MailRow(*Mail(1, "A")), MailRow(*Mail(2, "A"))});
    model.InsertRowsOnTop({MailRow(*Mail(3, "A"))});
    model.AppendRows({ContactRow(*Contact(4, "C"))});
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.cellText(0, column::kNumber), QStringLiteral("3"));
    EXPECT_EQ(model.cellText(1, column::kNumber), QStringLiteral("2"));
    EXPECT_EQ(model.cellText(2, column::kNumber), QStringLiteral("1"));
    EXPECT_EQ(model.cellText(3, column::kKind), QStringLiteral("contact"));
    EXPECT_EQ(model.headerData(column::mail::kSubject, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("E-mail Subject"));
    // Every cell of a row names the row's record; the hidden cells keep their texts.
    EXPECT_EQ(model.itemAt(0), (ItemRef{ListKind::Mail, 3}));
    EXPECT_EQ(model.index(3, column::mail::kImportance).data(ItemListModel::ItemRole).value<ItemRef>(),
              (ItemRef{ListKind::Contact, 4}));
    EXPECT_EQ(model.itemAt(4), std::nullopt);
    model.DeleteAllRows();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 12);  // columns stay
}

// What the list's filter looks in and how rows without a date or a size sort.
TEST(ItemListProxyTest, MissingValuesSortFirstAndTheFilterLooksInSenderSubjectAndRecipients)
{
    auto mail = [](int number, std::optional<int> day, std::optional<int32_t> size) {
        MailRecord r = *Mail(number, QStringLiteral("\\Inbox"), QStringLiteral("Subject %1").arg(number));
        if (day)
            r.deliveryTime = FileTime{DateTimeToFiletime(QDateTime(QDate(2026, 1, *day), QTime(9, 0), Qt::UTC))};
        r.size = size;
        return MailRow(r);
    };
    MailRecord addressed = *Mail(4, QStringLiteral("\\Inbox"), QStringLiteral("Plans"));
    addressed.senderName = QStringLiteral("Émile Zola");
    addressed.senderAddress = QStringLiteral("emile@example.fr");
    addressed.recipients = {QStringLiteral("Ann Archer"), QStringLiteral("Bo Berg")};
    addressed.body = StoredText::fromString(QStringLiteral("hidden words"));
    ItemListModel model;
    model.SetColumns(ColumnSetFor(ListKind::Mail));
    model.AppendRows({mail(1, 20, 300), mail(2, std::nullopt, std::nullopt), mail(3, 5, 4000), MailRow(addressed)});
    ItemListProxy proxy(&model);
    QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto numbers = [&] {
        QStringList shown;
        for (int row = 0; row < proxy.rowCount(); ++row)
            shown << proxy.index(row, column::kNumber).data().toString();
        return shown.join(u' ').toStdString();
    };
    proxy.sort(column::mail::kDeliveryTime);
    EXPECT_EQ(numbers(), "2 4 3 1");
    proxy.sort(column::mail::kSize, Qt::DescendingOrder);
    EXPECT_EQ(numbers(), "3 1 2 4");

    struct Case {
        const char* typed;
        const char* shown;
    };
    for (const Case& c : {Case{"ÉMILE", "4"}, Case{"example.fr", "4"}, Case{"bo berg", "4"}, Case{"  plans ", "4"},
                          Case{"subject", "3 1 2"}, Case{"hidden", ""}, Case{"", "3 1 2 4"}}) {
        proxy.SetFilterText(QString::fromUtf8(c.typed));
        EXPECT_EQ(numbers(), c.shown) << c.typed;
        EXPECT_EQ(proxy.totalRows(), 4);
    }
}

TEST(ComputeItemListFillTest, BlocksRunContactAppointmentMailAndTheLastOneWins)
{
    const RecordList<ContactRecord> contacts{Contact(1, "Contacts"), Contact(2, "Other"), Contact(5, "Contacts")};
    const RecordList<AppointmentRecord> appointments{Appointment(3, "Calendar"), Appointment(6, "Calendar")};
    const RecordList<MailRecord> mail{Mail(4, "Contacts", QString()), Mail(7, "Inbox"), Mail(8, "inbox")};

    // Mail filed in a contacts folder turns the whole list into the mail layout.
    ItemListFill mixed = ComputeItemListFill(QStringLiteral("Contacts"), contacts, appointments, mail);
    ASSERT_TRUE(mixed.columns);
    EXPECT_EQ(Headings(*mixed.columns), Headings(ColumnSetFor(ListKind::Mail)));
    ASSERT_EQ(mixed.rows.size(), 1u);
    EXPECT_EQ(mixed.rows[0].item, (ItemRef{ListKind::Mail, 4}));
    EXPECT_EQ(mixed.rows[0].cells[column::kNumber], QStringLiteral("4"));
    EXPECT_EQ(mixed.rows[0].cells[column::kKind], QStringLiteral("mail"));
    EXPECT_TRUE(mixed.rows[0].cells[column::mail::kSubject].isEmpty());  // absent subject: empty cell
    EXPECT_EQ(mixed.rows[0].cells[column::mail::kFrom], QStringLiteral("Ann"));

    // Contacts only: contact layout, full name, flag and categories empty.
    const RecordList<MailRecord> noMail;
    ItemListFill onlyContacts = ComputeItemListFill(QStringLiteral("Contacts"), contacts, appointments, noMail);
    ASSERT_TRUE(onlyContacts.columns);
    EXPECT_EQ(onlyContacts.columns->size(), 12);
    ASSERT_EQ(onlyContacts.rows.size(), 2u);
    EXPECT_EQ(onlyContacts.rows[1].cells[column::kNumber], QStringLiteral("5"));
    EXPECT_EQ(onlyContacts.rows[1].item, (ItemRef{ListKind::Contact, 5}));
    EXPECT_TRUE(onlyContacts.rows[0].cells[column::contact::kFullName].isEmpty());
    EXPECT_EQ(onlyContacts.rows[0].cells[column::contact::kGivenName], QStringLiteral("Bo"));
    EXPECT_EQ(onlyContacts.rows[0].cells[column::contact::kSurname], QStringLiteral("Lund"));
    EXPECT_TRUE(onlyContacts.rows[0].cells[column::contact::kFlag].isEmpty());
    EXPECT_TRUE(onlyContacts.rows[0].cells[column::contact::kCategories].isEmpty());

    // Appointments: the subject placeholder "None", never the subject; recurrence and size empty.
    ItemListFill calendar = ComputeItemListFill(QStringLiteral("Calendar"), contacts, appointments, mail);
    ASSERT_EQ(calendar.rows.size(), 2u);
    EXPECT_EQ(calendar.rows[0].item, (ItemRef{ListKind::Appointment, 3}));
    EXPECT_EQ(calendar.rows[0].cells[column::appointment::kSubject], QStringLiteral("None"));
    EXPECT_EQ(calendar.rows[1].cells[column::appointment::kSubject], QStringLiteral("None"));
    EXPECT_EQ(calendar.rows[0].cells[column::appointment::kStart], QStringLiteral("Jan 01, 2020 10:00:00"));
    EXPECT_TRUE(calendar.rows[0].cells[column::appointment::kRecurrence].isEmpty());
    EXPECT_TRUE(calendar.rows[0].cells[column::appointment::kSize].isEmpty());

    // Keys match exactly; a folder without records keeps the columns.
    EXPECT_EQ(ComputeItemListFill(QStringLiteral("Inbox"), contacts, appointments, mail).rows.size(), 1u);
    ItemListFill empty = ComputeItemListFill(QStringLiteral("Tasks"), contacts, appointments, mail);
    EXPECT_FALSE(empty.columns);
    EXPECT_TRUE(empty.rows.empty());
}

// Two folders of one name ("Inbox" in two stores' trees) each list their own
// items; the file's own node (no key) lists nothing, even items without one.
TEST(ComputeItemListFillTest, FoldersOfOneNameKeepTheirOwnItems)
{
    const RecordList<MailRecord> mail{Mail(1, "\\Mailbox A\\Inbox"), Mail(2, "\\Mailbox B\\Inbox"),
                                      Mail(3, "\\Mailbox A\\Inbox"), Mail(4, "")};
    const struct {
        const char* key;
        std::vector<int> numbers;
    } cases[] = {{"\\Mailbox A\\Inbox", {1, 3}}, {"\\Mailbox B\\Inbox", {2}}, {"Inbox", {}}, {"", {}}};
    for (const auto& c : cases) {
        const ItemListFill fill = ComputeItemListFill(QString::fromLatin1(c.key), {}, {}, mail);
        std::vector<int> numbers;
        for (const ListRow& row : fill.rows)
            numbers.push_back(row.item.number);
        EXPECT_EQ(numbers, c.numbers) << c.key;
    }
}

TEST(ComputeItemListFillTest, StopsWhenCancelled)
{
    RecordList<MailRecord> mail;
    for (int i = 0; i < 5000; ++i)
        mail.push_back(Mail(i + 1, "Inbox"));
    ItemListFill fill = ComputeItemListFill(QStringLiteral("Inbox"), {}, {}, mail, [] { return false; });
    EXPECT_TRUE(fill.cancelled);
    EXPECT_TRUE(fill.rows.empty());
}

TEST(ItemListFillerTest, TheListEndsUpShowingTheFolderClickedLast)
{
    ItemStore store;
    for (int i = 0; i < 6000; ++i) {
        MailRecord record = *Mail(store.NextItemNumber(), i % 2 ? "Inbox" : "Sent Items");
        store.AddMailRecord(record);
    }
    ContactRecord contact = *Contact(store.NextItemNumber(), "Contacts");
    store.AddContactRecord(contact);

    ItemListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.SetColumns(InitialColumnSet());
    ItemListFiller filler(&model, store);
    QSignalSpy completed(&filler, &ItemListFiller::fillCompleted);
    filler.FillItemList(QStringLiteral("Inbox"));
    filler.FillItemList(QStringLiteral("Sent Items"));
    filler.FillItemList(QStringLiteral("Contacts"));
    ASSERT_TRUE(testing::WaitUntil([&] { return filler.runningFills() == 0 && !completed.isEmpty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(completed.size(), 1);
    EXPECT_EQ(completed.last().at(0).toString(), QStringLiteral("Contacts"));
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.cellText(0, column::kKind), QStringLiteral("contact"));
    EXPECT_EQ(model.headerData(column::contact::kFullName, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Full name"));

    filler.FillItemList(QStringLiteral("Inbox"));
    ASSERT_TRUE(testing::WaitUntil([&] { return completed.size() == 2; }));
    EXPECT_EQ(model.rowCount(), 3000);
}

}  // namespace
}  // namespace tolvane
