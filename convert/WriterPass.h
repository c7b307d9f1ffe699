// What the writer's passes (MessageWriter.h) share beside their run
// (ConversionRun.h): how the items that are neither mail nor contacts are
// counted and named.
#pragma once

#include "convert/ItemOutcomes.h"
#include "model/ItemRecords.h"

namespace tolvane {

[[nodiscard]] OutcomeKind OutcomeKindOf(OtherItemEntry::Kind kind);

// How the problem lines name a task, note, journal entry or list that could
// not be read (it has no name of its own then).
[[nodiscard]] QString OtherItemLabel(const OtherItemEntry& entry);

}  // namespace tolvane
