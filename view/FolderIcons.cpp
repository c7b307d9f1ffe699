// Icon table of the folder tree and the name-to-kind rule.
#include "view/FolderIcons.h"

#include <array>
#include <utility>

// The image list is compiled into this static library; register it once.
static void InitialiseViewResources()
{
    Q_INIT_RESOURCE(view);
}

namespace tolvane {

int FolderImageIndex(const QString& folderName)
{
    // Whole-name comparison of the upper-cased text; the first match wins.
    static const std::array<std::pair<const char16_t*, int>, 12> kinds{{
        {u"CALENDAR", 3},
        {u"CONTACTS", 4},
        {u"DELETED ITEMS", 5},
        {u"DRAFTS", 6},
        {u"INBOX", 7},
        {u"JOURNAL", 8},
        {u"JUNK E-MAILS", 9},
        {u"NOTES", 10},
        {u"OUTBOX", 11},
        {u"SENT ITEMS", 12},
        {u"TASKS", 13},
        {u"SYNC ISSUES", 14},
    }};
    const QString upper = folderName.toUpper();
    for (const auto& [name, image] : kinds) {
        if (upper == QStringView(name))
            return image;
    }
    return 0;
}

const QVector<QIcon>& FolderImageList()
{
    static const QVector<QIcon> icons = [] {
        InitialiseViewResources();
        static const char* const files[] = {
            "folder",      "folder-open", "mailbox-file", "calendar",   "contacts",
            "deleted-items", "drafts",    "inbox",        "journal",    "junk-email",
            "notes",       "outbox",      "sent-items",   "tasks",      "sync-issues",
            "search-folder", "archive",
        };
        QVector<QIcon> list;
        for (const char* file : files)
            list.push_back(QIcon(QStringLiteral(":/tolvane/icons/%1.svg").arg(QLatin1String(file))));
        return list;
    }();
    return icons;
}

}  // namespace tolvane
