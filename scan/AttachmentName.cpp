// Choosing an attachment's name; see AttachmentName.h.
#include "scan/AttachmentName.h"

#include "scan/PropertyTags.h"

namespace tolvane {

QString AttachmentName(libpff_item_t* attachment, int codePage, ReadFailures* failures)
{
    for (uint32_t tag : {PropertyTag::AttachLongFilename, PropertyTag::AttachFilename, PropertyTag::DisplayName}) {
        const auto name = ReadString(attachment, 0, tag, codePage, NamedLookup::Mapped, failures);
        if (name && !name->trimmed().isEmpty())
            return *name;
    }
    return QString();
}

}  // namespace tolvane
