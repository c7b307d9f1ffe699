// The signature and content-type test of a PST header.
#include "scan/PstSignature.h"

namespace tolvane {

PstContent ClassifyPstHeader(const QByteArray& header)
{
    if (header.size() < kPstHeaderBytes || !header.startsWith("!BDN"))
        return PstContent::NotPst;
    // 0x4D53 little-endian: the letters "SM".
    if (header.at(8) != 'S' || header.at(9) != 'M')
        return PstContent::OtherContent;
    return PstContent::Pst;
}

}  // namespace tolvane
