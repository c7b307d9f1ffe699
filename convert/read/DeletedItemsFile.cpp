// Opening the mailbox once more and searching it for deleted items, once; see DeletedItemsFile.h.
#include "convert/read/DeletedItemsFile.h"

#include "scan/TextDecoding.h"

#include <utility>

namespace tolvane {

DeletedItemsFile::DeletedItemsFile(QString pstPath, std::optional<FileIdentity> scanned,
                                   std::function<void()> searchHook)
    : pstPath_(std::move(pstPath)), scanned_(std::move(scanned)), searchHook_(std::move(searchHook))
{
}

libpff_file_t* DeletedItemsFile::SearchedFile()
{
    if (!searched_) {
        // The search reads the whole file: on a big mailbox the slowest thing
        // libpff does, so it is done here only, for every reader.
        searched_ = file_.initialize() && file_.setAsciiCodepage(kDefaultCodePage)
                    && file_.open(pstPath_, nullptr, scanned_);
        if (*searched_) {
            if (searchHook_)
                searchHook_();
            searched_ = libpff_file_recover_items(file_.get(), 0, nullptr) == 1;
        }
        if (!*searched_)
            file_.reset();
    }
    return *searched_ ? file_.get() : nullptr;
}

}  // namespace tolvane
