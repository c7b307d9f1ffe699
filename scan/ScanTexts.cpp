// Implementation of the scan's text rules.
#include "scan/ScanTexts.h"

#include <QChar>

#include <vector>

namespace tolvane {

namespace {

bool IsKeptInFolderKey(char32_t c)
{
    if (c == U' ')
        return true;
    if (c >= U'-' && c <= U'9')
        return true;
    if (c >= U'A' && c <= U'\\')
        return true;
    if (c >= U'`' && c <= U'z')
        return true;
    // Beyond ASCII every letter and digit stays, so names in other scripts
    // keep their identity instead of collapsing into dashes.
    return c >= 0x80 && QChar::isLetterOrNumber(c);
}

std::vector<char32_t> ToCodePoints(const QString& text)
{
    std::vector<char32_t> points;
    points.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar unit = text.at(i);
        if (unit.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            points.push_back(QChar::surrogateToUcs4(unit, text.at(i + 1)));
            ++i;
        } else {
            points.push_back(unit.unicode());
        }
    }
    return points;
}

QString FromCodePoints(const std::vector<char32_t>& points)
{
    return QString::fromUcs4(points.data(), static_cast<qsizetype>(points.size()));
}

}  // namespace

QString CleanFolderKey(const QString& text)
{
    if (text.isNull())
        return text;
    QString replaced = text;
    replaced.replace(QStringLiteral("Deleted Items"), QStringLiteral("Deleted-Items"));
    replaced.replace(QStringLiteral("Top of Personal Folders"), QStringLiteral("Top-of-Personal-Folders"));

    std::vector<char32_t> points = ToCodePoints(replaced);
    if (points.size() < 2)
        return replaced;
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        const char32_t c = points[i];
        if (IsKeptInFolderKey(c))
            continue;
        for (char32_t& other : points) {
            if (other == c)
                other = U'-';
        }
    }
    return FromCodePoints(points);
}

QString SubjectWithoutPrefixMarker(const QString& stored)
{
    if (stored.size() >= 2 && stored.at(0) == QChar(0x01))
        return stored.mid(2);
    return stored;
}

QString CleanSubject(const QString& subject)
{
    if (subject.isNull())
        return subject;
    QString cleaned = CleanFolderKey(subject);
    cleaned.remove(QStringLiteral("--"));
    return cleaned;
}

bool IsReplacedInFileName(char32_t c)
{
    if (c >= 0x01 && c <= 0x1F)
        return true;
    switch (c) {
    case U'!': case U'"': case U'$': case U'%': case U'&': case U'\'': case U'*': case U'+':
    case U'/': case U':': case U';': case U'<': case U'>': case U'?': case U'@': case U'\\':
    case U'`': case U'~':
        return true;
    default:
        return false;
    }
}

void SanitizeFileName(QString& name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (IsReplacedInFileName(name.at(i).unicode()))
            name[i] = u'_';
    }
}

QString LastPathComponent(const QString& path)
{
    const qsizetype cut = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
    return path.mid(cut + 1);
}

QString FolderKeyFromExportPath(const QString& exportPath)
{
    QString key = exportPath;
    key.remove(QStringLiteral(".export"));
    return NullIfSpace(CleanFolderKey(key));
}

QString NullIfSpace(const QString& text)
{
    if (text == QStringLiteral(" "))
        return QString();
    return text;
}

QString NumberedFolderName(int position)
{
    return QStringLiteral("Folder%1").arg(position, 5, 10, QChar(u'0'));
}

}  // namespace tolvane
