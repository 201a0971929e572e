#include "MessageWriter.h"

#include "AsciiText.h"
#include "ContentEncoding.h"
#include "EnvelopeAddress.h"
#include "FileHandle.h"
#include "HeaderEncoding.h"
#include "TransportErrors.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace emlsend {
namespace {

// Header values come from single lines of the control file; a line break
// inside one would start a new header line (or end the data early), so any
// carriage return or line feed becomes a blank.
std::string OneLine(std::string_view aText)
{
    std::string out(aText);
    std::replace_if(
        out.begin(), out.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return out;
}

MailAddress OneLine(const MailAddress& aAddress)
{
    return MailAddress{OneLine(aAddress.Name), OneLine(aAddress.Address)};
}

// aAddress on one line with its domain in IDNA form (HeaderAddress). With
// aNameDefaultsToAddress an empty name is the address as given, so that a
// reader still shows the domain in its own letters.
MailAddress InHeader(const MailAddress& aAddress, std::string_view aCharset, bool aNameDefaultsToAddress = false)
{
    MailAddress result = OneLine(aAddress);
    if (aNameDefaultsToAddress && result.Name.empty()) {
        result.Name = result.Address;
    }
    result.Address = HeaderAddress(result.Address, aCharset);
    return result;
}

// The media type with any "charset" parameter removed.
std::string WithoutCharset(std::string_view aContentType)
{
    std::string out;
    std::size_t start = 0;
    bool first = true;
    while (start <= aContentType.size()) {
        const std::size_t end = std::min(aContentType.find(';', start), aContentType.size());
        const std::string_view piece = aContentType.substr(start, end - start);
        const std::string_view name = hostutils::TrimmedBlanks(piece.substr(0, piece.find('=')));
        if (first || !hostutils::EqualsIgnoringAsciiCase(name, "charset")) {
            if (!first) {
                out += ';';
            }
            out += first ? std::string(hostutils::TrimmedBlanks(piece)) : std::string(piece);
        }
        first = false;
        start = end + 1;
    }
    return out;
}

std::string FormatList(const std::vector<MailAddress>& aList, std::string_view aCharset)
{
    std::string out;
    for (const MailAddress& address : aList) {
        if (!out.empty()) {
            out += ", ";
        }
        out += InHeader(address, aCharset).Format(false, aCharset);
    }
    return out;
}

// Collects the header lines of the message, folded into physical lines.
class HeaderBlock {
public:
    void AddRaw(std::string_view aLine) { FLines.push_back(OneLine(aLine)); }
    void Add(std::string_view aName, std::string_view aValue)
    {
        if (aValue.empty()) {
            return;
        }
        for (std::string& line : FoldHeaderLine(std::string(aName) + ": " + std::string(aValue))) {
            FLines.push_back(std::move(line));
        }
    }
    const std::vector<std::string>& Lines() const { return FLines; }

private:
    std::vector<std::string> FLines;
};

// Writes lines into the sink, each with CRLF, doubling a leading period.
class LineWriter {
public:
    explicit LineWriter(ByteSink& aSink) : FSink(aSink) {}
    void Line(std::string_view aLine)
    {
        FBuffer.clear();
        AppendLine(FBuffer, aLine);
        FSink.Write(FBuffer);
    }
    static void AppendLine(std::string& aOut, std::string_view aLine)
    {
        if (!aLine.empty() && aLine.front() == '.') {
            aOut += '.';
        }
        aOut += aLine;
        aOut += "\r\n";
    }
    ByteSink& Sink() { return FSink; }

private:
    ByteSink& FSink;
    std::string FBuffer;
};

// Replays the nesting the writer will produce: every parent must be a
// container that is still open when its part comes.
void ValidateParts(const std::vector<MessagePart>& aParts)
{
    std::vector<int> open{-1};
    for (std::size_t index = 0; index < aParts.size(); ++index) {
        const MessagePart& part = aParts[index];
        if (std::find(open.begin(), open.end(), part.ParentIndex) == open.end()) {
            throw EInvalidMessage("Message part " + std::to_string(index) + " names no open container as its parent (" +
                                  std::to_string(part.ParentIndex) + ")");
        }
        while (open.back() != part.ParentIndex) {
            open.pop_back();
        }
        if (part.IsContainer()) {
            open.push_back(static_cast<int>(index));
            continue;
        }
        const std::string_view expected =
            part.Kind == MessagePart::PartKind::pkAttachment ? "base64" : "quoted-printable";
        if (!part.TransferEncoding.empty() && !hostutils::EqualsIgnoringAsciiCase(part.TransferEncoding, expected)) {
            throw EInvalidMessage("Unsupported transfer encoding \"" + part.TransferEncoding + "\"");
        }
    }
}

// Why a file that is no regular file cannot be an attachment.
std::string NotRegularReason(mode_t aMode)
{
    if (S_ISDIR(aMode)) {
        return std::strerror(EISDIR);
    }
    const char* kind = S_ISFIFO(aMode)   ? "a FIFO"
                       : S_ISCHR(aMode)  ? "a character device"
                       : S_ISBLK(aMode)  ? "a block device"
                       : S_ISSOCK(aMode) ? "a socket"
                                         : "a special file";
    return std::string("Not a regular file but ") + kind;
}

// An attachment: a regular file, opened once and read up to the size it
// had when it was opened. Closed on destruction.
class InputFile {
public:
    explicit InputFile(const std::string& aPath) : FPath(aPath)
    {
        // Without O_NONBLOCK, opening a FIFO would wait for a writer.
        FHandle = hostutils::TFileHandle(::open(aPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (!FHandle.Valid()) {
            const int error = errno;
            // A socket cannot be opened at all (ENXIO): say what it is.
            struct stat found {};
            if (error == ENXIO && ::stat(aPath.c_str(), &found) == 0 && !S_ISREG(found.st_mode)) {
                throw EFOpenError("Cannot open file \"" + aPath + "\". " + NotRegularReason(found.st_mode));
            }
            throw EFOpenError("Cannot open file \"" + aPath + "\". " + std::strerror(error));
        }
        struct stat info {};
        if (::fstat(FHandle.Get(), &info) != 0) {
            throw EFOpenError("Cannot open file \"" + aPath + "\". " + std::strerror(errno));
        }
        if (!S_ISREG(info.st_mode)) {
            throw EFOpenError("Cannot open file \"" + aPath + "\". " + NotRegularReason(info.st_mode));
        }
        // A regular file is read as any other (the flag matters only with
        // mandatory locks).
        ::fcntl(FHandle.Get(), F_SETFL, ::fcntl(FHandle.Get(), F_GETFL) & ~O_NONBLOCK);
        FLeft = static_cast<std::uint64_t>(info.st_size);
        FSize = FLeft;
    }

    // The size when the file was opened; exactly this many bytes are read.
    std::uint64_t size() const { return FSize; }

    // Fills aBuffer with up to aSize of the bytes not read yet; fewer only
    // at the measured end. A file that became shorter fails with EInOutError;
    // what a file gained after it was opened is not read.
    std::size_t ReadFull(unsigned char* aBuffer, std::size_t aSize)
    {
        const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(aSize, FLeft));
        std::size_t filled = 0;
        while (filled < wanted) {
            const ssize_t got = ::read(FHandle.Get(), aBuffer + filled, wanted - filled);
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throw EInOutError("Cannot read file \"" + FPath + "\". " + std::strerror(errno));
            }
            if (got == 0) {
                throw EInOutError("Cannot read file \"" + FPath + "\". The file became shorter while it was read");
            }
            filled += static_cast<std::size_t>(got);
        }
        FLeft -= filled;
        return filled;
    }

private:
    std::string FPath;
    hostutils::TFileHandle FHandle;
    std::uint64_t FSize = 0;
    std::uint64_t FLeft = 0;
};

// Streams the file as base64 lines, a block of lines per sink write.
void WriteBase64File(const std::string& aPath, ByteSink& aSink)
{
    InputFile file(aPath);
    if (aSink.CountsOnly()) {
        aSink.AddCount(Base64LinesSize(file.size()));
        return;
    }
    constexpr std::size_t kLinesPerBlock = 2048;
    constexpr std::size_t kInputSize = kBase64LineBytes * kLinesPerBlock;
    const auto input = std::make_unique<unsigned char[]>(kInputSize);
    const auto output = std::make_unique<char[]>(Base64LinesSize(kInputSize));
    while (true) {
        const std::size_t got = file.ReadFull(input.get(), kInputSize);
        if (got == 0) {
            break;
        }
        const std::size_t encoded = EncodeBase64Lines(input.get(), got, output.get());
        aSink.Write(std::string_view(output.get(), encoded));
        if (got < kInputSize) {
            break;
        }
    }
}

void WriteTextPart(const MessagePart& aPart, LineWriter& aOut)
{
    const std::string contentType =
        aPart.ContentType.empty() ? std::string("text/plain") : WithoutCharset(aPart.ContentType);
    std::string line = "Content-Type: " + contentType;
    if (!aPart.Charset.empty()) {
        line += " ; charset=\"" + aPart.Charset + "\"";
    }
    aOut.Line(line);
    aOut.Line("Content-Transfer-Encoding: quoted-printable");
    aOut.Line("");
    std::string block;
    for (const std::string& bodyLine : aPart.BodyLines) {
        block.clear();
        for (const std::string& encoded : EncodeQuotedPrintable(bodyLine)) {
            LineWriter::AppendLine(block, encoded);
        }
        aOut.Sink().Write(block);
    }
}

// The RFC 2231 form of a parameter value: aCharset, two apostrophes and
// aValue with every byte but letters, digits and "!#$&+-.^_`|~" written
// as "%XX".
std::string ExtendedParameter(std::string_view aValue, std::string_view aCharset)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out = std::string(aCharset) + "''";
    for (const char c : aValue) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) != 0 && byte < 128) {
            out += c;
        } else if (std::string_view("!#$&+-.^_`|~").find(c) != std::string_view::npos) {
            out += c;
        } else {
            out += '%';
            out += kDigits[byte >> 4];
            out += kDigits[byte & 15];
        }
    }
    return out;
}

void WriteAttachmentPart(const MessagePart& aPart, std::string_view aCharset, LineWriter& aOut)
{
    const std::string_view charset = aPart.Charset.empty() ? aCharset : std::string_view(aPart.Charset);
    const std::string fileName = OneLine(aPart.FileName);
    // Quotes and backslashes would end or escape the quoted name, so they are
    // encoded along with the bytes outside ASCII.
    const std::string name = EncodeHeaderText(fileName, "\"\\", charset);
    // Parsers that do not read encoded words inside quotes (as RFC 2047 has
    // it) take the RFC 2231 form beside it.
    const std::string extended = name == fileName ? std::string() : ExtendedParameter(fileName, charset);
    const std::string contentType =
        aPart.ContentType.empty() ? std::string("application/octet-stream") : aPart.ContentType;
    // The last parameter of a header field: the quoted name, then the
    // extended form when there is one.
    const auto nameParameter = [&](const std::string& aKey) {
        if (extended.empty()) {
            aOut.Line("        " + aKey + "=\"" + name + "\"");
        } else {
            aOut.Line("        " + aKey + "=\"" + name + "\";");
            aOut.Line("        " + aKey + "*=" + extended);
        }
    };
    aOut.Line("Content-Type: " + contentType + ";");
    nameParameter("name");
    aOut.Line("Content-Transfer-Encoding: base64");
    aOut.Line("Content-Disposition: attachment;");
    nameParameter("filename");
    aOut.Line("");
    WriteBase64File(aPart.FilePath, aOut.Sink());
}

struct BoundaryEntry {
    std::string Boundary;
    int ContainerIndex = -1;
};

} // namespace

std::string RandomBoundary()
{
    static constexpr char kChars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    thread_local std::mt19937_64 engine{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, 61);
    std::string boundary(34, '0');
    for (char& c : boundary) {
        c = kChars[pick(engine)];
    }
    // Position 1..33 (counted from 1) of the first of the two characters.
    const std::size_t position = std::uniform_int_distribution<std::size_t>(1, 33)(engine);
    boundary[position - 1] = '=';
    boundary[position] = '_';
    return boundary;
}

std::string RandomMessageId(std::string_view aDomain)
{
    thread_local std::mt19937_64 engine{std::random_device{}()};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string id = "<";
    for (int i = 0; i < 2; ++i) {
        const std::uint64_t value = engine();
        for (int shift = 60; shift >= 0; shift -= 4) {
            id += kDigits[(value >> shift) & 15];
        }
    }
    return id + "@" + std::string(aDomain) + ">";
}

namespace {

// Letters, digits and hyphens in labels joined by single dots.
bool IsPlainDomain(std::string_view aText)
{
    if (aText.empty() || aText.size() > 253 || aText.front() == '.' || aText.back() == '.' ||
        aText.find("..") != std::string_view::npos) {
        return false;
    }
    return std::all_of(aText.begin(), aText.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 128 && std::isalnum(byte) != 0) || c == '-' || c == '.';
    });
}

} // namespace

std::string MessageIdDomain(const MailAddress& aFrom)
{
    const std::size_t at = aFrom.Address.rfind('@');
    if (at != std::string::npos && IsPlainDomain(std::string_view(aFrom.Address).substr(at + 1))) {
        return aFrom.Address.substr(at + 1);
    }
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) == 0 && IsPlainDomain(name)) {
        return name;
    }
    return "localhost";
}

namespace {

// The "X-Priority" value of aPriority; empty for a normal one.
std::string_view PriorityValue(MailPriority aPriority)
{
    switch (aPriority) {
    case MailPriority::mpHighest:
        return "1";
    case MailPriority::mpHigh:
        return "2";
    case MailPriority::mpNormal:
        break;
    case MailPriority::mpLow:
        return "4";
    case MailPriority::mpLowest:
        return "5";
    }
    return {};
}

// The body of a message whose only part is a text or an attachment.
void WriteSinglePart(const MessagePart& aPart, std::string_view aCharset, ByteSink& aSink)
{
    LineWriter out(aSink);
    if (aPart.Kind == MessagePart::PartKind::pkAttachment) {
        WriteAttachmentPart(aPart, aCharset, out);
    } else {
        WriteTextPart(aPart, out);
    }
    out.Line("");
}

} // namespace

void MessageWriter::WriteMessage(const MailMessage& aMessage, ByteSink& aSink, MessageForm aForm) const
{
    ValidateParts(aMessage.Parts);
    std::vector<MessagePart> noParts;
    const std::vector<MessagePart>* parts = &aMessage.Parts;
    if (parts->empty()) {
        noParts.push_back(MessagePart::Text({}, aMessage.Charset));
        parts = &noParts;
    }
    const bool multipart = parts->size() > 1 || parts->front().IsContainer();
    const std::string boundary = multipart ? MakeBoundary() : std::string();
    WriteHeader(aMessage, aForm, boundary, aSink);
    aSink.BodyStarted();
    if (multipart) {
        WriteMultipart(*parts, boundary, aMessage.Charset, aSink);
    } else {
        WriteSinglePart(parts->front(), aMessage.Charset, aSink);
    }
    aSink.BodyFinished();
    if (aForm == MessageForm::mfFile) {
        aSink.Write(".\r\n");
    }
}

void MessageWriter::WriteHeader(const MailMessage& aMessage, MessageForm aForm, std::string_view aBoundary,
                                ByteSink& aSink) const
{
    const std::string& charset = aMessage.Charset;
    HeaderBlock header;
    for (const std::string& raw : aMessage.HeaderLines) {
        header.AddRaw(raw);
    }
    if (!aMessage.From.IsEmpty()) {
        header.Add("From", InHeader(aMessage.From, charset, true).Format(false, charset));
    }
    header.Add("Subject", EncodeHeaderText(OneLine(aMessage.Subject), "", charset));
    header.Add("To", FormatList(aMessage.To, charset));
    header.Add("Cc", FormatList(aMessage.Cc, charset));
    if (aForm == MessageForm::mfFile) {
        header.Add("Bcc", FormatList(aMessage.Bcc, charset));
    }
    if (!aBoundary.empty()) {
        std::string value = aMessage.ContentType + ";\r\n\t";
        if (!charset.empty()) {
            value += "charset=\"" + charset + "\"; ";
        }
        value += "boundary=\"" + std::string(aBoundary) + "\"";
        header.Add("Content-Type", value);
    }
    header.Add("MIME-Version", "1.0");
    header.Add("Reply-To", FormatList(aMessage.ReplyTo, charset));
    if (!aMessage.ReceiptRecipient.IsEmpty()) {
        header.Add("Disposition-Notification-To", InHeader(aMessage.ReceiptRecipient, charset).Format(false, charset));
    }
    header.Add("Date", MakeDate());
    header.Add("Message-ID", MakeMessageId(MessageIdDomain(InHeader(aMessage.From, charset))));
    header.Add("X-Priority", PriorityValue(aMessage.Priority));

    std::string block;
    for (const std::string& line : header.Lines()) {
        LineWriter::AppendLine(block, line);
    }
    aSink.Write(block);
}

void MessageWriter::WriteMultipart(const std::vector<MessagePart>& aParts, const std::string& aBoundary,
                                   std::string_view aCharset, ByteSink& aSink) const
{
    LineWriter out(aSink);
    out.Line("");
    out.Line("This is a multi-part message in MIME format");
    out.Line("");
    std::vector<BoundaryEntry> stack{BoundaryEntry{aBoundary, -1}};
    for (std::size_t index = 0; index < aParts.size(); ++index) {
        const MessagePart& part = aParts[index];
        // Close the containers this part lies outside of. The bottom entry is
        // never popped: ValidateParts proved every parent is a container that
        // is still open or was opened before.
        while (stack.size() > 1 && stack.back().ContainerIndex != part.ParentIndex) {
            out.Line("--" + stack.back().Boundary + "--");
            out.Line("");
            stack.pop_back();
        }
        out.Line("--" + stack.back().Boundary);
        if (part.IsContainer()) {
            stack.push_back(BoundaryEntry{MakeBoundary(), static_cast<int>(index)});
            out.Line("Content-Type: " + part.ContentType + ";");
            out.Line("        boundary=\"" + stack.back().Boundary + "\"");
            out.Line("");
        } else if (part.Kind == MessagePart::PartKind::pkText) {
            WriteTextPart(part, out);
            out.Line("");
        } else {
            WriteAttachmentPart(part, aCharset, out);
            out.Line("");
        }
    }
    while (!stack.empty()) {
        out.Line("--" + stack.back().Boundary + "--");
        out.Line("");
        stack.pop_back();
    }
}

void MessageWriter::WriteMessageToFile(const MailMessage& aMessage, const std::string& aPath) const
{
    FileSink sink(aPath);
    WriteMessage(aMessage, sink, MessageForm::mfFile);
    sink.Close();
}

std::uint64_t MessageWriter::Measure(const MailMessage& aMessage) const
{
    CountingSink sink;
    WriteMessage(aMessage, sink, MessageForm::mfTransmission);
    sink.Write(".\r\n");
    return sink.Count();
}

} // namespace emlsend
