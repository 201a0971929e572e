#include "MailMessage.h"

#include <algorithm>
#include <cctype>

namespace emlsend {

MessagePart MessagePart::Text(std::vector<std::string> aBodyLines, std::string aCharset, std::string aContentType,
                              int aParentIndex)
{
    MessagePart part;
    part.bodyLines = std::move(aBodyLines);
    part.charset = std::move(aCharset);
    part.contentType = std::move(aContentType);
    part.parentIndex = aParentIndex;
    return part;
}

MessagePart MessagePart::Container(std::string aContentType, int aParentIndex)
{
    MessagePart part;
    part.contentType = std::move(aContentType);
    part.parentIndex = aParentIndex;
    return part;
}

MessagePart MessagePart::Attachment(std::string aFilePath, int aParentIndex)
{
    MessagePart part;
    part.kind = Kind::pkAttachment;
    part.fileName = FileNameOfPath(aFilePath);
    part.filePath = std::move(aFilePath);
    part.parentIndex = aParentIndex;
    return part;
}

bool MessagePart::IsContainer() const
{
    constexpr std::string_view kPrefix = "multipart/";
    if (kind != Kind::pkText || contentType.size() < kPrefix.size()) {
        return false;
    }
    return std::equal(kPrefix.begin(), kPrefix.end(), contentType.begin(),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

std::string FileNameOfPath(std::string_view aPath)
{
    const std::size_t cut = aPath.rfind('/');
    return std::string(cut == std::string_view::npos ? aPath : aPath.substr(cut + 1));
}

} // namespace emlsend
