// mkpst and the demo mailbox, read back through libpff and listed by the independent lspst reader.
#include "tests/pstwriter/LibpffReadback.h"
#include "pstwriter/PstBuilder.h"
#include "tests/pstwriter/PstFileInspector.h"
#include "tests/pstwriter/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

namespace tolvane::pstwriter {
namespace {

namespace fs = std::filesystem;
using testing::TempPst;

const std::string mkpst = std::string(TOLVANE_BIN_DIR) + "/mkpst";
const std::string lspst = "/usr/bin/lspst";

std::string RunCommand(const std::string& command, int* status)
{
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        *status = -1;
        return out;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    *status = ::pclose(pipe);
    return out;
}

struct Counts {
    std::map<std::string, int> byClass;  // message class -> items
    int folders = 0;
    int embedded = 0;
    int attachments = 0;
};

void CountAttachments(const readback::Item& item, Counts& counts)
{
    for (const auto& a : item.attachments) {
        ++counts.attachments;
        if (a.embedded) {
            ++counts.embedded;
            CountAttachments(*a.embedded, counts);
        }
    }
}

void Count(const readback::Folder& folder, Counts& counts)
{
    ++counts.folders;
    for (const auto& item : folder.items) {
        ++counts.byClass[item.text(0x001A)];
        CountAttachments(item, counts);
    }
    for (const auto& child : folder.folders)
        Count(child, counts);
}

// Lines of lspst output by their first word ("Folder", "Email", "Contact", "Appointment", ...).
std::map<std::string, int> ListedKinds(const std::string& listing)
{
    std::map<std::string, int> kinds;
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line))
        ++kinds[line.substr(0, line.find_first_of(" \t"))];
    return kinds;
}

TEST(Mkpst, SameArgumentsSameBytesOtherSeedOtherBytes)
{
    if (!fs::exists(mkpst))
        GTEST_SKIP() << "mkpst not built";
    TempPst a("mkpst-a"), b("mkpst-b"), c("mkpst-c");
    int status = 0;
    const std::string args = " --messages 120 --folders 5 --attachment-ratio 0.3 --embedded-ratio 0.1 --contacts 3 ";
    RunCommand(mkpst + args + "--seed 5 " + a.path(), &status);
    ASSERT_EQ(status, 0);
    RunCommand(mkpst + args + "--seed 5 " + b.path(), &status);
    ASSERT_EQ(status, 0);
    RunCommand(mkpst + args + "--seed 6 " + c.path(), &status);
    ASSERT_EQ(status, 0);
    const auto first = testing::InspectPst(a.path());
    EXPECT_TRUE(first.problems.empty());
    EXPECT_EQ(first.file, testing::InspectPst(b.path()).file);
    EXPECT_NE(first.file, testing::InspectPst(c.path()).file);
}

TEST(Mkpst, RejectsBadArguments)
{
    if (!fs::exists(mkpst))
        GTEST_SKIP() << "mkpst not built";
    TempPst out("mkpst-bad");
    for (const char* args : {"--messages", "--messages x", "--attachment-ratio 1.5", "--folders 0", "--bogus"}) {
        int status = 0;
        RunCommand(mkpst + " " + args + " " + out.path() + " 2>/dev/null", &status);
        EXPECT_NE(status, 0) << args;
        EXPECT_FALSE(fs::exists(out.path())) << args;
    }
}

TEST(Mkpst, WhatItReportsIsWhatLibpffAndLspstFind)
{
    if (!fs::exists(mkpst))
        GTEST_SKIP() << "mkpst not built";
    TempPst file("mkpst-counts");
    int status = 0;
    const std::string summary = RunCommand(mkpst + " --messages 400 --folders 8 --depth 3 --attachment-ratio 0.3 "
                                            "--embedded-ratio 0.05 --contacts 12 --appointments 7 --big-folder 60 " +
                                        file.path(),
                                    &status);
    ASSERT_EQ(status, 0) << summary;
    unsigned long long folders = 0, mails = 0, contacts = 0, appointments = 0, attachments = 0, embedded = 0;
    ASSERT_EQ(std::sscanf(summary.c_str(), "folders %llu mails %llu contacts %llu appointments %llu attachments %llu embedded %llu",
                          &folders, &mails, &contacts, &appointments, &attachments, &embedded),
              6)
        << summary;
    EXPECT_EQ(mails, 460u);

    std::string error;
    const auto mailbox = readback::ReadMailbox(file.path(), &error);
    ASSERT_TRUE(mailbox) << error;
    Counts counts;
    Count(mailbox->root, counts);
    EXPECT_EQ(counts.byClass["IPM.Note"], int(mails));
    EXPECT_EQ(counts.byClass["IPM.Contact"], int(contacts));
    EXPECT_EQ(counts.byClass["IPM.Appointment"], int(appointments));
    EXPECT_EQ(counts.attachments, int(attachments));
    EXPECT_EQ(counts.embedded, int(embedded));
    EXPECT_EQ(counts.folders, int(folders) + 3);  // plus root, top of personal folders and search root

    if (!fs::exists(lspst))
        GTEST_SKIP() << "lspst not installed";
    auto kinds = ListedKinds(RunCommand(lspst + " " + file.path() + " 2>/dev/null", &status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(kinds["Email"], int(mails));
    EXPECT_EQ(kinds["Contact"], int(contacts));
    EXPECT_EQ(kinds["Appointment"], int(appointments));
}

TEST(Lspst, ListsTheFoldersAndItemsTheBuilderWrote)
{
    if (!fs::exists(lspst))
        GTEST_SKIP() << "lspst not installed";
    PstBuilder pst;
    auto& top = pst.topOfPersonalFolders();
    const std::map<std::string, int> mailsPerFolder = {{"Inbox", 7}, {"Ålesund", 3}, {"日本", 2}, {"Deep", 1}};
    PstFolder* deep = &top;
    for (int level = 0; level < 10; ++level)
        deep = &deep->addFolder("level " + std::to_string(level));
    for (const auto& [name, count] : mailsPerFolder) {
        PstFolder& folder = name == "Deep" ? deep->addFolder(name) : top.addFolder(name);
        for (int i = 0; i < count; ++i)
            folder.addMessage().subject(name + " " + std::to_string(i)).from("Ann", "ann@example.com");
    }
    top.addFolder("People").containerClass("IPF.Contact").addContact("Jane", "Doe").fileUnder("Doe, Jane");
    TempPst file("lspst");
    pst.Write(file.path());
    int status = 0;
    const std::string listing = RunCommand(lspst + " " + file.path() + " 2>/dev/null", &status);
    EXPECT_EQ(status, 0);
    auto kinds = ListedKinds(listing);
    EXPECT_EQ(kinds["Email"], 13);
    EXPECT_EQ(kinds["Contact"], 1);
    for (const auto& [name, count] : mailsPerFolder)
        EXPECT_NE(listing.find("Folder \"" + name + "\""), std::string::npos) << name;
}

// Deleted mails come back through libpff's recovery only; the live ones, as libpff and lspst read them,
// are those of the same mailbox written without deleted mails.
TEST(Mkpst, DeletedMailsAreRecoveredAndLeaveTheLiveOnesAsTheyWere)
{
    if (!fs::exists(mkpst) || !fs::exists(lspst))
        GTEST_SKIP() << "mkpst not built or lspst not installed";
    TempPst plain("mkpst-plain"), withDeleted("mkpst-deleted");
    const std::string arguments = mkpst + " --messages 60 --folders 4 --attachment-ratio 0.5 --embedded-ratio 0.2 ";
    int status = 0;
    RunCommand(arguments + plain.path(), &status);
    const std::string summary = RunCommand(arguments + "--deleted 9 " + withDeleted.path(), &status);
    ASSERT_NE(summary.find(" deleted 9\n"), std::string::npos) << summary;
    const auto before = readback::ReadMailbox(plain.path()), after = readback::ReadMailbox(withDeleted.path());
    const auto recovery = readback::ReadRecovery(withDeleted.path());
    ASSERT_TRUE(before && after && recovery);
    Counts live, liveWithDeleted;
    Count(before->root, live);
    Count(after->root, liveWithDeleted);
    EXPECT_EQ(liveWithDeleted.byClass, live.byClass);
    EXPECT_EQ(liveWithDeleted.attachments, live.attachments);
    EXPECT_EQ(recovery->messages.size(), 9u);
    EXPECT_TRUE(recovery->unreadable.empty());
    EXPECT_EQ(RunCommand(lspst + " " + withDeleted.path() + " 2>/dev/null", &status),
              RunCommand(lspst + " " + plain.path() + " 2>/dev/null", &status));
}

TEST(DemoMailbox, HoldsVariedItemsThatLibpffReads)
{
    const fs::path demo = fs::path(TOLVANE_BIN_DIR).parent_path() / "demo" / "demo.pst";
    if (!fs::exists(demo))
        GTEST_SKIP() << "demo mailbox not built: " << demo;
    std::string error;
    const auto mailbox = readback::ReadMailbox(demo.string(), &error);
    ASSERT_TRUE(mailbox) << error;
    Counts counts;
    Count(mailbox->root, counts);
    int items = 0;
    for (const auto& [cls, n] : counts.byClass)
        items += n;
    EXPECT_GE(items, 45);
    EXPECT_GE(counts.byClass["IPM.Contact"], 5);
    EXPECT_GE(counts.byClass["IPM.Appointment"], 3);
    EXPECT_GE(counts.embedded, 1);
    EXPECT_GE(counts.attachments, 10);
    EXPECT_TRUE(testing::InspectPst(demo.string()).problems.empty());
}

} // namespace
} // namespace tolvane::pstwriter
