// Compressed RTF (the 0x1009 body): a valid "LZFu" stream, and the uncompressed "MELA" form.
#pragma once

#include "pstwriter/PstBytes.h"

#include <string_view>

namespace tolvane::pstwriter {

// Encodes rtf as an LZFu stream made only of literal runs plus the end marker: valid for every
// reader, and as large as the text plus one eighth.
[[nodiscard]] Bytes CompressRtf(std::string_view rtf);
// The uncompressed form (compression type "MELA", checksum 0).
[[nodiscard]] Bytes WrapUncompressedRtf(std::string_view rtf);

}  // namespace tolvane::pstwriter
