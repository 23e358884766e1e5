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

using orcatest::WindowSource;
using pbltest::Load;

class Pblutil : public ::testing::Test {
  protected:
    testsupport::TempDir dir;
    const std::string lib = dir / "a.pbl";

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
    std::string Bytes(const std::string& name) { return testsupport::ReadFile(dir / name); }
    // Runs a command that must fail with the status and change nothing in a.pbl; the
    // output must hold `says`.
    void ExpectRefused(const std::vector<std::string>& args, int status, const std::string& says) {
        const std::string before = Bytes("a.pbl");
        EXPECT_EQ(Run(args), status) << args[0];
        EXPECT_NE(Output().find(says), std::string::npos) << Output();
        EXPECT_TRUE(Bytes("a.pbl") == before) << args[0];
    }
};

TEST_F(Pblutil, CreateImportExportDeleteCopy) {
    ASSERT_EQ(Run({"create", lib, "Sample objects", "--format", "0500"}), 0) << Output();
    ExpectRefused({"create", lib}, 1, "exists");
    EXPECT_EQ(Load(lib)->Format(), "0500");

    const std::string body = WindowSource("w_main", "window");
    testsupport::WriteFile(dir / "src/w_main.srw",
                           "HA$PBExportHeader$w_main.srw\r\n$PBExportComments$Main\r\n" + body);
    testsupport::WriteFile(dir / "src/w_other.srw", WindowSource("w_other", "w_main"));
    ASSERT_EQ(Run({"import", lib, dir / "src/w_main.srw", dir / "src/w_other.srw"}), 0) << Output();
    ASSERT_EQ(Run({"list", lib}), 0);
    EXPECT_NE(Output().find("w_other.srw"), std::string::npos);

    // The exports show what the import stored: comment and body.
    ASSERT_EQ(Run({"export", lib, dir / "out", "w_main"}), 0) << Output();
    EXPECT_EQ(Bytes("out/w_main.srw"),
              "$PBExportHeader$w_main.srw\r\n$PBExportComments$Main\r\n" + body);
    EXPECT_FALSE(std::filesystem::exists(dir / "out/w_other.srw"));
    ASSERT_EQ(Run({"export", lib, dir / "ha", "--ha"}), 0);
    EXPECT_EQ(Bytes("ha/w_other.srw"),
              "HA$PBExportHeader$w_other.srw\r\n" + WindowSource("w_other", "w_main"));

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

// A bad file imports nothing, and so do entries no library may store: an import whose
// header names a 300-byte entry, and a copy of an entry with such a name from a library
// another program wrote. Each fails the command, names the file or entry, and changes
// nothing.
TEST_F(Pblutil, BadInputChangesNothing) {
    ASSERT_EQ(Run({"create", lib}), 0);
    const std::string longName = "w_" + std::string(298, 'x');
    testsupport::WriteFile(dir / "w_good.srw", WindowSource("w_good", "window"));
    testsupport::WriteFile(dir / "w_bad.srw", "global type w_bad from window\r\n");
    testsupport::WriteFile(dir / "notes.txt", "hello");
    testsupport::WriteFile(dir / "long.srw", "$PBExportHeader$" + longName + ".srw\r\n" +
                                                 WindowSource(longName, "window"));
    auto other = orca::PblLibrary::Create("0600", "", 0);
    ASSERT_TRUE(other->Put({"w_l.srw", "", 0, 0, "source"}));
    testsupport::WriteFile(
        dir / "long.pbl",
        pbltest::RenameEntries(other->Serialize(), {{"w_l.srw", longName + ".srw"}}));
    ExpectRefused({"import", lib, dir / "w_good.srw", dir / "w_bad.srw"}, 1, "w_bad.srw:");
    ExpectRefused({"import", lib, dir / "notes.txt"}, 1, "notes.txt");
    ExpectRefused({"import", lib, dir / "missing.srw"}, 1, "missing.srw");
    ExpectRefused({"import", lib, dir / "w_good.srw", dir / "long.srw"}, 1,
                  dir / "long.srw: cannot be stored in library " + lib);
    EXPECT_NE(Output().find("longer than 255 bytes"), std::string::npos) << Output();
    ExpectRefused({"copy", dir / "long.pbl", lib, longName}, 1, "longer than 255 bytes");
    ExpectRefused({"list", dir / "missing.pbl"}, 1, "missing.pbl");
    ExpectRefused({"frobnicate"}, 2, "usage:");
    EXPECT_EQ(Run({}), 2);
}

}  // namespace
