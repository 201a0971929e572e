#pragma once
// A small set of enumeration members stored as bits: member n is the bit 1 << n,
// so a set of up to eight members fits one byte, as the stored values expect.

#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace hostutils {

template <typename E, typename Bits = uint8_t>
class TSet {
    static_assert(std::is_enum_v<E>);

public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> aMembers)
    {
        for (E e : aMembers)
            FBits |= Bit(e);
    }
    static constexpr TSet FromBits(Bits aBits)
    {
        TSet s;
        s.FBits = aBits;
        return s;
    }

    constexpr Bits ToBits() const { return FBits; }
    constexpr bool Contains(E e) const { return (FBits & Bit(e)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }

    constexpr TSet& Include(E e)
    {
        FBits |= Bit(e);
        return *this;
    }
    constexpr TSet& Exclude(E e)
    {
        FBits &= static_cast<Bits>(~Bit(e));
        return *this;
    }
    constexpr TSet operator+(E e) const { return TSet(*this).Include(e); }
    constexpr TSet operator-(E e) const { return TSet(*this).Exclude(e); }
    constexpr TSet operator+(TSet o) const { return FromBits(static_cast<Bits>(FBits | o.FBits)); }
    constexpr bool operator==(const TSet&) const = default;

private:
    static constexpr Bits Bit(E e) { return static_cast<Bits>(Bits{1} << static_cast<unsigned>(e)); }
    Bits FBits = 0;
};

} // namespace hostutils
