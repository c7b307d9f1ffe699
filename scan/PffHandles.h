// Owning wrappers for the C handles of libpff. Each type frees its handle with
// the matching libpff_*_free call, so no scan code ever frees by hand.
#pragma once

#include "scan/InputFile.h"
#include "base/UniqueFd.h"

#include <libpff.h>

#include <QString>

#include <optional>

#include <utility>

namespace tolvane {

// A libpff error object. Pass out() to a libpff call; message() gives its text.
class PffError {
public:
    PffError() = default;
    PffError(const PffError&) = delete;
    PffError& operator=(const PffError&) = delete;
    ~PffError() { reset(); }

    libpff_error_t** out()
    {
        reset();
        return &error_;
    }
    explicit operator bool() const { return error_ != nullptr; }
    QString message() const;
    void reset();

private:
    libpff_error_t* error_ = nullptr;
};

// Common shape of every handle wrapper: move-only, frees on destruction.
template <typename Handle, int (*FreeFunction)(Handle**, libpff_error_t**)>
class PffHandle {
public:
    PffHandle() = default;
    explicit PffHandle(Handle* handle) : handle_(handle) {}
    PffHandle(const PffHandle&) = delete;
    PffHandle& operator=(const PffHandle&) = delete;
    PffHandle(PffHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    PffHandle& operator=(PffHandle&& other) noexcept
    {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    ~PffHandle() { reset(); }

    Handle* get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    // Slot for a libpff call that hands out a new handle; frees the old one first.
    Handle** out()
    {
        reset();
        return &handle_;
    }
    void reset()
    {
        if (handle_ != nullptr)
            FreeFunction(&handle_, nullptr);
        handle_ = nullptr;
    }

private:
    Handle* handle_ = nullptr;
};

using PffItem = PffHandle<libpff_item_t, libpff_item_free>;
using PffRecordSet = PffHandle<libpff_record_set_t, libpff_record_set_free>;
using PffRecordEntry = PffHandle<libpff_record_entry_t, libpff_record_entry_free>;
using PffMultiValue = PffHandle<libpff_multi_value_t, libpff_multi_value_free>;

// An open (or openable) PST file. Closes before freeing.
class PffFile {
public:
    PffFile() = default;
    PffFile(const PffFile&) = delete;
    PffFile& operator=(const PffFile&) = delete;
    ~PffFile() { reset(); }

    // libpff_file_initialize; false when it fails.
    [[nodiscard]] bool initialize();
    // The code page libpff uses for 8-bit strings it converts itself.
    [[nodiscard]] bool setAsciiCodepage(int codepage);
    // Read-only open of a path (see NativePath for names that are not UTF-8).
    // With `expected`, only the file the scan read, unchanged, is opened:
    // anything else fails, and changedReason() says what happened. libpff
    // then reads through this object's own descriptor of that file, so a
    // file put in its place afterwards is never read either.
    [[nodiscard]] bool open(const QString& path, PffError* error = nullptr,
                            const std::optional<FileIdentity>& expected = std::nullopt);
    // After a failed open with an expected identity: why the file is not the
    // scanned one; empty when that was not the reason.
    const QString& changedReason() const { return changedReason_; }
    // After a failed open: true when memory (or another system resource) ran
    // out on the way, rather than the file being unreadable.
    bool openRanOutOfResources() const { return openResourceError_; }
    void close();
    void reset();

    libpff_file_t* get() const { return file_; }
    bool isOpen() const { return open_; }
    int asciiCodepage() const { return codepage_; }
    // Whether the open file is a mail client's offline cache of a server
    // mailbox (OST): only there can a mail's content be left on the server.
    bool isOfflineCache() const { return offlineCache_; }

private:
    libpff_file_t* file_ = nullptr;
    bool open_ = false;
    bool offlineCache_ = false;
    bool openResourceError_ = false;
    QString changedReason_;
    // The checked file while libpff reads it through /proc/self/fd.
    UniqueFd checkedFile_;
    int codepage_ = 1252;
};

}  // namespace tolvane
