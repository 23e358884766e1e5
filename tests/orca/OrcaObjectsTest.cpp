// The text pieces the ORCA calls read: ancestor clauses, the export file form, entry
// names. (Source-control records, and export files written and read back, are the
// orca_records fuzz target's; the pblutil tests pin the export files it writes.)

#include <gtest/gtest.h>

#include "orca/OrcaObjects.h"

namespace {

TEST(OrcaObjects, AncestorClauseOfTheObjectsOwnName) {
    const std::string source =
        "forward\r\nglobal type w_a from w_base\r\n  type cb_1 from commandbutton within "
        "w_a\r\nend type\r\nend forward\r\n";
    EXPECT_EQ(orca::AncestorOf(source, "w_a"), "w_base");
    EXPECT_EQ(orca::AncestorOf(source, "W_A"), "w_base");
    EXPECT_EQ(orca::AncestorOf(source, "cb_1"), std::nullopt);  // not a global type
    EXPECT_EQ(orca::AncestorOf(source, "w_ab"), std::nullopt);
    EXPECT_EQ(orca::AncestorOf("global  type\tw_x  from   window  \r\n", "w_x"), "window");
    EXPECT_EQ(orca::AncestorOf("global type w_x from\r\n", "w_x"), std::nullopt);
    EXPECT_EQ(orca::AncestorOf("global type u_x from userobject", "u_x"), "userobject");
}

TEST(OrcaObjects, ExportFileForms) {
    const struct {
        std::string file, entryName, comment, source;
    } parsed[] = {
        {"HA$PBExportHeader$w_a.srw\r\n$PBExportComments$Main window\r\nforward\r\n", "w_a.srw",
         "Main window", "forward\r\n"},
        {"$PBExportHeader$f.srf\r\nglobal type f\r\n", "f.srf", "", "global type f\r\n"},
        {"release 6;\r\n", "", "", "release 6;\r\n"},
        // A source whose first line looks like a comment line keeps it.
        {"$PBExportHeader$w_a.srw\r\n$PBExportComments$\r\n$PBExportComments$x\r\ny", "w_a.srw", "",
         "$PBExportComments$x\r\ny"},
    };
    for (const auto& p : parsed) {
        const orca::ExportFile file = orca::ParseExportFile(p.file);
        EXPECT_EQ(file.entryName + "|" + file.comment + "|" + file.source,
                  p.entryName + "|" + p.comment + "|" + p.source);
    }
}

TEST(OrcaObjects, EntryKinds) {
    bool isSource = false;
    EXPECT_EQ(orca::EntryTypeOfName("w_a.SRW", &isSource), 7);
    EXPECT_TRUE(isSource);
    EXPECT_EQ(orca::EntryTypeOfName("d_x.dwo", &isSource), 1);
    EXPECT_FALSE(isSource);
    EXPECT_EQ(orca::EntryTypeOfName("openpay.pra"), -1);
    EXPECT_EQ(orca::EntryTypeOfName("noext"), -1);
    EXPECT_EQ(orca::ObjectName("a.b.srw"), "a.b");
}

// Objects pair their two forms by name without regard to case and come in name order,
// also where the directory's order of whole entry names differs from it (characters
// that sort before the dot).
TEST(OrcaObjects, ListedObjectsPairTheirFormsInNameOrder) {
    auto lib = orca::PblLibrary::Create("0600", "", 0);
    for (const char* name : {"a$.srw", "A.WIN", "a$.win", "a.srw", "b.srd", "b.dwo", "b.srw"})
        ASSERT_TRUE(lib->Put({name, "", 1, 0, "x"}));
    ASSERT_TRUE(lib->Put({"c.udo", "", 1, 0, "compiled only"}));
    std::vector<std::string> got;
    for (const orca::DirectoryObject& o : orca::ListObjects(*lib))
        got.push_back(std::string(o.name) + ":" + std::to_string(o.type) + ":" +
                      (o.source ? o.source->name : "-") + ":" +
                      (o.compiled ? o.compiled->name : "-") + ":" + std::to_string(o.size));
    EXPECT_EQ(got,
              (std::vector<std::string>{"a:7:a.srw:A.WIN:1", "a$:7:a$.srw:a$.win:1",
                                        "b:1:b.srd:b.dwo:1", "b:7:b.srw:-:1", "c:6:-:c.udo:13"}));
}

}  // namespace
