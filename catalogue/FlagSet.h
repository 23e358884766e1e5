#pragma once
// A set of flags of one scoped enumeration whose values are single bits: flags of
// another set cannot be mixed in, and the values stay those the program stores.

#include <initializer_list>
#include <type_traits>

namespace catalogue {

template <class E>
class TFlagSet {
    static_assert(std::is_enum_v<E>);
    using Bits = std::underlying_type_t<E>;

  public:
    constexpr TFlagSet() = default;
    constexpr TFlagSet(E flag) : bits_(static_cast<Bits>(flag)) {}
    constexpr TFlagSet(std::initializer_list<E> flags) {
        for (E flag : flags)
            bits_ |= static_cast<Bits>(flag);
    }

    constexpr bool Contains(E flag) const { return (bits_ & static_cast<Bits>(flag)) != 0; }

    constexpr TFlagSet& operator|=(TFlagSet other) {
        bits_ |= other.bits_;
        return *this;
    }
    friend constexpr TFlagSet operator|(TFlagSet a, TFlagSet b) { return a |= b; }
    friend constexpr bool operator==(TFlagSet, TFlagSet) = default;

  private:
    Bits bits_ = 0;
};

}  // namespace catalogue
