// The local-folders layout of the mbox tree (see MboxTreeLayout.h).
#include "convert/output/MboxTreeLayout.h"

#include "convert/output/MailFolderPlan.h"
#include "convert/output/OutputNaming.h"

#include <QSet>

namespace tolvane {

namespace {

// The longest folder name, in UTF-16 code units, the client finds the file
// of: for a longer one it looks for a file of a shortened, hashed name
// instead, and shows the folder empty. Well within the file system's 255
// bytes, with ".sbd" after it.
constexpr qsizetype kMaxNameUnits = 55;

// Names the client keeps for files of its own beside the mbox files: with
// these endings (indexes, summaries, the directories of subfolders), or
// these whole names (filters, logs, feeds).
const char* const kClientEndings[] = {".msf", ".sbd", ".snm", ".toc", ".mozmsgs"};
const char* const kClientNames[] = {"msgFilterRules.dat", "popstate.dat", "rules.dat",   "feeds.json",
                                    "feeditems.json",     "filterlog.html", "junklog.html"};

// The folders the client keeps at the top of its local folders, by its
// own names: a folder of the tree named so would be merged with the user's
// own, or taken for it.
const char* const kClientFolders[] = {"Inbox", "Trash",    "Unsent Messages", "Drafts", "Sent",
                                      "Templates", "Archives", "Junk",          "Outbox"};

// Characters no file name may hold, and those for which the client looks
// for a file of a hashed name instead of the folder's own.
bool IsReplaced(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || QStringView(u"/\\\"#*:;<>?|").contains(c);
}

// Endings the client would not take: a file it hides or treats as its own,
// or a name it shortens.
bool NeedsTail(const QString& name)
{
    if (name.endsWith(u'.') || name.endsWith(u' ') || name.endsWith(u'~'))
        return true;
    for (const char* ending : kClientEndings) {
        if (name.endsWith(QLatin1String(ending), Qt::CaseInsensitive))
            return true;
    }
    for (const char* whole : kClientNames) {
        if (name.compare(QLatin1String(whole), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The longest start of `text` of at most `units` UTF-16 code units, never
// half a character.
QString CutToUnits(const QString& text, qsizetype units)
{
    QString kept = text.left(units);
    if (!kept.isEmpty() && kept.back().isHighSurrogate())
        kept.chop(1);
    return kept;
}

QString Numbered(const QString& name, int number)
{
    const QString tail = QStringLiteral(" (%1)").arg(number);
    return CutToUnits(name, kMaxNameUnits - tail.size()) + tail;
}

}  // namespace

struct MboxTreeLayout::Node {
    QString key;           // the folder's key, or the layout's own for a level no folder is
    QString fileName;      // unique among its siblings
    QString directoryKey;  // where its file goes
    std::vector<std::unique_ptr<Node>> children;
    QHash<QString, Node*> childByComponent;  // by the key's component
    QSet<QString> takenNames;                // the children's names, case-folded
};

QString MboxTreeLayout::FileNameOf(const QString& folderName)
{
    QString name = WithoutLoneSurrogates(folderName, u'_');
    for (QChar& c : name) {
        if (IsReplaced(c))
            c = u'_';
    }
    if (name.isEmpty())
        name = QStringLiteral("_");
    // A leading "." hides the file (and "." and ".." are no names at all).
    if (name.startsWith(u'.'))
        name.prepend(u'_');
    name = CutToUnits(name, kMaxNameUnits);
    if (NeedsTail(name))
        name = CutToUnits(name, kMaxNameUnits - 1) + u'_';
    return name;
}

MboxTreeLayout::MboxTreeLayout(const MailFolderPlan* plan, const QString& mailboxFolder,
                               const QStringList& folderKeys)
    : plan_(plan), mailboxFolder_(mailboxFolder), root_(std::make_unique<Node>())
{
    root_->directoryKey = QStringLiteral("\\") + QLatin1String(kMboxTreeDirectory);
    // The client's own folders are the top level's earlier siblings: a
    // mailbox named after one of them gets " (2)".
    for (const char* name : kClientFolders)
        root_->takenNames.insert(QString::fromLatin1(name).toCaseFolded());
    for (const QString& key : folderKeys)
        (void)NodeOf(key);
}

MboxTreeLayout::~MboxTreeLayout() = default;

MboxTreeLayout::Node* MboxTreeLayout::NodeOf(const QString& folderKey)
{
    if (Node* known = nodeByKey_.value(folderKey))
        return known;
    QStringList names = plan_ != nullptr ? plan_->NamesOf(folderKey) : folderKey.split(u'\\', Qt::SkipEmptyParts);
    if (!mailboxFolder_.isEmpty())
        names.prepend(mailboxFolder_);
    Node* node = root_.get();
    for (qsizetype level = 0; level < names.size(); ++level) {
        const QString& folderName = names.at(level);
        if (Node* found = node->childByComponent.value(folderName)) {
            node = found;
            continue;
        }
        const QString wanted = FileNameOf(folderName);
        QString name = wanted;
        for (int number = 2; node->takenNames.contains(name.toCaseFolded()); ++number)
            name = Numbered(wanted, number);
        node->takenNames.insert(name.toCaseFolded());
        auto child = std::make_unique<Node>();
        child->fileName = name;
        // The folders below a folder are in the directory beside its file.
        child->directoryKey = node == root_.get() ? node->directoryKey
                                                  : node->directoryKey + u'\\' + node->fileName + QStringLiteral(".sbd");
        // A level no folder of the mailbox is (yet) gets a key of the
        // layout's own, which no folder key can be (those start with "\\");
        // without a plan the key's own components are folder keys too.
        const QStringList levelNames = names.mid(0, level + 1);
        child->key = level + 1 == names.size() ? folderKey
                     : plan_ == nullptr && mailboxFolder_.isEmpty() ? u'\\' + levelNames.join(u'\\')
                                                                    : u'>' + levelNames.join(u'/');
        Node* made = child.get();
        node->childByComponent.insert(folderName, made);
        node->children.push_back(std::move(child));
        nodeByKey_.insert(made->key, made);
        order_ << made->key;
        node = made;
    }
    if (node != root_.get() && node->key != folderKey) {
        nodeByKey_.insert(folderKey, node);
        // A level made earlier for the folders below it turns out to be this
        // folder: its file is this folder's, by this folder's key.
        if (node->key.startsWith(u'>')) {
            order_[order_.indexOf(node->key)] = folderKey;
            node->key = folderKey;
        }
    }
    return node;
}

MboxTreePlace MboxTreeLayout::PlaceOf(const QString& folderKey)
{
    const Node* node = NodeOf(folderKey);
    if (node == root_.get())
        return MboxTreePlace{root_->directoryKey, QStringLiteral("_")};
    return MboxTreePlace{node->directoryKey, node->fileName};
}

QStringList MboxTreeLayout::placedKeys() const
{
    return order_;
}

}  // namespace tolvane
