#include "EnvelopeAddress.h"

#include "TransportErrors.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iconv.h>
#include <idn2.h>
#include <memory>
#include <utility>

namespace emlsend {
namespace {

bool IsAscii(std::string_view aText)
{
    return std::all_of(aText.begin(), aText.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

[[noreturn]] void Refuse(std::string_view aAddress, const std::string& aReason)
{
    throw ESmtpClientError("The address \"" + std::string(aAddress) + "\" cannot be sent: " + aReason);
}

// aText from aCharset to UTF-8 in aOut; false when iconv does not know the
// character set or the text is not in it.
bool ToUtf8(std::string_view aText, std::string_view aCharset, std::string& aOut)
{
    const iconv_t converter = ::iconv_open("UTF-8", std::string(aCharset).c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    const std::unique_ptr<void, int (*)(iconv_t)> closer(converter, ::iconv_close);
    std::string input(aText);
    std::string output(input.size() * 4 + 4, '\0');
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    if (::iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) ||
        ::iconv(converter, nullptr, nullptr, &out, &outLeft) == static_cast<std::size_t>(-1)) {
        return false;
    }
    output.resize(output.size() - outLeft);
    aOut = std::move(output);
    return true;
}

} // namespace

std::string EnvelopeAddress(std::string_view aAddress, std::string_view aCharset)
{
    if (IsAscii(aAddress)) {
        return std::string(aAddress);
    }
    const std::size_t at = aAddress.rfind('@');
    const std::string_view local = aAddress.substr(0, at == std::string_view::npos ? aAddress.size() : at);
    if (!IsAscii(local)) {
        Refuse(aAddress, "its local part is not ASCII.");
    }
    const std::string_view domain = aAddress.substr(at + 1);
    std::string utf8;
    if (!ToUtf8(domain, aCharset, utf8)) {
        Refuse(aAddress, "its domain is no valid international domain name (not " + std::string(aCharset) + " text).");
    }
    char* converted = nullptr;
    const int result = ::idn2_to_ascii_8z(utf8.c_str(), &converted, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
    const std::unique_ptr<char, void (*)(void*)> owner(converted, ::idn2_free);
    if (result != IDN2_OK) {
        Refuse(aAddress,
               std::string("its domain is no valid international domain name (") + ::idn2_strerror(result) + ").");
    }
    return std::string(local) + "@" + converted;
}

std::string HeaderAddress(std::string_view aAddress, std::string_view aCharset)
{
    try {
        return EnvelopeAddress(aAddress, aCharset);
    } catch (const ESmtpClientError&) {
        return std::string(aAddress);
    }
}

} // namespace emlsend
