// Messages whose attachments are too large for memory are composed by the
// read-ahead worker into a scratch file, so the thread that writes the
// output never reads the mailbox: what it copies stays whole after every
// reader has gone, and a message with no place to be composed fails with a
// reason instead of being written short.
#include "tests/convert/ConvertTestSupport.h"

#include "app/cli/HeadlessScan.h"
#include "convert/MailFeed.h"
#include "convert/MessagePreparer.h"
#include "convert/output/NewFileWriter.h"
#include "convert/read/MailboxReader.h"
#include "scan/ItemStore.h"
#include "base/ProcessTempDir.h"
#include "pstwriter/PstBuilder.h"

#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

namespace tolvane {
namespace {

using namespace pstwriter;
using testing::ParseWithGMime;
using testing::Parts;

constexpr std::size_t kLargeAttachment = 5 * 1024 * 1024 + 17;

TEST(ComposedAsideTest, TheWriterCopiesFinishedBytesAndNeverTheMailbox)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString pstPath = temp.filePath(QStringLiteral("large.pst"));
    {
        PstBuilder pst;
        pst.topOfPersonalFolders().addFolder("Inbox").addMessage().subject("Large").body("see attached").attach(
            "large.bin", Bytes(kLargeAttachment, 0x37));
        pst.Write(pstPath.toStdString());
    }
    ProcessTempDir tempDir;
    ItemStore store;
    cli::HeadlessScanSink scanSink;
    ASSERT_EQ(cli::RunHeadlessScan(pstPath, store, tempDir, scanSink, nullptr, nullptr, ItemDetail::WhereOnly),
              ScanOutcome::Completed);

    struct Case {
        const char* name;
        bool withMaker;
        bool makerRefuses;
        const char* failureHas;  // null: composed aside and whole
    };
    const Case cases[] = {
        {"a scratch file", true, false, nullptr},
        {"the disk refuses a scratch file", true, true, "no room here"},
        {"no place for scratch files", false, false, "no place to compose"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::function<Expected<UniqueFd, WriteError>()> maker;
        if (c.withMaker)
            maker = [&]() -> Expected<UniqueFd, WriteError> {
                if (c.makerRefuses)
                    return NotSaved(WriteFailure::FileSystem, QStringLiteral("no room here"));
                return UniqueFd(::open(temp.path().toLocal8Bit().constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
            };
        PreparedMessage prepared;
        {
            auto reader = std::make_unique<MailboxReader>();
            ASSERT_TRUE(reader->Open(pstPath, store.mailboxIdentity()));
            MailFeed feed(store.mailRecords());
            MessagePreparer preparer(feed, {reader.get()}, 2, maker);
            ASSERT_NE(feed.WaitFor(0), nullptr);
            prepared = preparer.Take(0);
        }
        // Every reader is gone: the writer only has what the worker made.
        if (c.failureHas != nullptr) {
            EXPECT_FALSE(prepared.spilled);
            const QString reason = prepared.failure ? prepared.failure->reason : QString();
            EXPECT_TRUE(reason.contains(QString::fromLatin1(c.failureHas))) << qPrintable(reason);
            continue;
        }
        ASSERT_TRUE(prepared.spilled) << qPrintable(prepared.failure ? prepared.failure->reason : QString());
        EXPECT_TRUE(prepared.bytes.isEmpty());
        QTemporaryDir out;
        ASSERT_TRUE(out.isValid());
        const QString copyPath = out.filePath(QStringLiteral("copy.eml"));
        const int copy = ::open(copyPath.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(copy, 0);
        const WriteStep copied = CopyWholeFileTo(prepared.spilled.get(), copy);
        EXPECT_TRUE(copied) << qPrintable(copied.error().reason);
        ::close(copy);
        const QByteArray written = testing::ReadAll(copyPath);
        ASSERT_TRUE(prepared.digest);
        EXPECT_EQ(prepared.digest->size, written.size());
        const auto message = ParseWithGMime(written);
        ASSERT_TRUE(message);
        bool found = false;
        for (const auto& part : Parts(message.get())) {
            if (part.fileName == QStringLiteral("large.bin")) {
                found = true;
                EXPECT_EQ(part.content, QByteArray(static_cast<qsizetype>(kLargeAttachment), '\x37'));
            }
        }
        EXPECT_TRUE(found) << "the attachment is in the composed message";
    }
}

}  // namespace
}  // namespace tolvane
