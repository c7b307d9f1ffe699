// The identity a contact keeps across conversions.
#include "model/ContactContent.h"

#include <QUuid>

namespace tolvane {

QString ContactUid(const QByteArray& storeKey, uint32_t identifier)
{
    // The namespace of this program's contact UIDs; any fixed UUID would do.
    static const QUuid kContactNamespace(QStringLiteral("{6b1d3f0e-4c52-4f7a-9a8e-2d5c7e91b304}"));
    const QByteArray name = storeKey.toHex() + ':' + QByteArray::number(identifier);
    return QStringLiteral("urn:uuid:") + QUuid::createUuidV5(kContactNamespace, name).toString(QUuid::WithoutBraces);
}

}  // namespace tolvane
