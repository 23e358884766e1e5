// Program-wide services: debug log, status texts, busy cursor, message boxes, files.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Prefix.h"
#include "shell/utilities.h"
#include "tests/support/RecordingShellUI.h"
#include "tests/support/TestSupport.h"

namespace shell {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;

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

    testsupport::TempPrefix prefix;
};

// The message of one log line "dd/mm/yyyy hh:nn:ss: message", checking the stamp.
std::string LogLineMessage(std::string_view line) {
    const std::string_view shape = "00/00/0000 00:00:00: ";
    bool stamped = line.size() >= shape.size();
    for (size_t i = 0; stamped && i < shape.size(); ++i)
        stamped = shape[i] == '0' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0
                                  : line[i] == shape[i];
    EXPECT_TRUE(stamped) << "not a stamped line: " << line;
    return std::string(line.substr(stamped ? shape.size() : 0));
}

// The messages of the debug log's lines, checking that every line is whole and stamped.
std::vector<std::string> LogMessages(std::string_view text) {
    std::vector<std::string> messages;
    for (size_t end; !text.empty(); text.remove_prefix(end + 2)) {
        end = text.find("\r\n");
        if (end == std::string_view::npos) {
            ADD_FAILURE() << "the log does not end with a whole line";
            break;
        }
        messages.push_back(LogLineMessage(text.substr(0, end)));
    }
    return messages;
}

TEST_F(UtilitiesTest, ProgramDirIsTheExecutablesDirectoryWithoutTrailingBackslash) {
    InitUtilities({});
    const std::string& dir = ProgramDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.back(), '\\');
    EXPECT_EQ(std::filesystem::path(platform::HostPath(dir)),
              std::filesystem::path(platform::ProgramFileHostPath()).parent_path());
    InitUtilities({}, "c:\\Sorvanti\\");
    EXPECT_EQ(ProgramDir(), "c:\\Sorvanti");
}

TEST_F(UtilitiesTest, DebugLogOnlyWithTheExactFirstArgument) {
    for (auto args : {std::vector<std::string>{"/DEBUG"}, std::vector<std::string>{"/debug "},
                      std::vector<std::string>{"x", "/debug"}, std::vector<std::string>{}}) {
        Start(args);
        EXPECT_FALSE(WriteDebug(""));
        ShowStatus("Ready.");
        EXPECT_FALSE(std::filesystem::exists(LogHostPath())) << args.size();
    }
}

TEST_F(UtilitiesTest, DebugLogIsEmptiedAndTakesStampedLines) {
    testsupport::WriteFile(LogHostPath(), "old run\r\n");
    Start({"/debug"});
    EXPECT_TRUE(WriteDebug(""));
    EXPECT_EQ(testsupport::ReadFile(LogHostPath()), "");
    ShowStatus("Loading Application");
    ShowStatus("Copying x.", true);
    LogMessage("Orca Error: 5");
    EXPECT_TRUE(WriteDebug("direct"));
    DoneUtilities();
    EXPECT_FALSE(WriteDebug("after exit"));
    EXPECT_THAT(LogMessages(testsupport::ReadFile(LogHostPath())),
                ElementsAre("Loading Application", "Copying x.", "Orca Error: 5", "direct"));
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

TEST_F(UtilitiesTest, StatusAndLogReachOnlyWhatExists) {
    Start({"/debug"});
    {
        testsupport::RecordingShellUI ui(true, true);
        ShowStatus("plain");
        ShowStatus("logged", true);
        EXPECT_THAT(ui.statusTexts, ElementsAre("plain", "logged"));
        ASSERT_EQ(ui.logLines.size(), 1u);
        EXPECT_EQ(LogLineMessage(ui.logLines[0]), "logged");
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
    DoneUtilities();
    EXPECT_THAT(LogMessages(testsupport::ReadFile(LogHostPath())),
                ElementsAre("plain", "logged", "nowhere", "nowhere either", "no screen", "Ready.",
                            "Ready."));
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
    EXPECT_EQ(ui.boxes[0].kind, TMsgDlgType::mtConfirmation);
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

TEST_F(UtilitiesTest, CopyFileWithStatusKeepsTheDateOnRequest) {
    Start({"/debug"});
    testsupport::RecordingShellUI ui;
    testsupport::WriteFile(prefix.DriveC() + "/src/a.pbl", "library bytes");
    const platform::TDateTime old = 36526.5;  // 2000-01-01 12:00
    ASSERT_TRUE(platform::SetFileAge("c:\\src\\a.pbl", old));

    ASSERT_TRUE(CopyFileWithStatus("c:\\src\\a.pbl", "c:\\Sorvanti\\a.pbl", true));
    EXPECT_THAT(ui.statusTexts, ElementsAre("Copying c:\\src\\a.pbl to c:\\Sorvanti\\a.pbl."));
    EXPECT_EQ(ui.logLines.size(), 1u);
    EXPECT_EQ(testsupport::ReadFile(ProgramHostDir() + "/a.pbl"), "library bytes");
    auto kept = platform::FileAge("c:\\Sorvanti\\a.pbl");
    ASSERT_TRUE(kept.has_value());
    EXPECT_NEAR(*kept, old, 1.0 / 86400);

    testsupport::WriteFile(ProgramHostDir() + "/b.pbl", "longer old content of b");
    ASSERT_TRUE(CopyFileWithStatus("c:\\src\\a.pbl", "c:\\Sorvanti\\b.pbl", false));
    EXPECT_EQ(testsupport::ReadFile(ProgramHostDir() + "/b.pbl"), "library bytes");
    EXPECT_GT(*platform::FileAge("c:\\Sorvanti\\b.pbl"), old + 1);

    EXPECT_FALSE(CopyFileWithStatus("c:\\src\\missing.pbl", "c:\\Sorvanti\\c.pbl", true));
    EXPECT_FALSE(std::filesystem::exists(ProgramHostDir() + "/c.pbl"));
    EXPECT_FALSE(CopyFileWithStatus("c:\\src\\a.pbl", "c:\\nowhere\\d.pbl", true));
    DoneUtilities();
    EXPECT_THAT(LogMessages(testsupport::ReadFile(LogHostPath())), testing::SizeIs(4));
}

TEST_F(UtilitiesTest, FileFoundAndShortPathName) {
    Start({});
    testsupport::WriteFile(prefix.DriveC() + "/pb5/pb.ini", "[Application]\r\n");
    EXPECT_TRUE(FileFound("c:\\pb5\\pb.ini") && FileFound("c:\\PB5\\PB.INI") &&
                FileFound("c:\\pb5"));
    EXPECT_FALSE(FileFound("c:\\pb5\\missing.ini") || FileFound(""));
    // Names without short forms are kept, also of files that do not exist.
    testsupport::WriteFile(prefix.DriveC() + "/Program Files/Sorvanti App/s.exe", "");
    for (auto name : {"c:\\Program Files\\Sorvanti App\\s.exe", "c:\\missing\\file.txt", "c:\\"})
        EXPECT_EQ(ShortPathName(name), name);
}

}  // namespace
}  // namespace shell
