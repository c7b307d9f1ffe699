// Deleted, orphaned and replaced items written by the PST writer, as libpff's recovery sees them: what
// libpff_file_recover_items with its default flags (unallocated space only) and its orphan list return,
// and that the live folders read as if nothing had been deleted.
#include "tests/pstwriter/LibpffReadback.h"
#include "tests/pstwriter/TestFiles.h"
#include "tests/support/BlockDamage.h"
#include "tests/support/PstBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace tolvane::pstwriter {
namespace {

using readback::Folder;
using readback::Item;
using readback::Mailbox;
using readback::Recovery;
using testing::TempPst;

constexpr uint32_t kSubject = 0x0037;
constexpr uint32_t kBody = 0x1000;
constexpr uint32_t kContentCount = 0x3602;

Bytes Filled(size_t size, uint8_t seed)
{
    Bytes data(size);
    for (size_t i = 0; i < size; ++i)
        data[i] = uint8_t(i * 131 + seed + i / 977);
    return data;
}

std::string BodyText(size_t size, int seed)
{
    std::string text;
    while (text.size() < size)
        text += "line " + std::to_string(seed) + "." + std::to_string(text.size()) + " of a deleted body\r\n";
    text.resize(size);
    return text;
}

struct Written {
    Mailbox mailbox;
    Recovery recovery;
    WrittenLayout layout;
};

Written WriteAndRecover(const PstBuilder& builder, const std::string& name)
{
    TempPst file(name);
    Written out;
    out.layout = builder.WriteWithLayout(file.path());
    std::string error;
    auto mailbox = readback::ReadMailbox(file.path(), &error);
    EXPECT_TRUE(mailbox) << error;
    auto recovery = readback::ReadRecovery(file.path(), &error);
    EXPECT_TRUE(recovery) << error;
    if (mailbox)
        out.mailbox = std::move(*mailbox);
    if (recovery)
        out.recovery = std::move(*recovery);
    return out;
}

const Folder* TopFolder(const Mailbox& mailbox, std::string_view name)
{
    const Folder* top = mailbox.root.child("Top of Personal Folders");
    return top ? top->child(name) : nullptr;
}

std::vector<std::string> Subjects(const std::vector<Item>& items)
{
    std::vector<std::string> subjects;
    for (const Item& item : items)
        subjects.push_back(item.text(kSubject));
    std::sort(subjects.begin(), subjects.end());
    return subjects;
}

int32_t ContentCountOf(const Folder& folder)
{
    auto it = folder.properties.find(kContentCount);
    return it == folder.properties.end() || it->second.data.size() < 4 ? -1 : int32_t(GetU32(it->second.data.data()));
}

struct DeletedCase {
    const char* name;
    int live;
    int deleted;
    size_t bodySize;  // bodies over one block's worth become data trees of several blocks
    bool embedded;    // each deleted message also carries an embedded message
    BlockEncoding encoding;
};

class DeletedMessagesTest : public ::testing::TestWithParam<DeletedCase> {};

TEST_P(DeletedMessagesTest, RecoveryFindsExactlyTheDeletedOnesAndTheFoldersOnlyTheLiveOnes)
{
    const DeletedCase& c = GetParam();
    PstBuilder pst(PstBuilderOptions{c.encoding, true, "Personal Folders"});
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    std::vector<std::string> liveSubjects, deletedSubjects;
    std::map<std::string, const Message*> deletedBySubject;
    for (int i = 0; i < c.deleted; ++i) {
        // Alternate folders, so deleted entries fall between live ones of several folders.
        PstFolder& folder = (i % 2 == 0 || !pst.deletedItems()) ? inbox : *pst.deletedItems();
        Message& message = folder.addDeletedMessage()
                               .subject("deleted " + std::to_string(i))
                               .body(BodyText(c.bodySize, i))
                               .attach("d" + std::to_string(i) + ".bin", Filled(300 + i, uint8_t(i)));
        if (c.embedded)
            message.embed(Message().subject("inner " + std::to_string(i)).body("inner body"), "inner");
        deletedSubjects.push_back("deleted " + std::to_string(i));
        deletedBySubject[deletedSubjects.back()] = &message;
        if (i < c.live) {
            inbox.addMessage().subject("live " + std::to_string(i)).body("live body");
            liveSubjects.push_back("live " + std::to_string(i));
        }
    }
    for (int i = c.deleted; i < c.live; ++i) {
        inbox.addMessage().subject("live " + std::to_string(i)).body("live body");
        liveSubjects.push_back("live " + std::to_string(i));
    }
    std::sort(liveSubjects.begin(), liveSubjects.end());
    std::sort(deletedSubjects.begin(), deletedSubjects.end());

    const Written w = WriteAndRecover(pst, c.name);
    const Folder* inboxRead = TopFolder(w.mailbox, "Inbox");
    const Folder* trashRead = TopFolder(w.mailbox, "Deleted Items");
    ASSERT_NE(inboxRead, nullptr);
    ASSERT_NE(trashRead, nullptr);
    EXPECT_EQ(Subjects(inboxRead->items), liveSubjects);
    EXPECT_TRUE(trashRead->items.empty());
    EXPECT_EQ(ContentCountOf(*inboxRead), c.live);
    EXPECT_EQ(ContentCountOf(*trashRead), 0);

    EXPECT_TRUE(w.recovery.unreadable.empty()) << w.recovery.unreadable.front();
    EXPECT_TRUE(w.recovery.orphans.empty());
    EXPECT_EQ(Subjects(w.recovery.messages), deletedSubjects);
    for (const Item& item : w.recovery.messages) {
        const std::string subject = item.text(kSubject);
        SCOPED_TRACE(subject);
        ASSERT_EQ(deletedBySubject.count(subject), 1u);
        const int i = std::stoi(subject.substr(std::string("deleted ").size()));
        EXPECT_EQ(item.identifier, w.layout.nids.at(deletedBySubject[subject]));
        EXPECT_EQ(item.text(kBody), BodyText(c.bodySize, i));
        ASSERT_EQ(item.attachments.size(), c.embedded ? 2u : 1u);
        EXPECT_EQ(item.attachments[0].data, Filled(300 + i, uint8_t(i)));
        if (c.embedded) {
            ASSERT_NE(item.attachments[1].embedded, nullptr);
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
                      DeletedCase{"BodiesOfSeveralBlocks", 3, 4, 30000, false, BlockEncoding::Compressible},
                      DeletedCase{"BodyOfMoreBlocksThanALeafPageLists", 1, 1, 200000, false,
                                  BlockEncoding::Compressible},
                      DeletedCase{"MoreThanOneNodePageHolds", 20, 40, 100, false, BlockEncoding::Compressible},
                      DeletedCase{"AcrossAllocationRegions", 2, 16, 70000, true, BlockEncoding::None}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OrphanMessages, ComeBackThroughTheOrphanListOnly)
{
    PstBuilder pst;
    pst.topOfPersonalFolders().addFolder("Inbox").addMessage().subject("live");
    Message& first = pst.addOrphanMessage().subject("orphan 1").body("first orphan");
    Message& second = pst.addOrphanMessage("IPM.Contact").subject("orphan 2");
    const Written w = WriteAndRecover(pst, "orphans");

    EXPECT_EQ(Subjects(w.recovery.orphans), (std::vector<std::string>{"orphan 1", "orphan 2"}));
    EXPECT_TRUE(w.recovery.unreadableOrphans.empty());
    std::set<uint32_t> ids;
    for (const Item& item : w.recovery.orphans)
        ids.insert(item.identifier);
    EXPECT_EQ(ids, (std::set<uint32_t>{w.layout.nids.at(&first), w.layout.nids.at(&second)}));
    EXPECT_TRUE(w.recovery.messages.empty());
    const Folder* inbox = TopFolder(w.mailbox, "Inbox");
    ASSERT_NE(inbox, nullptr);
    EXPECT_EQ(Subjects(inbox->items), std::vector<std::string>{"live"});
}

// What libpff's recovery makes of the stale entries a live message can leave: a stale node entry equal
// to the live one is not reported; one naming an earlier version's freed blocks is reported as that
// earlier version, under the live message's node id.
TEST(MessageVersions, OnlyAnEarlierVersionIsRecovered)
{
    PstBuilder pst;
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    Message& copied = inbox.addMessageWithStaleCopy().subject("stale copy").body("same bytes");
    Message& revised = inbox.addRevisedMessage(Message().subject("draft").body("first words").attach("v1.txt", Filled(64, 1)),
                                               Message().subject("final").body("last words"));
    const Written w = WriteAndRecover(pst, "versions");

    const Folder* inboxRead = TopFolder(w.mailbox, "Inbox");
    ASSERT_NE(inboxRead, nullptr);
    ASSERT_EQ(Subjects(inboxRead->items), (std::vector<std::string>{"final", "stale copy"}));
    EXPECT_EQ(ContentCountOf(*inboxRead), 2);
    for (const Item& item : inboxRead->items)
        EXPECT_EQ(item.text(kBody), item.text(kSubject) == "final" ? "last words" : "same bytes");

    ASSERT_EQ(w.recovery.messages.size(), 1u);
    EXPECT_TRUE(w.recovery.unreadable.empty());
    const Item& earlier = w.recovery.messages[0];
    EXPECT_EQ(earlier.text(kSubject), "draft");
    EXPECT_EQ(earlier.text(kBody), "first words");
    ASSERT_EQ(earlier.attachments.size(), 1u);
    EXPECT_EQ(earlier.attachments[0].data, Filled(64, 1));
    EXPECT_EQ(earlier.identifier, w.layout.nids.at(&revised));
    EXPECT_NE(earlier.identifier, w.layout.nids.at(&copied));
}

// A deleted message with one block overwritten after writing. Its blocks come in write order: recipient
// table first, then attachments and the body's blocks, the property context and subnode tree last.
enum class Outcome { NotRecovered, Unreadable, RecoveredWithEmptyBody, RecoveredWithOtherBody };

struct DamageCase {
    const char* name;
    bool fromEnd;  // index counted from the last block (1 = last)
    size_t index;
    BlockDamage damage;
    Outcome outcome;
};

class DamagedDeletedMessageTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedDeletedMessageTest, SpoilsOnlyThatMessage)
{
    const DamageCase& c = GetParam();
    PstBuilder pst;
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    inbox.addMessage().subject("live").body("live body");
    const std::string body = BodyText(30000, 1);  // several blocks under a data tree
    Message& victim = inbox.addDeletedMessage().subject("victim").body(body).attach("v.bin", Filled(300, 1));
    inbox.addDeletedMessage().subject("bystander").body("intact").attach("b.bin", Filled(30, 2));
    TempPst file(c.name);
    const WrittenLayout layout = pst.WriteWithLayout(file.path());
    const std::vector<BlockExtent>& blocks = layout.deleted.at(&victim).blocks;
    ASSERT_GT(blocks.size(), c.index);
    DamageBlock(file.path(), blocks[c.fromEnd ? blocks.size() - c.index : c.index], c.damage);

    std::string error;
    const auto mailbox = readback::ReadMailbox(file.path(), &error);
    ASSERT_TRUE(mailbox) << error;
    const Folder* inboxRead = TopFolder(*mailbox, "Inbox");
    ASSERT_NE(inboxRead, nullptr);
    ASSERT_EQ(Subjects(inboxRead->items), std::vector<std::string>{"live"});
    EXPECT_EQ(inboxRead->items[0].text(kBody), "live body");

    const auto recovery = readback::ReadRecovery(file.path(), &error);
    ASSERT_TRUE(recovery) << error;
    const Item* bystander = nullptr;
    const Item* recoveredVictim = nullptr;
    for (const Item& item : recovery->messages)
        (item.text(kSubject) == "bystander" ? bystander : recoveredVictim) = &item;
    ASSERT_NE(bystander, nullptr);
    EXPECT_EQ(bystander->text(kBody), "intact");
    ASSERT_EQ(bystander->attachments.size(), 1u);
    EXPECT_EQ(bystander->attachments[0].data, Filled(30, 2));

    EXPECT_EQ(recovery->messages.size(), c.outcome == Outcome::NotRecovered || c.outcome == Outcome::Unreadable ? 1u : 2u);
    EXPECT_EQ(recovery->unreadable.size(), c.outcome == Outcome::Unreadable ? 1u : 0u);
    if (c.outcome == Outcome::RecoveredWithEmptyBody || c.outcome == Outcome::RecoveredWithOtherBody) {
        ASSERT_NE(recoveredVictim, nullptr);
        EXPECT_EQ(recoveredVictim->text(kSubject), "victim");
        if (c.outcome == Outcome::RecoveredWithEmptyBody)
            EXPECT_EQ(recoveredVictim->text(kBody), "");  // the property is listed, its value reads as empty
        else
            EXPECT_NE(recoveredVictim->text(kBody), body);
        ASSERT_EQ(recoveredVictim->attachments.size(), 1u);
        EXPECT_EQ(recoveredVictim->attachments[0].data, Filled(300, 1));
    }
}

// What libpff 20180714 does with each: it reads a recovered message's property context and subnode
// tree before reporting it, the other blocks only when the message is read, and does not check the
// checksum of a data block it reads.
INSTANTIATE_TEST_SUITE_P(
    Blocks, DamagedDeletedMessageTest,
    ::testing::Values(
        DamageCase{"SubnodeTreeZeroed", true, 1, BlockDamage::Zeroed, Outcome::NotRecovered},
        DamageCase{"PropertyContextZeroed", true, 2, BlockDamage::Zeroed, Outcome::NotRecovered},
        DamageCase{"BodyDataTreeZeroed", true, 3, BlockDamage::Zeroed, Outcome::RecoveredWithEmptyBody},
        DamageCase{"BodyBlockGarbled", true, 4, BlockDamage::DataGarbled, Outcome::RecoveredWithOtherBody},
        DamageCase{"RecipientTableZeroed", false, 0, BlockDamage::Zeroed, Outcome::Unreadable}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tolvane::pstwriter
