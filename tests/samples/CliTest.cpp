// sorvanti-cli run as a user runs it, on the sample workspace in a prefix of its own:
// what each command prints, its exit status, and the messages of bad input.

#include <gmock/gmock.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "app/UnifiedDiff.h"
#include "orca/OrcaObjects.h"
#include "orca/PblLibrary.h"
#include "tests/support/PfcWorkspace.h"
#include "tests/support/TestSupport.h"

namespace {

using testing::HasSubstr;
using testing::Not;

struct Result {
    int status = -1;
    std::string out, err;
};

class CliTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(testsupport::BuildSampleWorkspace(prefix.PrefixPath()), 0); }
    // Runs sorvanti-cli with the arguments (quoted for the shell) in the test's prefix.
    Result Run(const std::string& arguments) {
        const std::string errFile = prefix.PrefixPath() + "/stderr.txt";
        const std::string command = "SORVANTI_PREFIX='" + prefix.PrefixPath() +
                                    "' '" SORVANTI_CLI "' " + arguments + " 2>'" + errFile + "'";
        Result r;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe)
            return r;
        std::array<char, 4096> buffer{};
        size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
            r.out.append(buffer.data(), n);
        const int raw = ::pclose(pipe);
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.err = testsupport::ReadFile(errFile);
        return r;
    }
    testsupport::TempPrefix prefix;
};

TEST_F(CliTest, CatalogueCommandsPrintWhatTheWindowShows) {
    Result apps = Run("apps");
    EXPECT_EQ(apps.status, 0) << apps.err;
    EXPECT_THAT(apps.out, HasSubstr("orders"));
    EXPECT_THAT(apps.out, HasSubstr("c:\\sorvanti-samples\\stock.pbl"));

    Result libs = Run("libs ORDERS");  // application names in any case
    EXPECT_EQ(libs.status, 0);
    EXPECT_THAT(libs.out, HasSubstr("c:\\sorvanti-samples\\ordbase.pbl"));
    EXPECT_THAT(libs.out, testing::MatchesRegex("(.|\n)*ordarch\\.pbl +missing\n"));
    EXPECT_THAT(libs.err, HasSubstr("Library not found: c:\\sorvanti-samples\\ordarch.pbl"));

    // A library by its host path; every entry with type, name, date, size and comment.
    Result list = Run("list '" + prefix.DriveC() + "/sorvanti-samples/stock.pbl'");
    EXPECT_EQ(list.status, 0);
    EXPECT_THAT(list.out,
                testing::ContainsRegex("window +w_stock_items +[0-9/]+ [0-9:]+ +[0-9]+  Items"));

    Result show = Run("show orders w_orders");
    EXPECT_EQ(show.status, 0);
    EXPECT_THAT(show.out, HasSubstr("global type w_orders from w_sample_sheet\r\n"));

    Result tree = Run("hierarchy orders w_sample_base");
    EXPECT_EQ(tree.status, 0);
    EXPECT_THAT(tree.out, HasSubstr("w_sample_base\n  w_about\n  w_sample_sheet\n    w_orders\n"));
}

TEST_F(CliTest, ExportWritesWhatPblutilWritesAndLeavesSameFilesAlone) {
    const std::string out = prefix.PrefixPath() + "/export";
    Result first = Run("export orders '" + out + "'");
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_THAT(first.err, HasSubstr("23 sources written, 0 unchanged"));
    // The same bytes as the library tool writes from the file itself.
    const std::string reference = prefix.PrefixPath() + "/reference";
    const std::string pblutil = std::string("'") + SORVANTI_PBLUTIL + "' export '" +
                                prefix.DriveC() + "/sorvanti-samples/orders.pbl' '" + reference +
                                "' >/dev/null";
    ASSERT_EQ(std::system(pblutil.c_str()), 0);
    int compared = 0;
    for (const auto& file : std::filesystem::directory_iterator(reference)) {
        EXPECT_EQ(testsupport::ReadFile(out + "/orders/" + file.path().filename().string()),
                  testsupport::ReadFile(file.path().string()))
            << file.path();
        ++compared;
    }
    EXPECT_EQ(compared, 6);
    // A second export changes no file: a Git working tree sees nothing.
    const std::string one = out + "/orders/w_orders.srw";
    std::filesystem::last_write_time(one, std::filesystem::file_time_type{});
    Result second = Run("export orders '" + out + "'");
    EXPECT_EQ(second.status, 0);
    EXPECT_THAT(second.err, HasSubstr("0 sources written, 23 unchanged"));
    EXPECT_EQ(std::filesystem::last_write_time(one), std::filesystem::file_time_type{});
    // A folder that cannot be made is an error.
    testsupport::WriteFile(prefix.PrefixPath() + "/plainfile", "x");
    Result blocked = Run("export orders '" + prefix.PrefixPath() + "/plainfile/sub'");
    EXPECT_EQ(blocked.status, 1);
    EXPECT_THAT(blocked.err, HasSubstr("cannot create"));
}

TEST_F(CliTest, ExportReplacesChangedFilesAtomicallyAndOnlyOnce) {
    namespace fs = std::filesystem;
    const std::string out = prefix.PrefixPath() + "/export";
    // Two applications sharing ordbase.pbl, and the library once more by its path: each
    // library is exported once.
    const std::string twice =
        "export orders stock '" + prefix.DriveC() + "/sorvanti-samples/ordbase.pbl' '" + out + "'";
    Result first = Run(twice);
    ASSERT_EQ(first.status, 0) << first.err;
    const std::string written = first.err.substr(first.err.rfind("sorvanti-cli: "));
    ASSERT_THAT(written, HasSubstr(" sources written, 0 unchanged, 0 failed"));
    const int count = std::stoi(written.substr(std::string("sorvanti-cli: ").size()));
    int files = 0;
    for (const auto& e : fs::recursive_directory_iterator(out))
        files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, count);

    // A changed file is replaced, through a link when it is one, keeping its mode; a file
    // left as it was is not touched; no temporary file stays behind.
    const std::string window = out + "/orders/w_orders.srw";
    const std::string expected = testsupport::ReadFile(window);
    testsupport::WriteFile(window, "edited");
    fs::permissions(window, fs::perms::owner_read | fs::perms::owner_write);
    const std::string real = prefix.PrefixPath() + "/real.srw";
    const std::string linked = out + "/orders/w_about.srw";
    const std::string aboutBytes = testsupport::ReadFile(linked);
    testsupport::WriteFile(real, "old");
    fs::remove(linked);
    fs::create_symlink(real, linked);
    Result again = Run(twice);
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_THAT(again.err,
                HasSubstr("2 sources written, " + std::to_string(count - 2) + " unchanged"));
    EXPECT_EQ(testsupport::ReadFile(window), expected);
    EXPECT_EQ(fs::status(window).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(fs::is_symlink(linked));
    EXPECT_EQ(testsupport::ReadFile(real), aboutBytes);
    for (const auto& e : fs::recursive_directory_iterator(out))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();

    // A file that cannot be replaced (a folder stands in its place): the error is
    // reported, no file is replaced, of the libraries exported before it or after, and no
    // temporary file is left.
    const std::string later = out + "/ordutil/f_format_amount.srf";
    testsupport::WriteFile(later, "edited again");
    testsupport::WriteFile(window, "edited again");
    const std::string blocked = out + "/ordbase/w_sample_base.srw";
    fs::remove(blocked);
    fs::create_directory(blocked);
    Result refused = Run(twice);
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.err, HasSubstr("cannot write " + blocked));
    EXPECT_EQ(testsupport::ReadFile(later) + testsupport::ReadFile(window),
              "edited againedited again");
    for (const auto& e : fs::recursive_directory_iterator(out))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

// A source larger than the export buffer comes out whole; an object with only its
// compiled form is reported and fails the export, the other files still written.
TEST_F(CliTest, ExportWritesLargeSourcesWholeAndReportsWhatHasNoSource) {
    auto lib = orca::PblLibrary::Create("0600", "", 1133466869);
    std::string source = "global type w_big from window\r\nend type\r\n";
    while (source.size() < 700000)
        source += "// " + std::to_string(source.size()) + " padding the source past the buffer\r\n";
    ASSERT_TRUE(lib->Put(orca::SourceEntry("w_big.srw", "", 1133466869, "big one", source)));
    ASSERT_TRUE(lib->Put({"w_compiled.win", "", 1133466869, 0, "compiled bytes"}));
    const std::string library = prefix.DriveC() + "/big.pbl";
    std::string error;
    ASSERT_TRUE(lib->Save(library, &error)) << error;

    const std::string out = prefix.PrefixPath() + "/export";
    Result r = Run("export '" + library + "' '" + out + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("w_compiled could not be exported"));
    EXPECT_THAT(r.err, HasSubstr("1 sources written, 0 unchanged, 1 failed"));
    EXPECT_EQ(testsupport::ReadFile(out + "/big/w_big.srw"),
              orca::FormatExportFile("w_big.srw", "big one", source));
    EXPECT_FALSE(std::filesystem::exists(out + "/big/w_compiled.srw"));
}

TEST_F(CliTest, ReplaceDryRunWritesNothingAndApplyWritesTheSource) {
    const std::string lib = prefix.DriveC() + "/sorvanti-samples/orders.pbl";
    const std::string before = testsupport::ReadFile(lib);
    Result found = Run("search 'orders(w_about)' 'About Order Desk'");
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_THAT(found.out, testing::MatchesRegex(
                               "c:\\\\sorvanti-samples\\\\orders\\.pbl\\(w_about\\):[0-9]+:[0-9]+: "
                               "string title = \"About Order Desk\"\n"));
    Result dry = Run("replace 'orders(w_about)' 'About Order Desk' --with 'About the Desk'");
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_THAT(dry.out, HasSubstr("-string title = \"About Order Desk\"\r\n+string title = "
                                   "\"About the Desk\"\r\n"));
    EXPECT_EQ(testsupport::ReadFile(lib), before);
    ASSERT_EQ(
        std::system(
            ("'" SORVANTI_PBLUTIL "' create '" + prefix.DriveC() + "/tmp.pbl' >/dev/null").c_str()),
        0);
    Result applied =
        Run("replace 'orders(w_about)' 'About Order Desk' --with 'About the Desk' "
            "--apply --temp 'c:\\tmp.pbl'");
    EXPECT_EQ(applied.status, 0) << applied.err;
    EXPECT_THAT(Run("show orders w_about").out, HasSubstr("string title = \"About the Desk\""));
    EXPECT_EQ(Run("search orders 'About Order Desk'").status, 1);
    // Several scopes in one run: each one's hits in turn.
    Result both = Run("search 'orders(w_about)' 'orders(w_about)' 'About the Desk'");
    EXPECT_EQ(std::count(both.out.begin(), both.out.end(), '\n'), 2) << both.err;
}

// The PFC workspace exported, imported into fresh libraries and exported again: every
// file comes back byte for byte, and each is the corpus source it was built from.
TEST_F(CliTest, PfcExportImportRoundTripsByteForByte) {
    SKIP_WITHOUT_CORPUS();
    const testsupport::PfcWorkspace ws = testsupport::BuildPfcWorkspace(prefix);
    ASSERT_TRUE(ws.error.empty()) << ws.error;
    const std::string pfc = "--pbini 'c:\\pfc\\pb.ini' ";
    std::string apps;
    const std::string listed = Run(pfc + "apps").out;
    for (size_t at = 0, end; (end = listed.find('\n', at)) != std::string::npos; at = end + 1)
        apps += " '" + listed.substr(at, listed.find(' ', at) - at) + "'";
    const std::string first = prefix.PrefixPath() + "/first",
                      second = prefix.PrefixPath() + "/second";
    Result exported = Run(pfc + "export" + apps + " '" + first + "'");
    ASSERT_EQ(exported.status, 0) << exported.err;
    // Corpus sources by name (a few names stand in more than one library).
    std::multimap<std::string, std::filesystem::path> corpus;
    for (const auto& e : std::filesystem::recursive_directory_iterator(SORVANTI_CORPUS_DIR "/pfc"))
        corpus.emplace(e.path().filename().string(), e.path());
    int files = 0;
    for (const auto& folder : std::filesystem::directory_iterator(first)) {
        std::string imports;
        for (const auto& file : std::filesystem::directory_iterator(folder)) {
            imports += " '" + file.path().string() + "'";
            ++files;
            // PowerBuilder 10 and later mark an ANSI export with "HA"; these are libraries of 9.
            const std::string marked = "HA" + testsupport::ReadFile(file.path());
            const auto [from, to] = corpus.equal_range(file.path().filename().string());
            EXPECT_TRUE(std::any_of(from, to, [&](const auto& c) {
                return testsupport::ReadFile(c.second) == marked;
            })) << file.path();
        }
        const std::string lib =
            prefix.PrefixPath() + "/fresh/" + folder.path().filename().string() + ".pbl";
        std::filesystem::create_directories(prefix.PrefixPath() + "/fresh");
        ASSERT_EQ(std::system(("'" SORVANTI_PBLUTIL "' create '" + lib + "' >/dev/null").c_str()),
                  0);
        Result imported = Run("import '" + lib + "'" + imports);
        ASSERT_EQ(imported.status, 0) << imported.err;
        ASSERT_EQ(Run("export '" + lib + "' '" + second + "'").status, 0);
        for (const auto& file : std::filesystem::directory_iterator(folder))
            EXPECT_EQ(testsupport::ReadFile(second + "/" + folder.path().filename().string() + "/" +
                                            file.path().filename().string()),
                      testsupport::ReadFile(file.path()))
                << file.path();
    }
    EXPECT_EQ(files, 813);
}

// A Unicode library exported with --utf8 gives PowerBuilder's own export files, byte for
// byte; --ha gives the code page, marked.
TEST_F(CliTest, UnicodeLibraryExportsAsPowerBuilderDoes) {
    SKIP_WITHOUT_CORPUS();
    const std::string corpus = SORVANTI_CORPUS_DIR "/pbl-unicode/";
    const std::string lib = prefix.DriveC() + "/pfeutil.pbl";
    std::filesystem::copy_file(corpus + "pfeutil/pfeutil.pbl", lib);
    const std::string before = testsupport::ReadFile(lib);
    const std::string out = prefix.PrefixPath() + "/utf8", ha = prefix.PrefixPath() + "/ha";
    ASSERT_EQ(Run("export --utf8 '" + lib + "' '" + out + "'").status, 0);
    int files = 0;
    for (const auto& file :
         std::filesystem::directory_iterator(corpus + "ws_objects/pfeutil/pfeutil.pbl.src")) {
        EXPECT_EQ(testsupport::ReadFile(out + "/pfeutil/" + file.path().filename().string()),
                  testsupport::ReadFile(file.path()))
            << file.path();
        ++files;
    }
    EXPECT_EQ(files, 35);
    ASSERT_EQ(Run("export --ha '" + lib + "' '" + ha + "'").status, 0);
    for (const auto& file : std::filesystem::directory_iterator(ha + "/pfeutil"))
        EXPECT_EQ(testsupport::ReadFile(file.path()).rfind("HA$PBExportHeader$", 0), 0u);
    EXPECT_EQ(testsupport::ReadFile(lib), before);  // exports only read
}

// Diffs of edits at the start, inside and at the end of a text, with and without a last
// line feed, applied to the old text by patch, give the new one.
TEST(UnifiedDiffTest, PatchTurnsTheOldTextIntoTheNew) {
    std::string lines;
    for (int i = 0; i < 60; ++i)
        lines += "line " + std::to_string(i) + "\r\n";
    const auto edit = [&](size_t at, size_t cut, const std::string& put) {
        return lines.substr(0, at) + put + lines.substr(std::min(lines.size(), at + cut));
    };
    const std::pair<std::string, std::string> cases[] = {
        {"", "one\ntwo\n"},
        {lines, ""},
        {lines, edit(0, 9, "first\r\n")},
        {lines, edit(100, 30, "new a\r\nnew b\r\n")},                 // one hunk
        {lines, edit(600, 0, "far\r\n").replace(40, 8, "near\r\n")},  // two hunks
        {lines, lines + "no feed"},
        {lines + "no feed", lines + "no feed either"},
    };
    testsupport::TempDir dir;
    const std::string old = dir.Path() / "old", diff = dir.Path() / "diff",
                      out = dir.Path() / "out";
    for (const auto& [before, after] : cases) {
        const std::string text = cli::UnifiedDiff(before, after, "a", "b");
        testsupport::WriteFile(old, before);
        testsupport::WriteFile(diff, text);
        ASSERT_EQ(std::system(("patch -s -o '" + out + "' '" + old + "' < '" + diff + "'").c_str()),
                  0)
            << text;
        EXPECT_EQ(testsupport::ReadFile(out), after) << text;
    }
    EXPECT_EQ(cli::UnifiedDiff(lines, lines, "a", "b"), "");
    EXPECT_THAT(cli::UnifiedDiff(lines, edit(100, 30, "x\r\n"), "a", "b"),
                testing::StartsWith("--- a\n+++ b\n@@ -10,10 +10,8 @@\n line 9\r\n"));
}

TEST_F(CliTest, BadInputGivesItsMessageAndStatus) {
    const struct {
        std::string arguments;
        int status;
        std::string message;
    } cases[] = {
        {"", 2, "no command"},
        {"frobnicate", 2, "unknown command frobnicate"},
        {"show orders", 2, "wrong number of arguments for show"},
        {"--pbini", 2, "--pbini needs a path"},
        {"libs nosuch", 1, "no application nosuch in c:\\sorvanti-samples\\pb.ini"},
        {"show orders w_nosuch", 1, "no object w_nosuch on the search path of orders"},
        {"list 'c:\\nowhere\\x.pbl'", 1, "no library c:\\nowhere\\x.pbl"},
        {"--pbini /nonexistent/pb.ini apps", 1, "cannot read pb.ini"},
        {"replace orders x", 2, "replace needs --with TEXT"},
        {"search orders x --types widget", 1, "unknown object type \"widget\""},
        {"search 'orders(w_nosuch)' x", 1, "no object w_nosuch on the search path of orders"},
        {"replace orders w_about --with x --apply --temp 'c:\\none.pbl'", 1,
         "the temporary library c:\\none.pbl is not a library file"},
    };
    for (const auto& c : cases) {
        Result r = Run(c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments;
        EXPECT_THAT(r.err, HasSubstr(c.message)) << c.arguments;
        EXPECT_EQ(r.out, "") << c.arguments;
    }
    Result help = Run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("usage: sorvanti-cli"));
}

}  // namespace
