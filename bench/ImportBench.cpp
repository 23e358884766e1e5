// Import benchmark: one window imported through the ORCA call into a library of about
// 1 MB and into one of about 30 MB (generated windows of 10 KB that pass the structure
// check), against writing the same number of bytes as one new file, flushed and renamed
// into place, in the same run; the two libraries take turns, so that a disk slower for a
// moment slows both alike. A write that costs what it changes imports into both
// libraries in about the same time; one that writes the whole library anew costs as
// much as writing its bytes.
//
// Then Save All Changes of every PFC entry modified, one import each, against writing
// the bytes of those libraries once as one file.
//
// usage: import_bench [REPETITIONS]

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "BenchTiming.h"
#include "orca/EntryTypes.h"
#include "orca/OrcaObjects.h"
#include "orca/PblLibrary.h"
#include "orca/StructureCheck.h"
#include "orca/pborca.h"
#include "platform/Paths.h"

namespace {

// A window whose create event holds a block comment that brings it to about `bytes`.
std::string Window(const std::string& name, size_t bytes) {
    std::string padding;
    while (padding.size() < bytes)
        padding += "// the window's own script, line " + std::to_string(padding.size()) + "\r\n";
    return "forward\r\nglobal type " + name + " from window\r\nend type\r\nend forward\r\n\r\n" +
           "global type " + name + " from window\r\nend type\r\nglobal " + name + " " + name +
           "\r\n\r\non " + name + ".create\r\n" + padding + "call super::create\r\nend on\r\n\r\n" +
           "on " + name + ".destroy\r\ncall super::destroy\r\nend on\r\n";
}

// A library of windows of 10 KB that reaches `bytes`; its size on disk.
size_t BuildLibrary(const std::string& path, size_t bytes) {
    auto library = orca::PblLibrary::Create("0600", "import_bench", 0);
    size_t total = 0;
    for (int i = 0; total < bytes; ++i) {
        const std::string name = "w_fill" + std::to_string(i);
        const std::string source = Window(name, 10000);
        total += source.size();
        if (!library->Put(orca::SourceEntry(name + ".srw", "", 0, "", source)))
            return 0;
    }
    std::string error;
    if (!library->Save(path, &error)) {
        std::fprintf(stderr, "import_bench: %s\n", error.c_str());
        return 0;
    }
    return static_cast<size_t>(std::filesystem::file_size(path));
}

// Writes bytes as a new file beside path, flushed, and renames it over path.
bool WriteWhole(const std::string& path, const std::string& bytes) {
    const std::string temp = path + ".new";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
                    ::fsync(fd) == 0;
    ::close(fd);
    return ok && ::rename(temp.c_str(), path.c_str()) == 0;
}

struct Result {
    double import = 0, write = 0;
};

// One import into each library per repetition, taking turns, so that both see the same
// state of the disk and its cache; then the whole writes, likewise in turns.
std::pair<Result, Result> Measure(const std::string& small, size_t smallSize,
                                  const std::string& large, size_t largeSize, int repetitions) {
    const std::string windows[2] = {platform::WindowsPath(small), platform::WindowsPath(large)};
    const std::string source = Window("w_bench", 2000);
    std::vector<double> imports[2], writes[2];
    HPBORCA session = PBORCA_SessionOpen();
    for (int r = 0; r < repetitions; ++r) {
        for (int k = 0; k < 2; ++k) {
            auto start = bench::Clock::now();
            const int32_t rc = PBORCA_CompileEntryImport(
                session, windows[k].c_str(), "w_bench", PBORCA_WINDOW, "", source.data(),
                static_cast<int32_t>(source.size()), nullptr, nullptr);
            imports[k].push_back(bench::Since(start));
            if (rc != PBORCA_OK) {
                char text[512];
                PBORCA_SessionGetError(session, text, sizeof text);
                std::fprintf(stderr, "import_bench: import failed: %s\n", text);
                std::exit(1);
            }
        }
    }
    PBORCA_SessionClose(session);
    const std::string paths[2] = {small + ".plain", large + ".plain"};
    const std::string bytes[2] = {std::string(smallSize, 'x'), std::string(largeSize, 'x')};
    for (int r = 0; r < repetitions; ++r) {
        for (int k = 0; k < 2; ++k) {
            auto start = bench::Clock::now();
            if (!WriteWhole(paths[k], bytes[k])) {
                std::fprintf(stderr, "import_bench: cannot write %s\n", paths[k].c_str());
                std::exit(1);
            }
            writes[k].push_back(bench::Since(start));
        }
    }
    return {{bench::Median(imports[0]), bench::Median(writes[0])},
            {bench::Median(imports[1]), bench::Median(writes[1])}};
}

// Save All Changes over the PFC: one library per folder of its exported sources, every
// source then stored again with a changed comment, one ORCA import each (as Save All
// Changes writes every modified object back); the time of all, and the number stored.
struct SaveAll {
    double seconds = 0;
    size_t saved = 0, failed = 0, libraryBytes = 0;
};

SaveAll SaveAllPfc(const std::string& dir) {
    namespace fs = std::filesystem;
    SaveAll result;
    const fs::path pfc = fs::path(SORVANTI_CORPUS_DIR) / "pfc";
    std::error_code ec;
    if (!fs::is_directory(pfc, ec))
        return result;
    struct Source {
        std::string library, name, text;
        int type;
    };
    std::vector<Source> sources;
    for (const auto& folder : fs::directory_iterator(pfc)) {
        if (!folder.is_directory())
            continue;
        const std::string library = dir + "/" + folder.path().filename().string() + ".pbl";
        auto built = orca::PblLibrary::Create("0600", "pfc", 0);
        for (const auto& item : fs::recursive_directory_iterator(folder.path())) {
            const std::string ext = item.path().extension().string();
            const orca::TEntryKind* kind = nullptr;
            for (const orca::TEntryKind& k : orca::EntryKinds)
                if (ext.size() == 4 && ext.substr(1) == k.sourceExtension)
                    kind = &k;
            if (!kind)
                continue;
            std::string bytes(static_cast<size_t>(fs::file_size(item.path())), '\0');
            FILE* f = std::fopen(item.path().c_str(), "rb");
            if (!f)
                continue;
            bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
            std::fclose(f);
            const orca::ExportFile file = orca::ParseExportFile(bytes);
            const std::string name = item.path().stem().string();
            if (built->Put(orca::SourceEntry(name + ext, "", 0, "", file.source)))
                sources.push_back({library, name, file.source, kind->type});
        }
        std::string error;
        if (!built->Save(library, &error))
            return result;
        result.libraryBytes += static_cast<size_t>(fs::file_size(library));
    }
    HPBORCA session = PBORCA_SessionOpen();
    const auto start = bench::Clock::now();
    for (const Source& s : sources) {
        const std::string windows = platform::WindowsPath(s.library);
        const int32_t rc = PBORCA_CompileEntryImport(
            session, windows.c_str(), s.name.c_str(), static_cast<PBORCA_TYPE>(s.type), "edited",
            s.text.data(), static_cast<int32_t>(s.text.size()), nullptr, nullptr);
        rc == PBORCA_OK ? ++result.saved : ++result.failed;
    }
    result.seconds = bench::Since(start);
    PBORCA_SessionClose(session);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 31;
    if (!orca::CheckSource(Window("w_bench", 2000), "w_bench", PBORCA_WINDOW).empty()) {
        std::fprintf(stderr, "import_bench: the generated window fails the structure check\n");
        return 1;
    }
    std::string dir = (std::filesystem::temp_directory_path() / "import_bench-XXXXXX").string();
    if (!::mkdtemp(dir.data()))
        return 1;
    const std::string small = dir + "/small.pbl", large = dir + "/large.pbl";
    const size_t smallSize = BuildLibrary(small, 1u << 20);
    const size_t largeSize = BuildLibrary(large, 30u << 20);
    if (smallSize == 0 || largeSize == 0)
        return 1;
    const auto [s, l] = Measure(small, smallSize, large, largeSize, repetitions);
    const SaveAll all = SaveAllPfc(dir);
    double allWrite = 0;
    if (all.libraryBytes > 0) {
        const auto start = bench::Clock::now();
        WriteWhole(dir + "/pfc.plain", std::string(all.libraryBytes, 'x'));
        allWrite = bench::Since(start);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    if (all.saved + all.failed > 0)
        std::printf(
            "Save All Changes of %zu PFC entries (%zu refused) in %.1f MB of libraries: %.1f ms, "
            "%.2f ms each; writing those libraries' bytes once as one file %.2f ms\n",
            all.saved, all.failed, static_cast<double>(all.libraryBytes) / (1 << 20),
            all.seconds * 1e3, all.seconds * 1e3 / static_cast<double>(all.saved + all.failed),
            allWrite * 1e3);
    else
        std::printf("Save All Changes: the PFC sources were not found under %s\n",
                    SORVANTI_CORPUS_DIR);

    std::printf("library of %.1f MB: import %.2f ms, writing its bytes as one file %.2f ms\n",
                static_cast<double>(smallSize) / (1 << 20), s.import * 1e3, s.write * 1e3);
    std::printf("library of %.1f MB: import %.2f ms, writing its bytes as one file %.2f ms\n",
                static_cast<double>(largeSize) / (1 << 20), l.import * 1e3, l.write * 1e3);
    std::printf("import against writing the whole file: %.2f (1 MB), %.2f (30 MB)\n",
                s.import / s.write, l.import / l.write);
    std::printf("import: ratio %.2f (30 MB / 1 MB)\n", l.import / s.import);
    return 0;
}
