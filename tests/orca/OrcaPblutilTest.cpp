// pblutil from the command line: the commands, their all-or-nothing behaviour and exit
// statuses.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "orca/PblLibrary.h"
#include "tests/orca/OrcaTestSupport.h"
#include "tests/orca/PblTestImage.h"
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

// Entries no library may store fail the command, name the entry and change nothing: an
// import whose header names a 300-byte entry, and a copy of an entry with such a name
// from a library another program wrote.
TEST_F(Pblutil, EntriesNoLibraryCanHoldChangeNothing) {
    const std::string lib = dir / "a.pbl";
    ASSERT_EQ(Run({"create", lib}), 0);
    const std::string before = testsupport::ReadFile(lib);
    const std::string longName = "w_" + std::string(298, 'x');
    testsupport::WriteFile(dir / "w_ok.srw", orcatest::WindowSource("w_ok", "window"));
    testsupport::WriteFile(dir / "long.srw", "$PBExportHeader$" + longName + ".srw\r\n" +
                                                 orcatest::WindowSource(longName, "window"));
    EXPECT_EQ(Run({"import", lib, dir / "w_ok.srw", dir / "long.srw"}), 1);
    EXPECT_NE(Output().find(dir / "long.srw: cannot be stored in library " + lib),
              std::string::npos)
        << Output();
    EXPECT_NE(Output().find("longer than 255 bytes"), std::string::npos) << Output();
    EXPECT_TRUE(testsupport::ReadFile(lib) == before);

    auto other = orca::PblLibrary::Create("0600", "", 0);
    ASSERT_TRUE(other->Put({"w_l.srw", "", 0, 0, "source"}));
    testsupport::WriteFile(
        dir / "long.pbl",
        pbltest::RenameEntries(other->Serialize(), {{"w_l.srw", longName + ".srw"}}));
    EXPECT_EQ(Run({"copy", dir / "long.pbl", lib, longName}), 1);
    EXPECT_NE(Output().find("longer than 255 bytes"), std::string::npos) << Output();
    EXPECT_TRUE(testsupport::ReadFile(lib) == before);
}

}  // namespace
