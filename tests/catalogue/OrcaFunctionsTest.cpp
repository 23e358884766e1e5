// The ORCA function table and the wrappers' reporting, against stand-in functions
// whose results the tests choose, and the real library loaded by name.

#include <cstring>
#include <filesystem>
#include <map>

#include "platform/Prefix.h"
#include "tests/catalogue/CatalogueTestSupport.h"

namespace cattest {
namespace {

// What the stand-ins give and saw.
struct Fake {
    int32_t result = 0;
    std::string error = "the reason";
    std::vector<std::string> libraryList;
    std::string exportText;  // written when the buffer holds it
    int32_t infoSize = -1;   // the source size the information block gives; -1: the true one
    int exportCalls = 0;
};
Fake fake;

HPBORCA FakeOpen() {
    return reinterpret_cast<HPBORCA>(0x1234);
}
void FakeClose(HPBORCA) {}
void FakeGetError(HPBORCA, char* buffer, int32_t size) {
    std::strncpy(buffer, fake.error.c_str(), static_cast<size_t>(size));
}
int32_t FakeSetLibraryList(HPBORCA, char** libraries, int32_t count) {
    fake.libraryList.assign(libraries, libraries + count);
    return fake.result;
}
// A call that only gives the chosen result.
template <class... Args>
int32_t FakeResult(HPBORCA, Args...) {
    return fake.result;
}
int32_t FakeExport(HPBORCA, const char*, const char*, PBORCA_TYPE, char* buffer, int32_t size) {
    ++fake.exportCalls;
    if (fake.result != 0)
        return fake.result;
    if (static_cast<size_t>(size) < fake.exportText.size() + 1) {
        buffer[0] = '\0';
        return PBORCA_BUFFERTOOSMALL;
    }
    std::memcpy(buffer, fake.exportText.c_str(), fake.exportText.size() + 1);
    return 0;
}
int32_t FakeInformation(HPBORCA, const char*, const char*, PBORCA_TYPE, PBORCA_ENTRYINFO* info) {
    *info = PBORCA_ENTRYINFO{};
    info->lSourceSize =
        fake.infoSize >= 0 ? fake.infoSize : static_cast<int32_t>(fake.exportText.size());
    return 0;
}
std::string givenPrefix;
int32_t FakeSetPrefix(const char* hostPath) {
    givenPrefix = hostPath;
    return 0;
}

class OrcaFunctionsTest : public CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        fake = Fake{};
    }
    // Binds the stand-ins, each under its upper-case name only.
    static void BindFakes() {
        std::map<std::string, void*> exported = {
            {"PBORCA_SESSIONOPEN", reinterpret_cast<void*>(&FakeOpen)},
            {"PBORCA_SESSIONCLOSE", reinterpret_cast<void*>(&FakeClose)},
            {"PBORCA_SESSIONGETERROR", reinterpret_cast<void*>(&FakeGetError)},
            {"PBORCA_SESSIONSETLIBRARYLIST", reinterpret_cast<void*>(&FakeSetLibraryList)},
            {"PBORCA_SESSIONSETCURRENTAPPL",
             reinterpret_cast<void*>(&FakeResult<const char*, const char*>)},
            {"PBORCA_LIBRARYENTRYEXPORT", reinterpret_cast<void*>(&FakeExport)},
            {"PBORCA_LIBRARYENTRYINFORMATION", reinterpret_cast<void*>(&FakeInformation)},
            {"PBORCA_OBJECTQUERYHIERARCHY",
             reinterpret_cast<void*>(
                 &FakeResult<const char*, const char*, PBORCA_TYPE, PBORCA_HIERPROC, void*>)},
            {"PBORCA_COMPILEENTRYIMPORT",
             reinterpret_cast<void*>(&FakeResult<const char*, const char*, PBORCA_TYPE, const char*,
                                                 const char*, int32_t, PBORCA_ERRPROC, void*>)},
        };
        catalogue::BindOrcaFunctions([exported](std::string_view name) -> void* {
            auto it = exported.find(std::string(name));
            return it == exported.end() ? nullptr : it->second;
        });
    }
};

TEST_F(OrcaFunctionsTest, SlotsBindByNameThenByUpperCaseName) {
    std::vector<std::string> asked;
    catalogue::BindOrcaFunctions([&](std::string_view name) -> void* {
        asked.emplace_back(name);
        if (name == "SorvantiOrca_SetPrefix")
            return reinterpret_cast<void*>(&FakeSetPrefix);
        return name == "PBORCA_SESSIONCLOSE" || name == "PBORCA_SessionOpen" ? &fake : nullptr;
    });
    const auto& table = catalogue::OrcaFunctions();
    EXPECT_TRUE(table.Bound);
    EXPECT_EQ(table[catalogue::TOrcaSlot::SessionOpen], &fake);
    EXPECT_EQ(table[catalogue::TOrcaSlot::SessionClose], &fake);
    EXPECT_EQ(table[catalogue::TOrcaSlot::DynamicLibraryCreate], nullptr);
    // The exact name first, the upper-case name only when it is missing.
    ASSERT_EQ(asked.size(), 50u);
    EXPECT_THAT(std::vector(asked.begin(), asked.begin() + 3),
                ElementsAre("PBORCA_SessionOpen", "PBORCA_SessionClose", "PBORCA_SESSIONCLOSE"));
    EXPECT_EQ(asked[48], "PBORCA_DYNAMICLIBRARYCREATE");
    // Then the prefix, when the library takes it.
    EXPECT_EQ(asked.back(), "SorvantiOrca_SetPrefix");
    EXPECT_EQ(givenPrefix, platform::PrefixDir());
}

TEST_F(OrcaFunctionsTest, EachWrapperReportsOnlyTheFailuresItShould) {
    BindFakes();
    catalogue::TOrca orca(Mgr());
    fake.result = -7;
    EXPECT_EQ(orca.SetLibraryList({"c:\\a.pbl", "c:\\b.pbl"}), -7);
    EXPECT_THAT(fake.libraryList, ElementsAre("c:\\a.pbl", "c:\\b.pbl"));
    EXPECT_THAT(Log(), IsEmpty());
    fake.result = -4;
    orca.SetLibraryList({"c:\\a.pbl"});
    EXPECT_THAT(Log(), ElementsAre("Orca Error: the reason"));
    ClearLog();

    fake.result = PBORCA_DUPOPERATION;
    orca.SetCurrentAppl("c:\\a.pbl", "app");
    fake.result = PBORCA_OBJHASNOANCS;
    orca.ObjectQueryHierarchy("c:\\a.pbl", "w", 7, &catalogue::AncestorCallback, nullptr);
    EXPECT_THAT(Log(), IsEmpty());

    fake.result = -3;
    char buffer[16];
    orca.EntryExport("c:\\a\\b.pbl", "w_main", 7, buffer, sizeof buffer);
    EXPECT_THAT(Log(), ElementsAre("Orca Error: EntryExport:c:\\a\\b.pbl:w_main  the reason"));
    ClearLog();

    fake.result = PBORCA_COMPERROR;
    EXPECT_THAT(
        [&] { orca.CompileEntryImport("c:\\a.pbl", "w", 7, "", "src", nullptr, nullptr); },
        testing::ThrowsMessage<catalogue::EOrcaImportFailed>(testing::StrEq("Import failed")));
    EXPECT_THAT(Log(), ElementsAre("Orca Error: the reason"));
    ClearLog();

    // A function the library lacks is never called: one line, an error result.
    EXPECT_EQ(orca.LibraryCreate("c:\\n.pbl", ""), catalogue::OrcaFunctionMissing);
    EXPECT_THAT(
        Log(),
        ElementsAre(
            "Orca Error: LibraryCreate  the ORCA library has no function PBORCA_LibraryCreate"));
}

TEST_F(OrcaFunctionsTest, AnExportLargerThanTheBufferIsExportedAgainWhole) {
    BindFakes();
    catalogue::TPBLib* lib = Mgr().FindLibrary("c:\\fake.pbl");
    catalogue::TPBObj* obj =
        lib->Entries.Add("w_huge", std::make_unique<catalogue::TPBObj>("w_huge", lib));
    fake.exportText = std::string(1500000, 'a');
    obj->LoadSource();
    EXPECT_EQ(obj->SourceText().size(), 1500000u);
    EXPECT_EQ(fake.exportCalls, 1);  // sized from the information block

    // An information block that understates the size: the export buffer grows.
    fake.exportCalls = 0;
    fake.infoSize = 100;
    fake.exportText = std::string(1500000, 'b');
    obj->LoadSource();
    EXPECT_EQ(obj->SourceText(), fake.exportText);
    EXPECT_EQ(obj->SourceLen, 1500000);
    EXPECT_EQ(fake.exportCalls, 4);  // 101 bytes, 500000, 1000000, 2000000
    EXPECT_THAT(Log(), IsEmpty());

    // A failed export after a good one leaves no stale text behind, and is not tried
    // again at every use.
    fake.result = -7;
    fake.exportCalls = 0;
    obj->LoadSource();
    EXPECT_EQ(obj->SourceLen, 0);
    EXPECT_TRUE(obj->LoadFailed);
    EXPECT_TRUE(obj->GetSource().empty());
    EXPECT_EQ(fake.exportCalls, 1);
    EXPECT_THAT(LogWith("Orca Error: EntryExport:c:\\fake.pbl:w_huge  "), testing::SizeIs(1));
}

// The real library maps c: to the program's prefix, which it is given, not to the one
// the environment names.
TEST_F(OrcaFunctionsTest, TheRealLibraryLoadsByTheVersionsDllName) {
    shell::OptionsForm().PBVersion.ItemIndex = 2;
    setenv("SORVANTI_PREFIX", (prefix / "elsewhere").c_str(), 1);
    ASSERT_TRUE(Mgr().LoadOrcaDll());
    const auto& table = catalogue::OrcaFunctions();
    for (int i = 0; i < catalogue::OrcaSlotCount; ++i)
        EXPECT_NE(table.Slots[static_cast<size_t>(i)], nullptr)
            << catalogue::OrcaFunctionNames[static_cast<size_t>(i)];
    EXPECT_NE(Mgr().GetSession().Handle(), nullptr);
    EXPECT_EQ(Mgr().GetSession().LibraryCreate("c:\\given.pbl", ""), 0);
    EXPECT_TRUE(platform::FileExists("c:\\given.pbl"));
    EXPECT_FALSE(std::filesystem::exists(prefix / "elsewhere/drive_c/given.pbl"));
    catalogue::ResetOrcaMgr();
    EXPECT_FALSE(catalogue::OrcaFunctions().Bound);
}

}  // namespace
}  // namespace cattest
