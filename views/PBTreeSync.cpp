// Node texts, node bitmaps and the synchronisation of the application tree.

#include "views/PBTreeSync.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "catalogue/Hierarchy.h"
#include "platform/Ansi.h"
#include "shell/Utilities.h"

namespace views {

using catalogue::TOrcaMgr;
using catalogue::TPBApp;
using catalogue::TPBLib;
using catalogue::TPBLibRef;
using catalogue::TPBObj;
using catalogue::TPBObjRef;

namespace {

std::string LowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = platform::AsciiLower(c);
    return out;
}

std::string PadRight(std::string text, size_t width) {
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

// The object of a list item of the given list when it holds data; the position of the
// node among its siblings is tried first, since the tree keeps the lists' order.
template <class T>
T* Listed(const catalogue::TObjList<T>& list, void* data, int hint) {
    if (!data)
        return nullptr;
    if (hint >= 0 && hint < list.Count() && static_cast<void*>(list[hint]) == data)
        return list[hint];
    for (const auto& item : list)
        if (static_cast<void*>(item.Obj) == data)
            return item.Obj;
    return nullptr;
}

// The pending half of a synchronisation: the catalogue's list with a lookup by name
// (ignoring case, first match) and by object, and removal of what a node claimed.
template <class T>
class TPending {
  public:
    explicit TPending(const catalogue::TObjList<T>& list) {
        items_.reserve(static_cast<size_t>(list.Count()));
        for (int i = 0; i < list.Count(); ++i) {
            items_.push_back({list[i], false});
            byName_[platform::AnsiUpperCase(list.Name(i))].push_back(i);
            byObject_.emplace(static_cast<void*>(list[i]), i);
        }
    }
    // The first item not yet claimed with that name (and, with a filter, that the
    // filter accepts); -1 when there is none.
    int FindName(std::string_view name) {
        return FindName(name, [](const T*) { return true; });
    }
    template <class Accept>
    int FindName(std::string_view name, Accept&& accept) {
        auto it = byName_.find(platform::AnsiUpperCase(name));
        if (it == byName_.end())
            return -1;
        std::vector<int>& at = it->second;
        while (!at.empty() && items_[static_cast<size_t>(at.front())].claimed)
            at.erase(at.begin());
        for (int i : at)
            if (!items_[static_cast<size_t>(i)].claimed &&
                accept(items_[static_cast<size_t>(i)].obj))
                return i;
        return -1;
    }
    int FindObject(void* data) const {
        auto it = byObject_.find(data);
        if (it == byObject_.end() || items_[static_cast<size_t>(it->second)].claimed)
            return -1;
        return it->second;
    }
    T* Claim(int i) {
        items_[static_cast<size_t>(i)].claimed = true;
        return items_[static_cast<size_t>(i)].obj;
    }
    // The unclaimed items with their positions in the list, in order.
    template <class F>
    void ForEachLeft(F&& f) const {
        for (size_t i = 0; i < items_.size(); ++i)
            if (!items_[i].claimed)
                f(items_[i].obj, static_cast<int>(i));
    }

  private:
    struct Item {
        T* obj;
        bool claimed;
    };
    std::vector<Item> items_;
    std::unordered_map<std::string, std::vector<int>> byName_;
    std::unordered_map<void*, int> byObject_;
};

// The library name a library node's text shows (its line without the invalid mark).
std::string_view LibNameOfLine(std::string_view line) {
    constexpr std::string_view Invalid = " (Invalid Library)";
    if (line.size() >= Invalid.size() && line.substr(line.size() - Invalid.size()) == Invalid)
        line.remove_suffix(Invalid.size());
    return line;
}

}  // namespace

// ---- Node texts ---------------------------------------------------------------------

std::string FormatEntryTime(platform::TDateTime value) {
    platform::TDateTimeParts t;
    if (!platform::DecodeDateTime(value, t))
        return {};
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", t.Month, t.Day,
                  static_cast<int>(((t.Year % 100) + 100) % 100), t.Hour, t.Minute, t.Second);
    return text;
}

std::string AppLine(const TPBApp& app) {
    return PadRight(LowerCase(app.Name), NodeNameWidth) + " (" + LowerCase(app.AppLib) + ")";
}

std::string LibLine(const TPBLib& lib) {
    return lib.Exists ? lib.Name : lib.Name + " (Invalid Library)";
}

std::string EntryLine(const TPBObj& obj) {
    std::string line = PadRight(LowerCase(obj.Name), NodeNameWidth);
    line += ' ';
    line += PadRight(FormatEntryTime(obj.CreateTime), 10);
    line += ' ';
    line += PadRight("(" + std::to_string(obj.Size) + ")", 8);
    line += obj.Comment;
    return line;
}

// ---- What a node holds --------------------------------------------------------------

TOrcaMgr* TPBTreeSync::Manager() const {
    if (mgr_)
        return mgr_;
    return catalogue::HasOrcaMgr() ? &catalogue::OrcaMgr() : nullptr;
}

TPBNodeData TPBTreeSync::ResolveNode(const TWinTreeNode* node) const {
    TPBNodeData out;
    TOrcaMgr* mgr = Manager();
    if (!node || node->IsRoot() || !mgr)
        return out;
    void* data = node->Data();
    if (!data)
        return out;
    if (node->Level() == 1) {
        if (data == static_cast<void*>(mgr)) {
            out.kind = TPBNodeKind::Manager;
            out.mgr = mgr;
            return out;
        }
        // The hierarchy tree's first node: an application's "System".
        for (const auto& item : mgr->Apps) {
            if (static_cast<void*>(item.Obj->SystemRoot) == data) {
                out.kind = TPBNodeKind::ObjRef;
                out.app = item.Obj;
                out.objRef = item.Obj->SystemRoot;
                return out;
            }
        }
        return out;
    }
    const TPBNodeData parent = ResolveNode(node->Parent());
    const int hint = node->Position();
    switch (parent.kind) {
        case TPBNodeKind::Manager:
            if (TPBApp* app = Listed(parent.mgr->Apps, data, hint)) {
                out.kind = TPBNodeKind::App;
                out.mgr = parent.mgr;
                out.app = app;
            }
            break;
        case TPBNodeKind::App:
            if (TPBLibRef* libRef = Listed(parent.app->LibRefs, data, hint)) {
                out.kind = TPBNodeKind::LibRef;
                out.app = parent.app;
                out.libRef = libRef;
            }
            break;
        case TPBNodeKind::LibRef:
            if (TPBObjRef* ref = Listed(parent.libRef->ObjRefs, data, hint)) {
                out.kind = TPBNodeKind::ObjRef;
                out.app = parent.app;
                out.libRef = parent.libRef;
                out.objRef = ref;
            } else {
                out.kind = TPBNodeKind::Stale;
            }
            break;
        case TPBNodeKind::ObjRef:
            if (TPBObjRef* ref = Listed(parent.objRef->Children, data, hint)) {
                out.kind = TPBNodeKind::ObjRef;
                out.app = parent.app;
                out.objRef = ref;
            }
            break;
        case TPBNodeKind::Other:
        case TPBNodeKind::Stale:
            break;
    }
    return out;
}

// ---- Bitmaps of the nodes -------------------------------------------------------------

std::string_view AppImageName(const TPBApp& app) {
    switch (app.ReplicationRole) {
        case 1:
            return "ApplicationReplicationSource";
        case 2:
            return "ApplicationReplicationDestination";
        default:
            return "application";
    }
}

std::string_view LibImageName(const TPBLib& lib) {
    return lib.Exists ? "LIBraryclosed" : "LIBraryRed";
}

std::string_view LibOpenImageName(const TPBLib& lib) {
    return lib.Exists ? "LIBRARYOPEN" : "";
}

std::string EntryImageName(TPBObjRef& ref) {
    return catalogue::RootClass(ref)->Obj->Name;
}

// ---- The synchronisation ------------------------------------------------------------

void TPBTreeSync::DeleteChild(TWinTreeNode* node) {
    for (const TWinTreeNode* n = remembered_; n; n = n->Parent())
        if (n == node) {
            remembered_ = nullptr;
            break;
        }
    tree_->DeleteNode(node);
}

TWinTreeNode* TPBTreeSync::ReplaceNode(TWinTreeNode* node, std::string_view text, void* data) {
    TWinTreeNode* fresh = tree_->InsertNode(node, text, data);
    const bool selected = remembered_ == node;
    DeleteChild(node);
    if (selected)
        remembered_ = fresh;
    return fresh;
}

void TPBTreeSync::RefreshTree() {
    TOrcaMgr* mgr = Manager();
    remembered_ = tree_->SelectedNode();
    tree_->BeginUpdate();
    try {
        TWinTreeNode* first = tree_->Root()->FirstChild();
        if (mgr && first && first->Data() == static_cast<void*>(mgr))
            SyncApplications(first, *mgr);
    } catch (...) {
        tree_->EndUpdate();
        throw;
    }
    tree_->EndUpdate();
    if (remembered_)
        tree_->SelectNode(remembered_);
    else if (tree_->ItemCount() > 0)
        tree_->SetSelectedItem(1);
    remembered_ = nullptr;
}

void TPBTreeSync::RefreshNode(TWinTreeNode* node) {
    const TPBNodeData data = ResolveNode(node);
    if (data.kind != TPBNodeKind::App && data.kind != TPBNodeKind::LibRef)
        return;
    TCustomWinTree::UpdateScope updating(*tree_);
    if (data.kind == TPBNodeKind::App)
        SyncLibraries(node, *data.app);
    else
        SyncEntries(node, *data.libRef);
}

void TPBTreeSync::SyncApplications(TWinTreeNode* root, TOrcaMgr& mgr) {
    TPending<TPBApp> pending(mgr.Apps);
    for (TWinTreeNode* c = root->FirstChild(); c;) {
        TWinTreeNode* next = c->NextSibling();
        const int i = pending.FindObject(c->Data());
        if (i >= 0) {
            TPBApp* app = pending.Claim(i);
            // The line is rebuilt when the application asks for it, and when the node's
            // text is not the application's (an application freed and another made at
            // the same address): texts always follow the object.
            std::string line = AppLine(*app);
            if (app->Redisplay || c->Text() != line)
                c->SetText(std::move(line));
            c->SetImageNames(std::string(AppImageName(*app)));
            SyncLibraries(c, *app);
        } else {
            DeleteChild(c);
        }
        c = next;
    }
    pending.ForEachLeft([&](TPBApp* app, int p) {
        TWinTreeNode* before = root->Child(p);
        TWinTreeNode* added = tree_->AddChildNode(root, AppLine(*app), app);
        added->SetImageNames(std::string(AppImageName(*app)));
        SyncLibraries(added, *app);
        if (before)
            tree_->MoveNode(added, before, oaInsert);
    });
}

void TPBTreeSync::SyncLibraries(TWinTreeNode* appNode, TPBApp& app) {
    shell::ShowStatus("Refreshing " + app.Name);
    TPending<TPBLibRef> pending(app.LibRefs);
    for (TWinTreeNode* c = appNode->FirstChild(); c;) {
        TWinTreeNode* next = c->NextSibling();
        // A node keeps its library whether the file was found or not: its line follows
        // the library's validity, so that a library that comes back keeps its node and
        // expansion.
        const int i = pending.FindName(LibNameOfLine(c->Text()));
        if (i >= 0) {
            TPBLibRef* libRef = pending.Claim(i);
            std::string line = LibLine(*libRef->Lib);
            if (libRef->Lib->Redisplay || c->Text() != line)
                c->SetText(std::move(line));
            // The name matched: the node stands for this reference from now on, even if
            // the one it held was freed and made again.
            if (c->Data() != static_cast<void*>(libRef))
                c->SetData(libRef);
            SetLibImages(c, *libRef->Lib);
            SyncEntries(c, *libRef);
        } else {
            DeleteChild(c);
        }
        c = next;
    }
    pending.ForEachLeft([&](TPBLibRef* libRef, int p) {
        TWinTreeNode* before = appNode->Child(p);
        TWinTreeNode* added = tree_->AddChildNode(appNode, LibLine(*libRef->Lib), libRef);
        SetLibImages(added, *libRef->Lib);
        SyncEntries(added, *libRef);
        if (before)
            tree_->MoveNode(added, before, oaInsert);
    });
    // Library-list order: the node of the p-th reference goes to position p.
    for (int p = 0; p < app.LibRefs.Count(); ++p) {
        void* want = app.LibRefs[p];
        for (int k = p; k < appNode->ChildCount(); ++k) {
            TWinTreeNode* c = appNode->Child(k);
            if (c->Data() != want)
                continue;
            if (k != p)
                tree_->MoveNode(c, appNode->Child(p), oaInsert);
            break;
        }
    }
    shell::ShowStatus("");
}

void TPBTreeSync::SyncEntries(TWinTreeNode* libNode, TPBLibRef& libRef) {
    TPending<TPBObjRef> pending(libRef.ObjRefs);
    for (TWinTreeNode* c = libNode->FirstChild(); c;) {
        TWinTreeNode* next = c->NextSibling();
        // Entries pair by name and type: a window and a menu may share a name.
        const int type = c->Tag();
        const int i = pending.FindName(shell::FirstWord(c->Text()), [type](const TPBObjRef* ref) {
            return ref->Obj->EntryType == type;
        });
        if (i >= 0) {
            TPBObjRef* ref = pending.Claim(i);
            if (ref->Obj->Redisplay) {
                c = ReplaceNode(c, EntryLine(*ref->Obj), ref);
                c->SetTag(ref->Obj->EntryType);
            } else if (c->Data() != static_cast<void*>(ref)) {
                c->SetData(ref);
            }
            c->SetImageNames(EntryImageName(*ref));
        } else {
            DeleteChild(c);
        }
        c = next;
    }
    pending.ForEachLeft([&](TPBObjRef* ref, int p) {
        TWinTreeNode* before = libNode->Child(p);
        TWinTreeNode* added = tree_->AddChildNode(libNode, EntryLine(*ref->Obj), ref);
        added->SetTag(ref->Obj->EntryType);
        added->SetImageNames(EntryImageName(*ref));
        if (before)
            tree_->MoveNode(added, before, oaInsert);
    });
}

void TPBTreeSync::SetLibImages(TWinTreeNode* node, const TPBLib& lib) {
    node->SetImageNames(std::string(LibImageName(lib)), std::string(LibOpenImageName(lib)));
}

}  // namespace views
