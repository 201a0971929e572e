#include "UtilsNumber.h"

#include "Exceptions.h"

#include <string>

namespace hostutils {

namespace {

int DigitValue(char aChar, int aBase)
{
    int v = -1;
    if (aChar >= '0' && aChar <= '9')
        v = aChar - '0';
    else if (aChar >= 'a' && aChar <= 'f')
        v = aChar - 'a' + 10;
    else if (aChar >= 'A' && aChar <= 'F')
        v = aChar - 'A' + 10;
    return v < aBase ? v : -1;
}

} // namespace

bool TryStrToInt(std::string_view aText, int32_t& aValue)
{
    size_t i = 0;
    while (i < aText.size() && aText[i] == ' ')
        ++i;
    bool negative = false;
    if (i < aText.size() && (aText[i] == '+' || aText[i] == '-')) {
        negative = aText[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < aText.size() && aText[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < aText.size() && aText[i] == '0' && (aText[i + 1] == 'x' || aText[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == aText.size())
        return false;
    // Accumulate the magnitude in 64 bits; stop as soon as it leaves the 32-bit range.
    const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
    int64_t magnitude = 0;
    for (; i < aText.size(); ++i) {
        const int d = DigitValue(aText[i], base);
        if (d < 0)
            return false;
        magnitude = magnitude * base + d;
        if (magnitude > limit)
            return false;
    }
    aValue = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

int32_t StrToInt(std::string_view aText)
{
    int32_t value = 0;
    if (!TryStrToInt(aText, value))
        throw EConvertError("'" + std::string(aText) + "' is not a valid integer value");
    return value;
}

} // namespace hostutils
