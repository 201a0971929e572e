#include "TransportErrors.h"

namespace emlsend {
namespace {

std::string JoinReplyLines(const std::vector<std::string>& aLines)
{
    std::string text;
    for (const std::string& line : aLines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

} // namespace

ESmtpReplyError::ESmtpReplyError(int aCode, std::vector<std::string> aLines)
        : ETransportError(JoinReplyLines(aLines)), FCode(aCode), FLines(std::move(aLines))
{
}

ESocketError::ESocketError(int aCode, const std::string& aText)
        : ETransportError("Socket Error # " + std::to_string(aCode) + "\r\n" + aText), FCode(aCode)
{
}

} // namespace emlsend
