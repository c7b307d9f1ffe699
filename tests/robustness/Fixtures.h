// Mailboxes the robustness tests start from, written by the project's PST
// writer, and the checks every fault case shares.
#pragma once

#include "tests/robustness/RobustnessSupport.h"

#include "pstwriter/PstBuilder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include <string>

namespace tolvane::robustness {

inline const QString kCompletedNotice = QStringLiteral("Analysis completed");
inline const QString kNotPstNotice = QStringLiteral("This is not a valid PST File");
inline const QString kOpenFailedNotice = QStringLiteral(
    "Please check file use in another proess or File is highly corrupted! Please select another file OR contact "
    "support team..");
inline const QString kScanFailedNotice =
    QStringLiteral("Scanning process failed! Please select another file OR contact support team..");

// What the user must have been told for each way a scan ends.
inline QStringList ExpectedScanNotices(ScanOutcome outcome)
{
    switch (outcome) {
    case ScanOutcome::Completed: return {kCompletedNotice};
    case ScanOutcome::NotPst: return {kNotPstNotice, kOpenFailedNotice};
    case ScanOutcome::OpenFailed: return {kOpenFailedNotice};
    case ScanOutcome::ScanFailed: return {kScanFailedNotice};
    case ScanOutcome::Abandoned: return {};
    case ScanOutcome::NoResources: return {QStringLiteral("Not Enough Memory")};
    }
    return {};
}

// Three folders, 45 messages: bodies of both kinds, attachments, recipients.
// Written without block encoding so the tests can find heaps by their signature.
inline constexpr int kBaseMailCount = 45;

inline void WriteBaseMailbox(const QString& path)
{
    using namespace tolvane::pstwriter;
    PstBuilderOptions options;
    options.encoding = BlockEncoding::None;
    PstBuilder pst(options);
    auto& top = pst.topOfPersonalFolders();
    auto& inbox = top.addFolder("Inbox");
    for (int i = 0; i < 20; ++i) {
        Bytes data(3000 + i * 100, static_cast<uint8_t>('a' + i % 26));
        inbox.addMessage()
            .subject("Inbox message " + std::to_string(i))
            .from("Ann Example", "ann@example.com")
            .to("Bob Example", "bob@example.com")
            .htmlBody("<p>hello " + std::to_string(i) + "</p>")
            .body("hello " + std::to_string(i))
            .attach("note" + std::to_string(i) + ".txt", data, "text/plain");
    }
    auto& sent = top.addFolder("Sent Items");
    for (int i = 0; i < 15; ++i)
        sent.addMessage().subject("Sent message " + std::to_string(i)).to("Cy", "cy@example.com").body("plain text");
    auto& year = top.addFolder("Archive").addFolder("2020");
    for (int i = 0; i < 10; ++i)
        year.addMessage().subject("Archived message " + std::to_string(i)).body(std::string(20000, 'z'));
    pst.Write(path.toStdString());
}

inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// True when the message file says it lacks something (its header block
// carries the incomplete marker).
inline bool SaysIncomplete(const QByteArray& eml)
{
    const qsizetype end = eml.indexOf("\r\n\r\n");
    const QByteArray headers = "\r\n" + (end < 0 ? eml : eml.left(end));
    return headers.contains("\r\nX-Tolvane-Incomplete:");
}

// The message with its MIME boundaries (random per run) replaced by fixed
// names, so two files of the same content compare equal.
inline QByteArray WithFixedBoundaries(QByteArray eml)
{
    int next = 0;
    qsizetype at = 0;
    while ((at = eml.indexOf("boundary=\"", at)) >= 0) {
        at += 10;
        const qsizetype end = eml.indexOf('"', at);
        if (end < 0)
            break;
        const QByteArray boundary = eml.mid(at, end - at);
        if (boundary.startsWith("fixed-"))
            continue;
        eml.replace(boundary, "fixed-" + QByteArray::number(next++));
    }
    return eml;
}

// Relative path -> bytes of every .eml below `root`.
inline std::map<QString, QByteArray> MessageFiles(const QString& root)
{
    std::map<QString, QByteArray> files;
    for (const QString& path : FilesEndingIn(root, QStringLiteral(".eml")))
        files[QDir(root).relativeFilePath(path)] = WithFixedBoundaries(ReadAll(path));
    return files;
}

// No file says more than it holds: every file that does not say it is
// incomplete is byte for byte the file a conversion of the intact mailbox
// wrote under the same name.
inline void ExpectNoFileClaimsMore(const std::map<QString, QByteArray>& reference, const QString& outputRoot)
{
    for (const auto& [path, bytes] : MessageFiles(outputRoot)) {
        if (SaysIncomplete(bytes))
            continue;
        const auto found = reference.find(path);
        ASSERT_NE(found, reference.end()) << "unexpected file " << qPrintable(path);
        EXPECT_EQ(bytes, found->second) << qPrintable(path) << " differs from the intact mailbox's file but does "
                                        << "not say it is incomplete";
    }
}

// The conversion of a completed scan: started, every top-level mail saved,
// saved incomplete or counted as failed, one file per written mail, every
// problem named, the notice telling the truth, and no hidden temporary file
// left behind.
inline void ExpectHonestConversion(const ScanRun& scan, const ConvertRun& conversion, const QString& outputRoot)
{
    ASSERT_EQ(conversion.start, kStarted);
    const ConversionSummary& summary = conversion.summary;
    EXPECT_FALSE(summary.abandoned);
    int topLevel = 0;
    for (const auto& record : scan.store->mailRecords())
        topLevel += record->location.isEmbedded() ? 0 : 1;
    if (summary.ReasonOf(RunProblem::Kind::MailboxUnreadable).isEmpty()) {
        EXPECT_EQ(summary.mailTotal, topLevel);
        EXPECT_EQ(summary.counts.Complete(OutcomeKind::Mail) + summary.counts.Incomplete(OutcomeKind::Mail) + summary.counts.Failed(OutcomeKind::Mail), summary.mailTotal)
            << qPrintable(summary.firstFailures.join(u'\n'));
    }
    EXPECT_EQ(FilesEndingIn(outputRoot, QStringLiteral(".eml")).size(), summary.counts.Complete(OutcomeKind::Mail) + summary.counts.Incomplete(OutcomeKind::Mail));
    EXPECT_GE(conversion.problems.size(), summary.counts.Incomplete(OutcomeKind::Mail) + summary.counts.Failed(OutcomeKind::Mail) + summary.counts.Failed(OutcomeKind::Contact));
    ASSERT_EQ(conversion.notices.size(), 1);
    if (summary.allSaved())
        EXPECT_EQ(conversion.notices.front(), QString::fromLatin1(kSavingCompletedText));
    else
        EXPECT_NE(conversion.notices.front(), QString::fromLatin1(kSavingCompletedText));
    QDirIterator it(outputRoot, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        EXPECT_FALSE(QFileInfo(path).fileName().startsWith(QStringLiteral(".tolvane-partial-")))
            << "left behind: " << qPrintable(path);
    }
}

}  // namespace tolvane::robustness
