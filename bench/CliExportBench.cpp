// Command-line export benchmark: `sorvanti-cli export` of every application of the PFC
// workspace (all its libraries) into a fresh folder, against `cp -r` of the tree it
// wrote, in the same run. Each round exports into a new folder and then copies that
// folder; the median round's ratio is reported with the spread of all rounds, and the
// time of an export over a tree that is already the same is given for comparison.
//
// The workspace is built with pblutil into a prefix of its own, which is removed at the
// end.
//
// usage: cli_export_bench [ROUNDS] [CORPUS_DIR]

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchTiming.h"

namespace {

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a shell command; the seconds it took, or a negative number when it failed.
double Timed(const std::string& command) {
    const auto start = bench::Clock::now();
    const int status = std::system(command.c_str());
    const double seconds = bench::Since(start);
    return status == 0 ? seconds : -1;
}

// What a command prints on stdout, empty when it fails.
std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    return ::pclose(pipe) == 0 ? out : std::string();
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::filesystem::path corpus = argc > 2 ? argv[2] : SORVANTI_CORPUS_DIR;
    std::error_code ec;
    if (!std::filesystem::is_directory(corpus / "pfc", ec)) {
        std::printf("cli_export_bench: no PFC sources in %s/pfc; nothing measured\n",
                    corpus.string().c_str());
        return 0;
    }
    char pattern[] = "/tmp/sorvanti-cli-bench.XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::printf("cli_export_bench: cannot make a temporary folder\n");
        return 1;
    }
    const std::string work = pattern;
    const std::string prefix = work + "/prefix";
    const std::string env = "SORVANTI_PREFIX=" + Quoted(prefix) + " ";
    int status = 0;
    [&] {
        std::filesystem::create_directories(prefix + "/drive_c", ec);
        if (Timed(env + Quoted(SORVANTI_PBLUTIL) + " workspace " +
                  Quoted((corpus / "pfc").string()) + " " + Quoted(prefix + "/drive_c/pfc") +
                  " >/dev/null") < 0) {
            std::printf("cli_export_bench: pblutil could not build the PFC workspace\n");
            status = 1;
            return;
        }
        const std::string cli = env + Quoted(SORVANTI_CLI) + " --pbini 'c:\\pfc\\pb.ini' ";
        // Every application of the workspace: together they hold all its libraries.
        std::string apps;
        const std::string listed = Output(cli + "apps");
        for (size_t at = 0; at < listed.size();) {
            const size_t end = listed.find('\n', at);
            const std::string line = listed.substr(at, end - at);
            if (const size_t blank = line.find(' '); blank != 0 && !line.empty())
                apps += " " + Quoted(line.substr(0, blank));
            at = end == std::string::npos ? listed.size() : end + 1;
        }
        if (apps.empty()) {
            std::printf("cli_export_bench: sorvanti-cli lists no application\n");
            status = 1;
            return;
        }
        std::vector<double> cliSeconds, cpSeconds, ratios, sameSeconds;
        size_t files = 0;
        for (int round = 0; round < rounds; ++round) {
            const std::string out = work + "/export" + std::to_string(round);
            const std::string copy = work + "/copy" + std::to_string(round);
            const double exported =
                Timed(cli + "export" + apps + " " + Quoted(out) + " 2>/dev/null");
            const double copied = Timed("cp -r " + Quoted(out) + " " + Quoted(copy));
            const double same = Timed(cli + "export" + apps + " " + Quoted(out) + " 2>/dev/null");
            if (exported < 0 || copied < 0 || same < 0) {
                std::printf("cli_export_bench: round %d failed\n", round + 1);
                status = 1;
                return;
            }
            cliSeconds.push_back(exported);
            cpSeconds.push_back(copied);
            sameSeconds.push_back(same);
            ratios.push_back(exported / copied);
            files = 0;
            for (const auto& e : std::filesystem::recursive_directory_iterator(out, ec))
                files += e.is_regular_file() ? 1 : 0;
            std::filesystem::remove_all(out, ec);
            std::filesystem::remove_all(copy, ec);
        }
        std::printf("PFC workspace: %zu files exported, rounds: %d\n", files, rounds);
        std::printf("sorvanti-cli export into a fresh folder: %.3f s (median round)\n",
                    bench::Median(cliSeconds));
        std::printf("cp -r of the exported tree:               %.3f s (median round)\n",
                    bench::Median(cpSeconds));
        std::printf("sorvanti-cli export over the same tree:   %.3f s (median round)\n",
                    bench::Median(sameSeconds));
        std::printf(
            "cli export: ratio %.2f vs cp -r (median of %d rounds, %.2f to %.2f; "
            "target <= 2)\n",
            bench::Median(ratios), rounds, *std::min_element(ratios.begin(), ratios.end()),
            *std::max_element(ratios.begin(), ratios.end()));
    }();
    std::filesystem::remove_all(work, ec);
    return status;
}
