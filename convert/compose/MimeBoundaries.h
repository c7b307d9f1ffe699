// The boundaries of a composed message's multiparts, derived from the message
// rather than drawn at random, so that the same mailbox gives the same bytes
// at every conversion.
#pragma once

#include <gmime/gmime.h>

#include <QByteArray>

namespace tolvane {

class LeafSplices;

// Gives every multipart below `message` (those of embedded messages too) the
// boundary "=_" and 22 hex digits (as long as GMime's own, so headers fold
// as before) of a SHA-256 of `seed` and the part's
// place in the tree. Base64 and quoted-printable text never hold "=_"; every
// other text of the message (headers, bodies left as they are, the bodies
// `splices` holds for their stand-ins) is checked, and a boundary found in
// it is drawn again from the next hash. An empty seed: the message's own
// header stands for it.
void SetDerivedBoundaries(GMimeMessage* message, const QByteArray& seed, const LeafSplices* splices);

}  // namespace tolvane
