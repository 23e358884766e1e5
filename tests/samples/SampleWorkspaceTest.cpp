// The sample workspace as scripts/make-sample-workspace.sh builds it into a prefix:
// its libraries and entries, the pb.ini that lists the two applications, the WIN.INI
// keys that lead to it, and a second build over the first.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "orca/OrcaObjects.h"
#include "orca/PblLibrary.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

const std::string Dir = "c:\\sorvanti-samples";
const std::string PbIni = Dir + "\\pb.ini";

std::unique_ptr<orca::PblLibrary> LoadLibrary(const std::string& name) {
    std::string error;
    auto library = orca::PblLibrary::Load(platform::HostPath(Dir + "\\" + name + ".pbl"), &error);
    EXPECT_TRUE(library) << name << ": " << error;
    return library;
}

TEST(SampleWorkspaceTest, LibrariesPbIniAndWinIniKeys) {
    testsupport::TempPrefix prefix;
    ASSERT_EQ(testsupport::BuildSampleWorkspace(prefix.PrefixPath()), 0);
    // Every source of a library's folder of samples/ is stored as exported sources are:
    // lines end with CR LF, a comment is kept.
    const fs::path samples = fs::path(SORVANTI_SAMPLE_SCRIPT).parent_path() / "../samples";
    for (const char* name : {"ordbase", "ordutil", "orddw", "orders", "stock"}) {
        const auto library = LoadLibrary(name);
        ASSERT_TRUE(library);
        EXPECT_FALSE(library->Comment().empty()) << name;
        std::set<std::string> sources, entries;
        for (const auto& file : fs::directory_iterator(samples / name))
            if (platform::MatchesMask(file.path().filename().string(), "*.sr?"))
                sources.insert(file.path().filename().string());
        for (const orca::PblEntry& entry : library->Entries()) {
            entries.insert(entry.name);
            EXPECT_FALSE(entry.Comment().empty()) << entry.name;
            EXPECT_NE(entry.BodyText().find("\r\n"), std::string_view::npos) << entry.name;
            EXPECT_EQ(entry.BodyText().find("\n\n"), std::string_view::npos) << entry.name;
        }
        EXPECT_EQ(entries, sources) << name;
    }

    // Two applications sharing the base library, after PowerBuilder's own keys; the order
    // desk lists the missing ordarch.pbl.
    const std::string orders = "$" + Dir + "\\orders.pbl(orders)",
                      stock = "$" + Dir + "\\stock.pbl(stock)";
    EXPECT_EQ(platform::GetPrivateProfileKeys("Application", PbIni),
              (std::vector<std::string>{"DefLib", "AppName", "AppLib", orders, stock}));
    EXPECT_EQ(platform::GetPrivateProfileString("Application", "AppName", "", PbIni), "orders");
    EXPECT_EQ(platform::GetPrivateProfileString("Application", orders, "", PbIni),
              Dir + "\\orders.pbl;" + Dir + "\\ordbase.pbl;" + Dir + "\\ordutil.pbl;" + Dir +
                  "\\orddw.pbl;" + Dir + "\\ordarch.pbl");
    EXPECT_EQ(platform::GetPrivateProfileString("Application", stock, "", PbIni),
              Dir + "\\stock.pbl;" + Dir + "\\ordbase.pbl");
    const std::string text = testsupport::ReadFile(platform::HostPath(PbIni));
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1) << "pb.ini lines end with CR LF";
    for (const char* key : {"InitPath040", "InitPath050", "InitPath60", "InitPath100"})
        EXPECT_EQ(platform::GetProfileString("PowerBuilder", key, ""), Dir) << key;

    // w_order_entry -> w_orders -> w_sample_sheet -> w_sample_base -> window runs from the
    // order desk's own library into the shared base library.
    const char* const chain[][3] = {{"orders", "w_order_entry", "w_orders"},
                                    {"orders", "w_orders", "w_sample_sheet"},
                                    {"ordbase", "w_sample_sheet", "w_sample_base"},
                                    {"ordbase", "w_sample_base", "window"}};
    for (const auto& [library, window, ancestor] : chain) {
        const auto holder = LoadLibrary(library);
        const orca::PblEntry* entry = holder ? holder->Find(window + std::string(".srw")) : nullptr;
        ASSERT_TRUE(entry) << window;
        EXPECT_EQ(orca::AncestorOf(entry->BodyText(), window), ancestor);
    }
}

TEST(SampleWorkspaceTest, SecondBuildReplacesLibrariesAndKeepsOtherWinIniLines) {
    testsupport::TempPrefix prefix;
    ASSERT_EQ(testsupport::BuildSampleWorkspace(prefix.PrefixPath()), 0);
    // Changes since the first build: a library overwritten, other WIN.INI content, and an
    // installed PowerBuilder 5 whose InitPath must survive.
    testsupport::WriteFile(platform::HostPath(Dir + "\\stock.pbl"), "no library");
    ASSERT_TRUE(platform::WriteProfileString("PowerBuilder", "InitPath050", "c:\\pwrs\\pb5"));
    ASSERT_TRUE(platform::WriteProfileString("PowerBuilder", "Other", "1"));
    ASSERT_TRUE(platform::WriteProfileString("windows", "load", "x"));

    ASSERT_EQ(testsupport::BuildSampleWorkspace(prefix.PrefixPath()), 0);
    const auto stock = LoadLibrary("stock");
    ASSERT_TRUE(stock);
    EXPECT_TRUE(stock->Find("w_stock_items.srw"));
    EXPECT_EQ(platform::GetProfileString("PowerBuilder", "InitPath050", ""), "c:\\pwrs\\pb5");
    EXPECT_EQ(platform::GetProfileString("PowerBuilder", "InitPath60", ""), Dir);
    EXPECT_EQ(platform::GetProfileString("PowerBuilder", "Other", ""), "1");
    EXPECT_EQ(platform::GetProfileString("windows", "load", ""), "x");
    const std::string winIni = testsupport::ReadFile(prefix.DriveC() + "/windows/win.ini");
    EXPECT_EQ(winIni.find("InitPath60"), winIni.rfind("InitPath60")) << winIni;
    EXPECT_EQ(winIni.find("[PowerBuilder]"), winIni.rfind("[PowerBuilder]")) << winIni;
    // No staging folder is left behind.
    for (const auto& item : fs::directory_iterator(platform::HostPath(Dir)))
        EXPECT_FALSE(item.path().filename().string().starts_with(".build")) << item.path();
}

TEST(SampleWorkspaceTest, WithoutPblutilNothingIsWritten) {
    testsupport::TempPrefix prefix;
    EXPECT_NE(testsupport::BuildSampleWorkspace(prefix.PrefixPath(), prefix / "no-pblutil"), 0);
    EXPECT_FALSE(fs::exists(prefix.DriveC() + "/sorvanti-samples"));
}

}  // namespace
