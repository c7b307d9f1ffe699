// What a conversion did, in the words both front ends use: the destination
// notice, the final notice and the line about recovered mail. The engine
// hands over a ConversionSummary; the window and the command line say it.
#pragma once

#include "convert/ConversionDriver.h"

#include <QString>

namespace tolvane {

// Notice shown for a destination that is empty or does not exist, and its caption.
inline constexpr const char* kDestinationNoticeText =
    "Saving path doesn't exist, please select another path for saving.";
inline constexpr const char* kDestinationNoticeCaption = "Quenby";
// Shown at the end of a conversion in which every mail was saved (caption "Tolvane").
inline constexpr const char* kSavingCompletedText = "Saving sucessfully completed.";

// The text of the final notice: "Saving sucessfully completed." when
// everything was saved, otherwise how many were saved and failed (and whether
// the run was interrupted), with reasons.
QString CompletionNoticeText(const ConversionSummary& summary);
// The window's final notice: CompletionNoticeText, then the output folder
// (the command line prints that on a line of its own), and for the mbox tree
// how it goes into Thunderbird.
QString WindowCompletionText(const ConversionSummary& summary, OutputFormat format = OutputFormat::Eml);
// "Recovered mail: 2 saved, 1 with missing attachments." (deleted and orphan
// mail together)
QString RecoveredMailText(const ConversionSummary::RecoveredMail& recovered);

}  // namespace tolvane
