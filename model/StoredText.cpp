// A kept text, in memory or in its store's spill file (see StoredText in
// ItemRecords.h).
#include "model/BodySpill.h"
#include "model/ItemRecords.h"

#include <limits>
#include <optional>

namespace tolvane {

StoredText StoredText::fromString(const QString& text, const std::shared_ptr<BodySpill>& spill)
{
    StoredText stored = fromUtf8(text.toUtf8(), spill);
    stored.isNull_ = text.isNull();
    return stored;
}

StoredText StoredText::fromUtf8(QByteArray utf8, const std::shared_ptr<BodySpill>& spill)
{
    StoredText stored;
    stored.isNull_ = false;
    if (spill && utf8.size() > kInlineBodyBytes && utf8.size() <= std::numeric_limits<int32_t>::max()) {
        if (const std::optional<int64_t> offset = spill->append(utf8)) {
            stored.spill_ = spill;
            stored.spillOffset_ = *offset;
            stored.spillSize_ = static_cast<int32_t>(utf8.size());
            return stored;
        }
    }
    stored.utf8_ = std::move(utf8);
    return stored;
}

QString StoredText::text() const
{
    if (isNull_)
        return QString();
    if (spill_)
        return QString::fromUtf8(spill_->read(spillOffset_, spillSize_));
    if (utf8_.isEmpty())
        return QString(u""_qs);
    return QString::fromUtf8(utf8_);
}

}  // namespace tolvane
