// GLib, under GMime, ends the whole process when one of its allocations
// fails, while our own code turns std::bad_alloc into one failed message.
// Before work goes to GMime, the conversion checks that the memory it may
// need is there, so a machine short of memory fails a message, never the run.
#pragma once

#include "model/MailContent.h"

#include <cstddef>

namespace tolvane {

// True when `bytes` could be allocated right now (tried and given back).
[[nodiscard]] bool HasMemoryHeadroom(std::size_t bytes);

// What composing `content` in memory may take at its peak: the bodies and
// attachments held, their encoded copies and GMime's own working memory.
std::size_t ComposeFootprint(const MessageContent& content);

// What writing a composed message (or one whose attachments stream) needs
// besides its own bytes: GMime's buffers, header folding, filters.
inline constexpr std::size_t kWriteHeadroom = 16 * 1024 * 1024;

}  // namespace tolvane
