#pragma once
// Search across objects: one run of the search dialog's replace list over the exported
// sources of many library entries (an application, a library, one entry, a branch of the
// inheritance hierarchy, every library of a directory tree, chosen library files or
// entries), each hit becoming one result line; and Replace/Undo, which toggles chosen
// hits between the text found and its replacement in the entries' in-memory sources.
//
// A run happens on the user-interface thread. It lets the message loop run before entries
// and after hits, at most every PumpInterval: often enough that the window and the
// dialog's Cancel answer at once, seldom enough that a run with tens of thousands of hits
// is not spent repainting the list once per hit. It holds a catalogue walk
// (catalogue::TWalkScope) for its whole length: nothing it holds is freed under it, and
// whatever left the catalogue meanwhile (Retired()) is skipped.
//
// Results outlive the run: each names its entry by library, name and type and finds it
// again at every use. Replace/Undo changes a source only where it still holds exactly
// the text the hit expects there; a hit whose text changed since (an edit in the source
// panel, a reload, a refresh, an overlapping hit replaced first) is left alone and the
// log says so. Nothing here writes to a library: a replaced entry is marked Modified,
// and the rebuild imports it.

#include <chrono>
#include <cstdint>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "catalogue/Orcactrl.h"
#include "search/ReplaceList.h"
#include "search/Search.h"
#include "shell/ShellUI.h"

namespace search {

// A text that copies share: Find All lists tens of thousands of hits, most of them of
// an object already listed and many with the very line of the hit before.
class TSharedText {
  public:
    TSharedText() = default;
    TSharedText(std::string text) : text_(std::make_shared<const std::string>(std::move(text))) {}
    TSharedText(const char* text) : TSharedText(std::string(text)) {}
    const std::string& str() const { return text_ ? *text_ : Empty(); }
    operator const std::string&() const { return str(); }
    operator std::string_view() const { return str(); }
    bool empty() const { return str().empty(); }
    friend bool operator==(const TSharedText& a, std::string_view b) { return a.str() == b; }
    friend std::ostream& operator<<(std::ostream& out, const TSharedText& t) {
        return out << t.str();
    }

  private:
    static const std::string& Empty() {
        static const std::string empty;
        return empty;
    }
    std::shared_ptr<const std::string> text_;
};

// One hit.
struct TSearchResult {
    // The entry: its library (libraries stay for the whole program run), name and type.
    catalogue::TPBLib* Lib = nullptr;
    TSharedText EntryName;
    int EntryType = 0;
    // The key of the application the entry was reached through (TPBApp::AppKey), shared
    // by the hits of one run; null when it came from a directory, a library file or the
    // Directory page's entry list.
    std::shared_ptr<const std::string> AppKey;
    // Where the hit is in the source, and the length of the text now there.
    int32_t SelStart = 0;
    int32_t SelLength = 0;
    // The whole text found (a wildcard hit may be far longer than a line shows).
    std::string FoundText;
    // The replacement, prepared for the source; while Replaced, the text in the source.
    std::string ReplaceText;
    bool Replaced = false;
    // The result line: entry name, text found (and "->" replacement), library name.
    TSharedText Line;

    // The entry, or null when it left its library.
    catalogue::TPBObj* Object() const;
    // The entry's reference in the application it was reached through, or null.
    catalogue::TPBObjRef* ObjRef() const;
    // Whether other names the same entry exactly as this (hits of one object follow each
    // other: a walk over results looks the entry up once for them).
    bool SameEntryAs(const TSearchResult& other) const {
        return Lib == other.Lib && EntryType == other.EntryType &&
               EntryName.str() == other.EntryName.str();
    }
};

// The result line for a hit, written over out: "%-32s %-32s %s" of entry name, display
// text (the text found, at most 255 bytes of it, and "->" and the replacement when there
// is one) and library.
void ResultLineInto(std::string& out, std::string_view entryName, std::string_view foundText,
                    std::string_view replaceText, std::string_view libraryName);

// What a run searches.
struct TSearchScope {
    enum TKind : uint8_t {
        Nothing,
        Application,    // app: each library reference in library-list order
        LibraryRef,     // libRef: each entry reference in order
        ObjectRef,      // objRef: that entry
        Hierarchy,      // objRef: that entry, then its descendants, parent before children
        DirectoryTree,  // directory: its *.pbl files, then each subdirectory tree
        Libraries,      // libs: each library's entries, reached through no application
        Objects,        // objs: those entries, reached through no application
    };
    TKind Kind = Nothing;
    catalogue::TPBApp* App = nullptr;
    catalogue::TPBLibRef* LibRef = nullptr;
    catalogue::TPBObjRef* ObjRef = nullptr;
    std::string Directory;  // Windows path
    std::vector<catalogue::TPBLib*> Libs;
    std::vector<catalogue::TPBObj*> Objs;
};

// What a run needs of the window it runs in (the Application View; tests and the command
// line have plain ones).
class TObjectSearchHost {
  public:
    virtual ~TObjectSearchHost() = default;
    // The result lines, in order.
    virtual std::vector<TSearchResult>& Results() = 0;
    virtual void ClearResults() = 0;
    virtual void AppendResult(TSearchResult&& result) = 0;
    // The replace list the run works through, and making entry i its current one (the
    // dialog shows it; its check boxes and so List().Options follow).
    virtual const TReplaceList& List() const = 0;
    virtual void SelectEntry(int i) = 0;
    // Find Next: line row was just listed; shows its hit and asks whether to go on.
    // mrYes (in replace mode: replace this hit), mrNo, mrAll (no more questions for this
    // list entry); anything else cancels the run.
    virtual shell::TModalResult AskAfterHit(int row, bool replaceMode) = 0;
    // Sources were changed by replacing (the source panel may show one of them).
    virtual void SourcesReplaced() {}
};

// A host with no window: its own list and result lines, and one answer to every
// question after a hit (mrAll: no questions; Find All). The command line, the benchmarks
// and the tests run searches through it.
class TListSearchHost : public TObjectSearchHost {
  public:
    std::vector<TSearchResult> results;
    TReplaceList list;

    std::vector<TSearchResult>& Results() override { return results; }
    void ClearResults() override { results.clear(); }
    void AppendResult(TSearchResult&& result) override { results.push_back(std::move(result)); }
    const TReplaceList& List() const override { return list; }
    void SelectEntry(int i) override { list.SelectEntry(i); }
    shell::TModalResult AskAfterHit(int, bool) override { return shell::mrAll; }
};

// What one Replace/Undo did.
struct TReplaceUndoCount {
    int Replaced = 0;
    int Undone = 0;
    int Refused = 0;  // left alone: the source no longer held the hit's text there
};

// Replace/Undo of the result lines at rows (each at most once, any order): a hit that is
// not replaced gets its replacement, a replaced one its found text back. The replacement
// is the current list entry's when the text found equals its find text, else the first
// entry's whose find text equals the text found ignoring case, else the hit's own. Every
// other hit of a changed entry moves with the text before it. Changed entries are marked
// Modified (also when the replacement equals the text found).
TReplaceUndoCount ReplaceUndo(std::vector<TSearchResult>& results, std::span<const int> rows,
                              const TReplaceList& list);

class TObjectSearch {
  public:
    explicit TObjectSearch(TObjectSearchHost& host) : host_(host) {}

    // True while a run goes on; Stop (the dialog's Cancel, closing the dialog) ends it at
    // the next entry or hit.
    bool Searching() const { return searching_; }
    void Stop() { searching_ = false; }

    // One run: empties the results, then searches the scope once for every entry of the
    // host's list, in order, each with its own texts and options (srFindNext asks after
    // each hit, srReplaceOnFind replaces each hit as it is found).
    void Run(const TSearchScope& scope);

    // Entries searched and hits listed by the last run.
    int ObjectsSearched() const { return objectsSearched_; }

    static constexpr std::chrono::milliseconds PumpInterval{10};

  private:
    void SearchScope(const TSearchScope& scope);
    // Each returns false when the run was stopped.
    bool SearchApp(catalogue::TPBApp* app);
    bool SearchLibRef(catalogue::TPBLibRef* libRef);
    bool SearchLib(catalogue::TPBLib* lib);
    bool SearchBranch(catalogue::TPBObjRef* ref, int depth);
    bool SearchDirectory(const std::string& dir);
    bool SearchObject(catalogue::TPBObj* obj, catalogue::TPBObjRef* ref);
    // Lets the message loop run, when PumpInterval has passed since it last ran.
    void Pump();
    // Lists the hit found at start of obj; false when the run was stopped.
    bool ListHit(catalogue::TPBObj& obj, catalogue::TPBObjRef* ref, int32_t start,
                 std::string found);

    TObjectSearchHost& host_;
    bool searching_ = false;
    int objectsSearched_ = 0;
    std::chrono::steady_clock::time_point lastPump_;
    unsigned pumpCalls_ = 0;  // the clock is read on every PumpEvery-th call only
    static constexpr unsigned PumpEvery = 16;
    // The list entry being searched: options, texts as typed and as prepared.
    TSearchOptions options_;
    std::string typedFind_;
    std::string find_;
    std::string replace_;
    TStreamSearch engine_;
    // The key of the application last listed (hits of one application share it).
    const catalogue::TPBApp* appKeyOf_ = nullptr;
    std::shared_ptr<const std::string> appKey_;
    // The name and the line of the hit listed last, shared with the next hit where they
    // are the same, and the line being built.
    TSharedText lastName_, lastLine_;
    std::string line_;
};

}  // namespace search
