#pragma once
// The application tree's catalogue side, without the display: the one-line texts of
// application, library and entry nodes, the bitmaps each node shows, and the three-level
// synchronisation (applications, libraries, entries) that keeps an outline in step with
// the catalogue by reusing its nodes, so that their expansion survives a refresh.
//
// Everything a row shows is settled here, while synchronising: the node's text and its
// bitmap names (TWinTreeNode::ImageName), an entry's from its root class, which may
// need the entry's source and the hierarchy. Drawing a row then reads only the node,
// never the catalogue, ORCA or the status line.
//
// Node data. The application tree holds the catalogue manager on its first top-level
// node, applications below it, library references below those and entry references
// below libraries; the hierarchy tree holds an application's "System" reference on its
// first node and entry references below. Nodes only refer to catalogue objects, which a
// refresh or a pb.ini edit may free while the nodes still point at them. So a node's data
// is never trusted on its own: ResolveNode accepts it only when the parent node's object
// still lists it (the manager its applications, an application its library references,
// a library reference its entry references, an entry reference its descendants), and
// only then is it used. The synchronisation itself compares pointers and texts and
// never reads through a node's data.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "catalogue/Orcactrl.h"
#include "platform/Ansi.h"
#include "platform/DateTime.h"
#include "views/CustomWinTree.h"

namespace views {

// ---- Node texts ---------------------------------------------------------------------

// Width of the name column of application and entry lines (longer names are not cut).
inline constexpr int NodeNameWidth = 32;

// "mm/dd/yy hh:nn:ss" (17 characters); an empty text for a value outside the calendar.
std::string FormatEntryTime(platform::TDateTime value);
// The application's name in lower case padded to 32, then " (" + its application
// library in lower case + ")".
std::string AppLine(const catalogue::TPBApp& app);
// The library's name as the catalogue holds it, with " (Invalid Library)" after the name
// of a library that could not be found.
std::string LibLine(const catalogue::TPBLib& lib);
// Name in lower case padded to 32, a blank, the time, a blank, "(size)" padded to 8, the
// comment.
std::string EntryLine(const catalogue::TPBObj& obj);

// ---- What a node holds --------------------------------------------------------------

enum class TPBNodeKind {
    Other,    // no catalogue object the tree knows (or one it can no longer vouch for)
    Manager,  // the catalogue manager (the application tree's first node)
    App,      // an application listed by the manager
    LibRef,   // a library reference listed by its application
    ObjRef,   // an entry reference listed by its library reference or its ancestor
    Stale,    // an entry reference its library reference no longer lists
};

struct TPBNodeData {
    TPBNodeKind kind = TPBNodeKind::Other;
    catalogue::TOrcaMgr* mgr = nullptr;
    catalogue::TPBApp* app = nullptr;
    catalogue::TPBLibRef* libRef = nullptr;
    catalogue::TPBObjRef* objRef = nullptr;
};

// ---- Bitmaps of the nodes -------------------------------------------------------------

// The bitmap of a root class that has none of its own.
inline constexpr std::string_view FallbackImageName = "nonvisualobject";
// An application's bitmap, by its replication role (none, source, destination).
std::string_view AppImageName(const catalogue::TPBApp& app);
// A library's bitmaps: closed (and, while expanded, open), or invalid for a library that
// could not be found.
std::string_view LibImageName(const catalogue::TPBLib& lib);
std::string_view LibOpenImageName(const catalogue::TPBLib& lib);
// An entry's bitmap: the name of its root class, the ancestor just below "System"
// (resolving the hierarchy as far as needed, which may export sources).
std::string EntryImageName(catalogue::TPBObjRef& ref);

// ---- The synchronisation ------------------------------------------------------------

class TPBTreeSync {
  public:
    explicit TPBTreeSync(TCustomWinTree& tree) : tree_(&tree) {}
    // The model synchronised from now on.
    void SetTree(TCustomWinTree& tree) { tree_ = &tree; }

    // The catalogue manager the tree is checked against: the program's own by default.
    void SetManager(catalogue::TOrcaMgr* mgr) { mgr_ = mgr; }
    catalogue::TOrcaMgr* Manager() const;
    // The manager given to SetManager (null: the program's own).
    catalogue::TOrcaMgr* ChosenManager() const { return mgr_; }

    // What the node's data is, accepted only through its parent's lists (see above).
    TPBNodeData ResolveNode(const TWinTreeNode* node) const;

    // Brings the whole tree in line with the catalogue with the tree updating: the
    // applications under the first node when it holds the manager. The selected node
    // stays selected (a node replaced by a fresh one hands its selection on); when it
    // is gone, the first node is selected.
    void RefreshTree();
    // Brings one node's children in line: the libraries of an application node, the
    // entries of a library node; other nodes are left alone. Nodes whose object is gone
    // (stale) are removed, the others get their texts and bitmaps.
    void RefreshNode(TWinTreeNode* node);

    void SyncApplications(TWinTreeNode* root, catalogue::TOrcaMgr& mgr);
    void SyncLibraries(TWinTreeNode* appNode, catalogue::TPBApp& app);
    void SyncEntries(TWinTreeNode* libNode, catalogue::TPBLibRef& libRef);

  private:
    void DeleteChild(TWinTreeNode* node);
    static void SetLibImages(TWinTreeNode* node, const catalogue::TPBLib& lib);
    TWinTreeNode* ReplaceNode(TWinTreeNode* node, std::string_view text, void* data);

    TCustomWinTree* tree_;
    catalogue::TOrcaMgr* mgr_ = nullptr;
    // The node to select after a refresh; follows replacements, cleared by deletion.
    TWinTreeNode* remembered_ = nullptr;
};

// ---- Bitmaps by root-class name ------------------------------------------------------

// Bitmaps loaded once per name and shared by every row. Names are compared without
// regard to case. A name that does not load is not cached (it is tried again next time)
// and gets the fallback bitmap, loaded when the cache is made.
template <class Bitmap>
class TIconCache {
  public:
    // The bitmap of a name, or none when there is no such resource.
    using Loader = std::function<std::unique_ptr<Bitmap>(std::string_view name)>;

    TIconCache(std::string_view fallbackName, Loader loader) : loader_(std::move(loader)) {
        fallback_ = Get(fallbackName);
    }

    // The cached bitmap of the name, loading it on first use; the fallback when the
    // name has no bitmap (none when not even the fallback loads).
    const Bitmap* Get(std::string_view name) {
        std::string key = Lower(name);
        if (auto it = cache_.find(key); it != cache_.end())
            return it->second.get();
        std::unique_ptr<Bitmap> loaded = loader_ ? loader_(name) : nullptr;
        if (!loaded)
            return fallback_;
        return cache_.emplace(std::move(key), std::move(loaded)).first->second.get();
    }
    int Count() const { return static_cast<int>(cache_.size()); }
    bool Contains(std::string_view name) const { return cache_.count(Lower(name)) != 0; }

  private:
    static std::string Lower(std::string_view name) {
        std::string key(name);
        for (char& c : key)
            c = platform::AsciiLower(c);
        return key;
    }

    Loader loader_;
    std::unordered_map<std::string, std::unique_ptr<Bitmap>> cache_;
    const Bitmap* fallback_ = nullptr;
};

}  // namespace views
