// Mailboxes the robustness tests start from, written by the project's PST
// writer, and the checks every fault case shares.
#pragma once

#include "RobustnessSupport.h"

#include "PstBuilder.h"

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
    pst.write(path.toStdString());
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

// The conversion of a completed scan: started, every top-level mail either
// saved or counted as failed, one file per saved mail, the notice telling the
// truth, and no hidden temporary file left behind.
inline void ExpectHonestConversion(const ScanRun& scan, const ConvertRun& conversion, const QString& outputRoot)
{
    ASSERT_EQ(conversion.start, ConversionStart::Started);
    const ConversionSummary& summary = conversion.summary;
    EXPECT_FALSE(summary.abandoned);
    int topLevel = 0;
    for (const auto& record : scan.store->mailRecords())
        topLevel += record->location.isEmbedded() ? 0 : 1;
    EXPECT_EQ(summary.mailTotal, topLevel);
    EXPECT_EQ(summary.mailSaved + summary.mailFailed, summary.mailTotal)
        << qPrintable(summary.firstFailures.join(u'\n'));
    EXPECT_EQ(FilesEndingIn(outputRoot, QStringLiteral(".eml")).size(), summary.mailSaved);
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
