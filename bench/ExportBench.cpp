// Export benchmark: a fresh ORCA session per repetition reads the directory of every
// corpus library and, from inside the directory callback as the catalogue does, exports
// each object's source and reads its entry information. The reference is reading the
// same library files from the page cache (warmed first) in the same run. Both rates are
// given in library bytes per second, so the ratio says how close export comes to the
// cost of merely reading the files.
//
// usage: export_bench [REPETITIONS] [CORPUS_DIR]

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

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

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const std::filesystem::path corpus = argc > 2 ? argv[2] : SORVANTI_CORPUS_DIR;
    std::vector<std::string> libraries;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(corpus / "pbl", ec))
        if (e.path().extension() == ".pbl")
            libraries.push_back(e.path().string());
    if (libraries.empty()) {
        std::printf("export_bench: no libraries in %s/pbl; nothing measured\n",
                    corpus.string().c_str());
        return 0;
    }
    std::sort(libraries.begin(), libraries.end());
    std::vector<std::string> windowsPaths;
    for (const std::string& l : libraries)
        windowsPaths.push_back(platform::WindowsPath(l));

    // Reference: plain reads from the page cache.
    std::vector<char> readBuffer(1 << 20);
    size_t libraryBytes = 0;
    for (const std::string& l : libraries)
        libraryBytes += ReadFile(l, readBuffer);  // warm
    auto start = Clock::now();
    size_t readBytes = 0;
    for (int r = 0; r < repetitions; ++r)
        for (const std::string& l : libraries)
            readBytes += ReadFile(l, readBuffer);
    const double readSeconds = Seconds(start);

    // Export through the ORCA calls, a fresh session each repetition.
    std::vector<char> exportBuffer(500000);
    size_t exported = 0, objects = 0, failures = 0;
    start = Clock::now();
    for (int r = 0; r < repetitions; ++r) {
        HPBORCA session = PBORCA_SessionOpen();
        for (const std::string& lib : windowsPaths) {
            ExportState state{session, lib.c_str(), &exportBuffer};
            if (PBORCA_LibraryDirectory(session, lib.c_str(), nullptr, 0, &OnEntry, &state) !=
                PBORCA_OK)
                ++failures;
            exported += state.exported;
            objects += state.objects;
            failures += state.failures;
        }
        PBORCA_SessionClose(session);
    }
    const double exportSeconds = Seconds(start);

    const double mb = 1024.0 * 1024.0;
    const double readRate = static_cast<double>(readBytes) / mb / readSeconds;
    const double exportRate = static_cast<double>(libraryBytes) * repetitions / mb / exportSeconds;
    std::printf("libraries: %zu (%.2f MB), repetitions: %d\n", libraries.size(),
                static_cast<double>(libraryBytes) / mb, repetitions);
    std::printf("plain read from page cache:  %9.1f MB/s  (%.3f s)\n", readRate, readSeconds);
    std::printf(
        "ORCA directory+export+info:  %9.1f MB/s of library  (%.3f s, %zu objects, "
        "%.2f MB of source text per repetition)\n",
        exportRate, exportSeconds, objects / static_cast<size_t>(repetitions),
        static_cast<double>(exported) / repetitions / mb);
    std::printf("ratio export/read: %.3f (target >= 0.333)\n", exportRate / readRate);
    if (failures) {
        std::printf("export_bench: %zu calls failed\n", failures);
        return 1;
    }
    return 0;
}
