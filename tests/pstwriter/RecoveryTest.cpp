// Deleted, orphaned and replaced items written by the PST writer, as libpff's recovery sees them.
#include "tests/pstwriter/LibpffReadback.h"
#include "tests/pstwriter/TestFiles.h"
#include "tests/support/PstBuilder.h"

#include <gtest/gtest.h>

#include <iostream>

namespace tolvane::pstwriter {
namespace {

using readback::Recovery;
using testing::TempPst;

TEST(RecoveryExplore, Dump)
{
    PstBuilder pst;
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    inbox.addMessage().subject("live one").body("live body");
    inbox.addDeletedMessage().subject("deleted one").body("deleted body").attach("a.txt", Bytes{'a', 'b'});
    inbox.addDeletedMessage().subject("deleted two").body("deleted body 2");
    inbox.addMessageWithStaleCopy().subject("stale copy").body("same");
    inbox.addRevisedMessage(Message().subject("earlier").body("first draft"), Message().subject("current").body("final"));
    pst.addOrphanMessage().subject("orphan").body("orphan body");
    TempPst file("explore");
    const WrittenLayout layout = pst.WriteWithLayout(file.path());
    std::system(("cp " + file.path() + " /tmp/explore.pst").c_str());
    for (const auto& [m, nid] : layout.nids)
        std::cout << "nid " << std::hex << nid << " " << std::dec << m->find(tags::Subject).has_value() << "\n";
    std::string error;
    auto r = readback::ReadRecovery(file.path(), &error);
    ASSERT_TRUE(r) << error;
    std::cout << "recovered messages " << r->messages.size() << " other " << r->otherTypes.size() << " unreadable "
              << r->unreadable.size() << " orphans " << r->orphans.size() << "\n";
    for (const auto& i : r->messages)
        std::cout << "  rec " << std::hex << i.identifier << std::dec << " " << i.text(0x0037) << " att "
                  << i.attachments.size() << "\n";
    for (int t : r->otherTypes)
        std::cout << "  other type " << t << "\n";
    for (const auto& u : r->unreadable)
        std::cout << "  unreadable " << u << "\n";
    for (const auto& i : r->orphans)
        std::cout << "  orphan " << std::hex << i.identifier << std::dec << " " << i.text(0x0037) << "\n";
}

}  // namespace
}  // namespace tolvane::pstwriter
