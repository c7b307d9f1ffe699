// Preview pages and preview files.
#include "view/PreviewPages.h"

#include <QFile>

#include "view/ContactPreviewFields.h"
#include "base/ProcessTempDir.h"
#include "frontend/RecordText.h"

namespace tolvane {

QString MailPreviewFileName(const MailRecord& record)
{
    return record.bodyKind == BodyKind::Html ? QStringLiteral("temp.html") : QStringLiteral("temp.txt");
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
    QString text = RecordText::Attachments(record);
    text.remove(tempDir + QStringLiteral("Attachments/"));
    return text;
}

QString ContactPreviewPage(const ContactRecord& record)
{
    QString page;
    for (const ContactPreviewField& field : ContactPreviewFields()) {
        const QString& value = record.*(field.member);
        if (value.isNull())
            continue;
        page += QLatin1String(field.label);
        page += value.toHtmlEscaped();
        page += QLatin1String("<br>");
    }
    return page;
}

QString AppointmentPreviewPage(const AppointmentRecord& record)
{
    return QStringLiteral("<b>Start :</b>") + RecordText::StartTime(record).toHtmlEscaped() + QStringLiteral("<BR>")
         + QStringLiteral("<b>End :</b>") + RecordText::EndTime(record).toHtmlEscaped() + QStringLiteral("<BR>")
         + QStringLiteral("<b>Location :</b>") + RecordText::Location(record).toHtmlEscaped()
         + QStringLiteral("<BR>");
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
    const Expected<QString, SystemError>& dir = tempDir.path();
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
