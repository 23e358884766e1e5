// The catalogue over the PowerBuilder Foundation Classes: every application of the
// workspace loads with its hierarchy, and the hierarchy is the one the sources declare.

#include "tests/catalogue/CatalogueTestSupport.h"
#include "tests/support/PfcWorkspace.h"

namespace cattest {
namespace {

class PfcTest : public CatalogueTest {};

TEST_F(PfcTest, EveryApplicationLoadsWithTheHierarchyItsSourcesDeclare) {
    SKIP_WITHOUT_CORPUS();
    const testsupport::PfcWorkspace workspace = testsupport::BuildPfcWorkspace(prefix);
    ASSERT_TRUE(workspace.error.empty()) << workspace.error;
    if (workspace.Empty())
        GTEST_SKIP() << "no PFC sources in the corpus";

    // pb.ini is found through WIN.INI, as PowerBuilder's own is.
    Mgr().LoadApplications();
    ASSERT_EQ(Mgr().PBIniFile(), workspace.pbIni);
    ASSERT_EQ(static_cast<size_t>(Mgr().Apps.Count()), workspace.applications.size());

    for (const testsupport::PfcApplication& expected : workspace.applications) {
        TPBApp* app = Mgr().Apps.Find(expected.name + ";(" + expected.library + ")");
        ASSERT_NE(app, nullptr) << expected.name;
        catalogue::LoadNode(app);
        ASSERT_EQ(static_cast<size_t>(app->LibRefs.Count()), expected.libraryList.size());

        // Every entry reference reaches System, and its parent is the entry its source
        // names when the path holds one of that name and type.
        int refs = 0;
        app->ForEachObjRef([&](TPBObjRef& ref) {
            ++refs;
            ASSERT_NE(ref.Parent, nullptr);
            const std::string ancestor = catalogue::AncestorName(ref);
            EXPECT_TRUE(platform::AnsiSameText(ref.Parent->Obj->Name, ancestor)) << ref.Obj->Name;
            if (ref.Parent->LibRef) {
                EXPECT_EQ(ref.Parent->Obj->EntryType, ref.Obj->EntryType);
            }
            EXPECT_EQ(catalogue::RootClass(ref)->Parent, app->SystemRoot);
        });
        EXPECT_GT(refs, 0);
    }
    for (const char* failure : {"Orca Error", "Load Error", "Ancestor loop"})
        EXPECT_THAT(LogWith(failure), IsEmpty());

    // The application built on the PFC extension layer: w_master under the library's
    // pfc_w_master, whose root class is window.
    TPBApp* withMaster = nullptr;
    for (const auto& item : Mgr().Apps)
        if (Ref(item.Obj, "w_master", PBORCA_WINDOW))
            withMaster = item.Obj;
    ASSERT_NE(withMaster, nullptr);
    TPBObjRef* master = Ref(withMaster, "w_master", PBORCA_WINDOW);
    EXPECT_EQ(master->Parent->Obj->Name, "pfc_w_master");
    EXPECT_NE(master->Parent->LibRef, nullptr);
    EXPECT_EQ(catalogue::RootClass(*master)->Obj->Name, "window");

    // The largest PFC source is longer than the 500000 bytes an export buffer once held:
    // it comes whole.
    if (TPBObjRef* conversion = Ref(withMaster, "pfc_n_cst_conversion", PBORCA_USEROBJECT)) {
        EXPECT_GT(conversion->Obj->SourceLen, 500000);
        EXPECT_EQ(conversion->Obj->SourceLen, conversion->Obj->GetEntryInfo().lSourceSize);
        EXPECT_NE(conversion->Obj->SourceText().rfind("end type"), std::string_view::npos);
    }
}

}  // namespace
}  // namespace cattest
