// Clean-up of the hidden temporaries (".tolvane-partial-*") that a conversion
// killed outright leaves in its output folder on file systems without
// unnamed temporaries. Run at the start of every conversion.
#pragma once

#include <QString>

namespace tolvane {

// Walks the destination's "Vorsk-Recovery-*" folders that belong to this
// user, are not in use by a running conversion and hold the manifest of a run
// that did not finish, by descriptors and without following a symbolic link,
// and removes the regular files of this user whose names only the writers
// make (IsWriterTemporaryName). Returns how many were removed.
int RemoveLeftoverPartials(const QString& destinationPath);

}  // namespace tolvane
