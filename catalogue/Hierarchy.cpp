// The inheritance hierarchy of an application: every entry reference under the
// reference of its ancestor, ancestors that no library of the path supplies as
// library-less references under "System".
//
// The hierarchy never holds a loop: an entry whose ancestor chain would lead back to
// itself (a source naming itself, or two entries naming each other) is placed under the
// system class of its type instead, with a line in the log. So every chain of parents
// ends at "System" and every walk ends.

#include "catalogue/Hierarchy.h"

#include <unordered_set>

#include "catalogue/Source.h"
#include "platform/Ansi.h"
#include "shell/Utilities.h"

namespace catalogue {

namespace {

// The library-less reference of a name under "System", created on first use.
TPBObjRef* SystemClassRef(TPBApp& app, std::string_view name) {
    if (TPBObjRef* ref = app.SysRefs.Find(name))
        return ref;
    TPBObjRef* ref = app.SysRefs.Add(name, std::make_unique<TPBObjRef>(app, nullptr, name));
    ref->Parent = app.SystemRoot;
    app.SystemRoot->Children.Add(name, ref);
    return ref;
}

bool IsRoot(const TPBObjRef* ref) {
    return ref->Parent == ref;
}

// True when ref is found on the chain of resolved parents starting at start.
bool ChainReaches(const TPBObjRef* start, const TPBObjRef* ref) {
    for (const TPBObjRef* at = start; at; at = at->Parent) {
        if (at == ref)
            return true;
        if (IsRoot(at))
            return false;
    }
    return false;
}

std::string RefDisplayName(const TPBObjRef& ref) {
    return ref.LibRef ? ref.LibRef->Lib->Name + "->" + ref.Obj->Name : ref.Obj->Name;
}

// A step limit for RootClass: far beyond any real inheritance depth.
constexpr int MaxChainSteps = 100000;

}  // namespace

TPBObjRef* TPBApp::FindPathObjRefUpper(const std::string& upperName, int type) const {
    bool current = pathIndexVersion_ == LibRefs.Version() &&
                   pathIndexLibs_.size() == static_cast<size_t>(LibRefs.Count());
    for (size_t i = 0; current && i < pathIndexLibs_.size(); ++i) {
        const TPBLibRef* libRef = LibRefs[static_cast<int>(i)];
        current = pathIndexLibs_[i].first == libRef &&
                  pathIndexLibs_[i].second == libRef->ObjRefs.Version();
    }
    if (!current) {
        pathIndex_.clear();
        pathIndexLibs_.clear();
        for (const auto& lib : LibRefs) {
            for (const auto& item : lib.Obj->ObjRefs)
                pathIndex_[platform::AnsiUpperCase(item.Obj->Obj->Name)].push_back(item.Obj);
            pathIndexLibs_.emplace_back(lib.Obj, lib.Obj->ObjRefs.Version());
        }
        pathIndexVersion_ = LibRefs.Version();
    }
    const auto it = pathIndex_.find(upperName);
    if (it == pathIndex_.end())
        return nullptr;
    for (TPBObjRef* ref : it->second)
        if (ref->Obj->EntryType == type)
            return ref;
    return nullptr;
}

TPBObjRef* FindObjRef(TPBApp& app, std::string_view name, std::string_view libraryPath, int type) {
    const std::string upperName = platform::AnsiUpperCase(name);
    if (libraryPath.empty()) {
        if (TPBObjRef* ref = app.FindPathObjRefUpper(upperName, type))
            return ref;
        return SystemClassRef(app, name);
    }
    for (int i = 0; i < app.LibRefs.Count(); ++i) {
        TPBLibRef* libRef = app.LibRefs[i];
        if (!libraryPath.empty() && libRef->Lib->Name != libraryPath)
            continue;
        if (TPBObjRef* ref = libRef->FindObjRefUpper(upperName, type))
            return ref;
    }
    return SystemClassRef(app, name);
}

TPBObjRef* ResolveParent(TPBObjRef& ref) {
    if (ref.Parent)
        return ref.Parent;
    TPBApp& app = ref.App;
    const std::string ancestor = AncestorName(ref);
    TPBObjRef* parent = FindObjRef(app, ancestor, {}, ref.Obj->EntryType);
    if (ChainReaches(parent, &ref)) {
        const std::string_view systemClass = SystemClassName(ref.Obj->EntryType);
        shell::LogMessage("Ancestor loop: " + RefDisplayName(ref) +
                          " inherits from itself through " + ancestor + "; shown under " +
                          std::string(systemClass) + ".");
        parent =
            SystemClassRef(app, systemClass.empty() ? std::string_view("System") : systemClass);
    }
    ref.Parent = parent;
    parent->Children.Add(ref.Obj->Name, &ref);
    return parent;
}

void BuildHierarchy(TPBApp& app) {
    app.ForEachObjRef([](TPBObjRef& ref) { ResolveParent(ref); });
    // The system classes in type order, then the rest.
    auto rank = [](const std::string& name) {
        for (const orca::TEntryKind& kind : orca::EntryKinds)
            if (name == kind.systemClass)
                return static_cast<int>(kind.type);
        return 10000;
    };
    app.SysRefs.Sort([&rank](const auto& a, const auto& b) {
        return rank(a.Obj->Obj->Name) < rank(b.Obj->Obj->Name);
    });
}

TPBObjRef* RootClass(TPBObjRef& ref) {
    TPBObjRef* at = &ref;
    for (int step = 0; step < MaxChainSteps; ++step) {
        TPBObjRef* parent = ResolveParent(*at);
        if (parent->Obj->Name == "System" || parent == at)
            return at;
        at = parent;
    }
    return at;
}

namespace {

void Walk(TPBObjRef& ref, const std::function<void(TPBObjRef&)>& action) {
    // The children as the level starts: the message loop may change the list. Nothing
    // is freed while the walk's scope lives, so every pointer stays valid; references
    // that left the catalogue or moved to another parent are passed over.
    std::vector<TPBObjRef*> children;
    children.reserve(static_cast<size_t>(ref.Children.Count()));
    for (const auto& item : ref.Children)
        children.push_back(item.Obj);
    for (TPBObjRef* child : children) {
        if (!RunFlag() || ref.Retired())
            return;
        if (child->Retired() || child->Parent != &ref)
            continue;
        action(*child);
        shell::ProcessMessages();
        if (!child->Retired())
            Walk(*child, action);
    }
}

}  // namespace

void WalkDescendants(TPBObjRef& ref, const std::function<void(TPBObjRef&)>& action) {
    TWalkScope walking(ref.App.Mgr);
    Walk(ref, action);
}

void TPBApp::ReleaseObjRefs(std::vector<std::unique_ptr<TPBObjRef>> refs) {
    if (refs.empty())
        return;
    std::unordered_set<const TPBObjRef*> dying;
    for (const auto& ref : refs)
        dying.insert(ref.get());
    std::vector<TPBObjRef*> orphans;
    for (const auto& ref : refs) {
        if (ref->Parent && !IsRoot(ref.get()) && !dying.count(ref->Parent))
            ref->Parent->Children.Remove(ref.get());
        for (const auto& child : ref->Children) {
            if (!dying.count(child.Obj)) {
                child.Obj->Parent = nullptr;
                orphans.push_back(child.Obj);
            }
        }
        ref->Children.Clear();
    }
    for (auto& ref : refs)
        Mgr.Retire(std::move(ref));
    // The descendants of a vanished entry are attached again to the ancestor their source
    // names: found elsewhere on the path, else a class under "System".
    for (TPBObjRef* orphan : orphans)
        ResolveParent(*orphan);
}

}  // namespace catalogue
