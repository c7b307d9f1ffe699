// What a resumed conversion (tolvane-cli convert --resume) does with the
// output folder a stopped run left: which of its mail files it keeps, which
// files it removes so they are written again, and which manifest lines carry
// over. Made once, before anything is written, from the folder's manifest
// and the files themselves; the driver and the mail pass only read it.
//
// A mail file is kept only when its manifest line is whole and its check
// matches (ManifestLineCheck), its file holds the bytes the line lists, and
// the item it was written from is still the same in the mailbox (its
// fingerprint, compared once the mailbox is open: CheckedAgainst).
//
// Only mail is kept, one file per message (eml, Maildir): contacts, lists and
// calendar files are written after all mail, are few, and are written again.
// An mbox folder keeps nothing: its files hold many messages each and are
// put in place only once all mail is written, so its mail is written again.
// A Maildir folder's keyword file stays beside the messages kept, whose names
// carry its letters; the run continues it.
#pragma once

#include "convert/output/InputIdentity.h"
#include "convert/output/MailFormats.h"
#include "convert/output/Manifest.h"
#include "base/Expected.h"
#include "model/ItemRecords.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace tolvane {

// Why a folder cannot be resumed.
enum class ResumeRefusal {
    NoFolder,           // no directory there (or a symbolic link)
    NoManifest,         // the folder holds no manifest
    ManifestUnreadable, // the manifest cannot be read
    NoInputRecorded,    // the manifest does not say which mailbox it was written from
    InputUnreadable,    // the mailbox named cannot be read for its identity
    OtherInput,         // the folder was written from another mailbox (or this one changed since)
    OtherFormat,        // the folder holds another format than the one asked for
    NoChoicesRecorded,  // the manifest does not say what the run was asked for (an earlier version's)
    TooDeep,            // the folder holds directories deeper than a conversion makes or can check
};

struct ResumeFailure {
    ResumeRefusal refusal = ResumeRefusal::NoFolder;
    QString detail;  // the system's reason, or the format the folder holds
};

// The text the command line prints after "OUTPUT_FOLDER: ".
[[nodiscard]] QString ResumeFailureText(const ResumeFailure& failure);

// One manifest line a resumed run writes again as it was.
struct KeptManifestLine {
    QByteArray text;  // the JSON object, without its line end
    QString kind;     // what it counts towards in the summary
};

class ResumePlan {
public:
    // Reads `outputFolder`'s manifest (a last line cut short, no summary
    // line, or a summary of a run that stopped are all taken as they come)
    // and checks every file its mail lines name. Refused when the folder was
    // written from another file than `pstPath`, or in another format than
    // `format`.
    [[nodiscard]] static Expected<ResumePlan, ResumeFailure> Make(const QString& outputFolder, const QString& pstPath,
                                                                  OutputFormat format);

    const QString& outputFolder() const { return outputFolder_; }
    const InputIdentity& input() const { return input_; }
    // What the stopped run was asked for: a resumed run must ask for the same.
    const OutputChoices& choices() const { return choices_; }
    // The manifest ends in the summary of a run that was not stopped and
    // wrote every item, whose counts are those of the lines above it, with
    // nothing after it: there is nothing to resume.
    bool finished() const { return finished_; }

    // The plan with only the mail whose item's fingerprint in the mailbox
    // (`fingerprintOf`, by identifier; nullopt when the item cannot be read)
    // is still the one its line recorded; the files of the rest are
    // removed and written again.
    [[nodiscard]] ResumePlan CheckedAgainst(
        const std::function<std::optional<QByteArray>(uint32_t identifier)>& fingerprintOf) const;

    // The manifest lines of the files kept, as they were.
    const std::vector<KeptManifestLine>& keptLines() const { return keptLines_; }
    // The directories already there, relative to the folder ("Top/Inbox").
    const std::set<QString>& directories() const { return directories_; }
    // Everything else in the folder but the manifest and the Maildir
    // folders' keyword files, relative to it: to be removed before the run
    // writes (a file linked but never listed, one that changed, one of the
    // items written again).
    const std::vector<QString>& unaccounted() const { return unaccounted_; }

    // The kept file (relative to the folder) of the mail the manifest lists
    // by its folder as the manifest names it and its identifier; nullopt
    // when that mail is to be written. Only mail of the mailbox's own
    // folders is kept: recovered items may share identifiers.
    [[nodiscard]] std::optional<QString> KeptMail(const QString& storedFolder, uint32_t identifier,
                                                  ItemSource source) const;
    std::size_t keptMailCount() const { return keptMail_.size(); }
    // How many of them the folder `storedFolder` (as the manifest names it) holds.
    [[nodiscard]] std::size_t KeptMailIn(const QString& storedFolder) const;

private:
    QString outputFolder_;
    InputIdentity input_;
    OutputChoices choices_;
    bool finished_ = false;
    std::vector<KeptManifestLine> keptLines_;
    // Beside each kept line: what it says of its item and file.
    struct KeptItem {
        std::pair<QString, uint32_t> key;  // folder, identifier
        QString path;
        QByteArray fingerprint;
    };
    std::vector<KeptItem> keptItems_;
    std::set<QString> directories_;
    std::vector<QString> unaccounted_;
    std::map<std::pair<QString, uint32_t>, QString> keptMail_;
};

}  // namespace tolvane
