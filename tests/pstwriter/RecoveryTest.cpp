// Deleted, orphaned and replaced items written by the PST writer, as libpff sees them: what
// libpff_file_recover_items with its default flags (unallocated space only) and the orphan list return,
// and that the live folders read as if nothing had been deleted.
#include "tests/pstwriter/LibpffReadback.h"
#include "tests/pstwriter/TestFiles.h"
#include "pstwriter/BlockDamage.h"
#include "pstwriter/PstBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tolvane::pstwriter {
namespace {

using readback::Folder;
using readback::Item;
using testing::TempPst;

constexpr uint32_t kSubject = 0x0037, kBody = 0x1000, kContentCount = 0x3602;

Bytes Filled(size_t size, int seed) { return Bytes(size, uint8_t(seed * 37 + 1)); }

std::string BodyText(size_t size, int seed)
{
    std::string text;
    while (text.size() < size)
        text += "line " + std::to_string(seed) + "." + std::to_string(text.size()) + " of a body\r\n";
    return text.substr(0, size);
}

struct Read {
    readback::Mailbox mailbox;
    readback::Recovery recovery;
    const Folder* inbox = nullptr;
};

Read ReadBoth(const std::string& path)
{
    Read out;
    std::string error;
    auto mailbox = readback::ReadMailbox(path, &error);
    EXPECT_TRUE(mailbox) << error;
    auto recovery = readback::ReadRecovery(path, &error);
    EXPECT_TRUE(recovery) << error;
    out.mailbox = mailbox ? std::move(*mailbox) : readback::Mailbox{};
    out.recovery = recovery ? std::move(*recovery) : readback::Recovery{};
    const Folder* top = out.mailbox.root.child("Top of Personal Folders");
    out.inbox = top ? top->child("Inbox") : nullptr;
    return out;
}

std::vector<std::string> Subjects(const std::vector<Item>& items)
{
    std::vector<std::string> subjects;
    for (const Item& item : items)
        subjects.push_back(item.text(kSubject));
    std::sort(subjects.begin(), subjects.end());
    return subjects;
}

int32_t ContentCount(const Folder& folder)
{
    const auto it = folder.properties.find(kContentCount);
    return it == folder.properties.end() ? -1 : int32_t(GetU32(it->second.data.data()));
}

struct DeletedCase {
    const char* name;
    int live;
    int deleted;      // alternately in Inbox and Deleted Items
    size_t bodySize;  // large bodies become data trees of several blocks
    bool embedded;
    BlockEncoding encoding;
};

class DeletedMessagesTest : public ::testing::TestWithParam<DeletedCase> {};

TEST_P(DeletedMessagesTest, RecoveryFindsExactlyTheDeletedOnesAndTheFolderOnlyTheLiveOnes)
{
    const DeletedCase& c = GetParam();
    PstBuilder pst(PstBuilderOptions{c.encoding, true, "Personal Folders"});
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    std::vector<std::string> live, deleted;
    std::map<uint32_t, int> deletedByNid;
    std::vector<const Message*> deletedMessages;
    for (int i = 0; i < std::max(c.live, c.deleted); ++i) {
        if (i < c.deleted) {
            Message& m = (i % 2 ? *pst.deletedItems() : inbox)
                             .addDeletedMessage()
                             .subject("deleted " + std::to_string(i))
                             .body(BodyText(c.bodySize, i))
                             .attach("d.bin", Filled(300 + i, i));
            if (c.embedded)
                m.embed(Message().subject("inner " + std::to_string(i)));
            deleted.push_back("deleted " + std::to_string(i));
            deletedMessages.push_back(&m);
        }
        if (i < c.live) {
            inbox.addMessage().subject("live " + std::to_string(i));
            live.push_back("live " + std::to_string(i));
        }
    }
    std::sort(live.begin(), live.end());
    std::sort(deleted.begin(), deleted.end());
    TempPst file(c.name);
    const WrittenLayout layout = pst.WriteWithLayout(file.path());
    for (size_t i = 0; i < deletedMessages.size(); ++i)
        deletedByNid[layout.nids.at(deletedMessages[i])] = int(i);

    const Read r = ReadBoth(file.path());
    ASSERT_NE(r.inbox, nullptr);
    EXPECT_EQ(Subjects(r.inbox->items), live);
    EXPECT_EQ(ContentCount(*r.inbox), c.live);
    EXPECT_EQ(ContentCount(*r.mailbox.root.child("Top of Personal Folders")->child("Deleted Items")), 0);
    EXPECT_TRUE(r.recovery.unreadable.empty()) << r.recovery.unreadable.front();
    EXPECT_TRUE(r.recovery.orphans.empty());
    EXPECT_TRUE(r.recovery.otherTypes.empty());
    EXPECT_EQ(Subjects(r.recovery.messages), deleted);
    for (const Item& item : r.recovery.messages) {
        ASSERT_EQ(deletedByNid.count(item.identifier), 1u) << item.identifier;
        const int i = deletedByNid[item.identifier];
        EXPECT_EQ(item.text(kSubject), "deleted " + std::to_string(i));
        EXPECT_EQ(item.text(kBody), BodyText(c.bodySize, i));
        ASSERT_EQ(item.attachments.size(), c.embedded ? 2u : 1u);
        EXPECT_EQ(item.attachments[0].data, Filled(300 + i, i));
        if (c.embedded) {
            EXPECT_EQ(item.attachments[1].embedded->text(kSubject), "inner " + std::to_string(i));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, DeletedMessagesTest,
    ::testing::Values(DeletedCase{"OneAlone", 0, 1, 40, false, BlockEncoding::Compressible},
                      DeletedCase{"SeveralAmongLiveOnes", 5, 7, 200, false, BlockEncoding::Compressible},
                      DeletedCase{"Unencoded", 2, 3, 200, false, BlockEncoding::None},
                      DeletedCase{"WithEmbeddedMessages", 1, 3, 100, true, BlockEncoding::Compressible},
                      DeletedCase{"BodyOfMoreBlocksThanALeafPageLists", 1, 2, 200000, false, BlockEncoding::Compressible},
                      DeletedCase{"MoreThanOneNodePageHolds", 20, 40, 100, false, BlockEncoding::Compressible},
                      DeletedCase{"AcrossAllocationRegions", 2, 16, 70000, true, BlockEncoding::None},
                      DeletedCase{"MoreThanPageTailsHold", 1, 600, 10, false, BlockEncoding::Compressible}),
    [](const auto& info) { return std::string(info.param.name); });

// Orphans come back through the orphan list only. Of the stale node entries a live message can leave,
// libpff reports the one naming an earlier version's freed blocks (under the live node id), not the
// one equal to the live entry.
TEST(RecoveryOfLiveMessages, OrphansAndEarlierVersions)
{
    PstBuilder pst;
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    inbox.addMessageWithStaleCopy().subject("copied").body("same bytes");
    Message& revised = inbox.addRevisedMessage(Message().subject("draft").body("first").attach("v1", Filled(64, 1)),
                                               Message().subject("final").body("last"));
    Message& orphan = pst.addOrphanMessage().subject("orphan");
    TempPst file("live-versions");
    const WrittenLayout layout = pst.WriteWithLayout(file.path());

    const Read r = ReadBoth(file.path());
    ASSERT_NE(r.inbox, nullptr);
    ASSERT_EQ(Subjects(r.inbox->items), (std::vector<std::string>{"copied", "final"}));
    EXPECT_EQ(r.inbox->items[1].text(kBody), "last");
    ASSERT_EQ(r.recovery.orphans.size(), 1u);
    EXPECT_EQ(r.recovery.orphans[0].identifier, layout.nids.at(&orphan));
    EXPECT_EQ(r.recovery.orphans[0].text(kSubject), "orphan");

    ASSERT_EQ(r.recovery.messages.size(), 1u);
    const Item& earlier = r.recovery.messages[0];
    EXPECT_EQ(earlier.identifier, layout.nids.at(&revised));
    EXPECT_EQ(earlier.text(kBody), "first");
    ASSERT_EQ(earlier.attachments.size(), 1u);
    EXPECT_EQ(earlier.attachments[0].data, Filled(64, 1));
}

// One block of a deleted message overwritten. Blocks come in write order: recipient table first, then
// attachments and the body, the property context and subnode tree last. libpff reads the last two
// before it reports an item, the others only when the item is read, and takes data blocks unchecked.
enum class Outcome { NotRecovered, Unreadable, EmptyBody, OtherBody };

struct DamageCase {
    const char* name;
    int index;  // negative: from the end
    BlockDamage damage;
    Outcome outcome;
};

class DamagedDeletedMessageTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedDeletedMessageTest, SpoilsOnlyThatMessage)
{
    const DamageCase& c = GetParam();
    PstBuilder pst;
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    inbox.addMessage().subject("live");
    const std::string body = BodyText(30000, 1);
    Message& victim = inbox.addDeletedMessage().subject("victim").body(body).attach("v", Filled(300, 1));
    inbox.addDeletedMessage().subject("bystander").body("intact");
    TempPst file(c.name);
    const WrittenLayout layout = pst.WriteWithLayout(file.path());
    const std::vector<BlockExtent>& blocks = layout.deleted.at(&victim).blocks;
    DamageBlock(file.path(), blocks.at(c.index < 0 ? blocks.size() + c.index : size_t(c.index)), c.damage);

    const Read r = ReadBoth(file.path());
    ASSERT_NE(r.inbox, nullptr);
    EXPECT_EQ(Subjects(r.inbox->items), std::vector<std::string>{"live"});
    const bool reported = c.outcome == Outcome::EmptyBody || c.outcome == Outcome::OtherBody;
    EXPECT_EQ(r.recovery.unreadable.size(), c.outcome == Outcome::Unreadable ? 1u : 0u);
    ASSERT_EQ(Subjects(r.recovery.messages),
              (reported ? std::vector<std::string>{"bystander", "victim"} : std::vector<std::string>{"bystander"}));
    for (const Item& item : r.recovery.messages) {
        if (item.text(kSubject) == "bystander") {
            EXPECT_EQ(item.text(kBody), "intact");
        } else {
            EXPECT_EQ(item.text(kBody).empty(), c.outcome == Outcome::EmptyBody);
            EXPECT_NE(item.text(kBody), body);
            ASSERT_EQ(item.attachments.size(), 1u);
            EXPECT_EQ(item.attachments[0].data, Filled(300, 1));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, DamagedDeletedMessageTest,
    ::testing::Values(DamageCase{"SubnodeTreeZeroed", -1, BlockDamage::Zeroed, Outcome::NotRecovered},
                      DamageCase{"PropertyContextZeroed", -2, BlockDamage::Zeroed, Outcome::NotRecovered},
                      DamageCase{"BodyDataTreeZeroed", -3, BlockDamage::Zeroed, Outcome::EmptyBody},
                      DamageCase{"BodyBlockGarbled", -4, BlockDamage::DataGarbled, Outcome::OtherBody},
                      DamageCase{"RecipientTableZeroed", 0, BlockDamage::Zeroed, Outcome::Unreadable}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tolvane::pstwriter
