// Checking for memory before GMime works on a message.
#include "convert/MemoryHeadroom.h"

#include <QFile>

#include <cstdlib>
#include <sys/resource.h>

namespace tolvane {

namespace {

// Up to this size an allocation is granted whenever nothing limits this
// process's memory: the kernel's default accounting refuses only a single
// request larger than all of memory and swap.
constexpr std::size_t kGrantedWithoutLimits = 256u * 1024 * 1024;

// Whether a modest allocation can fail at all here: under an address-space
// limit (ulimit -v) or the kernel's strict accounting. Asked once per
// process; neither changes while it runs.
bool ModestAllocationsCanFail()
{
    static const bool canFail = [] {
        rlimit addressSpace{};
        if (::getrlimit(RLIMIT_AS, &addressSpace) != 0 || addressSpace.rlim_cur != RLIM_INFINITY)
            return true;
        QFile mode(QStringLiteral("/proc/sys/vm/overcommit_memory"));
        if (!mode.open(QIODevice::ReadOnly))
            return true;
        return mode.readAll().trimmed() == "2";
    }();
    return canFail;
}

}  // namespace

bool HasMemoryHeadroom(std::size_t bytes)
{
    // The probe itself is not free: every large block sweeps and trims the
    // allocator's heaps, twice per message. Where it cannot fail, it is not made.
    if (bytes <= kGrantedWithoutLimits && !ModestAllocationsCanFail())
        return true;
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
