// Which messages of a resumed run keep the file the stopped run wrote. The
// decision is made once per message, in the order the mail pass takes them,
// and then only looked up: by the preparer's workers (a kept message is
// neither read nor composed) and by the writer (which gives it its place in
// its sink). The first listing of an item keeps its file; a mailbox that
// lists the same item again gets that listing written as a run from the
// start writes it.
#pragma once

#include "convert/MailFeed.h"

#include <QString>

#include <cstddef>
#include <map>
#include <mutex>
#include <set>

namespace tolvane {

class FolderPaths;
class ResumePlan;

// What the mail pass does with one message.
enum class MailAction {
    Write,  // read, composed and written
    Keep,   // a resumed run keeps the file the stopped run wrote: neither read nor written
};

struct MailDecision {
    MailAction action = MailAction::Write;
    QString keptFile;  // Keep: that file, relative to the output folder
};

class KeptMailDecisions {
public:
    // `plan`, `feed` and `folders` (which names folders as the manifest
    // does; may be null) must outlive the decisions.
    KeptMailDecisions(const ResumePlan& plan, MailFeed& feed, const FolderPaths* folders);

    // What becomes of the feed's message `index`, whose record the caller
    // holds. Every message before it is decided first, in order; their
    // records are still in the feed, as the writer takes each message's
    // decision before it lets the feed release it.
    [[nodiscard]] MailDecision DecisionFor(std::size_t index);

private:
    const ResumePlan& plan_;
    MailFeed& feed_;
    const FolderPaths* folders_;
    std::mutex mutex_;
    std::size_t decided_ = 0;          // messages before this one are decided
    std::set<QString> taken_;          // kept files already given to a message
    std::map<std::size_t, QString> kept_;  // the messages that keep a file: no more than the plan keeps
};

}  // namespace tolvane
