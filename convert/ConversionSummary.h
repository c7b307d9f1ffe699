// What a finished (or abandoned) conversion did: its counts by kind of item
// and outcome, and the few facts about the run as a whole. The front ends
// put it into words.
#pragma once

#include "convert/ItemCounts.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace tolvane {

// What kept a run from doing all it should besides its items' own outcomes,
// with the system's or the mailbox's reason.
struct RunProblem {
    enum class Kind {
        // The mailbox could not be read again for the conversion; nothing was
        // written unless the user chose to write what the scan kept.
        MailboxUnreadable,
        // A file was written but could not be finished (an mbox file left
        // under its temporary name); the manifest lacks it too.
        FileUnfinished,
        // The run's manifest could not be made or fully written: the folder
        // cannot be checked with verify.
        ManifestIncomplete,
        // The walk the conversion made as it wrote ended before the mailbox
        // did; the items it had not reached were not written.
        WalkEnded,
    };
    Kind kind;
    QString reason;
};

struct ConversionSummary {
    QString outputRoot;         // the folder this run made; empty when it made none (no folders)
    int foldersPrepared = 0;
    int mailTotal = 0;          // top-level mail records handed to the mail pass
    // Every item by kind and outcome. Kept mail of a resumed run counts as
    // complete; embedded messages count once their parent is written.
    ItemCounts counts;
    QStringList firstFailures;    // "file name: reason" of the first few failures
    QStringList firstIncomplete;  // "file name: missing ..." of the first few incomplete ones
    // Of the mail counts, the messages a scan with recovery found outside
    // the folders; often partly overwritten, so their damage is named.
    struct RecoveredMail {
        int saved = 0;                  // complete or not
        int missingAttachments = 0;     // saved without an attachment or embedded message
        int otherwiseIncomplete = 0;    // saved without something else
        int failed = 0;
        bool any() const { return saved + failed > 0; }
    } recovered;

    // How the run as a whole went.
    bool abandoned = false;     // Stop, answered Yes: nothing more was written
    bool interrupted = false;   // a stop request ended the run after the item being written
    bool outOfMemory = false;   // memory ran out between items: the rest was not written
    bool memoryShort = false;   // memory ran short somewhere: an item or the whole run failed for it
    // In the order they happened.
    std::vector<RunProblem> problems;

    void Add(RunProblem::Kind kind, const QString& reason) { problems.push_back({kind, reason}); }
    [[nodiscard]] bool Has(RunProblem::Kind kind) const { return FirstOf(kind) != nullptr; }
    // The reason of the first problem of `kind`; empty when there is none.
    [[nodiscard]] QString ReasonOf(RunProblem::Kind kind) const
    {
        const RunProblem* first = FirstOf(kind);
        return first != nullptr ? first->reason : QString();
    }
    [[nodiscard]] QStringList ReasonsOf(RunProblem::Kind kind) const
    {
        QStringList reasons;
        for (const RunProblem& problem : problems) {
            if (problem.kind == kind)
                reasons << problem.reason;
        }
        return reasons;
    }

    // The mailbox could not be read again and nothing was written from it.
    bool mailboxUnreadable() const
    {
        return Has(RunProblem::Kind::MailboxUnreadable) && mailTotal == 0 && counts.Written(OutcomeKind::Contact) == 0;
    }
    // The run went as it should and no item of `kinds` is missing or short.
    bool allSavedOf(KindSet kinds) const
    {
        return !abandoned && !interrupted && !outOfMemory && problems.empty() && !counts.AnyShort(kinds);
    }
    bool allSaved() const { return allSavedOf(kEveryKind); }
    // Everything saved but some appointments, tasks, notes or lists (which the notice counts apart).
    bool allSavedButEvents() const { return allSavedOf({OutcomeKind::Mail, OutcomeKind::Contact}); }

private:
    const RunProblem* FirstOf(RunProblem::Kind kind) const
    {
        const auto found = std::find_if(problems.begin(), problems.end(),
                                        [kind](const RunProblem& problem) { return problem.kind == kind; });
        return found != problems.end() ? &*found : nullptr;
    }
};

}  // namespace tolvane
