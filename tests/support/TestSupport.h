#pragma once
// Helpers shared by the tests: temporary folders, temporary prefixes, the corpus.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with its content.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // Host path of a name inside the folder.
    std::string operator/(std::string_view name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// Environment variables set (or, with a null value, cleared) for one test and put back
// as they were when the object goes, last set first.
class ScopedEnv {
  public:
    ScopedEnv() = default;
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    void Set(const char* name, const char* value);

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A temporary folder used as the program's prefix for the lifetime of the object
// (drive c: is its drive_c, the registry and WIN.INI live in it).
class TempPrefix : public TempDir {
  public:
    TempPrefix();
    ~TempPrefix();
    // Host path of drive c:.
    std::string DriveC() const { return (Path() / "prefix" / "drive_c").string(); }
    std::string PrefixPath() const { return (Path() / "prefix").string(); }
};

// Writes bytes to a host file (creating parent folders) for a test's set-up.
void WriteFile(const std::string& hostPath, std::string_view bytes);
// The whole host file; fails the test when it cannot be read.
std::string ReadFile(const std::string& hostPath);
// Bytes as lower-case hex digits, two per byte.
std::string HexOf(std::string_view bytes);
// The rows of a tab-separated file after its line of column names, each cut into its
// cells and padded with empty ones to `columns`.
std::vector<std::vector<std::string>> ReadTsvRows(const std::string& hostPath, size_t columns);

// The folder of real PowerBuilder data, or an empty text when it is absent.
std::string CorpusDir();

// Builds the sample workspace into a prefix (host path) with scripts/make-sample-workspace.sh
// and the given pblutil; gives the script's exit status (-1 when it did not exit).
int BuildSampleWorkspace(const std::string& prefixHostPath,
                         const std::string& pblutil = SORVANTI_PBLUTIL);

}  // namespace testsupport

// Skips the current test, with a clear message, when the corpus is not beside the checkout.
#define SKIP_WITHOUT_CORPUS()                                                                \
    do {                                                                                     \
        if (testsupport::CorpusDir().empty())                                                \
            GTEST_SKIP() << "corpus not found at " SORVANTI_CORPUS_DIR " (needs ../shared)"; \
    } while (0)
