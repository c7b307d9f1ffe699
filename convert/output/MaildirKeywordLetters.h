// Which letter stands for which IMAP keyword in one Maildir folder, as
// Dovecot keeps it: the folder's "dovecot-keywords" file maps each letter
// ('a' to 'z') to a keyword, one "N keyword" line each (0 for 'a'), and a
// message file's name carries the letters of its keywords after its flags.
// A keyword gets the next free letter the first time a message of the folder
// has it, so the same mail in the same order gives the same letters.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace tolvane {

inline constexpr const char* kDovecotKeywordsFileName = "dovecot-keywords";

class MaildirKeywordLetters {
public:
    // 'a' to 'z': a keyword past them has no letter (Dovecot keeps such
    // keywords only in its own index).
    static constexpr int kMostLetters = 26;

    // The letters a file written earlier gives, read tolerantly: a line that
    // is not "N keyword" with N below kMostLetters, or that names a keyword
    // again, is passed over.
    [[nodiscard]] static MaildirKeywordLetters FromFileText(QByteArrayView text);

    // Gives each of `keywords` that has none yet the next free letter, while
    // there are letters left; true when any got one.
    bool Add(const QList<QByteArray>& keywords);
    // The letters of those of `keywords` that have one, in alphabetical
    // order, as they follow the flags in a file name.
    [[nodiscard]] QString LettersOf(const QList<QByteArray>& keywords) const;
    // The folder's file: "0 first\n1 second\n...".
    [[nodiscard]] QByteArray FileText() const;
    bool isEmpty() const { return keywords_.isEmpty(); }

private:
    // The index of `keyword` (compared as IMAP does, without case); -1 when none.
    [[nodiscard]] qsizetype IndexOf(const QByteArray& keyword) const;

    QList<QByteArray> keywords_;  // by letter: 'a' first
};

}  // namespace tolvane
