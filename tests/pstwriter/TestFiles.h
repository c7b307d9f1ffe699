// Temporary PST files for the writer's tests, removed when the test ends.
#pragma once

#include <filesystem>
#include <string>

#include <unistd.h>

namespace tolvane::pstwriter::testing {

class TempPst {
public:
    explicit TempPst(const std::string& name)
        : path_((std::filesystem::temp_directory_path() /
                 ("tolvane-pstwriter-" + std::to_string(::getpid()) + "-" + name + ".pst"))
                    .string())
    {
    }
    ~TempPst()
    {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    TempPst(const TempPst&) = delete;
    TempPst& operator=(const TempPst&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace tolvane::pstwriter::testing
