// Assigns property ids (0x8000 and up) to named properties as they are first used and produces the
// name-to-id map that lets readers translate them back.
#pragma once

#include "pstwriter/PropertyValue.h"

#include <vector>

namespace tolvane::pstwriter {

class NameToIdMap {
public:
    uint16_t IdFor(const NamedPropertyKey& key);
    // The properties of the name-to-id map's property context.
    [[nodiscard]] PropertyMap ToProperties() const;

private:
    std::map<NamedPropertyKey, uint16_t> ids_;
    std::vector<NamedPropertyKey> order_;
};

}  // namespace tolvane::pstwriter
