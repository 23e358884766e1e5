// Real data: the PowerBuilder libraries of the corpus against their manifest, read by
// the library reader and through the calls; copies and imports that must keep every
// other byte; the PFC sources imported through the calls and exported back.

#include <algorithm>
#include <array>
#include <iomanip>
#include <map>
#include <memory>
#include <sstream>

#include "orca/OrcaObjects.h"
#include "orca/PblLibrary.h"
#include "platform/Ansi.h"
#include "tests/orca/OrcaTestSupport.h"
#include "tests/orca/PblTestImage.h"
#include "tests/support/PfcWorkspace.h"
#include "tests/support/TestSupport.h"

using namespace orcatest;
using namespace pbltest;

namespace {

// SHA-256 (FIPS 180-4), to check entry bodies against the manifest.
std::string Sha256Hex(std::string_view data) {
    static constexpr uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
        0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
        0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
        0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
        0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
        0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
        0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
        0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
        0xc67178f2};
    std::array<uint32_t, 8> h = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    auto rotr = [](uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };
    std::string msg = std::string(data) + '\x80';
    msg.resize((msg.size() + 8 + 63) / 64 * 64, '\0');
    for (int i = 0; i < 8; ++i)
        msg[msg.size() - 1 - i] = static_cast<char>((uint64_t{data.size()} * 8) >> (8 * i));
    for (size_t off = 0; off < msg.size(); off += 64) {
        uint32_t w[64];
        for (int i = 0; i < 16; ++i) {
            const auto* p = reinterpret_cast<const unsigned char*>(msg.data() + off + 4 * i);
            w[i] = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
        }
        for (int i = 16; i < 64; ++i)
            w[i] = w[i - 16] + w[i - 7] +
                   (rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3)) +
                   (rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10));
        auto v = h;
        for (int i = 0; i < 64; ++i) {
            const uint32_t t1 = v[7] + (rotr(v[4], 6) ^ rotr(v[4], 11) ^ rotr(v[4], 25)) +
                                ((v[4] & v[5]) ^ (~v[4] & v[6])) + k[i] + w[i];
            const uint32_t t2 = (rotr(v[0], 2) ^ rotr(v[0], 13) ^ rotr(v[0], 22)) +
                                ((v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]));
            v = {t1 + t2, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6]};
        }
        for (int i = 0; i < 8; ++i)
            h[i] += v[i];
    }
    std::ostringstream out;
    for (uint32_t x : h)
        out << std::hex << std::setw(8) << std::setfill('0') << x;
    return out.str();
}

std::string Hex(std::string_view bytes) {
    std::ostringstream out;
    for (unsigned char c : bytes)
        out << std::hex << std::setw(2) << std::setfill('0') << int{c};
    return out.str();
}

// One row per entry: library, entry, format, data size, time, comment length, comment
// in hex, source length (empty for a compiled entry) and SHA-256 of the source.
struct ManifestRow {
    std::string library, entry, format;
    long dataSize = 0, time = 0, commentLength = 0;
    std::string commentHex;
    long sourceLength = -1;
    std::string sha256;
};

std::vector<ManifestRow> ReadManifest() {
    std::vector<ManifestRow> rows;
    std::istringstream in(testsupport::ReadFile(testsupport::CorpusDir() + "/pbl/MANIFEST.tsv"));
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');)
            f.push_back(cell);
        f.resize(9);
        rows.push_back({f[0], f[1], f[2], std::stol(f[3]), std::stol(f[4]), std::stol(f[5]), f[6],
                        f[7].empty() ? -1 : std::stol(f[7]), f[8]});
    }
    return rows;
}

TEST(OrcaCorpus, EveryManifestRowThroughTheReaderAndTheCalls) {
    SKIP_WITHOUT_CORPUS();
    Orca orca;
    const std::vector<ManifestRow> rows = ReadManifest();
    ASSERT_EQ(rows.size(), 510u);
    std::map<std::string, std::unique_ptr<orca::PblLibrary>> libs;
    std::map<std::string, std::map<std::string, DirRecord>> entries;
    std::map<std::string, std::vector<DirRecord>> objects;
    std::map<std::string, std::map<std::string, const ManifestRow*>> byName;
    size_t regenerated = 0;
    for (const ManifestRow& row : rows) {
        SCOPED_TRACE(row.library + " " + row.entry);
        const std::string lib = Win(CorpusLibrary(row.library));
        if (!libs[row.library]) {
            libs[row.library] = Load(CorpusLibrary(row.library));
            ASSERT_TRUE(libs[row.library]);
            EXPECT_EQ(libs[row.library]->Format(), "0600");
            for (const DirRecord& r : EntryList(orca, lib))
                entries[row.library][r.name] = r;
            int32_t rc = 0;
            objects[row.library] = Directory(orca, lib, &rc);
            ASSERT_EQ(rc, PBORCA_OK) << orca.Error();
        }
        byName[row.library][row.entry] = &row;
        const orca::PblEntry* e = libs[row.library]->Find(row.entry);
        ASSERT_TRUE(e && entries[row.library].count(row.entry));
        EXPECT_EQ(e->format, row.format);
        EXPECT_EQ(e->commentLength, row.commentLength);
        const DirRecord& r = entries[row.library][row.entry];
        EXPECT_EQ(r.size, row.dataSize);
        EXPECT_EQ(r.time, row.time);
        EXPECT_EQ(Hex(r.comment), row.commentHex);
        bool isSource = false;
        const int type = orca::EntryTypeOfName(row.entry, &isSource);
        EXPECT_EQ(r.type, type);
        if (row.sourceLength < 0)
            continue;
        ASSERT_TRUE(isSource);
        const std::string name(orca::ObjectName(row.entry));
        std::string text;
        ASSERT_EQ(Export(orca, lib, name, type, &text), PBORCA_OK) << orca.Error();
        EXPECT_EQ(static_cast<long>(text.size()), row.sourceLength);
        EXPECT_EQ(Sha256Hex(text), row.sha256);
        PBORCA_ENTRYINFO info{};
        const auto t = static_cast<PBORCA_TYPE>(type);
        ASSERT_EQ(PBORCA_LibraryEntryInformation(orca, lib.c_str(), name.c_str(), t, &info),
                  PBORCA_OK);
        EXPECT_EQ(Hex(info.szComment), row.commentHex);
        EXPECT_EQ(info.lCreateTime, row.time);
        EXPECT_EQ(info.lSourceSize, row.sourceLength);
        // Every stored source passes the structure check.
        std::vector<Problem> problems;
        EXPECT_EQ(PBORCA_CompileEntryRegenerate(orca, lib.c_str(), name.c_str(), t, &CollectProblem,
                                                &problems),
                  PBORCA_OK)
            << orca.Error();
        ++regenerated;
    }
    EXPECT_GT(regenerated, 200u);
    EXPECT_EQ(libs.size(), CorpusLibraries().size());
    EXPECT_EQ(libs.size(), 10u);
    // One directory record per object: the source's comment and time, the compiled size.
    for (const auto& [library, records] : objects) {
        EXPECT_EQ(libs[library]->Entries().size(), byName[library].size()) << library;
        size_t objectEntries = 0;
        for (const DirRecord& r : records) {
            const ManifestRow* source =
                byName[library][r.name + "." + orca::SourceExtension(r.type)];
            const ManifestRow* compiled =
                byName[library][r.name + "." + orca::CompiledExtension(r.type)];
            ASSERT_TRUE(source || compiled) << r.name;
            objectEntries += (source ? 1 : 0) + (compiled ? 1 : 0);
            EXPECT_EQ(r.time, (source ? source : compiled)->time) << r.name;
            EXPECT_EQ(r.size, (compiled ? compiled : source)->dataSize) << r.name;
            EXPECT_EQ(Hex(r.comment), source ? source->commentHex : "") << r.name;
        }
        size_t known = 0;
        for (const auto& [name, row] : byName[library])
            known += row && orca::EntryTypeOfName(name) >= 0 ? 1 : 0;
        EXPECT_EQ(objectEntries, known) << library;
    }
}

// Every object copied through the calls into a new library keeps its entries' bytes and
// times in a well-formed library; importing a changed source into the copy then keeps
// every other entry and drops the object's compiled form, which no longer matches.
TEST(OrcaCorpus, CopiesAndImportsKeepEveryOtherEntry) {
    SKIP_WITHOUT_CORPUS();
    testsupport::TempPrefix prefix;
    Orca orca;
    size_t imported = 0;
    for (const std::string& name : CorpusLibraries()) {
        SCOPED_TRACE(name);
        const std::string source = Win(CorpusLibrary(name)), target = Win(prefix / name);
        ASSERT_EQ(PBORCA_LibraryCreate(orca, target.c_str(), "copies"), PBORCA_OK);
        for (const DirRecord& r : Directory(orca, source))
            ASSERT_EQ(PBORCA_LibraryEntryCopy(orca, source.c_str(), target.c_str(), r.name.c_str(),
                                              static_cast<PBORCA_TYPE>(r.type)),
                      PBORCA_OK)
                << orca.Error();
        ExpectWellFormed(testsupport::ReadFile(prefix / name));
        const auto original = Load(CorpusLibrary(name));
        const auto copy = Load(prefix / name);
        ASSERT_EQ(copy->Entries().size(), original->Entries().size());
        for (size_t i = 0; i < original->Entries().size(); ++i)
            EXPECT_TRUE(Fields(copy->Entries()[i]) == Fields(original->Entries()[i]))
                << original->Entries()[i].name;

        // The first window with a compiled form, changed.
        const orca::PblEntry* chosen = nullptr;
        for (const auto& e : copy->Entries())
            if (!chosen && e.name.ends_with(".srw") &&
                copy->Find(std::string(orca::ObjectName(e.name)) + ".win"))
                chosen = &e;
        if (!chosen)
            continue;
        const std::string object(orca::ObjectName(chosen->name));
        const std::string changed = std::string(chosen->Body()) + "\r\n// changed\r\n";
        ASSERT_EQ(Import(orca, target, object, PBORCA_WINDOW, "changed", changed), PBORCA_OK)
            << orca.Error();
        ++imported;
        const auto after = Load(prefix / name);
        EXPECT_EQ(after->Find(object + ".win"), nullptr);
        EXPECT_EQ(after->Find(chosen->name)->Body(), changed);
        size_t kept = 0;
        for (const auto& e : copy->Entries()) {
            if (platform::AsciiSameText(orca::ObjectName(e.name), object))
                continue;
            const orca::PblEntry* same = after->Find(e.name);
            ASSERT_NE(same, nullptr) << e.name;
            EXPECT_TRUE(Fields(*same) == Fields(e)) << e.name;
            ++kept;
        }
        EXPECT_EQ(after->Entries().size(), kept + 1);
    }
    EXPECT_GE(imported, 2u);
}

// The PFC sources, imported through the calls into new libraries (one import list each),
// export back as they were; the hierarchy of w_sheet follows the generic application's
// library list.
TEST(OrcaPfc, AllSourcesImportAndExportBackEqual) {
    SKIP_WITHOUT_CORPUS();
    testsupport::TempPrefix prefix;
    const testsupport::PfcWorkspace pfc = testsupport::BuildPfcWorkspace(prefix);
    ASSERT_TRUE(pfc.error.empty()) << pfc.error;
    ASSERT_EQ(pfc.sourceCount, 813u);
    Orca orca;
    for (size_t l = 0; l < pfc.libraries.size(); ++l) {
        SCOPED_TRACE(pfc.libraries[l]);
        const std::string lib = Win(prefix / ("imported" + std::to_string(l) + ".pbl"));
        ASSERT_EQ(PBORCA_LibraryCreate(orca, lib.c_str(), "PFC"), PBORCA_OK) << orca.Error();
        std::vector<Source> sources;
        const auto built = Load(pfc.libraryHostPaths[l]);
        for (const orca::PblEntry& e : built->Entries())
            sources.push_back({lib, std::string(orca::ObjectName(e.name)),
                               orca::EntryTypeOfName(e.name), std::string(e.Comment()),
                               std::string(e.Body())});
        std::vector<Problem> problems;
        EXPECT_EQ(ImportList(orca, sources, &problems), PBORCA_OK) << orca.Error();
        for (const Problem& p : problems)
            ADD_FAILURE() << "false compile error: line " << p.line << ": " << p.text;
        const auto stored = Load(prefix / ("imported" + std::to_string(l) + ".pbl"));
        for (const Source& s : sources) {
            std::string text;
            ASSERT_EQ(Export(orca, lib, s.name, s.type, &text), PBORCA_OK) << orca.Error();
            EXPECT_TRUE(text == s.text) << s.name << " exports differently";
            EXPECT_EQ(stored->Find(s.name + "." + orca::SourceExtension(s.type))->Comment(),
                      s.comment);
        }
    }

    const auto app = std::find_if(pfc.applications.begin(), pfc.applications.end(),
                                  [](const auto& a) { return a.name == "generic_pfc_app"; });
    ASSERT_NE(app, pfc.applications.end());
    std::vector<char*> list;
    for (const std::string& l : app->libraryList)
        list.push_back(const_cast<char*>(l.c_str()));
    ASSERT_EQ(list.size(), 11u);
    ASSERT_EQ(PBORCA_SessionSetLibraryList(orca, list.data(), static_cast<int32_t>(list.size())),
              PBORCA_OK)
        << orca.Error();
    const std::string pfemain = app->libraryList[8];
    ASSERT_TRUE(pfemain.ends_with("pfemain.pbl")) << pfemain;
    EXPECT_EQ(Hierarchy(orca, pfemain, "w_master"), std::vector<std::string>{"pfc_w_master"});
    EXPECT_EQ(Hierarchy(orca, pfemain, "w_sheet"),
              (std::vector<std::string>{"pfc_w_sheet", "w_master", "pfc_w_master"}));
}

}  // namespace
