// The mail folders of the mail formats (see MailFolderPlan.h).
#include "convert/output/MailFolderPlan.h"

#include "convert/output/MailFormats.h"
#include "scan/FolderPaths.h"

namespace tolvane {

namespace {

// Where a store names no mail root, the folder that is one in every
// mailbox a client made: the personal folders' top, or an offline cache's
// IPM_SUBTREE below its root folder.
bool LooksLikeMailRoot(const FolderNode& node)
{
    const QString stored = node.storedPath.isEmpty() ? node.name : node.storedPath;
    return (node.depth == 1 && stored == QLatin1String("Top of Personal Folders"))
           || (node.depth == 2 && stored.section(u'/', -1) == QLatin1String("IPM_SUBTREE"));
}

}  // namespace

bool MailFolderPlan::IsMailClass(const QString& containerClass)
{
    return containerClass.isEmpty() || containerClass.compare(QLatin1String("IPF.Note"), Qt::CaseInsensitive) == 0
           || containerClass.startsWith(QLatin1String("IPF.Note."), Qt::CaseInsensitive)
           || containerClass.compare(QLatin1String("IPF.Imap"), Qt::CaseInsensitive) == 0;
}

MailFolderPlan::MailFolderPlan(const RecordList<FolderNode>& nodes, const FolderPaths& folders,
                               const StoreFolders& store, FolderSelection selection)
    : folders_(&folders), selection_(std::move(selection))
{
    const auto rootIdentifier = store.Of(FolderRole::MailRoot);
    const FolderNode* mailRoot = nullptr;
    for (const auto& node : nodes) {
        if (rootIdentifier && node->identifier == *rootIdentifier) {
            mailRoot = node.get();
            break;
        }
    }
    if (mailRoot == nullptr) {
        for (const auto& node : nodes) {
            if (LooksLikeMailRoot(*node)) {
                mailRoot = node.get();
                break;
            }
        }
    }
    if (mailRoot == nullptr)
        return;
    mailRootKey_ = FolderKeyOf(*mailRoot);
    mailRootNames_ = folders.NamesOf(mailRootKey_);

    // The Inbox is the folder the store receives mail in, if it lies
    // directly below the mail root; else the first folder there named so.
    const auto inboxIdentifier = store.Of(FolderRole::Inbox);
    const FolderNode* inbox = nullptr;
    const FolderNode* namedInbox = nullptr;
    for (const auto& node : nodes) {
        if (node->parent != mailRoot->id || node->depth != mailRoot->depth + 1)
            continue;
        const QString key = FolderKeyOf(*node);
        const QString name = folders.NamesOf(key).value(mailRootNames_.size());
        topLevel_ << name;
        topLevelFolded_.insert(name.toCaseFolded());
        if (inboxIdentifier && node->identifier == *inboxIdentifier && inbox == nullptr)
            inbox = node.get();
        const QString stored = node->storedPath.section(u'/', -1);
        if (namedInbox == nullptr && (IsImapInboxName(stored) || IsImapInboxName(name)))
            namedInbox = node.get();
    }
    if (inbox == nullptr && !inboxIdentifier)
        inbox = namedInbox;
    if (inbox != nullptr)
        inboxName_ = folders.NamesOf(FolderKeyOf(*inbox)).value(mailRootNames_.size());

    // The mail root's own mail goes into a folder of its name, which no
    // folder below it has.
    mailRootName_ = mailRootNames_.isEmpty() ? QStringLiteral("Top folder") : mailRootNames_.last();
    for (const auto& node : nodes) {
        const QString key = FolderKeyOf(*node);
        if (key != mailRootKey_ && FolderPaths::IsWithin(key, mailRootKey_) && IsMailClass(node->containerClass))
            mailFolders_.insert(key);
    }
}

std::optional<QString> MailFolderPlan::mailRootsOwnName() const
{
    if (mailRootKey_.isEmpty())
        return std::nullopt;
    return NamesOf(mailRootKey_).value(0);
}

QStringList MailFolderPlan::NamesOf(const QString& folderKey) const
{
    const QStringList names =
        folders_ != nullptr ? folders_->NamesOf(folderKey) : folderKey.split(u'\\', Qt::SkipEmptyParts);
    if (mailRootKey_.isEmpty())
        return names;
    // A name at the top level for what lies outside the mail root, or for
    // the mail root's own mail: none a folder inside has, and never one IMAP
    // would take for its INBOX.
    const auto distinct = [this](const QString& wanted) {
        QString name = wanted.isEmpty() ? QStringLiteral("_") : wanted;
        for (int number = 2; topLevelFolded_.contains(name.toCaseFolded()) || IsImapInboxName(name); ++number)
            name = QStringLiteral("%1 (%2)").arg(wanted).arg(number);
        return name;
    };
    if (folderKey == mailRootKey_)
        return {distinct(mailRootName_)};
    if (FolderPaths::IsWithin(folderKey, mailRootKey_))
        return names.mid(mailRootNames_.size());
    QStringList outside = names;
    if (!outside.isEmpty())
        outside.first() = distinct(outside.first());
    return outside;
}

}  // namespace tolvane
