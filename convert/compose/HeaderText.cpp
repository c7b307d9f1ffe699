// Texts on their way into headers, and people as mailboxes of an address list.
#include "convert/compose/HeaderText.h"

#include "convert/compose/MimeComposer.h"

namespace tolvane {

namespace {

// The display name of the sender text: commas read as spaces.
QString NameWithoutCommas(const QString& name)
{
    QString out = name;
    out.replace(u',', u' ');
    return out.trimmed();
}

// A name alone, as written when there is no usable address: no "/", "<", ">".
QString NameOnly(const QString& name)
{
    QString out = NameWithoutCommas(name);
    out.remove(u'/');
    out.remove(u'<');
    out.remove(u'>');
    out.remove(u':');
    out.remove(u';');
    return out.trimmed();
}

// Stands in for the address of a person the mailbox names but holds no
// address for. An empty address ("Name <>") is dropped whole by some readers
// and an empty group ("Name:;") is not a mailbox at all (and not allowed in
// From); a mailbox in the reserved ".invalid" domain keeps the name in every
// reader and can never be mistaken for a real address.
constexpr const char* kNoAddress = "no-address@unknown.invalid";

}  // namespace

// A value from the mailbox on its way into a header: line breaks and other
// control characters become spaces, so no value can end its header early,
// start another or put a blank line into the header block.
QString HeaderSafe(const QString& value)
{
    QString out = value;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0))
            c = u' ';
    }
    return out;
}

void AddAddress(InternetAddressList* list, const Mailbox& unsafeMailbox)
{
    const Mailbox mailbox{HeaderSafe(unsafeMailbox.name), HeaderSafe(unsafeMailbox.address)};
    InternetAddress* address = nullptr;
    if (const std::optional<AddrSpec> written = mailbox.addrSpec()) {
        const QString name = NameWithoutCommas(mailbox.name);
        address = internet_address_mailbox_new(name.isEmpty() ? nullptr : U8(name).constData(),
                                               U8(written->text()).constData());
    } else {
        const QString name = NameOnly(mailbox.name);
        if (name.isEmpty())
            return;
        address = internet_address_mailbox_new(U8(name).constData(), kNoAddress);
    }
    internet_address_list_add(list, address);
    g_object_unref(address);
}

// Qt's check, which takes ASCII many bytes at a time. (It also lets NUL
// through, which GLib's does not; a text with NULs comes out the same either
// way, as decoding and encoding again keeps them.)
bool IsValidUtf8(const QByteArray& bytes)
{
    return QByteArrayView(bytes).isValidUtf8();
}

bool IsPlainAscii(const QByteArray& bytes)
{
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x7F || (u < 0x20 && u != '\t'))
            return false;
    }
    return true;
}

}  // namespace tolvane
