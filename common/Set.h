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
        for (E member : aMembers)
            FBits |= Bit(member);
    }
    static constexpr TSet FromBits(Bits aBits)
    {
        TSet s;
        s.FBits = aBits;
        return s;
    }

    constexpr Bits ToBits() const { return FBits; }
    constexpr bool Contains(E aMember) const { return (FBits & Bit(aMember)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }

    constexpr TSet& Include(E aMember)
    {
        FBits |= Bit(aMember);
        return *this;
    }
    constexpr TSet& Exclude(E aMember)
    {
        FBits &= static_cast<Bits>(~Bit(aMember));
        return *this;
    }
    constexpr TSet operator+(E aMember) const { return TSet(*this).Include(aMember); }
    constexpr TSet operator-(E aMember) const { return TSet(*this).Exclude(aMember); }
    constexpr TSet operator+(TSet aOther) const { return FromBits(static_cast<Bits>(FBits | aOther.FBits)); }
    constexpr bool operator==(const TSet&) const = default;

private:
    static constexpr Bits Bit(E aMember) { return static_cast<Bits>(Bits{1} << static_cast<unsigned>(aMember)); }
    Bits FBits = 0;
};

} // namespace hostutils
