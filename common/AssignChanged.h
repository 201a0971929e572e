#pragma once
// The first step of a property setter that acts only when the value changes.

#include <utility>

namespace hostutils {

// Stores aValue in aField unless they are equal; true when aField changed.
template <typename T, typename U>
bool AssignChanged(T& aField, U&& aValue)
{
    if (aField == aValue)
        return false;
    aField = std::forward<U>(aValue);
    return true;
}

} // namespace hostutils
