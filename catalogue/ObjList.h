#pragma once
// The catalogue's lists: objects in order, each under a name (the list's key).
//
//   TObjList<T>    what every list gives its readers: count, index, lookups by name
//                  (ignoring letter case, Windows-1252, first match) and by object,
//                  iteration over {Name, Obj} items, a version counter, reordering.
//   TRefList<T>    a list of references: it never owns or frees what it lists.
//   TOwnedList<T>  a list that owns its objects: they come in as std::unique_ptr and
//                  leave as one (Take), or are freed with the list, last first.
//
// Readers take a const TObjList<T>&, so one reader serves both kinds of list.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Ansi.h"

namespace catalogue {

template <class T>
class TObjList {
  public:
    struct Item {
        std::string Name;
        T* Obj;
    };

    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    T* operator[](int index) const { return items_.at(static_cast<size_t>(index)).Obj; }
    const std::string& Name(int index) const { return items_.at(static_cast<size_t>(index)).Name; }

    // The first item with that name, ignoring case; -1 when there is none.
    int IndexOf(std::string_view name) const {
        for (size_t i = 0; i < items_.size(); ++i)
            if (platform::AnsiSameText(items_[i].Name, name))
                return static_cast<int>(i);
        return -1;
    }
    int IndexOfObject(const T* obj) const {
        for (size_t i = 0; i < items_.size(); ++i)
            if (items_[i].Obj == obj)
                return static_cast<int>(i);
        return -1;
    }
    T* Find(std::string_view name) const {
        const int i = IndexOf(name);
        return i < 0 ? nullptr : items_[static_cast<size_t>(i)].Obj;
    }

    // Changes with every change of the list (for indexes kept beside it).
    uint64_t Version() const { return version_; }

    auto begin() const { return items_.cbegin(); }
    auto end() const { return items_.cend(); }

    // Reordering keeps what the list holds and who owns it.
    void Move(int from, int to) {
        if (from == to)
            return;
        ++version_;
        Item item = std::move(items_.at(static_cast<size_t>(from)));
        items_.erase(items_.begin() + from);
        items_.insert(items_.begin() + std::clamp(to, 0, Count()), std::move(item));
    }
    // A stable sort of the items by less (const Item&, const Item&).
    template <class Less>
    void Sort(Less less) {
        ++version_;
        std::stable_sort(items_.begin(), items_.end(), less);
    }

  protected:
    TObjList() = default;
    ~TObjList() = default;
    TObjList(const TObjList&) = delete;
    TObjList& operator=(const TObjList&) = delete;

    void AddItem(int index, std::string_view name, T* obj) {
        ++version_;
        index = std::clamp(index, 0, Count());
        items_.insert(items_.begin() + index, Item{std::string(name), obj});
    }
    T* EraseItem(int index) {
        ++version_;
        T* obj = items_.at(static_cast<size_t>(index)).Obj;
        items_.erase(items_.begin() + index);
        return obj;
    }

  private:
    std::vector<Item> items_;
    uint64_t version_ = 0;
};

template <class T>
class TRefList : public TObjList<T> {
  public:
    TRefList() = default;

    void Add(std::string_view name, T* obj) { this->AddItem(this->Count(), name, obj); }
    // Takes the object out of the list; false when it is not listed.
    bool Remove(const T* obj) {
        const int i = this->IndexOfObject(obj);
        if (i < 0)
            return false;
        this->EraseItem(i);
        return true;
    }
    void Clear() {
        while (!this->Empty())
            this->EraseItem(this->Count() - 1);
    }
};

template <class T>
class TOwnedList : public TObjList<T> {
  public:
    TOwnedList() = default;
    ~TOwnedList() { Clear(); }

    // Lists the object at the end (or at index) and gives it.
    T* Add(std::string_view name, std::unique_ptr<T> obj) {
        return Insert(this->Count(), name, std::move(obj));
    }
    T* Insert(int index, std::string_view name, std::unique_ptr<T> obj) {
        T* raw = obj.get();
        owned_.emplace(raw, std::move(obj));
        this->AddItem(index, name, raw);
        return raw;
    }
    // Takes the object out of the list and gives it to the caller.
    std::unique_ptr<T> Take(int index) {
        T* raw = this->EraseItem(index);
        auto node = owned_.extract(raw);
        return node.empty() ? nullptr : std::move(node.mapped());
    }
    // The same for a listed object; null when it is not listed.
    std::unique_ptr<T> Take(const T* obj) {
        const int i = this->IndexOfObject(obj);
        return i < 0 ? nullptr : Take(i);
    }
    // Frees every object, last first.
    void Clear() {
        while (!this->Empty())
            Take(this->Count() - 1).reset();
    }

  private:
    std::unordered_map<const T*, std::unique_ptr<T>> owned_;
};

}  // namespace catalogue
