// The Maildir++ layout of the mailbox's folders (see MaildirLayout.h).
#include "convert/output/MaildirLayout.h"

#include "convert/output/MailFormats.h"
#include "scan/FolderPaths.h"

#include <QSet>

namespace tolvane {

namespace {

const QString kInbox = QStringLiteral("INBOX");

bool IsInboxName(const QString& name)
{
    return name.compare(kInbox, Qt::CaseInsensitive) == 0;
}

}  // namespace

std::optional<QString> MaildirLayout::InboxAmong(const QStringList& firstLevel)
{
    for (const QString& name : firstLevel) {
        if (IsInboxName(name))
            return name;
    }
    return std::nullopt;
}

MaildirLayout::MaildirLayout(QString topFolder, const QStringList& firstLevel, std::optional<QString> inbox)
    : top_(std::move(topFolder)), inbox_(std::move(inbox))
{
    if (!inbox_)
        return;
    // Every name in the tree's first level, as a folder below the top gets
    // it unless renamed here; a new name must be none of them.
    QSet<QString> taken(firstLevel.cbegin(), firstLevel.cend());
    taken.insert(kInbox);
    const auto freeName = [&](const QString& wanted) {
        QString name = wanted;
        for (int number = 2; taken.contains(name) || IsInboxName(name); ++number)
            name = QStringLiteral("%1 (%2)").arg(wanted).arg(number);
        taken.insert(name);
        return name;
    };
    firstLevelRenamed_.insert(*inbox_, kInbox);
    for (const QString& name : firstLevel) {
        if (name != *inbox_ && IsInboxName(name) && !firstLevelRenamed_.contains(name))
            firstLevelRenamed_.insert(name, freeName(name));
    }
    topOwnMail_ = freeName(top_.trimmed().isEmpty() ? QStringLiteral("Top folder") : top_);
}

MaildirLayout MaildirLayout::Of(const FolderPaths* folders)
{
    if (folders == nullptr || folders->paths().isEmpty())
        return MaildirLayout(QString(), {}, std::nullopt);
    const QString top = folders->paths().first().section(u'/', 0, 0);
    QStringList firstLevel;
    for (const QString& path : folders->paths()) {
        const QStringList names = path.split(u'/');
        if (names.size() == 2 && names.first() == top)
            firstLevel << names.at(1);
    }
    return MaildirLayout(top, firstLevel, InboxAmong(firstLevel));
}

QString MaildirLayout::DirectoryFor(const QStringList& namesFromTop) const
{
    QStringList below = namesFromTop;
    if (below.isEmpty() || below.first() != top_) {
        // Not below the top folder (items found outside it): by its own
        // names, never as INBOX.
        if (!below.isEmpty() && IsInboxName(below.first()))
            below.first() += QStringLiteral(" (2)");
        return MaildirFolderName(below);
    }
    below.removeFirst();
    if (below.isEmpty())
        return inbox_ ? MaildirFolderName({topOwnMail_}) : QString();
    if (inbox_ && below.first() == *inbox_) {
        below.removeFirst();
        // The Inbox itself is the tree's top; Dovecot's Maildir++ layout
        // keeps the folders below it as ".INBOX.Name".
        if (below.isEmpty())
            return QString();
        below.prepend(kInbox);
        return MaildirFolderName(below);
    }
    if (const auto renamed = firstLevelRenamed_.constFind(below.first()); renamed != firstLevelRenamed_.cend())
        below.first() = *renamed;
    return MaildirFolderName(below);
}

}  // namespace tolvane
