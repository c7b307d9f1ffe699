// Who a mail names: a person's name and address as the mailbox keeps them
// (Mailbox), and the address read as RFC 5322 reads one (AddrSpec). The
// reader fills them, the composer writes them into headers and calendars,
// the mbox files put the sender's address on their separator line; each asks
// the same value whether an address is one that can be written.
#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace tolvane {

// An address with a local part, one "@" taken as the last, and a domain,
// without anything that would break a header around it (white space, angle
// brackets, commas, semicolons, quotes, control characters).
class AddrSpec {
public:
    // The address `text` stands for, surrounding white space left out;
    // nullopt when it is not one.
    [[nodiscard]] static std::optional<AddrSpec> Parse(QStringView text);
    // Whether `text` is exactly an address whose local part and domain are
    // both dot-atoms (no quoting, no comments, nothing around it): a display
    // name that holds only this is an address, not a name.
    [[nodiscard]] static bool IsPlainDotAtom(QStringView text);

    const QString& text() const { return text_; }
    QStringView localPart() const { return QStringView(text_).left(at_); }
    QStringView domain() const { return QStringView(text_).mid(at_ + 1); }
    // Whether every character is printable ASCII: the form a line that
    // takes the address as one word can carry.
    [[nodiscard]] bool isPrintableAscii() const;

private:
    AddrSpec(QString text, qsizetype at) : text_(std::move(text)), at_(at) {}
    QString text_;
    qsizetype at_ = 0;
};

struct Mailbox {
    QString name;
    QString address;  // as stored: an SMTP address when known, else empty or another kind of address

    // The address when it can be written as one; nullopt for an empty or
    // directory address, which is then written as a name alone.
    [[nodiscard]] std::optional<AddrSpec> addrSpec() const { return AddrSpec::Parse(address); }
};

}  // namespace tolvane
