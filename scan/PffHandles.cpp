// libpff handle wrappers: the parts that are more than one line.
#include "scan/PffHandles.h"

#include "scan/NativePath.h"

#include <array>
#include <cerrno>

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

bool PffFile::open(const QString& path, PffError* error)
{
    if (file_ == nullptr || open_)
        return false;
    const QByteArray encoded = NativePath(path);
    // libpff's error says nothing a program can test, but an allocation or
    // open that fails for want of resources leaves its errno behind.
    errno = 0;
    const int result = libpff_file_open(file_, encoded.constData(), libpff_get_access_flags_read(),
                                        error != nullptr ? error->out() : nullptr);
    const int openErrno = errno;
    open_ = (result == 1);
    openResourceError_ = !open_ && (openErrno == ENOMEM || openErrno == EMFILE || openErrno == ENFILE);
    return open_;
}

void PffFile::close()
{
    if (file_ != nullptr && open_)
        libpff_file_close(file_, nullptr);
    open_ = false;
}

void PffFile::reset()
{
    close();
    if (file_ != nullptr)
        libpff_file_free(&file_, nullptr);
    file_ = nullptr;
}

}  // namespace tolvane
