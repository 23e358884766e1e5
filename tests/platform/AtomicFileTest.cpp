#include "platform/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "platform/LastError.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;

size_t EntryCount(const fs::path& dir) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir))
        ++count;
    return count;
}

TEST(AtomicFile, WritesAndReplacesWholeFiles) {
    TempDir dir;
    const std::string path = dir / "pb.ini";
    ASSERT_TRUE(platform::WriteHostFileAtomic(path, std::string("a\0b\r\n", 5)));
    EXPECT_EQ(testsupport::ReadFile(path), std::string("a\0b\r\n", 5));
    ASSERT_TRUE(platform::WriteHostFileAtomic(path, "shorter"));
    EXPECT_EQ(platform::ReadHostFile(path).value(), "shorter");
    ASSERT_TRUE(platform::WriteHostFileAtomic(path, ""));
    EXPECT_EQ(platform::ReadHostFile(path).value(), "");
    EXPECT_EQ(EntryCount(dir.Path()), 1u);
}

TEST(AtomicFile, KeepsPermissionsAndFollowsLinks) {
    TempDir dir;
    const std::string path = dir / "settings.reg";
    testsupport::WriteFile(path, "old");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(platform::WriteHostFileAtomic(path, "new"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // Writing through a symbolic link replaces its target and keeps the link.
    const std::string link = dir / "link.reg";
    fs::create_symlink(path, link);
    ASSERT_TRUE(platform::WriteHostFileAtomic(link, "through link"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(testsupport::ReadFile(path), "through link");
}

TEST(AtomicFile, InterruptedWriteLeavesTheOriginalAndNoTemporaryFile) {
    TempDir dir;
    const std::string path = dir / "library.pbl";
    const std::string original(10000, 'o');
    testsupport::WriteFile(path, original);
    for (long long after : {0LL, 1LL, 4096LL, 20000LL}) {
        platform::FailNextAtomicWriteAfter(after);
        EXPECT_FALSE(platform::WriteHostFileAtomic(path, std::string(20000, 'n'))) << after;
        EXPECT_FALSE(platform::LastErrorText().empty());
        EXPECT_EQ(testsupport::ReadFile(path), original);
        EXPECT_EQ(EntryCount(dir.Path()), 1u);
    }
    // The hook fires once only.
    EXPECT_TRUE(platform::WriteHostFileAtomic(path, "n"));
    EXPECT_EQ(testsupport::ReadFile(path), "n");

    // A new file that fails is not created at all.
    platform::FailNextAtomicWriteAfter(2);
    EXPECT_FALSE(platform::WriteHostFileAtomic(dir / "new.ini", "abc"));
    EXPECT_FALSE(fs::exists(dir / "new.ini"));
    EXPECT_EQ(EntryCount(dir.Path()), 1u);
}

// Tests run as root, where permission bits do not stop a write; a target that is a
// folder, and a parent that is a file, fail for everyone.
TEST(AtomicFile, ImpossibleTargetsFailAndChangeNothing) {
    TempDir dir;
    fs::create_directory(dir / "folder");
    testsupport::WriteFile(dir / "folder/inside.txt", "kept");
    platform::ClearLastError();
    EXPECT_FALSE(platform::WriteHostFileAtomic(dir / "folder", "x"));
    EXPECT_NE(platform::LastErrorText().find("folder"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(dir / "folder"));

    testsupport::WriteFile(dir / "file", "plain");
    EXPECT_FALSE(platform::WriteHostFileAtomic(dir / "file/child", "x"));
    EXPECT_EQ(testsupport::ReadFile(dir / "file"), "plain");
    EXPECT_FALSE(platform::WriteHostFileAtomic(dir / "missing/child", "x"));
    EXPECT_FALSE(platform::WriteHostFileAtomic("", "x"));
    EXPECT_EQ(EntryCount(dir.Path()), 2u);

    EXPECT_FALSE(platform::ReadHostFile(dir / "missing").has_value());
    EXPECT_FALSE(platform::ReadHostFile(dir / "folder").has_value());
}

TEST(LastError, IsKeptPerThread) {
    platform::SetLastErrorText("main thread");
    std::string seen = "unset";
    std::thread([&] {
        seen = platform::LastErrorText();
        platform::SetLastErrorText("other thread");
    }).join();
    EXPECT_EQ(seen, "");
    EXPECT_EQ(platform::LastErrorText(), "main thread");
    platform::ClearLastError();
    EXPECT_EQ(platform::LastErrorText(), "");
}

}  // namespace
