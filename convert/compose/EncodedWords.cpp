// Encoded-words cut where no reader loses text, folded into header lines.
#include "convert/compose/EncodedWords.h"

#include "convert/compose/GMimeHandles.h"

#include <QSet>

#include <algorithm>
#include <cstring>

namespace tolvane {

namespace {

enum class Syntax { Text, Phrase };

// "=?UTF-8?B?" and "?=" around the encoded text.
constexpr int kWordFrame = 12;
// The shortest word worth starting on a line: room for any one character
// (four UTF-8 bytes) in either encoding. A line with less room left is folded.
constexpr int kShortestWord = kWordFrame + 12;

bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// True when a character starts at `at` (or the text ends there).
bool IsCharacterBoundary(const QByteArray& utf8, qsizetype at)
{
    return at >= utf8.size() || !IsContinuationByte(utf8.at(at));
}

qsizetype NextCharacter(const QByteArray& utf8, qsizetype at)
{
    ++at;
    while (at < utf8.size() && IsContinuationByte(utf8.at(at)))
        ++at;
    return at;
}

bool IsWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// RFC 5322 atext: what a phrase's plain word may hold.
bool IsAtext(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9'))
        return true;
    return std::strchr("!#$%&'*+-/=?^_`{|}~", c) != nullptr && c != '\0';
}

// A word that can stand as it is: printable ASCII (in a phrase, atext only)
// that no reader could take for an encoded-word.
bool IsPlainWord(const QByteArray& word, Syntax syntax)
{
    if (word.contains("=?"))
        return false;
    for (char c : word) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x21 || u > 0x7E)
            return false;
        if (syntax == Syntax::Phrase && !IsAtext(c))
            return false;
    }
    return true;
}

// Bytes a Q word carries as themselves: safe in text and in phrases alike.
bool IsQLiteral(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || c == '!' || c == '*'
           || c == '+' || c == '-' || c == '/';
}

QByteArray QEncoded(const QByteArray& utf8, qsizetype from, qsizetype to)
{
    QByteArray out;
    for (qsizetype i = from; i < to; ++i) {
        const char c = utf8.at(i);
        if (IsQLiteral(c))
            out += c;
        else if (c == ' ')
            out += '_';
        else
            out += '=' + QByteArray::number(static_cast<unsigned char>(c), 16).toUpper().rightJustified(2, '0');
    }
    return out;
}

// GMime's own choice between the encodings: Q while few bytes need escaping.
bool PrefersQ(const QByteArray& utf8)
{
    const auto eightBit = std::count_if(utf8.cbegin(), utf8.cend(), [](char c) { return (c & 0x80) != 0; });
    return eightBit * 100 <= utf8.size() * 17;
}

// Header lines as they are filled: a token goes on the current line while it
// fits, else on a new line that starts with its separator.
class FoldedLines {
public:
    FoldedLines(const char* name, int limit, bool foldWithTab)
        : column_(static_cast<int>(std::strlen(name)) + 1), limit_(limit), foldWithTab_(foldWithTab)
    {
    }

    // What a token may take on the current line after `separatorSize`
    // characters; a line with too little room left counts as a new one.
    int Room(qsizetype separatorSize) const
    {
        const int room = limit_ - column_ - static_cast<int>(separatorSize);
        return room < kShortestWord && lineHasToken_ ? limit_ - static_cast<int>(separatorSize) : room;
    }

    // Whether a token can still go onto a line of its own.
    bool CanFold() const { return lineHasToken_; }

    // `separator` is white space, kept as it is (unfolding gives it back).
    void Add(QByteArray separator, const QByteArray& token)
    {
        if (separator.isEmpty())
            separator = " ";
        if (lineHasToken_ && column_ + separator.size() + token.size() > limit_) {
            out_ += '\n';
            column_ = 0;
            if (foldWithTab_)
                separator = "\t";
        }
        out_ += separator;
        out_ += token;
        column_ += static_cast<int>(separator.size() + token.size());
        lineHasToken_ = true;
    }

    // Punctuation that belongs to the token before it (a comma, a colon).
    void Append(const char* text)
    {
        out_ += text;
        column_ += static_cast<int>(std::strlen(text));
    }

    QByteArray Raw() const { return out_ + '\n'; }

private:
    QByteArray out_;
    int column_;
    int limit_;
    bool foldWithTab_;
    bool lineHasToken_ = false;
};

// One run of words that need encoding, as encoded-words of at most
// `Room()` characters each. Base64 words are cut where a character ends on a
// multiple of three bytes, so only the last word of the run pads; where no
// such place lies within a word's reach (three-byte characters after an odd
// one), the word ends at a character and one Q word follows, which no reader
// joins to base64 words, so the next base64 word starts a run of its own.
void AddEncodedRun(FoldedLines& lines, const QByteArray& separator, const QByteArray& utf8)
{
    const bool q = PrefersQ(utf8);
    // A run that one word can hold is not cut where a fold gives it a line of
    // its own (fewer words, and Python's email package keeps the white space
    // between the words of a phrase).
    const qsizetype wholeWord = kWordFrame + (q ? QEncoded(utf8, 0, utf8.size()).size() : (utf8.size() + 2) / 3 * 4);
    const bool ownLine = wholeWord <= kEncodedWordLimit && lines.CanFold();
    qsizetype at = 0;
    QByteArray before = separator;
    bool breakRun = false;
    while (at < utf8.size()) {
        const int room = ownLine ? kEncodedWordLimit : lines.Room(before.size());
        const int limit = std::min(kEncodedWordLimit, std::max(room, kShortestWord));
        qsizetype end = at;
        QByteArray word;
        if (q || breakRun) {
            const int budget = limit - kWordFrame;
            qsizetype size = 0;
            do {
                const qsizetype next = NextCharacter(utf8, end);
                size += QEncoded(utf8, end, next).size();
                if (end > at && size > budget)
                    break;
                end = next;
            } while (end < utf8.size() && !breakRun);
            word = "=?UTF-8?Q?" + QEncoded(utf8, at, end) + "?=";
            breakRun = false;
        } else {
            const qsizetype most = (limit - kWordFrame) / 4 * 3;
            if (utf8.size() - at <= most) {
                end = utf8.size();
            } else {
                for (qsizetype e = at + most; e > at && end == at; --e) {
                    if ((e - at) % 3 == 0 && IsCharacterBoundary(utf8, e))
                        end = e;
                }
                for (qsizetype e = at + most; e > at && end == at; --e) {
                    if (IsCharacterBoundary(utf8, e)) {
                        end = e;
                        breakRun = true;
                    }
                }
            }
            word = "=?UTF-8?B?" + utf8.mid(at, end - at).toBase64() + "?=";
        }
        lines.Add(before, word);
        before = " ";
        at = end;
    }
}

struct Piece {
    QByteArray space;  // the white space before the word
    QByteArray word;
};

QList<Piece> Pieces(const QByteArray& utf8)
{
    QList<Piece> pieces;
    qsizetype at = 0;
    while (at < utf8.size()) {
        Piece piece;
        while (at < utf8.size() && IsWhiteSpace(utf8.at(at)))
            piece.space += utf8.at(at++) == '\t' ? '\t' : ' ';
        while (at < utf8.size() && !IsWhiteSpace(utf8.at(at)))
            piece.word += utf8.at(at++);
        if (!piece.word.isEmpty())
            pieces << piece;  // white space after the last word is dropped
    }
    return pieces;
}

// The words of `text` onto the lines: plain words as they are, each run of
// the others (with the white space inside the run) as encoded-words.
void AddWords(FoldedLines& lines, const QString& text, Syntax syntax)
{
    const QList<Piece> pieces = Pieces(text.toUtf8());
    for (qsizetype i = 0; i < pieces.size();) {
        if (IsPlainWord(pieces[i].word, syntax)) {
            lines.Add(pieces[i].space, pieces[i].word);
            ++i;
            continue;
        }
        QByteArray run = pieces[i].word;
        qsizetype next = i + 1;
        for (; next < pieces.size() && !IsPlainWord(pieces[next].word, syntax); ++next)
            run += pieces[next].space + pieces[next].word;
        AddEncodedRun(lines, pieces[i].space, run);
        i = next;
    }
}

// A phrase in plain ASCII as GMime writes it (quoted where it must be),
// else with encoded-words.
void AddPhrase(FoldedLines& lines, const QString& phrase)
{
    if (NeedsEncodedWords(phrase)) {
        AddWords(lines, phrase, Syntax::Phrase);
        return;
    }
    GCharPtr written(g_mime_utils_header_encode_phrase(nullptr, phrase.toUtf8().constData(), "utf-8"));
    lines.Add(" ", written ? written.get() : "");
}

// The address of a mailbox as GMime writes it alone.
QByteArray AddressText(InternetAddress* address)
{
    const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
    auto bare = AdoptGObject(internet_address_mailbox_new(nullptr, addr ? addr : ""));
    GCharPtr text(internet_address_to_string(bare.get(), nullptr, TRUE));
    return QByteArray(text ? text.get() : "");
}

void AddAddresses(FoldedLines& lines, InternetAddressList* list, const char* lastPunctuation);

void AddAddress(FoldedLines& lines, InternetAddress* address)
{
    const QString name = QString::fromUtf8(internet_address_get_name(address));
    if (INTERNET_ADDRESS_IS_GROUP(address)) {
        AddPhrase(lines, name);
        lines.Append(":");
        InternetAddressList* members = internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address));
        if (internet_address_list_length(members) == 0)
            lines.Append(";");
        else
            AddAddresses(lines, members, ";");
        return;
    }
    const QByteArray addressText = AddressText(address);
    if (name.isEmpty()) {
        lines.Add(" ", addressText);
    } else if (!NeedsEncodedWords(name)) {
        // Exactly as GMime writes it, with a fold allowed before the address.
        GCharPtr whole(internet_address_to_string(address, nullptr, TRUE));
        const QByteArray text(whole ? whole.get() : "");
        const qsizetype angle = text.lastIndexOf(" <");
        if (angle > 0) {
            lines.Add(" ", text.left(angle));
            lines.Add(" ", text.mid(angle + 1));
        } else {
            lines.Add(" ", text);
        }
    } else {
        AddWords(lines, name, Syntax::Phrase);
        lines.Add(" ", '<' + addressText + '>');
    }
}

void AddAddresses(FoldedLines& lines, InternetAddressList* list, const char* lastPunctuation)
{
    const int count = internet_address_list_length(list);
    for (int i = 0; i < count; ++i) {
        AddAddress(lines, internet_address_list_get_address(list, i));
        lines.Append(i + 1 < count ? "," : lastPunctuation);
    }
}

// One short of the line limit, for the comma or semicolon after a token.
constexpr int kListLineLimit = kFoldedLineLimit - 1;

// Headers whose values have a syntax of their own, which unstructured
// encoding would break; they stay as GMime writes them.
bool IsStructuredHeader(const QByteArray& lowerName)
{
    static const QSet<QByteArray> structured = {"received",   "message-id", "resent-message-id", "references",
                                                "in-reply-to", "date",      "resent-date",       "return-path",
                                                "mime-version"};
    return lowerName.startsWith("content-") || structured.contains(lowerName);
}

}  // namespace

bool NeedsEncodedWords(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x80; });
}

QByteArray EncodedTextRawValue(const char* name, const QString& text)
{
    FoldedLines lines(name, kFoldedLineLimit, false);
    AddWords(lines, text, Syntax::Text);
    return lines.Raw();
}

QByteArray EncodedAddressListRawValue(const char* name, InternetAddressList* list)
{
    FoldedLines lines(name, kListLineLimit, true);
    AddAddresses(lines, list, "");
    return lines.Raw();
}

QByteArray EncodedPhraseListRawValue(const char* name, const QStringList& phrases)
{
    FoldedLines lines(name, kListLineLimit, false);
    for (qsizetype i = 0; i < phrases.size(); ++i) {
        AddPhrase(lines, phrases[i]);
        if (i + 1 < phrases.size())
            lines.Append(",");
    }
    return lines.Raw();
}

bool NeedsEncodedWords(InternetAddressList* list)
{
    for (int i = 0; i < internet_address_list_length(list); ++i) {
        InternetAddress* address = internet_address_list_get_address(list, i);
        if (NeedsEncodedWords(QString::fromUtf8(internet_address_get_name(address))))
            return true;
        if (INTERNET_ADDRESS_IS_GROUP(address)
            && NeedsEncodedWords(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address))))
            return true;
    }
    return false;
}

void EncodeAddressHeader(GMimeObject* object, const char* name, InternetAddressList* list)
{
    GMimeHeader* header = LastHeader(object, name);
    if (header && list && NeedsEncodedWords(list))
        g_mime_header_set_raw_value(header, EncodedAddressListRawValue(name, list).constData());
}

bool IsAddressHeader(const QByteArray& name)
{
    static const QSet<QByteArray> addressHeaders = {
        "from",        "sender",      "reply-to",  "to",        "cc",
        "bcc",         "resent-from", "resent-sender", "resent-reply-to", "resent-to",
        "resent-cc",   "resent-bcc",  "disposition-notification-to"};
    return addressHeaders.contains(name.toLower());
}

GMimeHeader* LastHeader(GMimeObject* object, const char* name)
{
    GMimeHeaderList* headers = g_mime_object_get_header_list(object);
    for (int i = g_mime_header_list_get_count(headers) - 1; i >= 0; --i) {
        GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);
        if (g_ascii_strcasecmp(g_mime_header_get_name(header), name) == 0)
            return header;
    }
    return nullptr;
}

void EncodeHeaderValue(GMimeObject* object, const char* name)
{
    GMimeHeader* header = LastHeader(object, name);
    const char* value = header ? g_mime_header_get_value(header) : nullptr;
    if (!value)
        return;
    const QString text = QString::fromUtf8(value);
    const QByteArray lowerName = QByteArray(name).toLower();
    if (!NeedsEncodedWords(text) || IsStructuredHeader(lowerName))
        return;
    QByteArray raw;
    if (IsAddressHeader(lowerName)) {
        auto list = AdoptGObject(internet_address_list_parse(nullptr, value));
        if (!list || internet_address_list_length(list.get()) == 0)
            return;
        raw = EncodedAddressListRawValue(name, list.get());
    } else if (lowerName == "keywords") {
        QStringList phrases;
        for (const QString& phrase : text.split(u','))
            if (!phrase.trimmed().isEmpty())
                phrases << phrase.simplified();
        raw = EncodedPhraseListRawValue(name, phrases);
    } else {
        raw = EncodedTextRawValue(name, text);
    }
    g_mime_header_set_raw_value(header, raw.constData());
}

}  // namespace tolvane
