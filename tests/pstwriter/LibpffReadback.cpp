// One RAII owner per libpff handle; every failure becomes an error text instead of a crash.
#include "tests/pstwriter/LibpffReadback.h"

#include <libpff.h>

#include <stdexcept>

namespace tolvane::pstwriter::readback {
namespace {

struct ErrorText : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class LibpffError {
public:
    ~LibpffError() { libpff_error_free(&error_); }
    libpff_error_t** out() { return &error_; }
    [[noreturn]] void raise(const char* what)
    {
        char text[1024] = {};
        if (error_)
            libpff_error_backtrace_sprint(error_, text, sizeof text);
        throw ErrorText(std::string(what) + ": " + text);
    }

private:
    libpff_error_t* error_ = nullptr;
};

class ItemHandle {
public:
    ItemHandle() = default;
    ~ItemHandle()
    {
        if (item_)
            libpff_item_free(&item_, nullptr);
    }
    ItemHandle(const ItemHandle&) = delete;
    ItemHandle& operator=(const ItemHandle&) = delete;
    libpff_item_t** out() { return &item_; }
    libpff_item_t* get() const { return item_; }

private:
    libpff_item_t* item_ = nullptr;
};

class FileHandle {
public:
    FileHandle()
    {
        LibpffError error;
        if (libpff_file_initialize(&file_, error.out()) != 1)
            error.raise("initialize");
    }
    ~FileHandle()
    {
        if (opened_)
            libpff_file_close(file_, nullptr);
        libpff_file_free(&file_, nullptr);
    }
    void open(const std::string& path)
    {
        LibpffError error;
        if (libpff_file_open(file_, path.c_str(), LIBPFF_OPEN_READ, error.out()) != 1)
            error.raise("open");
        opened_ = true;
    }
    libpff_file_t* get() const { return file_; }

private:
    libpff_file_t* file_ = nullptr;
    bool opened_ = false;
};

void ReadRecordSet(libpff_record_set_t* set, Properties& properties, NamedProperties* named)
{
    LibpffError error;
    int count = 0;
    if (libpff_record_set_get_number_of_entries(set, &count, error.out()) != 1)
        error.raise("number of entries");
    for (int i = 0; i < count; ++i) {
        libpff_record_entry_t* entry = nullptr;
        LibpffError entryError;
        if (libpff_record_set_get_entry_by_index(set, i, &entry, entryError.out()) != 1)
            entryError.raise("entry");
        uint32_t entryType = 0, valueType = 0;
        size_t size = 0;
        libpff_record_entry_get_entry_type(entry, &entryType, nullptr);
        libpff_record_entry_get_value_type(entry, &valueType, nullptr);
        StoredValue value{valueType, {}};
        if (libpff_record_entry_get_data_size(entry, &size, nullptr) == 1 && size > 0) {
            value.data.resize(size);
            if (libpff_record_entry_get_data(entry, value.data.data(), size, entryError.out()) != 1) {
                libpff_record_entry_free(&entry, nullptr);
                entryError.raise("entry data");
            }
        }
        libpff_name_to_id_map_entry_t* mapped = nullptr;
        if (named && libpff_record_entry_get_name_to_id_map_entry(entry, &mapped, nullptr) == 1 && mapped) {
            NamedPropertyKey key;
            uint8_t kind = 0;
            libpff_name_to_id_map_entry_get_type(mapped, &kind, nullptr);
            libpff_name_to_id_map_entry_get_guid(mapped, key.propertySet.data(), 16, nullptr);
            if (kind == LIBPFF_NAME_TO_ID_MAP_ENTRY_TYPE_NUMERIC) {
                libpff_name_to_id_map_entry_get_number(mapped, &key.lid, nullptr);
            } else {
                size_t nameSize = 0;
                if (libpff_name_to_id_map_entry_get_utf8_string_size(mapped, &nameSize, nullptr) == 1 && nameSize) {
                    std::string name(nameSize, '\0');
                    libpff_name_to_id_map_entry_get_utf8_string(mapped, reinterpret_cast<uint8_t*>(name.data()),
                                                                nameSize, nullptr);
                    name.resize(nameSize - 1);
                    key.name = name;
                }
            }
            (*named)[key] = std::move(value);
        } else {
            properties[entryType] = std::move(value);
        }
        libpff_record_entry_free(&entry, nullptr);
    }
}

void ReadFirstRecordSet(libpff_item_t* item, Properties& properties, NamedProperties* named)
{
    LibpffError error;
    int sets = 0;
    if (libpff_item_get_number_of_record_sets(item, &sets, error.out()) != 1)
        error.raise("record sets");
    if (sets < 1)
        return;
    libpff_record_set_t* set = nullptr;
    if (libpff_item_get_record_set_by_index(item, 0, &set, error.out()) != 1)
        error.raise("record set");
    try {
        ReadRecordSet(set, properties, named);
    } catch (...) {
        libpff_record_set_free(&set, nullptr);
        throw;
    }
    libpff_record_set_free(&set, nullptr);
}

Item ReadItem(libpff_item_t* item);

AttachmentRead ReadAttachment(libpff_item_t* attachment)
{
    AttachmentRead out;
    ReadFirstRecordSet(attachment, out.properties, nullptr);
    LibpffError error;
    if (libpff_attachment_get_type(attachment, &out.type, error.out()) != 1)
        error.raise("attachment type");
    if (out.type == LIBPFF_ATTACHMENT_TYPE_DATA) {
        size64_t size = 0;
        if (libpff_attachment_get_data_size(attachment, &size, nullptr) == 1 && size > 0) {
            out.data.resize(size_t(size));
            libpff_attachment_data_seek_offset(attachment, 0, SEEK_SET, nullptr);
            LibpffError readError;
            if (libpff_attachment_data_read_buffer(attachment, out.data.data(), out.data.size(), readError.out()) !=
                ssize_t(size))
                readError.raise("attachment data");
        }
    } else if (out.type == LIBPFF_ATTACHMENT_TYPE_ITEM) {
        ItemHandle embedded;
        LibpffError itemError;
        if (libpff_attachment_get_item(attachment, embedded.out(), itemError.out()) != 1)
            itemError.raise("embedded item");
        out.embedded = std::make_shared<Item>(ReadItem(embedded.get()));
    }
    return out;
}

Item ReadItem(libpff_item_t* item)
{
    Item out;
    libpff_item_get_identifier(item, &out.identifier, nullptr);
    ReadFirstRecordSet(item, out.properties, &out.named);

    ItemHandle recipients;
    LibpffError error;
    const int hasRecipients = libpff_message_get_recipients(item, recipients.out(), error.out());
    if (hasRecipients == -1)
        error.raise("recipients");
    if (hasRecipients == 1) {
        int sets = 0;
        libpff_item_get_number_of_record_sets(recipients.get(), &sets, nullptr);
        for (int i = 0; i < sets; ++i) {
            libpff_record_set_t* set = nullptr;
            LibpffError setError;
            if (libpff_item_get_record_set_by_index(recipients.get(), i, &set, setError.out()) != 1)
                setError.raise("recipient");
            Properties recipient;
            ReadRecordSet(set, recipient, nullptr);
            libpff_record_set_free(&set, nullptr);
            out.recipients.push_back(std::move(recipient));
        }
    }

    if (out.properties.count(0x1009)) {
        size_t size = 0;
        const int available = libpff_message_get_rtf_body_size(item, &size, nullptr);
        if (available == 1 && size > 0) {
            std::string rtf(size, '\0');
            if (libpff_message_get_rtf_body(item, reinterpret_cast<uint8_t*>(rtf.data()), size, nullptr) == 1) {
                while (!rtf.empty() && rtf.back() == '\0')  // libpff counts end-of-string characters in
                    rtf.pop_back();                          // the size

                out.rtf = std::move(rtf);
            } else {
                out.rtfRefused = true;
            }
        } else if (available == -1) {
            out.rtfRefused = true;
        }
    }

    int attachments = 0;
    LibpffError countError;
    if (libpff_message_get_number_of_attachments(item, &attachments, countError.out()) != 1)
        countError.raise("number of attachments");
    for (int i = 0; i < attachments; ++i) {
        ItemHandle attachment;
        LibpffError attachmentError;
        if (libpff_message_get_attachment(item, i, attachment.out(), attachmentError.out()) != 1)
            attachmentError.raise("attachment");
        out.attachments.push_back(ReadAttachment(attachment.get()));
    }
    return out;
}

Folder ReadFolder(libpff_item_t* folder)
{
    Folder out;
    libpff_item_get_identifier(folder, &out.identifier, nullptr);
    ReadFirstRecordSet(folder, out.properties, nullptr);
    LibpffError error;
    int folders = 0;
    if (libpff_folder_get_number_of_sub_folders(folder, &folders, error.out()) != 1)
        error.raise("number of sub folders");
    for (int i = 0; i < folders; ++i) {
        ItemHandle child;
        LibpffError childError;
        if (libpff_folder_get_sub_folder(folder, i, child.out(), childError.out()) != 1)
            childError.raise("sub folder");
        out.folders.push_back(ReadFolder(child.get()));
    }
    int messages = 0;
    if (libpff_folder_get_number_of_sub_messages(folder, &messages, error.out()) != 1)
        error.raise("number of sub messages");
    for (int i = 0; i < messages; ++i) {
        ItemHandle message;
        LibpffError messageError;
        if (libpff_folder_get_sub_message(folder, i, message.out(), messageError.out()) != 1)
            messageError.raise("sub message");
        out.items.push_back(ReadItem(message.get()));
    }
    return out;
}

bool IsMessageType(uint8_t type)
{
    switch (type) {
    case LIBPFF_ITEM_TYPE_UNDEFINED:
    case LIBPFF_ITEM_TYPE_ATTACHMENT:
    case LIBPFF_ITEM_TYPE_ATTACHMENTS:
    case LIBPFF_ITEM_TYPE_FOLDER:
    case LIBPFF_ITEM_TYPE_RECIPIENTS:
    case LIBPFF_ITEM_TYPE_UNKNOWN:
        return false;
    default:
        return true;
    }
}

// Reads each item on its own, so one item libpff cannot read leaves the others readable.
template <typename Count, typename Get>
void ReadItemList(libpff_file_t* file, Count count, Get get, std::vector<Item>& messages, std::vector<int>* otherTypes,
                  std::vector<std::string>& unreadable)
{
    LibpffError error;
    int number = 0;
    if (count(file, &number, error.out()) != 1)
        error.raise("number of items");
    for (int i = 0; i < number; ++i) {
        ItemHandle item;
        LibpffError itemError;
        try {
            if (get(file, i, item.out(), itemError.out()) != 1)
                itemError.raise("item");
            uint8_t type = LIBPFF_ITEM_TYPE_UNDEFINED;
            libpff_item_get_type(item.get(), &type, nullptr);
            if (otherTypes && !IsMessageType(type))
                otherTypes->push_back(type);
            else
                messages.push_back(ReadItem(item.get()));
        } catch (const ErrorText& e) {
            unreadable.push_back(e.what());
        }
    }
}

} // namespace

std::optional<Recovery> ReadRecovery(const std::string& path, std::string* error)
{
    try {
        FileHandle file;
        file.open(path);
        Recovery recovery;
        ReadItemList(file.get(), libpff_file_get_number_of_orphan_items, libpff_file_get_orphan_item_by_index,
                     recovery.orphans, nullptr, recovery.unreadableOrphans);
        LibpffError recoverError;
        if (libpff_file_recover_items(file.get(), 0, recoverError.out()) != 1)
            recoverError.raise("recover items");
        ReadItemList(file.get(), libpff_file_get_number_of_recovered_items, libpff_file_get_recovered_item_by_index,
                     recovery.messages, &recovery.otherTypes, recovery.unreadable);
        return recovery;
    } catch (const ErrorText& e) {
        if (error)
            *error = e.what();
        return std::nullopt;
    }
}

std::string Utf16LeToUtf8(const Bytes& data)
{
    std::string out;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        uint32_t c = GetU16(data.data() + i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < data.size()) {
            const uint32_t low = GetU16(data.data() + i + 2);
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

const StoredValue* Item::find(uint32_t id) const
{
    auto it = properties.find(id);
    return it == properties.end() ? nullptr : &it->second;
}

std::string Item::text(uint32_t id) const
{
    const StoredValue* v = find(id);
    if (!v)
        return {};
    if (v->type == PtUnicode)
        return Utf16LeToUtf8(v->data);
    return std::string(v->data.begin(), v->data.end());
}

std::optional<std::string> Folder::name() const
{
    auto it = properties.find(0x3001);
    if (it == properties.end())
        return std::nullopt;
    return Utf16LeToUtf8(it->second.data);
}

const Folder* Folder::child(std::string_view displayName) const
{
    for (const Folder& f : folders)
        if (f.name() == displayName)
            return &f;
    return nullptr;
}

std::optional<Mailbox> ReadMailbox(const std::string& path, std::string* error)
{
    try {
        FileHandle file;
        file.open(path);
        Mailbox mailbox;
        ItemHandle root;
        LibpffError rootError;
        if (libpff_file_get_root_folder(file.get(), root.out(), rootError.out()) != 1)
            rootError.raise("root folder");
        mailbox.root = ReadFolder(root.get());
        ItemHandle store;
        if (libpff_file_get_message_store(file.get(), store.out(), nullptr) == 1)
            ReadFirstRecordSet(store.get(), mailbox.store, nullptr);
        return mailbox;
    } catch (const ErrorText& e) {
        if (error)
            *error = e.what();
        return std::nullopt;
    }
}

} // namespace tolvane::pstwriter::readback
