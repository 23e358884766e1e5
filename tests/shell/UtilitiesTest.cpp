// Program-wide services: debug log, status texts, busy cursor, message boxes, files, and
// the string and file-name helpers.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Prefix.h"
#include "shell/Utilities.h"
#include "tests/support/RecordingShellUI.h"
#include "tests/support/TestSupport.h"

namespace shell {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using Pieces = std::vector<std::string>;

TEST(Strings, SplitJoinLookUpAndCut) {
    // A library search path easily has a last piece of more than a thousand characters.
    std::string longPiece(5000, 'x');
    longPiece[999] = 'A';
    const std::tuple<std::string, std::string, Pieces> splits[] = {
        {"a;b;", ";", {"a", "b"}},     {"", ";", {}},
        {"a;;b", ";", {"a", "", "b"}}, {";", ";", {""}},
        {"a<>b<>", "<>", {"a", "b"}},  {"first;" + longPiece, ";", {"first", longPiece}},
    };
    for (const auto& [text, separator, pieces] : splits) {
        Pieces split{"kept"}, expected{"kept"};
        SplitString(text, split, separator);
        expected.insert(expected.end(), pieces.begin(), pieces.end());
        EXPECT_EQ(split, expected) << text.substr(0, 20);
        EXPECT_EQ(JoinStrings(pieces, separator) + (text.ends_with(separator) ? separator : ""),
                  text);
    }
    EXPECT_EQ(JoinStrings(Pieces{"c:\\a.pbl", "c:\\b.pbl"}), "c:\\a.pbl;c:\\b.pbl");

    const std::string_view table[] = {"window", "menu", "menu"};
    EXPECT_EQ(IndexOfString("menu", table), 1);
    EXPECT_EQ(IndexOfString("Menu", table), -1);  // case counts
    for (auto [name, pattern, part] : {std::tuple{"CheckBoxMenuOption", "CheckBox*Option", "Menu"},
                                       {"RadioAllOptions", "CheckBox*Option", ""},
                                       {"CheckBoxAll", "CheckBox*Option", ""},
                                       {"xCheckBoxAll", "CheckBox*", "All"},
                                       {"CheckBoxAllOption", "CheckBox", ""}})
        EXPECT_EQ(ExtractWildcardPart(name, pattern), part) << name << " " << pattern;
    const std::pair<const char*, const char*> dirs[] = {
        {"c:\\apps\\x.pbl", "c:\\apps"}, {"c:\\pb050.exe", "c:"}, {"x.pbl", ""}};
    for (auto [path, dir] : dirs)
        EXPECT_EQ(ExtractDir(path), dir) << path;
}

// A prefix with the program installed in c:\Sorvanti.
class UtilitiesTest : public testing::Test {
  protected:
    void SetUp() override {
        ResetUtilities();
        std::filesystem::create_directories(ProgramHostDir());
    }
    void TearDown() override { ResetUtilities(); }

    std::string ProgramHostDir() const { return prefix.DriveC() + "/Sorvanti"; }
    std::string LogHostPath() const { return ProgramHostDir() + "/log.txt"; }
    void Start(std::vector<std::string> args) { InitUtilities(args, "c:\\Sorvanti"); }
    // The messages of the debug log's lines, each of them whole and stamped
    // "dd/mm/yyyy hh:nn:ss: ".
    std::vector<std::string> LogMessages() const {
        DoneUtilities();
        const std::string text = testsupport::ReadFile(LogHostPath());
        const std::regex line(
            "[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}: ([^\r\n]*)\r\n");
        std::vector<std::string> messages;
        for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it)
            messages.push_back((*it)[1]);
        EXPECT_EQ(std::regex_replace(text, line, ""), "") << "not whole stamped lines: " << text;
        return messages;
    }

    testsupport::TempPrefix prefix;
};

TEST_F(UtilitiesTest, ProgramDirIsTheExecutablesDirectoryWithoutTrailingBackslash) {
    InitUtilities({});
    EXPECT_EQ(std::filesystem::path(platform::HostPath(ProgramDir())),
              std::filesystem::path(platform::ProgramFileHostPath()).parent_path());
    InitUtilities({}, "c:\\Sorvanti\\");
    EXPECT_EQ(ProgramDir(), "c:\\Sorvanti");
}

TEST_F(UtilitiesTest, DebugLogOnlyWithTheExactFirstArgumentEmptiedAndStamped) {
    for (auto args : {std::vector<std::string>{"/DEBUG"}, {"/debug "}, {"x", "/debug"}, {}}) {
        Start(args);
        EXPECT_FALSE(WriteDebug(""));
        ShowStatus("Ready.");
        EXPECT_FALSE(std::filesystem::exists(LogHostPath())) << args.size();
    }
    testsupport::WriteFile(LogHostPath(), "old run\r\n");
    Start({"/debug"});
    EXPECT_TRUE(WriteDebug(""));
    EXPECT_EQ(testsupport::ReadFile(LogHostPath()), "");
    EXPECT_TRUE(WriteDebug("direct"));
    EXPECT_THAT(LogMessages(), ElementsAre("direct"));
    EXPECT_FALSE(WriteDebug("after exit"));
}

TEST_F(UtilitiesTest, DebugLogThatCannotBeCreatedIsReportedOnceOnTheFirstStatusLine) {
    InitUtilities({"/debug"}, "c:\\NoSuchDirectory");  // before any screen exists
    EXPECT_FALSE(WriteDebug(""));
    testsupport::RecordingShellUI noStatusLine(false, true);
    EXPECT_TRUE(noStatusLine.events.empty());
    testsupport::RecordingShellUI frame;
    EXPECT_THAT(frame.statusTexts, ElementsAre(HasSubstr("c:\\NoSuchDirectory\\log.txt")));
    ShowStatus("Ready.");  // and the program runs on
    EXPECT_THAT(frame.statusTexts, testing::SizeIs(2));
    testsupport::RecordingShellUI another;
    EXPECT_TRUE(another.statusTexts.empty());
}

TEST_F(UtilitiesTest, StatusAndLogReachOnlyWhatExistsAndAlwaysTheDebugLog) {
    Start({"/debug"});
    {
        testsupport::RecordingShellUI ui(true, true);
        ShowStatus("plain");
        ShowStatus("logged", true);
        EXPECT_THAT(ui.statusTexts, ElementsAre("plain", "logged"));
        EXPECT_THAT(ui.logLines,
                    ElementsAre(testing::MatchesRegex("[0-9/]{10} [0-9:]{8}: logged")));
    }
    {
        testsupport::RecordingShellUI ui(false, false);
        ShowStatus("nowhere", true);
        LogMessage("nowhere either");
        EXPECT_TRUE(ui.events.empty());
    }
    // No screen at all: nothing shown, nothing answered, but the debug log still fills.
    ShowStatus("no screen", true);
    PushCursor(crWaitCursor);
    PopCursor();
    EXPECT_EQ(AskUser("Sure?", TMsgDlgType::mtConfirmation, mbYes | mbNo), mrNone);
    EXPECT_THAT(LogMessages(), ElementsAre("plain", "logged", "nowhere", "nowhere either",
                                           "no screen", "Ready.", "Ready."));
}

TEST_F(UtilitiesTest, CursorStackSaysReadyAfterTheLastPopAndBoxesShowTheNormalPointer) {
    Start({});
    testsupport::RecordingShellUI ui;
    ui.cursor = 5;
    PushCursor(crWaitCursor);
    PushCursor(crHourGlass);
    ui.answers = {mrNo};
    EXPECT_EQ(AskUser("Library does not exists.", TMsgDlgType::mtConfirmation, mbYes | mbNo, 7),
              mrNo);
    ShowNotice("Done.");
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].cursor, crDefault);
    EXPECT_EQ(ui.boxes[0].helpContext, 7);
    EXPECT_EQ(ui.boxes[1].buttons, mbOK);
    EXPECT_EQ(ui.cursor, crHourGlass);  // back to the busy cursor
    PopCursor();
    EXPECT_EQ(ui.cursor, crWaitCursor);
    EXPECT_TRUE(ui.statusTexts.empty());
    PopCursor();
    EXPECT_EQ(ui.cursor, 5);
    EXPECT_THAT(ui.statusTexts, ElementsAre("Ready."));
    // An unmatched pop shows the normal pointer instead of failing.
    PopCursor();
    EXPECT_EQ(ui.cursor, crDefault);
    EXPECT_THAT(ui.statusTexts, ElementsAre("Ready.", "Ready."));
}

// The copy itself (the date kept, a failure leaving the destination) and finding files
// by name are the platform's.
TEST_F(UtilitiesTest, FilesCopiedWithAStatusFoundWithEveryAttributeAndShortNames) {
    Start({"/debug"});
    testsupport::RecordingShellUI ui;
    testsupport::WriteFile(prefix.DriveC() + "/src/a.pbl", "library bytes");
    ASSERT_TRUE(CopyFileWithStatus("c:\\src\\a.pbl", "c:\\Sorvanti\\a.pbl", true));
    EXPECT_THAT(ui.statusTexts, ElementsAre("Copying c:\\src\\a.pbl to c:\\Sorvanti\\a.pbl."));
    EXPECT_EQ(ui.logLines.size(), 1u);
    EXPECT_TRUE(FileFound("c:\\src\\a.pbl") && FileFound("c:\\src"));
    EXPECT_FALSE(FileFound(""));
    // Names without short forms are kept, also of files that do not exist.
    for (auto name : {"c:\\src\\a.pbl", "c:\\missing\\file.txt"})
        EXPECT_EQ(ShortPathName(name), name);
    EXPECT_EQ(LogMessages(), ui.statusTexts);  // logged as they were shown
}

}  // namespace
}  // namespace shell
