// The sample workspace as scripts/make-sample-workspace.sh builds it into a prefix:
// its libraries and entries, the pb.ini that lists the two applications, the WIN.INI
// keys that lead to it, and a second build over the first.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "orca/OrcaObjects.h"
#include "orca/PblLibrary.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "tests/support/TestSupport.h"

namespace {

const std::string kDir = "c:\\sorvanti-samples";
const std::string kPbIni = kDir + "\\pb.ini";

std::unique_ptr<orca::PblLibrary> LoadLibrary(const std::string& windowsPath) {
    std::string error;
    auto library = orca::PblLibrary::Load(platform::HostPath(windowsPath), &error);
    EXPECT_TRUE(library) << windowsPath << ": " << error;
    return library;
}

std::set<std::string> EntryNames(const orca::PblLibrary& library) {
    std::set<std::string> names;
    for (const orca::PblEntry& entry : library.Entries())
        names.insert(entry.name);
    return names;
}

class SampleWorkspaceTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(testsupport::BuildSampleWorkspace(prefix_.PrefixPath()), 0); }
    std::string WinIni() const {
        return testsupport::ReadFile(prefix_.PrefixPath() + "/drive_c/windows/win.ini");
    }
    testsupport::TempPrefix prefix_;
};

TEST_F(SampleWorkspaceTest, LibrariesHoldTheSampleObjects) {
    const std::map<std::string, std::set<std::string>> expected = {
        {"ordbase.pbl",
         {"f_log_message.srf", "m_sample_frame.srm", "n_sample_base.sru", "n_sample_tr.sru",
          "u_sample_cb.sru", "u_sample_dw.sru", "w_sample_base.srw", "w_sample_frame.srw",
          "w_sample_sheet.srw"}},
        {"ordutil.pbl",
         {"f_format_amount.srf", "n_order_calc.sru", "s_customer.srs", "s_order_line.srs"}},
        {"orddw.pbl",
         {"d_customer_dddw.srd", "d_order_detail.srd", "d_order_list.srd", "q_open_orders.srq"}},
        {"orders.pbl",
         {"m_orders.srm", "orders.sra", "w_about.srw", "w_main_frame.srw", "w_order_entry.srw",
          "w_orders.srw"}},
        {"stock.pbl", {"d_stock_items.srd", "stock.sra", "w_stock_items.srw"}},
    };
    for (const auto& [file, names] : expected) {
        const auto library = LoadLibrary(kDir + "\\" + file);
        ASSERT_TRUE(library);
        EXPECT_EQ(EntryNames(*library), names) << file;
        EXPECT_FALSE(library->Comment().empty()) << file;
        for (const orca::PblEntry& entry : library->Entries()) {
            // Stored as exported sources are: lines end with CR LF, a comment is kept.
            EXPECT_FALSE(entry.Comment().empty()) << entry.name;
            const std::string_view body = entry.Body();
            EXPECT_NE(body.find("\r\n"), std::string_view::npos) << entry.name;
            EXPECT_EQ(body.find("\n\n"), std::string_view::npos) << entry.name;
        }
    }
    EXPECT_TRUE(platform::HostPath(kDir + "\\ordarch.pbl").empty() ||
                !std::filesystem::exists(platform::HostPath(kDir + "\\ordarch.pbl")));
}

TEST_F(SampleWorkspaceTest, PbIniListsTwoApplicationsSharingABaseLibrary) {
    // PowerBuilder's own keys come first and are no applications.
    std::vector<std::string> applications;
    for (const std::string& key : platform::GetPrivateProfileKeys("Application", kPbIni))
        if (!key.empty() && key[0] == '$')
            applications.push_back(key);
    ASSERT_EQ(applications, (std::vector<std::string>{"$" + kDir + "\\orders.pbl(orders)",
                                                      "$" + kDir + "\\stock.pbl(stock)"}));
    EXPECT_EQ(platform::GetPrivateProfileString("Application", "AppName", "", kPbIni), "orders");

    const std::string orders =
        platform::GetPrivateProfileString("Application", applications[0], "", kPbIni);
    const std::string stock =
        platform::GetPrivateProfileString("Application", applications[1], "", kPbIni);
    EXPECT_EQ(orders, kDir + "\\orders.pbl;" + kDir + "\\ordbase.pbl;" + kDir + "\\ordutil.pbl;" +
                          kDir + "\\orddw.pbl;" + kDir + "\\ordarch.pbl");
    EXPECT_EQ(stock, kDir + "\\stock.pbl;" + kDir + "\\ordbase.pbl");
    const std::string text = testsupport::ReadFile(platform::HostPath(kPbIni));
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1) << "pb.ini lines end with CR LF";
}

TEST_F(SampleWorkspaceTest, InheritanceChainRunsThroughTheLibraryList) {
    // w_order_entry -> w_orders -> w_sample_sheet -> w_sample_base -> window, found by
    // walking the order desk's libraries in search order.
    std::vector<std::unique_ptr<orca::PblLibrary>> libraries;
    for (const char* name : {"orders", "ordbase", "ordutil", "orddw"})
        libraries.push_back(LoadLibrary(kDir + "\\" + name + ".pbl"));
    std::vector<std::string> chain = {"w_order_entry"};
    for (int depth = 0; depth < 10 && chain.back() != "window"; ++depth) {
        std::optional<std::string> ancestor;
        for (const auto& library : libraries) {
            if (const orca::PblEntry* entry = library->Find(chain.back() + ".srw")) {
                ancestor = orca::AncestorOf(entry->Body(), chain.back());
                break;
            }
        }
        ASSERT_TRUE(ancestor) << "no window " << chain.back();
        chain.push_back(*ancestor);
    }
    EXPECT_EQ(chain, (std::vector<std::string>{"w_order_entry", "w_orders", "w_sample_sheet",
                                               "w_sample_base", "window"}));
}

TEST_F(SampleWorkspaceTest, WinIniLeadsToPbIni) {
    for (const char* key : {"InitPath040", "InitPath050", "InitPath60"}) {
        const std::string dir = platform::GetProfileString("PowerBuilder", key, "hello");
        EXPECT_EQ(dir, kDir) << key;
        EXPECT_TRUE(std::filesystem::is_regular_file(platform::HostPath(dir + "\\pb.ini")));
    }
}

TEST_F(SampleWorkspaceTest, SecondBuildReplacesLibrariesAndKeepsOtherWinIniLines) {
    // Changes since the first build: an extra entry, other WIN.INI content, and an
    // installed PowerBuilder 5 whose InitPath must survive.
    ASSERT_EQ(std::system(("'" + std::string(SORVANTI_PBLUTIL) + "' delete '" +
                           platform::HostPath(kDir + "\\stock.pbl") + "' w_stock_items >/dev/null")
                              .c_str()),
              0);
    ASSERT_TRUE(platform::WriteProfileString("PowerBuilder", "InitPath050", "c:\\pwrs\\pb5"));
    ASSERT_TRUE(platform::WriteProfileString("PowerBuilder", "Other", "1"));
    ASSERT_TRUE(platform::WriteProfileString("windows", "load", "x"));

    ASSERT_EQ(testsupport::BuildSampleWorkspace(prefix_.PrefixPath()), 0);
    const auto stock = LoadLibrary(kDir + "\\stock.pbl");
    ASSERT_TRUE(stock);
    EXPECT_TRUE(stock->Find("w_stock_items.srw"));
    EXPECT_EQ(platform::GetProfileString("PowerBuilder", "InitPath050", ""), "c:\\pwrs\\pb5");
    EXPECT_EQ(platform::GetProfileString("PowerBuilder", "InitPath60", ""), kDir);
    EXPECT_EQ(platform::GetProfileString("PowerBuilder", "Other", ""), "1");
    EXPECT_EQ(platform::GetProfileString("windows", "load", ""), "x");
    const std::string winIni = WinIni();
    EXPECT_EQ(winIni.find("InitPath60"), winIni.rfind("InitPath60")) << winIni;
    EXPECT_EQ(winIni.find("[PowerBuilder]"), winIni.rfind("[PowerBuilder]")) << winIni;
    // No staging folder is left behind.
    for (const auto& item : std::filesystem::directory_iterator(platform::HostPath(kDir)))
        EXPECT_NE(item.path().filename().string().rfind(".build", 0), 0u) << item.path();
}

TEST(SampleWorkspaceScriptTest, WithoutPblutilNothingIsWritten) {
    testsupport::TempPrefix prefix;
    EXPECT_NE(testsupport::BuildSampleWorkspace(prefix.PrefixPath(), prefix / "no-pblutil"), 0);
    EXPECT_FALSE(std::filesystem::exists(prefix.DriveC() + "/sorvanti-samples"));
}

}  // namespace
