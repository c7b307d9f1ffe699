// Generates realistic synthetic mailboxes of any size for benchmarks: folders, mail with a mix of
// body sizes, attachments, embedded messages, contacts and appointments. Deterministic (the seed
// decides everything) and streaming (items are written as they are made; memory stays flat).
#pragma once

#include "pstwriter/PstChecksums.h"

#include <cstdint>
#include <string>

namespace tolvane::mkpst {

struct SyntheticOptions {
    uint64_t messages = 1000;
    uint32_t folders = 10;
    uint32_t depth = 3;
    double attachmentRatio = 0.2;
    uint64_t attachmentMeanBytes = 48 * 1024;
    double embeddedRatio = 0.02;
    uint64_t contacts = 0;
    uint64_t appointments = 0;
    uint64_t bigFolderMessages = 0;  // an extra folder holding this many mails
    uint64_t largeAttachmentBytes = 0;  // one more mail in Inbox carrying an attachment this large
    uint64_t deletedMessages = 0;  // more mails, spread over the mail folders, written and then deleted
    uint64_t seed = 1;
    pstwriter::BlockEncoding encoding = pstwriter::BlockEncoding::Compressible;
    pstwriter::ContentType contentType = pstwriter::ContentType::PersonalFolders;
};

struct SyntheticSummary {
    uint64_t folders = 0;  // folders created below "Top of Personal Folders", the default ones included
    uint64_t mails = 0;
    uint64_t deletedMails = 0;  // not in any folder: their bytes are free space a recovery can find
    uint64_t contacts = 0;
    uint64_t appointments = 0;
    uint64_t attachments = 0;
    uint64_t embeddedMessages = 0;
    uint64_t bytes = 0;
};

// Throws std::runtime_error on write failures.
SyntheticSummary WriteSyntheticMailbox(const std::string& path, const SyntheticOptions& options);

} // namespace tolvane::mkpst
