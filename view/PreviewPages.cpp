// Preview pages and preview files.
#include "PreviewPages.h"

#include <QFile>

#include "ProcessTempDir.h"

namespace tolvane {

namespace {

struct ContactEntry {
    const char* label;
    QString ContactRecord::*field;
};

// Labels as users of the program know them; note the two without a blank
// before the colon and the lower-case isdn entry.
const ContactEntry contactEntries[] = {
    {"<b>First Name :</b> ", &ContactRecord::givenName},
    {"<b>Last Name :</b> ", &ContactRecord::middleName},
    {"<b>Assistant Name :</b> ", &ContactRecord::assistant},
    {"<b>Assistant Phone :</b> ", &ContactRecord::assistantPhone},
    {"<b>Body :</b> ", &ContactRecord::notes},
    {"<b>Business Address :</b> ", &ContactRecord::spareText8},
    {"<b>Business City :</b> ", &ContactRecord::spareText3},
    {"<b>Business Country :</b> ", &ContactRecord::spareText4},
    {"<b>Business Fax :</b> ", &ContactRecord::businessFax},
    {"<b>Business HomePage :</b> ", &ContactRecord::businessHomePage},
    {"<b>Business Phone :</b> ", &ContactRecord::businessPhone},
    {"<b>Business Phone 2 :</b> ", &ContactRecord::spareText9},
    {"<b>Business Postal Code :</b> ", &ContactRecord::spareText7},
    {"<b>Business State :</b> ", &ContactRecord::spareText5},
    {"<b>Business Street :</b> ", &ContactRecord::spareText6},
    {"<b>Car Phone :</b> ", &ContactRecord::carPhone},
    {"<b>Company Main Phone :</b> ", &ContactRecord::companyMainPhone},
    {"<b>Company Name :</b> ", &ContactRecord::companyName},
    {"<b>Customer Id :</b> ", &ContactRecord::customerId},
    {"<b>Postal Address :</b> ", &ContactRecord::spareText1},
    {"<b>Department :</b> ", &ContactRecord::department},
    {"<b>Display Name Prefix :</b> ", &ContactRecord::formerDisplayName},
    {"<b>Free Busy Address :</b> ", &ContactRecord::spareText10},
    {"<b>Fullname :</b> ", &ContactRecord::fullName},
    {"<b>Gov Id :</b> ", &ContactRecord::governmentId},
    {"<b>Hobbies :</b> ", &ContactRecord::hobbies},
    {"<b>Home Address :</b> ", &ContactRecord::homeStreet},
    {"<b>Home City :</b> ", &ContactRecord::homeCity},
    {"<b>Home Country :</b> ", &ContactRecord::homeCountry},
    {"<b>Home Fax :</b> ", &ContactRecord::homeFax},
    {"<b>Home Phone :</b> ", &ContactRecord::homePhone},
    {"<b>Home Phone2 :</b> ", &ContactRecord::home2Phone},
    {"<b>Home State :</b> ", &ContactRecord::homeState},
    {"<b>Home Street :</b> ", &ContactRecord::homeAddress},
    {"<b>isdn phone :</b> ", &ContactRecord::isdnNumber},
    {"<b>Language :</b> ", &ContactRecord::language},
    {"<b>Manager Name :</b> ", &ContactRecord::managerName},
    {"<b>Mileage :</b> ", &ContactRecord::mobilePhone2},
    {"<b>Mobile Phone :</b> ", &ContactRecord::mobilePhone},
    {"<b>Nickname:</b> ", &ContactRecord::nickname},
    {"<b>Office Location :</b> ", &ContactRecord::officeLocation},
    {"<b>Other City :</b> ", &ContactRecord::otherCity},
    {"<b>Other Country :</b> ", &ContactRecord::otherCountry},
    {"<b>Other State :</b> ", &ContactRecord::otherState},
    {"<b>Other Street :</b> ", &ContactRecord::otherStreet},
    {"<b>Personal Homepage:</b> ", &ContactRecord::personalHomePage},
    {"<b>Profession :</b> ", &ContactRecord::profession},
    {"<b>Radio Phone :</b> ", &ContactRecord::radioPhone},
    {"<b>Spouse Name :</b> ", &ContactRecord::spouseName},
    {"<b>Suffix :</b> ", &ContactRecord::generation},
    {"<b>Surname :</b> ", &ContactRecord::surname},
    {"<b>Telex :</b> ", &ContactRecord::telexNumber},
    {"<b>ttytdd Phone :</b> ", &ContactRecord::ttyTddPhone},
};

}  // namespace

QString MailPreviewFileName(const MailRecord& record)
{
    return (record.bodyKind == 0 || record.bodyKind == 1) ? QStringLiteral("temp.txt")
                                                          : QStringLiteral("temp.html");
}

QString MailPreviewPage(const MailRecord& record)
{
    // Plain text is shown as text: a rewritten hyphen would show there.
    if (MailPreviewFileName(record) == QStringLiteral("temp.txt"))
        return record.body.text();
    return DisarmPagePragmas(record.body.text());
}

QString DisarmPagePragmas(const QString& html)
{
    // The parser takes attribute names literally (no character references),
    // so a pragma needs these ten characters in a row; no other text can make
    // them once the hyphen is gone, and occurrences never overlap.
    static const QLatin1String pragma("http-equiv");
    static const QLatin1String hyphen("&#45;");
    QString page = html;
    qsizetype at = page.indexOf(pragma, 0, Qt::CaseInsensitive);
    while (at >= 0) {
        page.replace(at + 4, 1, hyphen);
        at = page.indexOf(pragma, at + 4 + hyphen.size(), Qt::CaseInsensitive);
    }
    return page;
}

QString AttachmentLabelText(const MailRecord& record, const QString& tempDir)
{
    QString text = record.attachments;
    if (text.isNull())
        return QString();
    text.remove(tempDir + QStringLiteral("Attachments/"));
    return text;
}

QString ContactPreviewPage(const ContactRecord& record)
{
    QString page;
    for (const ContactEntry& entry : contactEntries) {
        const QString& value = record.*(entry.field);
        if (value.isNull())
            continue;
        page += QLatin1String(entry.label);
        page += value.toHtmlEscaped();
        page += QLatin1String("<br>");
    }
    return page;
}

QString AppointmentPreviewPage(const AppointmentRecord& record)
{
    return QStringLiteral("<b>Start :</b>") + record.startTime.toHtmlEscaped() + QStringLiteral("<BR>")
         + QStringLiteral("<b>End :</b>") + record.endTime.toHtmlEscaped() + QStringLiteral("<BR>")
         + QStringLiteral("<b>Location :</b>") + record.location.toHtmlEscaped() + QStringLiteral("<BR>");
}

bool WritePreviewFile(const QString& path, const QString& text)
{
    QFile file(path);
    if (file.exists())
        file.setPermissions(file.permissions() | QFileDevice::WriteOwner);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (QChar unit : text) {
        const char16_t code = unit.unicode();
        bytes.append(static_cast<char>(code & 0xFF));
        bytes.append(static_cast<char>(code >> 8));
    }
    const bool written = file.write(bytes) == bytes.size();
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

QString PreviewDirectory(const ProcessTempDir& tempDir)
{
    const std::optional<QString>& dir = tempDir.path();
    if (!dir || dir->isEmpty())
        return QString();
    return dir->endsWith(QLatin1Char('/')) ? *dir : *dir + QLatin1Char('/');
}

void RemovePreviewFiles(const QString& dir)
{
    if (dir.isEmpty())
        return;
    for (const char* name : {"temp.html", "temp.txt"})
        QFile::remove(dir + QLatin1String(name));
}

}  // namespace tolvane
