// Which mailbox file an output folder was written from, as the first line of
// its manifest records it: what lets a resumed conversion refuse to continue
// a folder with another mailbox, or with the same one after it changed.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace tolvane {

// The file's length and the SHA-256 of its first and last mebibyte (the
// whole file when it is shorter than two). Hashing a 50 GB mailbox whole
// would cost as long as reading it again; the two ends are what changes
// when a mail client writes to it: the header (with its root pointers,
// free-space counts and their checksum) is rewritten on every change, new
// pages are added at the end, and the length moves with either. An
// unchanged file gives the same identity on every run.
struct InputIdentity {
    qint64 size = 0;
    QByteArray endsSha256;  // hexadecimal

    bool operator==(const InputIdentity&) const = default;

    [[nodiscard]] QJsonObject ToJson() const;
    // nullopt when `object` is not one ToJson made.
    [[nodiscard]] static std::optional<InputIdentity> FromJson(const QJsonObject& object);
};

// The identity of the file at `path`; nullopt when it cannot be read.
[[nodiscard]] std::optional<InputIdentity> IdentityOfFile(const QString& path);

}  // namespace tolvane
