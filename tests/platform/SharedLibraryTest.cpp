#include "platform/SharedLibrary.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/LastError.h"
#include "platform/Paths.h"
#include "platform/Prefix.h"
#include "platform/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using platform::SharedObjectName;
using platform::TSharedLibrary;

TEST(SharedLibrary, DllNamesBecomeSharedObjectNames) {
    EXPECT_EQ(SharedObjectName("PBOrc040.dll"), "libpborc040.so");
    EXPECT_EQ(SharedObjectName("Pborc050.dll"), "libpborc050.so");
    EXPECT_EQ(SharedObjectName("PBOrc60.DLL"), "libpborc60.so");
    EXPECT_EQ(SharedObjectName("LibFoo.dll"), "libfoo.so");
    EXPECT_EQ(SharedObjectName("pborc60"), "libpborc60.so");
    EXPECT_EQ(SharedObjectName("c:\\pb\\PBOrc60.dll"), "libpborc60.so");
    EXPECT_EQ(SharedObjectName("libx.so"), "libx.so");
    EXPECT_EQ(SharedObjectName(""), "");
    EXPECT_EQ(SharedObjectName(".dll"), "lib.dll.so");
}

// The test library is built beside the test program, which is where Load looks first.
TEST(SharedLibrary, LoadsFromTheProgramFolderAndFindsUpperCaseNames) {
    testsupport::TempPrefix prefix;
    TSharedLibrary library;
    ASSERT_TRUE(library.Load("SorvantiTestLib.DLL")) << platform::LastErrorText();
    EXPECT_EQ(fs::path(library.HostPath()).filename(), "libsorvantitestlib.so");
    auto lower = reinterpret_cast<int (*)()>(library.Symbol("sorvanti_test_lower"));
    auto upper = reinterpret_cast<int (*)()>(library.Symbol("sorvanti_test_upper"));
    ASSERT_NE(lower, nullptr);
    ASSERT_NE(upper, nullptr);
    EXPECT_EQ(lower(), 1);
    EXPECT_EQ(upper(), 2);
    EXPECT_EQ(library.Symbol("SORVANTI_TEST_LOWER"), nullptr);  // no lower-case fallback
    EXPECT_EQ(library.Symbol("missing"), nullptr);
    library.Unload();
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_EQ(library.Symbol("sorvanti_test_lower"), nullptr);
}

TEST(SharedLibrary, SearchesTheAppPathsFolders) {
    testsupport::TempPrefix prefix;
    const fs::path built =
        fs::path(platform::ProgramFileHostPath()).parent_path() / "libsorvantitestlib.so";
    fs::create_directories(prefix.DriveC() + "/PB6");
    fs::copy_file(built, prefix.DriveC() + "/PB6/libpborc60.so");

    TSharedLibrary library;
    EXPECT_FALSE(library.Load("PBOrc60.dll"));
    EXPECT_NE(platform::LastErrorText().find("libpborc60.so"), std::string::npos);

    platform::TRegistry registry(platform::TRootKey::LocalMachine);
    ASSERT_TRUE(registry.OpenKey(
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + platform::ProgramFileName(),
        true));
    ASSERT_TRUE(registry.WriteString("Path", "c:\\nowhere; C:\\pb6\\ ;"));
    ASSERT_TRUE(library.Load("PBOrc60.dll")) << platform::LastErrorText();
    EXPECT_EQ(library.HostPath(), prefix.DriveC() + "/PB6/libpborc60.so");
    EXPECT_NE(library.Symbol("sorvanti_test_lower"), nullptr);

    // A file that is not a library fails with the loader's reason.
    testsupport::WriteFile(prefix.DriveC() + "/PB6/libbroken.so", "not a library");
    EXPECT_FALSE(library.Load("Broken.dll"));
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_FALSE(platform::LastErrorText().empty());
    EXPECT_FALSE(library.LoadHostPath(prefix.DriveC() + "/missing.so"));
}

}  // namespace
