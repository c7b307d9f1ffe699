// What a conversion counts: every kind of item by what became of it, one
// table the passes add to and the front ends read. A kind's "written" items
// are its complete ones and its incomplete ones together.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>

namespace tolvane {

// What an item is, as far as its counts and its manifest line go.
enum class OutcomeKind {
    Mail,
    Contact,
    DistributionList,
    Appointment,
    Task,
    Note,
    JournalEntry,
    Attachment,    // a calendar's attachment in a file of its own: counted and reported with its event
    EmbeddedMail,  // a message carried inside its parent's file, counted with it
    CalendarFile,  // one per folder of appointments, tasks, notes
};
inline constexpr std::size_t kOutcomeKinds = static_cast<std::size_t>(OutcomeKind::CalendarFile) + 1;

enum class ItemResult {
    Complete,    // written with everything it holds
    Incomplete,  // written without something that could not be read; its file says what
    Failed,      // not written
};
inline constexpr std::size_t kItemResults = static_cast<std::size_t>(ItemResult::Failed) + 1;

// One or more kinds, counted together.
class KindSet {
public:
    constexpr KindSet(OutcomeKind kind) : bits_(Bit(kind)) {}
    constexpr KindSet(std::initializer_list<OutcomeKind> kinds)
    {
        for (const OutcomeKind kind : kinds)
            bits_ |= Bit(kind);
    }
    constexpr bool Has(OutcomeKind kind) const { return (bits_ & Bit(kind)) != 0; }

private:
    static constexpr unsigned Bit(OutcomeKind kind) { return 1u << static_cast<unsigned>(kind); }
    unsigned bits_ = 0;
};

// The tasks, notes and journal entries: the calendar items that are not appointments.
inline constexpr KindSet kNoteKinds{OutcomeKind::Note, OutcomeKind::JournalEntry};
inline constexpr KindSet kTaskAndNoteKinds{OutcomeKind::Task, OutcomeKind::Note, OutcomeKind::JournalEntry};
// Everything but mail, contacts and appointments: tasks, notes, journal entries, lists.
inline constexpr KindSet kOtherItemKinds{OutcomeKind::Task, OutcomeKind::Note, OutcomeKind::JournalEntry,
                                         OutcomeKind::DistributionList};
class ItemCounts {
public:
    void Add(OutcomeKind kind, ItemResult result, int count = 1) { Cell(kind, result) += count; }

    [[nodiscard]] int Of(KindSet kinds, ItemResult result) const
    {
        int sum = 0;
        for (std::size_t kind = 0; kind < kOutcomeKinds; ++kind) {
            if (kinds.Has(static_cast<OutcomeKind>(kind)))
                sum += table_[kind][static_cast<std::size_t>(result)];
        }
        return sum;
    }
    [[nodiscard]] int Complete(KindSet kinds) const { return Of(kinds, ItemResult::Complete); }
    [[nodiscard]] int Incomplete(KindSet kinds) const { return Of(kinds, ItemResult::Incomplete); }
    [[nodiscard]] int Failed(KindSet kinds) const { return Of(kinds, ItemResult::Failed); }
    [[nodiscard]] int Written(KindSet kinds) const { return Complete(kinds) + Incomplete(kinds); }
    // Some item of `kinds` not written, or written without something.
    [[nodiscard]] bool AnyShort(KindSet kinds) const { return Incomplete(kinds) + Failed(kinds) > 0; }

    // For tests and front ends that build a summary by hand.
    int& Cell(OutcomeKind kind, ItemResult result)
    {
        return table_[static_cast<std::size_t>(kind)][static_cast<std::size_t>(result)];
    }

private:
    std::array<std::array<int, kItemResults>, kOutcomeKinds> table_{};
};

// Every kind a conversion writes.
inline constexpr KindSet kEveryKind{OutcomeKind::Mail,        OutcomeKind::Contact,      OutcomeKind::DistributionList,
                                    OutcomeKind::Appointment, OutcomeKind::Task,         OutcomeKind::Note,
                                    OutcomeKind::JournalEntry, OutcomeKind::Attachment,  OutcomeKind::EmbeddedMail,
                                    OutcomeKind::CalendarFile};

}  // namespace tolvane
