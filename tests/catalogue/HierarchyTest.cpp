// Ancestors from source and from ORCA's hierarchy query, the inheritance tree, root
// classes, walks and the run flag, and loops in ancestor chains.

#include "tests/catalogue/CatalogueTestSupport.h"

namespace cattest {
namespace {

class HierarchyTest : public CatalogueTest {};

// Ancestors are found by type in search order, else under System. Loading again resolves
// only new references and gives a library node no second ones; walks go depth first (the
// walk test below shows the message loop running after each entry) and stop with the run
// flag.
TEST_F(HierarchyTest, AncestorsAreFoundByTypeInSearchOrderAndWalksGoDepthFirst) {
    MakeLibrary("c:\\h\\one.pbl", {Obj("w_a", PBORCA_DATAWINDOW, ""), Win("w_b", "w_a"),
                                   Win("w_c", "window"), Win("w_c1", "w_c")});
    MakeLibrary("c:\\h\\two.pbl", {Win("w_a", "window"), Uo("u_base"), Uo("u_x", "u_base")});
    TPBApp* app = LoadApp("c:\\h\\one.pbl;c:\\h\\two.pbl");

    TPBObjRef* wb = Ref(app, "w_b");
    TPBObjRef* wa = Ref(app, "w_a");
    ASSERT_TRUE(wb && wa);
    // The datawindow w_a of the earlier library is not taken: the types differ.
    EXPECT_EQ(wb->Parent, wa);
    EXPECT_EQ(wa->LibRef, app->LibRef(1));
    // Two windows from "window" share one reference under System.
    TPBObjRef* window = Ref(app, "w_c")->Parent;
    EXPECT_EQ(wa->Parent, window);
    EXPECT_EQ(window->LibRef, nullptr);
    EXPECT_EQ(window->Parent, app->SystemRoot);
    catalogue::LoadNode(app);
    catalogue::LoadNode(app->LibRef(0));
    EXPECT_THAT(Names(app->LibRef(0)->ObjRefs), ElementsAre("w_a", "w_b", "w_c", "w_c1"));
    EXPECT_THAT(Names(window->Children), ElementsAre("w_c", "w_a"));

    // Root classes: the ancestor just below System.
    EXPECT_EQ(catalogue::RootClass(*wb), window);
    EXPECT_EQ(catalogue::RootClass(*Ref(app, "u_x", PBORCA_USEROBJECT))->Obj->Name,
              "nonvisualobject");
    EXPECT_EQ(catalogue::RootClass(*app->SystemRoot), app->SystemRoot);

    // System classes of the table first in table order (exact case), the rest after.
    const std::vector<std::string> sys = Names(app->SysRefs);
    EXPECT_EQ(sys[0], "datawindow");  // the datawindow's system class
    EXPECT_THAT(sys,
                testing::UnorderedElementsAre("datawindow", "System", "window", "nonvisualobject"));
    EXPECT_THAT(LogWith("Orca Error: Entry"), IsEmpty());

    // The walk stops where it is when the run flag clears, and starts no other.
    std::vector<std::string> order;
    const auto walk = [&](const std::string& stopAt) {
        order.clear();
        catalogue::WalkDescendants(*window, [&](TPBObjRef& r) {
            order.push_back(r.Obj->Name);
            if (r.Obj->Name == stopAt)
                catalogue::SetRunFlag(false);
        });
    };
    walk("");
    EXPECT_THAT(order, ElementsAre("w_c", "w_c1", "w_a", "w_b"));
    walk("w_c1");
    EXPECT_THAT(order, ElementsAre("w_c", "w_c1"));
    walk("");
    EXPECT_THAT(order, IsEmpty());
}

// The ancestor is read from the global type line of the entry's own name; an entry
// without source asks ORCA, and falls back to its system class.
TEST_F(HierarchyTest, AncestorNameReadsTheSourceElseAsksORCAElseTakesTheSystemClass) {
    MakeLibrary("c:\\h\\lib.pbl",
                {Win("w_child", "w_parent"), Uo("u_base"), Uo("u_kid", "u_base")});
    TPBApp* app = LoadApp("c:\\h\\lib.pbl");
    TPBObjRef* ref = Ref(app, "w_child");
    EXPECT_EQ(catalogue::AncestorName(*ref), "w_parent");

    const struct {
        std::string source, ancestor;
    } cases[] = {
        {"global type W_CHILD from w_parent\r\nend type\r\n", "Window"},  // the case differs
        {"global type w_other from w_x\r\nglobal type w_child from w_first\r\n"
         "global type w_child from w_second\r\n",
         "w_first"},
        {"global type w_child from n_base autoinstantiate\r\n", "n_base"},
        {"global type w_child from w_cut_without_line_end", "Window"},
        // Lone LF line ends (sources written by other tools): the name stops at the line.
        {"global type w_child from w_lf\nend type\nevent open\r\n", "w_lf"},
        {"global type w_child from w_cr\rend type\r", "w_cr"},
    };
    for (const auto& c : cases) {
        ref->Obj->Source = c.source + '\0';
        EXPECT_EQ(catalogue::AncestorName(*ref), c.ancestor) << c.source;
    }

    // A user object whose export fails: ORCA's hierarchy query stands in.
    TPBObjRef ghost(*app, app->LibRef(0), "u_ghost");
    ghost.Obj->EntryType = PBORCA_USEROBJECT;
    ghost.Obj->LoadFailed = true;
    EXPECT_EQ(catalogue::AncestorName(ghost), "UserObject");

    // An entry whose source is not in memory (and cannot be had) asks ORCA, which
    // follows the library's own sources.
    TPBObjRef* kid = Ref(app, "u_kid", PBORCA_USEROBJECT);
    kid->Obj->Source.clear();
    kid->Obj->LoadFailed = true;
    EXPECT_EQ(catalogue::AncestorName(*kid), "u_base");
}

TEST_F(HierarchyTest, AncestorLoopsEndUnderTheSystemClassAndEveryChainEnds) {
    MakeLibrary("c:\\h\\loop.pbl", {Win("w_self", "w_self"), Win("w_ping", "w_pong"),
                                    Win("w_pong", "w_ping"), Win("w_kid", "w_ping")});
    TPBApp* app = LoadApp("c:\\h\\loop.pbl");
    TPBObjRef* self = Ref(app, "w_self");
    TPBObjRef* ping = Ref(app, "w_ping");
    TPBObjRef* pong = Ref(app, "w_pong");
    EXPECT_EQ(self->Parent->Obj->Name, "Window");
    EXPECT_TRUE(ping->Parent == pong || pong->Parent == ping);
    EXPECT_EQ(catalogue::RootClass(*self)->Obj->Name, "Window");
    EXPECT_EQ(catalogue::RootClass(*ping)->Obj->Name, "Window");
    EXPECT_EQ(catalogue::RootClass(*Ref(app, "w_kid"))->Obj->Name, "Window");
    EXPECT_EQ(LogWith("Ancestor loop: c:\\h\\loop.pbl->").size(), 2u);

    int visited = 0;
    catalogue::WalkDescendants(*app->SystemRoot, [&](TPBObjRef&) { ++visited; });
    // Window, w_self, w_ping/w_pong, w_kid.
    EXPECT_EQ(visited, 5);
}

// A walk paused in the message pump while the user takes a library and then the
// application out of pb.ini (by the two commands, or by editing pb.ini and reloading):
// nothing is freed under the walk, which passes over what left and ends; what left is
// freed when it ends.
TEST_F(HierarchyTest, FreeingDuringAWalkWaitsForItsEndAndTheWalkPassesOverWhatLeft) {
    MakeLibrary("c:\\h\\base.pbl", {Win("w_a"), Win("w_a1", "w_a"), Win("w_b")});
    MakeLibrary("c:\\h\\kids.pbl", {Win("w_k1", "w_a"), Win("w_k2", "w_a1")});
    for (const bool byCommand : {true, false}) {
        SCOPED_TRACE(byCommand ? "pb.ini commands" : "pb.ini edited and read again");
        catalogue::CreateOrcaMgr();
        TPBApp* app = LoadApp("c:\\h\\base.pbl;c:\\h\\kids.pbl");
        TPBObjRef* window = Ref(app, "w_a")->Parent;
        std::vector<std::string> order;
        std::vector<int> retired;
        screen.onProcessMessages = [&] {
            if (order.back() == "w_a1") {
                if (byCommand) {
                    ASSERT_TRUE(catalogue::DeleteLibFromPBIni(app->LibRef(1)));
                } else {
                    WritePBIni("[Application]\r\n$c:\\h\\base.pbl(app)=c:\\h\\base.pbl\r\n");
                    app->LoadLibraryList();
                }
            } else if (order.back() == "w_b") {
                if (byCommand) {
                    ASSERT_TRUE(catalogue::DeleteAppFromPBIni(app));
                } else {
                    WritePBIni("[Application]\r\n");
                    Mgr().LoadApplications();
                }
            }
            retired.push_back(Mgr().RetiredCount());
        };
        catalogue::WalkDescendants(*window, [&](TPBObjRef& r) { order.push_back(r.Obj->Name); });
        screen.onProcessMessages = nullptr;
        // w_k2 and w_k1 left with their library; nothing is reached after the application.
        // Kept meanwhile: the library reference with its two entry references, then the
        // application too.
        EXPECT_THAT(order, ElementsAre("w_a", "w_a1", "w_b"));
        EXPECT_THAT(retired, ElementsAre(0, 3, 4));
        EXPECT_EQ(Mgr().RetiredCount(), 0);
        EXPECT_EQ(Mgr().Apps.Count(), 0);
    }
}

}  // namespace
}  // namespace cattest
