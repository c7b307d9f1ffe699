// One-off entry identifiers and flattened entry lists in their stored form.
#include "pstwriter/EntryIds.h"

#include "pstwriter/PropertyValue.h"

namespace tolvane::pstwriter {

Bytes OneOffEntryId(std::string_view displayName, std::string_view addressType, std::string_view address,
                    bool unicode)
{
    static constexpr uint8_t kProvider[16] = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                                              0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
    Bytes out;
    PutU32(out, 0);
    out.insert(out.end(), std::begin(kProvider), std::end(kProvider));
    PutU16(out, 0);                                // version
    PutU16(out, unicode ? 0x8000 | 0x0001 : 0x0001);  // Unicode strings; no rich text
    for (std::string_view text : {displayName, addressType, address}) {
        if (unicode) {
            const Bytes utf16 = Utf8ToUtf16Le(text);
            out.insert(out.end(), utf16.begin(), utf16.end());
            PutU16(out, 0);
        } else {
            out.insert(out.end(), text.begin(), text.end());
            out.push_back(0);
        }
    }
    return out;
}

Bytes FlatEntryList(const std::vector<Bytes>& entryIds)
{
    Bytes body;
    for (const Bytes& id : entryIds) {
        PutU32(body, uint32_t(id.size()));
        body.insert(body.end(), id.begin(), id.end());
        while (body.size() % 4 != 0)
            body.push_back(0);
    }
    Bytes out;
    PutU32(out, uint32_t(entryIds.size()));
    PutU32(out, uint32_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

}  // namespace tolvane::pstwriter
