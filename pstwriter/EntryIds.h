// Entry identifiers as a mail client stores them for addresses typed by hand
// (the one-off form, which carries name, type and address itself) and the
// flattened lists some properties hold several of them in.
#pragma once

#include "pstwriter/PstBytes.h"

#include <string_view>
#include <vector>

namespace tolvane::pstwriter {

// A one-off entry identifier; `unicode` stores the three strings as UTF-16LE,
// else as the given 8-bit bytes.
Bytes OneOffEntryId(std::string_view displayName, std::string_view addressType, std::string_view address,
                    bool unicode = true);

// A flattened entry list: a count and a byte size, then each identifier with
// its size, padded to four bytes.
Bytes FlatEntryList(const std::vector<Bytes>& entryIds);

}  // namespace tolvane::pstwriter
