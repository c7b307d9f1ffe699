// Re-reads messages and contacts from the PST for the conversion, so that the
// EML carries the full message (all bodies, attachments, addresses) and not
// only what the scan kept in its records. Falls back to the record when the
// item can no longer be read.
#pragma once

#include "ItemRecords.h"
#include "MailContent.h"
#include "PffHandles.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <unordered_map>
#include <vector>

namespace tolvane {

class MailboxReader {
public:
    // False (reason in *error) when the file cannot be opened.
    bool Open(const QString& pstPath, QString* error = nullptr);
    bool isOpen() const { return file_.isOpen(); }

    // The message at `location`, or nullopt when it cannot be found.
    std::optional<MessageContent> ReadMessage(const ItemLocation& location);
    // The e-mail addresses of a contact (its three e-mail slots), in order.
    QStringList ReadContactEmails(const ItemLocation& location);

private:
    // Where a top-level item sits: the sub-folder indexes from the root folder
    // and its index among the folder's items. Looking items up by identifier
    // costs libpff time in proportion to the file's size, so one walk at the
    // start records every item's position instead.
    struct ItemPosition {
        int folder = 0;  // index into folderPaths_
        int index = 0;
    };
    void IndexItems(libpff_item_t* folder, std::vector<int>& path, int depthLeft);
    libpff_item_t* FindTopLevelItem(uint32_t identifier, PffItem& holder);

    PffFile file_;
    std::vector<std::vector<int>> folderPaths_;
    std::unordered_map<uint32_t, ItemPosition> positions_;
    int cachedFolder_ = -1;
    PffItem cachedFolderItem_;
};

// Everything of one libpff message item, embedded messages recursively up to
// `depthLeft` levels (the scan's own bound, so every embedded message it
// recorded is carried).
MessageContent ReadMessageContent(libpff_item_t* message, int fileCodePage, int depthLeft = 64);

// The message as far as the scan's record describes it.
MessageContent ContentFromRecord(const MailRecord& record);

// The subject as the user sees it: a leading 0x01 prefix marker and its
// length character removed.
QString SubjectWithoutPrefixMarker(const QString& stored);

// Number of embedded messages inside a message, at every level.
int CountEmbeddedMessages(const MessageContent& content);

}  // namespace tolvane
