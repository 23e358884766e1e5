// The PFC workspace built from the corpus: every source imported, one library per
// .pbg, one pb.ini application per .pbt, and WIN.INI leading to that pb.ini.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

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

    // Every source stored, with the comment of its export file when it has one (750 do).
    ASSERT_TRUE(workspace.libraries.size() == 21u && workspace.libraryHostPaths.size() == 21u);
    size_t stored = 0, commented = 0;
    for (size_t i = 0; i < workspace.libraries.size(); ++i) {
        EXPECT_EQ(platform::HostPath(workspace.libraries[i]), workspace.libraryHostPaths[i]);
        const auto library = orca::PblLibrary::Load(workspace.libraryHostPaths[i], nullptr);
        ASSERT_TRUE(library) << workspace.libraries[i];
        for (const orca::PblEntry& entry : library->Entries())
            commented += !entry.Comment().empty();
        stored += library->Entries().size();
    }
    EXPECT_TRUE(stored == 813u && workspace.sourceCount == 813u && commented == 750u) << stored;

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
        if (application.name == "pfcexamp") {
            EXPECT_EQ(
                application.library + ", " + std::to_string(application.libraryList.size()) + ", " +
                    application.libraryList.back(),
                "c:\\pfc\\examples\\appexamp\\appexamp.pbl, 16, c:\\pfc\\pfcwnsrv\\pfcwnsrv.pbl");
        }
    }
    EXPECT_EQ(names, (std::set<std::string>{"generic_pfc_app", "peat", "pfcexamp", "pfctutor",
                                            "pfcsecurity_admin", "pfcsecurity_scanner"}));

    // A second build over the first.
    const testsupport::PfcWorkspace again = testsupport::BuildPfcWorkspace(prefix);
    EXPECT_TRUE(again.error.empty() && again.sourceCount == 813u) << again.error;
}

}  // namespace
