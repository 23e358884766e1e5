// Search benchmark: every PFC source (*.sr?) is held in memory and searched as the object
// search does it: one engine, each source attached in turn, every hit found with the
// next search one byte after the last hit's start. Five searches: a literal matching
// case, the same literal ignoring case, a whole word, and a wildcard pattern. The
// reference is grep -F -c for the literal over the same bytes written to one temporary
// file that is in the page cache, timed as a child process (start-up included, nothing
// subtracted) in the same run.
//
// usage: search_bench [REPETITIONS] [CORPUS_DIR]

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "search/Search.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

std::vector<std::string> LoadSources(const fs::path& root) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string ext = it->path().extension().string();
        if (it->is_regular_file() && ext.size() == 4 && ext.starts_with(".sr"))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    std::vector<std::string> sources;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        sources.push_back(bytes.str());
    }
    return sources;
}

struct Result {
    double seconds = 0;
    long hits = 0;
};

// Best of the repetitions: every hit of the pattern in every source.
Result SearchAll(std::vector<std::string>& sources, const std::string& pattern,
                 search::TSearchOptions options, int repetitions) {
    Result best{1e9, 0};
    search::TStreamSearch engine;
    engine.Options = options;
    for (int r = 0; r < repetitions; ++r) {
        long hits = 0;
        const auto started = Clock::now();
        for (std::string& source : sources) {
            engine.SetStream(&source);
            for (int32_t hit; (hit = engine.FindPattern(pattern)) >= 0;) {
                ++hits;
                engine.SetSelStart(hit + 1);
            }
        }
        const double seconds = Seconds(started);
        engine.SetStream(nullptr);
        if (seconds < best.seconds)
            best = {seconds, hits};
    }
    return best;
}

// Best wall time of running the command with its output going to a file.
Result RunTool(const std::vector<std::string>& args, int repetitions) {
    Result best{1e9, 0};
    const std::string outPath = (fs::temp_directory_path() / "sorvanti-search-bench.out").string();
    for (int r = 0; r < repetitions; ++r) {
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        pid_t pid = 0;
        const auto started = Clock::now();
        const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        int status = 0;
        if (rc == 0)
            waitpid(pid, &status, 0);
        const double seconds = Seconds(started);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            return {0, -1};
        if (seconds < best.seconds) {
            std::ifstream out(outPath);
            long count = -1;
            out >> count;
            best = {seconds, count};
        }
    }
    fs::remove(outPath);
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace search;
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const fs::path corpus = argc > 2 ? argv[2] : SORVANTI_CORPUS_DIR;
    std::vector<std::string> sources = LoadSources(corpus / "pfc");
    size_t total = 0;
    for (const auto& s : sources)
        total += s.size();
    if (sources.empty()) {
        std::fprintf(stderr, "no PFC sources under %s\n", (corpus / "pfc").c_str());
        return 1;
    }
    const double mb = static_cast<double>(total) / 1e6;
    std::printf("%zu sources, %.2f MB in memory, best of %d runs\n", sources.size(), mb,
                repetitions);

    // The same bytes in one file, read once so that grep finds them in the page cache.
    const fs::path file = fs::temp_directory_path() / "sorvanti-search-bench.txt";
    {
        std::ofstream out(file, std::ios::binary);
        for (const auto& s : sources)
            out.write(s.data(), static_cast<std::streamsize>(s.size()));
    }
    {
        std::ifstream warm(file, std::ios::binary);
        std::vector<char> chunk(1 << 20);
        while (warm.read(chunk.data(), static_cast<std::streamsize>(chunk.size())))
            ;
    }

    const std::string literal = "SetRedraw";
    const Result grep = RunTool({"grep", "-F", "-c", literal, file.string()}, repetitions);
    if (grep.hits < 0) {
        std::fprintf(stderr, "grep could not be run\n");
        fs::remove(file);
        return 1;
    }
    const double grepRate = mb / grep.seconds;
    std::printf("%-34s %9.2f ms %9.0f MB/s  %6ld lines\n", ("grep -F -c " + literal).c_str(),
                grep.seconds * 1e3, grepRate, grep.hits);

    struct Case {
        const char* name;
        std::string pattern;
        TSearchOptions options;
    };
    const Case cases[] = {
        {"literal, match case", literal, {srDown, srMatchCase}},
        {"literal, any case", literal, {srDown}},
        {"whole word, any case", "this", {srDown, srWholeWord}},
        {"whole word, match case", "this", {srDown, srWholeWord, srMatchCase}},
        {"wildcard of_*( , any case", ExpandSearchText("of_*("), {srDown}},
    };
    for (const Case& c : cases) {
        const Result r = SearchAll(sources, c.pattern, c.options, repetitions);
        const double rate = mb / r.seconds;
        std::printf("%-34s %9.2f ms %9.0f MB/s  %6ld hits   %.2fx grep -F -c\n", c.name,
                    r.seconds * 1e3, rate, r.hits, rate / grepRate);
    }
    fs::remove(file);
    return 0;
}
