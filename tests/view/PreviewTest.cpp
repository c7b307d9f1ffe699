// Preview pages and files: labels' texts, page entries, escaping, file bytes,
// and the browser view showing a UTF-16LE file.
#include "CExplorer1.h"
#include "GuiTestSupport.h"
#include "PreviewPages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

QByteArray Utf16Le(const QString& text)
{
    QByteArray bytes;
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(PreviewPagesTest, MailFileNameFollowsTheBodyKindAndLabelsDropTheAttachmentFolder)
{
    MailRecord mail;
    mail.bodyKind = 0;
    EXPECT_EQ(MailPreviewFileName(mail), QStringLiteral("temp.txt"));
    mail.bodyKind = 1;
    EXPECT_EQ(MailPreviewFileName(mail), QStringLiteral("temp.txt"));
    mail.bodyKind = 2;
    EXPECT_EQ(MailPreviewFileName(mail), QStringLiteral("temp.html"));
    mail.attachments = QStringLiteral("/tmp/t/Attachments/a.pdf ;/tmp/t/Attachments/b.txt ;");
    EXPECT_EQ(AttachmentLabelText(mail, QStringLiteral("/tmp/t/")), QStringLiteral("a.pdf ;b.txt ;"));
    mail.attachments = QString();
    EXPECT_TRUE(AttachmentLabelText(mail, QStringLiteral("/tmp/t/")).isEmpty());
}

TEST(PreviewPagesTest, ContactPageListsPresentFieldsInOrderAndEscapesValues)
{
    ContactRecord contact;
    EXPECT_TRUE(ContactPreviewPage(contact).isEmpty());
    contact.surname = QStringLiteral("Lund");
    contact.givenName = QStringLiteral("Bo <script>alert(1)</script>");
    contact.nickname = QStringLiteral("B & B");
    contact.isdnNumber = QString(u""_qs);  // present but empty still gives an entry
    EXPECT_EQ(ContactPreviewPage(contact),
              QStringLiteral("<b>First Name :</b> Bo &lt;script&gt;alert(1)&lt;/script&gt;<br>"
                             "<b>isdn phone :</b> <br>"
                             "<b>Nickname:</b> B &amp; B<br>"
                             "<b>Surname :</b> Lund<br>"));
}

TEST(PreviewPagesTest, AppointmentPageAlwaysHasThreeEntries)
{
    AppointmentRecord appointment;
    appointment.startTime = QStringLiteral("Mar 05, 2011 09:07:00");
    EXPECT_EQ(AppointmentPreviewPage(appointment),
              QStringLiteral("<b>Start :</b>Mar 05, 2011 09:07:00<BR><b>End :</b><BR><b>Location :</b><BR>"));
    appointment.location = QStringLiteral("<img src=x>");
    EXPECT_TRUE(AppointmentPreviewPage(appointment).endsWith(QStringLiteral("&lt;img src=x&gt;<BR>")));
}

TEST(PreviewFileTest, WritesUtf16LittleEndianWithoutByteOrderMarkOverReadOnlyFiles)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("temp.html"));
    const QString text = QStringLiteral("Grüße 日本 \U0001F600");
    ASSERT_TRUE(WritePreviewFile(path, QStringLiteral("an older and longer page text")));
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    ASSERT_TRUE(WritePreviewFile(path, text));
    EXPECT_EQ(ReadAll(path), Utf16Le(text));
    ASSERT_TRUE(WritePreviewFile(path, QString()));
    EXPECT_TRUE(ReadAll(path).isEmpty());
    EXPECT_FALSE(WritePreviewFile(dir.filePath(QStringLiteral("missing/temp.txt")), text));
    EXPECT_FALSE(PreviewDirectory().isEmpty());
    EXPECT_TRUE(PreviewDirectory().endsWith(QLatin1Char('/')));
}

QString PageText(CExplorer1& browser)
{
    QString text;
    bool done = false;
    browser.webView()->page()->toPlainText([&](const QString& result) {
        text = result;
        done = true;
    });
    testing::WaitUntil([&] { return done; });
    return text;
}

TEST(CExplorer1Test, ShowsUtf16PreviewFilesWithoutScriptsOrRemoteContent)
{
    QTemporaryDir dir;
    CExplorer1 browser;
    browser.resize(400, 300);
    browser.show();
    int loads = 0;
    QObject::connect(&browser, &CExplorer1::loadFinished, [&](bool) { ++loads; });

    const QString html = dir.filePath(QStringLiteral("temp.html"));
    ASSERT_TRUE(WritePreviewFile(html, QStringLiteral("<p>Grüße aus Köln 日本</p>"
                                                      "<script>document.title='ran'</script>"
                                                      "<img src=\"http://127.0.0.1:9/track.gif\">")));
    browser.Navigate(html);
    ASSERT_TRUE(testing::WaitUntil([&] { return loads >= 1; }));
    EXPECT_EQ(PageText(browser).trimmed(), QStringLiteral("Grüße aus Köln 日本"));
    EXPECT_NE(browser.webView()->page()->title(), QStringLiteral("ran"));

    const QString txt = dir.filePath(QStringLiteral("temp.txt"));
    ASSERT_TRUE(WritePreviewFile(txt, QStringLiteral("{\\rtf1 <b>not bold</b> ĳ")));
    browser.Navigate(txt);
    ASSERT_TRUE(testing::WaitUntil([&] { return loads >= 2; }));
    EXPECT_EQ(PageText(browser).trimmed(), QStringLiteral("{\\rtf1 <b>not bold</b> ĳ"));
    EXPECT_EQ(browser.currentTarget(), txt);
}

}  // namespace
}  // namespace tolvane
