// The folder tree's image list: 17 small icons drawn for the project, and the
// rule that picks one from a folder's name.
#pragma once

#include <QIcon>
#include <QString>
#include <QVector>

namespace tolvane {

// Index into the image list for a folder of that name; 0 when no kind matches.
int FolderImageIndex(const QString& folderName);

// The 17 icons in image-list order. Window thread only (needs a GUI application).
const QVector<QIcon>& FolderImageList();

}  // namespace tolvane
