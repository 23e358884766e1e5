// The text pieces the ORCA calls read and write: ancestor clauses, source-control
// records and the export file form. (Round trips of both forms are the orca_records
// fuzz target's.)

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

TEST(OrcaObjects, SourceControlRecordsAndForeignData) {
    const std::string_view bytes("z:\\x\\y.pbl\0d_b.srd\0\0s\0", 22);
    std::vector<orca::SccRecord> read;
    ASSERT_TRUE(orca::ParseSccData(bytes, &read));
    EXPECT_EQ(orca::EncodeSccData(read), bytes);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].library + " " + read[0].entry + " " + read[0].user + read[0].flag,
              "z:\\x\\y.pbl d_b.srd s");
    EXPECT_TRUE(orca::ParseSccData("", &read));
    EXPECT_TRUE(read.empty());
    for (std::string_view bad :
         {std::string_view("SCC*\x01\x02", 6), std::string_view("a\0b\0c\0x\0", 8),
          std::string_view("a\0b\0c\0d", 7), std::string_view("a\0\0c\0d\0", 8)})
        EXPECT_FALSE(orca::ParseSccData(bad, &read)) << bad.size();
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
    EXPECT_EQ(orca::FormatExportFile("w_a.srw", "", "x\r\n"), "$PBExportHeader$w_a.srw\r\nx\r\n");
    EXPECT_EQ(orca::FormatExportFile("w_a.srw", "Main", "x", true),
              "HA$PBExportHeader$w_a.srw\r\n$PBExportComments$Main\r\nx");
    EXPECT_EQ(orca::FormatExportFile("w_a.srw", "", "$PBExportComments$x\r\ny"), parsed[3].file);
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

}  // namespace
