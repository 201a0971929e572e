#include "MailMessage.h"

#include "AsciiText.h"

namespace emlsend {

MessagePart MessagePart::Text(std::vector<std::string> aBodyLines, std::string aCharset, std::string aContentType,
                              int aParentIndex)
{
    MessagePart part;
    part.BodyLines = std::move(aBodyLines);
    part.Charset = std::move(aCharset);
    part.ContentType = std::move(aContentType);
    part.ParentIndex = aParentIndex;
    return part;
}

MessagePart MessagePart::Container(std::string aContentType, int aParentIndex)
{
    MessagePart part;
    part.ContentType = std::move(aContentType);
    part.ParentIndex = aParentIndex;
    return part;
}

MessagePart MessagePart::Attachment(std::string aFilePath, int aParentIndex)
{
    MessagePart part;
    part.Kind = PartKind::pkAttachment;
    part.FileName = FileNameOfPath(aFilePath);
    part.FilePath = std::move(aFilePath);
    part.ParentIndex = aParentIndex;
    return part;
}

bool MessagePart::IsContainer() const
{
    return Kind == PartKind::pkText && hostutils::StartsWithIgnoringAsciiCase(ContentType, "multipart/");
}

std::string FileNameOfPath(std::string_view aPath)
{
    const std::size_t cut = aPath.rfind('/');
    return std::string(cut == std::string_view::npos ? aPath : aPath.substr(cut + 1));
}

} // namespace emlsend
