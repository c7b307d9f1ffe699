// An attachment's name is chosen by one rule for the scan's record and the
// converted file: the first of its long file name, short file name and
// display name that holds anything. Each case is one mail of a written
// mailbox with one attachment whose names are set as the case says. A text
// attachment names its charset, so that readers show its text.
#include "tests/convert/ConvertTestSupport.h"
#include "tests/convert/ScanAndConvert.h"

#include "scan/ItemStore.h"
#include "base/ProcessTempDir.h"
#include "scan/ScanTexts.h"
#include "pstwriter/PstBuilder.h"

#include <optional>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using namespace pstwriter;
using testing::FilesBelow;
using testing::ParseWithGMime;
using testing::Parts;
using testing::ReadAll;
using testing::RecordingConversionSink;

struct NameCase {
    const char* name;
    std::optional<std::string> longName;  // nullopt: the property is not stored at all
    std::optional<std::string> shortName;
    std::optional<std::string> displayName;
    QString expected;
};

const std::vector<NameCase> kCases = {
    {"an empty long name gives way to the short one", "", "REPORT.PDF", "Quarterly report", "REPORT.PDF"},
    {"empty file names give way to the display name", "", "", "Minutes.txt", "Minutes.txt"},
    {"a long name of spaces gives way to the short one", "   ", "NOTES.TXT", "Notes", "NOTES.TXT"},
    {"an absent long name gives way to the short one", std::nullopt, "ONLY.BIN", "Only", "ONLY.BIN"},
    {"a long name goes before the short one", "Long name.pdf", "LONGNA~1.PDF", "Long", "Long name.pdf"},
};

// Data that tells the cases' attachments apart in the converted files.
Bytes DataOf(size_t caseIndex)
{
    const std::string text = "attachment of case " + std::to_string(caseIndex);
    return Bytes(text.begin(), text.end());
}

pstwriter::Attachment NamedAttachment(const NameCase& c, Bytes data)
{
    pstwriter::Attachment attachment;
    attachment.property(tags::AttachMethod, PropertyValue::int32(tags::AttachByValue));
    attachment.property(tags::AttachSize, PropertyValue::int32(int32_t(data.size())));
    if (c.longName)
        attachment.property(tags::AttachLongFilename, PropertyValue::unicode(*c.longName));
    if (c.shortName)
        attachment.property(tags::AttachFilename, PropertyValue::unicode(*c.shortName));
    if (c.displayName)
        attachment.property(tags::DisplayName, PropertyValue::unicode(*c.displayName));
    attachment.property(tags::AttachMimeTag, PropertyValue::unicode("application/octet-stream"));
    attachment.property(tags::AttachDataBinary, PropertyValue::binary(std::move(data)));
    return attachment;
}

// Writes `pst` into `temp` and scans and converts it into `temp`/out, the
// scan's records into `store`.
ConversionSummary WriteAndConvert(const QTemporaryDir& temp, const PstBuilder& pst, ItemStore& store)
{
    const QString pstPath = temp.filePath("mailbox.pst");
    pst.Write(pstPath.toStdString());
    ProcessTempDir tempDir;
    RecordingConversionSink sink;
    return testing::ScanAndConvert(pstPath, temp.filePath("out"), store, tempDir, sink);
}

TEST(AttachmentNameTest, TheScanAndTheConversionNameAnAttachmentAlike)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    PstBuilder pst;
    auto& top = pst.topOfPersonalFolders();
    for (size_t n = 0; n < kCases.size(); ++n) {
        const std::string label = "case " + std::to_string(n);
        top.addFolder(label).addMessage().subject(label).body("body").attachment(
            NamedAttachment(kCases[n], DataOf(n)));
    }
    ItemStore store;
    const ConversionSummary summary = WriteAndConvert(temp, pst, store);
    const QString out = temp.filePath("out");
    ASSERT_EQ(summary.counts.Complete(OutcomeKind::Mail), static_cast<int>(kCases.size()));

    for (size_t n = 0; n < kCases.size(); ++n) {
        const NameCase& c = kCases[n];
        SCOPED_TRACE(c.name);
        const QString label = QStringLiteral("case %1").arg(n);

        // The scan: the path it formed for the attachment ends in its name.
        QStringList recorded;
        for (const auto& record : store.mailRecords()) {
            if (record->subject == label)
                recorded = record->attachments;
        }
        ASSERT_EQ(recorded.size(), 1);
        EXPECT_EQ(LastPathComponent(recorded.first()), c.expected);

        // The conversion: the attachment's data is written under that name.
        const QStringList files = FilesBelow(out, ".eml").filter(QStringLiteral("/%1/").arg(label));
        ASSERT_EQ(files.size(), 1);
        auto message = ParseWithGMime(ReadAll(files.first()));
        ASSERT_TRUE(message);
        const Bytes data = DataOf(n);
        const QByteArray expectedData(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
        QStringList namesOfData;
        for (const auto& part : Parts(message.get())) {
            if (part.content == expectedData)
                namesOfData << part.fileName;
        }
        EXPECT_EQ(namesOfData, QStringList{c.expected});
    }
}

Bytes BytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

struct CharsetCase {
    const char* name;
    const char* fileName;
    Bytes data;
    const char* mimeTag;          // null: the attachment stores none
    const char* charsetProperty;  // null: the attachment stores none
    int32_t codePage;             // 0: the message stores none
    const char* expected;         // the part's charset parameter; null: none
};

std::vector<CharsetCase> CharsetCases()
{
    Bytes streamed;  // beyond what is read into memory; "€" across every piece it is read in
    for (int i = 0; i < 1800000; ++i)
        streamed.insert(streamed.end(), {0xE2, 0x82, 0xAC});
    return {
        {"UTF-8 text", "notes.txt", BytesOf("Grüße, Встреча, 会議\r\n"), "text/plain", nullptr, 1252, "utf-8"},
        {"ASCII text", "table.csv", BytesOf("a,b\r\n1,2\r\n"), "text/csv", nullptr, 1252, "us-ascii"},
        {"type from the file name", "page.html", BytesOf("<p>Größe</p>"), nullptr, nullptr, 0, "utf-8"},
        {"8-bit text in the message's code page", "brief.txt", Bytes{0xC2, 0xF1, 0xF2, 0xF0, 0xE5, 0xF7, 0xE0},
         "text/plain", nullptr, 1251, "windows-1251"},
        {"8-bit text, the file's code page", "latin.txt", Bytes{'c', 'a', 'f', 0xE9}, "text/plain", nullptr, 0,
         "windows-1252"},
        {"the MIME tag's own charset", "koi.txt", Bytes{0xF7, 0xD3, 0xD4}, "text/plain; charset=\"KOI8-R\"", nullptr,
         1252, "KOI8-R"},
        {"the attachment's charset property", "page.htm", Bytes{'<', 'p', '>', 0xB9, '<', '/', 'p', '>'},
         "text/html", "ISO-8859-2", 1252, "ISO-8859-2"},
        {"UTF-16 with its byte-order mark", "wide.txt", Bytes{0xFF, 0xFE, 'h', 0, 'i', 0}, "text/plain", nullptr, 1252,
         "utf-16"},
        {"streamed UTF-8 text", "big.txt", streamed, "text/plain", nullptr, 1252, "utf-8"},
        {"not text", "report.pdf", BytesOf("%PDF-1.4 Grüße"), "application/pdf", nullptr, 1252, nullptr},
    };
}

TEST(TextAttachmentCharsetTest, ATextAttachmentNamesItsCharsetAndKeepsItsBytes)
{
    const std::vector<CharsetCase> cases = CharsetCases();
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    PstBuilder pst;
    auto& top = pst.topOfPersonalFolders();
    for (size_t n = 0; n < cases.size(); ++n) {
        const CharsetCase& c = cases[n];
        const std::string label = "case " + std::to_string(n);
        Message& message = top.addFolder(label).addMessage().subject(label).body("body");
        if (c.codePage != 0)
            message.codepage(c.codePage);
        message.attach(c.fileName, c.data, c.mimeTag ? c.mimeTag : "");
        if (c.charsetProperty)
            message.attachments.back().property(tags::TextAttachmentCharset, PropertyValue::unicode(c.charsetProperty));
    }
    ItemStore store;
    const ConversionSummary summary = WriteAndConvert(temp, pst, store);
    const QString out = temp.filePath("out");
    ASSERT_EQ(summary.counts.Complete(OutcomeKind::Mail), static_cast<int>(cases.size()));

    for (size_t n = 0; n < cases.size(); ++n) {
        const CharsetCase& c = cases[n];
        SCOPED_TRACE(c.name);
        const QStringList files = FilesBelow(out, ".eml").filter(QStringLiteral("/case %1/").arg(n));
        ASSERT_EQ(files.size(), 1);
        auto message = ParseWithGMime(ReadAll(files.first()));
        ASSERT_TRUE(message);
        GMimePartIter* iter = g_mime_part_iter_new(GMIME_OBJECT(message.get()));
        GMimePart* attachment = nullptr;
        do {
            GMimeObject* part = g_mime_part_iter_get_current(iter);
            if (GMIME_IS_PART(part) && g_strcmp0(g_mime_part_get_filename(GMIME_PART(part)), c.fileName) == 0)
                attachment = GMIME_PART(part);
        } while (!attachment && g_mime_part_iter_next(iter));
        g_mime_part_iter_free(iter);
        ASSERT_NE(attachment, nullptr);
        const char* charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(attachment), "charset");
        if (c.expected)
            EXPECT_STREQ(charset, c.expected);
        else
            EXPECT_EQ(charset, nullptr) << charset;
        const QByteArray expectedData(reinterpret_cast<const char*>(c.data.data()), qsizetype(c.data.size()));
        EXPECT_TRUE(testing::PartBytes(GMIME_OBJECT(attachment)) == expectedData);
    }
}

}  // namespace
}  // namespace tolvane
