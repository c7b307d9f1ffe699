// The scan's text rules: folder-key cleaner, subject cleaning, filename
// sanitiser, flag and other words, body-size rule, export path pieces.
#include "scan/ExportHandle.h"
#include "frontend/RecordText.h"
#include "scan/ScanTexts.h"

#include <gtest/gtest.h>

using namespace tolvane;

namespace {

struct TextCase {
    const char* input;  // UTF-8
    const char* expected;
};

QString U(const char* text) { return QString::fromUtf8(text); }

class FolderKeyCleaner : public ::testing::TestWithParam<TextCase> {};

TEST_P(FolderKeyCleaner, Cleans)
{
    EXPECT_EQ(CleanFolderKey(U(GetParam().input)), U(GetParam().expected)) << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Table, FolderKeyCleaner,
    ::testing::Values(
        TextCase{"\\Top of Personal Folders\\Deleted Items", "\\Top-of-Personal-Folders\\Deleted-Items"},
        TextCase{"\\Top of Outlook data file\\Inbox", "\\Top of Outlook data file\\Inbox"},
        // The colon and the opening parenthesis go; the closing one is last and
        // occurs nowhere earlier, so it stays.
        TextCase{"Re: (Meeting)", "Re- -Meeting)"},
        // Every occurrence of a rejected character goes, the last position included.
        TextCase{"a!b!", "a-b-"},
        // A rejected character that only occurs last stays.
        TextCase{"Hello!", "Hello!"},
        TextCase{"under_score", "under-score"},
        TextCase{"[x]y", "[x-y"},
        TextCase{"a{b}c|d~e", "a-b-c-d-e"},
        TextCase{".export/x", ".export/x"},
        TextCase{"", ""},
        TextCase{"?", "?"},
        // Letters and digits of other scripts stay.
        TextCase{"Outlook データ ファイルのトップ", "Outlook データ ファイルのトップ"},
        TextCase{"Входящие №5", "Входящие -5"},
        TextCase{"Ürün Çağrı", "Ürün Çağrı"},
        // A character outside the BMP is one character: an emoji before the end goes as a whole.
        TextCase{"Hi 😀 there 😀!", "Hi - there -!"},
        TextCase{"𠀋x", "𠀋x"}));

TEST(SubjectCleaning, RemovesDoubleDashesAfterCleaning)
{
    EXPECT_EQ(CleanSubject(U("RE:: offer")), U("RE offer"));
    EXPECT_EQ(CleanSubject(U("a--b")), U("ab"));
    EXPECT_EQ(CleanSubject(U("Re: (Meeting)")), U("Re- -Meeting)"));
    EXPECT_EQ(CleanSubject(U("Ärger 😀 heute")), U("Ärger - heute"));
    EXPECT_TRUE(CleanSubject(QString()).isNull());
}

TEST(FileNameSanitiser, ReplacesTheListedCharactersOnly)
{
    QString name = U("a:b?c*d\"e<f>g|h/i\\j!k$l%m&n'o+p;q@r`s~t\x01u v.w-x#y(z)é");
    SanitizeFileName(name);
    EXPECT_EQ(name, U("a_b_c_d_e_f_g|h_i_j_k_l_m_n_o_p_q_r_s_t_u v.w-x#y(z)é"));
}

TEST(TargetPath, ComposesAndSanitisesTheNamePartOnly)
{
    export_handle handle;
    QString target;
    ASSERT_EQ(export_handle_create_target_path(&handle, U(".export\\a:b"), U("Re: x/y?"), &target), WalkStep::Done);
    EXPECT_EQ(target, U(".export\\a:b\\Re_ x_y_"));

    QString occupied = U("taken");
    EXPECT_EQ(export_handle_create_target_path(&handle, U(".export"), U("x"), &occupied), WalkStep::Failed);
    EXPECT_EQ(occupied, U("taken"));
    QString empty;
    EXPECT_EQ(export_handle_create_target_path(&handle, QString(), U("x"), &empty), WalkStep::Failed);
    EXPECT_EQ(export_handle_create_target_path(&handle, U(".export"), QString(), &empty), WalkStep::Failed);
    EXPECT_TRUE(empty.isNull());

    QString slash;
    ASSERT_EQ(export_handle_create_target_path(&handle, U("/tmp/A"), U("a.txt"), &slash, u'/'), WalkStep::Done);
    EXPECT_EQ(slash, U("/tmp/A/a.txt"));
}

struct FlagCase {
    std::optional<uint32_t> flags;
    const char* word;
};

class FlagWords : public ::testing::TestWithParam<FlagCase> {};

TEST_P(FlagWords, HighestSetBitWins)
{
    EXPECT_EQ(FlagWord(GetParam().flags), U(GetParam().word));
}

INSTANTIATE_TEST_SUITE_P(Table, FlagWords,
                         ::testing::Values(FlagCase{std::nullopt, " "}, FlagCase{0x00, "Unread"},
                                           FlagCase{0x01, "Read"}, FlagCase{0x11, "Attachments"},
                                           FlagCase{0x02, "Unmodified"}, FlagCase{0x05, "Submit"},
                                           FlagCase{0x08, "Unsent"}, FlagCase{0x31, "From me"},
                                           FlagCase{0x40, "Associated"}, FlagCase{0x81, "Resend"},
                                           FlagCase{0x100, "RN pending"}, FlagCase{0x3FF, "NRN pending"},
                                           FlagCase{0x400, "Unread"}, FlagCase{0x401, "Read"}));

TEST(Words, PriorityImportanceSensitivity)
{
    EXPECT_EQ(PriorityWord(-1), U("Non Urgent"));
    EXPECT_EQ(PriorityWord(0), U("Normal"));
    EXPECT_EQ(PriorityWord(1), U("Urgent"));
    EXPECT_EQ(PriorityWord(2), U("None"));
    EXPECT_EQ(PriorityWord(std::nullopt), U("None"));

    EXPECT_EQ(ImportanceWord(0), U("Low"));
    EXPECT_EQ(ImportanceWord(1), U("Normal"));
    EXPECT_EQ(ImportanceWord(2), U("High"));
    EXPECT_EQ(ImportanceWord(5), U(" "));
    EXPECT_EQ(ImportanceWord(-1), U(" "));
    EXPECT_EQ(ImportanceWord(std::nullopt), U(" "));

    EXPECT_EQ(SensitivityWord(0), U("None"));
    EXPECT_EQ(SensitivityWord(1), U("Personal"));
    EXPECT_EQ(SensitivityWord(2), U("Private"));
    EXPECT_EQ(SensitivityWord(3), U("Confidential"));
    EXPECT_EQ(SensitivityWord(4), U("None"));
    EXPECT_EQ(SensitivityWord(std::nullopt), U("None"));
}

TEST(Words, SizeText)
{
    EXPECT_EQ(SizeText(2048), U("2048  Bytes"));
    EXPECT_EQ(SizeText(-3), U("-3  Bytes"));
    EXPECT_EQ(SizeText(std::nullopt), U(" "));
}

TEST(BodyRule, BelowTheLimitIsKept)
{
    EXPECT_TRUE(BodyIsKept(0));
    EXPECT_TRUE(BodyIsKept(64999));
    EXPECT_FALSE(BodyIsKept(65000));
    EXPECT_FALSE(BodyIsKept(1 << 20));
}

TEST(ExportPaths, NameKeyAndNumbering)
{
    EXPECT_EQ(LastPathComponent(U(".export\\Top of Personal Folders\\Inbox")), U("Inbox"));
    EXPECT_EQ(LastPathComponent(U("/tmp/tolvane-1/Attachments/")), U(""));
    EXPECT_EQ(LastPathComponent(U(".export")), U(".export"));
    EXPECT_EQ(FolderKeyFromExportPath(U(".export\\Top of Personal Folders\\Inbox")),
              U("\\Top-of-Personal-Folders\\Inbox"));
    EXPECT_EQ(FolderKeyFromExportPath(U(".export")), U(""));
    EXPECT_TRUE(FolderKeyFromExportPath(U(".export ")).isNull());
    EXPECT_EQ(NumberedFolderName(3), U("Folder00003"));
    EXPECT_EQ(NumberedFolderName(123456), U("Folder123456"));
    EXPECT_TRUE(NullIfSpace(U(" ")).isNull());
    EXPECT_EQ(NullIfSpace(U("  ")), U("  "));
}

}  // namespace
