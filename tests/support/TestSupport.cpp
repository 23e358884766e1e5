#include "tests/support/TestSupport.h"

#include <sys/wait.h>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "platform/AtomicFile.h"
#include "platform/Prefix.h"

namespace testsupport {

ScopedEnv::~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        if (it->second)
            ::setenv(it->first.c_str(), it->second->c_str(), 1);
        else
            ::unsetenv(it->first.c_str());
    }
}

void ScopedEnv::Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

TempDir::TempDir() {
    std::string name = (std::filesystem::temp_directory_path() / "sorvanti-test-XXXXXX").string();
    if (!mkdtemp(name.data()))
        throw std::runtime_error("cannot create a temporary folder");
    path_ = name;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

TempPrefix::TempPrefix() {
    platform::SetPrefixDir(PrefixPath());
}

TempPrefix::~TempPrefix() {
    platform::SetPrefixDir("");
}

void WriteFile(const std::string& hostPath, std::string_view bytes) {
    std::filesystem::create_directories(std::filesystem::path(hostPath).parent_path());
    std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << hostPath;
}

std::string ReadFile(const std::string& hostPath) {
    const std::optional<std::string> bytes = platform::ReadHostFile(hostPath);
    EXPECT_TRUE(bytes) << "cannot read " << hostPath;
    return bytes.value_or("");
}

std::string HexOf(std::string_view bytes) {
    std::ostringstream out;
    for (unsigned char c : bytes)
        out << std::hex << std::setw(2) << std::setfill('0') << int{c};
    return out.str();
}

std::vector<std::vector<std::string>> ReadTsvRows(const std::string& hostPath, size_t columns) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(ReadFile(hostPath));
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::vector<std::string>& cells = rows.emplace_back();
        std::stringstream split(line);
        for (std::string cell; std::getline(split, cell, '\t');)
            cells.push_back(cell);
        cells.resize(columns);
    }
    return rows;
}

int BuildSampleWorkspace(const std::string& prefixHostPath, const std::string& pblutil) {
    const std::string command = std::string("bash '") + SORVANTI_SAMPLE_SCRIPT + "' '" +
                                prefixHostPath + "' '" + pblutil + "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string CorpusDir() {
    std::error_code ec;
    std::filesystem::path dir(SORVANTI_CORPUS_DIR);
    if (std::filesystem::is_directory(dir / "pbl", ec))
        return dir.string();
    return {};
}

}  // namespace testsupport
