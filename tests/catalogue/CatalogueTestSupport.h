#pragma once
// Fixture of the catalogue tests: a temporary prefix, a recording screen, fresh
// program-wide state, the real ORCA library (libpborc050.so beside the test program),
// and helpers that build libraries and pb.ini in the prefix's drive c:.

#include <gmock/gmock.h>

#include <string>
#include <type_traits>
#include <vector>

#include "catalogue/Hierarchy.h"
#include "catalogue/Orcactrl.h"
#include "catalogue/PbIni.h"
#include "catalogue/Refresh.h"
#include "catalogue/Source.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "shell/OptionsForm.h"
#include "shell/Utilities.h"
#include "tests/support/RecordingShellUI.h"
#include "tests/support/TestSupport.h"

namespace cattest {

// Names every catalogue test uses.
using catalogue::TPBApp;
using catalogue::TPBObjRef;
using testing::ElementsAre;
using testing::IsEmpty;

struct Entry {
    std::string name;
    int type;
    std::string source;
    std::string comment;
};

// A source that passes the structure check of our ORCA for the entry's type.
inline std::string SourceOf(const std::string& name, int type, const std::string& ancestor,
                            const std::string& extra = {}) {
    if (type == PBORCA_DATAWINDOW)
        return "release 6;\r\ndatawindow(units=0 color=16777215)\r\n" + extra;
    if (type == PBORCA_QUERY || type == PBORCA_PIPELINE || type == PBORCA_PROJECT)
        return "PBSELECT(TABLE(NAME=\"t\"))\r\n" + extra;
    return "forward\r\nglobal type " + name + " from " + ancestor +
           "\r\nend type\r\nend forward\r\n\r\n" + "global type " + name + " from " + ancestor +
           "\r\nend type\r\n" + extra;
}

inline Entry Obj(const std::string& name, int type, const std::string& ancestor,
                 const std::string& comment = {}) {
    return {name, type, SourceOf(name, type, ancestor), comment};
}
inline Entry Win(const std::string& name, const std::string& ancestor = "window") {
    return Obj(name, PBORCA_WINDOW, ancestor);
}
inline Entry Uo(const std::string& name, const std::string& ancestor = "nonvisualobject") {
    return Obj(name, PBORCA_USEROBJECT, ancestor);
}

class CatalogueTest : public testing::Test {
  protected:
    void SetUp() override {
        CatalogueTest::TearDown();  // fresh program-wide state
        shell::InitUtilities({}, "c:\\Sorvanti");
        catalogue::SetRunFlag(true);
    }
    void TearDown() override {
        catalogue::ResetOrcaMgr();
        catalogue::ClearOrcaFunctions();
        shell::ResetOptionsForm();
        shell::ResetUtilities();
    }

    catalogue::TOrcaMgr& Mgr() { return catalogue::OrcaMgr(); }

    // Creates a library (through the manager's ORCA session) holding the entries.
    void MakeLibrary(const std::string& path, const std::vector<Entry>& entries) {
        ASSERT_TRUE(Mgr().LoadOrcaDll());
        platform::ForceDirectories(shell::ExtractDir(path));
        catalogue::TOrca& orca = Mgr().GetSession();
        if (!platform::FileExists(path)) {
            ASSERT_EQ(orca.LibraryCreate(path, "test library"), 0) << orca.ErrorText();
        }
        Put(path, entries);
    }
    // Imports (replaces) entries of an existing library.
    void Put(const std::string& path, const std::vector<Entry>& entries) {
        catalogue::TOrca& orca = Mgr().GetSession();
        for (const Entry& e : entries) {
            ASSERT_NO_THROW(orca.CompileEntryImport(path, e.name, e.type, e.comment, e.source,
                                                    nullptr, nullptr))
                << e.name << ": " << orca.ErrorText();
        }
    }
    void Remove(const std::string& path, const std::string& name, int type) {
        ASSERT_EQ(Mgr().GetSession().EntryDelete(path, name, type), 0);
    }

    // pb.ini at c:\pb\pb.ini with the given text, made the settings' pb.ini.
    std::string WritePBIni(const std::string& text) {
        const std::string path = "c:\\pb\\pb.ini";
        testsupport::WriteFile(prefix.DriveC() + "/pb/pb.ini", text);
        shell::OptionsForm().PBIniFileName = path;
        return path;
    }
    std::string ReadPBIni() { return testsupport::ReadFile(prefix.DriveC() + "/pb/pb.ini"); }

    // Log lines without their time stamps.
    std::vector<std::string> Log() const {
        std::vector<std::string> out;
        for (const std::string& line : screen.logLines) {
            const size_t cut = line.find(": ");
            out.push_back(cut == std::string::npos ? line : line.substr(cut + 2));
        }
        return out;
    }
    std::vector<std::string> LogWith(std::string_view part) const {
        std::vector<std::string> out = Log();
        std::erase_if(out, [&](const std::string& l) { return l.find(part) == std::string::npos; });
        return out;
    }
    void ClearLog() { screen.logLines.clear(); }

    // The application of pb.ini's only entry, in the first library of the list, loaded with
    // its hierarchy.
    catalogue::TPBApp* LoadApp(const std::string& libraryList) {
        const std::string appLib = libraryList.substr(0, libraryList.find(';'));
        WritePBIni("[Application]\r\n$" + appLib + "(app)=" + libraryList + "\r\n");
        Mgr().LoadApplications();
        catalogue::LoadNode(Mgr().Apps[0]);
        return Mgr().Apps[0];
    }
    // The application's reference of an entry, from the first library on the path holding
    // it. Kept out of line so that -Wnull-dereference does not flag every caller's use.
    [[gnu::noinline]] static catalogue::TPBObjRef* Ref(catalogue::TPBApp* app,
                                                       const std::string& name,
                                                       int type = PBORCA_WINDOW) {
        for (int i = 0; i < app->LibRefs.Count(); ++i)
            if (catalogue::TPBObjRef* ref = app->LibRef(i)->FindObjRef(name, type))
                return ref;
        return nullptr;
    }

    // The entry names of a list of entries or of entry references; the keys of others.
    template <class T>
    static std::vector<std::string> Names(const catalogue::TObjList<T>& list) {
        std::vector<std::string> out;
        for (const auto& item : list) {
            if constexpr (std::is_same_v<T, catalogue::TPBObj>)
                out.push_back(item.Obj->Name);
            else if constexpr (std::is_same_v<T, catalogue::TPBObjRef>)
                out.push_back(item.Obj->Obj->Name);
            else
                out.push_back(item.Name);
        }
        return out;
    }

    testsupport::TempPrefix prefix;
    testsupport::RecordingShellUI screen;
};

}  // namespace cattest
