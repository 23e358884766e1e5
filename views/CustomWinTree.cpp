// The outline model: nodes, counts, rows, expansion, selection, keys.

#include "views/CustomWinTree.h"

#include <algorithm>
#include <utility>

namespace views {

namespace {

constexpr const char* IndexNotFound = "Outline index not found";
constexpr const char* ParentNotExpanded = "Parent must be expanded";
constexpr const char* InvalidIndex = "Invalid outline index";
constexpr const char* InvalidSelection = "Invalid selection";
constexpr const char* DepthExceeded = "Maximum outline depth exceeded";

// Levels below a node (0 for a leaf).
int SubtreeHeight(const TWinTreeNode* node) {
    int height = 0;
    for (int i = 0; i < node->ChildCount(); ++i)
        height = std::max(height, 1 + SubtreeHeight(node->Child(i)));
    return height;
}

}  // namespace

bool StyleShowsPlusMinus(TWinTreeStyle style) {
    return style == osPlusMinusText || style == osPlusMinusPictureText;
}
bool StyleShowsPicture(TWinTreeStyle style) {
    return style == osPictureText || style == osPlusMinusPictureText || style == osTreePictureText;
}
bool StyleShowsTreeLines(TWinTreeStyle style) {
    return style == osTreeText || style == osTreePictureText;
}

// While a callback runs, deleted nodes are parked instead of freed.
class TCustomWinTree::DispatchScope {
  public:
    explicit DispatchScope(TCustomWinTree& tree) : tree_(tree) { ++tree_.dispatchDepth_; }
    ~DispatchScope() {
        if (--tree_.dispatchDepth_ == 0) {
            auto parked = std::move(tree_.graveyard_);
            tree_.graveyard_.clear();
        }
    }
    DispatchScope(const DispatchScope&) = delete;
    DispatchScope& operator=(const DispatchScope&) = delete;

  private:
    TCustomWinTree& tree_;
};

// ---- TWinTreeNode --------------------------------------------------------------------

TWinTreeNode::TWinTreeNode(TCustomWinTree* owner, std::string text, void* data)
    : owner_(owner), text_(std::move(text)), data_(data) {}

TWinTreeNode::~TWinTreeNode() {
    // Free deep subtrees without deep recursion: move grandchildren up first.
    while (!children_.empty()) {
        std::unique_ptr<TWinTreeNode> child = std::move(children_.back());
        children_.pop_back();
        for (auto& grandchild : child->children_)
            children_.push_back(std::move(grandchild));
        child->children_.clear();
    }
}

void TWinTreeNode::SetText(std::string text) {
    if (text_ == text)
        return;
    text_ = std::move(text);
    owner_->ChangedNode(this);
}

void TWinTreeNode::SetImageNames(std::string imageName, std::string openImageName) {
    if (imageName_ == imageName && openImageName_ == openImageName)
        return;
    imageName_ = std::move(imageName);
    openImageName_ = std::move(openImageName);
    owner_->ChangedNode(this);
}

void TWinTreeNode::SetData(void* data) {
    if (data_ == data)
        return;
    data_ = data;
    owner_->ChangedNode(this);
}

bool TWinTreeNode::IsRoot() const {
    return this == owner_->Root();
}

TWinTreeNode* TWinTreeNode::Child(int i) const {
    if (i < 0 || i >= ChildCount())
        return nullptr;
    return children_[static_cast<size_t>(i)].get();
}

TWinTreeNode* TWinTreeNode::NextSibling() const {
    return parent_ ? parent_->Child(pos_ + 1) : nullptr;
}

TWinTreeNode* TWinTreeNode::PrevSibling() const {
    return parent_ ? parent_->Child(pos_ - 1) : nullptr;
}

bool TWinTreeNode::IsLastChild() const {
    return !parent_ || pos_ == parent_->ChildCount() - 1;
}

int TWinTreeNode::Index() const {
    return owner_->IndexOf(this);
}
int TWinTreeNode::Row() const {
    return owner_->RowOf(this);
}

bool TWinTreeNode::IsVisible() const {
    for (const TWinTreeNode* p = parent_; p; p = p->parent_)
        if (!p->expanded_)
            return false;
    return true;
}

std::string TWinTreeNode::FullPath() const {
    std::vector<const TWinTreeNode*> path;
    for (const TWinTreeNode* n = this; n && n->parent_; n = n->parent_)
        path.push_back(n);
    std::string out;
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        if (it != path.rbegin())
            out += owner_->ItemSeparator;
        out += (*it)->text_;
    }
    return out;
}

void TWinTreeNode::SetExpanded(bool value) {
    owner_->SetExpanded(this, value);
}
void TWinTreeNode::FullExpand() {
    owner_->FullExpand(this);
}

TWinTreePicture TWinTreeNode::PlusMinusPicture() const {
    if (children_.empty())
        return wpLeaf;
    return expanded_ ? wpMinus : wpPlus;
}

TWinTreePicture TWinTreeNode::FolderPicture() const {
    if (children_.empty())
        return wpLeaf;
    return expanded_ ? wpOpen : wpClosed;
}

void TWinTreeNode::MoveTo(TWinTreeNode* destination, TAttachMode mode) {
    owner_->MoveNode(this, destination, mode);
}

// ---- Counts --------------------------------------------------------------------------

TCustomWinTree::TCustomWinTree()
    : root_(new TWinTreeNode(this, std::string(), nullptr)),
      lines_(std::make_unique<TWinTreeStrings>(*this)) {
    root_->expanded_ = true;
}

TCustomWinTree::~TCustomWinTree() {
    const std::vector<TWinTreeObserver*> attached = std::move(observers_);
    observers_.clear();
    for (TWinTreeObserver* o : attached)
        o->TreeDestroyed(this);
}

// Brings the earlier-sibling sums of parent's children up to child upTo.
void TCustomWinTree::EnsureSums(const TWinTreeNode* parent, int upTo) const {
    int i = parent->validBefore_;
    if (i > upTo)
        return;
    const auto& kids = parent->children_;
    auto& sizes = parent->sizeBefore_;
    auto& rows = parent->rowsBefore_;
    if (sizes.size() != kids.size()) {
        sizes.resize(kids.size());
        rows.resize(kids.size());
    }
    for (size_t k = static_cast<size_t>(i); k <= static_cast<size_t>(upTo); ++k) {
        if (k == 0) {
            sizes[0] = 0;
            rows[0] = 0;
        } else {
            const TWinTreeNode* p = kids[k - 1].get();
            sizes[k] = sizes[k - 1] + p->size_;
            rows[k] = rows[k - 1] + 1 + p->expandCount_;
        }
    }
    parent->validBefore_ = upTo + 1;
}

// child's subtree grew by dSize nodes and, as its parent sees it, by dRows rows: the
// ancestors' counts follow, and their sums after the path are no longer right.
void TCustomWinTree::Bubble(TWinTreeNode* child, int dSize, int dRows) {
    ++generation_;
    for (TWinTreeNode* n = child; n->parent_; n = n->parent_) {
        TWinTreeNode* p = n->parent_;
        p->validBefore_ = std::min(p->validBefore_, n->pos_ + 1);
        p->size_ += dSize;
        if (!p->expanded_)
            dRows = 0;
        p->expandCount_ += dRows;
    }
}

void TCustomWinTree::Attach(TWinTreeNode* parent, int pos, std::unique_ptr<TWinTreeNode> node) {
    TWinTreeNode* n = node.get();
    auto& kids = parent->children_;
    kids.insert(kids.begin() + pos, std::move(node));
    for (size_t i = static_cast<size_t>(pos); i < kids.size(); ++i)
        kids[i]->pos_ = static_cast<int>(i);
    n->parent_ = parent;
    if (n->level_ != parent->level_ + 1) {
        std::vector<TWinTreeNode*> stack{n};
        n->level_ = parent->level_ + 1;
        while (!stack.empty()) {
            TWinTreeNode* m = stack.back();
            stack.pop_back();
            for (auto& c : m->children_) {
                c->level_ = m->level_ + 1;
                stack.push_back(c.get());
            }
        }
    }
    parent->validBefore_ = std::min(parent->validBefore_, pos);
    const int rows = parent->expanded_ ? 1 + n->expandCount_ : 0;
    parent->size_ += n->size_;
    parent->expandCount_ += rows;
    Bubble(parent, n->size_, rows);
}

std::unique_ptr<TWinTreeNode> TCustomWinTree::Detach(TWinTreeNode* node) {
    TWinTreeNode* parent = node->parent_;
    auto& kids = parent->children_;
    const int pos = node->pos_;
    std::unique_ptr<TWinTreeNode> owned = std::move(kids[static_cast<size_t>(pos)]);
    kids.erase(kids.begin() + pos);
    for (size_t i = static_cast<size_t>(pos); i < kids.size(); ++i)
        kids[i]->pos_ = static_cast<int>(i);
    parent->validBefore_ = std::min(parent->validBefore_, pos);
    const int rows = parent->expanded_ ? 1 + node->expandCount_ : 0;
    parent->size_ -= node->size_;
    parent->expandCount_ -= rows;
    Bubble(parent, -node->size_, -rows);
    node->parent_ = nullptr;
    node->pos_ = 0;
    return owned;
}

// A parent left without children is collapsed (it has no rows below it anyway).
void TCustomWinTree::CollapseIfEmpty(TWinTreeNode* parent) {
    if (parent->children_.empty() && parent != root_.get())
        parent->expanded_ = false;
}

void TCustomWinTree::Free(std::unique_ptr<TWinTreeNode> node) {
    if (dispatchDepth_ > 0)
        graveyard_.push_back(std::move(node));
}

bool TCustomWinTree::InTree(const TWinTreeNode* node) const {
    if (!node || node->owner_ != this)
        return false;
    while (node->parent_)
        node = node->parent_;
    return node == root_.get();
}

int TCustomWinTree::IndexOf(const TWinTreeNode* node) const {
    int index = 0;
    const TWinTreeNode* n = node;
    for (; n->parent_; n = n->parent_) {
        EnsureSums(n->parent_, n->pos_);
        index += 1 + n->parent_->sizeBefore_[static_cast<size_t>(n->pos_)];
    }
    return n == root_.get() ? index : -1;
}

int TCustomWinTree::RowOf(const TWinTreeNode* node) const {
    if (!node || node->owner_ != this)
        return -1;
    int row = -1;
    const TWinTreeNode* n = node;
    for (; n->parent_; n = n->parent_) {
        if (!n->parent_->expanded_)
            return -1;
        EnsureSums(n->parent_, n->pos_);
        row += 1 + n->parent_->rowsBefore_[static_cast<size_t>(n->pos_)];
    }
    return n == root_.get() ? row : -1;
}

// The child of parent whose range of sums holds want: the last one whose sum of the
// earlier siblings is at most want. The sums must be current.
static size_t ChildHolding(const std::vector<int>& sums, size_t count, int want) {
    const auto first = sums.begin();
    return static_cast<size_t>(std::upper_bound(first, first + static_cast<long>(count), want) -
                               first) -
           1;
}

TWinTreeNode* TCustomWinTree::NodeAt(int index, bool rootAllowed) const {
    if (index < 0 || (index == 0 && !rootAllowed))
        throw EWinTreeError(InvalidIndex);
    if (index >= root_->size_)
        throw EWinTreeError(IndexNotFound);
    TWinTreeNode* n = root_.get();
    int base = 0;
    while (base != index) {
        EnsureSums(n, n->ChildCount() - 1);
        const size_t k = ChildHolding(n->sizeBefore_, n->children_.size(), index - base - 1);
        base += 1 + n->sizeBefore_[k];
        n = n->children_[k].get();
    }
    return n;
}

TWinTreeNode* TCustomWinTree::Items(int index) const {
    return NodeAt(index, false);
}

int TCustomWinTree::ItemCount() const {
    return root_->size_ - 1;
}

int TCustomWinTree::GetFirstChild(int index) const {
    const TWinTreeNode* c = NodeAt(index, true)->FirstChild();
    return c ? c->Index() : -1;
}
int TCustomWinTree::GetLastChild(int index) const {
    const TWinTreeNode* c = NodeAt(index, true)->LastChild();
    return c ? c->Index() : -1;
}
int TCustomWinTree::GetNextChild(int index) const {
    const TWinTreeNode* c = Items(index)->NextSibling();
    return c ? c->Index() : -1;
}
int TCustomWinTree::GetPrevChild(int index) const {
    const TWinTreeNode* c = Items(index)->PrevSibling();
    return c ? c->Index() : -1;
}

// ---- Rows ----------------------------------------------------------------------------

TWinTreeNode* TCustomWinTree::NextVisible(const TWinTreeNode* node) const {
    if (node->expanded_ && !node->children_.empty())
        return node->children_.front().get();
    for (const TWinTreeNode* n = node; n->parent_; n = n->parent_)
        if (TWinTreeNode* s = n->NextSibling())
            return s;
    return nullptr;
}

TWinTreeNode* TCustomWinTree::PrevVisible(const TWinTreeNode* node) const {
    TWinTreeNode* m = node->PrevSibling();
    if (!m)
        return node->parent_ == root_.get() ? nullptr : node->parent_;
    while (m->expanded_ && !m->children_.empty())
        m = m->children_.back().get();
    return m;
}

TWinTreeNode* TCustomWinTree::LastVisible() const {
    TWinTreeNode* n = root_.get();
    while (n->expanded_ && !n->children_.empty())
        n = n->children_.back().get();
    return n == root_.get() ? nullptr : n;
}

TWinTreeNode* TCustomWinTree::NodeAtRow(int row) const {
    if (row < 0 || row >= RowCount())
        return nullptr;
    TWinTreeNode* found = nullptr;
    if (cursorGeneration_ == generation_ && cursorNode_) {
        if (row == cursorRow_)
            found = cursorNode_;
        else if (row == cursorRow_ + 1)
            found = NextVisible(cursorNode_);
        else if (row == cursorRow_ - 1)
            found = PrevVisible(cursorNode_);
    }
    if (!found) {
        TWinTreeNode* n = root_.get();
        int base = -1;  // the root's row
        while (base != row) {
            EnsureSums(n, n->ChildCount() - 1);
            const size_t k = ChildHolding(n->rowsBefore_, n->children_.size(), row - base - 1);
            base += 1 + n->rowsBefore_[k];
            n = n->children_[k].get();
        }
        found = n;
    }
    cursorGeneration_ = generation_;
    cursorRow_ = row;
    cursorNode_ = found;
    return found;
}

int TCustomWinTree::TopRow() const {
    return std::clamp(topRow_, 0, std::max(0, RowCount() - 1));
}

void TCustomWinTree::SetTopRow(int row) {
    topRow_ = std::clamp(row, 0, std::max(0, RowCount() - 1));
}

void TCustomWinTree::ScrollIntoView(int row, int pageRows) {
    if (row < 0 || pageRows < 1)
        return;
    const int top = TopRow();
    if (row < top)
        SetTopRow(row);
    else if (row >= top + pageRows)
        SetTopRow(row - pageRows + 1);
}

// ---- Notifications -------------------------------------------------------------------

template <class F>
void TCustomWinTree::Notify(F&& call) {
    if (Updating() || observers_.empty())
        return;
    DispatchScope scope(*this);
    const std::vector<TWinTreeObserver*> copy = observers_;
    for (TWinTreeObserver* o : copy)
        if (std::find(observers_.begin(), observers_.end(), o) != observers_.end())
            call(o);
}

void TCustomWinTree::ChangedStructure() {
    Notify([](TWinTreeObserver* o) { o->StructureChanged(); });
}
void TCustomWinTree::ChangedNode(TWinTreeNode* node) {
    Notify([node](TWinTreeObserver* o) { o->NodeChanged(node); });
}
void TCustomWinTree::ChangedExpansion(TWinTreeNode* node) {
    Notify([node](TWinTreeObserver* o) { o->ExpansionChanged(node); });
}

void TCustomWinTree::AddObserver(TWinTreeObserver* observer) {
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void TCustomWinTree::RemoveObserver(TWinTreeObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void TCustomWinTree::BeginUpdate() {
    ++updateCount_;
}

void TCustomWinTree::EndUpdate() {
    if (updateCount_ == 0)
        return;
    if (--updateCount_ == 0)
        ChangedStructure();
}

// ---- Building ------------------------------------------------------------------------

void TCustomWinTree::CheckDepth(const TWinTreeNode* parent, int subtreeHeight) const {
    if (parent->level_ + 1 + subtreeHeight > MaxOutlineLevel)
        throw EWinTreeError(DepthExceeded);
}

TWinTreeNode* TCustomWinTree::AddChildNode(TWinTreeNode* parent, std::string_view text,
                                           void* data) {
    if (!parent)
        parent = root_.get();
    if (!InTree(parent))
        throw EWinTreeError(IndexNotFound);
    CheckDepth(parent, 0);
    std::unique_ptr<TWinTreeNode> node(new TWinTreeNode(this, std::string(text), data));
    TWinTreeNode* n = node.get();
    Attach(parent, parent->ChildCount(), std::move(node));
    if (!selected_)
        selected_ = root_->FirstChild();
    ChangedStructure();
    return n;
}

TWinTreeNode* TCustomWinTree::InsertNode(TWinTreeNode* before, std::string_view text, void* data) {
    if (!before || before == root_.get())
        return AddChildNode(root_.get(), text, data);
    if (!InTree(before))
        throw EWinTreeError(IndexNotFound);
    TWinTreeNode* parent = before->parent_;
    CheckDepth(parent, 0);
    std::unique_ptr<TWinTreeNode> node(new TWinTreeNode(this, std::string(text), data));
    TWinTreeNode* n = node.get();
    Attach(parent, before->pos_, std::move(node));
    if (!selected_)
        selected_ = root_->FirstChild();
    ChangedStructure();
    return n;
}

int TCustomWinTree::AddObject(int index, std::string_view text, void* data) {
    TWinTreeNode* n = NodeAt(index, true);
    return AddChildNode(n == root_.get() ? n : n->parent_, text, data)->Index();
}

int TCustomWinTree::AddChildObject(int index, std::string_view text, void* data) {
    return AddChildNode(NodeAt(index, true), text, data)->Index();
}

int TCustomWinTree::InsertObject(int index, std::string_view text, void* data) {
    return InsertNode(NodeAt(index, true), text, data)->Index();
}

void TCustomWinTree::DeleteNode(TWinTreeNode* node) {
    if (!InTree(node) || node == root_.get())
        return;
    // The selection moves off the subtree: to the next sibling, else the previous one,
    // else the parent (none when the tree becomes empty).
    bool selectionInside = false;
    for (const TWinTreeNode* s = selected_; s; s = s->parent_)
        if (s == node)
            selectionInside = true;
    TWinTreeNode* parent = node->parent_;
    if (selectionInside) {
        TWinTreeNode* next = node->NextSibling();
        if (!next)
            next = node->PrevSibling();
        if (!next && parent != root_.get())
            next = parent;
        selected_ = next;
    }
    cursorNode_ = nullptr;
    Free(Detach(node));
    CollapseIfEmpty(parent);
    ChangedStructure();
    if (selectionInside)
        Notify([this](TWinTreeObserver* o) { o->SelectionChanged(SelectedNode()); });
}

void TCustomWinTree::Delete(int index) {
    DeleteNode(Items(index));
}

void TCustomWinTree::Clear() {
    if (root_->children_.empty())
        return;
    cursorNode_ = nullptr;
    const bool hadSelection = selected_ != nullptr;
    selected_ = nullptr;
    while (!root_->children_.empty())
        Free(Detach(root_->children_.back().get()));
    topRow_ = 0;
    ChangedStructure();
    if (hadSelection)
        Notify([](TWinTreeObserver* o) { o->SelectionChanged(nullptr); });
}

void TCustomWinTree::MoveNode(TWinTreeNode* source, TWinTreeNode* destination, TAttachMode mode) {
    if (!InTree(source) || source == root_.get())
        throw EWinTreeError(InvalidIndex);
    if (!destination)
        destination = root_.get();
    if (!InTree(destination))
        throw EWinTreeError(IndexNotFound);
    for (const TWinTreeNode* d = destination; d; d = d->parent_)
        if (d == source)
            return;  // into its own subtree
    TWinTreeNode* parent = destination;
    if (destination != root_.get() && mode != oaAddChild)
        parent = destination->parent_;
    CheckDepth(parent, SubtreeHeight(source));

    if (!parent->expanded_ && source->expanded_) {
        DispatchScope scope(*this);
        CollapseSubtree(source);
        if (!InTree(source) || !InTree(destination))
            return;  // a collapse handler took them away
    }
    TWinTreeNode* oldParent = source->parent_;
    std::unique_ptr<TWinTreeNode> owned = Detach(source);
    int pos = parent->ChildCount();
    if (destination != root_.get() && mode == oaInsert)
        pos = destination->pos_;
    Attach(parent, pos, std::move(owned));
    CollapseIfEmpty(oldParent);
    ChangedStructure();
}

void TCustomWinTree::MoveTo(int destination, int source, TAttachMode mode) {
    if (destination < 0)
        throw EWinTreeError(InvalidIndex);
    TWinTreeNode* src = Items(source);
    MoveNode(src, NodeAt(destination, true), mode);
}

// ---- Expansion -----------------------------------------------------------------------

// Collapses node and every descendant, then reports each collapse, deepest first (the
// node itself last), to OnCollapse. Runs inside a DispatchScope of the caller.
void TCustomWinTree::CollapseSubtree(TWinTreeNode* node) {
    std::vector<TWinTreeNode*> collapsed;  // post-order
    std::vector<std::pair<TWinTreeNode*, size_t>> stack{{node, 0}};
    while (!stack.empty()) {
        auto& [n, next] = stack.back();
        if (n->expanded_ && next < n->children_.size()) {
            TWinTreeNode* c = n->children_[next++].get();
            stack.push_back({c, 0});
            continue;
        }
        TWinTreeNode* done = n;
        stack.pop_back();
        if (done->expanded_) {
            collapsed.push_back(done);
            // Rows after it under its parent move up (Bubble sees to the top node's).
            if (done != node)
                done->parent_->validBefore_ = std::min(done->parent_->validBefore_, done->pos_ + 1);
        }
    }
    const int rows = node->expandCount_;
    for (TWinTreeNode* n : collapsed) {
        n->expanded_ = false;
        n->expandCount_ = 0;
    }
    Bubble(node, 0, -rows);
    ChangedExpansion(node);
    if (OnCollapse)
        for (TWinTreeNode* n : collapsed)
            if (InTree(n) && !n->expanded_)
                OnCollapse(*this, n->Index());
}

void TCustomWinTree::SetExpanded(TWinTreeNode* node, bool value) {
    if (node == root_.get() || !InTree(node) || node->expanded_ == value)
        return;
    DispatchScope scope(*this);
    if (!value) {
        CollapseSubtree(node);
        return;
    }
    if (!node->IsVisible())
        throw EWinTreeError(ParentNotExpanded);
    if (OnExpand) {
        OnExpand(*this, node->Index());
        // The handler may have loaded children, or taken the node or its parent away.
        if (!InTree(node) || node->expanded_ || !node->IsVisible())
            return;
    }
    node->expanded_ = true;
    // The children are collapsed (only visible nodes are ever expanded), so each adds
    // one row, and the sums over them stay right.
    const int rows = node->ChildCount();
    node->expandCount_ = rows;
    Bubble(node, 0, rows);
    ChangedExpansion(node);
}

void TCustomWinTree::FullExpand(TWinTreeNode* node) {
    DispatchScope scope(*this);
    if (node != root_.get() && node->HasItems())
        SetExpanded(node, true);
    // Handlers may change the children as we go: stop where the node has gone.
    for (int i = 0; i < node->ChildCount() && InTree(node); ++i)
        FullExpand(node->Child(i));
}

void TCustomWinTree::FullExpand() {
    FullExpand(root_.get());
}

void TCustomWinTree::FullCollapse() {
    DispatchScope scope(*this);
    for (int i = 0; i < root_->ChildCount(); ++i)
        SetExpanded(root_->Child(i), false);
}

// ---- Selection -----------------------------------------------------------------------

TWinTreeNode* TCustomWinTree::NearestVisible(TWinTreeNode* node) const {
    if (!node)
        return nullptr;
    TWinTreeNode* visible = node;
    for (TWinTreeNode* p = node->parent_; p; p = p->parent_)
        if (!p->expanded_)
            visible = p;
    return visible == root_.get() ? nullptr : visible;
}

TWinTreeNode* TCustomWinTree::SelectedNode() const {
    return NearestVisible(selected_);
}

int TCustomWinTree::SelectedItem() const {
    const TWinTreeNode* n = SelectedNode();
    return n ? n->Index() : 0;
}

int TCustomWinTree::SelectedRow() const {
    const TWinTreeNode* n = SelectedNode();
    return n ? RowOf(n) : -1;
}

void TCustomWinTree::SetSelected(TWinTreeNode* node) {
    if (node == selected_)
        return;
    selected_ = node;
    Notify([node](TWinTreeObserver* o) { o->SelectionChanged(node); });
}

void TCustomWinTree::SetSelectedItem(int index) {
    if (Updating())
        return;
    if (index == 0 && ItemCount() > 0)
        index = 1;
    if (index < 1)
        throw EWinTreeError(InvalidSelection);
    SetSelected(NearestVisible(Items(index)));
}

void TCustomWinTree::SelectNode(TWinTreeNode* node) {
    if (InTree(node) && node != root_.get())
        SetSelected(NearestVisible(node));
}

void TCustomWinTree::SelectRow(int row) {
    if (RowCount() == 0)
        return;
    SetSelected(NodeAtRow(std::clamp(row, 0, RowCount() - 1)));
}

// ---- Keys ----------------------------------------------------------------------------

void TCustomWinTree::ToggleRow(int row) {
    if (TWinTreeNode* n = NodeAtRow(row))
        SetExpanded(n, !n->expanded_);
}

TKeyResult TCustomWinTree::HandleKey(TWinTreeKey key) {
    TWinTreeNode* n = SelectedNode();
    if (!n)
        return TKeyResult::Ignored;  // empty tree
    auto selectOrBeep = [this](TWinTreeNode* target) {
        if (!target)
            return TKeyResult::Beep;
        SetSelected(target);
        return TKeyResult::Done;
    };
    switch (key) {
        case TWinTreeKey::Enter:
            SetExpanded(n, !n->expanded_);
            return TKeyResult::Done;
        case TWinTreeKey::Plus:
            SetExpanded(n, true);
            return TKeyResult::Done;
        case TWinTreeKey::Minus:
            SetExpanded(n, false);
            return TKeyResult::Done;
        case TWinTreeKey::Star:
            FullExpand(n);
            return TKeyResult::Done;
        case TWinTreeKey::CtrlKeypadMultiply:
            FullExpand();
            return TKeyResult::Done;
        case TWinTreeKey::Right:
            return selectOrBeep(n->expanded_ ? n->FirstChild() : nullptr);
        case TWinTreeKey::Left:
            return selectOrBeep(n->parent_ == root_.get() ? nullptr : n->parent_);
        case TWinTreeKey::CtrlDown:
            return selectOrBeep(n->NextSibling());
        case TWinTreeKey::CtrlUp:
            return selectOrBeep(n->PrevSibling());
        case TWinTreeKey::Home:
            return selectOrBeep(root_->FirstChild());
        case TWinTreeKey::End:
            return selectOrBeep(LastVisible());
    }
    return TKeyResult::Ignored;
}

// ---- Appearance ----------------------------------------------------------------------

int StyleIndent(TWinTreeStyle style, TWinTreeOptions options, int level, int itemHeight,
                int fontHeight) {
    const int h = itemHeight;
    const int root = (options & ooDrawTreeRoot) ? h : 0;
    switch (style) {
        case osText:
            return (level - 1) * h;
        case osPlusMinusText:
        case osPictureText:
            return level * h;
        case osPlusMinusPictureText:
            return (level + 1) * h;
        case osTreeText:
            return (level - 1) * h - (h - fontHeight) / 2 + root;
        case osTreePictureText:
            return level * h - (h - fontHeight) / 2 + root;
    }
    return 0;
}

int TCustomWinTree::NodeExtent(const TWinTreeNode& node, int itemHeight, int fontHeight,
                               int textWidth) const {
    const int indent = StyleIndent(WinTreeStyle, TreeOptions, node.Level(), itemHeight, fontHeight);
    return std::max(0, indent + textWidth + 1);
}

std::vector<bool> TCustomWinTree::TreeLineColumns(const TWinTreeNode& node) const {
    std::vector<bool> columns(static_cast<size_t>(std::max(0, node.Level() - 1)));
    for (const TWinTreeNode* a = node.parent_; a && a->parent_; a = a->parent_)
        columns[static_cast<size_t>(a->level_ - 1)] = !a->IsLastChild();
    return columns;
}

// ---- Checking ------------------------------------------------------------------------

std::string TCustomWinTree::VerifyCounts() const {
    struct Walk {
        const TCustomWinTree& tree;
        std::string error;
        // Gives {size, expand count} of n's subtree as a full walk finds them.
        std::pair<int, int> Visit(const TWinTreeNode* n, bool visible) {
            int size = 1;
            int rows = 0;
            int sizeBefore = 0;
            int rowsBefore = 0;
            if (n->expanded_ && !visible && error.empty())
                error = "expanded node under a collapsed one: " + n->text_;
            for (int i = 0; i < n->ChildCount(); ++i) {
                const TWinTreeNode* c = n->Child(i);
                if (c->parent_ != n || c->pos_ != i || c->level_ != n->level_ + 1 ||
                    c->owner_ != &tree) {
                    if (error.empty())
                        error = "links of " + c->text_;
                }
                const auto k = static_cast<size_t>(i);
                if (i < n->validBefore_ &&
                    (n->sizeBefore_[k] != sizeBefore || n->rowsBefore_[k] != rowsBefore)) {
                    if (error.empty())
                        error = "sums before " + c->text_;
                }
                auto [s, r] = Visit(c, visible && n->expanded_);
                size += s;
                sizeBefore += s;
                rowsBefore += 1 + r;
                if (n->expanded_)
                    rows += 1 + r;
            }
            if ((n->size_ != size || n->expandCount_ != rows) && error.empty())
                error = "counts of " + n->text_;
            return {size, rows};
        }
    } walk{*this, {}};
    walk.Visit(root_.get(), true);
    if (walk.error.empty() && !root_->expanded_)
        walk.error = "root collapsed";
    if (walk.error.empty() && (ItemCount() > 0) != (selected_ != nullptr))
        walk.error = "selection";
    if (walk.error.empty() && selected_ && !InTree(selected_))
        walk.error = "selection not in the tree";
    return walk.error;
}

}  // namespace views
