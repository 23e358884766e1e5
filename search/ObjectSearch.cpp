// Search across objects and Replace/Undo of its hits.

#include "search/ObjectSearch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "catalogue/Source.h"
#include "platform/Ansi.h"
#include "platform/Files.h"
#include "shell/Utilities.h"

namespace search {

namespace {

// The option of each entry type, in type-code order; other types are never searched.
constexpr TSearchOption TypeOptions[] = {
    srApplication, srDatawindow, srFunction, srMenu,    srQuery, srStructure,
    srUserObject,  srWindow,     srPipeline, srProject, srProxy,
};

bool TypeSelected(TSearchOptions options, int entryType) {
    return entryType >= 0 && entryType < static_cast<int>(std::size(TypeOptions)) &&
           options.Contains(TypeOptions[entryType]);
}

// Deep enough for any real hierarchy; a deeper branch can only be a cycle.
constexpr int MaxHierarchyDepth = 1000;

// The source without the zero byte every exported source ends with.
std::string_view SourceText(const catalogue::TPBObj& obj) {
    return std::string_view(obj.Source).substr(0, obj.Source.empty() ? 0 : obj.Source.size() - 1);
}

void SourceChanged(catalogue::TPBObj& obj) {
    obj.SourceLen = static_cast<int32_t>(obj.Source.empty() ? 0 : obj.Source.size() - 1);
    obj.Modified = true;
}

std::string Where(const TSearchResult& r) {
    return (r.Lib ? r.Lib->Name : std::string()) + "(" + r.EntryName.str() + ") at offset " +
           std::to_string(r.SelStart);
}

}  // namespace

// ---- Results ------------------------------------------------------------------------

catalogue::TPBObj* TSearchResult::Object() const {
    if (!Lib || Lib->Retired())
        return nullptr;
    const int index = Lib->IndexOfEntry(EntryName, EntryType);
    return index < 0 ? nullptr : Lib->Entries[index];
}

catalogue::TPBObjRef* TSearchResult::ObjRef() const {
    if (!AppKey || !Lib || !catalogue::HasOrcaMgr())
        return nullptr;
    const catalogue::TOrcaMgr& mgr = catalogue::OrcaMgr();
    for (int i = 0; i < mgr.Apps.Count(); ++i) {
        catalogue::TPBApp* app = mgr.Apps[i];
        if (app->AppKey() != *AppKey)
            continue;
        for (int j = 0; j < app->LibRefs.Count(); ++j)
            if (app->LibRef(j)->Lib == Lib)
                return app->LibRef(j)->FindObjRef(EntryName, EntryType);
    }
    return nullptr;
}

void ResultLineInto(std::string& line, std::string_view entryName, std::string_view foundText,
                    std::string_view replaceText, std::string_view libraryName) {
    // Built in one piece: Find All builds one line per hit.
    const std::string_view found = foundText.substr(0, 255);
    const size_t shownSize = found.size() + (replaceText.empty() ? 0 : 2 + replaceText.size());
    const size_t nameWidth = std::max<size_t>(entryName.size(), 32);
    const size_t shownWidth = std::max<size_t>(shownSize, 32);
    line.assign(nameWidth + 1 + shownWidth + 1 + libraryName.size(), ' ');
    char* out = line.data();
    std::copy(entryName.begin(), entryName.end(), out);
    out += nameWidth + 1;
    std::copy(found.begin(), found.end(), out);
    if (!replaceText.empty()) {
        out[found.size()] = '-';
        out[found.size() + 1] = '>';
        std::copy(replaceText.begin(), replaceText.end(), out + found.size() + 2);
    }
    out += shownWidth + 1;
    std::copy(libraryName.begin(), libraryName.end(), out);
}

// ---- Replace/Undo -------------------------------------------------------------------

namespace {

// The replacement a hit gets when it is replaced, from the list's texts read once.
class TReplacementChooser {
  public:
    explicit TReplacementChooser(const TReplaceList& list)
        : currentFind_(list.CurrentFindText()),
          currentReplace_(ExpandReplaceText(list.CurrentReplaceText())) {
        for (int i = 0; i < list.Count(); ++i)
            byFind_.try_emplace(platform::AnsiUpperCase(list.FindText(i)),
                                ExpandReplaceText(list.ReplaceText(i)));
    }
    const std::string& For(const TSearchResult& r) const {
        if (r.FoundText == currentFind_)
            return currentReplace_;
        const auto entry = byFind_.find(platform::AnsiUpperCase(r.FoundText));
        return entry != byFind_.end() ? entry->second : r.ReplaceText;
    }

  private:
    std::string currentFind_;
    std::string currentReplace_;
    // Upper-case find text -> the prepared replacement of the first entry with it.
    std::unordered_map<std::string, std::string> byFind_;
};

// A change of one source: bytes [start, start + length) become text.
struct TEdit {
    int row;
    int64_t start;
    int64_t length;
    std::string text;

    int64_t End() const { return start + length; }
};

// Makes the edits (in source order, none overlapping) to text: size bytes of source and
// its zero byte; shifts[k] is how far the text after edit k moves. When the text after
// every edit moves the same way and the buffer can hold the new source, the edits are
// made in place, moving only the text from the first edit on, through memory the check
// of the hits has just read. Otherwise the new source is built in scratch, which then
// takes the old source's buffer in exchange, so that a run over many entries reuses
// memory already in use instead of asking the system for fresh pages for every source.
void ApplyEdits(std::string& text, int64_t size, const std::vector<TEdit>& edits,
                const std::vector<int64_t>& shifts, std::string& scratch) {
    const size_t n = edits.size();
    const int64_t grown = shifts.back();
    const size_t needed = static_cast<size_t>(size + grown + 1);
    const bool right = std::all_of(shifts.begin(), shifts.end(), [](int64_t d) { return d >= 0; });
    const bool left = std::all_of(shifts.begin(), shifts.end(), [](int64_t d) { return d <= 0; });
    // The text after edit k runs up to the next edit, the last one's up to the zero byte.
    const auto segmentEnd = [&](size_t k) { return k + 1 < n ? edits[k + 1].start : size + 1; };
    const auto move = [&](char* data, size_t k) {
        const int64_t from = edits[k].End();
        std::memmove(data + from + shifts[k], data + from,
                     static_cast<size_t>(segmentEnd(k) - from));
    };
    const auto put = [&](char* data, size_t k) {
        const int64_t before = k == 0 ? 0 : shifts[k - 1];
        std::memcpy(data + edits[k].start + before, edits[k].text.data(), edits[k].text.size());
    };
    if (right && text.capacity() >= needed) {
        // Back to front: each piece moves up into room its followers have left.
        text.resize(needed);
        char* data = text.data();
        for (size_t k = n; k-- > 0;) {
            move(data, k);
            put(data, k);
        }
        return;
    }
    if (left) {
        // Front to back: each piece moves down over text already moved or replaced.
        char* data = text.data();
        for (size_t k = 0; k < n; ++k) {
            put(data, k);
            move(data, k);
        }
        text.resize(needed);
        return;
    }
    std::string& changed = scratch;
    // A buffer far larger than the new source would stay with it: take a fresh one.
    if (changed.capacity() > 2 * needed + 4096)
        std::string().swap(changed);
    changed.clear();
    changed.reserve(needed);
    const std::string_view source(text);
    int64_t at = 0;
    for (const TEdit& e : edits) {
        changed.append(source.substr(static_cast<size_t>(at), static_cast<size_t>(e.start - at)));
        changed.append(e.text);
        at = e.End();
    }
    changed.append(source.substr(static_cast<size_t>(at)));
    text.swap(changed);
}

// Applies the chosen hits of one entry (rows of results that name it, in result order).
void ReplaceInObject(std::vector<TSearchResult>& results, const std::vector<int>& rows,
                     const std::vector<bool>& chosen, const TReplacementChooser& choose,
                     TReplaceUndoCount& count, std::string& scratch) {
    catalogue::TPBObj* obj = results[static_cast<size_t>(rows.front())].Object();
    std::vector<int> todo;
    for (int row : rows)
        if (chosen[static_cast<size_t>(row)])
            todo.push_back(row);
    if (!obj || obj->Source.empty()) {
        for (int row : todo) {
            shell::LogMessage("Not replaced: " + Where(results[static_cast<size_t>(row)]) +
                              ": the entry is no longer in its library.");
            ++count.Refused;
        }
        return;
    }
    const std::string_view source = SourceText(*obj);
    const int64_t size = static_cast<int64_t>(source.size());
    // In source order; hits at one offset in the order they were listed. A search lists
    // them so: mostly there is nothing to sort.
    const auto bySource = [&](int a, int b) {
        return results[static_cast<size_t>(a)].SelStart < results[static_cast<size_t>(b)].SelStart;
    };
    if (!std::is_sorted(todo.begin(), todo.end(), bySource))
        std::stable_sort(todo.begin(), todo.end(), bySource);
    std::vector<TEdit> edits;
    int64_t end = 0;  // the end of the last accepted hit
    for (size_t i = 0; i < todo.size(); ++i) {
        // Hits lie far apart in sources larger than the caches: the source at a hit a few
        // ahead is asked for now, so that its wait overlaps the checks before it.
        if (i + 8 < todo.size()) {
            const int32_t ahead = results[static_cast<size_t>(todo[i + 8])].SelStart;
            if (ahead >= 0 && ahead < size)
                __builtin_prefetch(source.data() + ahead);
        }
        const int row = todo[i];
        const TSearchResult& r = results[static_cast<size_t>(row)];
        const std::string& expected = r.Replaced ? r.ReplaceText : r.FoundText;
        const int64_t start = r.SelStart;
        if (start < end) {
            shell::LogMessage("Not replaced: " + Where(r) +
                              ": it overlaps a hit changed before it.");
            ++count.Refused;
            continue;
        }
        if (start < 0 || r.SelLength != static_cast<int32_t>(expected.size()) ||
            start + r.SelLength > size ||
            source.substr(static_cast<size_t>(start), expected.size()) != expected) {
            shell::LogMessage("Not replaced: " + Where(r) +
                              ": the source there is no longer the text the search found.");
            ++count.Refused;
            continue;
        }
        edits.push_back({row, start, r.SelLength, r.Replaced ? r.FoundText : choose.For(r)});
        end = start + r.SelLength;
    }
    if (edits.empty())
        return;

    // How far the text after each edit moves.
    std::vector<int64_t> shifts;  // the total shift after each edit
    shifts.reserve(edits.size());
    int64_t shift = 0;
    for (const TEdit& e : edits) {
        TSearchResult& r = results[static_cast<size_t>(e.row)];
        r.SelStart = static_cast<int32_t>(e.start + shift);
        shift += static_cast<int64_t>(e.text.size()) - e.length;
        shifts.push_back(shift);
        r.SelLength = static_cast<int32_t>(e.text.size());
        if (r.Replaced) {
            ++count.Undone;
        } else {
            r.ReplaceText = e.text;
            ++count.Replaced;
        }
        r.Replaced = !r.Replaced;
    }
    ApplyEdits(obj->Source, size, edits, shifts, scratch);

    // Every other hit of the entry moves with the edits that end at or before it; one
    // that overlaps an edit keeps its offset and is refused if it is ever chosen. The rows
    // come in result order, which is mostly source order too: both walks below go forward
    // without a search while it is.
    std::vector<int> edited;
    edited.reserve(edits.size());
    for (const TEdit& e : edits)
        edited.push_back(e.row);
    if (!std::is_sorted(edited.begin(), edited.end()))
        std::sort(edited.begin(), edited.end());
    size_t nextEdited = 0;
    size_t passed = 0;  // the edits that end at or before the last offset moved
    int64_t last = 0;
    for (int row : rows) {
        while (nextEdited < edited.size() && edited[nextEdited] < row)
            ++nextEdited;
        if (nextEdited < edited.size() && edited[nextEdited] == row)
            continue;
        TSearchResult& r = results[static_cast<size_t>(row)];
        const int64_t offset = r.SelStart;
        // The edits' ends are in order: accepted hits never overlap.
        if (offset < last)
            passed = static_cast<size_t>(
                std::upper_bound(edits.begin(), edits.end(), offset,
                                 [](int64_t at, const TEdit& e) { return at < e.End(); }) -
                edits.begin());
        else
            while (passed < edits.size() && edits[passed].End() <= offset)
                ++passed;
        last = offset;
        if (passed > 0)
            r.SelStart = static_cast<int32_t>(offset + shifts[passed - 1]);
    }
    SourceChanged(*obj);
}

}  // namespace

TReplaceUndoCount ReplaceUndo(std::vector<TSearchResult>& results, std::span<const int> rows,
                              const TReplaceList& list) {
    TReplaceUndoCount count;
    std::vector<bool> chosen(results.size(), false);
    for (int row : rows)
        if (row >= 0 && static_cast<size_t>(row) < results.size())
            chosen[static_cast<size_t>(row)] = true;
    // The lines of each entry, entries in the order their first chosen line comes.
    std::unordered_map<std::string, size_t> groupOf;
    std::vector<std::vector<int>> groups;
    std::vector<bool> groupChosen;
    size_t group = 0;
    for (size_t i = 0; i < results.size(); ++i) {
        const TSearchResult& r = results[i];
        // The lines of an entry mostly follow each other: the same entry as the line
        // before needs no key.
        if (i == 0 || !r.SameEntryAs(results[i - 1])) {
            std::string key(reinterpret_cast<const char*>(&r.Lib), sizeof r.Lib);
            key += std::to_string(r.EntryType) + ":" + platform::AnsiUpperCase(r.EntryName);
            auto [it, added] = groupOf.try_emplace(std::move(key), groups.size());
            if (added) {
                groups.emplace_back();
                groupChosen.push_back(false);
            }
            group = it->second;
        }
        groups[group].push_back(static_cast<int>(i));
        if (chosen[i])
            groupChosen[group] = true;
    }
    const TReplacementChooser choose(list);
    // Kept from one Replace/Undo to the next: its pages are already the program's.
    static thread_local std::string scratch;
    for (size_t g = 0; g < groups.size(); ++g)
        if (groupChosen[g])
            ReplaceInObject(results, groups[g], chosen, choose, count, scratch);
    return count;
}

// ---- The run ------------------------------------------------------------------------

void TObjectSearch::Run(const TSearchScope& scope) {
    searching_ = true;
    objectsSearched_ = 0;
    lastPump_ = {};
    pumpCalls_ = PumpEvery - 1;  // the first call pumps
    appKeyOf_ = nullptr;
    shell::PushCursor(shell::crWaitCursor);
    host_.ClearResults();
    if (scope.Kind == TSearchScope::Nothing) {
        shell::ShowStatus(
            "Nothing to search: choose an application, a library, an object or a directory.", true);
    } else {
        catalogue::TWalkScope walk(catalogue::OrcaMgr());
        const int entries = host_.List().Count();
        for (int i = 0; i < entries && searching_; ++i) {
            host_.SelectEntry(i);
            const TReplaceList& list = host_.List();
            options_ = list.Options;
            typedFind_ = list.FindText(i);
            find_ = ExpandSearchText(typedFind_);
            replace_ = ExpandReplaceText(list.ReplaceText(i));
            // Only a first part can be looked for: an empty text, only stars or a gap
            // marker in front find nothing anywhere.
            if (find_.empty() || find_.front() == GapMarker) {
                shell::ShowStatus("Nothing to search for in entry " + std::to_string(i + 1) +
                                      " of the list: \"" + typedFind_ + "\".",
                                  true);
                continue;
            }
            engine_.Options = options_;
            SearchScope(scope);
            engine_.SetStream(nullptr);
        }
    }
    shell::ShowStatus("Ready.");
    shell::PopCursor();
    searching_ = false;
}

void TObjectSearch::SearchScope(const TSearchScope& scope) {
    switch (scope.Kind) {
        case TSearchScope::Nothing:
            break;
        case TSearchScope::Application:
            SearchApp(scope.App);
            break;
        case TSearchScope::LibraryRef:
            SearchLibRef(scope.LibRef);
            break;
        case TSearchScope::ObjectRef:
            if (scope.ObjRef)
                SearchObject(scope.ObjRef->Obj, scope.ObjRef);
            break;
        case TSearchScope::Hierarchy:
            SearchBranch(scope.ObjRef, 0);
            break;
        case TSearchScope::DirectoryTree:
            SearchDirectory(scope.Directory);
            break;
        case TSearchScope::Libraries:
            for (catalogue::TPBLib* lib : scope.Libs)
                if (!SearchLib(lib))
                    break;
            break;
        case TSearchScope::Objects:
            for (catalogue::TPBObj* obj : scope.Objs)
                if (!SearchObject(obj, nullptr))
                    break;
            break;
    }
}

bool TObjectSearch::SearchApp(catalogue::TPBApp* app) {
    if (!app || app->Retired())
        return true;
    // An application never expanded has no libraries yet: searching it reads its library
    // list (each library is read as it is searched).
    if (app->LibRefs.Count() == 0 && catalogue::OrcaMgr().LoadOrcaDll())
        app->LoadLibraryList();
    std::vector<catalogue::TPBLibRef*> libRefs;
    for (int i = 0; i < app->LibRefs.Count(); ++i)
        libRefs.push_back(app->LibRef(i));
    for (catalogue::TPBLibRef* libRef : libRefs)
        if (!SearchLibRef(libRef))
            return false;
    return true;
}

bool TObjectSearch::SearchLibRef(catalogue::TPBLibRef* libRef) {
    if (!libRef || libRef->Retired() || !libRef->Lib->Exists)
        return true;
    if (libRef->Lib->Entries.Count() == 0 && catalogue::OrcaMgr().LoadOrcaDll())
        catalogue::LoadNode(libRef);
    std::vector<catalogue::TPBObjRef*> refs;
    for (int i = 0; i < libRef->ObjRefs.Count(); ++i)
        refs.push_back(libRef->ObjRef(i));
    for (catalogue::TPBObjRef* ref : refs) {
        if (!searching_)
            return false;
        if (ref->Retired() || libRef->Retired())
            continue;
        if (!SearchObject(ref->Obj, ref))
            return false;
    }
    return true;
}

bool TObjectSearch::SearchLib(catalogue::TPBLib* lib) {
    if (!lib)
        return true;
    if (!lib->Exists) {
        shell::LogMessage("Not searched: " + lib->Name + " cannot be found.");
        return true;
    }
    if (lib->Entries.Count() == 0 && catalogue::OrcaMgr().LoadOrcaDll() && !lib->EnsureLoaded()) {
        shell::LogMessage("Not searched: " + lib->Name + " cannot be read.");
        return true;
    }
    std::vector<catalogue::TPBObj*> objs;
    for (int i = 0; i < lib->Entries.Count(); ++i)
        objs.push_back(lib->Entries[i]);
    for (catalogue::TPBObj* obj : objs) {
        if (!searching_)
            return false;
        if (!SearchObject(obj, nullptr))
            return false;
    }
    return true;
}

bool TObjectSearch::SearchBranch(catalogue::TPBObjRef* ref, int depth) {
    if (!ref || ref->Retired() || depth > MaxHierarchyDepth)
        return true;
    if (!SearchObject(ref->Obj, ref))
        return false;
    std::vector<catalogue::TPBObjRef*> children;
    for (const auto& item : ref->Children)
        if (item.Obj != ref)
            children.push_back(item.Obj);
    for (catalogue::TPBObjRef* child : children)
        if (!SearchBranch(child, depth + 1))
            return false;
    return true;
}

bool TObjectSearch::SearchDirectory(const std::string& dir) {
    if (dir.empty())
        return true;
    std::string base = dir;
    if (base.back() == '\\')
        base.pop_back();
    for (const std::string& name : platform::SortedNames(base + "\\*.pbl", false)) {
        if (!searching_)
            return false;
        if (!SearchLib(catalogue::OrcaMgr().FindLibrary(base + "\\" + name)))
            return false;
    }
    // "*." finds the names without an extension: folders with a dot in their names, and
    // those that begin with one, are not searched.
    for (const std::string& name : platform::SortedNames(base + "\\*.", true)) {
        if (name.empty() || name.front() == '.')
            continue;
        if (!SearchDirectory(base + "\\" + name))
            return false;
    }
    return true;
}

void TObjectSearch::Pump() {
    // Sixteen hits or objects take microseconds; reading the clock for each costs more.
    if (++pumpCalls_ % PumpEvery != 0)
        return;
    const std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
    if (now - lastPump_ < PumpInterval)
        return;
    lastPump_ = now;
    shell::ProcessMessages();
}

bool TObjectSearch::SearchObject(catalogue::TPBObj* obj, catalogue::TPBObjRef* ref) {
    Pump();
    if (!searching_)
        return false;
    if (!obj || obj->Retired() || (ref && ref->Retired()))
        return true;
    if (!TypeSelected(options_, obj->EntryType))
        return true;
    obj->GetSource();
    if (obj->Source.empty())
        return true;
    ++objectsSearched_;
    if (obj->Lib)
        shell::ShowStatus("Searching for " + typedFind_ + " in " + obj->Lib->Name + ":" +
                          obj->Name);
    engine_.SetStream(&obj->Source);
    while (engine_.FindPattern(find_) >= 0) {
        const int32_t start = engine_.SelStart();
        if (!ListHit(*obj, ref, start, engine_.SelBytes()))
            return false;
        if (obj->Retired() || (ref && ref->Retired()))
            break;
    }
    engine_.SetStream(nullptr);
    return searching_;
}

bool TObjectSearch::ListHit(catalogue::TPBObj& obj, catalogue::TPBObjRef* ref, int32_t start,
                            std::string found) {
    Pump();
    if (!searching_)
        return false;
    // While the loop ran the source may have been reloaded, or an edit in the panel
    // committed into it: the hit is only listed while the source still holds it.
    const std::string_view source = SourceText(obj);
    if (obj.Retired() || static_cast<size_t>(start) + found.size() > source.size() ||
        source.substr(static_cast<size_t>(start), found.size()) != found) {
        shell::LogMessage("Search: " + (obj.Lib ? obj.Lib->Name : std::string()) + ":" + obj.Name +
                          " changed while it was searched; the rest of it is skipped.");
        engine_.SetSelStart(static_cast<int32_t>(obj.Source.size()));
        return true;
    }

    TSearchResult result;
    result.Lib = obj.Lib;
    if (!(lastName_ == obj.Name))
        lastName_ = obj.Name;
    result.EntryName = lastName_;
    result.EntryType = obj.EntryType;
    if (ref) {
        if (appKeyOf_ != &ref->App) {
            appKeyOf_ = &ref->App;
            appKey_ = std::make_shared<const std::string>(ref->App.AppKey());
        }
        result.AppKey = appKey_;
    }
    result.SelStart = start;
    result.FoundText = std::move(found);
    result.ReplaceText = replace_;
    result.SelLength = static_cast<int32_t>(result.FoundText.size());
    if (options_.Contains(srReplaceOnFind)) {
        engine_.SetSelection(start, result.SelLength);
        engine_.ReplaceSel(replace_);
        SourceChanged(obj);
        result.Replaced = true;
        result.SelLength = static_cast<int32_t>(replace_.size());
    }
    ResultLineInto(line_, obj.Name, result.FoundText, result.ReplaceText,
                   obj.Lib ? std::string_view(obj.Lib->Name) : std::string_view());
    if (shell::WriteDebug("")) {
        const size_t memLength = obj.Source.size();
        line_ += std::to_string(start) + ": " + ".  MemLength:" + std::to_string(memLength) +
                 ".  SourceLen:" + std::to_string(obj.SourceLength());
    }
    if (!(lastLine_ == line_))
        lastLine_ = line_;
    result.Line = lastLine_;
    const bool replaced = result.Replaced;
    const int32_t length = result.SelLength;
    host_.AppendResult(std::move(result));
    const int row = static_cast<int>(host_.Results().size()) - 1;
    // The next search begins one byte after the hit's start (so overlapping hits are all
    // found), or after the replacement put in its place.
    engine_.SetSelStart(replaced ? start + length : start + 1);
    if (replaced)
        host_.SourcesReplaced();

    if (!options_.Contains(srFindNext))
        return true;
    const bool replaceMode = options_.Contains(srReplaceDlg);
    const shell::TModalResult answer = host_.AskAfterHit(row, replaceMode);
    if (answer == shell::mrAll) {
        options_.Include(srFindAll);
        options_.Exclude(srFindNext);
    } else if (answer == shell::mrYes && replaceMode) {
        // Yes toggles this hit; the search goes on after what is now in its place.
        const int rows[] = {row};
        const TReplaceUndoCount done = ReplaceUndo(host_.Results(), rows, host_.List());
        const TSearchResult& now = host_.Results()[static_cast<size_t>(row)];
        if (done.Replaced + done.Undone > 0) {
            engine_.SetSelStart(now.Replaced ? now.SelStart + now.SelLength : now.SelStart + 1);
            host_.SourcesReplaced();
        }
    } else if (answer != shell::mrYes && answer != shell::mrNo) {
        searching_ = false;
    }
    return searching_;
}

}  // namespace search
