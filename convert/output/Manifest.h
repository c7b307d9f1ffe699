// The manifest of a conversion: manifest.jsonl in the output folder, one JSON
// object per line for every item written or not written, one for the whole
// of every file several items share (an mbox), and a last line with the
// counts, so that anyone can check later that every file is still there and
// unchanged (OutputVerifier.h). A manifest without that last line belongs to
// a run that never finished. Its first line names the mailbox it was written
// from, the format and every choice that shapes what is written, so that a
// resumed run (ResumePlan.h) continues only what it wrote. Each line of a
// mail file carries the fingerprint of its item and a check over what ties
// the file to the item, so that an edited line is not taken at its word.
#pragma once

#include "scan/FolderPaths.h"
#include "model/ItemRecords.h"
#include "convert/output/InputIdentity.h"
#include "convert/output/MailFormats.h"
#include "convert/output/NewFileWriter.h"

#include "base/UniqueFd.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace tolvane {

class OutputTree;
struct KeptManifestLine;

inline constexpr const char* kManifestFileName = "manifest.jsonl";

// What a run was asked for beyond the format that changes what it writes;
// a resumed run must be asked for the same.
struct OutputChoices {
    QStringList folders;         // the folders converted, as the scan names them, sorted; none: all
    bool withSubfolders = true;  // and the folders below them
    bool recover = false;        // deleted and orphan items searched for and written
    bool fromRecords = false;    // written from the scan's records when the mailbox cannot be read again

    bool operator==(const OutputChoices&) const = default;
    [[nodiscard]] QJsonObject ToJson() const;
    // nullopt when `object` is not one ToJson made.
    [[nodiscard]] static std::optional<OutputChoices> FromJson(const QJsonObject& object);
    // The choices of a run that converts `selection` (folder keys named by
    // `folders`), as the manifest records and a resume compares them.
    [[nodiscard]] static OutputChoices Of(const FolderSelection& selection, const FolderPaths& folders, bool recover,
                                          bool fromRecords);
};

// The manifest's first line:
// {"input":{"size":...,"endsSha256":"..."},"format":"eml","choices":{...}}.
struct ManifestHeader {
    std::optional<InputIdentity> input;  // none when the mailbox could not be read for it
    OutputFormat format = OutputFormat::Eml;
    // None in a manifest an earlier version wrote, which did not record them.
    std::optional<OutputChoices> choices;

    [[nodiscard]] QJsonObject ToJson() const;
    // nullopt when `line` is no header line.
    [[nodiscard]] static std::optional<ManifestHeader> FromJson(const QJsonObject& line);
};

// One item as the manifest lists it.
struct ManifestEntry {
    QString kind;                    // "mail", "contact", "distribution list", "appointment", "task", "note", ...
    QString folder;                  // the mailbox folder's path ("Top of Personal Folders/Inbox")
    uint32_t identifier = 0;         // the item's identifier in the mailbox; 0 when unknown
    ItemSource source = ItemSource::Live;  // recovered items say where they were found
    QString subject;
    std::optional<QDateTime> date;
    QString messageId;
    // Written: where (relative to the output folder), at which offset when
    // it shares a file (an mbox), how many bytes and their SHA-256.
    QString path;
    std::optional<qint64> offset;
    qint64 size = 0;
    QByteArray sha256;               // hexadecimal
    QByteArray fingerprint;          // of the item it was read from (ItemFingerprint.h); empty when unknown
    QString failure;                 // not written: why
};

// The "check" of a written item's line: a digest over what ties its file to
// its item (folder, identifier, fingerprint, path, size and digest), so that
// a line edited to name another file, or another item, no longer matches.
[[nodiscard]] QByteArray ManifestLineCheck(const QString& folder, uint32_t identifier, const QByteArray& fingerprint,
                                           const QString& path, qint64 size, const QByteArray& sha256);

// Bytes and their hash, as an entry records them.
// The digest of `length` bytes of the open file from `offset` (the whole rest
// when `length` is negative); nullopt when it cannot be read.
std::optional<FileDigest> DigestOfFile(int fd, qint64 offset = 0, qint64 length = -1);
// The digest of a file by path, never following a symbolic link.
std::optional<FileDigest> DigestOfPath(const QString& path);
FileDigest DigestOf(const QByteArray& bytes);
// `content` with the digest of what it wrote taken from the descriptor before
// the file is closed and named, so no path (however long) is opened again.
ContentWriter DigestingWriter(const ContentWriter& content, std::optional<FileDigest>* digest);

class ManifestWriter {
public:
    // Creates the manifest in the output folder, starting with `header`; why
    // not when it cannot be made (the conversion then goes on without one
    // and says so).
    [[nodiscard]] WriteStep Open(OutputTree& output, const ManifestHeader& header);
    // A resumed run's manifest: `header` and the `kept` lines of the earlier
    // one are written into a new file that then takes the old one's place in
    // one step, before anything else in the folder changes. A run killed at
    // any point leaves a manifest a resume can read, which lists every file
    // kept. The kept lines count towards the summary.
    [[nodiscard]] WriteStep OpenReplacing(OutputTree& output, const ManifestHeader& header,
                                          const std::vector<KeptManifestLine>& kept);
    bool isOpen() const { return file_.isValid(); }
    // `absolutePath` of a written entry is made relative to the output folder.
    void Add(ManifestEntry entry, const QString& absolutePath = QString());
    // The length and digest of the whole of a file several entries share
    // (an mbox file), once it is complete: verify hashes such a file whole
    // as well as each message's range, so nothing can be slipped in between
    // or after the messages. The writer of the file keeps the running digest.
    void AddWholeFile(const QString& absolutePath, const FileDigest& whole);
    // The run ended before everything was written (memory ran out, a write
    // failed): the summary line says so with `reason`, and verify then
    // reports the folder as incomplete.
    void MarkStopped(QString reason);
    // The last line: how many of each kind were written and not written, and
    // why the run stopped when it did.
    void Finish();
    // Why a line could not be written, when one could not.
    const QString& failure() const { return failure_; }

private:
    void WriteLine(const QJsonObject& object);
    QString RelativePath(const QString& absolutePath) const;

    UniqueFd file_;
    QString rootPath_;
    QString stopped_;
    std::map<QString, std::pair<int, int>> counts_;  // kind: written, not written
    QString failure_;
};

}  // namespace tolvane
