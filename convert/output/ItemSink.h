// The one interface every output format is written through: mail as eml,
// mbox or Maildir (MailSinks.h), contacts and distribution lists as vCards,
// a folder's calendar as an iCalendar file and what is too large for it as a
// file beside it (FileSinks.h). A sink takes one item at a time, in the
// pass's order, and says in one SaveResult where it went or why it did not;
// the pass hands that to ItemOutcomes, which records, counts and reports.
#pragma once

#include "convert/output/SaveResult.h"

#include <QStringList>

namespace tolvane {

// `Item` is what a format needs to write one item (MailToSave, FileToSave).
template <typename Item>
class ItemSink {
public:
    virtual ~ItemSink() = default;
    [[nodiscard]] virtual SaveResult Save(const Item& item) = 0;
    // An item a stopped run wrote and a resumed one keeps: nothing is
    // written, but the sink moves on as if it had been (Maildir numbers its
    // files by their place in the run).
    virtual void Kept(const Item& item) { (void)item; }
    // After the last item: what could not be finished, one reason per file
    // (only formats that keep files open across items have any).
    [[nodiscard]] virtual QStringList Finish() { return {}; }
};

}  // namespace tolvane
