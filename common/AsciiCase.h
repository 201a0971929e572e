#pragma once
// Letter case of protocol and file keywords: only the ASCII letters A to Z
// change case; every other byte stays as it is, whatever the locale.

#include <algorithm>
#include <string>
#include <string_view>

namespace hostutils {

constexpr char AsciiUpper(char aChar) { return aChar >= 'a' && aChar <= 'z' ? char(aChar - 'a' + 'A') : aChar; }

inline std::string AsciiUpper(std::string_view aText)
{
    std::string upper(aText);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char aChar) { return AsciiUpper(aChar); });
    return upper;
}

constexpr bool EqualsIgnoringAsciiCase(std::string_view aLeft, std::string_view aRight)
{
    return aLeft.size() == aRight.size() && std::equal(aLeft.begin(), aLeft.end(), aRight.begin(),
                                                       [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

constexpr bool StartsWithIgnoringAsciiCase(std::string_view aText, std::string_view aPrefix)
{
    return EqualsIgnoringAsciiCase(aText.substr(0, std::min(aText.size(), aPrefix.size())), aPrefix);
}

} // namespace hostutils
