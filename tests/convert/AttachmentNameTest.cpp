// An attachment's name is chosen by one rule for the scan's record and the
// converted file: the first of its long file name, short file name and
// display name that holds anything. Each case is one mail of a written
// mailbox with one attachment whose names are set as the case says.
#include "tests/convert/ConvertTestSupport.h"
#include "tests/convert/ScanAndConvert.h"

#include "scan/ItemStore.h"
#include "scan/ProcessTempDir.h"
#include "scan/ScanTexts.h"
#include "tests/support/PstBuilder.h"

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
    const QString pstPath = temp.filePath("mailbox.pst");
    pst.Write(pstPath.toStdString());
    ItemStore store;
    ProcessTempDir tempDir;
    RecordingConversionSink sink;
    const QString out = temp.filePath("out");
    const ConversionSummary summary = testing::ScanAndConvert(pstPath, out, store, tempDir, sink);
    ASSERT_EQ(summary.mailSaved, static_cast<int>(kCases.size()));

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

}  // namespace
}  // namespace tolvane
