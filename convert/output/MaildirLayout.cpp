// The Maildir++ layout of the mail folders (see MaildirLayout.h).
#include "convert/output/MaildirLayout.h"

#include "convert/output/MailFolderPlan.h"
#include "convert/output/MailFormats.h"

#include <QSet>

namespace tolvane {

namespace {

const QString kInbox = QStringLiteral("INBOX");

}  // namespace

MaildirLayout::MaildirLayout(const QStringList& topLevel, std::optional<QString> inbox,
                             std::optional<QString> mailRootsOwn)
    : inbox_(std::move(inbox)), mailRootsOwn_(std::move(mailRootsOwn))
{
    // Every name at the top level, as a folder gets it unless renamed here;
    // a new name must be none of them.
    QSet<QString> taken(topLevel.cbegin(), topLevel.cend());
    taken.insert(kInbox);
    const auto freeName = [&](const QString& wanted) {
        QString name = wanted;
        for (int number = 2; taken.contains(name) || IsImapInboxName(name); ++number)
            name = QStringLiteral("%1 (%2)").arg(wanted).arg(number);
        taken.insert(name);
        return name;
    };
    if (inbox_)
        topLevelRenamed_.insert(*inbox_, kInbox);
    for (const QString& name : topLevel) {
        if ((!inbox_ || name != *inbox_) && IsImapInboxName(name) && !topLevelRenamed_.contains(name))
            topLevelRenamed_.insert(name, freeName(name));
    }
}

MaildirLayout MaildirLayout::Of(const MailFolderPlan& plan)
{
    return MaildirLayout(plan.topLevelNames(), plan.inboxName(), plan.mailRootsOwnName());
}

QString MaildirLayout::DirectoryFor(const QStringList& names) const
{
    QStringList below = names;
    if (below.isEmpty())
        return QString();
    if (!inbox_ && mailRootsOwn_ && below == QStringList{*mailRootsOwn_})
        return QString();
    if (inbox_ && below.first() == *inbox_) {
        below.removeFirst();
        // The Inbox itself is the tree's top; Dovecot's Maildir++ layout
        // keeps the folders below it as ".INBOX.Name".
        if (below.isEmpty())
            return QString();
        below.prepend(kInbox);
        return MaildirFolderName(below);
    }
    if (const auto renamed = topLevelRenamed_.constFind(below.first()); renamed != topLevelRenamed_.cend())
        below.first() = *renamed;
    else if (IsImapInboxName(below.first()))
        below.first() += QStringLiteral(" (2)");  // not one of the top level's: never INBOX either
    return MaildirFolderName(below);
}

}  // namespace tolvane
