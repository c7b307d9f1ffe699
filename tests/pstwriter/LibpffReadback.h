// Reads a whole PST file back through libpff's API into plain values, so tests can compare what was
// written with what an independent reader sees, folder by folder, item by item, property by property.
#pragma once

#include "pstwriter/PropertyValue.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::pstwriter::readback {

struct StoredValue {
    uint32_t type = 0;
    Bytes data;
    bool operator==(const StoredValue&) const = default;
};
using Properties = std::map<uint32_t, StoredValue>;  // keyed by property id
using NamedProperties = std::map<NamedPropertyKey, StoredValue>;

struct Item;

struct AttachmentRead {
    int type = 0;  // 'd' data, 'i' embedded item, 'r' reference
    Properties properties;
    Bytes data;
    std::shared_ptr<Item> embedded;
};

struct Item {
    uint32_t identifier = 0;
    Properties properties;
    NamedProperties named;
    std::vector<Properties> recipients;
    std::vector<AttachmentRead> attachments;
    // The RTF body as libpff decompresses it; rtfRefused when libpff reports an error doing so.
    std::optional<std::string> rtf;
    bool rtfRefused = false;

    const StoredValue* find(uint32_t id) const;
    std::string text(uint32_t id) const;  // UTF-16 or 8-bit value as UTF-8 ("" when absent)
};

struct Folder {
    uint32_t identifier = 0;
    Properties properties;
    std::vector<Folder> folders;
    std::vector<Item> items;

    std::optional<std::string> name() const;
    const Folder* child(std::string_view displayName) const;
};

struct Mailbox {
    Folder root;
    Properties store;
};

// What libpff gives back besides the folder tree: the items its default recovery (unallocated space
// only) finds and the items whose parent folder is missing.
struct Recovery {
    std::vector<Item> messages;           // recovered items of a message class, in libpff's order
    std::vector<int> otherTypes;          // libpff item types of the other recovered items
    std::vector<std::string> unreadable;  // recovered messages libpff could not read, with its error text
    std::vector<Item> orphans;
    std::vector<std::string> unreadableOrphans;
};

// Empty optional and a message in *error when libpff cannot open or walk the file.
std::optional<Mailbox> ReadMailbox(const std::string& path, std::string* error = nullptr);

// Empty optional and a message in *error when libpff cannot open the file or run its recovery.
std::optional<Recovery> ReadRecovery(const std::string& path, std::string* error = nullptr);

std::string Utf16LeToUtf8(const Bytes& data);

} // namespace tolvane::pstwriter::readback
