// The manual pages (packaging/man/*.scd) and the bash completion of
// tolvane-cli against the programs' own --help: every option a help text
// prints must be documented as an option in the page (in bold, as scdoc
// writes options), every command and every exit status too; tolvane-cli's
// options and commands must also be offered by the completion. A new option
// added to a --help without its page fails here.
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct HelpCase {
    const char* name;     // test name
    const char* program;  // below the build's bin/
    QStringList arguments;
    const char* manPage;  // below packaging/man/
    bool completion;      // tolvane-cli: the completion offers the same words
};

void PrintTo(const HelpCase& helpCase, std::ostream* out)
{
    *out << helpCase.name;
}

QString SourceFile(const QString& relativePath)
{
    QFile file(QStringLiteral(TOLVANE_SOURCE_DIR "/") + relativePath);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

// What the program printed for its help (mkpst prints it on stderr).
QString HelpText(const HelpCase& helpCase, int* exitCode)
{
    QProcess process;
    process.start(QStringLiteral(TOLVANE_BIN_DIR "/") + QLatin1String(helpCase.program), helpCase.arguments);
    if (!process.waitForFinished(60000))
        return QString();
    *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

// Options as the help prints them: --long-name or -x, not part of a longer word.
QStringList OptionsIn(const QString& help)
{
    static const QRegularExpression option(QStringLiteral(R"((?<![\w-])(--[a-z][a-z-]*[a-z]|-[a-z])(?![\w-]))"));
    QSet<QString> found;
    for (auto match = option.globalMatch(help); match.hasNext();)
        found.insert(match.next().captured(1));
    QStringList sorted(found.begin(), found.end());
    sorted.sort();
    return sorted;
}

// The statuses of an "Exit status" paragraph: "Exit status: 0 done, 1 ..., 128+N ...".
QStringList ExitStatusesIn(const QString& help)
{
    const qsizetype start = help.indexOf(QStringLiteral("Exit status"));
    if (start < 0)
        return {};
    qsizetype end = help.indexOf(QStringLiteral("\n\n"), start);
    const QString paragraph = help.mid(start, end < 0 ? -1 : end - start);
    static const QRegularExpression status(QStringLiteral(R"((?:^Exit status:?|[,:]|\n)\s*(\d+|128\+N) (?=[a-z(]))"));
    QStringList found;
    for (auto match = status.globalMatch(paragraph); match.hasNext();)
        found.append(match.next().captured(1));
    found.removeDuplicates();
    return found;
}

// The commands listed under "Commands:" of tolvane-cli's own help.
QStringList CommandsIn(const QString& help)
{
    static const QRegularExpression command(QStringLiteral(R"(^  ([a-z]+) )"),
                                            QRegularExpression::MultilineOption);
    const qsizetype start = help.indexOf(QStringLiteral("Commands:\n"));
    if (start < 0)
        return {};
    const qsizetype end = help.indexOf(QStringLiteral("\n\n"), start);
    QStringList found;
    for (auto match = command.globalMatch(help.mid(start, end - start)); match.hasNext();)
        found.append(match.next().captured(1));
    return found;
}

class HelpDocumentationTest : public ::testing::TestWithParam<HelpCase> {};

TEST_P(HelpDocumentationTest, ManPageAndCompletionNameWhatHelpPrints)
{
    const HelpCase& helpCase = GetParam();
    if (!QFileInfo::exists(QStringLiteral(TOLVANE_BIN_DIR "/") + QLatin1String(helpCase.program)))
        GTEST_SKIP() << helpCase.program << " is not part of this build";
    int exitCode = -1;
    const QString help = HelpText(helpCase, &exitCode);
    ASSERT_EQ(exitCode, 0) << helpCase.program << " " << qPrintable(helpCase.arguments.join(u' '));

    const QString page = SourceFile(QStringLiteral("packaging/man/") + QLatin1String(helpCase.manPage));
    ASSERT_FALSE(page.isEmpty()) << "no manual page source " << helpCase.manPage;
    const QString completion =
        helpCase.completion ? SourceFile(QStringLiteral("packaging/tolvane-cli.bash-completion")) : QString();
    ASSERT_TRUE(!helpCase.completion || !completion.isEmpty()) << "no bash completion source";

    const QStringList options = OptionsIn(help);
    const QStringList statuses = ExitStatusesIn(help);
    ASSERT_FALSE(options.isEmpty() && statuses.isEmpty())
        << "neither options nor exit statuses found in the help text:\n" << qPrintable(help);
    for (const QString& option : options) {
        EXPECT_TRUE(page.contains(u'*' + option + u'*'))
            << helpCase.manPage << " does not document " << qPrintable(option) << " (as *" << qPrintable(option)
            << "*)";
        if (helpCase.completion && option.startsWith(QStringLiteral("--"))) {
            EXPECT_TRUE(completion.contains(option)) << "the bash completion does not offer " << qPrintable(option);
        }
    }
    for (const QString& status : statuses) {
        EXPECT_TRUE(page.contains(QStringLiteral("\n*") + status + QStringLiteral("*\n")))
            << helpCase.manPage << " has no entry for exit status " << qPrintable(status);
    }
    for (const QString& command : CommandsIn(help)) {
        EXPECT_TRUE(page.contains(QStringLiteral("\n*") + command + QStringLiteral("* ")))
            << helpCase.manPage << " does not describe the command " << qPrintable(command);
        EXPECT_TRUE(completion.contains(command)) << "the bash completion does not offer " << qPrintable(command);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Programs, HelpDocumentationTest,
    ::testing::Values(HelpCase{"cli", "tolvane-cli", {QStringLiteral("--help")}, "tolvane-cli.1.scd", true},
                      HelpCase{"cli_scan", "tolvane-cli", {QStringLiteral("scan"), QStringLiteral("--help")},
                               "tolvane-cli.1.scd", true},
                      HelpCase{"cli_convert", "tolvane-cli", {QStringLiteral("convert"), QStringLiteral("--help")},
                               "tolvane-cli.1.scd", true},
                      HelpCase{"cli_verify", "tolvane-cli", {QStringLiteral("verify"), QStringLiteral("--help")},
                               "tolvane-cli.1.scd", true},
                      HelpCase{"window", "tolvane", {QStringLiteral("--help")}, "tolvane.1.scd", false},
                      HelpCase{"mkpst", "mkpst", {QStringLiteral("--help")}, "mkpst.1.scd", false}),
    [](const ::testing::TestParamInfo<HelpCase>& info) { return std::string(info.param.name); });

// The parsing above must find what a help text holds, or the test would pass on nothing.
TEST(HelpDocumentationParsing, FindsOptionsStatusesAndCommands)
{
    const QString help = QStringLiteral(
        "Usage: x [--json | --paths] FILE\n\nCommands:\n  scan [--json] FILE  scan it\n  verify DIR          check\n\n"
        "  --from-records  keep, not one-off or x--y\n  -h  help\n\n"
        "Exit status: 0 done, 1 the file cannot be opened (the reason is\nprinted), 2 usage error,\n"
        "128+N stopped by signal N. With several files, the highest status of SHA-256 any.\n");
    EXPECT_EQ(OptionsIn(help), (QStringList{"--from-records", "--json", "--paths", "-h"}));
    EXPECT_EQ(ExitStatusesIn(help), (QStringList{"0", "1", "2", "128+N"}));
    EXPECT_EQ(CommandsIn(help), (QStringList{"scan", "verify"}));
}

}  // namespace
