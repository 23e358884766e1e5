// The text pieces the ORCA calls read and write: ancestor clauses, source-control
// records and the export file form.

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

TEST(OrcaObjects, SourceControlRecordsRoundTripAndRejectForeignData) {
    const std::vector<orca::SccRecord> records = {{"c:\\check.pbl", "w_a.srw", "jdoe", 'd'},
                                                  {"z:\\x\\y.pbl", "d_b.srd", "", 's'}};
    std::vector<orca::SccRecord> read;
    ASSERT_TRUE(orca::ParseSccData(orca::EncodeSccData(records), &read));
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[1].library, "z:\\x\\y.pbl");
    EXPECT_EQ(read[1].flag, 's');
    EXPECT_TRUE(orca::ParseSccData("", &read));
    EXPECT_TRUE(read.empty());
    for (std::string_view bad :
         {std::string_view("SCC*\x01\x02", 6), std::string_view("a\0b\0c\0x\0", 8),
          std::string_view("a\0b\0c\0d", 7), std::string_view("a\0\0c\0d\0", 8)})
        EXPECT_FALSE(orca::ParseSccData(bad, &read)) << bad.size();
}

TEST(OrcaObjects, ExportFileForms) {
    const auto file = orca::ParseExportFile(
        "HA$PBExportHeader$w_a.srw\r\n$PBExportComments$Main window\r\nforward\r\n");
    EXPECT_EQ(file.entryName, "w_a.srw");
    EXPECT_EQ(file.comment, "Main window");
    EXPECT_EQ(file.source, "forward\r\n");
    const auto plain = orca::ParseExportFile("$PBExportHeader$f.srf\r\nglobal type f\r\n");
    EXPECT_EQ(plain.entryName, "f.srf");
    EXPECT_EQ(plain.comment, "");
    EXPECT_EQ(plain.source, "global type f\r\n");
    const auto bare = orca::ParseExportFile("release 6;\r\n");
    EXPECT_EQ(bare.entryName, "");
    EXPECT_EQ(bare.source, "release 6;\r\n");

    EXPECT_EQ(orca::FormatExportFile("w_a.srw", "", "x\r\n"), "$PBExportHeader$w_a.srw\r\nx\r\n");
    const std::string withComment = orca::FormatExportFile("w_a.srw", "Main", "x", true);
    EXPECT_EQ(withComment, "HA$PBExportHeader$w_a.srw\r\n$PBExportComments$Main\r\nx");
    const auto back = orca::ParseExportFile(withComment);
    EXPECT_EQ(back.comment, "Main");
    EXPECT_EQ(back.source, "x");
    // A source whose first line looks like a comment line survives the trip.
    const std::string tagged = orca::FormatExportFile("w_a.srw", "", "$PBExportComments$x\r\ny");
    EXPECT_EQ(tagged, "$PBExportHeader$w_a.srw\r\n$PBExportComments$\r\n$PBExportComments$x\r\ny");
    EXPECT_EQ(orca::ParseExportFile(tagged).comment, "");
    EXPECT_EQ(orca::ParseExportFile(tagged).source, "$PBExportComments$x\r\ny");
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
