// The per-process temporary directory: one of its own for every owner, gone
// with its owner, and the leftovers of dead processes swept at start without
// touching a running process's directory or following a link.
#include "base/ProcessTempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tolvane {
namespace {

bool WriteFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
}

// A pid that no process has any more: a child that has ended and been reaped.
pid_t DeadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

// Points TMPDIR at a scratch directory for the test, so the per-user
// directory below it is the test's own.
class ProcessTempDirTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scratch_.isValid());
        previous_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(scratch_.path()));
    }
    void TearDown() override
    {
        if (previous_.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", previous_);
    }
    QString userDirectory() const { return scratch_.path() + QStringLiteral("/tolvane-%1").arg(::geteuid()); }
    QString outside() const { return scratch_.path() + QStringLiteral("/outside"); }
    QString scratch() const { return scratch_.path(); }

private:
    QTemporaryDir scratch_;
    QByteArray previous_;
};

TEST_F(ProcessTempDirTest, TwoOwnersGetDifferentPrivateDirectoriesNamedByPid)
{
    const ProcessTempDir first;
    const ProcessTempDir second;
    ASSERT_TRUE(first.path().has_value()) << first.path().error().reason.toStdString();
    ASSERT_TRUE(second.path().has_value()) << second.path().error().reason.toStdString();
    EXPECT_NE(*first.path(), *second.path());
    const QRegularExpression name(QStringLiteral("^%1-[A-Za-z0-9]+$").arg(::getpid()));
    for (const ProcessTempDir* owner : {&first, &second}) {
        const QFileInfo info(*owner->path());
        EXPECT_EQ(info.absolutePath(), userDirectory());
        EXPECT_TRUE(name.match(info.fileName()).hasMatch()) << info.fileName().toStdString();
        struct stat status {};
        ASSERT_EQ(::lstat(QFile::encodeName(*owner->path()).constData(), &status), 0);
        EXPECT_TRUE(S_ISDIR(status.st_mode));
        EXPECT_EQ(status.st_mode & 0777, 0700u);
    }
}

TEST_F(ProcessTempDirTest, TheOwnerRemovesItsDirectoryButNothingALinkPointsTo)
{
    ASSERT_TRUE(QDir().mkpath(outside()));
    ASSERT_TRUE(WriteFile(outside() + QStringLiteral("/kept.txt")));
    QString path;
    {
        const ProcessTempDir owner;
        ASSERT_TRUE(owner.path().has_value()) << owner.path().error().reason.toStdString();
        path = *owner.path();
        const QString attachments = path + QStringLiteral("/Attachments");
        ASSERT_TRUE(QDir().mkpath(attachments + QStringLiteral("/inner")));
        ASSERT_TRUE(WriteFile(attachments + QStringLiteral("/inner/a.txt")));
        ASSERT_TRUE(WriteFile(path + QStringLiteral("/temp.html")));
        ASSERT_TRUE(QFile::link(outside(), attachments + QStringLiteral("/link")));
    }
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(QFileInfo::exists(userDirectory()));
    EXPECT_TRUE(QFileInfo::exists(outside() + QStringLiteral("/kept.txt")));
}

TEST_F(ProcessTempDirTest, RemoveEmptiesAtOnceAndTheOwnerThenHasNothingLeftToDo)
{
    ProcessTempDir owner;
    ASSERT_TRUE(owner.path().has_value()) << owner.path().error().reason.toStdString();
    ASSERT_TRUE(WriteFile(*owner.path() + QStringLiteral("/temp.txt")));
    owner.Remove();
    EXPECT_FALSE(QFileInfo::exists(*owner.path()));
    // A later directory of the same name is not the owner's to remove again.
    ASSERT_TRUE(QDir().mkpath(*owner.path()));
    owner.Remove();
    EXPECT_TRUE(QFileInfo::exists(*owner.path()));
}

TEST_F(ProcessTempDirTest, StartRemovesOnlyTheDirectoriesOfDeadProcesses)
{
    const QString dead = QString::number(DeadPid());
    const QString live = QString::number(::getpid());
    ASSERT_TRUE(QDir().mkpath(userDirectory()));
    ASSERT_TRUE(QDir().mkpath(outside()));
    ASSERT_TRUE(WriteFile(outside() + QStringLiteral("/kept.txt")));
    const struct {
        const char* what;
        QString name;
        bool stays;
    } entries[] = {
        {"a dead process's directory", dead + QStringLiteral("-aB3dE9"), false},
        {"our own directory", live + QStringLiteral("-Xy12Z3"), true},
        {"a running process's directory", QString::number(::getppid()) + QStringLiteral("-Pq45R6"), true},
        {"a link in a dead process's name", dead + QStringLiteral("-link00"), true},
        {"a file in a dead process's name", dead + QStringLiteral("-file00"), true},
        {"another name", QStringLiteral("Attachments"), true},
        {"a name with a dot", dead + QStringLiteral("-ab.cd"), true},
    };
    for (const auto& entry : entries) {
        const QString path = userDirectory() + u'/' + entry.name;
        if (entry.name.endsWith(QStringLiteral("link00"))) {
            ASSERT_TRUE(QFile::link(outside(), path));
        } else if (entry.name.endsWith(QStringLiteral("file00"))) {
            ASSERT_TRUE(WriteFile(path));
        } else {
            ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/Attachments")));
            ASSERT_TRUE(WriteFile(path + QStringLiteral("/Attachments/a.txt")));
        }
    }

    const ProcessTempDir owner;
    ASSERT_TRUE(owner.path().has_value()) << owner.path().error().reason.toStdString();
    for (const auto& entry : entries) {
        const QFileInfo info(userDirectory() + u'/' + entry.name);
        EXPECT_EQ(info.exists() || info.isSymLink(), entry.stays) << entry.what;
    }
    EXPECT_TRUE(QFileInfo::exists(outside() + QStringLiteral("/kept.txt")));
}

// Whatever stands in the per-user directory's way: no directory, the kind a
// caller acts on and the words the user is shown.
TEST_F(ProcessTempDirTest, ARefusedUserDirectoryGivesItsKindAndItsReason)
{
    ASSERT_TRUE(QDir().mkpath(outside()));
    const struct {
        const char* what;
        std::function<bool()> prepare;
        SystemErrorKind kind;
        const char* reasonHas;
        bool needsPermissions;  // root is never refused
    } cases[] = {
        {"a link", [&] { return QFile::link(outside(), userDirectory()); }, SystemErrorKind::Other,
         "is not a plain directory", false},
        {"a file", [&] { return WriteFile(userDirectory()); }, SystemErrorKind::Other, "is not a plain directory", false},
        {"a parent that takes no new entries", [&] { return ::chmod(QFile::encodeName(scratch()).constData(), 0500) == 0; },
         SystemErrorKind::Denied, "cannot create", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsPermissions && ::geteuid() == 0)
            continue;
        ASSERT_TRUE(c.prepare());
        {
            const ProcessTempDir owner;
            ASSERT_FALSE(owner.path().has_value());
            EXPECT_EQ(owner.path().error().kind, c.kind);
            EXPECT_TRUE(owner.path().error().reason.contains(QLatin1String(c.reasonHas)))
                << owner.path().error().reason.toStdString();
        }
        ASSERT_EQ(::chmod(QFile::encodeName(scratch()).constData(), 0700), 0);
        QFile::remove(userDirectory());
    }
}

}  // namespace
}  // namespace tolvane
