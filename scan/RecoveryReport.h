// What a scan with recovery found outside the mailbox's folders: per source
// (deleted items the file still holds, items whose folder is gone) how many
// items of each kind became records, and how many were left out and why.
// Counts only: the front ends put them into words (app/RecoveryText.h).
#pragma once

#include <QString>

namespace tolvane {

struct RecoveryTally {
    int mail = 0;
    int appointments = 0;
    int contacts = 0;
    int tasks = 0;
    int notes = 0;
    int journal = 0;
    int lists = 0;
    int internal = 0;    // internal tables, folders, free/busy data: no user content
    int duplicates = 0;  // the same message as a live one (same identifier, same properties)
    int unreadable = 0;  // found but could not be read at all

    int kept() const { return mail + appointments + contacts + tasks + notes + journal + lists; }
};

struct RecoveryReport {
    RecoveryTally recovered;
    RecoveryTally orphans;
    QString failure;  // why the search for deleted items failed; empty when it ran
};

}  // namespace tolvane
