#pragma once
// Single-byte text of protocols and files: letter case, where only the ASCII
// letters A to Z change case and every other byte stays as it is whatever the
// locale, and blanks around a value.

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

// aText without the bytes of aBlanks at either end.
constexpr std::string_view TrimmedBlanks(std::string_view aText, std::string_view aBlanks = " \t")
{
    const std::size_t first = aText.find_first_not_of(aBlanks);
    if (first == std::string_view::npos)
        return {};
    return aText.substr(first, aText.find_last_not_of(aBlanks) - first + 1);
}

} // namespace hostutils
