// The search and replace commands: the search dialog's replace list run over a scope by
// the same TObjectSearch as the window's, each hit printed as
// library(object):line:column: text (or as JSON), and replace as a unified diff per object
// or, with --apply, written back through the window's rebuild.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/CliSupport.h"
#include "app/UnifiedDiff.h"
#include "build/Rebuild.h"
#include "orca/EntryTypes.h"
#include "orca/StructureCheck.h"
#include "platform/AtomicFile.h"
#include "platform/Paths.h"

namespace cli {

namespace {

using TCliSearchHost = search::TListSearchHost;

// The type names --types takes, in check-box order (cbApplication on).
constexpr const char* TypeNames[] = {"application", "datawindow", "function",   "menu",
                                     "query",       "structure",  "userobject", "window",
                                     "pipeline",    "project",    "proxy"};

// Sets the host's list from the command's text and options, or loads --gsr; false and
// *error when a type name or the replace list is bad.
bool MakeList(const TInvocation& inv, bool replace, search::TReplaceList& list,
              std::string* error) {
    if (inv.HasValue("--gsr")) {
        const std::string file = inv.Value("--gsr");
        const std::string host = file[0] == '/' ? file : platform::HostPath(file);
        const std::optional<std::string> bytes = platform::ReadHostFile(host);
        if (!bytes) {
            *error = "cannot read the replace list " + file;
            return false;
        }
        *error = list.LoadFromText(*bytes, file);
    } else {
        if (inv.HasValue("--types")) {
            for (int box = search::cbApplication; box <= search::cbProxy; ++box)
                list.SetChecked(static_cast<search::TReplaceCheckBox>(box), false);
            std::string names = inv.Value("--types") + ",";
            for (size_t at = 0, comma; (comma = names.find(',', at)) != std::string::npos;
                 at = comma + 1) {
                std::string name = names.substr(at, comma - at);
                name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
                const auto* found = std::find_if(std::begin(TypeNames), std::end(TypeNames),
                                                 [&](const char* t) { return name == t; });
                if (found == std::end(TypeNames)) {
                    *error = "unknown object type \"" + name + "\" in --types";
                    return false;
                }
                list.SetChecked(static_cast<search::TReplaceCheckBox>(
                                    search::cbApplication + (found - std::begin(TypeNames))),
                                true);
            }
        }
        list.SetChecked(search::cbMatchCase, inv.Has("--case"));
        list.SetChecked(search::cbWholeWord, inv.Has("--word"));
        list.SetFindText(inv.Operands.back());
        list.SetReplaceText(inv.Value("--with"));
    }
    list.Options.Exclude(search::srFindNext);
    list.Options.Include(search::srFindAll);
    list.Options.Set(search::srReplaceDlg, replace);
    return error->empty();
}

// Windows-1252 as Unicode code points for 0x80-0x9F (the five bytes it leaves undefined
// are their C1 control characters).
constexpr uint16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// A JSON string of Windows-1252 bytes, in UTF-8.
std::string JsonString(std::string_view bytes) {
    std::string out = "\"";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '"' || b == '\\') {
            out += '\\';
            out += c;
        } else if (b == '\n') {
            out += "\\n";
        } else if (b == '\r') {
            out += "\\r";
        } else if (b == '\t') {
            out += "\\t";
        } else if (b < 0x20 || b == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", b);
            out += escape;
        } else if (b < 0x80) {
            out += c;
        } else {
            const unsigned cp = b < 0xA0 ? Cp1252High[b - 0x80] : b;
            if (cp < 0x800) {
                out += static_cast<char>(0xC0 | (cp >> 6));
            } else {
                out += static_cast<char>(0xE0 | (cp >> 12));
                out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            }
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out + "\"";
}

// Line and column (1-based, bytes) of offsets into one source, counted on from the last
// offset asked when the next is not before it.
// The line feeds among n bytes, sixteen at a time where the processor allows: each
// lane counts its matches (a compare gives -1) for up to 255 blocks, then the lanes are
// summed.
size_t CountNewlines(const char* bytes, size_t n) {
    size_t count = 0, i = 0;
#if defined(__SSE2__)
    const __m128i feed = _mm_set1_epi8('\n');
    while (i + 16 <= n) {
        __m128i lanes = _mm_setzero_si128();
        for (int k = 0; k < 255 && i + 16 <= n; ++k, i += 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
            lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(block, feed));
        }
        const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
        count += static_cast<size_t>(_mm_cvtsi128_si32(sums)) +
                 static_cast<size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
    }
#endif
    for (; i < n; ++i)
        count += bytes[i] == '\n';
    return count;
}

class TLineCounter {
  public:
    void Locate(std::string_view source, size_t offset, int* line, int* column,
                std::string_view* text) {
        if (source.data() != source_.data() || offset < at_) {
            source_ = source;
            at_ = 0;
            line_ = 1;
            lineStart_ = 0;
        }
        offset = std::min(offset, source.size());
        if (at_ < offset) {
            // Counted in bulk, the line's start found backwards.
            const char* from = source.data() + at_;
            const size_t n = offset - at_;
            const size_t breaks = CountNewlines(from, n);
            if (breaks > 0) {
                line_ += static_cast<int>(breaks);
                const auto* last = static_cast<const char*>(::memrchr(from, '\n', n));
                lineStart_ = static_cast<size_t>(last - source.data()) + 1;
            }
            at_ = offset;
        }
        *line = line_;
        *column = static_cast<int>(offset - lineStart_) + 1;
        // A plain loop: lines are short, and find_first_of tries each byte in turn.
        size_t end = std::max(lineStart_, offset);
        while (end < source.size() && source[end] != '\r' && source[end] != '\n')
            ++end;
        *text = source.substr(lineStart_, end - lineStart_);
    }

  private:
    std::string_view source_;
    size_t at_ = 0, lineStart_ = 0;
    int line_ = 1;
};

std::string ObjectName(const catalogue::TPBLib* lib, const std::string& entry) {
    return (lib ? lib->Name : std::string()) + "(" + entry + ")";
}

bool PrepareRun(catalogue::TOrcaMgr& mgr, const TInvocation& inv, bool replace, TScope* scope,
                TCliSearchHost& host, std::string* error) {
    return ResolveScope(mgr, inv.Operands[0], inv.Has("--descendants"), scope, error) &&
           MakeList(inv, replace, host.list, error);
}

// The search command's host: each hit is printed as it is found, while the source before it
// is still in the processor's caches (a second pass over every source after the search
// read them all from memory again). Output is written in blocks; when stdout fails, the
// run is stopped.
class TPrintingHost : public TCliSearchHost {
  public:
    explicit TPrintingHost(bool json) : json_(json) {}
    void Printing(search::TObjectSearch* run) { run_ = run; }

    void AppendResult(search::TSearchResult&& result) override {
        TCliSearchHost::AppendResult(std::move(result));
        if (!failed_)
            Print();
    }
    // Writes what is left; false when stdout failed.
    bool Flush() {
        failed_ = failed_ || !Write(out_);
        out_.clear();
        return !failed_;
    }

  private:
    void Print() {
        const search::TSearchResult& hit = results.back();
        // Hits of one object follow each other: it is looked up once for them.
        if (results.size() < 2 || !hit.SameEntryAs(results[results.size() - 2]))
            obj_ = hit.Object();
        if (!obj_)
            return;
        int line = 0, column = 0;
        std::string_view text;
        counter_.Locate(obj_->SourceText(), static_cast<size_t>(hit.SelStart), &line, &column,
                        &text);
        if (json_) {
            out_ += "{\"library\":" + JsonString(hit.Lib ? hit.Lib->Name : "") +
                    ",\"object\":" + JsonString(hit.EntryName) +
                    ",\"type\":" + JsonString(TypeName(hit.EntryType)) +
                    ",\"line\":" + std::to_string(line) + ",\"column\":" + std::to_string(column) +
                    ",\"text\":" + JsonString(text) + ",\"found\":" + JsonString(hit.FoundText) +
                    "}\n";
        } else {
            if (hit.Lib)
                out_ += hit.Lib->Name;
            out_ += '(';
            out_ += hit.EntryName.str();
            out_ += "):";
            out_ += std::to_string(line);
            out_ += ':';
            out_ += std::to_string(column);
            out_ += ": ";
            out_.append(text);
            out_ += '\n';
        }
        if (out_.size() >= 1 << 16 && !Flush() && run_)
            run_->Stop();
    }

    bool json_;
    search::TObjectSearch* run_ = nullptr;
    TLineCounter counter_;
    std::string out_;
    bool failed_ = false;
    catalogue::TPBObj* obj_ = nullptr;  // the entry of the last hit
};

}  // namespace

int SearchCommand(catalogue::TOrcaMgr& mgr, const TInvocation& inv) {
    TPrintingHost host(inv.Has("--json"));
    std::string error;
    if (!MakeList(inv, false, host.list, &error))
        return Fail(error);
    const size_t scopes = inv.Operands.size() - (inv.HasValue("--gsr") ? 0 : 1);
    std::vector<TScope> resolved(scopes);
    for (size_t i = 0; i < scopes; ++i)
        if (!ResolveScope(mgr, inv.Operands[i], inv.Has("--descendants"), &resolved[i], &error))
            return Fail(error);
    search::TObjectSearch run(host);
    host.Printing(&run);
    int searched = 0;
    size_t found = 0;
    for (const TScope& scope : resolved) {
        run.Run(scope.Search);
        searched += run.ObjectsSearched();
        found += host.results.size();
        if (!host.Flush())
            return ExitFailed;
    }
    if (found == 0) {
        ErrorLine("sorvanti-cli: nothing found (%d objects searched)\n", searched);
        return ExitFailed;
    }
    return ExitOk;
}

int ReplaceCommand(catalogue::TOrcaMgr& mgr, const TInvocation& inv) {
    TScope scope;
    TCliSearchHost host;
    std::string error;
    if (!PrepareRun(mgr, inv, true, &scope, host, &error))
        return Fail(error);
    const bool apply = inv.Has("--apply");
    if (apply && !UseTemporaryLibrary(inv, &error))
        return Fail(error);
    search::TObjectSearch run(host);
    // First every hit as it is, for the sources before; then the same run replacing each
    // hit as it is found (resuming after the replacement, so hits never overlap). An
    // object the second run changes had a hit in the first: its first change was made by
    // a list entry that saw the source as it was.
    run.Run(scope.Search);
    std::vector<catalogue::TPBObj*> objects;
    std::map<catalogue::TPBObj*, std::string> before;
    for (const search::TSearchResult& hit : host.results)
        if (catalogue::TPBObj* obj = hit.Object(); obj && !before.count(obj)) {
            objects.push_back(obj);
            before[obj] = std::string(obj->SourceText());
        }
    if (objects.empty()) {
        ErrorLine("sorvanti-cli: nothing found (%d objects searched)\n", run.ObjectsSearched());
        return ExitFailed;
    }
    host.list.Options.Include(search::srReplaceOnFind);
    run.Run(scope.Search);
    const size_t hits = host.results.size();

    // The changed objects, in the order of their first hit, each with how it was reached.
    struct TChanged {
        catalogue::TPBObj* obj;
        catalogue::TPBObjRef* ref;
    };
    std::vector<TChanged> changed;
    for (catalogue::TPBObj* obj : objects)
        if (obj->SourceText() != before[obj]) {
            catalogue::TPBObjRef* ref = nullptr;
            for (const search::TSearchResult& hit : host.results)
                if (hit.Object() == obj && (ref = hit.ObjRef()) != nullptr)
                    break;
            changed.push_back({obj, ref});
        }
    if (!apply) {
        for (const TChanged& c : changed) {
            const std::string name = ObjectName(c.obj->Lib, c.obj->Name);
            if (!Write(UnifiedDiff(before[c.obj], c.obj->SourceText(), name, name)))
                return ExitFailed;
        }
        ErrorLine(
            "sorvanti-cli: %zu replacements in %zu objects (a dry run: nothing "
            "written; --apply writes)\n",
            hits, changed.size());
        return ExitOk;
    }

    // Every replaced source passes the structure check before any library is written.
    std::vector<TChanged> passing;
    size_t failing = 0;
    for (const TChanged& c : changed) {
        const auto problems = orca::CheckSource(c.obj->SourceText(), c.obj->Name, c.obj->EntryType);
        for (const orca::CompileProblem& p : problems)
            ErrorLine("sorvanti-cli: %s:%d:%d: %s (structure check %04d)\n",
                      ObjectName(c.obj->Lib, c.obj->Name).c_str(), p.line, p.column, p.text.c_str(),
                      p.messageNumber);
        if (problems.empty())
            passing.push_back(c);
        else
            ++failing;
    }
    if (failing > 0 && !inv.Has("--keep-going"))
        return Fail(std::to_string(failing) + " of " + std::to_string(changed.size()) +
                    " replaced objects fail the structure check: nothing written");
    size_t rebuilt = 0, failed = 0;
    for (const TChanged& c : passing) {
        const bool ok = c.ref ? build::RebuildEntry(*c.ref) : build::RebuildObject(*c.obj);
        if (ok) {
            ++rebuilt;
            continue;
        }
        ++failed;
        if (!inv.Has("--keep-going"))
            break;
    }
    const size_t notWritten = changed.size() - rebuilt - failed;
    ErrorLine(
        "sorvanti-cli: %zu replacements in %zu objects: %zu written, %zu failed, %zu "
        "not written\n",
        hits, changed.size(), rebuilt, failed, notWritten);
    return failed == 0 && failing == 0 ? ExitOk : ExitFailed;
}

}  // namespace cli
