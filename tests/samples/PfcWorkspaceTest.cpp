// The PFC workspace built from the corpus: every source imported, one library per
// .pbg, one pb.ini application per .pbt, and WIN.INI leading to that pb.ini.

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <set>

#include "orca/OrcaObjects.h"
#include "orca/PblLibrary.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "tests/support/PfcWorkspace.h"

namespace {

TEST(PfcWorkspaceTest, ImportsEverySourceListsEveryTargetAndBuildsAgain) {
    SKIP_WITHOUT_CORPUS();
    testsupport::TempPrefix prefix;
    const testsupport::PfcWorkspace workspace = testsupport::BuildPfcWorkspace(prefix);
    ASSERT_EQ(workspace.error, "");
    if (workspace.Empty())
        GTEST_SKIP() << "no PFC sources in the corpus";
    std::cout << "PFC workspace: " << workspace.libraries.size() << " libraries, "
              << workspace.sourceCount << " sources, built in " << workspace.seconds * 1000
              << " ms (" << workspace.cpuSeconds * 1000 << " ms of processor time)\n";

    EXPECT_EQ(workspace.libraries.size(), 21u);
    ASSERT_EQ(workspace.libraryHostPaths.size(), workspace.libraries.size());
    size_t stored = 0;
    for (size_t i = 0; i < workspace.libraries.size(); ++i) {
        EXPECT_EQ(platform::HostPath(workspace.libraries[i]), workspace.libraryHostPaths[i]);
        const auto library = orca::PblLibrary::Load(workspace.libraryHostPaths[i], nullptr);
        ASSERT_TRUE(library) << workspace.libraries[i];
        stored += library->Entries().size();
    }
    EXPECT_TRUE(stored == 813u && workspace.sourceCount == 813u) << stored;

    // Deep inheritance survives the import: w_master from pfc_w_master from window.
    const auto main =
        orca::PblLibrary::Load(platform::HostPath("c:\\pfc\\pfcmain\\pfcmain.pbl"), nullptr);
    ASSERT_TRUE(main);
    const orca::PblEntry* master = main->Find("pfc_w_master.srw");
    ASSERT_TRUE(master);
    EXPECT_EQ(orca::AncestorOf(master->Body(), "pfc_w_master"), "window");
    EXPECT_FALSE(master->Comment().empty());

    // pb.ini: one $ key per target, each value the target's list made absolute, the
    // application's library first. WIN.INI leads to it.
    EXPECT_EQ(workspace.pbIni, "c:\\pfc\\pb.ini");
    EXPECT_EQ(platform::GetProfileString("PowerBuilder", "InitPath050", ""), "c:\\pfc");
    std::set<std::string> names;
    for (const testsupport::PfcApplication& application : workspace.applications) {
        names.insert(application.name);
        std::string value;
        for (const std::string& library : application.libraryList) {
            value += (value.empty() ? "" : ";") + library;
            EXPECT_NE(std::find(workspace.libraries.begin(), workspace.libraries.end(), library),
                      workspace.libraries.end())
                << application.name << ": " << library;
        }
        EXPECT_TRUE((value + ";").starts_with(application.library + ";")) << application.name;
        EXPECT_EQ(platform::GetPrivateProfileString(
                      "Application", "$" + application.library + "(" + application.name + ")", "",
                      workspace.pbIni),
                  value);
    }
    EXPECT_EQ(names, (std::set<std::string>{"generic_pfc_app", "peat", "pfcexamp", "pfctutor",
                                            "pfcsecurity_admin", "pfcsecurity_scanner"}));
    const auto examples =
        std::find_if(workspace.applications.begin(), workspace.applications.end(),
                     [](const testsupport::PfcApplication& a) { return a.name == "pfcexamp"; });
    ASSERT_NE(examples, workspace.applications.end());
    EXPECT_EQ(examples->library, "c:\\pfc\\examples\\appexamp\\appexamp.pbl");
    EXPECT_EQ(examples->libraryList.size(), 16u);
    EXPECT_EQ(examples->libraryList.back(), "c:\\pfc\\pfcwnsrv\\pfcwnsrv.pbl");

    // A second build over the first.
    const testsupport::PfcWorkspace again = testsupport::BuildPfcWorkspace(prefix);
    EXPECT_TRUE(again.error.empty() && again.sourceCount == 813u) << again.error;
}

}  // namespace
