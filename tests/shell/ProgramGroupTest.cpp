// The start-up registration: the program-manager macros kept for a platform that has
// one, and the desktop entry that stands for the group here.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/DesktopEntry.h"
#include "platform/Prefix.h"
#include "shell/ProgramGroup.h"
#include "shell/Utilities.h"
#include "tests/support/RecordingShellUI.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace shell;
using testing::ElementsAre;
using testing::HasSubstr;

TEST(ProgramGroup, TheMacroTextsAndTheirLimit) {
    EXPECT_EQ(ShowGroupMacro(), "[ShowGroup(\"Vellanor\",0)]");
    EXPECT_EQ(CreateGroupMacro(), "[CreateGroup(Vellanor)]\r\n");
    EXPECT_EQ(AddItemMacro("C:\\SORVAN~1\\SORVANTI.EXE"),
              "[AddItem(C:\\SORVAN~1\\SORVANTI.EXE,Sorvanti 2,C:\\SORVAN~1\\SORVANTI.EXE,0)] ");
    // The path is there twice, with 26 characters around it: 114 characters still fit
    // in 255, 115 do not, and no cut macro is made.
    const std::string fits = "c:\\" + std::string(111, 'p');
    EXPECT_EQ(AddItemMacro(fits).size(), 254u);
    EXPECT_EQ(AddItemMacro(fits + "p"), "");
}

// XDG_DATA_HOME in a folder of the test's own, put back afterwards.
class RegisterTest : public testing::Test {
  protected:
    void SetUp() override {
        env.Set("XDG_DATA_HOME", (dir / "data").c_str());
        InitUtilities({}, "c:\\Sorvanti");
    }
    void TearDown() override { ResetUtilities(); }
    testsupport::TempPrefix prefix;
    testsupport::TempDir dir;
    testsupport::ScopedEnv env;
};

TEST_F(RegisterTest, WritesTheEntryOnceAndLogsAFailureWithoutShowingIt) {
    testsupport::RecordingShellUI screen;
    const std::string file = dir / "data/applications/sorvanti.desktop";
    ASSERT_TRUE(RegisterProgramGroup());
    const std::string text = testsupport::ReadFile(file);
    EXPECT_THAT(text, HasSubstr("\nName=Sorvanti 2\n"));
    EXPECT_THAT(text, HasSubstr("\nExec=" + platform::ProgramFileHostPath() + "\n"));
    EXPECT_THAT(screen.logLines, ElementsAre(HasSubstr("added to the applications menu: " + file)));
    // A second start finds it in place and says nothing.
    ASSERT_TRUE(RegisterProgramGroup());
    EXPECT_EQ(screen.logLines.size(), 1u);

    std::filesystem::remove_all(dir / "data");
    testsupport::WriteFile(dir / "data/applications", "in the way");
    screen.logLines.clear();
    EXPECT_FALSE(RegisterProgramGroup());
    EXPECT_THAT(screen.logLines, ElementsAre(HasSubstr("could not be added to the applications "
                                                       "menu: the folder ")));
    EXPECT_TRUE(screen.boxes.empty());
}

}  // namespace
