// Reads the first ten bytes of a file: signature at 0, content type at 8.
#include "PstSignature.h"

#include <QFile>

namespace tolvane {

PstContent CheckPstContent(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return PstContent::NotPst;
    const QByteArray header = file.read(10);
    if (header.size() < 10 || !header.startsWith("!BDN"))
        return PstContent::NotPst;
    // 0x4D53 little-endian: the letters "SM".
    if (header.at(8) != 'S' || header.at(9) != 'M')
        return PstContent::OtherContent;
    return PstContent::Pst;
}

}  // namespace tolvane
