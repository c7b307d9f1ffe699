// libpff handle wrappers: the parts that are more than one line.
#include "scan/PffHandles.h"

#include "base/NativePath.h"

#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {


QString PffError::message() const
{
    if (error_ == nullptr)
        return QString();
    std::array<char, 1024> buffer{};
    if (libpff_error_sprint(error_, buffer.data(), buffer.size()) < 0)
        return QStringLiteral("unknown libpff error");
    return QString::fromUtf8(buffer.data()).trimmed();
}

void PffError::reset()
{
    if (error_ != nullptr)
        libpff_error_free(&error_);
    error_ = nullptr;
}

bool PffFile::initialize()
{
    reset();
    return libpff_file_initialize(&file_, nullptr) == 1;
}

bool PffFile::setAsciiCodepage(int codepage)
{
    if (file_ == nullptr)
        return false;
    if (libpff_file_set_ascii_codepage(file_, codepage, nullptr) != 1)
        return false;
    codepage_ = codepage;
    return true;
}

bool PffFile::open(const QString& path, PffError* error, const std::optional<FileIdentity>& expected)
{
    if (file_ == nullptr || open_)
        return false;
    changedReason_.clear();
    QByteArray encoded = NativePath(path);
    if (expected) {
        checkedFile_.reset(::open(encoded.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat info {};
        if (!checkedFile_ || ::fstat(checkedFile_.get(), &info) != 0) {
            changedReason_ = QStringLiteral("%1 cannot be opened again: %2").arg(path, ErrnoText(errno));
            checkedFile_.reset();
            return false;
        }
        if (const auto changed = FileChangedSinceScan(path, *expected, FileIdentity::Of(info))) {
            changedReason_ = *changed;
            checkedFile_.reset();
            return false;
        }
        // The descriptor's own name always leads to the file just checked,
        // whatever the path leads to by now. Without /proc, the path is
        // opened and checked again below.
        const QByteArray descriptorPath = "/proc/self/fd/" + QByteArray::number(checkedFile_.get());
        if (::access(descriptorPath.constData(), R_OK) == 0)
            encoded = descriptorPath;
    }
    // libpff's error says nothing a program can test, but an allocation or
    // open that fails for want of resources leaves its errno behind.
    errno = 0;
    const int result = libpff_file_open(file_, encoded.constData(), libpff_get_access_flags_read(),
                                        error != nullptr ? error->out() : nullptr);
    const int openErrno = errno;
    open_ = (result == 1);
    uint8_t contentType = 0;
    offlineCache_ = open_ && libpff_file_get_content_type(file_, &contentType, nullptr) == 1
                    && contentType == LIBPFF_FILE_CONTENT_TYPE_OST;
    openResourceError_ = !open_ && (openErrno == ENOMEM || openErrno == EMFILE || openErrno == ENFILE);
    if (open_ && expected && !encoded.startsWith("/proc/self/fd/")) {
        struct stat info {};
        const QString changed = ::stat(NativePath(path).constData(), &info) != 0
                                    ? QStringLiteral("%1 cannot be opened again: %2").arg(path, ErrnoText(errno))
                                    : FileChangedSinceScan(path, *expected, FileIdentity::Of(info)).value_or(QString());
        if (!changed.isEmpty()) {
            changedReason_ = changed;
            close();
            return false;
        }
    }
    return open_;
}

void PffFile::close()
{
    if (file_ != nullptr && open_)
        libpff_file_close(file_, nullptr);
    open_ = false;
    offlineCache_ = false;
    checkedFile_.reset();
}

void PffFile::reset()
{
    close();
    if (file_ != nullptr)
        libpff_file_free(&file_, nullptr);
    file_ = nullptr;
}

}  // namespace tolvane
