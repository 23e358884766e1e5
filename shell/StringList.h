#pragma once
// A list of strings, each with an attached object pointer that the list does not own
// (the program uses it to keep catalogue objects beside their names while sorting).

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace shell {

struct TStringItem {
    std::string String;
    void* Object = nullptr;
};

class TStringList {
  public:
    TStringList() = default;
    TStringList(std::initializer_list<std::string_view> strings) {
        for (auto s : strings)
            Add(s);
    }

    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    // Appends and gives the new item's index.
    int Add(std::string_view s, void* object = nullptr) {
        items_.push_back({std::string(s), object});
        return Count() - 1;
    }
    void Clear() { items_.clear(); }

    // Index access; an index out of range is a programming error (checked).
    const std::string& operator[](int index) const { return items_.at(Pos(index)).String; }
    std::string& operator[](int index) { return items_.at(Pos(index)).String; }
    void* Object(int index) const { return items_.at(Pos(index)).Object; }
    void SetObject(int index, void* object) { items_.at(Pos(index)).Object = object; }

    // First index whose string equals s exactly, or -1.
    int IndexOf(std::string_view s) const {
        for (size_t i = 0; i < items_.size(); ++i)
            if (items_[i].String == s)
                return static_cast<int>(i);
        return -1;
    }

    std::vector<TStringItem>& Items() { return items_; }
    const std::vector<TStringItem>& Items() const { return items_; }
    // The strings alone, in order.
    std::vector<std::string> Strings() const {
        std::vector<std::string> out;
        out.reserve(items_.size());
        for (const auto& item : items_)
            out.push_back(item.String);
        return out;
    }

  private:
    static size_t Pos(int index) { return index < 0 ? static_cast<size_t>(-1) : size_t(index); }
    std::vector<TStringItem> items_;
};

}  // namespace shell
