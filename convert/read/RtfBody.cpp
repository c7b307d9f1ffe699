// Decompression of stored RTF and recovery of encapsulated HTML or text.
#include "convert/read/RtfBody.h"

#include "scan/TextDecoding.h"

#include <QVector>

#include <cstdint>

namespace tolvane {

namespace {

uint32_t ReadLe32(const QByteArray& bytes, qsizetype at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData() + at);
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

constexpr uint32_t kCompressed = 0x75465A4C;    // "LZFu"
constexpr uint32_t kUncompressed = 0x414C454D;  // "MELA"

// The dictionary every compressed RTF stream starts from.
const char kInitialDictionary[] =
    "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern \\fscript "
    "\\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0\\blue0\r\n\\par "
    "\\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";

}  // namespace

std::optional<QByteArray> DecompressRtf(const QByteArray& stored)
{
    if (stored.size() < 16)
        return std::nullopt;
    const uint32_t compressedSize = ReadLe32(stored, 0);
    const uint32_t rawSize = ReadLe32(stored, 4);
    const uint32_t type = ReadLe32(stored, 8);
    if (type == kUncompressed) {
        const qsizetype available = stored.size() - 16;
        return stored.mid(16, qMin<qsizetype>(available, rawSize));
    }
    if (type != kCompressed)
        return std::nullopt;
    const qsizetype end = qMin<qsizetype>(stored.size(), qsizetype(compressedSize) + 4);
    constexpr int kDictionarySize = 4096;
    unsigned char dictionary[kDictionarySize] = {};
    const int initialSize = static_cast<int>(sizeof(kInitialDictionary) - 1);
    std::copy(kInitialDictionary, kInitialDictionary + initialSize, dictionary);
    int writePosition = initialSize;
    QByteArray out;
    out.reserve(qMin<qsizetype>(rawSize, 64 * 1024 * 1024));
    qsizetype at = 16;
    const auto* data = reinterpret_cast<const unsigned char*>(stored.constData());
    while (at < end) {
        const unsigned char control = data[at++];
        for (int bit = 0; bit < 8; ++bit) {
            if (at >= end)
                return out;
            if ((control & (1 << bit)) == 0) {
                const unsigned char literal = data[at++];
                out.append(char(literal));
                dictionary[writePosition] = literal;
                writePosition = (writePosition + 1) % kDictionarySize;
                continue;
            }
            if (at + 1 >= end)
                return std::nullopt;
            const int reference = (data[at] << 8) | data[at + 1];
            at += 2;
            const int offset = reference >> 4;
            const int length = (reference & 0x0F) + 2;
            if (offset == writePosition)
                return out;  // the end marker
            for (int i = 0; i < length; ++i) {
                const unsigned char value = dictionary[(offset + i) % kDictionarySize];
                out.append(char(value));
                dictionary[writePosition] = value;
                writePosition = (writePosition + 1) % kDictionarySize;
            }
        }
    }
    return out;
}

namespace {

// Group state that RTF scopes with braces.
struct GroupState {
    bool skip = false;          // an ignored destination (font table, pictures, ...)
    bool suppressed = false;    // inside \htmlrtf: RTF-only rendering
    bool htmlTag = false;       // inside \*\htmltag: original HTML
    int unicodeSkip = 1;        // \ucN
};

bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsIgnoredDestination(const QByteArray& word)
{
    static const char* const names[] = {"fonttbl", "colortbl", "stylesheet", "info", "pict", "header",
                                        "footer", "headerl", "headerr", "footerl", "footerr", "listtable",
                                        "listoverridetable", "rsidtbl", "generator", "xmlnstbl", "themedata",
                                        "colorschememapping", "latentstyles", "datastore", "object", "fldinst",
                                        "filetbl", "revtbl", "pgdsctbl", "operator", "author", "title"};
    for (const char* name : names) {
        if (word == name)
            return true;
    }
    return false;
}

class RtfTextBuilder {
public:
    explicit RtfTextBuilder(int codePage) : codePage_(codePage) {}
    void setCodePage(int codePage)
    {
        flush();
        codePage_ = codePage;
    }
    void addByte(char byte) { pending_.append(byte); }
    void addText(const QString& text)
    {
        flush();
        text_ += text;
    }
    QString take()
    {
        flush();
        return text_;
    }

private:
    void flush()
    {
        if (!pending_.isEmpty()) {
            text_ += DecodeCodePage(pending_, codePage_);
            pending_.clear();
        }
    }
    int codePage_;
    QByteArray pending_;
    QString text_;
};

}  // namespace

RtfContent ExtractFromRtf(const QByteArray& rtf)
{
    RtfContent result;
    const qsizetype headerEnd = qMin<qsizetype>(rtf.size(), 1024);
    const QByteArray head = rtf.left(headerEnd);
    if (head.contains("\\fromhtml"))
        result.kind = RtfContent::Kind::Html;
    else if (head.contains("\\fromtext"))
        result.kind = RtfContent::Kind::Text;
    // RTF proper keeps its kind; its text is taken out the same way, for
    // whoever shows it (formatting and pictures dropped).

    RtfTextBuilder out(kDefaultCodePage);
    QVector<GroupState> stack;
    GroupState state;
    int pendingSkip = 0;  // characters still to drop after \uN
    bool destinationMark = false;  // "\*" just seen
    bool groupStart = false;
    const qsizetype size = rtf.size();
    qsizetype i = 0;
    auto emitting = [&] { return !state.skip && (state.htmlTag || !state.suppressed); };
    auto emitByte = [&](char c) {
        if (pendingSkip > 0) {
            --pendingSkip;
            return;
        }
        if (emitting())
            out.addByte(c);
    };
    while (i < size) {
        const char c = rtf.at(i);
        if (c == '{') {
            stack.push_back(state);
            groupStart = true;
            destinationMark = false;
            pendingSkip = 0;
            ++i;
            continue;
        }
        if (c == '}') {
            if (!stack.isEmpty()) {
                state = stack.takeLast();
            }
            groupStart = false;
            destinationMark = false;
            pendingSkip = 0;
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        if (c != '\\') {
            groupStart = false;
            emitByte(c);
            ++i;
            continue;
        }
        // A control word or symbol.
        ++i;
        if (i >= size)
            break;
        const char next = rtf.at(i);
        if (!IsAsciiLetter(next)) {
            ++i;
            switch (next) {
            case '*':
                destinationMark = true;
                continue;
            case '\'': {
                if (i + 1 < size) {
                    bool ok = false;
                    const int value = rtf.mid(i, 2).toInt(&ok, 16);
                    i += 2;
                    if (ok)
                        emitByte(char(value));
                }
                break;
            }
            case '\\':
            case '{':
            case '}':
                emitByte(next);
                break;
            case '~':
                if (pendingSkip > 0)
                    --pendingSkip;
                else if (emitting())
                    out.addText(QString(QChar(0x00A0)));
                break;
            case '\r':
            case '\n':
                if (emitting())
                    out.addText(QStringLiteral("\r\n"));
                break;
            default:
                break;
            }
            groupStart = false;
            destinationMark = false;
            continue;
        }
        const qsizetype wordStart = i;
        while (i < size && IsAsciiLetter(rtf.at(i)))
            ++i;
        const QByteArray word = rtf.mid(wordStart, i - wordStart);
        bool hasParameter = false;
        long long parameter = 0;
        const qsizetype numberStart = i;
        if (i < size && (rtf.at(i) == '-' || (rtf.at(i) >= '0' && rtf.at(i) <= '9'))) {
            ++i;
            while (i < size && rtf.at(i) >= '0' && rtf.at(i) <= '9' && i - numberStart < 12)
                ++i;
            parameter = rtf.mid(numberStart, i - numberStart).toLongLong(&hasParameter);
        }
        if (i < size && rtf.at(i) == ' ')
            ++i;

        if (groupStart) {
            groupStart = false;
            if (destinationMark) {
                destinationMark = false;
                if (word == "htmltag") {
                    state.htmlTag = true;
                    state.suppressed = false;
                } else {
                    state.skip = true;
                }
                continue;
            }
            if (IsIgnoredDestination(word)) {
                state.skip = true;
                continue;
            }
        }
        destinationMark = false;
        if (word == "htmlrtf") {
            state.suppressed = !hasParameter || parameter != 0;
        } else if (word == "ansicpg" && hasParameter) {
            out.setCodePage(static_cast<int>(parameter));
        } else if (word == "uc" && hasParameter) {
            state.unicodeSkip = static_cast<int>(qBound(0LL, parameter, 8LL));
        } else if (word == "u" && hasParameter) {
            long long code = parameter < 0 ? parameter + 65536 : parameter;
            if (emitting())
                out.addText(QString(QChar(static_cast<char16_t>(code & 0xFFFF))));
            pendingSkip = state.unicodeSkip;
        } else if (emitting()) {
            if (word == "par" || word == "line")
                out.addText(QStringLiteral("\r\n"));
            else if (word == "tab")
                out.addText(QStringLiteral("\t"));
            else if (word == "lquote")
                out.addText(QString(QChar(0x2018)));
            else if (word == "rquote")
                out.addText(QString(QChar(0x2019)));
            else if (word == "ldblquote")
                out.addText(QString(QChar(0x201C)));
            else if (word == "rdblquote")
                out.addText(QString(QChar(0x201D)));
            else if (word == "bullet")
                out.addText(QString(QChar(0x2022)));
            else if (word == "emdash")
                out.addText(QString(QChar(0x2014)));
            else if (word == "endash")
                out.addText(QString(QChar(0x2013)));
        }
    }
    result.text = out.take();
    return result;
}

}  // namespace tolvane
