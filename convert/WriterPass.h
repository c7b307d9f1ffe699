// What the writer's passes (MessageWriter.h) share: the checkpoint before
// each item, the outcome recorder over the run's summary, problem lines and
// manifest, and how the items that are neither mail nor contacts are named.
#pragma once

#include "convert/ItemOutcomes.h"
#include "convert/MessageWriter.h"

namespace tolvane {

// Before each item: the gate (pause, abandon, test hooks), then a stop
// request; then the item, in the mailbox folder `folder`, counts towards the
// progress. False ends the pass.
[[nodiscard]] bool PassCheckpoint(WriterContext& context, const QString& folder);

// Records, counts and reports into the context's summary, sink and manifest.
[[nodiscard]] ItemOutcomes OutcomesOf(WriterContext& context);

[[nodiscard]] OutcomeKind OutcomeKindOf(OtherItemEntry::Kind kind);

// How the problem lines name a task, note, journal entry or list that could
// not be read (it has no name of its own then).
[[nodiscard]] QString OtherItemLabel(const OtherItemEntry& entry);

}  // namespace tolvane
