// What an item lacks, as its file, the notice and the log name it: entries
// inside embedded messages keep their place, a part noted by several failed
// reads is named once, and what counts as the attachments is told apart from
// the rest.
#include "model/MissingParts.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(MissingPartsTest, NamesAttachmentsByNameElseByPlace)
{
    struct Case {
        MissingEntry entry;
        QString words;
    };
    const Case cases[] = {
        {MissingEntry::OfAttachment(MissingPart::Attachment, QString(), 2), QStringLiteral("attachment 3")},
        {MissingEntry::OfAttachment(MissingPart::Attachment, QStringLiteral("a.pdf"), 0, QStringLiteral("no data")),
         QStringLiteral("attachment \"a.pdf\": no data")},
        {MissingEntry::OfAttachment(MissingPart::AttachmentNameOrType, QString(), 0),
         QStringLiteral("attachment 1 (its name or type)")},
        {MissingEntry::OfAttachment(MissingPart::AttachmentLink, QStringLiteral("s.doc"), 4),
         QStringLiteral("attachment \"s.doc\" (where the linked file lives)")},
        {MissingEntry::OfAttachment(MissingPart::EmbeddedMessage, QString(), -1), QStringLiteral("the embedded message")},
        {MissingEntry::Sized(MissingPart::PhotoTooLarge, (17 << 20) + 1, 16 << 20),
         QStringLiteral("its photo (18 MB, more than the 16 MB a card holds)")},
        {MissingEntry(MissingPart::Photo), QStringLiteral("its photo (no data)")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WordsFor(c.entry), c.words);
}

TEST(MissingPartsTest, EmbeddedMessagesLackingSomethingAreNamedOutermostFirst)
{
    MissingParts innermost;
    innermost.Add(MissingEntry(MissingPart::Body));
    MissingParts inner;
    inner.AddWithin(QStringLiteral("Inner"), innermost);
    inner.Add(MissingEntry(MissingPart::Properties));
    MissingParts outer;
    outer.Add(MissingEntry(MissingPart::Subject));
    outer.AddWithin(QString(), inner);

    EXPECT_EQ(WordsFor(outer),
              QStringList({QStringLiteral("the subject"),
                           QStringLiteral("in the embedded message: in the embedded message \"Inner\": the body"),
                           QStringLiteral("in the embedded message: the message's properties (subject, sender, date, "
                                          "body)")}));
    // Only the embedded message's properties are unreadable, not the outer
    // message's: it is still written.
    EXPECT_FALSE(outer.contains(MissingPart::Properties));
    EXPECT_TRUE(inner.contains(MissingPart::Properties));
    EXPECT_TRUE(outer.anyAttachment());
}

TEST(MissingPartsTest, SomethingNotedTwiceIsNamedOnce)
{
    MissingParts parts;
    parts.AddOnce(MissingEntry::OfAttachment(MissingPart::AttachmentNameOrType, QStringLiteral("a.txt"), 0));
    parts.AddOnce(MissingEntry::OfAttachment(MissingPart::AttachmentNameOrType, QStringLiteral("a.txt"), 0));
    parts.AddOnce(MissingEntry::OfAttachment(MissingPart::AttachmentNameOrType, QStringLiteral("b.txt"), 1));
    EXPECT_EQ(parts.size(), 2u);
}

TEST(MissingPartsTest, TellsTheAttachmentsApartFromTheRest)
{
    struct Case {
        MissingPart part;
        bool attachment;
    };
    const Case cases[] = {
        {MissingPart::Body, false},           {MissingPart::Recipients, false},
        {MissingPart::Recurrence, false},     {MissingPart::Photo, false},
        {MissingPart::AttachmentTable, true}, {MissingPart::Attachment, true},
        {MissingPart::EmbeddedTooDeep, true}, {MissingPart::RebuiltFromRecord, true},
    };
    for (const Case& c : cases) {
        MissingParts parts;
        parts.Add(MissingEntry(c.part));
        EXPECT_EQ(parts.anyAttachment(), c.attachment) << WordsFor(MissingEntry(c.part)).toStdString();
    }
}

}  // namespace
}  // namespace tolvane
