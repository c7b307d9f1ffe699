// How a text that comes from a mailbox or the file system is shown to a
// person, on a terminal or in a message: its control characters written out,
// so that a name can neither break the line it stands in nor steer the
// terminal. Both front ends show such texts through this one function.
#pragma once

#include <QString>

namespace tolvane {

// `text` with C0 controls (line breaks too) and DEL written as \x1b, C1
// controls as \u009b, and bytes of a file name that were not UTF-8 (see
// NativePath) as \xff. Everything else is kept, so a text that needs no
// escaping comes back unchanged.
[[nodiscard]] QString ShownText(const QString& text);

}  // namespace tolvane
