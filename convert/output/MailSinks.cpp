// The ways mail is written: a dated .eml file of its own, a message appended
// to its folder's mbox file (beside the folder's other files, or in the
// local-folders tree), a file in its folder's Maildir.
#include "convert/output/MailSinks.h"

#include "convert/output/MailFolderPlan.h"
#include "convert/output/Manifest.h"
#include "convert/output/MboxTreeLayout.h"
#include "convert/output/OutputNaming.h"
#include "convert/output/OutputTree.h"

#include <sys/stat.h>

#include <ctime>

namespace tolvane {

namespace {

// The message's bytes, then its time as the file's modification time (files
// sort by it in a file manager), set on the descriptor before the file gets
// its name.
ContentWriter Dated(const MailToSave& mail)
{
    return [&mail](int fd) {
        if (WriteStep written = mail.write(fd); !written)
            return written;
        if (mail.arrived && mail.arrived->isValid()) {
            struct timespec times[2];
            times[0].tv_sec = static_cast<time_t>(mail.arrived->toSecsSinceEpoch());
            times[0].tv_nsec = 0;
            times[1] = times[0];
            (void)::futimens(fd, times);
        }
        return WriteStep();
    };
}

// Appends the message to its folder's mbox file after `opening`, from its
// bytes when composed already, else as it is composed.
SaveResult AppendTo(MboxFiles& files, const MailToSave& mail, const QByteArray& opening)
{
    return mail.bytes != nullptr ? files.Append(mail.folderKey, mail.folderName, opening, *mail.bytes)
                                 : files.Append(mail.folderKey, mail.folderName, opening, mail.write);
}

// The folders among `folderKeys` that get their place even without mail:
// the mail folders, and with `takenOnly` only those whose mail the run
// takes (an empty file or directory for a folder passed on the way would
// tell of a folder without mail).
QStringList MailFoldersAmong(const MailFolderPlan& plan, const QStringList& folderKeys, bool takenOnly)
{
    QStringList kept;
    for (const QString& key : folderKeys) {
        if (plan.IsMailFolder(key) && (!takenOnly || plan.Takes(key)))
            kept << key;
    }
    return kept;
}

class EmlSink final : public MailSink {
public:
    explicit EmlSink(OutputTree* output) : output_(output) {}

    SaveResult Save(const MailToSave& mail) override
    {
        // The bytes are hashed as they go out, unless the worker that
        // composed them already did.
        std::optional<FileDigest> written;
        const ContentWriter dated = Dated(mail);
        SaveResult result = CreateFileIn(output_, mail.folderKey, mail.fileName,
                                         mail.digest ? dated : DigestingWriter(dated, &written));
        if (result) {
            if (const auto digest = mail.digest ? mail.digest : written)
                result->digest = *digest;
        }
        return result;
    }

private:
    OutputTree* output_;
};

// One mbox file per folder, "NAME.mbox" in the directory of the folder
// above it ("mbox/Inbox.mbox", "mbox/Inbox/Projects.mbox"): the layout mail
// servers and mbox readers take a tree of mbox files in.
class MboxSink final : public MailSink {
public:
    MboxSink(OutputTree* output, const MailFolderPlan& plan, const QStringList& folderKeys,
             MboxFiles::FinishedFile finishedFile, MboxFiles::NotPlacedFile notPlacedFile)
        : shownEmpty_(MailFoldersAmong(plan, folderKeys, true)),
          files_(output, std::move(finishedFile), [&plan](const QString& folderKey, const QString&) {
              const QStringList names = plan.NamesOf(folderKey);
              QString directory = u'\\' + QLatin1String(kMboxDirectory);
              for (qsizetype level = 0; level + 1 < names.size(); ++level)
                  directory += u'\\' + names.at(level);
              const QString nameText = names.isEmpty() || names.last().trimmed().isEmpty() ? QStringLiteral("Folder")
                                                                                          : names.last();
              return MboxFiles::Place{directory, [nameText](int attempt) {
                                          return FileNameFor(nameText, QString(), QStringLiteral(".mbox"), attempt);
                                      }};
          }, std::move(notPlacedFile))
    {
    }

    SaveResult Save(const MailToSave& mail) override
    {
        // The state goes in front of the message's own header, where mbox
        // readers look for it; the .eml and Maildir files keep theirs apart.
        return AppendTo(files_, mail, MboxFromLine(mail.sender, mail.arrived) + MboxStatusLines(mail.state));
    }
    QStringList Finish() override
    {
        QStringList problems = files_.PutAllInPlace();
        // A mail folder without mail is still one of the user's folders.
        for (const QString& key : shownEmpty_) {
            if (const WriteStep made = files_.EnsureFile(key, QString()); !made)
                problems << made.error().reason;
        }
        return problems;
    }

private:
    QStringList shownEmpty_;
    MboxFiles files_;
};

// The mbox files as a mail client's local folders: the client keeps its
// read, replied, flagged and forwarded state and its tags in headers of its
// own, which go after the lines other mbox readers know. Every folder of the
// run gets its file, empty when it holds no mail: the client shows the
// folders below a folder only beside a file of its own.
class MboxTreeSink final : public MailSink {
public:
    MboxTreeSink(OutputTree* output, const MailFolderPlan& plan, const QStringList& folderKeys,
                 const QString& mailboxName, MboxFiles::FinishedFile finishedFile,
                 MboxFiles::NotPlacedFile notPlacedFile)
        : layout_(&plan, mailboxName, MailFoldersAmong(plan, folderKeys, false)),
          files_(output, std::move(finishedFile), [this](const QString& folderKey, const QString&) {
              const MboxTreePlace place = layout_.PlaceOf(folderKey);
              return MboxFiles::Place{place.directoryKey, [name = place.fileName](int attempt) {
                                          // The name is the folder's own in the tree; another
                                          // only if something took it meanwhile.
                                          return attempt == 1 ? name : QStringLiteral("%1 (%2)").arg(name).arg(attempt);
                                      }};
          }, std::move(notPlacedFile))
    {
    }

    SaveResult Save(const MailToSave& mail) override
    {
        return AppendTo(files_, mail,
                        MboxFromLine(mail.sender, mail.arrived) + MboxStatusLines(mail.state)
                            + MozillaStatusLines(mail.state));
    }
    QStringList Finish() override
    {
        QStringList problems = files_.PutAllInPlace();
        for (const QString& key : layout_.placedKeys()) {
            if (const WriteStep made = files_.EnsureFile(key, QString()); !made)
                problems << made.error().reason;
        }
        return problems;
    }

private:
    MboxTreeLayout layout_;
    MboxFiles files_;
};

// A Maildir tree: the state in each file's name, the categories and the
// forwarded state as keywords, whose letters each folder's keyword file names.
class MaildirSink final : public MailSink {
public:
    MaildirSink(OutputTree* output, const MailFolderPlan& plan, const QStringList& folderKeys,
                MboxFiles::FinishedFile finishedFile)
        : tree_(output, plan, MaildirLayout::Of(plan), std::move(finishedFile)),
          shownEmpty_(MailFoldersAmong(plan, folderKeys, true))
    {
    }

    SaveResult Save(const MailToSave& mail) override
    {
        return tree_.Save(mail.folderKey, mail.arrived, MaildirInfo(mail.state), MaildirKeywords(mail.state),
                          Dated(mail), mail.digest);
    }
    void Kept(const MailToSave& mail) override { tree_.Kept(mail.folderKey); }
    QStringList Finish() override
    {
        // A mail folder without mail is still one of the user's folders.
        QStringList problems;
        for (const QString& key : shownEmpty_) {
            if (const WriteStep made = tree_.EnsureFolder(key); !made)
                problems << made.error().reason;
        }
        return problems + tree_.Finish();
    }

private:
    MaildirTree tree_;
    QStringList shownEmpty_;
};

}  // namespace

std::unique_ptr<MailSink> MakeMailSink(OutputFormat format, OutputTree* output, const MailFolderPlan& mailFolders,
                                       const QStringList& folderKeys, const QString& mailboxName,
                                       MboxFiles::FinishedFile finishedFile, MboxFiles::NotPlacedFile notPlacedFile)
{
    switch (format) {
    case OutputFormat::Mbox:
        return std::make_unique<MboxSink>(output, mailFolders, folderKeys, std::move(finishedFile),
                                          std::move(notPlacedFile));
    case OutputFormat::MboxTree:
        return std::make_unique<MboxTreeSink>(output, mailFolders, folderKeys, mailboxName, std::move(finishedFile),
                                              std::move(notPlacedFile));
    case OutputFormat::Maildir:
        return std::make_unique<MaildirSink>(output, mailFolders, folderKeys, std::move(finishedFile));
    case OutputFormat::Eml:
        break;
    }
    return std::make_unique<EmlSink>(output);
}

}  // namespace tolvane
