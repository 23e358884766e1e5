#include "platform/Files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "platform/AtomicFile.h"
#include "platform/LastError.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using platform::MatchesMask;
using testsupport::TempPrefix;

std::vector<std::string> Names(const std::vector<platform::TSearchRec>& found) {
    std::vector<std::string> names;
    for (const auto& rec : found)
        names.push_back(rec.Name);
    return names;
}

TEST(Files, MasksFollowWindowsRules) {
    EXPECT_TRUE(MatchesMask("Sales.PBL", "*.pbl"));
    EXPECT_FALSE(MatchesMask("sales.pbl.bak", "*.pbl"));
    EXPECT_TRUE(MatchesMask("README", "*.*"));  // *.* takes names without a dot too
    EXPECT_TRUE(MatchesMask("a.b.c", "*.*"));
    EXPECT_TRUE(MatchesMask("sales", "sales.*"));
    EXPECT_TRUE(MatchesMask("makefile", "*."));  // a trailing dot: names without one
    EXPECT_FALSE(MatchesMask("make.txt", "*."));
    EXPECT_TRUE(MatchesMask("odd.", "ODD."));  // a host name may end with a dot
    EXPECT_TRUE(MatchesMask("w_main.srw", "w_????.srw"));
    EXPECT_TRUE(MatchesMask("w_ab.srw", "w_????.srw"));  // ? before a dot may match nothing
    EXPECT_FALSE(MatchesMask("w_abcde.srw", "w_????.srw"));
    EXPECT_FALSE(MatchesMask("abc", "a?"));
    EXPECT_TRUE(MatchesMask("ab", "a??"));
    EXPECT_FALSE(MatchesMask("axc", "a?b?c"));
    EXPECT_TRUE(MatchesMask("CheckBoxMenuOption", "check*o*n"));
    EXPECT_TRUE(MatchesMask("x", "***"));
    EXPECT_FALSE(MatchesMask("x", ""));
    EXPECT_TRUE(MatchesMask("Exact.Name", "exact.name"));
    // No exponential back-tracking on many stars.
    EXPECT_FALSE(MatchesMask(std::string(200, 'a'), std::string(60, '*') + "b"));
}

TEST(Files, FindFilesFiltersByAttributesAsFindFirstDoes) {
    TempPrefix prefix;
    const std::string c = prefix.DriveC();
    testsupport::WriteFile(c + "/Libs/Sales.pbl", "12345");
    testsupport::WriteFile(c + "/Libs/.hidden.pbl", "");
    testsupport::WriteFile(c + "/Libs/readonly.PBL", "");
    testsupport::WriteFile(c + "/Libs/notes.txt", "");
    fs::create_directories(c + "/Libs/archive.pbl");
    ASSERT_EQ(::chmod((c + "/Libs/readonly.PBL").c_str(), 0444), 0);

    EXPECT_EQ(Names(platform::FindFiles("c:\\libs\\*.pbl", 0)),
              (std::vector<std::string>{"readonly.PBL", "Sales.pbl"}));
    EXPECT_EQ(Names(platform::FindFiles("C:/LIBS/*.PBL", platform::faDirectory)),
              (std::vector<std::string>{"archive.pbl", "readonly.PBL", "Sales.pbl"}));
    EXPECT_EQ(
        Names(platform::FindFiles("c:\\libs\\*.pbl", platform::faAnyFile)),
        (std::vector<std::string>{".hidden.pbl", "archive.pbl", "readonly.PBL", "Sales.pbl"}));

    const auto all = platform::FindFiles("c:\\libs\\*.*", platform::faAnyFile);
    ASSERT_EQ(all.size(), 5u);
    std::map<std::string, const platform::TSearchRec*> byName;
    for (const auto& rec : all) {
        EXPECT_TRUE(rec.ShortName.empty());
        byName[rec.Name] = &rec;
    }
    EXPECT_EQ(byName["Sales.pbl"]->Size, 5u);
    EXPECT_EQ(byName["Sales.pbl"]->Attr, platform::faArchive);
    EXPECT_NEAR(byName["Sales.pbl"]->Time, platform::Now(), 1.0 / 24 / 60);
    EXPECT_TRUE(byName["readonly.PBL"]->Attr & platform::faReadOnly);
    EXPECT_TRUE(byName[".hidden.pbl"]->Attr & platform::faHidden);
    EXPECT_EQ(byName["archive.pbl"]->Attr, platform::faDirectory);
    // Missing folders and patterns without a name find nothing.
    EXPECT_TRUE(platform::FindFiles("c:\\nowhere\\*.*", platform::faAnyFile).empty());
    EXPECT_TRUE(platform::FindFiles("c:\\libs\\", platform::faAnyFile).empty());
    EXPECT_TRUE(platform::FindFiles("q:\\*.*", platform::faAnyFile).empty());
    EXPECT_FALSE(platform::LastErrorText().empty());
}

// The way the program asks whether a path exists at all: a search with every attribute.
TEST(Files, SearchWithEveryAttributeFindsFilesAndFolders) {
    TempPrefix prefix;
    fs::create_directories(prefix.DriveC() + "/Apps/Sub");
    testsupport::WriteFile(prefix.DriveC() + "/Apps/a.pbl", "");
    auto found = [](std::string_view path) {
        return !platform::FindFiles(path, platform::faAnyFile).empty();
    };
    EXPECT_TRUE(found("c:\\apps"));
    EXPECT_TRUE(found("c:\\APPS\\sub"));
    EXPECT_TRUE(found("c:\\apps\\A.PBL"));
    EXPECT_FALSE(found("c:\\apps\\b.pbl"));
    EXPECT_FALSE(platform::FindFiles("c:\\apps", 0).size());  // a folder needs faDirectory

    EXPECT_TRUE(platform::DirectoryExists("C:\\Apps\\SUB"));
    EXPECT_FALSE(platform::DirectoryExists("c:\\apps\\a.pbl"));
    EXPECT_TRUE(platform::FileExists("c:\\apps\\a.pbl"));
    EXPECT_FALSE(platform::FileExists("c:\\apps\\sub"));
    EXPECT_FALSE(platform::FileExists("q:\\apps\\a.pbl"));
}

TEST(Files, DatesSizesAndCopiesKeepingTheDate) {
    TempPrefix prefix;
    testsupport::WriteFile(prefix.DriveC() + "/src.pbl", "library bytes");
    const platform::TDateTime when = 36526.5;  // 2000-01-01 12:00 local
    ASSERT_TRUE(platform::SetFileAge("c:\\SRC.pbl", when));
    EXPECT_EQ(platform::FileAge("c:\\src.pbl"), when);
    EXPECT_EQ(platform::FileSize("c:\\src.pbl"), 13u);
    EXPECT_FALSE(platform::FileSize("c:\\").has_value());
    EXPECT_FALSE(platform::FileAge("c:\\missing").has_value());

    ASSERT_TRUE(platform::CopyFile("c:\\src.pbl", "c:\\copy.pbl", true));
    EXPECT_EQ(testsupport::ReadFile(prefix.DriveC() + "/copy.pbl"), "library bytes");
    EXPECT_EQ(platform::FileAge("c:\\copy.pbl"), when);

    testsupport::WriteFile(prefix.DriveC() + "/fresh.pbl", "a much longer old content");
    ASSERT_TRUE(platform::CopyFile("c:\\src.pbl", "c:\\FRESH.pbl", false));
    EXPECT_EQ(testsupport::ReadFile(prefix.DriveC() + "/fresh.pbl"), "library bytes");
    EXPECT_NEAR(*platform::FileAge("c:\\fresh.pbl"), platform::Now(), 1.0 / 24 / 60);

    // A failed copy leaves the destination as it was.
    platform::FailNextAtomicWriteAfter(3);
    EXPECT_FALSE(platform::CopyFile("c:\\fresh.pbl", "c:\\copy.pbl", true));
    EXPECT_EQ(platform::FileAge("c:\\copy.pbl"), when);
    EXPECT_FALSE(platform::CopyFile("c:\\missing.pbl", "c:\\copy.pbl", false));
    EXPECT_FALSE(platform::CopyFile("c:\\windows", "c:\\copy.pbl", false));
    EXPECT_FALSE(platform::CopyFile("c:\\src.pbl", "c:\\windows", false));
    EXPECT_EQ(testsupport::ReadFile(prefix.DriveC() + "/copy.pbl"), "library bytes");
}

TEST(Files, DeleteRenameAndForceDirectories) {
    TempPrefix prefix;
    const std::string c = prefix.DriveC();
    ASSERT_TRUE(platform::ForceDirectories("c:\\Repl\\Deep\\Er"));
    EXPECT_TRUE(fs::is_directory(c + "/Repl/Deep/Er"));
    EXPECT_TRUE(platform::ForceDirectories("C:\\repl\\deep"));  // exists: fine
    EXPECT_TRUE(fs::is_directory(c + "/Repl/Deep"));
    testsupport::WriteFile(c + "/Repl/file", "");
    EXPECT_FALSE(platform::ForceDirectories("c:\\repl\\file\\sub"));  // a file in the way
    EXPECT_FALSE(platform::ForceDirectories("q:\\x"));

    ASSERT_TRUE(platform::WriteFileBytes("c:\\repl\\a.pbl", "A"));
    EXPECT_EQ(platform::ReadFileBytes("C:\\REPL\\A.PBL"), "A");
    EXPECT_FALSE(platform::WriteFileBytes("c:\\nofolder\\a.pbl", "A"));
    EXPECT_FALSE(platform::ReadFileBytes("c:\\repl\\none.pbl").has_value());

    ASSERT_TRUE(platform::WriteFileBytes("c:\\repl\\b.pbl", "B"));
    EXPECT_FALSE(platform::RenameFile("c:\\repl\\a.pbl", "c:\\repl\\B.PBL"));  // never replaces
    EXPECT_EQ(platform::ReadFileBytes("c:\\repl\\b.pbl"), "B");
    ASSERT_TRUE(platform::RenameFile("c:\\repl\\a.pbl", "c:\\repl\\A.pbl"));  // case only
    EXPECT_TRUE(fs::exists(c + "/Repl/A.pbl"));
    EXPECT_FALSE(fs::exists(c + "/Repl/a.pbl"));
    ASSERT_TRUE(platform::RenameFile("c:\\repl\\a.pbl", "c:\\repl\\deep\\moved.pbl"));
    EXPECT_EQ(platform::ReadFileBytes("c:\\repl\\deep\\moved.pbl"), "A");
    EXPECT_FALSE(platform::RenameFile("c:\\repl\\gone.pbl", "c:\\repl\\x.pbl"));

    EXPECT_FALSE(platform::DeleteFile("c:\\repl\\deep"));  // a folder is not a file
    EXPECT_TRUE(fs::is_directory(c + "/Repl/Deep"));
    ASSERT_TRUE(platform::DeleteFile("c:\\REPL\\B.pbl"));
    EXPECT_FALSE(fs::exists(c + "/Repl/b.pbl"));
    EXPECT_FALSE(platform::DeleteFile("c:\\repl\\b.pbl"));
}

}  // namespace
