// The application tree's texts, bitmaps and synchronisation, against the sample
// workspace (scripts/make-sample-workspace.sh) loaded through the catalogue.

#include <gmock/gmock.h>

#include <filesystem>

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
    const int* window = cache.Get("window");
    const int* userObject = cache.Get("UserObject");
    EXPECT_EQ(cache.Get("userobject"), userObject);
    EXPECT_EQ(cache.Get("Window"), window);
    const int* fallback = cache.Get("missing");
    EXPECT_EQ(cache.Get("missing"), fallback);
    EXPECT_EQ(*fallback, 1);  // the bitmap loaded first, at construction
    EXPECT_THAT(loads,
                ElementsAre("nonvisualobject", "window", "UserObject", "missing", "missing"));
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
    [[gnu::noinline]] TPBApp* App(const std::string& name) {
        for (const auto& item : Mgr().Apps)
            if (item.Obj->Name == name)
                return item.Obj;
        return nullptr;
    }
    // Loads the application and brings its node in line, as expanding it does.
    TWinTreeNode* LoadApp(const std::string& name) {
        catalogue::LoadNode(App(name));
        TWinTreeNode* node = AppNode(name);
        sync.RefreshNode(node);
        return node;
    }
    static std::vector<std::string> Texts(const TWinTreeNode* parent) {
        std::vector<std::string> out;
        for (TWinTreeNode* n = parent->FirstChild(); n; n = n->NextSibling())
            out.push_back(n->Text());
        return out;
    }
    static std::vector<std::string> FirstWords(const TWinTreeNode* parent) {
        std::vector<std::string> out;
        for (const std::string& text : Texts(parent))
            out.push_back(text.substr(0, text.find(' ')));
        return out;
    }
    // Makes the next change detection see the library as changed.
    void Touch(const std::string& path) {
        catalogue::TPBLib* lib = Mgr().Libs.Find(path);
        ASSERT_NE(lib, nullptr) << path;
        lib->FileDate -= 1;
    }
    // Refreshes the catalogue as the Refresh command does, then the tree.
    void RefreshAll(const std::string& changedLibrary = {}) {
        if (!changedLibrary.empty())
            Touch(changedLibrary);
        Mgr().RefreshAll();
        sync.RefreshTree();
        EXPECT_EQ(tree.VerifyCounts(), "");
    }
    void WriteOrdersPath(const std::string& libraries) {
        ASSERT_TRUE(platform::WritePrivateProfileString(
            "Application", "$" + Dir + "\\orders.pbl(orders)", libraries, Dir + "\\pb.ini"));
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
    EXPECT_THAT(FirstWords(orders->Child(1)),
                ElementsAre("f_log_message", "m_sample_frame", "n_sample_base", "n_sample_tr",
                            "u_sample_cb", "u_sample_dw", "w_sample_base", "w_sample_frame",
                            "w_sample_sheet"));
    const TPBObj* entry = static_cast<TPBObjRef*>(orders->Child(1)->Child(0)->Data())->Obj;
    EXPECT_EQ(orders->Child(1)->Child(0)->Text(), views::EntryLine(*entry));
    EXPECT_FALSE(entry->Comment.empty());

    // A second refresh changes nothing: the same nodes stay.
    TWinTreeNode* ordbase = orders->Child(1);
    TWinTreeNode* first = ordbase->Child(0);
    TWinTreeNode* invalid = orders->Child(4);
    RefreshAll();
    EXPECT_EQ(orders->Child(1), ordbase);
    EXPECT_EQ(ordbase->Child(0), first);
    // The invalid library keeps its node too.
    EXPECT_EQ(orders->Child(4), invalid);
    EXPECT_EQ(orders->Child(4)->Text(), Dir + "\\ordarch.pbl (Invalid Library)");
    EXPECT_EQ(orders->ChildCount(), 5);
}

TEST_F(PbWinTreeTest, ChangedLibraryKeepsItsNodesAndExpansion) {
    TWinTreeNode* orders = LoadApp("orders");
    TWinTreeNode* ordbase = orders->Child(1);
    orders->Expand();
    ordbase->Expand();
    TWinTreeNode* keep = ChildStarting(ordbase, "n_sample_base ");
    TWinTreeNode* changed = ChildStarting(ordbase, "w_sample_base ");
    tree.SelectNode(changed);
    const std::string oldLine = changed->Text();

    const std::string lib = Dir + "\\ordbase.pbl";
    Put(lib, {{"w_sample_base", PBORCA_WINDOW,
               cattest::SourceOf("w_sample_base", PBORCA_WINDOW, "window",
                                 "// a much longer source than before\r\n"),
               "changed comment"},
              cattest::Win("w_added", "w_sample_base")});
    Remove(lib, "f_log_message", PBORCA_FUNCTION);
    RefreshAll(lib);

    EXPECT_EQ(orders->Child(1), ordbase);
    EXPECT_TRUE(orders->Expanded());
    EXPECT_TRUE(ordbase->Expanded());
    EXPECT_THAT(
        FirstWords(ordbase),
        ElementsAre("m_sample_frame", "n_sample_base", "n_sample_tr", "u_sample_cb", "u_sample_dw",
                    "w_added", "w_sample_base", "w_sample_frame", "w_sample_sheet"));
    EXPECT_EQ(ordbase->Child(1), keep);
    // The changed entry has a new node in the same place, with its new line, and the
    // selection followed it.
    TWinTreeNode* now = ChildStarting(ordbase, "w_sample_base ");
    EXPECT_NE(now->Text(), oldLine);
    EXPECT_THAT(now->Text(), testing::EndsWith("changed comment"));
    EXPECT_EQ(tree.SelectedNode(), now);
    // Every node's data is the reference its library reference lists.
    auto* libRef = static_cast<TPBLibRef*>(ordbase->Data());
    for (int i = 0; i < ordbase->ChildCount(); ++i)
        EXPECT_EQ(ordbase->Child(i)->Data(), libRef->ObjRefs[i]) << i;
}

TEST_F(PbWinTreeTest, RemovedAndAddedApplicationsFollowPbIni) {
    TWinTreeNode* orders = LoadApp("orders");
    orders->Expand();
    TWinTreeNode* stock = AppNode("stock");
    tree.SelectNode(stock);

    std::string ini = testsupport::ReadFile(prefix.DriveC() + "/sorvanti-samples/pb.ini");
    const size_t at = ini.find("$" + Dir + "\\stock.pbl(stock)");
    ini.erase(at, ini.find("\r\n", at) + 2 - at);
    ini.insert(at, "$" + Dir + "\\stock.pbl(aaa)=" + Dir + "\\stock.pbl\r\n");
    testsupport::WriteFile(prefix.DriveC() + "/sorvanti-samples/pb.ini", ini);
    RefreshAll();

    EXPECT_THAT(FirstWords(Top()), ElementsAre("aaa", "orders"));
    EXPECT_EQ(Top()->Child(1), orders);
    EXPECT_TRUE(orders->Expanded());
    EXPECT_EQ(orders->ChildCount(), 5);
    // The selected application is gone: the first node is selected.
    EXPECT_EQ(tree.SelectedItem(), 1);
}

TEST_F(PbWinTreeTest, ReorderedLibraryPathMovesTheNodesIntoPathOrder) {
    TWinTreeNode* orders = LoadApp("orders");
    std::vector<TWinTreeNode*> before;
    for (int i = 0; i < 4; ++i)
        before.push_back(orders->Child(i));
    // The last valid library moves to the front, the rest keep their order.
    WriteOrdersPath(Dir + "\\orddw.pbl;" + Dir + "\\orders.pbl;" + Dir + "\\ordbase.pbl;" + Dir +
                    "\\ordutil.pbl;" + Dir + "\\ordarch.pbl");
    App("orders")->LoadLibraryList();
    sync.RefreshTree();

    EXPECT_THAT(FirstWords(orders),
                ElementsAre(Dir + "\\orddw.pbl", Dir + "\\orders.pbl", Dir + "\\ordbase.pbl",
                            Dir + "\\ordutil.pbl", Dir + "\\ordarch.pbl"));
    EXPECT_EQ(orders->Child(0), before[3]);
    EXPECT_EQ(orders->Child(1), before[0]);
    EXPECT_EQ(tree.VerifyCounts(), "");
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

    TWinTreeNode* ordbase = orders->Child(1);
    auto rootClass = [&](const std::string& name) {
        return ChildStarting(ordbase, name + " ")->ImageName();
    };
    EXPECT_TRUE(platform::AnsiSameText(rootClass("w_sample_sheet"), "window"));
    EXPECT_EQ(rootClass("u_sample_cb"), "commandbutton");
    EXPECT_EQ(rootClass("n_sample_base"), "nonvisualobject");
    EXPECT_EQ(ChildStarting(ordbase, "m_sample_frame ")->Tag(), PBORCA_MENU);

    // The catalogue drops an entry before the tree is synchronised: its node stays,
    // unread, until the synchronisation removes it.
    Remove(Dir + "\\ordbase.pbl", "u_sample_cb", PBORCA_USEROBJECT);
    Touch(Dir + "\\ordbase.pbl");
    Mgr().RefreshAll();
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
    int twins = 0;
    for (TWinTreeNode* n = ordutil->FirstChild(); n; n = n->NextSibling()) {
        if (n->Text().rfind("x_twin ", 0) != 0)
            continue;
        ++twins;
        EXPECT_EQ(static_cast<TPBObjRef*>(n->Data())->Obj->EntryType, n->Tag());
    }
    EXPECT_EQ(twins, 2);
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
    EXPECT_EQ(views::EntryImageName(*app->SystemRoot), "System");
    ASSERT_GT(top->ChildCount(), 0);
    EXPECT_EQ(hsync.ResolveNode(top->Child(0)).kind, TPBNodeKind::ObjRef);
    // A node whose object its ancestor does not list is not trusted.
    hierarchy.AddChildObject(system, "bogus", &Mgr());
    EXPECT_EQ(hsync.ResolveNode(top->LastChild()).kind, TPBNodeKind::Other);
}

}  // namespace
