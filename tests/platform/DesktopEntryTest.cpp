// The program's desktop entry: its text, the folder it goes to, and a write that happens
// only when the entry is missing or different.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/DesktopEntry.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace platform;

TDesktopEntry Entry(std::string program) {
    return {"sorvanti.desktop", "Sorvanti 2", std::move(program), "sorvanti"};
}

TEST(DesktopEntry, TheTextQuotesAProgramPathThatNeedsIt) {
    EXPECT_EQ(DesktopEntryText(Entry("/opt/sorvanti/bin/sorvanti")),
              "[Desktop Entry]\nType=Application\nName=Sorvanti 2\n"
              "Exec=/opt/sorvanti/bin/sorvanti\nIcon=sorvanti\nCategories=Development;\n"
              "Terminal=false\n");
    // Reserved characters quote the path; inside the quotes ", `, $ and \ are escaped, and
    // the file's own escaping then doubles every backslash. % is doubled.
    const std::pair<const char*, const char*> paths[] = {
        {"/home/u/My Apps/sorvanti", "Exec=\"/home/u/My Apps/sorvanti\""},
        {"/x/it's (old)/s", "Exec=\"/x/it's (old)/s\""},
        {"/x/a\"b$c`d\\e/s", "Exec=\"/x/a\\\\\"b\\\\$c\\\\`d\\\\\\\\e/s\""},
        {"/x/100%/s", "Exec=/x/100%%/s"},
        {"/x/tab\there", "Exec=\"/x/tab\\there\""}};
    for (auto [path, exec] : paths) {
        const std::string text = DesktopEntryText(Entry(path));
        EXPECT_NE(text.find(std::string("\n") + exec + "\n"), std::string::npos) << text;
    }
}

TEST(DesktopEntry, TheFolderFollowsXdgDataHomeElseHome) {
    testsupport::ScopedEnv env;
    env.Set("XDG_DATA_HOME", "/data/u/");
    env.Set("HOME", "/home/u");
    EXPECT_EQ(DesktopEntryFolder(), "/data/u/applications");
    env.Set("XDG_DATA_HOME", "relative/data");  // ignored, as the XDG rules say
    EXPECT_EQ(DesktopEntryFolder(), "/home/u/.local/share/applications");
    env.Set("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(DesktopEntryFolder(), "/home/u/.local/share/applications");
    env.Set("HOME", nullptr);
    EXPECT_EQ(DesktopEntryFolder(), "");
    const TDesktopEntryResult result = WriteDesktopEntry(Entry("/p/s"));
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.reason.find("no folder"), std::string::npos) << result.reason;
}

TEST(DesktopEntry, WrittenOnceLeftAloneWhenTheSameRewrittenWhenTheProgramMoves) {
    testsupport::TempDir dir;
    testsupport::ScopedEnv env;
    env.Set("XDG_DATA_HOME", (dir / "data").c_str());
    const std::string folder = dir / "data/applications";  // created on the first write
    const std::string file = folder + "/sorvanti.desktop";

    TDesktopEntryResult result = WriteDesktopEntry(Entry("/opt/s/sorvanti"));
    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_TRUE(result.written);
    EXPECT_EQ(result.hostPath, file);
    EXPECT_EQ(testsupport::ReadFile(file), DesktopEntryText(Entry("/opt/s/sorvanti")));

    // Dated back, so that any rewrite would show.
    const struct timespec old[2] = {{946684800, 0}, {946684800, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), old, 0), 0);
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    result = WriteDesktopEntry(Entry("/opt/s/sorvanti"));
    EXPECT_TRUE(result.ok && !result.written);
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, 946684800);

    result = WriteDesktopEntry(Entry("/new place/sorvanti"));
    EXPECT_TRUE(result.ok && result.written);
    EXPECT_EQ(testsupport::ReadFile(file), DesktopEntryText(Entry("/new place/sorvanti")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              1);  // one entry, no temporary file left
}

TEST(DesktopEntry, AFolderThatCannotBeMadeOrWrittenIsAFailureWithItsReason) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "data/applications", "a file in the way");
    TDesktopEntryResult result = WriteDesktopEntry(Entry("/p/s"), dir / "data/applications");
    EXPECT_FALSE(result.ok || result.written);
    EXPECT_NE(result.reason.find("cannot be created"), std::string::npos) << result.reason;
    EXPECT_EQ(testsupport::ReadFile(dir / "data/applications"), "a file in the way");

    // The entry's own name taken by a folder.
    std::filesystem::create_directories(dir / "apps/sorvanti.desktop");
    result = WriteDesktopEntry(Entry("/p/s"), dir / "apps");
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_TRUE(std::filesystem::is_directory(dir / "apps/sorvanti.desktop"));

    EXPECT_FALSE(WriteDesktopEntry(Entry(""), dir / "apps2").ok);
    EXPECT_FALSE(WriteDesktopEntry({"../x.desktop", "n", "/p", ""}, dir / "apps2").ok);
    EXPECT_FALSE(std::filesystem::exists(dir / "apps2"));
}

}  // namespace
