// The per-user private temporary directory: the scan's "Attachments"
// directory, the preview's page files and the conversion's clean-up all live
// below it. Shared by scan, view and convert so they agree on one place.
#pragma once

#include <QString>

#include <optional>

namespace tolvane {

// Name of the attachment directory inside the private temporary directory.
inline constexpr const char* kAttachmentsDirName = "Attachments";

// The directory "tolvane-<uid>" below $TMPDIR (when it names an existing
// absolute directory with a UTF-8 name) or /tmp, created with mode 0700 when missing. Refused
// (nullopt, reason in *error) when the name is a symlink, not a directory, or
// owned by another user; group/other permissions on our own directory are
// removed.
std::optional<QString> PrivateTempDir(QString* error = nullptr);

// PrivateTempDir() + "/Attachments"; nullopt when the private directory is refused.
std::optional<QString> AttachmentDirectory(QString* error = nullptr);

}  // namespace tolvane
