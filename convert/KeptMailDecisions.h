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
#include <optional>
#include <set>

namespace tolvane {

class FolderPaths;
class ResumePlan;

class KeptMailDecisions {
public:
    // `plan`, `feed` and `folders` (which names folders as the manifest
    // does; may be null) must outlive the decisions.
    KeptMailDecisions(const ResumePlan& plan, MailFeed& feed, const FolderPaths* folders);

    // The kept file of the feed's message `index`, whose record the caller
    // holds; nullopt: it is written. Every message before it is decided
    // first, in order; their records are still in the feed, as the writer
    // asks for each message before it lets the feed release it.
    [[nodiscard]] std::optional<QString> KeptFileOf(std::size_t index);

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
