#pragma once
// The outline control's model: a tree of text items under one invisible root, with
// expansion, selection, the visible rows, and a text form in which each line's leading
// tabs give its depth. Everything of the control except painting and raw input lives
// here; the widget (TWinTree in ui/) paints the rows this model hands out, turns keys
// and clicks into the operations below, and listens to the change notifications.
//
// Numbering. A node's Index is its position in a pre-order walk over every node,
// visible or not: the root is 0, the first item 1. Rows are the visible items counted
// from 0 (row 0 is the first top-level item); the root has no row.
//
// Cost. Every node keeps the size of its subtree and the number of its visible
// descendants (its expand count); both are updated along the ancestor path on every
// change. Each parent also keeps, per child, the sums of those counts over the earlier
// siblings; these are recomputed lazily, only from the first child that changed. So
// index -> node, row -> node, node -> index and node -> row cost a binary search per
// level once the sums are current, and a screen of consecutive rows costs one lookup
// plus a step per row: painting never walks the whole tree.
//
// Callbacks. OnExpand, OnCollapse and the observers may change the tree (an expand
// handler typically adds the children it loads). Nodes deleted while a callback runs
// are kept in memory until the outermost callback returns, so the operation that fired
// it can tell that its node has gone and stop cleanly.

#include <functional>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace views {

// Nodes may sit at most this many levels below the root.
inline constexpr int MaxOutlineLevel = 255;
// Text lines are read through a buffer of this size; a line must end within it.
inline constexpr size_t OutlineBufferSize = 4096;

// Raised by every invalid operation; what() is one of the messages the control shows:
// "Outline index not found", "Parent must be expanded", "Invalid outline index",
// "Invalid selection", "File load error", "Line too long", "Maximum outline depth
// exceeded" (and, for files that cannot be read or written, the file's name and why).
class EWinTreeError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// What a row shows: text only, plus/minus box, picture, both, tree lines.
enum TWinTreeStyle {
    osText,
    osPlusMinusText,
    osPictureText,
    osPlusMinusPictureText,
    osTreeText,
    osTreePictureText,
};
enum TWinTreeType { otStandard, otOwnerDraw };
// Members of the option set TWinTreeOptions (bits).
enum TWinTreeOption : unsigned {
    ooDrawTreeRoot = 1u << 0,
    ooDrawFocusRect = 1u << 1,
    ooStretchBitmaps = 1u << 2,
};
using TWinTreeOptions = unsigned;
// Where MoveTo puts a node relative to the destination: as its next sibling after all
// others (add), as its last child, or just before it (insert).
enum TAttachMode { oaAdd = 0, oaAddChild = 1, oaInsert = 2 };
// The control's five pictures.
enum TWinTreePicture { wpPlus, wpMinus, wpOpen, wpClosed, wpLeaf };

// Keys with a meaning of their own to the control (the rest move the grid's current
// row, after which the widget calls SelectRow).
enum class TWinTreeKey {
    Enter,               // and double click: toggle the expansion
    Plus,                // "+" typed: expand
    Minus,               // "-" typed: collapse
    Star,                // "*" typed: expand the node and everything below it
    CtrlKeypadMultiply,  // expand the whole tree
    Right,               // to the first child of an expanded node
    Left,                // to the parent
    CtrlDown,            // to the next sibling
    CtrlUp,              // to the previous sibling
    Home,                // to the first item
    End,                 // to the last visible item
};
enum class TKeyResult { Done, Beep, Ignored };

bool StyleShowsPlusMinus(TWinTreeStyle style);
bool StyleShowsPicture(TWinTreeStyle style);
bool StyleShowsTreeLines(TWinTreeStyle style);
// Where a row's text begins, in pixels from the left edge, for a node of the given level
// (item height h, font height in pixels): the indent of NodeExtent.
int StyleIndent(TWinTreeStyle style, TWinTreeOptions options, int level, int itemHeight,
                int fontHeight);

class TCustomWinTree;

// One item. Nodes are created and freed only by their tree.
class TWinTreeNode {
  public:
    TWinTreeNode(const TWinTreeNode&) = delete;
    TWinTreeNode& operator=(const TWinTreeNode&) = delete;
    ~TWinTreeNode();

    const std::string& Text() const { return text_; }
    void SetText(std::string text);
    // A pointer the owner attaches; the tree never frees it.
    void* Data() const { return data_; }
    void SetData(void* data);
    // A number the owner attaches beside the data (the application tree keeps an
    // entry's type there).
    int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }
    // The bitmaps the row shows in its picture column, by resource name: ImageName
    // always, OpenImageName instead while the node is expanded (when it has one). Empty:
    // the control's own pictures. Set by whoever fills the tree, so that a paint only
    // reads them.
    const std::string& ImageName() const { return imageName_; }
    const std::string& OpenImageName() const { return openImageName_; }
    void SetImageNames(std::string imageName, std::string openImageName = {});

    TCustomWinTree* Owner() const { return owner_; }
    // None for the root and for a node that has been deleted.
    TWinTreeNode* Parent() const { return parent_; }
    bool IsRoot() const;

    int ChildCount() const { return static_cast<int>(children_.size()); }
    // The i-th child from 0, or none.
    TWinTreeNode* Child(int i) const;
    TWinTreeNode* FirstChild() const { return Child(0); }
    TWinTreeNode* LastChild() const { return Child(ChildCount() - 1); }
    TWinTreeNode* NextSibling() const;
    TWinTreeNode* PrevSibling() const;
    // Position among the siblings, from 0.
    int Position() const { return pos_; }
    bool IsLastChild() const;

    // Pre-order index over all nodes (root 0); -1 for a node no longer in its tree.
    int Index() const;
    // Visible row from 0; -1 when hidden (or the root).
    int Row() const;
    int Level() const { return level_; }
    bool HasItems() const { return !children_.empty(); }
    // Every ancestor is expanded (the root is visible).
    bool IsVisible() const;
    // The texts from the top-level ancestor down to this node joined with the tree's
    // ItemSeparator; a top-level item's path is its text.
    std::string FullPath() const;

    bool Expanded() const { return expanded_; }
    // Expanding needs every ancestor expanded ("Parent must be expanded"); collapsing
    // collapses every descendant too.
    void SetExpanded(bool value);
    void Expand() { SetExpanded(true); }
    void Collapse() { SetExpanded(false); }
    // Expands this node if it has children, then each child in order, recursively.
    void FullExpand();
    // Number of visible descendants (0 when collapsed).
    int ExpandCount() const { return expandCount_; }

    // The picture of the plus/minus column and of the picture column.
    TWinTreePicture PlusMinusPicture() const;
    TWinTreePicture FolderPicture() const;

    void MoveTo(TWinTreeNode* destination, TAttachMode mode);

  private:
    friend class TCustomWinTree;
    TWinTreeNode(TCustomWinTree* owner, std::string text, void* data);

    TCustomWinTree* owner_;
    TWinTreeNode* parent_ = nullptr;
    std::vector<std::unique_ptr<TWinTreeNode>> children_;
    std::string text_;
    void* data_ = nullptr;
    int tag_ = 0;
    std::string imageName_;
    std::string openImageName_;
    bool expanded_ = false;
    int level_ = 0;
    int pos_ = 0;          // position among the siblings
    int size_ = 1;         // nodes in the subtree, this one included
    int expandCount_ = 0;  // visible descendants
    // As a parent, per child: the sums over the earlier siblings of their subtree sizes
    // and of their rows (1 + expand count), kept beside each other so that a binary
    // search reads a few cache lines. Right only for the first validBefore_ children.
    mutable std::vector<int> sizeBefore_;
    mutable std::vector<int> rowsBefore_;
    mutable int validBefore_ = 0;
};

// What the tree tells its views. While the tree is updating nothing is sent; the last
// EndUpdate sends one StructureChanged.
class TWinTreeObserver {
  public:
    virtual ~TWinTreeObserver() = default;
    // Nodes were added, removed or moved: rows, indexes and the row count may differ.
    virtual void StructureChanged() {}
    // A node's text or data changed; its row is to be repainted.
    virtual void NodeChanged(TWinTreeNode* /*node*/) {}
    // A node was expanded or collapsed: the rows below it and the row count changed.
    virtual void ExpansionChanged(TWinTreeNode* /*node*/) {}
    // Another node is now the selected one (none when the tree became empty).
    virtual void SelectionChanged(TWinTreeNode* /*node*/) {}
    // The tree is being destroyed: an observer still attached lets go of it.
    virtual void TreeDestroyed(TCustomWinTree* /*tree*/) {}
};

class TWinTreeStrings;

// The control's behaviour without painting. Node indexes are pre-order indexes (see
// above); operations taking one raise "Invalid outline index" for a negative index (and
// for 0 where the root is not allowed) and "Outline index not found" past the end.
class TCustomWinTree {
  public:
    using TExpandEvent = std::function<void(TCustomWinTree& sender, int index)>;
    class UpdateScope;

    TCustomWinTree();
    virtual ~TCustomWinTree();
    TCustomWinTree(const TCustomWinTree&) = delete;
    TCustomWinTree& operator=(const TCustomWinTree&) = delete;

    // ---- Building ------------------------------------------------------------------
    // A new last child of node index's parent (index 0: a new last top-level item).
    int Add(int index, std::string_view text) { return AddObject(index, text, nullptr); }
    int AddObject(int index, std::string_view text, void* data);
    // A new last child of node index (0: of the root).
    int AddChild(int index, std::string_view text) { return AddChildObject(index, text, nullptr); }
    int AddChildObject(int index, std::string_view text, void* data);
    // A new node just before node index (0: a new last top-level item).
    int Insert(int index, std::string_view text) { return InsertObject(index, text, nullptr); }
    int InsertObject(int index, std::string_view text, void* data);
    // Removes the node with its subtree; a parent left without children collapses.
    void Delete(int index);
    // Moves node source with its subtree (see TAttachMode); destination 0 makes it the
    // last top-level item. A move into the node's own subtree is ignored.
    void MoveTo(int destination, int source, TAttachMode mode);
    void Clear();

    // The same on nodes. A null parent or sibling stands for the root. A node that is
    // not in the tree (deleted, perhaps by a callback) raises "Outline index not found".
    TWinTreeNode* AddChildNode(TWinTreeNode* parent, std::string_view text, void* data = nullptr);
    TWinTreeNode* InsertNode(TWinTreeNode* before, std::string_view text, void* data = nullptr);
    void DeleteNode(TWinTreeNode* node);
    void MoveNode(TWinTreeNode* source, TWinTreeNode* destination, TAttachMode mode);

    // ---- Lookup --------------------------------------------------------------------
    // Node index (1 .. ItemCount()); 0 raises "Invalid outline index".
    TWinTreeNode* Items(int index) const;
    int ItemCount() const;
    TWinTreeNode* Root() const { return root_.get(); }
    // Index of the first/last child, next/previous sibling; -1 when there is none.
    int GetFirstChild(int index) const;
    int GetLastChild(int index) const;
    int GetNextChild(int index) const;
    int GetPrevChild(int index) const;

    // ---- Rows ----------------------------------------------------------------------
    int RowCount() const { return root_->expandCount_; }
    // The node shown at a row (0 .. RowCount() - 1), or none outside.
    TWinTreeNode* NodeAtRow(int row) const;
    // The row of a visible node, -1 for a hidden one.
    int RowOf(const TWinTreeNode* node) const;
    // First row shown at the top of the control; kept inside the rows.
    int TopRow() const;
    void SetTopRow(int row);
    // Moves the top row as little as needed for row to be one of pageRows rows shown.
    void ScrollIntoView(int row, int pageRows);

    // ---- Selection -----------------------------------------------------------------
    // Index of the selected node or, when it is hidden, of its nearest visible
    // ancestor; 0 when nothing is selected (only while the tree is empty).
    int SelectedItem() const;
    // Ignored while updating. 0 while items exist means 1; below 1 raises "Invalid
    // selection"; the nearest visible ancestor of the node becomes selected.
    void SetSelectedItem(int index);
    // The node SelectedItem reports.
    TWinTreeNode* SelectedNode() const;
    int SelectedRow() const;
    // Selects the nearest visible ancestor of node (node itself when visible).
    void SelectNode(TWinTreeNode* node);
    // Selects the node of a row (clamped to the rows); the grid's own moves end here.
    void SelectRow(int row);

    // ---- Expansion -----------------------------------------------------------------
    void Expand(int index) { Items(index)->Expand(); }
    void Collapse(int index) { Items(index)->Collapse(); }
    // FullExpand of every top-level item.
    void FullExpand();
    // Collapses every top-level item (and so everything).
    void FullCollapse();
    TExpandEvent OnExpand;    // before a node is shown expanded
    TExpandEvent OnCollapse;  // when a node has collapsed

    // ---- Keyboard and mouse, without the display -----------------------------------
    // What a key does to the node of the current row; Beep where the control beeps.
    TKeyResult HandleKey(TWinTreeKey key);
    // Double click on a row: toggles that node's expansion.
    void ToggleRow(int row);

    // ---- Updating ------------------------------------------------------------------
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return updateCount_ > 0; }

    // ---- Text form -----------------------------------------------------------------
    TWinTreeStrings& Lines() { return *lines_; }
    const TWinTreeStrings& Lines() const { return *lines_; }
    void LoadFromFile(std::string_view windowsPath);
    void SaveToFile(std::string_view windowsPath) const;
    void LoadFromStream(std::istream& in);
    void SaveToStream(std::ostream& out) const;

    // ---- Appearance the widget reads -----------------------------------------------
    std::string ItemSeparator = "\\";
    TWinTreeStyle WinTreeStyle = osTreePictureText;
    TWinTreeOptions TreeOptions = ooDrawTreeRoot | ooDrawFocusRect;
    TWinTreeType Style = otStandard;
    // Horizontal extent of a node's row in pixels (for the horizontal scroll range):
    // the indent of the current style plus textWidth + 1, never negative.
    int NodeExtent(const TWinTreeNode& node, int itemHeight, int fontHeight, int textWidth) const;
    // For each level 1 .. Level - 1 of a node, whether a tree line passes through its
    // row in that level's column (the ancestor at that level has later siblings).
    std::vector<bool> TreeLineColumns(const TWinTreeNode& node) const;

    // ---- Observers -----------------------------------------------------------------
    void AddObserver(TWinTreeObserver* observer);
    void RemoveObserver(TWinTreeObserver* observer);

    // Checks every count, sum, position and level against a full walk; the first
    // disagreement found, or an empty text (tests and fuzzing).
    std::string VerifyCounts() const;

  private:
    friend class TWinTreeNode;
    friend class TWinTreeStrings;
    class DispatchScope;

    TWinTreeNode* NodeAt(int index, bool rootAllowed) const;
    bool InTree(const TWinTreeNode* node) const;
    int IndexOf(const TWinTreeNode* node) const;
    void EnsureSums(const TWinTreeNode* parent, int upTo) const;
    void Bubble(TWinTreeNode* child, int dSize, int dRows);
    void Attach(TWinTreeNode* parent, int pos, std::unique_ptr<TWinTreeNode> node);
    std::unique_ptr<TWinTreeNode> Detach(TWinTreeNode* node);
    void CollapseIfEmpty(TWinTreeNode* parent);
    void CheckDepth(const TWinTreeNode* parent, int subtreeHeight) const;
    void Free(std::unique_ptr<TWinTreeNode> node);
    void SetExpanded(TWinTreeNode* node, bool value);
    void CollapseSubtree(TWinTreeNode* node);
    void FullExpand(TWinTreeNode* node);
    void SetSelected(TWinTreeNode* node);
    TWinTreeNode* NearestVisible(TWinTreeNode* node) const;
    TWinTreeNode* NextVisible(const TWinTreeNode* node) const;
    TWinTreeNode* PrevVisible(const TWinTreeNode* node) const;
    TWinTreeNode* LastVisible() const;
    void ChangedStructure();
    void ChangedNode(TWinTreeNode* node);
    void ChangedExpansion(TWinTreeNode* node);
    template <class F>
    void Notify(F&& call);

    std::unique_ptr<TWinTreeNode> root_;
    std::unique_ptr<TWinTreeStrings> lines_;
    TWinTreeNode* selected_ = nullptr;
    int topRow_ = 0;
    int updateCount_ = 0;
    std::vector<TWinTreeObserver*> observers_;

    // Callbacks running, and the nodes deleted meanwhile (freed when the last returns).
    int dispatchDepth_ = 0;
    std::vector<std::unique_ptr<TWinTreeNode>> graveyard_;

    // The last row looked up, so that a screen of consecutive rows costs one lookup.
    unsigned generation_ = 0;
    mutable unsigned cursorGeneration_ = ~0u;
    mutable int cursorRow_ = -1;
    mutable TWinTreeNode* cursorNode_ = nullptr;
};

// Keeps the tree updating for a scope (load, bulk changes).
class TCustomWinTree::UpdateScope {
  public:
    explicit UpdateScope(TCustomWinTree& tree) : tree_(tree) { tree_.BeginUpdate(); }
    ~UpdateScope() { tree_.EndUpdate(); }
    UpdateScope(const UpdateScope&) = delete;
    UpdateScope& operator=(const UpdateScope&) = delete;

  private:
    TCustomWinTree& tree_;
};

// The text form of the tree: line i is node i + 1 as (Level - 1) tabs and its text.
//
// Reading: one node per line in pre-order; leading tabs or blanks each count a level.
// A line one level deeper than the line before is its child; a line at the same or a
// shallower level is a sibling of the previous line's ancestor at that level; anything
// else raises "File load error". A line ends at a carriage return (a line feed right
// after it belongs to it) or at a line feed alone; a Ctrl-Z ends the input. A line of
// OutlineBufferSize bytes or more raises "Line too long". A failed load keeps the
// nodes read before the bad line.
//
// Writing: every node as (Level - 1) tabs, its text, carriage return and line feed.
class TWinTreeStrings {
  public:
    explicit TWinTreeStrings(TCustomWinTree& tree) : tree_(tree) {}

    int Count() const { return tree_.ItemCount(); }
    std::string operator[](int i) const { return Get(i); }
    std::string Get(int i) const;
    void* Objects(int i) const;
    // Adds a node at the level of the line's leading tabs, relative to the last node
    // of the tree, as a line of a file would be; the new node's line number.
    int Add(std::string_view line) { return AddObject(line, nullptr); }
    int AddObject(std::string_view line, void* data);
    void Clear() { tree_.Clear(); }

    // All lines with their line ends; setting it replaces the tree.
    std::string Text() const;
    void SetText(std::string_view text);

    // A file that cannot be read leaves the tree as it was.
    void LoadFromFile(std::string_view windowsPath);
    // Written atomically: a failure leaves the old file.
    void SaveToFile(std::string_view windowsPath) const;
    void LoadFromStream(std::istream& in);
    void SaveToStream(std::ostream& out) const;

    void BeginUpdate() { tree_.BeginUpdate(); }
    void EndUpdate() { tree_.EndUpdate(); }

  private:
    // Appends the nodes of text after the current ones.
    void Read(std::string_view text);
    TCustomWinTree& tree_;
};

}  // namespace views
