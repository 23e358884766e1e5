// Command-line benchmark on the PFC workspace, each measured against a plain tool in the
// same run:
// - search: `sorvanti-cli search` of a literal (case-sensitive) over every application in
//   one run, against `grep -rFc` of the same literal over the same applications' sources
//   exported beforehand into one folder per application (so both go through a library
//   shared by several applications once for each of them);
// - export: `sorvanti-cli export` of every application (all its libraries) into a fresh
//   folder, against `cp -r` of the tree it wrote. The time of an export over a tree that
//   is already the same is given for comparison.
// Each round measures both; the median round's ratios are reported with their spread.
// The workspace is built with pblutil into a prefix of its own, removed at the end.
//
// usage: cli_bench [ROUNDS] [CORPUS_DIR]

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
        std::printf("cli_bench: no PFC sources in %s/pfc; nothing measured\n",
                    corpus.string().c_str());
        return 0;
    }
    char pattern[] = "/tmp/sorvanti-cli-bench.XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::printf("cli_bench: cannot make a temporary folder\n");
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
            std::printf("cli_bench: pblutil could not build the PFC workspace\n");
            status = 1;
            return;
        }
        const std::string cli = env + Quoted(SORVANTI_CLI) + " --pbini 'c:\\pfc\\pb.ini' ";
        // Every application of the workspace: together they hold all its libraries.
        std::string apps;
        std::vector<std::string> appNames;
        const std::string listed = Output(cli + "apps");
        for (size_t at = 0; at < listed.size();) {
            const size_t end = listed.find('\n', at);
            const std::string line = listed.substr(at, end - at);
            if (const size_t blank = line.find(' '); blank != 0 && !line.empty()) {
                appNames.push_back(line.substr(0, blank));
                apps += " " + Quoted(appNames.back());
            }
            at = end == std::string::npos ? listed.size() : end + 1;
        }
        if (apps.empty()) {
            std::printf("cli_bench: sorvanti-cli lists no application\n");
            status = 1;
            return;
        }
        // The search: each application's sources in a folder of its own for grep.
        const std::string text = "return";
        const std::string trees = work + "/apps";
        for (const std::string& app : appNames)
            if (Timed(cli + "export " + Quoted(app) + " " + Quoted(trees + "/" + app) +
                      " 2>/dev/null") < 0) {
                std::printf("cli_bench: sorvanti-cli cannot export %s\n", app.c_str());
                status = 1;
                return;
            }
        const auto lines = [](const std::string& out) {
            return std::count(out.begin(), out.end(), '\n');
        };
        const long hits =
            static_cast<long>(lines(Output(cli + "search --case" + apps + " " + text)));
        std::printf("search of \"%s\": %ld hits by sorvanti-cli, %ld files counted by grep\n",
                    text.c_str(), hits,
                    static_cast<long>(lines(Output("grep -rFc " + text + " " + Quoted(trees)))));

        std::vector<double> searchSeconds, grepSeconds, searchRatios;
        std::vector<double> cliSeconds, cpSeconds, ratios, sameSeconds;
        size_t files = 0;
        for (int round = 0; round < rounds; ++round) {
            const double searched =
                Timed(cli + "search --case" + apps + " " + text + " >/dev/null");
            const double grepped = Timed("grep -rFc " + text + " " + Quoted(trees) + " >/dev/null");
            if (searched < 0 || grepped < 0) {
                std::printf("cli_bench: search round %d failed\n", round + 1);
                status = 1;
                return;
            }
            searchSeconds.push_back(searched);
            grepSeconds.push_back(grepped);
            searchRatios.push_back(grepped / searched);

            const std::string out = work + "/export" + std::to_string(round);
            const std::string copy = work + "/copy" + std::to_string(round);
            const double exported =
                Timed(cli + "export" + apps + " " + Quoted(out) + " 2>/dev/null");
            const double copied = Timed("cp -r " + Quoted(out) + " " + Quoted(copy));
            const double same = Timed(cli + "export" + apps + " " + Quoted(out) + " 2>/dev/null");
            if (exported < 0 || copied < 0 || same < 0) {
                std::printf("cli_bench: round %d failed\n", round + 1);
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
        std::printf("sorvanti-cli search, all applications:   %.3f s (median round)\n",
                    bench::Median(searchSeconds));
        std::printf("grep -rFc over their exported sources:   %.3f s (median round)\n",
                    bench::Median(grepSeconds));
        const auto spread = [](const std::vector<double>& v) {
            return std::make_pair(*std::min_element(v.begin(), v.end()),
                                  *std::max_element(v.begin(), v.end()));
        };
        std::printf("search ratio grep / ours: %.2f to %.2f over %d rounds (target >= 1)\n",
                    spread(searchRatios).first, spread(searchRatios).second, rounds);
        std::printf("export ratio ours / cp -r: %.2f to %.2f over %d rounds (target <= 2)\n",
                    spread(ratios).first, spread(ratios).second, rounds);
        std::printf("cli: search ratio %.2f, export ratio %.2f\n", bench::Median(searchRatios),
                    bench::Median(ratios));
    }();
    std::filesystem::remove_all(work, ec);
    return status;
}
