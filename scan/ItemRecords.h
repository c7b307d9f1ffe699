// The records a scan leaves behind: one per mail, contact and appointment item,
// and one per folder node of the tree. Plain values; the ItemStore owns them.
//
// Text fields are QString. A null QString (isNull()) is an absent field; an
// empty but non-null QString is an empty text. Readers must keep the two apart.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>

namespace tolvane {

// Opaque handle of a node of the folder tree, handed out by whatever shows the
// tree (the window's tree model, the command line's plain numbering). 0 = none.
using TreeNodeId = quint64;

// Body text kept compactly: UTF-8 instead of UTF-16, and bodies longer than a
// few hundred bytes are moved to the process's spill file (BodySpill), so the
// records of a big mailbox stay small in memory. Null and empty stay distinct.
class StoredText {
public:
    StoredText() = default;
    static StoredText fromString(const QString& text);
    // Text already in UTF-8 (never null).
    static StoredText fromUtf8(QByteArray utf8);
    QString text() const;
    bool isNull() const { return isNull_; }
    qsizetype byteSize() const { return spillOffset_ >= 0 ? spillSize_ : utf8_.size(); }

    // Bodies up to this many UTF-8 bytes stay in memory.
    static constexpr qsizetype kInlineLimit = 512;

private:
    QByteArray utf8_;
    int64_t spillOffset_ = -1;
    int32_t spillSize_ = 0;
    bool isNull_ = true;
};

// Where a mail item lives in the PST, so the conversion can read it again.
struct ItemLocation {
    uint32_t itemIdentifier = 0;      // libpff identifier of the item itself (0 when it has none)
    uint32_t topLevelIdentifier = 0;  // the top-level message that carries it; equals itemIdentifier when not embedded
    QVector<int> attachmentPath;      // attachment indexes from the top-level message down to this item; empty when not embedded
    bool isEmbedded() const { return !attachmentPath.isEmpty(); }
};

struct MailRecord {
    QString folderName;
    int32_t recordKind = 0;
    int32_t itemKind = 0;
    QString senderAddress;
    QString senderName;
    QString recipients;
    QString subject;
    QString deliveryTime;
    QString creationTime;
    QString modificationTime;
    QString size;
    QString flag;
    QString priority;
    QString sensitivity;
    QString importance;
    StoredText body;
    QString attachments;
    int32_t bodyKind = 0;  // 0 plain text, 1 RTF (never produced), 2 HTML
    QString folderKey;
    int32_t number = 0;
    ItemLocation location;
};

struct AppointmentRecord {
    QString folderName;
    int32_t itemType = 2;
    QString endTime;
    QString location;
    QString recurrencePattern;
    QString startTime;
    QString placeholderA;
    QString subjectPlaceholder;
    QString folderKey;
    int32_t number = 0;
    ItemLocation itemLocation;
};

struct ContactRecord {
    QString folderName;            // 1
    int32_t itemType = 7;          // 2
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
    QString notes;                 // 68
    QString folderKey;             // 69
    int32_t number = 0;            // 70
    ItemLocation location;
};

struct FolderNode {
    QString name;
    QString parentText;
    int32_t depth = 0;
    QString exportPath;
    TreeNodeId parentItem = 0;
    TreeNodeId item = 0;
};

}  // namespace tolvane
