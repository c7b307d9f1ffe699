// The ways mail can leave the conversion: one .eml file per message, one
// mbox file per folder (the mboxrd convention), the same mbox files laid out
// as a mail client's local folders (MboxTreeLayout.h), or a Maildir++ tree;
// and the pieces of those formats that live outside the message itself.
#pragma once

#include "model/MailContent.h"

#include <QByteArray>
#include <QList>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace tolvane {

enum class OutputFormat { Eml, Mbox, MboxTree, Maildir };

// "eml", "mbox", "mboxtree", "maildir"; nullopt for anything else.
std::optional<OutputFormat> OutputFormatNamed(const QString& name);
// The name OutputFormatNamed takes for `format`.
QString OutputFormatName(OutputFormat format);

// The separator line that opens a message in an mbox file, with its line
// end: "From sender@example.com Wed Mar  4 10:00:00 2026\n". An unknown or
// unusable sender is "MAILER-DAEMON"; an unknown date is the epoch.
QByteArray MboxFromLine(const std::optional<AddrSpec>& sender, const std::optional<QDateTime>& date);

// The lines by which mbox readers keep a message's state, put between the
// separator and the message's own header: "Status: RO" for a read message,
// "O" alone for one not read (delivered before, so not new); "X-Status:"
// with A answered, F flagged, T draft (never D, which is deleted), only
// when any holds. CRLF line ends,
// as the composed message's own.
QByteArray MboxStatusLines(const MessageState& state);

// The lines by which the local folders of the mbox tree keep a message's
// state, after MboxStatusLines: "X-Mozilla-Status: 0001" (four hex digits:
// 0x0001 read, 0x0002 replied, 0x0004 flagged, 0x1000 forwarded),
// "X-Mozilla-Status2: 00000000", and "X-Mozilla-Keys:" with the categories
// as keywords (MozillaKeyword), padded with spaces to 80 characters so a
// client can add a keyword in place. CRLF line ends.
QByteArray MozillaStatusLines(const MessageState& state);

// A category as an IMAP keyword (an atom): in IMAP's modified UTF-7, with
// space as "_", and "_" and the characters an atom may not hold (its
// specials) written in base64 as a character beyond ASCII is, so two
// categories never share a keyword but for case; its case kept. Empty for a
// blank category.
QByteArray ImapKeyword(const QString& category);

// A category as a keyword of the X-Mozilla-Keys line: the key the client
// gives a tag of the category's name. Its five built-in tags ("Important",
// "Work", "Personal", "To Do", "Later", by exact name) are "$label1" to
// "$label5"; any other name is its UTF-8 in lower case, each byte outside
// printable ASCII, space, "=" and ( ) [ ] { } % * " \ < > ; & as "=" and two
// lower-case hex digits ("Red Category" is "red=20category", "Ärger"
// "=c3=84rger"), with "_1" after it should that make a built-in tag's key.
// Empty for a blank category.
QByteArray MozillaKeyword(const QString& category);

// The message as it goes into an mbox file after its separator: every line
// that starts with "From " after any number of ">" gets one more ">", so a
// reader can take exactly one away again; it ends with its own line end and
// one empty line.
QByteArray MboxBody(const QByteArray& message);

// The same quoting for a message that arrives in pieces: Feed() each piece
// in order, then Finish(); the output is what MboxBody gives for the whole.
class MboxQuoter {
public:
    QByteArray Feed(QByteArrayView piece);
    QByteArray Finish();

private:
    QByteArray head_;         // the start of the current line, while it may still be a "From " line
    bool inLine_ = false;     // past the part of the line that decides
    bool endsWithNewline_ = false;
    bool any_ = false;
};

// The info part of a Maildir file name: ":2," and the flags in ASCII order
// (D draft, F flagged, P forwarded, R answered, S seen). The letters of the
// message's keywords (MaildirKeywords) follow them; the tree that writes the
// file knows which letter each keyword has in its folder.
QString MaildirInfo(const MessageState& state);

// The IMAP keywords of a message in a Maildir: "$Forwarded" when it was
// forwarded (beside the P flag, which IMAP has no flag for), then each
// category as ImapKeyword, keeping its case as Dovecot keeps a keyword's;
// one keyword for categories that differ only in case (IMAP compares them
// so), the first one's.
QList<QByteArray> MaildirKeywords(const MessageState& state);

// A folder's Maildir++ directory: "." and its path below the top folder, each
// name in IMAP's modified UTF-7 and joined by "."; an empty path is the top
// folder itself (""). A "." or "/" inside a name becomes "_", since both
// would make a level of their own; an empty name is "_". A name longer than
// 255 bytes keeps as much of the path's start as fits, encoded on its own
// (no encoded run left open), and ends in "~" and a digest of the whole name.
QString MaildirFolderName(const QStringList& pathBelowTop);

// Whether IMAP, which matches INBOX in any case, takes a top-level mailbox
// of this name for INBOX.
bool IsImapInboxName(const QString& name);

// IMAP's modified UTF-7 (RFC 3501): printable ASCII as itself ("&" as
// "&-"), everything else as "&", UTF-16 in base64 with "," for "/", "-".
QString ModifiedUtf7(const QString& text);

}  // namespace tolvane
