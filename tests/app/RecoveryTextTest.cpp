// The words both front ends give a recovery's counts: the kinds' words for one
// and for many, their order, what was left out, and the failed search.
#include "frontend/RecoveryText.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tolvane {
namespace {

struct KindsCase {
    const char* name;
    RecoveryTally tally;
    const char* text;
};

RecoveryTally Tally(std::initializer_list<std::pair<int RecoveryTally::*, int>> counts)
{
    RecoveryTally tally;
    for (const auto& [count, value] : counts)
        tally.*count = value;
    return tally;
}

TEST(RecoveryTextTest, KindsAreCountedInTheirOrderWithTheirWordForOneAndForMany)
{
    const KindsCase cases[] = {
        {"none", {}, "nothing"},
        {"left out only", Tally({{&RecoveryTally::internal, 4}, {&RecoveryTally::unreadable, 1}}), "nothing"},
        {"one of each",
         Tally({{&RecoveryTally::mail, 1}, {&RecoveryTally::appointments, 1}, {&RecoveryTally::contacts, 1},
                {&RecoveryTally::tasks, 1}, {&RecoveryTally::notes, 1}, {&RecoveryTally::journal, 1},
                {&RecoveryTally::lists, 1}}),
         "1 mail, 1 appointment, 1 contact, 1 task, 1 note, 1 journal entry, 1 distribution list"},
        {"many of each, given in another order",
         Tally({{&RecoveryTally::lists, 7}, {&RecoveryTally::journal, 6}, {&RecoveryTally::notes, 5},
                {&RecoveryTally::tasks, 4}, {&RecoveryTally::contacts, 3}, {&RecoveryTally::appointments, 2},
                {&RecoveryTally::mail, 12}}),
         "12 mails, 2 appointments, 3 contacts, 4 tasks, 5 notes, 6 journal entries, 7 distribution lists"},
        {"zero kinds are left out", Tally({{&RecoveryTally::mail, 3}, {&RecoveryTally::contacts, 1}}),
         "3 mails, 1 contact"},
    };
    for (const KindsCase& c : cases)
        EXPECT_EQ(RecoveredKindsText(c.tally).toStdString(), c.text) << c.name;
}

struct LinesCase {
    const char* name;
    RecoveryReport report;
    QStringList lines;
};

TEST(RecoveryTextTest, SummaryLinesNameEachSourceAndWhatWasLeftOut)
{
    RecoveryReport failed;
    failed.failure = QStringLiteral("libpff could not read the file's free space");
    failed.orphans = Tally({{&RecoveryTally::mail, 1}});

    RecoveryReport leftOut;
    leftOut.recovered = Tally({{&RecoveryTally::mail, 2}, {&RecoveryTally::duplicates, 1},
                               {&RecoveryTally::internal, 3}, {&RecoveryTally::unreadable, 2}});
    leftOut.orphans = Tally({{&RecoveryTally::duplicates, 2}, {&RecoveryTally::internal, 1},
                             {&RecoveryTally::unreadable, 1}});

    const LinesCase cases[] = {
        {"nothing found", {}, {QStringLiteral("Recovered: nothing"), QStringLiteral("Orphans: nothing")}},
        {"the search failed",
         failed,
         {QStringLiteral("The search for deleted items failed: libpff could not read the file's free space"),
          QStringLiteral("Recovered: nothing"), QStringLiteral("Orphans: 1 mail")}},
        {"left out, for one and for many",
         leftOut,
         {QStringLiteral("Recovered: 2 mails; left out: 1 the same as a live item, 3 without user content, "
                         "2 unreadable"),
          QStringLiteral("Orphans: nothing; left out: 2 the same as live items, 1 without user content, "
                         "1 unreadable")}},
    };
    for (const LinesCase& c : cases)
        EXPECT_EQ(RecoverySummaryLines(c.report), c.lines) << c.name;
}

// `scan --json` names every kind by a key of its own, and every count of a
// tally that is kept appears once.
TEST(RecoveryTextTest, EveryKeptKindHasAJsonKeyOfItsOwn)
{
    std::set<std::string> keys;
    RecoveryTally tally;
    int value = 0;
    for (const RecoveredKind& kind : RecoveredKinds()) {
        EXPECT_TRUE(keys.insert(kind.jsonKey).second) << kind.jsonKey;
        EXPECT_EQ(tally.*kind.count, 0) << kind.jsonKey << " counted twice";
        tally.*kind.count = ++value;
    }
    EXPECT_EQ(tally.kept(), value * (value + 1) / 2) << "a kept kind has no entry";
    EXPECT_EQ(keys, (std::set<std::string>{"mail", "appointments", "contacts", "tasks", "notes", "journal",
                                           "distributionLists"}));
}

}  // namespace
}  // namespace tolvane
