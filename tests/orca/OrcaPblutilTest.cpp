// pblutil from the command line: the commands, their all-or-nothing behaviour and exit
// statuses.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "orca/PblLibrary.h"
#include "tests/orca/OrcaTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

class Pblutil : public ::testing::Test {
  protected:
    testsupport::TempDir dir;

    // Runs pblutil with the arguments (each quoted); the exit status.
    int Run(const std::vector<std::string>& args) {
        std::string command = std::string("'") + SORVANTI_PBLUTIL + "'";
        for (const std::string& a : args)
            command += " '" + a + "'";
        command += " >'" + (dir / "out.txt") + "' 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Output() { return testsupport::ReadFile(dir / "out.txt"); }
    std::unique_ptr<orca::PblLibrary> Load(const std::string& path) {
        std::string error;
        auto lib = orca::PblLibrary::Load(path, &error);
        EXPECT_TRUE(lib) << error;
        return lib;
    }
};

TEST_F(Pblutil, CreateImportExportDeleteCopy) {
    const std::string lib = dir / "a.pbl";
    ASSERT_EQ(Run({"create", lib, "Sample objects", "--format", "0500"}), 0) << Output();
    EXPECT_EQ(Run({"create", lib}), 1);
    EXPECT_NE(Output().find("exists"), std::string::npos);
    EXPECT_EQ(Load(lib)->Format(), "0500");

    const std::string body = orcatest::WindowSource("w_main", "window");
    testsupport::WriteFile(dir / "src/w_main.srw",
                           "HA$PBExportHeader$w_main.srw\r\n$PBExportComments$Main\r\n" + body);
    testsupport::WriteFile(dir / "src/w_other.srw", orcatest::WindowSource("w_other", "w_main"));
    ASSERT_EQ(Run({"import", lib, dir / "src/w_main.srw", dir / "src/w_other.srw"}), 0) << Output();
    auto loaded = Load(lib);
    ASSERT_NE(loaded->Find("w_main.srw"), nullptr);
    EXPECT_EQ(loaded->Find("w_main.srw")->Comment(), "Main");
    EXPECT_EQ(loaded->Find("w_main.srw")->Body(), body);
    EXPECT_NE(loaded->Find("w_other.srw"), nullptr);

    ASSERT_EQ(Run({"list", lib}), 0);
    EXPECT_NE(Output().find("w_other.srw"), std::string::npos);

    ASSERT_EQ(Run({"export", lib, dir / "out", "w_main"}), 0) << Output();
    EXPECT_EQ(testsupport::ReadFile(dir / "out/w_main.srw"),
              "$PBExportHeader$w_main.srw\r\n$PBExportComments$Main\r\n" + body);
    EXPECT_FALSE(std::filesystem::exists(dir / "out/w_other.srw"));
    ASSERT_EQ(Run({"export", lib, dir / "ha", "--ha"}), 0);
    EXPECT_EQ(testsupport::ReadFile(dir / "ha/w_other.srw"),
              "HA$PBExportHeader$w_other.srw\r\n" + orcatest::WindowSource("w_other", "w_main"));

    const std::string b = dir / "b.pbl";
    ASSERT_EQ(Run({"create", b}), 0);
    ASSERT_EQ(Run({"copy", lib, b, "w_main", "w_other.srw"}), 0) << Output();
    EXPECT_EQ(Load(b)->Entries().size(), 2u);
    EXPECT_EQ(Run({"delete", b, "w_main", "w_none"}), 1);  // all or nothing
    EXPECT_NE(Output().find("w_none"), std::string::npos);
    EXPECT_EQ(Load(b)->Entries().size(), 2u);
    ASSERT_EQ(Run({"delete", b, "w_main"}), 0);
    EXPECT_EQ(Load(b)->Entries().size(), 1u);
}

TEST_F(Pblutil, ABadFileImportsNothing) {
    const std::string lib = dir / "a.pbl";
    ASSERT_EQ(Run({"create", lib}), 0);
    const std::string before = testsupport::ReadFile(lib);
    testsupport::WriteFile(dir / "w_good.srw", orcatest::WindowSource("w_good", "window"));
    testsupport::WriteFile(dir / "w_bad.srw", "global type w_bad from window\r\n");
    testsupport::WriteFile(dir / "notes.txt", "hello");
    EXPECT_EQ(Run({"import", lib, dir / "w_good.srw", dir / "w_bad.srw"}), 1);
    EXPECT_NE(Output().find("w_bad.srw:"), std::string::npos) << Output();
    EXPECT_EQ(Run({"import", lib, dir / "notes.txt"}), 1);
    EXPECT_EQ(Run({"import", lib, dir / "missing.srw"}), 1);
    EXPECT_EQ(testsupport::ReadFile(lib), before);
    EXPECT_EQ(Run({"list", dir / "missing.pbl"}), 1);
    EXPECT_EQ(Run({"frobnicate"}), 2);
    EXPECT_NE(Output().find("usage:"), std::string::npos);
    EXPECT_EQ(Run({}), 2);
}

}  // namespace
