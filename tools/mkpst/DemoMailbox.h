// The demo mailbox shipped with every build: a few folders and about fifty varied items (non-ASCII
// text, every body format, attachments, an embedded message, contacts, appointments).
#pragma once

#include <string>

namespace tolvane::mkpst {

// Throws std::runtime_error when the file cannot be written.
void WriteDemoMailbox(const std::string& path);

} // namespace tolvane::mkpst
