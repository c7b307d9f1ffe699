// Mailboxes built with the writer and read back through libpff: folders, items and property values.
#include "LibpffReadback.h"
#include "PstBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

namespace tolvane::pstwriter {
namespace {

using readback::Folder;
using readback::Item;
using readback::Mailbox;

class TempPst {
public:
    explicit TempPst(const std::string& name)
        : path_((std::filesystem::temp_directory_path() / ("tolvane-pstwriter-" + std::to_string(::getpid()) + "-" + name + ".pst")).string())
    {
    }
    ~TempPst() { std::filesystem::remove(path_); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

Mailbox WriteAndRead(const PstBuilder& builder, const std::string& name)
{
    TempPst file(name);
    builder.write(file.path());
    std::string error;
    auto mailbox = readback::ReadMailbox(file.path(), &error);
    EXPECT_TRUE(mailbox) << error;
    return mailbox ? std::move(*mailbox) : Mailbox{};
}

const Folder& Top(const Mailbox& mailbox)
{
    static const Folder none;
    const Folder* top = mailbox.root.child("Top of Personal Folders");
    EXPECT_NE(top, nullptr);
    return top ? *top : none;
}

class EncodingTest : public ::testing::TestWithParam<BlockEncoding> {};

TEST_P(EncodingTest, MinimalMailboxHasTheUsualFoldersAndItsItems)
{
    PstBuilder pst(PstBuilderOptions{GetParam(), true, "Personal Folders"});
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    inbox.addMessage()
        .subject("Hello")
        .from("Ann", "ann@example.com")
        .to("Bob", "bob@example.com")
        .body("plain text")
        .htmlBody("<p>hi</p>")
        .sent(FileTime::fromUnixSeconds(1700000000))
        .importance(2);
    auto& nested = inbox.addFolder("Projects").addFolder("2026");
    nested.addMessage().subject("nested one");

    const Mailbox mailbox = WriteAndRead(pst, GetParam() == BlockEncoding::None ? "plain" : "compressible");
    ASSERT_EQ(mailbox.root.folders.size(), 2u);
    EXPECT_EQ(mailbox.root.folders[0].name(), "Top of Personal Folders");
    EXPECT_EQ(mailbox.root.folders[1].name(), "Search Root");
    const Folder& top = Top(mailbox);
    ASSERT_EQ(top.folders.size(), 2u);
    EXPECT_EQ(top.folders[0].name(), "Deleted Items");
    const Folder* readInbox = top.child("Inbox");
    ASSERT_NE(readInbox, nullptr);
    ASSERT_EQ(readInbox->items.size(), 1u);
    const Item& hello = readInbox->items[0];
    EXPECT_EQ(hello.text(0x0037), "Hello");
    EXPECT_EQ(hello.text(0x0C1A), "Ann");
    EXPECT_EQ(hello.text(0x5D01), "ann@example.com");
    EXPECT_EQ(hello.text(0x1000), "plain text");
    EXPECT_EQ(hello.text(0x1013), "<p>hi</p>");
    ASSERT_NE(hello.find(0x0039), nullptr);
    EXPECT_EQ(GetU64(hello.find(0x0039)->data.data()), FileTime::fromUnixSeconds(1700000000).value);
    ASSERT_NE(hello.find(0x0017), nullptr);
    EXPECT_EQ(GetU32(hello.find(0x0017)->data.data()), 2u);
    ASSERT_EQ(hello.recipients.size(), 1u);
    EXPECT_EQ(readback::Utf16LeToUtf8(hello.recipients[0].at(0x3001).data), "Bob");

    const Folder* projects = readInbox->child("Projects");
    ASSERT_NE(projects, nullptr);
    ASSERT_EQ(projects->folders.size(), 1u);
    ASSERT_EQ(projects->folders[0].items.size(), 1u);
    EXPECT_EQ(projects->folders[0].items[0].text(0x0037), "nested one");
}

INSTANTIATE_TEST_SUITE_P(BothEncodings, EncodingTest,
                         ::testing::Values(BlockEncoding::None, BlockEncoding::Compressible));

} // namespace
} // namespace tolvane::pstwriter
