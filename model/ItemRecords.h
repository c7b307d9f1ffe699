// The records a scan leaves behind: one per mail, contact and appointment item,
// and one per folder node of the tree. Plain typed values; the ItemStore owns
// them. What a record holds is what the mailbox holds: the words and texts a
// front end shows for it are the front ends' own.
//
// Text fields are QString. A null QString (isNull()) is an absent field; an
// empty but non-null QString is an empty text. Readers must keep the two apart.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <compare>
#include <cstdint>
#include <memory>
#include <optional>

namespace tolvane {

class BodySpill;

// A folder of one scan: the folders are counted in the order the walk finds
// them, from 1; 0 is the mailbox itself.
using FolderId = int32_t;

// What a record is. The values are the kind codes records have always carried
// (and `scan --json` prints), so they are fixed.
enum class ItemKind : int32_t {
    Mail = 0,
    Appointment = 2,
    Contact = 7,
};

// The kind of a kept mail body. RTF bodies are never kept, so RichText is
// never produced; its code is reserved all the same.
enum class BodyKind : int32_t {
    PlainText = 0,
    RichText = 1,
    Html = 2,
};

// A point in time as the mailbox stores it: 100-nanosecond ticks since
// 1601-01-01 00:00 UTC.
struct FileTime {
    uint64_t ticks = 0;
    auto operator<=>(const FileTime&) const = default;
};

// Kept bodies up to this many UTF-8 bytes stay in memory; longer ones go to
// the store's spill file.
inline constexpr qsizetype kInlineBodyBytes = 512;

// Body text kept compactly: UTF-8 instead of UTF-16, and bodies longer than a
// few hundred bytes are moved to the store's spill file (BodySpill), so the
// records of a big mailbox stay small in memory. Null and empty stay distinct.
class StoredText {
public:
    StoredText() = default;
    // Text kept in memory, or in `spill` when it is long and a spill is given.
    static StoredText fromString(const QString& text, const std::shared_ptr<BodySpill>& spill = {});
    // Text already in UTF-8 (never null).
    static StoredText fromUtf8(QByteArray utf8, const std::shared_ptr<BodySpill>& spill = {});
    QString text() const;
    bool isNull() const { return isNull_; }
    qsizetype byteSize() const { return spill_ ? spillSize_ : utf8_.size(); }
    bool isSpilled() const { return spill_ != nullptr; }

private:
    QByteArray utf8_;
    std::shared_ptr<const BodySpill> spill_;  // set when the text lives in the spill file
    int64_t spillOffset_ = 0;
    int32_t spillSize_ = 0;
    bool isNull_ = true;
};

// Where the top-level item of a record was found: in a folder, or, when the
// scan was asked to recover, among the deleted items the file still holds
// (recovered) or the items whose folder no longer exists (orphans).
enum class ItemSource : uint8_t {
    Live,
    Recovered,
    Orphan,
};

// The blocks a recovered or orphan item was read from: its data and its local
// descriptors, as libpff's descriptor entry for it names them. With the item's
// identifier they name one entry of libpff's list of recovered (or orphan)
// items wherever the entry sits, and tell two versions of one message apart.
struct ItemDataBlocks {
    uint64_t data = 0;
    uint64_t localDescriptors = 0;
    bool operator==(const ItemDataBlocks&) const = default;
};

// Where an item lives in the PST, so the conversion can read it again.
struct ItemLocation {
    uint32_t itemIdentifier = 0;      // libpff identifier of the item itself (0 when it has none)
    uint32_t topLevelIdentifier = 0;  // the top-level message that carries it; equals itemIdentifier when not embedded
    QVector<int> attachmentPath;      // attachment indexes from the top-level message down to this item; empty when not embedded
    ItemSource source = ItemSource::Live;
    // A recovered or orphan top-level item cannot be found by identifier: it
    // is found in libpff's list by its identifier and `sourceBlocks`. The
    // index where the scan found it there (-1 for live items) is where the
    // look-up starts; when libpff cannot say which blocks an item came from
    // (Debian's build), it is all there is, checked against the identifier.
    int sourceIndex = -1;
    std::optional<ItemDataBlocks> sourceBlocks;
    bool isEmbedded() const { return !attachmentPath.isEmpty(); }
    bool isRecovered() const { return source != ItemSource::Live; }
};

struct MailRecord {
    QString folderName;     // the folder's export-directory name; ties the item to its folder
    ItemKind recordKind = ItemKind::Mail;
    ItemKind itemKind = ItemKind::Mail;
    std::optional<QString> senderAddress;  // as stored; nullopt when the property is missing
    std::optional<QString> senderName;     // as stored; nullopt when the property is missing
    QStringList recipients; // every recipient's display name that could be read, in recipient order
    QString subject;        // cleaned subject; null when the message has none (or it is one space)
    std::optional<FileTime> deliveryTime;
    std::optional<FileTime> creationTime;
    std::optional<FileTime> modificationTime;
    std::optional<int32_t> size;         // message size in bytes
    std::optional<uint32_t> flag;        // the message flags
    std::optional<int32_t> priority;     // as stored: -1 non-urgent, 0 normal, 1 urgent
    std::optional<int32_t> sensitivity;  // as stored: 0 none, 1 personal, 2 private, 3 confidential
    std::optional<int32_t> importance;   // as stored: 0 low, 1 normal, 2 high
    StoredText body;                     // the one body kept; empty when none was kept
    QStringList attachments;             // the path formed for each attachment's name in the attachment directory
    // Kind of the body the scan kept last, which is this message's own when it
    // kept one: a message without a kept body carries its predecessor's kind.
    BodyKind bodyKind = BodyKind::PlainText;
    QString folderKey;  // the folder's export path relative to the export root, cleaned
    int32_t number = 0;
    ItemLocation location;
};

struct AppointmentRecord {
    QString folderName;
    ItemKind itemType = ItemKind::Appointment;
    std::optional<FileTime> endTime;
    QString location;           // as stored; null when missing
    QString recurrencePattern;  // as stored; null when missing
    std::optional<FileTime> startTime;
    QString folderKey;
    int32_t number = 0;
    ItemLocation itemLocation;
};

// Contact fields in the order records have always listed them; ContactFields
// says which property fills each and where it is shown. The `spareText`
// fields, `fullName` and `gender` are never filled; they stay because the
// preview and `scan --json` name them.
struct ContactRecord {
    QString folderName;            // 1
    ItemKind itemType = ItemKind::Contact;  // 2
    QString companyName;           // 3
    QString generation;            // 4
    QString fileUnder;             // 5
    QString spareText1;            // 6
    QString title;                 // 7
    QString fullName;              // 8
    QString customerId;            // 9
    QString mobilePhone;           // 10
    QString hobbies;               // 11
    QString homeStreet;            // 12
    QString gender;                // 13
    QString surname;               // 14
    QString givenName;             // 15
    QString middleName;            // 16
    QString homePhone;             // 17
    QString businessPhone;         // 18
    QString businessFax;           // 19
    QString homeFax;               // 20
    QString language;              // 21
    QString officeLocation;        // 22
    QString pager;                 // 23
    QString isdnNumber;            // 24
    QString assistantPhone;        // 25
    QString assistant;             // 26
    QString profession;            // 27
    QString spouseName;            // 28
    QString companyMainPhone;      // 29
    QString homeCity;              // 30
    QString weddingAnniversary;    // 31
    QString birthday;              // 32
    QString managerName;           // 33
    QString nickname;              // 34
    QString personalHomePage;      // 35
    QString businessHomePage;      // 36
    QString homeCountry;           // 37
    QString homePostalCode;        // 38
    QString homeState;             // 39
    QString homeAddress;           // 40
    QString otherCity;             // 41
    QString otherCountry;          // 42
    QString otherState;            // 43
    QString otherStreet;           // 44
    QString otherTelephone;        // 45
    QString spareText2;            // 46
    QString otherPostalCode;       // 47
    QString callbackPhone;         // 48
    QString spareText3;            // 49
    QString spareText4;            // 50
    QString spareText5;            // 51
    QString spareText6;            // 52
    QString spareText7;            // 53
    QString spareText8;            // 54
    QString carPhone;              // 55
    QString department;            // 56
    QString account;               // 57
    QString home2Phone;            // 58
    QString mobilePhone2;          // 59
    QString telexNumber;           // 60
    QString radioPhone;            // 61
    QString spareText9;            // 62
    QString ttyTddPhone;           // 63
    QString governmentId;          // 64
    QString organizationalId;      // 65
    QString spareText10;           // 66
    QString formerDisplayName;     // 67
    QString notes;                 // 68: the plain-text body
    QString folderKey;             // 69
    int32_t number = 0;            // 70
    ItemLocation location;
};

// Where the scan saw an item that no record describes but the conversion
// writes: tasks, notes, journal entries and distribution lists. Nothing lists
// or previews these; the conversion reads them again from here.
struct OtherItemEntry {
    enum class Kind { Task, Note, Journal, DistributionList };
    Kind kind = Kind::Task;
    QString folderName;
    QString folderKey;
    ItemLocation location;
};

struct FolderNode {
    QString name;
    // The folder's path of names as the mailbox stores them, from the top
    // ("Top of Personal Folders/Inbox"); `name` and the export path are
    // cleaned for the file system and made unique among siblings.
    QString storedPath;
    QString parentText;
    int32_t depth = 0;
    QString exportPath;
    FolderId parent = 0;
    FolderId id = 0;
    // How many items the folder lists; counted only by a walk of the folders
    // alone (ItemDetail::FoldersOnly), 0 otherwise.
    int32_t listedItems = 0;
    // The folder's identifier in the mailbox (0 for a folder the scan made
    // itself, such as recovered items) and the kind of item it is meant for
    // ("IPF.Note", "IPF.Appointment", ...; empty when it names none).
    uint32_t identifier = 0;
    QString containerClass;
};

}  // namespace tolvane
