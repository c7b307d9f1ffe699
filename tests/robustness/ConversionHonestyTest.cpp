// The conversion never reports as saved what it did not write in full: a
// mailbox that is gone by the time of the conversion, attachments too large
// for memory (streamed, and cut off half way), header values from the mailbox
// that carry line breaks, and a machine short of memory.
#include "tests/robustness/Fixtures.h"

#include "convert/compose/GMimeHandles.h"
#include "convert/compose/MimeComposer.h"

#include <QProcess>

#include <map>

namespace tolvane::robustness {
namespace {

// File name -> decoded bytes of every attachment of a message.
std::map<QString, QByteArray> DecodedAttachments(const QByteArray& eml)
{
    std::map<QString, QByteArray> attachments;
    EnsureGMimeReady();
    auto stream = AdoptGObject(g_mime_stream_mem_new_with_buffer(eml.constData(), static_cast<size_t>(eml.size())));
    auto parser = AdoptGObject(g_mime_parser_new_with_stream(stream.get()));
    auto message = AdoptGObject(g_mime_parser_construct_message(parser.get(), nullptr));
    if (!message)
        return attachments;
    g_mime_message_foreach(
        message.get(),
        [](GMimeObject*, GMimeObject* part, gpointer data) {
            if (!GMIME_IS_PART(part))
                return;
            const char* name = g_mime_part_get_filename(GMIME_PART(part));
            GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
            if (!name || !content)
                return;
            auto out = AdoptGObject(g_mime_stream_mem_new());
            g_mime_data_wrapper_write_to_stream(content, out.get());
            GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
            (*static_cast<std::map<QString, QByteArray>*>(data))[QString::fromUtf8(name)] =
                QByteArray(reinterpret_cast<const char*>(bytes->data), static_cast<qsizetype>(bytes->len));
        },
        &attachments);
    return attachments;
}

pstwriter::Bytes Pattern(std::size_t size, uint32_t seed)
{
    pstwriter::Bytes data(size);
    uint32_t x = seed;
    for (auto& byte : data) {
        x = x * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(x >> 24);
    }
    return data;
}

QByteArray AsQByteArray(const pstwriter::Bytes& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// Two mails: one with an attachment larger than the conversion keeps in
// memory, one small.
constexpr std::size_t kLargeAttachmentSize = 9 * 1024 * 1024 + 123;

void WriteLargeAttachmentMailbox(const QString& path, std::size_t size)
{
    using namespace tolvane::pstwriter;
    PstBuilderOptions options;
    options.encoding = BlockEncoding::None;
    PstBuilder pst(options);
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    inbox.addMessage()
        .subject("Large")
        .from("Ann Example", "ann@example.com")
        .body("see the attachment")
        .attach("large.bin", Pattern(size, 5), "application/octet-stream")
        .attach("small.txt", Bytes(100, 's'), "text/plain");
    inbox.addMessage().subject("Small").from("Ann Example", "ann@example.com").body("no attachment");
    pst.Write(path.toStdString());
}

TEST(ConversionHonesty, MailboxGoneBeforeConversionFailsUnlessScanRecordsAreWanted)
{
    for (const bool fromRecords : {false, true}) {
        SCOPED_TRACE(fromRecords ? "write what the scan kept" : "refuse");
        ScratchArea area;
        const QString input = area.input(QStringLiteral("moved.pst"));
        WriteBaseMailbox(input);
        const ScanRun scan = ScanFile(input);
        ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
        ASSERT_TRUE(QFile::rename(input, input + QStringLiteral(".elsewhere")));

        const ConvertRun conversion = ConvertScan(scan, input, area.destination(), nullptr, fromRecords);
        ExpectHonestConversion(scan, conversion, area.outputRoot());
        const ConversionSummary& summary = conversion.summary;
        EXPECT_TRUE(summary.ReasonOf(RunProblem::Kind::MailboxUnreadable).contains(QStringLiteral("No such file"))) << qPrintable(summary.ReasonOf(RunProblem::Kind::MailboxUnreadable));
        EXPECT_FALSE(summary.allSaved());
        EXPECT_EQ(summary.counts.Complete(OutcomeKind::Mail), 0);
        const auto files = MessageFiles(area.outputRoot());
        if (!fromRecords) {
            EXPECT_TRUE(files.empty());
            EXPECT_TRUE(conversion.notices.front().contains(QStringLiteral("Nothing was saved")));
            continue;
        }
        EXPECT_EQ(summary.counts.Incomplete(OutcomeKind::Mail), kBaseMailCount);
        EXPECT_EQ(files.size(), static_cast<std::size_t>(kBaseMailCount));
        for (const auto& [path, bytes] : files)
            EXPECT_TRUE(SaysIncomplete(bytes)) << qPrintable(path);
    }
}

// Large attachments flow from the mailbox into the file in chunks; the bytes
// that arrive are exactly the stored ones.
TEST(ConversionHonesty, LargeAttachmentIsStreamedWhole)
{
    ScratchArea area;
    const QString input = area.input(QStringLiteral("large.pst"));
    WriteLargeAttachmentMailbox(input, kLargeAttachmentSize);
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    const ConvertRun conversion = ConvertScan(scan, input, area.destination());
    ExpectHonestConversion(scan, conversion, area.outputRoot());
    ASSERT_TRUE(conversion.summary.allSaved()) << qPrintable(conversion.notices.join(u'\n'));

    const QStringList files = FilesEndingIn(area.outputRoot(), QStringLiteral("Large41.eml"));
    ASSERT_EQ(files.size(), 1);
    const QByteArray eml = ReadAll(files.front());
    EXPECT_FALSE(SaysIncomplete(eml));
    const auto attachments = DecodedAttachments(eml);
    ASSERT_EQ(attachments.count(QStringLiteral("large.bin")), 1u);
    EXPECT_TRUE(attachments.at(QStringLiteral("large.bin")) == AsQByteArray(Pattern(kLargeAttachmentSize, 5)));
    EXPECT_EQ(attachments.at(QStringLiteral("small.txt")), QByteArray(100, 's'));
}

// The mailbox is cut inside the large attachment's data after the scan: the
// message is never written with a shorter attachment.
TEST(ConversionHonesty, LargeAttachmentCutOffIsNeverSavedShort)
{
    ScratchArea area;
    const QString input = area.input(QStringLiteral("large.pst"));
    WriteLargeAttachmentMailbox(input, kLargeAttachmentSize);
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    // The attachment's blocks fill most of the file; cut in their middle.
    QFile file(input);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const qint64 size = file.size();
    ASSERT_TRUE(file.resize(size / 2));
    file.close();

    const ConvertRun conversion = ConvertScan(scan, input, area.destination());
    ExpectHonestConversion(scan, conversion, area.outputRoot());
    EXPECT_FALSE(conversion.summary.allSaved());
    for (const QString& path : FilesEndingIn(area.outputRoot(), QStringLiteral(".eml"))) {
        const QByteArray eml = ReadAll(path);
        const auto attachments = DecodedAttachments(eml);
        const auto large = attachments.find(QStringLiteral("large.bin"));
        if (large != attachments.end()) {
            EXPECT_TRUE(large->second == AsQByteArray(Pattern(kLargeAttachmentSize, 5))) << "short attachment saved";
        } else if (path.endsWith(QStringLiteral("Large41.eml"))) {
            EXPECT_TRUE(SaysIncomplete(eml)) << "attachment dropped without a word";
        }
    }
}

// Values from the mailbox never end their header or start another one.
TEST(ConversionHonesty, LineBreaksInMailboxValuesStayInsideTheirHeader)
{
    MessageContent content;
    content.subject = QStringLiteral("Hello\r\nBcc: victim@example.com");
    content.from = Mailbox{QStringLiteral("Ann\r\nX-Injected: 1"), QStringLiteral("ann@example.com")};
    Attachment attachment;
    attachment.fileName = QStringLiteral("a\r\n\r\nb.txt");
    attachment.contentId = QStringLiteral("part1\r\nX-Injected: 2\r\n\r\nbody");
    attachment.data = "payload";
    content.htmlBody = "<img src=\"cid:part1\">";
    content.attachments.push_back(attachment);
    content.missing.Add(MissingEntry::OfAttachment(MissingPart::Attachment, QStringLiteral("x\r\ny"), 0));

    const QByteArray eml = ComposeMessageBytes(content).value();
    EXPECT_FALSE(eml.contains("\r\nX-Injected:")) << eml.constData();
    EXPECT_FALSE(eml.contains("\r\nBcc:")) << eml.constData();
    EXPECT_TRUE(SaysIncomplete(eml));
    // Each part's header block ends exactly once, before its content.
    const auto attachments = DecodedAttachments(eml);
    ASSERT_EQ(attachments.size(), 1u);
    EXPECT_EQ(attachments.begin()->second, QByteArray("payload"));
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Under a small address-space limit the command line ends cleanly: it either
// saves the attachment whole or says it could not, never aborts and never
// writes it short. (Sanitizer builds reserve address space of their own.)
TEST(ConversionHonesty, SmallAddressSpaceEndsCleanly)
{
    const QString cli = QStringLiteral(TOLVANE_BIN_DIR "/tolvane-cli");
    if (!QFileInfo::exists(cli))
        GTEST_SKIP() << "tolvane-cli is not built next to the test";
    ScratchArea area;
    const QString input = area.input(QStringLiteral("large.pst"));
    const std::size_t size = 64 * 1024 * 1024;
    WriteLargeAttachmentMailbox(input, size);
    for (const int limitKb : {400000, 300000, 200000, 100000}) {
        SCOPED_TRACE(limitKb);
        const QString destination = area.input(QStringLiteral("out-%1").arg(limitKb));
        QDir().mkpath(destination);
        QProcess process;
        process.start(QStringLiteral("/bin/sh"),
                      {QStringLiteral("-c"), QStringLiteral("ulimit -v %1; exec \"$0\" convert \"$1\" \"$2\"").arg(limitKb),
                       cli, input, destination});
        ASSERT_TRUE(process.waitForFinished(300000));
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        ASSERT_EQ(process.exitStatus(), QProcess::NormalExit) << qPrintable(err);
        const int status = process.exitCode();
        EXPECT_TRUE(status == 0 || status == 4 || status == 5) << status << qPrintable(err);
        if (status == 0) {
            EXPECT_TRUE(out.contains(QStringLiteral("2 mails saved\n"))) << qPrintable(out);
        }
        for (const QString& path : FilesEndingIn(destination, QStringLiteral("Large41.eml"))) {
            const QByteArray eml = ReadAll(path);
            if (SaysIncomplete(eml))
                continue;
            const auto attachments = DecodedAttachments(eml);
            ASSERT_EQ(attachments.count(QStringLiteral("large.bin")), 1u) << "attachment dropped without a word";
            EXPECT_EQ(attachments.at(QStringLiteral("large.bin")).size(), static_cast<qsizetype>(size));
        }
    }
}
#endif

}  // namespace
}  // namespace tolvane::robustness
