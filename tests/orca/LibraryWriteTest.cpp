// Writes to libraries against other writers, read-only files, killed writers and the
// entry comments a library and an export file can hold.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <limits>
#include <random>
#include <stdexcept>
#include <thread>

#include "orca/LibraryLock.h"
#include "orca/OrcaObjects.h"
#include "orca/PblBinary.h"
#include "orca/PblLibrary.h"
#include "platform/AtomicFile.h"
#include "tests/orca/OrcaTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using orcatest::Win;
using orcatest::WindowSource;

// A folder in memory where there is one: the commits' flushes to disk cost nothing
// there, which keeps a test of many of them short; a killed process is a killed process.
class MemoryDir {
  public:
    MemoryDir() {
        std::error_code ec;
        const bool shm = std::filesystem::is_directory("/dev/shm", ec);
        std::string name =
            ((shm ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path()) /
             "sorvanti-test-XXXXXX")
                .string();
        if (!::mkdtemp(name.data()))
            throw std::runtime_error("cannot create a temporary folder");
        path_ = name;
    }
    ~MemoryDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& Path() const { return path_; }
    std::string operator/(std::string_view name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

class LibraryWrites : public ::testing::Test {
  protected:
    MemoryDir dir;
    const std::string lib = dir / "a.pbl";
    const std::string winLib = Win(lib);

    void SetUp() override {
        orcatest::Orca orca;
        ASSERT_EQ(PBORCA_LibraryCreate(orca, winLib.c_str(), "test"), PBORCA_OK);
    }
    static std::string Name(const std::string& prefix, int i) { return prefix + std::to_string(i); }
    // Imports w_<prefix><first..first+count-1>, one call each; true when all succeed.
    bool ImportMany(const std::string& prefix, int first, int count) {
        orcatest::Orca orca;
        for (int i = first; i < first + count; ++i) {
            const std::string name = Name(prefix, i);
            if (orcatest::Import(orca, winLib, name, PBORCA_WINDOW, "",
                                 WindowSource(name, "window")) != PBORCA_OK)
                return false;
        }
        return true;
    }
    std::vector<std::string> Temporaries() {
        std::vector<std::string> found;
        for (const auto& item : std::filesystem::directory_iterator(dir.Path()))
            if (item.path().filename().string().starts_with(".a.pbl.tmp"))
                found.push_back(item.path().filename().string());
        return found;
    }
};

// Runs body in a child process; its exit status is 0 when body returns true.
pid_t Child(const std::function<bool()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body() ? 0 : 1);
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(LibraryWrites, ConcurrentWritersKeepEveryChange) {
    // Two processes through the ORCA calls.
    const pid_t a = Child([&] { return ImportMany("w_a", 0, 30); });
    const pid_t b = Child([&] { return ImportMany("w_b", 0, 30); });
    EXPECT_EQ(Wait(a), 0);
    EXPECT_EQ(Wait(b), 0);
    orcatest::Orca orca;
    EXPECT_EQ(orcatest::Directory(orca, winLib).size(), 60u);

    // Two pblutil processes importing at the same time.
    for (int i = 0; i < 20; ++i)
        for (const char* who : {"p", "q"})
            testsupport::WriteFile(dir / (Name(std::string("w_") + who, i) + ".srw"),
                                   WindowSource(Name(std::string("w_") + who, i), "window"));
    std::string script;
    for (const char* who : {"p", "q"})
        script += "(for i in $(seq 0 19); do '" + std::string(SORVANTI_PBLUTIL) + "' import '" +
                  lib + "' '" + dir.Path().string() + "/w_" + who +
                  "'$i.srw >/dev/null || exit 1; done) &\n";
    script += "wait %1 && wait %2\n";
    testsupport::WriteFile(dir / "both.sh", script);
    EXPECT_EQ(std::system(("bash '" + (dir / "both.sh") + "'").c_str()), 0);
    EXPECT_EQ(orcatest::Directory(orca, winLib).size(), 100u);

    // One call on two paths of one file takes its lock once, and does not wait for it.
    std::filesystem::create_symlink(lib, dir / "link.pbl");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(PBORCA_LibraryEntryCopy(orca, winLib.c_str(), Win(dir / "link.pbl").c_str(), "w_a0",
                                      PBORCA_WINDOW),
              PBORCA_OK)
        << orca.Error();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(orcatest::Directory(orca, winLib).size(), 100u);
}

TEST_F(LibraryWrites, ChangeByAnotherProgramIsNeverOverwritten) {
    const std::string before = testsupport::ReadFile(lib);
    auto mine = orca::PblLibrary::Parse(before, nullptr);
    ASSERT_TRUE(mine);
    mine->SetComment("mine");
    const std::string theirs = orca::PblLibrary::Create("0600", "theirs", 1)->Serialize();

    // Replaced by rename, as our own writers and many editors do.
    orca::LibraryLock lock;
    std::string error;
    ASSERT_TRUE(lock.Acquire(lib, &error)) << error;
    ASSERT_TRUE(platform::WriteHostFileAtomic(lib, theirs));
    EXPECT_FALSE(lock.Commit(*mine, &error));
    EXPECT_NE(error.find("another program changed the file"), std::string::npos) << error;
    EXPECT_EQ(testsupport::ReadFile(lib), theirs);

    // Written in place, as PowerBuilder does; same size.
    ASSERT_TRUE(lock.Acquire(lib, &error)) << error;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // past the clock's tick
    {
        FILE* f = std::fopen(lib.c_str(), "r+b");
        ASSERT_TRUE(f);
        std::fwrite(before.data(), 1, before.size(), f);
        std::fclose(f);
    }
    EXPECT_FALSE(lock.Commit(*mine, &error));
    EXPECT_EQ(testsupport::ReadFile(lib), before);

    // Unchanged: the commit goes through, and a second one under the same lock too.
    ASSERT_TRUE(lock.Acquire(lib, &error)) << error;
    EXPECT_TRUE(lock.Commit(*mine, &error)) << error;
    mine->SetComment("mine again");
    EXPECT_TRUE(lock.Commit(*mine, &error)) << error;
    EXPECT_EQ(orca::PblLibrary::Load(lib, nullptr)->Comment(), "mine again");
    lock.Release();

    // A creator whose check for an existing file was overtaken by another creator.
    const std::string created = testsupport::ReadFile(lib);
    bool exists = false;
    EXPECT_FALSE(orca::LibraryLock::CreateNew(lib, *mine, &error, &exists));
    EXPECT_TRUE(exists);
    EXPECT_EQ(testsupport::ReadFile(lib), created);
    EXPECT_TRUE(orca::LibraryLock::CreateNew(dir / "b.pbl", *mine, &error)) << error;
    EXPECT_EQ(orca::PblLibrary::Load(dir / "b.pbl", nullptr)->Comment(), "mine again");
}

TEST_F(LibraryWrites, ReadOnlyLibraryIsRefusedAndLeftAlone) {
    ASSERT_TRUE(ImportMany("w_", 0, 1));
    ASSERT_EQ(::chmod(lib.c_str(), 0444), 0);
    const std::string before = testsupport::ReadFile(lib);
    orcatest::Orca orca;
    EXPECT_NE(
        orcatest::Import(orca, winLib, "w_x", PBORCA_WINDOW, "", WindowSource("w_x", "window")),
        PBORCA_OK);
    EXPECT_NE(orca.Error().find("read-only"), std::string::npos) << orca.Error();
    EXPECT_NE(PBORCA_LibraryEntryDelete(orca, winLib.c_str(), "w_0", PBORCA_WINDOW), PBORCA_OK);
    EXPECT_NE(PBORCA_LibraryCommentModify(orca, winLib.c_str(), "new"), PBORCA_OK);
    EXPECT_NE(PBORCA_LibraryDelete(orca, winLib.c_str()), PBORCA_OK);
    std::string error;
    EXPECT_FALSE(orca::PblLibrary::Load(lib, nullptr)->Save(lib, &error));
    EXPECT_NE(error.find("read-only"), std::string::npos) << error;
    EXPECT_EQ(testsupport::ReadFile(lib), before);
    struct stat st {};
    ASSERT_EQ(::stat(lib.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
}

TEST_F(LibraryWrites, CommentsAreStoredWholeOrRefused) {
    orcatest::Orca orca;
    const std::string source = WindowSource("w_c", "window");
    const std::string before = testsupport::ReadFile(lib);
    EXPECT_EQ(orcatest::Import(orca, winLib, "w_c", PBORCA_WINDOW, std::string(65536, 'c'), source),
              PBORCA_INVALIDPARMS);
    EXPECT_NE(orca.Error().find("65535"), std::string::npos) << orca.Error();
    EXPECT_EQ(testsupport::ReadFile(lib), before);

    // Line breaks and tildes come back exactly through export and import.
    const std::vector<std::string> comments = {
        "two\r\nlines", "lf\nonly", "~n is not a break",    "tilde~\nbreak", "~~~",
        "end~",         "cr\r",     std::string(65535, 'x')};
    for (const std::string& comment : comments) {
        const std::string file = orca::FormatExportFile("w_c.srw", comment, source, false);
        EXPECT_EQ(file.find("\n", file.find("$PBExportComments$")),
                  file.find("\r\n", file.find("$PBExportComments$")) + 1);
        const orca::ExportFile back = orca::ParseExportFile(file);
        EXPECT_EQ(back.comment, comment);
        EXPECT_EQ(back.source, source);
    }
    ASSERT_EQ(orcatest::Import(orca, winLib, "w_c", PBORCA_WINDOW, "a\r\nb~n", source), PBORCA_OK);
    const std::string out = dir / "out";
    ASSERT_EQ(std::system(("'" + std::string(SORVANTI_PBLUTIL) + "' export '" + lib + "' '" + out +
                           "' >/dev/null && '" + SORVANTI_PBLUTIL + "' import '" + lib + "' '" +
                           out + "/w_c.srw' >/dev/null")
                              .c_str()),
              0);
    const auto library = orca::PblLibrary::Load(lib, nullptr);
    ASSERT_TRUE(library && library->Find("w_c.srw"));
    EXPECT_EQ(library->Find("w_c.srw")->Comment(), "a\r\nb~n");
    EXPECT_EQ(library->Find("w_c.srw")->BodyText(), source);
}

TEST_F(LibraryWrites, KilledWritersLeaveOldOrNewStateAndNoTemporaries) {
    ASSERT_TRUE(ImportMany("w_base", 0, 40));
    const std::string base = testsupport::ReadFile(lib);
    // The kills fall at random moments within the time a whole run of the child takes:
    // the fastest of three, as one slowed by other work would put most kills after its end.
    long long span = std::numeric_limits<long long>::max();
    for (int run = 0; run < 3; ++run) {
        testsupport::WriteFile(lib, base);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(Wait(Child([&] { return ImportMany("w_new", 0, 20); })), 0);
        span = std::min<long long>(span, std::chrono::duration_cast<std::chrono::microseconds>(
                                             std::chrono::steady_clock::now() - start)
                                             .count());
    }
    std::mt19937 random(std::random_device{}());
    // Until kills have fallen both between two commits and inside one made in place,
    // which a busy machine can make rare.
    int partial = 0, hot = 0;
    for (int trial = 0; trial < 120 || (trial < 2000 && (partial == 0 || hot == 0)); ++trial) {
        testsupport::WriteFile(lib, base);
        const pid_t pid = Child([&] { return ImportMany("w_new", 0, 20); });
        std::this_thread::sleep_for(std::chrono::microseconds(random() % (span + 1)));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        hot += std::filesystem::exists(dir / ".a.pbl-journal");
        // Every entry of the base, then the first k new ones, each with its source.
        orcatest::Orca orca;
        int32_t rc = PBORCA_OK;
        const auto records = orcatest::Directory(orca, winLib, &rc);
        ASSERT_EQ(rc, PBORCA_OK) << "trial " << trial << ": " << orca.Error();
        ASSERT_GE(records.size(), 40u);
        const size_t k = records.size() - 40;
        partial += k > 0 && k < 20;
        for (size_t i = 0; i < 40 + k; ++i) {
            const std::string name = i < 40 ? Name("w_base", static_cast<int>(i))
                                            : Name("w_new", static_cast<int>(i - 40));
            char text[1024];
            ASSERT_EQ(PBORCA_LibraryEntryExport(orca, winLib.c_str(), name.c_str(), PBORCA_WINDOW,
                                                text, sizeof text),
                      PBORCA_OK)
                << "trial " << trial << ": " << name << " missing";
            ASSERT_EQ(text, WindowSource(name, "window")) << "trial " << trial;
        }
    }
    EXPECT_GT(partial, 0) << "no kill fell between two commits";
    EXPECT_GT(hot, 0) << "no kill fell inside a commit made in place";
    EXPECT_FALSE(std::filesystem::exists(dir / ".a.pbl-journal"));

    // The next write clears what killed writers left, but not a live writer's file.
    const pid_t live = Child([] {
        ::pause();
        return true;
    });
    const std::string liveTemp = ".a.pbl.tmp" + std::to_string(live) + "-0-0";
    testsupport::WriteFile(dir / liveTemp, "x");
    const pid_t dead = Child([] { return true; });
    Wait(dead);
    testsupport::WriteFile(dir / (".a.pbl.tmp" + std::to_string(dead) + "-0-0"), "x");
    ASSERT_TRUE(ImportMany("w_after", 0, 1));
    EXPECT_EQ(Temporaries(), std::vector<std::string>{liveTemp});
    ::kill(live, SIGKILL);
    ::waitpid(live, nullptr, 0);
}

// The directory of a library image walked as PowerBuilder searches it: the names in the
// tree's order, each with the offset of its first data block; empty when a name is out of
// search-tree order.
std::vector<std::pair<std::string, uint32_t>> Tree(const std::string& image, uint32_t node = 1024) {
    std::vector<std::pair<std::string, uint32_t>> out;
    if (node == 0)
        return out;
    const char* n = image.data() + node;
    out = Tree(image, orca::pbl::Get32(n + 4));
    std::vector<std::pair<std::string, uint32_t>> here;
    for (size_t i = 0, pos = 32; i < orca::pbl::Get16(n + 20); ++i) {
        here.emplace_back(n + pos + 24, orca::pbl::Get32(n + pos + 8));
        pos += 24 + orca::pbl::Get16(n + pos + 22);
    }
    std::sort(here.begin(), here.end());
    out.insert(out.end(), here.begin(), here.end());
    const auto right = Tree(image, orca::pbl::Get32(n + 12));
    out.insert(out.end(), right.begin(), right.end());
    for (size_t i = 1; i < out.size(); ++i)
        if (!orca::PblLibrary::NameLess(out[i - 1].first, out[i].first))
            return {};
    return out;
}

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST_F(LibraryWrites, InPlaceCommitsWriteWhatChangesAndReuseFreedBlocks) {
    ASSERT_TRUE(ImportMany("w_base", 0, 120));  // two directory nodes and more
    const std::string first = testsupport::ReadFile(lib);
    const ino_t inode = InodeOf(lib);
    auto intended = orca::PblLibrary::Load(lib, nullptr);
    ASSERT_TRUE(intended);
    std::mt19937 random(7);
    for (int save = 0; save < 60; ++save) {
        orca::LibraryLock lock;
        std::string error;
        ASSERT_TRUE(lock.Acquire(lib, &error)) << error;
        auto changed =
            save % 3 == 0 ? lock.Load(&error) : std::make_unique<orca::PblLibrary>(*intended);
        ASSERT_TRUE(changed) << error;
        // The same entry saved again and again, with entries coming and going around it.
        ASSERT_TRUE(changed->Put(orca::SourceEntry(
            "w_base7.srw", "", 0, "", std::string(3000 + random() % 4000, 'a' + save % 26))));
        const std::string added = "w_add" + std::to_string(random() % 40);
        if (!changed->Remove(added + ".srw")) {
            ASSERT_TRUE(changed->Put(
                orca::SourceEntry(added + ".srw", "", 0, "", WindowSource(added, "window"))));
        }
        ASSERT_TRUE(lock.Commit(*changed, &error)) << error;
        EXPECT_EQ(InodeOf(lib), inode) << "save " << save << " was not made in place";
        intended = std::move(changed);
    }
    const std::string now = testsupport::ReadFile(lib);
    // Freed blocks are used again: the file grows by little more than the entries added.
    EXPECT_LT(now.size(), first.size() + 40 * 2048) << first.size();
    auto back = orca::PblLibrary::Parse(now, nullptr);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->Entries().size(), intended->Entries().size());
    for (size_t i = 0; i < back->Entries().size(); ++i) {
        EXPECT_EQ(back->Entries()[i].name, intended->Entries()[i].name);
        EXPECT_TRUE(back->Entries()[i].data == intended->Entries()[i].data)
            << back->Entries()[i].name;
    }
    // A search tree, and the entries no save touched still in their blocks.
    const auto before = Tree(first), after = Tree(now);
    ASSERT_EQ(after.size(), back->Entries().size());
    size_t untouched = 0;
    for (const auto& [name, at] : before)
        for (const auto& [nowName, nowAt] : after)
            if (name == nowName && name != "w_base7.srw" && name.starts_with("w_base")) {
                EXPECT_EQ(at, nowAt) << name;
                EXPECT_EQ(now.substr(at, 512), first.substr(at, 512)) << name;
                ++untouched;
            }
    EXPECT_EQ(untouched, 119u);
}

TEST_F(LibraryWrites, JournalOfAnUnfinishedCommitIsRolledBackByReadersAndWriters) {
    ASSERT_TRUE(ImportMany("w_base", 0, 30));
    const std::string before = testsupport::ReadFile(lib);
    const std::string journal = dir / ".a.pbl-journal";
    int torn = 0, incomplete = 0;
    for (long long budget = 256;; budget += 512) {
        testsupport::WriteFile(lib, before);
        orca::LibraryLock lock;
        std::string error;
        ASSERT_TRUE(lock.Acquire(lib, &error)) << error;
        auto changed = lock.Load(&error);
        ASSERT_TRUE(changed) << error;
        changed->Remove("w_base3.srw");
        for (const char* name : {"w_base4", "w_zz"})
            ASSERT_TRUE(changed->Put(
                orca::SourceEntry(std::string(name) + ".srw", "", 0, "", std::string(4000, 'z'))));
        const int way = static_cast<int>(budget / 512) % 3;
        orca::LibraryLock::FailNextCommitAfter(budget, way != 2);
        if (lock.Commit(*changed, &error))
            break;  // the budget covers the whole commit
        lock.Release();
        if (way == 2) {  // a failure the commit saw: undone at once
            EXPECT_EQ(testsupport::ReadFile(lib), before) << budget;
            EXPECT_FALSE(std::filesystem::exists(journal)) << budget;
            continue;
        }
        ASSERT_TRUE(std::filesystem::exists(journal)) << budget;
        const bool touched = testsupport::ReadFile(lib) != before;
        touched ? ++torn : ++incomplete;
        if (way == 1) {
            // A reader that may not write reads the state before the commit, file untouched.
            ASSERT_EQ(::chmod(lib.c_str(), 0444), 0);
            const std::string onDisk = testsupport::ReadFile(lib);
            auto read = orca::PblLibrary::Load(lib, &error);
            ASSERT_TRUE(read) << budget << ": " << error;
            EXPECT_TRUE(read->Find("w_base3.srw") && !read->Find("w_zz.srw")) << budget;
            EXPECT_EQ(testsupport::ReadFile(lib), onDisk);
            ASSERT_EQ(::chmod(lib.c_str(), 0644), 0);
            // The next writer rolls it back.
            ASSERT_TRUE(lock.Acquire(lib, &error)) << error;
            lock.Release();
        } else {
            // A reader that may write rolls it back (through the ORCA session too).
            orcatest::Orca orca;
            EXPECT_EQ(orcatest::Directory(orca, winLib).size(), 30u) << budget;
        }
        EXPECT_EQ(testsupport::ReadFile(lib), before) << budget;
        EXPECT_FALSE(std::filesystem::exists(journal)) << budget;
    }
    EXPECT_GT(torn, 0);
    EXPECT_GT(incomplete, 0);
}

}  // namespace
