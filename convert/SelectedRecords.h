// The records and folders of the folders a conversion was asked for.
#pragma once

#include "scan/FolderPaths.h"
#include "scan/ItemStore.h"

#include <memory>

namespace tolvane {

// The records of the selected folders and the folders below them; all of
// them when none is selected.
template <typename Record>
RecordList<Record> Selected(RecordList<Record> records, const FolderSelection& selected)
{
    if (selected.takesEverything())
        return records;
    std::erase_if(records, [&](const std::shared_ptr<const Record>& record) {
        return !selected.Takes(record->folderKey);
    });
    return records;
}

// The folder nodes to make directories for: the selected folders, those
// below them, and those on the way down to them.
inline RecordList<FolderNode> SelectedFolders(RecordList<FolderNode> nodes, const FolderSelection& selected)
{
    if (selected.takesEverything())
        return nodes;
    std::erase_if(nodes, [&](const std::shared_ptr<const FolderNode>& node) {
        return !selected.Reaches(FolderKeyOf(*node));
    });
    return nodes;
}

}  // namespace tolvane
