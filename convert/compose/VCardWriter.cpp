// vCard 4.0 composition. Values are escaped as text values; every line is
// folded without splitting a UTF-8 sequence.
#include "convert/compose/VCardWriter.h"

#include <QUuid>

namespace tolvane {

namespace {

QString Escape(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == u'\\')
            out += QLatin1String("\\\\");
        else if (c == u',')
            out += QLatin1String("\\,");
        else if (c == u';')
            out += QLatin1String("\\;");
        else if (c == u'\r') {
            if (i + 1 < value.size() && value.at(i + 1) == u'\n')
                ++i;
            out += QLatin1String("\\n");
        } else if (c == u'\n')
            out += QLatin1String("\\n");
        else if (c.unicode() < 0x20 && c != u'\t')
            continue;
        else
            out += c;
    }
    return out;
}

bool Has(const QString& value)
{
    return !value.isNull() && !value.trimmed().isEmpty();
}

class VCardBuilder {
public:
    void Line(const QString& nameAndParameters, const QString& escapedValue)
    {
        Fold((nameAndParameters + u':' + escapedValue).toUtf8());
    }
    void Text(const char* name, const QString& value)
    {
        if (Has(value))
            Line(QString::fromLatin1(name), Escape(value.trimmed()));
    }
    // Structured value: components escaped one by one, joined by ';'.
    void Structured(const QString& nameAndParameters, const QStringList& components)
    {
        bool any = false;
        QStringList escaped;
        for (const QString& component : components) {
            any = any || Has(component);
            escaped << (Has(component) ? Escape(component.trimmed()) : QString());
        }
        if (any)
            Line(nameAndParameters, escaped.join(u';'));
    }
    QByteArray take() { return out_; }

private:
    void Fold(const QByteArray& line)
    {
        qsizetype start = 0;
        int limit = 75;
        while (line.size() - start > limit) {
            qsizetype cut = start + limit;
            while (cut > start && (static_cast<unsigned char>(line.at(cut)) & 0xC0) == 0x80)
                --cut;
            out_ += line.mid(start, cut - start);
            out_ += "\r\n ";
            start = cut;
            limit = 74;  // the leading space of a continuation line counts
        }
        out_ += line.mid(start);
        out_ += "\r\n";
    }
    QByteArray out_;
};

}  // namespace

QString ContactNameText(const ContactRecord& contact)
{
    QStringList parts;
    if (Has(contact.givenName))
        parts << contact.givenName.trimmed();
    if (Has(contact.surname))
        parts << contact.surname.trimmed();
    if (!parts.isEmpty())
        return parts.join(u' ');
    if (Has(contact.fileUnder))
        return contact.fileUnder.trimmed();
    if (Has(contact.companyName))
        return contact.companyName.trimmed();
    return QStringLiteral("Contact");
}

QString FormattedContactName(const ContactRecord& c, const ContactDetails& details)
{
    if (Has(details.displayName))
        return details.displayName.trimmed();
    QStringList parts;
    for (const QString& part : {details.namePrefix, c.givenName, c.middleName, c.surname, c.generation}) {
        if (Has(part))
            parts << part.trimmed();
    }
    if (!parts.isEmpty())
        return parts.join(u' ');
    // Mailboxes hold contacts without any name; a card needs one all the same.
    for (const QString& other : {c.companyName, details.emails.value(0), c.fileUnder, c.nickname}) {
        if (Has(other))
            return other.trimmed();
    }
    return QStringLiteral("Contact");
}

QByteArray ComposeVCard(const ContactRecord& c, const ContactDetails& details)
{
    const QStringList& emails = details.emails;
    VCardBuilder card;
    card.Line(QStringLiteral("BEGIN"), QStringLiteral("VCARD"));
    card.Line(QStringLiteral("VERSION"), QStringLiteral("4.0"));
    card.Line(QStringLiteral("FN"), Escape(FormattedContactName(c, details)));
    if (!details.uid.isEmpty())
        card.Line(QStringLiteral("UID"), details.uid);  // a URI: nothing in it to escape
    card.Structured(QStringLiteral("N"), {c.surname, c.givenName, c.middleName, details.namePrefix, c.generation});
    card.Text("NICKNAME", c.nickname);
    card.Structured(QStringLiteral("ORG"), {c.companyName, c.department});
    card.Text("TITLE", c.title);
    card.Text("ROLE", c.profession);
    // With more than one address, the first slot is the one to write to.
    for (qsizetype i = 0; i < emails.size(); ++i)
        card.Text(i == 0 && emails.size() > 1 ? "EMAIL;PREF=1" : "EMAIL", emails[i]);
    const struct {
        const char* line;
        const QString& value;
    } phones[] = {
        {"TEL;TYPE=work,voice", c.businessPhone}, {"TEL;TYPE=home,voice", c.homePhone},
        {"TEL;TYPE=cell", c.mobilePhone},         {"TEL;TYPE=work,fax", c.businessFax},
        {"TEL;TYPE=home,fax", c.homeFax},         {"TEL;TYPE=pager", c.pager},
        {"TEL;TYPE=voice", c.otherTelephone},     {"TEL;TYPE=home,voice", c.home2Phone},
        {"TEL;TYPE=voice", c.companyMainPhone},   {"TEL;TYPE=voice", c.callbackPhone},
        {"TEL;TYPE=voice", c.carPhone},           {"TEL;TYPE=voice", c.radioPhone},
        {"TEL;TYPE=voice", c.isdnNumber},         {"TEL;TYPE=voice", c.assistantPhone},
        {"TEL;TYPE=textphone", c.ttyTddPhone},    {"TEL;TYPE=voice", c.telexNumber},
    };
    QStringList phonesWritten;
    for (const auto& phone : phones) {
        if (!Has(phone.value) || phonesWritten.contains(phone.value.trimmed()))
            continue;  // the second mobile slot reads the same property as the first
        phonesWritten << phone.value.trimmed();
        card.Text(phone.line, phone.value);
    }
    if (Has(c.mobilePhone2) && !phonesWritten.contains(c.mobilePhone2.trimmed()))
        card.Text("TEL;TYPE=cell", c.mobilePhone2);
    if (!details.addresses.isEmpty()) {
        for (const PostalAddress& address : details.addresses) {
            QString name = QStringLiteral("ADR");
            if (address.kind == PostalAddress::Kind::Home)
                name += QLatin1String(";TYPE=home");
            else if (address.kind == PostalAddress::Kind::Work)
                name += QLatin1String(";TYPE=work");
            if (address.preferred)
                name += QLatin1String(";PREF=1");
            card.Structured(name, {address.postOfficeBox, QString(), address.street, address.city, address.region,
                                   address.postalCode, address.country});
        }
    } else {
        card.Structured(QStringLiteral("ADR;TYPE=home"),
                        {QString(), QString(), Has(c.homeStreet) ? c.homeStreet : c.homeAddress, c.homeCity,
                         c.homeState, c.homePostalCode, c.homeCountry});
        card.Structured(QStringLiteral("ADR"), {QString(), QString(), c.otherStreet, c.otherCity, c.otherState,
                                                c.otherPostalCode, c.otherCountry});
    }
    card.Text("URL;TYPE=home", c.personalHomePage);
    card.Text("URL;TYPE=work", c.businessHomePage);
    // A date when the mailbox holds one, else the record's text as it was.
    if (details.birthday)
        card.Line(QStringLiteral("BDAY"), details.birthday->toString(QStringLiteral("yyyyMMdd")));
    else
        card.Text("BDAY;VALUE=text", c.birthday);
    if (details.anniversary)
        card.Line(QStringLiteral("ANNIVERSARY"), details.anniversary->toString(QStringLiteral("yyyyMMdd")));
    else
        card.Text("ANNIVERSARY;VALUE=text", c.weddingAnniversary);
    if (!details.categories.isEmpty()) {
        QStringList escaped;
        for (const QString& category : details.categories)
            escaped << Escape(category.trimmed());
        card.Line(QStringLiteral("CATEGORIES"), escaped.join(u','));
    }
    card.Text("LANG", c.language);
    card.Text("RELATED;TYPE=spouse;VALUE=text", c.spouseName);
    card.Text("RELATED;TYPE=agent;VALUE=text", c.assistant);
    card.Text("X-MANAGER", c.managerName);
    card.Text("X-OFFICE-LOCATION", c.officeLocation);
    card.Text("X-HOBBIES", c.hobbies);
    card.Text("X-CUSTOMER-ID", c.customerId);
    card.Text("X-GOVERNMENT-ID", c.governmentId);
    card.Text("X-ORGANIZATIONAL-ID", c.organizationalId);
    card.Text("X-ACCOUNT", c.account);
    card.Text("X-FILE-AS", c.fileUnder);
    card.Text("X-FORMER-NAME", c.formerDisplayName);
    card.Text("X-GENDER-TEXT", c.gender);
    card.Text("NOTE", c.notes);
    if (!details.photo.isEmpty()) {
        // A data URI (RFC 2397): base64 has nothing a URI value must escape.
        const QString type = details.photoType.isEmpty() ? QStringLiteral("application/octet-stream")
                                                         : details.photoType;
        card.Line(QStringLiteral("PHOTO"),
                  QStringLiteral("data:%1;base64,%2").arg(type, QString::fromLatin1(details.photo.toBase64())));
    }
    card.Line(QStringLiteral("END"), QStringLiteral("VCARD"));
    return card.take();
}

QByteArray ComposeGroupCard(const DistributionListContent& list)
{
    VCardBuilder card;
    card.Line(QStringLiteral("BEGIN"), QStringLiteral("VCARD"));
    card.Line(QStringLiteral("VERSION"), QStringLiteral("4.0"));
    card.Line(QStringLiteral("KIND"), QStringLiteral("group"));
    card.Line(QStringLiteral("FN"), Escape(Has(list.name) ? list.name.trimmed() : QStringLiteral("Distribution list")));
    if (!list.uid.isEmpty())
        card.Line(QStringLiteral("UID"), list.uid);  // a URI: nothing in it to escape
    for (const DistributionListContent::Member& member : list.members) {
        // URI values: the UID, or only the address, which carries no
        // character that needs escaping.
        if (!member.contactUid.isEmpty())
            card.Line(QStringLiteral("MEMBER"), member.contactUid);
        else if (!member.mailbox.address.trimmed().isEmpty())
            card.Line(QStringLiteral("MEMBER"), QStringLiteral("mailto:") + member.mailbox.address.trimmed());
    }
    card.Text("NOTE", list.notes);
    card.Line(QStringLiteral("END"), QStringLiteral("VCARD"));
    return card.take();
}

}  // namespace tolvane
