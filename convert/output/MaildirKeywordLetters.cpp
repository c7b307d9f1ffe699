// The letters of a Maildir folder's keywords; see MaildirKeywordLetters.h.
#include "convert/output/MaildirKeywordLetters.h"

#include <algorithm>
#include <map>

namespace tolvane {

MaildirKeywordLetters MaildirKeywordLetters::FromFileText(QByteArrayView text)
{
    std::map<int, QByteArray> byIndex;
    for (const QByteArray& line : text.toByteArray().split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (space <= 0)
            continue;
        bool number = false;
        const int index = line.first(space).toInt(&number);
        const QByteArray keyword = line.sliced(space + 1).trimmed();
        if (number && index >= 0 && index < kMostLetters && !keyword.isEmpty() && !keyword.contains(' '))
            byIndex.try_emplace(index, keyword);
    }
    // The letters are positions: a gap ends what can be taken as it is.
    MaildirKeywordLetters letters;
    for (int index = 0; index < kMostLetters; ++index) {
        const auto found = byIndex.find(index);
        if (found == byIndex.end() || letters.IndexOf(found->second) >= 0)
            break;
        letters.keywords_ << found->second;
    }
    return letters;
}

qsizetype MaildirKeywordLetters::IndexOf(const QByteArray& keyword) const
{
    for (qsizetype index = 0; index < keywords_.size(); ++index) {
        if (keywords_[index].compare(keyword, Qt::CaseInsensitive) == 0)
            return index;
    }
    return -1;
}

bool MaildirKeywordLetters::Add(const QList<QByteArray>& keywords)
{
    bool added = false;
    for (const QByteArray& keyword : keywords) {
        if (keywords_.size() >= kMostLetters)
            break;
        if (!keyword.isEmpty() && IndexOf(keyword) < 0) {
            keywords_ << keyword;
            added = true;
        }
    }
    return added;
}

QString MaildirKeywordLetters::LettersOf(const QList<QByteArray>& keywords) const
{
    QString letters;
    for (const QByteArray& keyword : keywords) {
        const qsizetype index = IndexOf(keyword);
        const QChar letter(u'a' + static_cast<char16_t>(index));
        if (index >= 0 && !letters.contains(letter))
            letters += letter;
    }
    std::sort(letters.begin(), letters.end());
    return letters;
}

QByteArray MaildirKeywordLetters::FileText() const
{
    QByteArray text;
    for (qsizetype index = 0; index < keywords_.size(); ++index)
        text += QByteArray::number(index) + ' ' + keywords_[index] + '\n';
    return text;
}

}  // namespace tolvane
