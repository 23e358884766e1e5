// Files on Windows paths, and the atomic replacement every write goes through.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <thread>

#include "platform/AtomicFile.h"
#include "platform/Files.h"
#include "platform/LastError.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;
using testsupport::ReadFile;
using testsupport::WriteFile;

size_t EntryCount(const fs::path& dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {}));
}

// Tests run as root, where permission bits do not stop a write; a target that is a
// folder, and a parent that is a file, fail for everyone.
TEST(AtomicFile, ReplacesWholeFilesKeepingPermissionsAndLinksOrChangesNothing) {
    testsupport::TempDir dir;
    const std::string path = dir / "settings.reg";
    ASSERT_TRUE(WriteHostFileAtomic(path, std::string("a\0b\r\n", 5)));
    EXPECT_EQ(ReadFile(path), std::string("a\0b\r\n", 5));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(WriteHostFileAtomic(path, ""));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_size, 0);
    // Writing through a symbolic link replaces its target and keeps the link.
    fs::create_symlink(path, dir / "link.reg");
    ASSERT_TRUE(WriteHostFileAtomic(dir / "link.reg", "through link"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.reg"));
    EXPECT_EQ(ReadFile(path), "through link");

    fs::create_directory(dir / "folder");
    SetLastErrorText("");
    EXPECT_FALSE(WriteHostFileAtomic(dir / "folder", "x"));
    EXPECT_NE(LastErrorText().find("folder"), std::string::npos);
    for (const std::string& target : {path + "/child", dir / "missing/child", std::string()})
        EXPECT_FALSE(WriteHostFileAtomic(target, "x")) << target;
    EXPECT_EQ(ReadFile(path), "through link");
    EXPECT_TRUE(fs::is_empty(dir / "folder"));
    EXPECT_EQ(EntryCount(dir.Path()), 3u);
    EXPECT_FALSE(ReadHostFile(dir / "missing") || ReadHostFile(dir / "folder"));
}

TEST(AtomicFile, InterruptedWriteLeavesTheOriginalAndNoTemporaryFile) {
    testsupport::TempDir dir;
    const std::string path = dir / "library.pbl";
    const std::string original(10000, 'o');
    WriteFile(path, original);
    for (long long after : {0LL, 1LL, 4096LL, 20000LL}) {
        FailNextAtomicWriteAfter(after);
        EXPECT_FALSE(WriteHostFileAtomic(path, std::string(20000, 'n'))) << after;
        EXPECT_FALSE(LastErrorText().empty());
        EXPECT_EQ(ReadFile(path), original);
        EXPECT_EQ(EntryCount(dir.Path()), 1u);
    }
    // The hook fires once only; a new file that fails is not created at all.
    EXPECT_TRUE(WriteHostFileAtomic(path, "n"));
    EXPECT_EQ(ReadFile(path), "n");
    FailNextAtomicWriteAfter(2);
    EXPECT_FALSE(WriteHostFileAtomic(dir / "new.ini", "abc"));
    EXPECT_EQ(EntryCount(dir.Path()), 1u);
}

TEST(LastError, IsKeptPerThread) {
    SetLastErrorText("main thread");
    std::string seen = "unset";
    std::thread([&] {
        seen = LastErrorText();
        SetLastErrorText("other thread");
    }).join();
    EXPECT_EQ(seen, "");
    EXPECT_EQ(LastErrorText(), "main thread");
}

// "*.*" takes names without a dot too, a trailing dot only names without one, a host
// name may itself end with a dot, and a ? before a dot or at the end may match nothing.
TEST(Files, MasksFollowWindowsRules) {
    // Each case is a name and a mask, the matching ones first.
    const std::vector<std::string_view> matching = {
        "Sales.PBL *.pbl", "README *.*",          "a.b.c *.*", "sales sales.*", "makefile *.",
        "odd. ODD.",       "w_ab.srw w_????.srw", "ab a??",    "Menu m*u*",     "x ***"};
    const std::vector<std::string_view> other = {
        "a.pbl.bak *.pbl", "make.txt *.", "abcde.sr ????.sr", "abc a?",
        "axc a?b?c",       "ab a",        "b.pbl a*"};
    for (bool matches : {true, false}) {
        for (std::string_view c : matches ? matching : other)
            EXPECT_EQ(MatchesMask(c.substr(0, c.find(' ')), c.substr(c.find(' ') + 1)), matches)
                << c;
    }
    // No exponential back-tracking on many stars.
    EXPECT_FALSE(MatchesMask(std::string(200, 'a'), std::string(60, '*') + "b") ||
                 MatchesMask("x", ""));
}

TEST(Files, FindFilesFiltersByAttributesAsFindFirstDoes) {
    testsupport::TempPrefix prefix;
    const std::string c = prefix.DriveC();
    for (const char* name : {"Sales.pbl", ".hidden.pbl", "readonly.PBL", "notes.txt"})
        WriteFile(c + "/Libs/" + name, name[0] == 'S' ? "12345" : "");
    fs::create_directories(c + "/Libs/archive.pbl");
    ASSERT_EQ(::chmod((c + "/Libs/readonly.PBL").c_str(), 0444), 0);
    auto names = [](std::string_view pattern, uint32_t attr) {
        std::string list;
        for (const auto& rec : FindFiles(pattern, attr))
            list += rec.Name + " ";
        return list;
    };
    EXPECT_EQ(names("c:\\libs\\*.pbl", 0), "readonly.PBL Sales.pbl ");
    EXPECT_EQ(names("C:/LIBS/*.PBL", faDirectory), "archive.pbl readonly.PBL Sales.pbl ");
    EXPECT_EQ(names("c:\\libs\\*.pbl", faAnyFile),
              ".hidden.pbl archive.pbl readonly.PBL Sales.pbl ");
    EXPECT_EQ(names("c:\\libs", 0), "");  // a folder needs faDirectory
    EXPECT_EQ(names("c:\\LIBS", faAnyFile), "Libs ");

    std::map<std::string, TSearchRec> byName;
    for (const auto& rec : FindFiles("c:\\libs\\*.*", faAnyFile))
        byName[rec.Name] = rec;
    ASSERT_EQ(byName.size(), 5u);
    EXPECT_EQ(byName["Sales.pbl"].Size, 5u);
    EXPECT_EQ(byName["Sales.pbl"].Attr, faArchive);
    EXPECT_NEAR(byName["Sales.pbl"].Time, Now(), 1.0 / 24 / 60);
    EXPECT_TRUE(byName["readonly.PBL"].Attr & faReadOnly);
    EXPECT_TRUE(byName[".hidden.pbl"].Attr & faHidden);
    EXPECT_EQ(byName["archive.pbl"].Attr, faDirectory);
    // Missing folders and drives, and patterns without a name, find nothing.
    for (const char* pattern : {"c:\\nowhere\\*.*", "c:\\libs\\", "q:\\*.*", "c:\\libs\\x.pbl"})
        EXPECT_TRUE(FindFiles(pattern, faAnyFile).empty()) << pattern;
    EXPECT_FALSE(LastErrorText().empty());

    EXPECT_TRUE(DirectoryExists("C:\\LIBS\\Archive.pbl"));
    EXPECT_TRUE(FileExists("c:\\libs\\SALES.pbl"));
    EXPECT_FALSE(DirectoryExists("c:\\libs\\sales.pbl") || FileExists("c:\\libs\\archive.pbl") ||
                 FileExists("q:\\libs\\sales.pbl"));
}

TEST(Files, CopiesKeepTheDateOnRequestAndFailWithoutHarm) {
    testsupport::TempPrefix prefix;
    const std::string c = prefix.DriveC();
    WriteFile(c + "/src.pbl", "library bytes");
    const TDateTime when = 36526.5;  // 2000-01-01 12:00 local
    ASSERT_TRUE(SetFileAge("c:\\SRC.pbl", when));
    EXPECT_EQ(FileAge("c:\\src.pbl"), when);
    EXPECT_FALSE(FileAge("c:\\missing").has_value());

    ASSERT_TRUE(CopyFile("c:\\src.pbl", "c:\\copy.pbl", true));
    EXPECT_EQ(ReadFile(c + "/copy.pbl"), "library bytes");
    EXPECT_EQ(FileAge("c:\\copy.pbl"), when);
    WriteFile(c + "/fresh.pbl", "a much longer old content");
    ASSERT_TRUE(CopyFile("c:\\src.pbl", "c:\\FRESH.pbl", false));
    EXPECT_EQ(ReadFile(c + "/fresh.pbl"), "library bytes");
    EXPECT_NEAR(*FileAge("c:\\fresh.pbl"), Now(), 1.0 / 24 / 60);

    // A failed copy leaves the destination as it was.
    FailNextAtomicWriteAfter(3);
    EXPECT_FALSE(CopyFile("c:\\fresh.pbl", "c:\\copy.pbl", true));
    EXPECT_FALSE(CopyFile("c:\\missing.pbl", "c:\\copy.pbl", false));
    EXPECT_FALSE(CopyFile("c:\\windows", "c:\\copy.pbl", false));
    EXPECT_FALSE(CopyFile("c:\\src.pbl", "c:\\windows", false));
    EXPECT_EQ(FileAge("c:\\copy.pbl"), when);
    EXPECT_EQ(ReadFile(c + "/copy.pbl"), "library bytes");
}

TEST(Files, ForceDirectoriesReadWriteAndDelete) {
    testsupport::TempPrefix prefix;
    const std::string c = prefix.DriveC();
    ASSERT_TRUE(ForceDirectories("c:\\Repl\\Deep\\Er"));
    EXPECT_TRUE(fs::is_directory(c + "/Repl/Deep/Er"));
    EXPECT_TRUE(ForceDirectories("C:\\repl\\deep"));  // exists: fine, no second folder
    EXPECT_FALSE(fs::exists(c + "/Repl/deep"));
    WriteFile(c + "/Repl/file", "");
    EXPECT_FALSE(ForceDirectories("c:\\repl\\file\\sub"));  // a file in the way
    EXPECT_FALSE(ForceDirectories("q:\\x"));

    ASSERT_TRUE(WriteFileBytes("c:\\repl\\a.pbl", "A"));
    EXPECT_EQ(ReadFileBytes("C:\\REPL\\A.PBL"), "A");
    EXPECT_FALSE(WriteFileBytes("c:\\nofolder\\a.pbl", "A") || ReadFileBytes("c:\\repl\\b.pbl"));
    EXPECT_FALSE(DeleteFile("c:\\repl\\deep"));  // a folder is not a file
    ASSERT_TRUE(DeleteFile("c:\\REPL\\A.pbl"));
    EXPECT_FALSE(fs::exists(c + "/Repl/a.pbl") || !fs::is_directory(c + "/Repl/Deep"));
    EXPECT_FALSE(DeleteFile("c:\\repl\\a.pbl"));
}

}  // namespace
