// The walk of a mailbox's items run beside a conversion in one pass. On a
// thread of its own it hands every top-level mail of the selected folders to
// the mail pass's feed as soon as it finds it, and closes the feed when it
// ends, however it ends. Owned by the conversion worker, for one run.
#pragma once

#include "convert/ConversionDriver.h"

#include <QStringList>

#include <memory>
#include <optional>
#include <thread>

namespace tolvane {

class MailFeed;

class WalkAlongside {
public:
    // Starts `walk`. When the machine refuses a thread the walk runs to its
    // end right here instead: the conversion then writes after it, as in
    // two steps, and loses nothing.
    WalkAlongside(const ItemWalk& walk, const FolderSelection& selected, MailFeed& feed);
    // Abandons a walk still going and waits for its thread.
    ~WalkAlongside();
    WalkAlongside(const WalkAlongside&) = delete;
    WalkAlongside& operator=(const WalkAlongside&) = delete;

    // Waits for the walk to end and says how it ended.
    [[nodiscard]] ScanOutcome Finish();
    // The conversion ended early: the walk stops at its next item.
    void Abandon();

private:
    class Feeding;

    const ItemWalk& walk_;
    std::unique_ptr<Feeding> feeding_;
    std::thread thread_;
    // Written by the walk's thread before it ends, read after it is joined.
    std::optional<ScanOutcome> outcome_;
};

}  // namespace tolvane
