// The application tree's texts, bitmaps and synchronisation, against the sample
// workspace (scripts/make-sample-workspace.sh) loaded through the catalogue.

#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "platform/Profile.h"
#include "tests/catalogue/CatalogueTestSupport.h"
#include "views/PBTreeSync.h"

namespace {

using catalogue::TPBApp;
using catalogue::TPBLibRef;
using catalogue::TPBObj;
using catalogue::TPBObjRef;
using testing::ElementsAre;
using views::TCustomWinTree;
using views::TPBNodeKind;
using views::TWinTreeNode;

std::string Pad(std::string text, size_t width) {
    text.resize(std::max(text.size(), width), ' ');
    return text;
}

// ---- Texts ------------------------------------------------------------------------------

TEST(PbWinTreeTextTest, EntryLineHasFixedColumnsAndKeepsLongNames) {
    TPBObj obj("W_Main", nullptr);
    obj.Size = 1234;
    obj.Comment = "Main window";
    obj.CreateTime = 35859.0 + (14 * 3600 + 7 * 60 + 9) / 86400.0;  // 1998-03-05 14:07:09
    EXPECT_EQ(views::EntryLine(obj), Pad("w_main", 32) + " 03/05/98 14:07:09 (1234)  Main window");

    TPBObj longName(std::string(40, 'X'), nullptr);
    longName.CreateTime = 38718.0;  // 2006-01-01 00:00:00
    longName.Size = 123456789;
    EXPECT_EQ(views::EntryLine(longName), std::string(40, 'x') + " 01/01/06 00:00:00 (123456789)");
    // A date the calendar cannot hold leaves the column blank rather than garbage.
    longName.CreateTime = 1e300;
    EXPECT_EQ(views::EntryLine(longName), std::string(40, 'x') + "            (123456789)");
}

TEST(PbWinTreeTextTest, IconCacheLoadsEachNameOnceAndRetriesFailedNames) {
    std::vector<std::string> loads;
    views::TIconCache<int> cache("nonvisualobject", [&](std::string_view name) {
        loads.emplace_back(name);
        return name == "missing" ? nullptr : std::make_unique<int>(static_cast<int>(loads.size()));
    });
    const int* window = cache.Get("Window");
    EXPECT_EQ(cache.Get("window"), window);
    const int* fallback = cache.Get("missing");
    EXPECT_EQ(cache.Get("missing"), fallback);
    EXPECT_EQ(*fallback, 1);  // the bitmap loaded first, at construction
    EXPECT_THAT(loads, ElementsAre("nonvisualobject", "Window", "missing", "missing"));
}

// ---- The sample workspace ---------------------------------------------------------------

const std::string Dir = "c:\\sorvanti-samples";

class PbWinTreeTest : public cattest::CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        ASSERT_EQ(testsupport::BuildSampleWorkspace(prefix.PrefixPath()), 0);
        shell::OptionsForm().PBIniFileName = Dir + "\\pb.ini";
        shell::OptionsForm().AllLibRefresh.SetChecked(true);
        Mgr().LoadApplications();
        ASSERT_EQ(Mgr().Apps.Count(), 2);
        tree.AddChildObject(0, "PowerBuilder", &Mgr());
        sync.RefreshTree();
        tree.Expand(1);
    }

    TWinTreeNode* Top() { return tree.Items(1); }
    TWinTreeNode* AppNode(const std::string& name) { return ChildStarting(Top(), name + " "); }
    static TWinTreeNode* ChildStarting(TWinTreeNode* parent, const std::string& start) {
        for (TWinTreeNode* n = parent->FirstChild(); n; n = n->NextSibling())
            if (n->Text().rfind(start, 0) == 0)
                return n;
        return nullptr;
    }
    TPBApp* App(const std::string& name) { return static_cast<TPBApp*>(AppNode(name)->Data()); }
    // Loads the application and brings its node in line, as expanding it does.
    TWinTreeNode* LoadApp(const std::string& name) {
        catalogue::LoadNode(App(name));
        TWinTreeNode* node = AppNode(name);
        sync.RefreshNode(node);
        return node;
    }
    // The children's texts, or their first words.
    static std::vector<std::string> Texts(const TWinTreeNode* parent, bool firstWords = false) {
        std::vector<std::string> out;
        for (TWinTreeNode* n = parent->FirstChild(); n; n = n->NextSibling())
            out.push_back(firstWords ? n->Text().substr(0, n->Text().find(' ')) : n->Text());
        return out;
    }
    // Refreshes the catalogue as the Refresh command does, the changed library seen as
    // changed, then the tree unless told not to.
    void RefreshAll(const std::string& changedLibrary = {}, bool andTree = true) {
        if (catalogue::TPBLib* lib = Mgr().Libs.Find(changedLibrary))
            lib->FileDate -= 1;
        Mgr().RefreshAll();
        if (andTree)
            sync.RefreshTree();
        EXPECT_EQ(tree.VerifyCounts(), "");
    }

    TCustomWinTree tree;
    views::TPBTreeSync sync{tree};
};

TEST_F(PbWinTreeTest, ApplicationsLibrariesAndEntriesAppearInCatalogueOrder) {
    EXPECT_THAT(Texts(Top()), ElementsAre(Pad("orders", 32) + " (c:\\sorvanti-samples\\orders.pbl)",
                                          Pad("stock", 32) + " (c:\\sorvanti-samples\\stock.pbl)"));
    EXPECT_EQ(tree.SelectedItem(), 1);  // nothing was selected: the first node is

    TWinTreeNode* orders = LoadApp("orders");
    EXPECT_THAT(Texts(orders),
                ElementsAre(Dir + "\\orders.pbl", Dir + "\\ordbase.pbl", Dir + "\\ordutil.pbl",
                            Dir + "\\orddw.pbl", Dir + "\\ordarch.pbl (Invalid Library)"));
    // Entries in the library's order: functions, menus, user objects, windows.
    EXPECT_THAT(Texts(orders->Child(1), true),
                ElementsAre("f_log_message", "m_sample_frame", "n_sample_base", "n_sample_tr",
                            "u_sample_cb", "u_sample_dw", "w_sample_base", "w_sample_frame",
                            "w_sample_sheet"));
    const TPBObj* entry = static_cast<TPBObjRef*>(orders->Child(1)->Child(0)->Data())->Obj;
    EXPECT_EQ(orders->Child(1)->Child(0)->Text(), views::EntryLine(*entry));
    EXPECT_FALSE(entry->Comment.empty());
}

TEST_F(PbWinTreeTest, ChangedLibraryKeepsItsNodesAndExpansion) {
    TWinTreeNode* orders = LoadApp("orders");
    TWinTreeNode* ordbase = orders->Child(1);
    orders->Expand();
    ordbase->Expand();
    TWinTreeNode* keep = ChildStarting(ordbase, "n_sample_base ");
    tree.SelectNode(ChildStarting(ordbase, "w_sample_base "));
    // Libraries the refresh leaves alone, the invalid one too, keep their nodes.
    TWinTreeNode* untouched = orders->Child(2)->FirstChild();
    TWinTreeNode* invalid = orders->Child(4);

    const std::string lib = Dir + "\\ordbase.pbl";
    Put(lib, {{"w_sample_base", PBORCA_WINDOW,
               cattest::SourceOf("w_sample_base", PBORCA_WINDOW, "window",
                                 "// a much longer source than before\r\n"),
               "changed comment"},
              cattest::Win("w_added", "w_sample_base")});
    Remove(lib, "f_log_message", PBORCA_FUNCTION);
    RefreshAll(lib);

    EXPECT_EQ(orders->Child(1), ordbase);
    EXPECT_EQ(orders->Child(2)->FirstChild(), untouched);
    EXPECT_EQ(orders->Child(4), invalid);
    EXPECT_EQ(invalid->Text(), Dir + "\\ordarch.pbl (Invalid Library)");
    EXPECT_TRUE(orders->Expanded() && ordbase->Expanded());
    EXPECT_THAT(
        Texts(ordbase, true),
        ElementsAre("m_sample_frame", "n_sample_base", "n_sample_tr", "u_sample_cb", "u_sample_dw",
                    "w_added", "w_sample_base", "w_sample_frame", "w_sample_sheet"));
    EXPECT_EQ(ordbase->Child(1), keep);
    // The changed entry has a new node in the same place, with its new line, and the
    // selection followed it.
    TWinTreeNode* now = ChildStarting(ordbase, "w_sample_base ");
    EXPECT_THAT(now->Text(), testing::EndsWith("changed comment"));
    EXPECT_EQ(tree.SelectedNode(), now);
    // Every node's data is the reference its library reference lists.
    auto* libRef = static_cast<TPBLibRef*>(ordbase->Data());
    for (int i = 0; i < ordbase->ChildCount(); ++i)
        EXPECT_EQ(ordbase->Child(i)->Data(), libRef->ObjRefs[i]) << i;
}

// A reordered library path moves the library nodes into its order; an application
// renamed in pb.ini is a new node in pb.ini's order, the other keeps its node.
TEST_F(PbWinTreeTest, LibraryPathAndPbIniChangesMoveTheNodes) {
    TWinTreeNode* orders = LoadApp("orders");
    orders->Expand();
    std::vector<TWinTreeNode*> before;
    for (int i = 0; i < 4; ++i)
        before.push_back(orders->Child(i));
    // The last valid library moves to the front, the rest keep their order.
    ASSERT_TRUE(platform::WritePrivateProfileString(
        "Application", "$" + Dir + "\\orders.pbl(orders)",
        Dir + "\\orddw.pbl;" + Dir + "\\orders.pbl;" + Dir + "\\ordbase.pbl;" + Dir +
            "\\ordutil.pbl;" + Dir + "\\ordarch.pbl",
        Dir + "\\pb.ini"));
    App("orders")->LoadLibraryList();
    sync.RefreshTree();
    EXPECT_THAT(Texts(orders, true),
                ElementsAre(Dir + "\\orddw.pbl", Dir + "\\orders.pbl", Dir + "\\ordbase.pbl",
                            Dir + "\\ordutil.pbl", Dir + "\\ordarch.pbl"));
    EXPECT_EQ(orders->Child(0), before[3]);
    EXPECT_EQ(orders->Child(1), before[0]);
    EXPECT_EQ(tree.VerifyCounts(), "");

    tree.SelectNode(AppNode("stock"));
    std::string ini = testsupport::ReadFile(prefix.DriveC() + "/sorvanti-samples/pb.ini");
    const size_t at = ini.find("$" + Dir + "\\stock.pbl(stock)");
    ini.erase(at, ini.find("\r\n", at) + 2 - at);
    ini.insert(at, "$" + Dir + "\\stock.pbl(aaa)=" + Dir + "\\stock.pbl\r\n");
    testsupport::WriteFile(prefix.DriveC() + "/sorvanti-samples/pb.ini", ini);
    RefreshAll();
    EXPECT_THAT(Texts(Top(), true), ElementsAre("aaa", "orders"));
    EXPECT_EQ(Top()->Child(1), orders);
    EXPECT_TRUE(orders->Expanded());
    EXPECT_EQ(orders->ChildCount(), 5);
    EXPECT_EQ(tree.SelectedItem(), 1);  // the selected application is gone: the first node
}

TEST_F(PbWinTreeTest, BitmapsAreSettledBySynchronisingAndStaleEntriesLeaveThere) {
    TWinTreeNode* orders = LoadApp("orders");
    App("orders")->ReplicationRole = 2;
    sync.RefreshTree();
    auto images = [](const TWinTreeNode* n) { return n->ImageName() + "|" + n->OpenImageName(); };
    EXPECT_EQ(images(Top()), "|");
    EXPECT_EQ(images(orders), "ApplicationReplicationDestination|");
    EXPECT_EQ(images(AppNode("stock")), "application|");
    EXPECT_EQ(images(orders->Child(1)), "LIBraryclosed|LIBRARYOPEN");
    EXPECT_EQ(images(orders->Child(4)), "LIBraryRed|");
    // An entry shows its root class, and keeps its type beside it.
    TWinTreeNode* ordbase = orders->Child(1);
    const std::tuple<const char*, const char*, int> entries[] = {
        {"f_log_message", "function_object", PBORCA_FUNCTION},
        {"m_sample_frame", "menu", PBORCA_MENU},
        {"n_sample_base", "nonvisualobject", PBORCA_USEROBJECT},
        {"u_sample_cb", "commandbutton", PBORCA_USEROBJECT},
        {"w_sample_sheet", "window", PBORCA_WINDOW}};
    for (const auto& [name, rootClass, type] : entries) {
        const TWinTreeNode* n = ChildStarting(ordbase, std::string(name) + " ");
        ASSERT_NE(n, nullptr) << name;
        EXPECT_TRUE(platform::AnsiSameText(n->ImageName(), rootClass) && n->Tag() == type) << name;
    }

    // The catalogue drops an entry before the tree is synchronised: its node stays,
    // unread, until the synchronisation removes it.
    Remove(Dir + "\\ordbase.pbl", "u_sample_cb", PBORCA_USEROBJECT);
    RefreshAll(Dir + "\\ordbase.pbl", false);
    TWinTreeNode* stale = ChildStarting(ordbase, "u_sample_cb ");
    EXPECT_EQ(sync.ResolveNode(stale).kind, TPBNodeKind::Stale);
    sync.RefreshTree();
    EXPECT_EQ(ChildStarting(ordbase, "u_sample_cb "), nullptr);

    // An application deleted from pb.ini: its node no longer stands for anything.
    TWinTreeNode* stock = AppNode("stock");
    ASSERT_TRUE(catalogue::DeleteAppFromPBIni(App("stock")));
    EXPECT_EQ(sync.ResolveNode(stock).kind, TPBNodeKind::Other);
    sync.RefreshTree();
    EXPECT_EQ(AppNode("stock"), nullptr);
}

TEST_F(PbWinTreeTest, LibraryNodeFollowsItsValidityAndEntriesPairByType) {
    TWinTreeNode* orders = LoadApp("orders");
    orders->Expand();
    // The missing library's file arrives: the same node, no longer marked invalid, with
    // the library's entries below it.
    TWinTreeNode* ordarch = orders->Child(4);
    std::filesystem::copy_file(prefix.DriveC() + "/sorvanti-samples/ordutil.pbl",
                               prefix.DriveC() + "/sorvanti-samples/ordarch.pbl");
    RefreshAll();
    EXPECT_EQ(orders->Child(4), ordarch);
    EXPECT_EQ(ordarch->Text(), Dir + "\\ordarch.pbl");
    EXPECT_EQ(ordarch->ImageName(), "LIBraryclosed");
    EXPECT_GT(ordarch->ChildCount(), 0);

    TWinTreeNode* ordutil = orders->Child(2);
    // A menu and a window of the same name each keep their own node.
    const std::string lib = Dir + "\\ordutil.pbl";
    Put(lib, {cattest::Win("x_twin", "window")});
    RefreshAll(lib);
    Put(lib, {{"x_twin", PBORCA_MENU, cattest::SourceOf("x_twin", PBORCA_MENU, "menu"), ""}});
    RefreshAll(lib);
    // The refresh pairs the catalogue's entries by name and type too: one of each.
    std::vector<int> twins;
    for (TWinTreeNode* n = ordutil->FirstChild(); n; n = n->NextSibling()) {
        if (n->Text().rfind("x_twin ", 0) != 0)
            continue;
        twins.push_back(static_cast<TPBObjRef*>(n->Data())->Obj->EntryType);
        EXPECT_EQ(twins.back(), n->Tag());
    }
    std::sort(twins.begin(), twins.end());
    EXPECT_EQ(twins, (std::vector<int>{PBORCA_MENU, PBORCA_WINDOW}));
}

TEST_F(PbWinTreeTest, HierarchyTreeNodesResolveThroughTheirAncestors) {
    LoadApp("orders");
    TPBApp* app = App("orders");
    TCustomWinTree hierarchy;
    views::TPBTreeSync hsync(hierarchy);
    const int system = hierarchy.AddChildObject(0, "System", app->SystemRoot);
    TWinTreeNode* top = hierarchy.Items(system);
    for (const auto& item : app->SystemRoot->Children)
        hierarchy.AddChildObject(system, item.Obj->Obj->Name, item.Obj);
    ASSERT_GT(top->ChildCount(), 0);
    EXPECT_EQ(hsync.ResolveNode(top->Child(0)).kind, TPBNodeKind::ObjRef);
    // A node whose object its ancestor does not list is not trusted.
    hierarchy.AddChildObject(system, "bogus", &Mgr());
    EXPECT_EQ(hsync.ResolveNode(top->LastChild()).kind, TPBNodeKind::Other);
}

}  // namespace
