// The libpff floor of the benchmarks: opens a mailbox and visits every folder
// and every item with nothing of the project's own code in between, so the
// scan and the conversion can be compared with what the library alone costs.
// With --dump it prints one line per folder and item, which lets two builds of
// the library be compared for identical results.
#include <libpff.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "scan/PffHandles.h"

namespace {

using tolvane::PffItem;
using Clock = std::chrono::steady_clock;

struct WalkTotals {
    long folders = 0;
    long items = 0;
    long entries = 0;
    long failures = 0;
};

struct WalkOptions {
    bool dump = false;
    bool shallow = false;  // visit items without reading their property tables
};

// Owns the libpff file handle for the program's lifetime.
class FloorFile {
public:
    FloorFile() { libpff_file_initialize(&file_, nullptr); }
    FloorFile(const FloorFile&) = delete;
    FloorFile& operator=(const FloorFile&) = delete;
    ~FloorFile()
    {
        if (open_)
            libpff_file_close(file_, nullptr);
        if (file_ != nullptr)
            libpff_file_free(&file_, nullptr);
    }
    bool open(const char* path)
    {
        open_ = file_ != nullptr && libpff_file_open(file_, path, LIBPFF_OPEN_READ, nullptr) == 1;
        return open_;
    }
    libpff_file_t* get() const { return file_; }

private:
    libpff_file_t* file_ = nullptr;
    bool open_ = false;
};

std::string folderName(libpff_item_t* folder)
{
    size_t size = 0;
    if (libpff_folder_get_utf8_name_size(folder, &size, nullptr) != 1 || size == 0)
        return {};
    std::vector<uint8_t> buffer(size);
    if (libpff_folder_get_utf8_name(folder, buffer.data(), size, nullptr) != 1)
        return {};
    return std::string(reinterpret_cast<const char*>(buffer.data()));
}

void visitItem(libpff_item_t* item, const std::string& path, const WalkOptions& options, WalkTotals& totals)
{
    ++totals.items;
    uint32_t identifier = 0;
    libpff_item_get_identifier(item, &identifier, nullptr);
    uint32_t entries = 0;
    if (!options.shallow) {
        if (libpff_item_get_number_of_entries(item, &entries, nullptr) != 1)
            ++totals.failures;
        totals.entries += entries;
    }
    if (options.dump)
        std::printf("item %s %" PRIu32 " %" PRIu32 "\n", path.c_str(), identifier, entries);
}

void visitFolder(libpff_item_t* folder, const std::string& path, const WalkOptions& options, WalkTotals& totals,
                 int depth)
{
    ++totals.folders;
    if (depth > 64)  // a looping folder tree in a damaged file
        return;
    int messages = 0;
    if (libpff_folder_get_number_of_sub_messages(folder, &messages, nullptr) != 1)
        ++totals.failures;
    if (options.dump)
        std::printf("folder %s %d\n", path.c_str(), messages);
    for (int index = 0; index < messages; ++index) {
        PffItem message;
        if (libpff_folder_get_sub_message(folder, index, message.out(), nullptr) != 1) {
            ++totals.failures;
            continue;
        }
        visitItem(message.get(), path, options, totals);
    }
    int subFolders = 0;
    if (libpff_folder_get_number_of_sub_folders(folder, &subFolders, nullptr) != 1)
        ++totals.failures;
    for (int index = 0; index < subFolders; ++index) {
        PffItem subFolder;
        if (libpff_folder_get_sub_folder(folder, index, subFolder.out(), nullptr) != 1) {
            ++totals.failures;
            continue;
        }
        visitFolder(subFolder.get(), path + "/" + folderName(subFolder.get()), options, totals, depth + 1);
    }
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    WalkOptions options;
    const char* path = nullptr;
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--dump") == 0)
            options.dump = true;
        else if (std::strcmp(argv[index], "--shallow") == 0)
            options.shallow = true;
        else if (path == nullptr && argv[index][0] != '-')
            path = argv[index];
        else
            path = nullptr, index = argc;
    }
    if (path == nullptr) {
        std::fprintf(stderr, "usage: pff-floor [--dump] [--shallow] FILE.pst\n");
        return 2;
    }

    const auto start = Clock::now();
    FloorFile file;
    if (!file.open(path)) {
        std::fprintf(stderr, "pff-floor: cannot open %s\n", path);
        return 1;
    }
    const double openSeconds = secondsSince(start);

    WalkTotals totals;
    PffItem root;
    if (libpff_file_get_root_folder(file.get(), root.out(), nullptr) == 1)
        visitFolder(root.get(), "", options, totals, 0);
    else
        ++totals.failures;

    std::fprintf(options.dump ? stderr : stdout,
                 "{\"open_seconds\": %.3f, \"total_seconds\": %.3f, \"folders\": %ld, \"items\": %ld, "
                 "\"entries\": %ld, \"failures\": %ld}\n",
                 openSeconds, secondsSince(start), totals.folders, totals.items, totals.entries, totals.failures);
    return 0;
}
