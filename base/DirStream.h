// Owner of one directory stream (opendir/fdopendir): closed exactly once, when
// the owner goes away. Used by the walks that list a directory through its
// descriptor (clean-up of temporaries and of dead processes' directories).
#pragma once

#include <dirent.h>

#include <memory>

namespace tolvane {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirStream = std::unique_ptr<DIR, DirCloser>;

}  // namespace tolvane
