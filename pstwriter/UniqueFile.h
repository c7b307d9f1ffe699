// Ownership of one stdio stream: the stream is closed whichever way its owner is left, so a writer
// that throws half-way through a file never leaks the stream. A caller that must know whether the
// close succeeded takes the stream back with release() and closes it itself.
#pragma once

#include <cstdio>
#include <memory>

namespace tolvane::pstwriter {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace tolvane::pstwriter
