#pragma once
// Whole-number parsing as the programs' inputs write it.

#include <cstdint>
#include <string_view>

namespace hostutils {

// Reads a signed 32-bit whole number: optional leading blanks, an optional
// sign, then decimal digits, or hexadecimal digits after "$", "0x" or "0X".
// Nothing may follow the digits. Throws EConvertError with
// "'<text>' is not a valid integer value" for anything else, including a
// value outside the 32-bit range. The text is UTF-8.
int32_t StrToInt(std::string_view aText);

// As StrToInt, but answers false instead of throwing.
bool TryStrToInt(std::string_view aText, int32_t& aValue);

} // namespace hostutils
