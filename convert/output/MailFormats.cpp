// The mbox separator and quoting, Maildir's flags and folder names.
#include "convert/output/MailFormats.h"

#include "convert/output/Sha256.h"

#include <QLocale>

#include <algorithm>
#include <cctype>

namespace tolvane {

std::optional<OutputFormat> OutputFormatNamed(const QString& name)
{
    if (name == QLatin1String("eml"))
        return OutputFormat::Eml;
    if (name == QLatin1String("mbox"))
        return OutputFormat::Mbox;
    if (name == QLatin1String("mboxtree"))
        return OutputFormat::MboxTree;
    if (name == QLatin1String("maildir"))
        return OutputFormat::Maildir;
    return std::nullopt;
}

QString OutputFormatName(OutputFormat format)
{
    switch (format) {
    case OutputFormat::Mbox:
        return QStringLiteral("mbox");
    case OutputFormat::MboxTree:
        return QStringLiteral("mboxtree");
    case OutputFormat::Maildir:
        return QStringLiteral("maildir");
    case OutputFormat::Eml:
        break;
    }
    return QStringLiteral("eml");
}

QByteArray MboxFromLine(const std::optional<AddrSpec>& sender, const std::optional<QDateTime>& date)
{
    // The address is one word on the line: one with anything outside
    // printable ASCII would break it.
    const QString word = sender && sender->isPrintableAscii() ? sender->text() : QStringLiteral("MAILER-DAEMON");
    // The layout of C's asctime(), in UTC, whatever the locale.
    const QDateTime when = date && date->isValid() ? date->toUTC() : QDateTime::fromSecsSinceEpoch(0, Qt::UTC);
    const QLocale c = QLocale::c();
    const QString stamp = QStringLiteral("%1 %2 %3 %4 %5")
                              .arg(c.dayName(when.date().dayOfWeek(), QLocale::ShortFormat),
                                   c.monthName(when.date().month(), QLocale::ShortFormat))
                              .arg(when.date().day(), 2, 10, QChar(u' '))
                              .arg(when.time().toString(QStringLiteral("HH:mm:ss")))
                              .arg(when.date().year());
    return "From " + word.toLatin1() + ' ' + stamp.toLatin1() + '\n';
}

namespace {

// What the message's properties say of its state (MessageState).
constexpr uint32_t kRead = 0x1;
constexpr uint32_t kUnsent = 0x8;
constexpr uint32_t kReply = 102, kReplyAll = 103, kForward = 104;
constexpr uint32_t kFlagged = 2;

bool IsRead(const MessageState& state)
{
    return (state.messageFlags.value_or(0) & kRead) != 0;
}

bool IsUnsent(const MessageState& state)
{
    return (state.messageFlags.value_or(0) & kUnsent) != 0;
}

bool IsAnswered(const MessageState& state)
{
    return state.lastVerb == kReply || state.lastVerb == kReplyAll;
}

bool IsFlagged(const MessageState& state)
{
    return state.flagStatus == kFlagged;
}

bool IsForwarded(const MessageState& state)
{
    return state.lastVerb == kForward;
}

// Modified UTF-7, with the printable ASCII characters in `alsoEncoded`
// written in base64 as those outside it are.
QString EncodedModifiedUtf7(const QString& text, QStringView alsoEncoded)
{
    QString out;
    QByteArray pending;  // UTF-16BE of the characters waiting to be encoded
    auto flush = [&] {
        if (pending.isEmpty())
            return;
        QByteArray encoded = pending.toBase64(QByteArray::OmitTrailingEquals);
        encoded.replace('/', ',');
        out += u'&' + QString::fromLatin1(encoded) + u'-';
        pending.clear();
    };
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if (unit >= 0x20 && unit <= 0x7E && !alsoEncoded.contains(c)) {
            flush();
            out += unit == u'&' ? QStringLiteral("&-") : QString(c);
        } else {
            pending += static_cast<char>(unit >> 8);
            pending += static_cast<char>(unit & 0xFF);
        }
    }
    flush();
    return out;
}

}  // namespace

QByteArray MboxStatusLines(const MessageState& state)
{
    QByteArray lines = IsRead(state) ? "Status: RO\r\n" : "Status: O\r\n";
    QByteArray more;
    if (IsAnswered(state))
        more += 'A';
    if (IsFlagged(state))
        more += 'F';
    // A draft is "T": mbox readers take "D" for a message marked deleted,
    // and purge it.
    if (IsUnsent(state))
        more += 'T';
    if (!more.isEmpty())
        lines += "X-Status: " + more + "\r\n";
    return lines;
}

QByteArray ImapKeyword(const QString& category)
{
    // An atom takes printable ASCII but for space and its specials. Space,
    // the common case, becomes "_"; a "_" of the name's own and each special
    // are written as modified UTF-7 writes any other character, so no two
    // categories share a keyword.
    QByteArray keyword = EncodedModifiedUtf7(category.trimmed(), u"_(){%*\"\\]").toLatin1();
    keyword.replace(' ', '_');
    return keyword;
}

namespace {

// The client's own tags, by the names it gives them in English, and the
// keywords it keeps them by.
struct BuiltInTag {
    const char* name;
    const char* keyword;
};
constexpr BuiltInTag kBuiltInTags[] = {
    {"Important", "$label1"}, {"Work", "$label2"}, {"Personal", "$label3"}, {"To Do", "$label4"}, {"Later", "$label5"},
};

}  // namespace

QByteArray MozillaKeyword(const QString& category)
{
    if (category.trimmed().isEmpty())
        return {};
    // The client finds a tag by its exact name.
    for (const BuiltInTag& tag : kBuiltInTags) {
        if (category == QLatin1String(tag.name))
            return tag.keyword;
    }
    // A new tag's keyword is its name in UTF-8, in lower case, with every
    // byte an IMAP keyword could not hold, and "=" itself, as "=" and two hex
    // digits; nothing is lost but case.
    QByteArray keyword;
    for (const char byte : category.toUtf8()) {
        const auto c = static_cast<unsigned char>(byte);
        if (c > 0x20 && c < 0x7F && !QByteArrayView("=()[]{}%*\"\\<>;&").contains(byte))
            keyword += static_cast<char>(std::tolower(c));
        else
            keyword += '=' + QByteArray::number(c, 16).rightJustified(2, '0');
    }
    // A name that comes out as a built-in tag's keyword takes the first
    // numbered one after it, as the client numbers a keyword already taken.
    for (const BuiltInTag& tag : kBuiltInTags) {
        if (keyword == tag.keyword)
            return keyword + "_1";
    }
    return keyword;
}

QList<QByteArray> MaildirKeywords(const MessageState& state)
{
    QList<QByteArray> keywords;
    if (IsForwarded(state))
        keywords << QByteArrayLiteral("$Forwarded");
    for (const QString& category : state.categories) {
        const QByteArray keyword = ImapKeyword(category);
        const bool known = std::any_of(keywords.begin(), keywords.end(), [&](const QByteArray& other) {
            return other.compare(keyword, Qt::CaseInsensitive) == 0;
        });
        if (!keyword.isEmpty() && !known)
            keywords << keyword;
    }
    return keywords;
}

QByteArray MozillaStatusLines(const MessageState& state)
{
    uint32_t flags = 0;
    if (IsRead(state))
        flags |= 0x0001;
    if (IsAnswered(state))
        flags |= 0x0002;
    if (IsFlagged(state))
        flags |= 0x0004;
    if (IsForwarded(state))
        flags |= 0x1000;
    QByteArray keys;
    for (const QString& category : state.categories) {
        const QByteArray keyword = MozillaKeyword(category);
        if (keyword.isEmpty() || keys.split(' ').contains(keyword))
            continue;
        keys += (keys.isEmpty() ? "" : " ") + keyword;
    }
    // The client rewrites this header in place when a keyword is added, and
    // needs the room for it.
    constexpr qsizetype kKeysRoom = 80;
    if (keys.size() < kKeysRoom)
        keys += QByteArray(kKeysRoom - keys.size(), ' ');
    return "X-Mozilla-Status: " + QByteArray::number(flags, 16).rightJustified(4, '0')
           + "\r\nX-Mozilla-Status2: 00000000\r\nX-Mozilla-Keys: " + keys + "\r\n";
}

QByteArray MboxQuoter::Feed(QByteArrayView piece)
{
    QByteArray out;
    out.reserve(piece.size() + 8);
    for (const char c : piece) {
        any_ = true;
        endsWithNewline_ = c == '\n';
        if (inLine_) {
            out += c;
            if (c == '\n')
                inLine_ = false;
            continue;
        }
        // The line's start so far is some ">" and then part of "From ".
        head_ += c;
        qsizetype quotes = 0;
        while (quotes < head_.size() && head_.at(quotes) == '>')
            ++quotes;
        const QByteArrayView rest(head_.constData() + quotes, head_.size() - quotes);
        if (rest.size() >= 5 && rest.first(5) == QByteArrayView("From ")) {
            out += '>';
            out += head_;
            head_.clear();
            inLine_ = true;
        } else if (!QByteArrayView("From ").startsWith(rest)) {
            out += head_;
            head_.clear();
            inLine_ = c != '\n';
        }
    }
    return out;
}

QByteArray MboxQuoter::Finish()
{
    QByteArray out = head_;
    head_.clear();
    if (any_ && !endsWithNewline_)
        out += "\r\n";
    out += '\n';
    return out;
}

QByteArray MboxBody(const QByteArray& message)
{
    MboxQuoter quoter;
    QByteArray out = quoter.Feed(message);
    out += quoter.Finish();
    return out;
}

QString MaildirInfo(const MessageState& state)
{
    QString info = QStringLiteral(":2,");
    if (IsUnsent(state))
        info += u'D';
    if (IsFlagged(state))
        info += u'F';
    if (IsForwarded(state))
        info += u'P';
    if (IsAnswered(state))
        info += u'R';
    if (IsRead(state))
        info += u'S';
    return info;
}

bool IsImapInboxName(const QString& name)
{
    return name.compare(QLatin1String("INBOX"), Qt::CaseInsensitive) == 0;
}

QString ModifiedUtf7(const QString& text)
{
    return EncodedModifiedUtf7(text, {});
}

QString MaildirFolderName(const QStringList& pathBelowTop)
{
    // Each name with its level's "." before it; "." is plain ASCII, so the
    // whole encodes as the names one by one would.
    QString path;
    for (QString component : pathBelowTop) {
        component.replace(u'.', u'_').replace(u'/', u'_');
        if (component.isEmpty())
            component = QStringLiteral("_");  // "..": a level of its own, never its parent's
        path += u'.' + component;
    }
    const QString name = ModifiedUtf7(path);
    // The whole path is one directory name, which the file system bounds. A
    // longer one keeps the start of the path, encoded on its own (so every
    // encoded run in it is closed), and ends in a digest of the whole, so two
    // long paths that start alike stay two directories. The name is ASCII:
    // characters and bytes count alike.
    constexpr qsizetype kMaxNameBytes = 255;
    if (name.size() <= kMaxNameBytes)
        return name;
    const QString tail = u'~' + QString::fromLatin1(Sha256::HexOf(name.toUtf8()).left(16));
    const qsizetype room = kMaxNameBytes - tail.size();
    // The longest start of the path that fits; its encoding only grows with it.
    qsizetype fits = 0;
    for (qsizetype low = 1, high = path.size(); low <= high;) {
        const qsizetype middle = (low + high) / 2;
        if (ModifiedUtf7(path.left(middle)).size() <= room) {
            fits = middle;
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    if (fits > 0 && path.at(fits - 1).isHighSurrogate())
        --fits;  // half a character is none
    QString kept = path.left(fits);
    // The digest joins the last level kept, never one of its own.
    while (kept.size() > 1 && kept.endsWith(u'.'))
        kept.chop(1);
    return ModifiedUtf7(kept) + tail;
}

}  // namespace tolvane
