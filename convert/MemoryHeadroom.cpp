// Checking for memory before GMime works on a message.
#include "convert/MemoryHeadroom.h"

#include <cstdlib>

namespace tolvane {

bool HasMemoryHeadroom(std::size_t bytes)
{
    void* probe = std::malloc(bytes);
    if (probe == nullptr)
        return false;
    std::free(probe);
    return true;
}

namespace {

std::size_t HeldBytes(const MessageContent& content)
{
    std::size_t held = static_cast<std::size_t>(content.plainBody.size() + content.htmlBody.size())
                       + static_cast<std::size_t>(content.transportHeaders.size()) * 2;
    for (const Attachment& attachment : content.attachments) {
        held += static_cast<std::size_t>(attachment.data.size());
        if (attachment.embedded)
            held += HeldBytes(*attachment.embedded);
    }
    return held;
}

}  // namespace

std::size_t ComposeFootprint(const MessageContent& content)
{
    // A copy into GMime's streams, the encoded output (base64 adds a third)
    // and the finished bytes: about four times what the message holds.
    return HeldBytes(content) * 4 + kWriteHeadroom;
}

}  // namespace tolvane
