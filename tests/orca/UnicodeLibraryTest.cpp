// Unicode libraries: the corpus against its manifest and PowerBuilder's own exports, the
// conversion to the code page and back, the calls on the ANSI view, and bad input.

#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <map>
#include <sstream>
#include <tuple>

#include "orca/AnsiView.h"
#include "orca/OrcaObjects.h"
#include "orca/PblLibrary.h"
#include "orca/TextBridge.h"
#include "platform/CodePage.h"
#include "tests/orca/OrcaTestSupport.h"
#include "tests/orca/PblTestImage.h"
#include "tests/support/TestSupport.h"

using namespace orcatest;
using namespace pbltest;
using orca::PblKind;
using orca::PblLibrary;

namespace {

std::string U16(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xff);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

std::string UnicodeDir() {
    return testsupport::CorpusDir() + "/pbl-unicode";
}

// Every entry as the manifest lists it (the sources' SHA-256 by the system's sha256sum);
// the 527 sources whose export is of the same revision equal PowerBuilder's export after
// its header lines. (Writing every library again and reading it back is the fuzz
// replay's check over the same files.)
TEST(UnicodeCorpus, EveryEntryAsTheManifestAndTheExportsSay) {
    SKIP_WITHOUT_CORPUS();
    testsupport::TempDir out;
    std::map<std::string, std::unique_ptr<PblLibrary>> libs;
    // library, entry, format, data size, time, comment (UTF-8 hex), source units, SHA-256
    std::map<std::string, std::vector<std::string>> byFile;
    size_t exports = 0, sameRevision = 0;
    const auto rows = testsupport::ReadTsvRows(UnicodeDir() + "/MANIFEST.tsv", 8);
    ASSERT_EQ(rows.size(), 1522u);
    for (const std::vector<std::string>& row : rows) {
        SCOPED_TRACE(row[0] + " " + row[1]);
        auto& lib = libs[row[0]];
        if (!lib) {
            ASSERT_TRUE(lib = Load(UnicodeDir() + "/" + row[0]));
            EXPECT_EQ(lib->Kind(), PblKind::Unicode);
        }
        const orca::PblEntry* e = lib->Find(row[1]);
        ASSERT_TRUE(e);
        EXPECT_EQ(
            std::make_tuple(e->format, std::to_string(e->data.size()), std::to_string(e->time)),
            std::make_tuple(row[2], row[3], row[4]));
        EXPECT_EQ(testsupport::HexOf(orca::Utf16ToUtf8(e->Comment())), row[5]);
        if (row[6].empty())
            continue;
        EXPECT_EQ(std::to_string(e->BodySize() / 2), row[6]);
        const std::string body = orca::Utf16ToUtf8(e->BodyText());
        const std::string file = "s" + std::to_string(byFile.size());
        testsupport::WriteFile(out / file, body);
        byFile[file] = row;
        const std::filesystem::path ws = UnicodeDir() + "/ws_objects/" + row[0] + ".src/" + row[1];
        if (!std::filesystem::exists(ws))
            continue;
        ++exports;
        const orca::ExportFile parsed = orca::ParseExportFile(testsupport::ReadFile(ws));
        EXPECT_EQ(parsed.entryName, row[1]);
        EXPECT_EQ(parsed.encoding, orca::ExportEncoding::Utf8);
        sameRevision += parsed.source == body;
    }
    EXPECT_EQ(libs.size(), 18u);
    EXPECT_EQ(exports, 558u);
    EXPECT_EQ(sameRevision, 527u);
    const std::string command = "cd '" + out.Path().string() + "' && sha256sum s* >sums";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::istringstream sums(testsupport::ReadFile(out / "sums"));
    size_t hashed = 0;
    for (std::string hash, file; sums >> hash >> file; ++hashed)
        EXPECT_EQ(hash, byFile.at(file)[7]) << byFile.at(file)[1];
    EXPECT_EQ(hashed, byFile.size());
    size_t entries = 0;  // and no entry beyond the manifest's rows
    for (const auto& [name, lib] : libs)
        entries += lib->Entries().size();
    EXPECT_EQ(entries, rows.size());
}

// The conversions: what each form writes for characters the code page has and lacks, NUL,
// lone surrogates and text that reads like an escape, and that every form reads back to
// the same UTF-16; malformed escapes and bytes that are not UTF-8 are refused.
TEST(UnicodeText, ConversionsWriteEscapesAndReadBackExactly) {
    ASSERT_TRUE(platform::SetAnsiCodePage(1252));
    struct Case {
        std::u16string text;
        std::string ansi, utf8;
    };
    const Case cases[] = {
        {u"caf\u00e9 \u00a0", "caf\xe9 \xa0", "caf\xc3\xa9 \xc2\xa0"},
        {u"a\u03b1\u03b2b", "a$$HEX2$$b103b203$$ENDHEX$$b",
         "a\xce\xb1\xce\xb2"
         "b"},
        {std::u16string(u"x\0y", 3), "x$$HEX1$$0000$$ENDHEX$$y", "x$$HEX1$$0000$$ENDHEX$$y"},
        {u"\U0001F600", "$$HEX2$$3dd800de$$ENDHEX$$", "\xf0\x9f\x98\x80"},
        {u"s\xd800"
         u"e",
         "s$$HEX1$$00d8$$ENDHEX$$e", "s$$HEX1$$00d8$$ENDHEX$$e"},
        {u"$$HEX1$$4100$$ENDHEX$$", "$$HEX1$$2400$$ENDHEX$$$HEX1$$4100$$ENDHEX$$",
         "$$HEX1$$2400$$ENDHEX$$$HEX1$$4100$$ENDHEX$$"},
        {u"$$$HEX$", "$$$HEX1$$2400$$ENDHEX$$$HEX$", "$$$HEX1$$2400$$ENDHEX$$$HEX$"},
        {u"\u2019\u20ac", "\x92\x80", "\xe2\x80\x99\xe2\x82\xac"},
    };
    for (const Case& c : cases) {
        const std::string utf16 = U16(c.text);
        SCOPED_TRACE(c.ansi);
        EXPECT_EQ(orca::Utf16ToAnsi(utf16), c.ansi);
        EXPECT_EQ(orca::Utf16ToUtf8(utf16), c.utf8);
        std::string back, error;
        EXPECT_TRUE(orca::AnsiToUtf16(c.ansi, &back, &error)) << error;
        EXPECT_EQ(back, utf16);
        EXPECT_TRUE(orca::Utf8ToUtf16(c.utf8, &back, &error)) << error;
        EXPECT_EQ(back, utf16);
    }
    // Greek in the Greek code page is text, not escapes.
    ASSERT_TRUE(platform::SetAnsiCodePage(1253));
    EXPECT_EQ(orca::Utf16ToAnsi(U16(u"\u03b1\u00e9")), "\xe1$$HEX1$$e900$$ENDHEX$$");
    ASSERT_TRUE(platform::SetAnsiCodePage(1252));
    for (const char* bad :
         {"a$$HEX", "$$HEX0$$$$ENDHEX$$", "$$HEX1$0041$$ENDHEX$$", "$$HEX1$$004$$ENDHEX$$",
          "$$HEX1$$00g1$$ENDHEX$$", "$$HEX2$$4100$$ENDHEX$$", "$$HEX1$$4100$$ENDHEX"}) {
        SCOPED_TRACE(bad);
        std::string out, error;
        EXPECT_FALSE(orca::AnsiToUtf16(bad, &out, &error));
        EXPECT_NE(error.find("malformed HEXASCII escape at byte"), std::string::npos) << error;
        EXPECT_FALSE(orca::Utf8ToUtf16(bad, &out, &error));
    }
    std::string out, error;
    for (const char* bad : {"\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xff"}) {
        EXPECT_FALSE(orca::Utf8ToUtf16(bad, &out, &error)) << bad;
        EXPECT_NE(error.find("not UTF-8 at byte 0"), std::string::npos) << error;
    }
}

// A small Unicode library: a window whose comment and source hold a Greek letter, and the
// source also a lone surrogate and a NUL; its compiled form and a .prp entry.
std::u16string Wide(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}
const std::u16string MainSource = Wide(WindowSource("w_main", "window")) + u"// \u03b1 \xd800 " +
                                  std::u16string(1, u'\0') + u"\r\n";

std::unique_ptr<PblLibrary> SmallUnicode() {
    auto lib = PblLibrary::Create("0600", U16(u"Bibliothek \u00fc"), 1600000000, PblKind::Unicode);
    orca::PblEntry source;
    source.name = "w_main.srw";
    source.time = 1600000001;
    source.commentLength = 7;
    source.wide = true;
    source.data = U16(u"Haupt \u03b1") + U16(MainSource);
    EXPECT_TRUE(lib->Put(source));
    EXPECT_TRUE(lib->Put({"w_main.win", "0600", 1600000002, 0, std::string("\x01\x00\x02", 3)}));
    EXPECT_TRUE(lib->Put({"w_main.prp", "0600", 1600000003, 0, "PRP"}));
    return lib;
}

// Through the calls a Unicode library shows code page text with escapes; importing it
// again changes nothing, a changed source is stored as UTF-16 with the stale compiled
// form gone and every other entry kept; a malformed escape changes nothing.
TEST(UnicodeCalls, TheViewShowsAnsiAndWritesUnicode) {
    testsupport::TempPrefix prefix;
    const std::string host = prefix / "uni.pbl", lib = Win(host);
    std::string error;
    ASSERT_TRUE(SmallUnicode()->Save(host, &error)) << error;
    const std::string before = testsupport::ReadFile(host);
    Orca orca;
    std::string comment;
    const std::vector<DirRecord> dir = Directory(orca, lib, nullptr, &comment);
    EXPECT_EQ(comment, "Bibliothek \xfc");
    ASSERT_EQ(dir.size(), 1u);
    EXPECT_EQ(std::tie(dir[0].name, dir[0].comment),
              std::tie("w_main", "Haupt $$HEX1$$b103$$ENDHEX$$"));
    std::string text;
    ASSERT_EQ(Export(orca, lib, "w_main", PBORCA_WINDOW, &text), PBORCA_OK) << orca.Error();
    EXPECT_EQ(text, orca::Utf16ToAnsi(U16(MainSource)));
    EXPECT_NE(text.find("// $$HEX1$$b103$$ENDHEX$$ $$HEX1$$00d8$$ENDHEX$$ $$HEX1$$0000$$ENDHEX$$"),
              std::string::npos);
    ASSERT_EQ(Import(orca, lib, "w_main", PBORCA_WINDOW, dir[0].comment, text), PBORCA_OK)
        << orca.Error();
    EXPECT_EQ(testsupport::ReadFile(host), before);

    EXPECT_NE(Import(orca, lib, "w_main", PBORCA_WINDOW, "c", text + "// $$HEX1$$zz$$ENDHEX$$\r\n"),
              PBORCA_OK);
    EXPECT_NE(orca.Error().find("malformed HEXASCII escape"), std::string::npos) << orca.Error();
    EXPECT_EQ(testsupport::ReadFile(host), before);

    ASSERT_EQ(Import(orca, lib, "w_main", PBORCA_WINDOW, dir[0].comment, text + "// \xfc\r\n"),
              PBORCA_OK)
        << orca.Error();
    const auto stored = Load(host);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->Kind(), PblKind::Unicode);
    EXPECT_EQ(stored->Comment(), U16(u"Bibliothek \u00fc"));
    ASSERT_EQ(stored->Entries().size(), 2u);
    EXPECT_EQ(stored->Find("w_main.prp")->data, "PRP");
    EXPECT_FALSE(stored->Find("w_main.win"));
    const orca::PblEntry* source = stored->Find("w_main.srw");
    EXPECT_EQ(source->Comment(), U16(u"Haupt \u03b1"));
    EXPECT_EQ(source->BodyText(), U16(MainSource + u"// \u00fc\r\n"));
}

// Entries are copied only between libraries of one kind: an ANSI library cannot hold a
// Unicode library's compiled forms. A copy between Unicode libraries keeps every byte; a
// delete leaves every other entry byte for byte.
TEST(UnicodeCalls, CopyOnlyWithinOneKindAndDelete) {
    testsupport::TempPrefix prefix;
    const std::string uniHost = prefix / "uni.pbl", uni = Win(uniHost);
    const std::string ansi = Win(prefix / "ansi.pbl"), other = Win(prefix / "other.pbl");
    std::string error;
    const auto original = SmallUnicode();
    ASSERT_TRUE(original->Save(uniHost, &error)) << error;
    ASSERT_TRUE(
        PblLibrary::Create("0600", "", 1, PblKind::Unicode)->Save(prefix / "other.pbl", &error));
    Orca orca;
    ASSERT_EQ(PBORCA_LibraryCreate(orca, ansi.c_str(), "a"), PBORCA_OK) << orca.Error();
    const std::string two = WindowSource("w_two", "window");
    ASSERT_EQ(Import(orca, ansi, "w_two", PBORCA_WINDOW, "", two), PBORCA_OK) << orca.Error();
    for (auto [from, to, name] : {std::tuple{uni, ansi, "w_main"}, {ansi, uni, "w_two"}}) {
        EXPECT_EQ(PBORCA_LibraryEntryCopy(orca, from.c_str(), to.c_str(), name, PBORCA_WINDOW),
                  PBORCA_INVALIDPARMS);
        EXPECT_NE(orca.Error().find("only between libraries of one kind"), std::string::npos);
    }
    ASSERT_EQ(PBORCA_LibraryEntryCopy(orca, uni.c_str(), other.c_str(), "w_main", PBORCA_WINDOW),
              PBORCA_OK)
        << orca.Error();
    ASSERT_EQ(Import(orca, uni, "w_two", PBORCA_WINDOW, "", two), PBORCA_OK) << orca.Error();
    ASSERT_EQ(PBORCA_LibraryEntryDelete(orca, uni.c_str(), "w_two", PBORCA_WINDOW), PBORCA_OK);
    const auto after = Load(uniHost), copy = Load(prefix / "other.pbl");
    ASSERT_TRUE(after && copy);
    ASSERT_EQ(after->Entries().size(), original->Entries().size());
    for (size_t i = 0; i < after->Entries().size(); ++i)
        EXPECT_TRUE(Fields(after->Entries()[i]) == Fields(original->Entries()[i]));
    for (const char* name : {"w_main.srw", "w_main.win"})  // the object, not its .prp
        EXPECT_TRUE(copy->Find(name) && Fields(*copy->Find(name)) == Fields(*original->Find(name)));
    EXPECT_EQ(Load(prefix / "ansi.pbl")->Entries().size(), 1u);
}

// Bad input: each damage gives its own text and no library.
TEST(UnicodeLibrary, DamageIsRefusedWithAClearText) {
    const std::string img = SmallUnicode()->Serialize();
    ASSERT_TRUE(PblLibrary::Parse(img, nullptr));
    const size_t srw = img.find(U16(u"w_main.srw")) - 28;
    ASSERT_EQ(img.substr(srw, 4), "ENT*");
    struct Damage {
        const char* what;
        size_t at;
        std::string bytes;
        const char* expect;
    } damages[] = {
        {"odd name", srw + 26, std::string("\x15\x00", 2), "odd number of bytes, not UTF-16"},
        {"lone surrogate", srw + 28, std::string("\x00\xd8", 2), "lone surrogate at UTF-16 unit 0"},
        {"comment", srw + 24, std::string("\xff\x00", 2), "comment of 255 UTF-16 characters"},
        {"mixed", srw + 4, "0600", "ANSI entry under a Unicode library header (a mixed file)"},
        {"title", 6, "x", "'PowerBuilder' in UTF-16"},
        {"format", 33, "x", "not a UTF-16 format string"},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        std::string bad = img, error;
        bad.replace(d.at, d.bytes.size(), d.bytes);
        EXPECT_FALSE(PblLibrary::Parse(bad, &error));
        EXPECT_NE(error.find(d.expect), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(PblLibrary::Parse(img.substr(0, 700), &error));
    EXPECT_NE(error.find("cannot hold the 1024-byte header"), std::string::npos) << error;
}

// Every source of every Unicode library exported by pblutil in each of the three forms
// and imported back leaves every entry byte for byte as it was. (That its UTF-8 exports
// are PowerBuilder's own files is the next test's check.)
TEST(UnicodeCorpus, PblutilExportAndImportInEachFormChangeNothing) {
    SKIP_WITHOUT_CORPUS();
    testsupport::TempDir dir;
    const std::string pblutil = std::string("'") + SORVANTI_PBLUTIL + "'";
    size_t libraries = 0;
    for (const auto& f : std::filesystem::recursive_directory_iterator(UnicodeDir())) {
        if (f.path().extension() != ".pbl")
            continue;
        SCOPED_TRACE(f.path().string());
        const std::string lib = dir / ("lib" + std::to_string(++libraries) + ".pbl");
        testsupport::WriteFile(lib, testsupport::ReadFile(f.path().string()));
        const auto original = Load(lib);
        ASSERT_TRUE(original);
        for (const char* form : {"--utf8", "--ha", "--ansi"}) {
            SCOPED_TRACE(form);
            const std::string out = dir / (std::string(form + 2) + std::to_string(libraries));
            const std::string run = pblutil + " export '" + lib + "' '" + out + "' " + form +
                                    " >/dev/null && " + pblutil + " import '" + lib + "' '" + out +
                                    "'/* >/dev/null";
            ASSERT_EQ(std::system(run.c_str()), 0);  // both exit 0
            const auto again = Load(lib);
            ASSERT_TRUE(again);
            ASSERT_EQ(again->Entries().size(), original->Entries().size());
            for (size_t i = 0; i < again->Entries().size(); ++i)
                EXPECT_TRUE(Fields(again->Entries()[i]) == Fields(original->Entries()[i]))
                    << again->Entries()[i].name;
        }
    }
    EXPECT_EQ(libraries, 18u);
}

// The three libraries the corpus lacks, built from PowerBuilder's exports by import into
// new Unicode libraries, export those files again byte for byte. One file of them has
// LF line ends where PowerBuilder writes CR LF; it differs in its two header lines only,
// which an export always ends with CR LF.
TEST(UnicodeCorpus, LibrariesRebuiltFromTheExportsExportThemAgain) {
    SKIP_WITHOUT_CORPUS();
    testsupport::TempDir dir;
    const std::string pblutil = std::string("'") + SORVANTI_PBLUTIL + "'";
    size_t files = 0, same = 0;
    for (const char* name : {"pfcapsrv", "pfcdwsrv", "pfcmain"}) {
        SCOPED_TRACE(name);
        const std::string src = UnicodeDir() + "/ws_objects/" + name + "/" + name + ".pbl.src";
        const std::string lib = dir / (std::string(name) + ".pbl"), out = dir / name;
        ASSERT_EQ(
            std::system((pblutil + " create '" + lib + "' --unicode >/dev/null && " + pblutil +
                         " import '" + lib + "' '" + src + "'/*.sr? >/dev/null && " + pblutil +
                         " export '" + lib + "' '" + out + "' >/dev/null")
                            .c_str()),
            0);
        for (const auto& f : std::filesystem::directory_iterator(src)) {
            ++files;
            const std::string want = testsupport::ReadFile(f.path().string());
            const std::string got = testsupport::ReadFile(out + "/" + f.path().filename().string());
            if (got == want) {
                ++same;
                continue;
            }
            // The header lines' CR LF only.
            std::string lf = got;
            for (size_t line = 0, at = 0; line < 2 && (at = lf.find("\r\n")) != lf.npos; ++line)
                lf.erase(at, 1);
            EXPECT_EQ(lf, want) << f.path().filename();
        }
    }
    EXPECT_EQ(files, 258u);
    EXPECT_EQ(same, 257u);
}

}  // namespace
