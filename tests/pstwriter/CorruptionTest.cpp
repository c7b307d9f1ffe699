// Damages a written file one byte at a time and records what libpff notices. This documents, for the
// readers of mailboxes, which faults surface as errors and which pass silently: libpff checks the file
// signature, the header checksum and heap signatures, but not page or block checksums, so a damaged
// data block yields changed values without any error.
#include "tests/pstwriter/LibpffReadback.h"
#include "pstwriter/PstBuilder.h"
#include "tests/pstwriter/PstFileInspector.h"
#include "tests/pstwriter/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

namespace tolvane::pstwriter {
namespace {

using testing::PstLayout;
using testing::TempPst;

enum class Outcome { OpenFails, WalkFails, ValuesChange, NoVisibleEffect };

const char* OutcomeName(Outcome o)
{
    switch (o) {
    case Outcome::OpenFails:
        return "open fails";
    case Outcome::WalkFails:
        return "walk fails";
    case Outcome::ValuesChange:
        return "values change silently";
    default:
        return "no visible effect";
    }
}

struct Fixture {
    Bytes attachment;
    TempPst file{"corruption-base"};
    PstLayout layout;
    readback::Mailbox original;

    Fixture()
    {
        attachment.resize(20000);
        for (size_t i = 0; i < attachment.size(); ++i)
            attachment[i] = uint8_t(i * 7);
        PstBuilder pst;
        auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
        inbox.addMessage().subject("one").body("body one").attach("a.bin", attachment);
        inbox.addMessage().subject("two").body("body two");
        pst.Write(file.path());
        layout = testing::InspectPst(file.path());
        original = *readback::ReadMailbox(file.path());
    }

    uint64_t blockOffset(uint64_t bid) const { return layout.blocks.at(bid & ~1ull).offset; }
    uint32_t firstMessage() const
    {
        for (const auto& [nid, node] : layout.nodes)
            if ((nid & 0x1F) == 0x04)
                return nid;
        return 0;
    }
    // First data block of the first message's attachment (subnode 0x8005, a data tree).
    uint64_t attachmentDataBlock() const
    {
        auto subnodeBid = [&](uint64_t slBid, uint32_t nid, bool wantSub) -> uint64_t {
            const Bytes sl = testing::StoredBlock(layout, slBid);
            for (size_t i = 0; i < GetU16(sl.data() + 2); ++i)
                if (GetU64(sl.data() + 8 + i * 24) == nid)
                    return GetU64(sl.data() + 8 + i * 24 + (wantSub ? 16 : 8));
            return 0;
        };
        const uint64_t attachmentSub = subnodeBid(layout.nodes.at(firstMessage()).subnodeBid, 0x8005, true);
        const uint64_t tree = subnodeBid(attachmentSub, 0x801F, false);
        return GetU64(testing::StoredBlock(layout, tree).data() + 8);
    }
};

Fixture& Shared()
{
    static Fixture fixture;
    return fixture;
}

Outcome Classify(const Bytes& damaged)
{
    Fixture& f = Shared();
    TempPst file("corruption-damaged");
    std::ofstream(file.path(), std::ios::binary).write(reinterpret_cast<const char*>(damaged.data()), long(damaged.size()));
    std::string error;
    auto mailbox = readback::ReadMailbox(file.path(), &error);
    if (!mailbox)
        return error.find("open:") == 0 ? Outcome::OpenFails : Outcome::WalkFails;
    const auto* top = mailbox->root.child("Top of Personal Folders");
    const auto* inbox = top ? top->child("Inbox") : nullptr;
    const auto* originalInbox = f.original.root.child("Top of Personal Folders")->child("Inbox");
    if (!inbox || inbox->items.size() != originalInbox->items.size())
        return Outcome::ValuesChange;
    for (size_t i = 0; i < inbox->items.size(); ++i) {
        const auto& a = inbox->items[i];
        const auto& b = originalInbox->items[i];
        if (a.properties != b.properties || a.attachments.size() != b.attachments.size())
            return Outcome::ValuesChange;
        for (size_t k = 0; k < a.attachments.size(); ++k)
            if (a.attachments[k].data != b.attachments[k].data)
                return Outcome::ValuesChange;
    }
    return Outcome::NoVisibleEffect;
}

struct DamageCase {
    const char* name;
    std::function<uint64_t(const Fixture&)> offset;
    Outcome expected;
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

class CorruptionTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(CorruptionTest, LibpffNoticesOnlySomeFaults)
{
    Fixture& f = Shared();
    ASSERT_TRUE(f.layout.problems.empty());
    Bytes damaged = f.layout.file;
    const uint64_t offset = GetParam().offset(f);
    ASSERT_LT(offset, damaged.size());
    damaged[offset] ^= 0x5A;
    const Outcome outcome = Classify(damaged);
    EXPECT_EQ(OutcomeName(outcome), std::string(OutcomeName(GetParam().expected)));
    // Our own checks see every one of these faults.
    TempPst file("corruption-inspect");
    std::ofstream(file.path(), std::ios::binary).write(reinterpret_cast<const char*>(damaged.data()), long(damaged.size()));
    EXPECT_FALSE(testing::InspectPst(file.path()).problems.empty());
}

INSTANTIATE_TEST_SUITE_P(
    OneByte, CorruptionTest,
    ::testing::Values(
        DamageCase{"signature", [](const Fixture&) { return 0u; }, Outcome::OpenFails},
        DamageCase{"headerField", [](const Fixture&) { return 0x20u; }, Outcome::OpenFails},
        DamageCase{"nodeTreeRootReference", [](const Fixture&) { return 224u; }, Outcome::OpenFails},
        DamageCase{"nodePageChecksum",
                   [](const Fixture& f) { return GetU64(f.layout.file.data() + 224) + 500; }, Outcome::NoVisibleEffect},
        DamageCase{"blockPageChecksum",
                   [](const Fixture& f) { return GetU64(f.layout.file.data() + 240) + 500; }, Outcome::NoVisibleEffect},
        DamageCase{"allocationMap", [](const Fixture&) { return 0x4400u + 100; }, Outcome::NoVisibleEffect},
        DamageCase{"messageHeapSignature",
                   [](const Fixture& f) { return f.blockOffset(f.layout.nodes.at(f.firstMessage()).dataBid) + 2; },
                   Outcome::WalkFails},
        DamageCase{"rootFolderHeapSignature",
                   [](const Fixture& f) { return f.blockOffset(f.layout.nodes.at(0x122).dataBid) + 2; },
                   Outcome::WalkFails},
        DamageCase{"messageHeapValue",
                   [](const Fixture& f) { return f.blockOffset(f.layout.nodes.at(f.firstMessage()).dataBid) + 60; },
                   Outcome::ValuesChange},
        DamageCase{"attachmentData", [](const Fixture& f) { return f.blockOffset(f.attachmentDataBlock()) + 100; },
                   Outcome::ValuesChange},
        DamageCase{"blockTrailerChecksum",
                   [](const Fixture& f) { return f.blockOffset(f.attachmentDataBlock()) + 8176 + 4; },
                   Outcome::NoVisibleEffect}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Corruption, TruncationMattersOnlyWhereDataWas)
{
    Fixture& f = Shared();
    // Cut before the B-tree pages (written last): the open still succeeds (libpff reads the trees
    // lazily), the walk fails.
    const Bytes cut(f.layout.file.begin(), f.layout.file.begin() + long(f.blockOffset(f.attachmentDataBlock())));
    EXPECT_EQ(OutcomeName(Classify(cut)), std::string(OutcomeName(Outcome::WalkFails)));
    // Cut after the last page: only the unused tail of the allocation region is lost, and libpff
    // does not compare the file's size with the size the header records.
    uint64_t lastUsed = 0;
    for (uint64_t page : f.layout.pageOffsets)
        lastUsed = std::max(lastUsed, page + 512);
    const Bytes tail(f.layout.file.begin(), f.layout.file.begin() + long(lastUsed));
    EXPECT_EQ(OutcomeName(Classify(tail)), std::string(OutcomeName(Outcome::NoVisibleEffect)));
}

} // namespace
} // namespace tolvane::pstwriter
