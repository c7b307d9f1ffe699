// The ways mail is written: a dated .eml file of its own, a message appended
// to its folder's mbox file (beside the folder's other files, or in the
// local-folders tree), a file in its folder's Maildir.
#include "convert/output/MailSinks.h"

#include "convert/output/Manifest.h"
#include "convert/output/MboxTreeLayout.h"
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
    return [&mail](int fd, QString* why) {
        if (!mail.write(fd, why))
            return false;
        if (mail.arrived && mail.arrived->isValid()) {
            struct timespec times[2];
            times[0].tv_sec = static_cast<time_t>(mail.arrived->toSecsSinceEpoch());
            times[0].tv_nsec = 0;
            times[1] = times[0];
            (void)::futimens(fd, times);
        }
        return true;
    };
}

// Appends the message to its folder's mbox file after `opening`, from its
// bytes when composed already, else as it is composed.
SaveResult AppendTo(MboxFiles& files, const MailToSave& mail, const QByteArray& opening)
{
    return mail.bytes != nullptr ? files.Append(mail.folderKey, mail.folderName, opening, *mail.bytes)
                                 : files.Append(mail.folderKey, mail.folderName, opening, mail.write);
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

class MboxSink final : public MailSink {
public:
    MboxSink(OutputTree* output, MboxFiles::FinishedFile finishedFile) : files_(output, std::move(finishedFile)) {}

    SaveResult Save(const MailToSave& mail) override
    {
        // The state goes in front of the message's own header, where mbox
        // readers look for it; the .eml and Maildir files keep theirs apart.
        return AppendTo(files_, mail, MboxFromLine(mail.senderAddress, mail.arrived) + MboxStatusLines(mail.state));
    }
    QStringList Finish() override { return files_.PutAllInPlace(); }

private:
    MboxFiles files_;
};

// The mbox files as a mail client's local folders: the client keeps its
// read, replied, flagged and forwarded state and its tags in headers of its
// own, which go after the lines other mbox readers know. Every folder of the
// run gets its file, empty when it holds no mail: the client shows the
// folders below a folder only beside a file of its own.
class MboxTreeSink final : public MailSink {
public:
    MboxTreeSink(OutputTree* output, const FolderPaths* folders, const QStringList& folderKeys,
                 MboxFiles::FinishedFile finishedFile)
        : layout_(folders, folderKeys),
          files_(output, std::move(finishedFile), [this](const QString& folderKey, const QString&) {
              const MboxTreePlace place = layout_.PlaceOf(folderKey);
              return MboxFiles::Place{place.directoryKey, [name = place.fileName](int attempt) {
                                          // The name is the folder's own in the tree; another
                                          // only if something took it meanwhile.
                                          return attempt == 1 ? name : QStringLiteral("%1 (%2)").arg(name).arg(attempt);
                                      }};
          })
    {
    }

    SaveResult Save(const MailToSave& mail) override
    {
        return AppendTo(files_, mail,
                        MboxFromLine(mail.senderAddress, mail.arrived) + MboxStatusLines(mail.state)
                            + MozillaStatusLines(mail.state));
    }
    QStringList Finish() override
    {
        QStringList problems = files_.PutAllInPlace();
        for (const QString& key : layout_.placedKeys()) {
            QString reason;
            if (!files_.EnsureFile(key, QString(), &reason))
                problems << reason;
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
    MaildirSink(OutputTree* output, const FolderPaths* folders, MboxFiles::FinishedFile finishedFile)
        : tree_(output, folders, MaildirLayout::Of(folders), std::move(finishedFile))
    {
    }

    SaveResult Save(const MailToSave& mail) override
    {
        return tree_.Save(mail.folderKey, mail.arrived, MaildirInfo(mail.state), MaildirKeywords(mail.state),
                          Dated(mail), mail.digest);
    }
    void Kept(const MailToSave& mail) override { tree_.Kept(mail.folderKey); }
    QStringList Finish() override { return tree_.Finish(); }

private:
    MaildirTree tree_;
};

}  // namespace

std::unique_ptr<MailSink> MakeMailSink(OutputFormat format, OutputTree* output, const FolderPaths* folders,
                                       const QStringList& folderKeys, MboxFiles::FinishedFile finishedFile)
{
    switch (format) {
    case OutputFormat::Mbox:
        return std::make_unique<MboxSink>(output, std::move(finishedFile));
    case OutputFormat::MboxTree:
        return std::make_unique<MboxTreeSink>(output, folders, folderKeys, std::move(finishedFile));
    case OutputFormat::Maildir:
        return std::make_unique<MaildirSink>(output, folders, std::move(finishedFile));
    case OutputFormat::Eml:
        break;
    }
    return std::make_unique<EmlSink>(output);
}

}  // namespace tolvane
