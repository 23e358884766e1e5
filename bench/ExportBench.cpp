// Export benchmark: a fresh ORCA session per repetition reads the directory of every
// corpus library and, from inside the directory callback as the catalogue does, exports
// each object's source and reads its entry information. The reference is reading the
// same library files from the page cache (warmed first) in the same run. Both rates are
// given in library bytes per second, so the ratio says how close export comes to the
// cost of merely reading the files. The two alternate in rounds and the median round
// is reported, as the machine may be busy with other work.
//
// The ANSI libraries (pbl/) and the Unicode ones (pbl-unicode/) are measured each against
// their own reference; the Unicode ratio is printed beside the ANSI one.
//
// usage: export_bench [REPETITIONS] [CORPUS_DIR] [ROUNDS]

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "BenchTiming.h"
#include "orca/pborca.h"
#include "platform/Paths.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Reads a whole file with plain read(2) calls into a reused buffer; the bytes read.
size_t ReadFile(const std::string& path, std::vector<char>& buffer) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    size_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n <= 0)
            break;
        total += static_cast<size_t>(n);
    }
    ::close(fd);
    return total;
}

struct ExportState {
    HPBORCA session;
    const char* library;
    std::vector<char>* buffer;
    size_t exported = 0;
    size_t objects = 0;
    size_t failures = 0;
};

void OnEntry(PBORCA_DIRENTRY* entry, void* user) {
    auto* state = static_cast<ExportState*>(user);
    ++state->objects;
    const int32_t rc = PBORCA_LibraryEntryExport(
        state->session, state->library, entry->lpszEntryName, entry->otEntryType,
        state->buffer->data(), static_cast<int32_t>(state->buffer->size()));
    PBORCA_ENTRYINFO info;
    PBORCA_LibraryEntryInformation(state->session, state->library, entry->lpszEntryName,
                                   entry->otEntryType, &info);
    if (rc == PBORCA_OK) {
        state->exported += static_cast<size_t>(info.lSourceSize);
    } else if (rc != PBORCA_OBJNOTFOUND) {  // compiled-only objects have no source
        ++state->failures;
    }
}

// One pass of the reference over every library: the seconds it took.
double ReadPass(const std::vector<std::string>& libraries, int repetitions,
                std::vector<char>& buffer, size_t* bytes) {
    const auto start = Clock::now();
    for (int r = 0; r < repetitions; ++r)
        for (const std::string& l : libraries)
            *bytes += ReadFile(l, buffer);
    return Seconds(start);
}

struct ExportTotals {
    size_t exported = 0, objects = 0, failures = 0;
};

// One pass of the export over every library, a fresh session each repetition: the
// seconds it took.
double ExportPass(const std::vector<std::string>& windowsPaths, int repetitions,
                  std::vector<char>& buffer, ExportTotals* totals) {
    const auto start = Clock::now();
    for (int r = 0; r < repetitions; ++r) {
        HPBORCA session = PBORCA_SessionOpen();
        for (const std::string& lib : windowsPaths) {
            ExportState state{session, lib.c_str(), &buffer};
            if (PBORCA_LibraryDirectory(session, lib.c_str(), nullptr, 0, &OnEntry, &state) !=
                PBORCA_OK)
                ++totals->failures;
            totals->exported += state.exported;
            totals->objects += state.objects;
            totals->failures += state.failures;
        }
        PBORCA_SessionClose(session);
    }
    return Seconds(start);
}

// The libraries (.pbl) below dir, sorted; with recursive, in its subfolders too.
std::vector<std::string> Libraries(const std::filesystem::path& dir, bool recursive) {
    std::vector<std::string> libraries;
    std::error_code ec;
    if (recursive) {
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir, ec))
            if (e.path().extension() == ".pbl")
                libraries.push_back(e.path().string());
    } else {
        for (const auto& e : std::filesystem::directory_iterator(dir, ec))
            if (e.path().extension() == ".pbl")
                libraries.push_back(e.path().string());
    }
    std::sort(libraries.begin(), libraries.end());
    return libraries;
}

// Measures one set of libraries and prints its lines under the label; the median ratio
// (0 when there is nothing to measure), and false in *ok when calls failed.
double Measure(const char* label, const std::vector<std::string>& libraries, int repetitions,
               int rounds, bool* ok) {
    if (libraries.empty()) {
        std::printf("%s: no libraries; nothing measured\n", label);
        return 0;
    }
    std::vector<std::string> windowsPaths;
    for (const std::string& l : libraries)
        windowsPaths.push_back(platform::WindowsPath(l));

    std::vector<char> readBuffer(1 << 20);
    size_t libraryBytes = 0;
    for (const std::string& l : libraries)
        libraryBytes += ReadFile(l, readBuffer);  // warm the page cache
    std::vector<char> exportBuffer(4 << 20);

    // Rounds of the reference and the export one after the other, so that a burst of
    // load on the machine touches both sides of a round's ratio alike; the median
    // round is reported, with the spread of all of them.
    const double mb = 1024.0 * 1024.0;
    std::vector<double> ratios, readRates, exportRates;
    ExportTotals totals;
    for (int round = 0; round < rounds; ++round) {
        size_t readBytes = 0;
        const double readSeconds = ReadPass(libraries, repetitions, readBuffer, &readBytes);
        const double exportSeconds = ExportPass(windowsPaths, repetitions, exportBuffer, &totals);
        const double readRate = static_cast<double>(readBytes) / mb / readSeconds;
        const double exportRate =
            static_cast<double>(libraryBytes) * repetitions / mb / exportSeconds;
        readRates.push_back(readRate);
        exportRates.push_back(exportRate);
        ratios.push_back(exportRate / readRate);
    }
    const size_t passes = static_cast<size_t>(repetitions) * static_cast<size_t>(rounds);
    std::printf("%s: libraries: %zu (%.2f MB), repetitions: %d, rounds: %d\n", label,
                libraries.size(), static_cast<double>(libraryBytes) / mb, repetitions, rounds);
    std::printf("%s: plain read from page cache:  %9.1f MB/s (median round)\n", label,
                bench::Median(readRates));
    std::printf(
        "%s: ORCA directory+export+info:  %9.1f MB/s of library (median round; %zu objects, "
        "%.2f MB of source text per repetition)\n",
        label, bench::Median(exportRates), totals.objects / passes,
        static_cast<double>(totals.exported) / static_cast<double>(passes) / mb);
    std::printf(
        "%s: ratio export/read: %.3f (median of %d rounds, %.3f to %.3f; %s)\n", label,
        bench::Median(ratios), rounds, *std::min_element(ratios.begin(), ratios.end()),
        *std::max_element(ratios.begin(), ratios.end()),
        std::string_view(label) == "ANSI" ? "target >= 0.333" : "reported beside the ANSI one");
    if (totals.failures) {
        std::printf("%s: %zu calls failed\n", label, totals.failures);
        *ok = false;
    }
    return bench::Median(ratios);
}

}  // namespace

// The ANSI corpus (pbl/) and the Unicode corpus (pbl-unicode/, whose sources the calls
// convert to the code page) are measured one after the other in the same run.
int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const std::filesystem::path corpus = argc > 2 ? argv[2] : SORVANTI_CORPUS_DIR;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 7;
    bool ok = true;
    const double ansi = Measure("ANSI", Libraries(corpus / "pbl", false), repetitions, rounds, &ok);
    // The Unicode corpus is about six times the size: fewer repetitions keep the run short.
    const double unicode = Measure("Unicode", Libraries(corpus / "pbl-unicode", true),
                                   std::max(1, repetitions / 4), rounds, &ok);
    if (ansi > 0 && unicode > 0)
        std::printf("Unicode ratio %.3f beside ANSI ratio %.3f (%.2f of it)\n", unicode, ansi,
                    unicode / ansi);
    return ok ? 0 : 1;
}
