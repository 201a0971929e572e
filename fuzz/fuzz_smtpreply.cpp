// The SMTP reply reader on everything a server could send: the input is cut
// into lines at line feeds (a carriage return before one is dropped), as the
// connection's line reader does, and replies are read until it runs out.
// Only the documented failures may happen ("Reply too long.", "Reply Code is
// not valid: %s"); a reply holds at most kMaxReplyLines lines of at most
// kMaxReplyLine bytes; its code is 0 or 100..999; a reply refused for its
// code was still read whole, so the next reply starts after it.

#include "FuzzSupport.h"
#include "SmtpReply.h"
#include "TransportErrors.h"

#include <cstddef>
#include <cstdint>

namespace {

struct EndOfInput {};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    std::string_view rest(reinterpret_cast<const char*>(aData), aSize);
    size_t linesRead = 0;
    const auto readLine = [&](size_t aMaxLength) {
        if (rest.empty())
            throw EndOfInput{};
        const size_t lf = rest.find('\n');
        std::string_view line = rest.substr(0, lf);
        rest.remove_prefix(lf == std::string_view::npos ? rest.size() : lf + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.size() > aMaxLength)
            throw emlsend::ESmtpClientError("Reply too long.");
        ++linesRead;
        return std::string(line);
    };

    for (int replies = 0; !rest.empty(); ++replies) {
        const size_t before = linesRead;
        try {
            const emlsend::SmtpReply reply = emlsend::ReadSmtpReply(readLine);
            FUZZ_CHECK(reply.Code == 0 || (reply.Code >= 100 && reply.Code <= 999));
            FUZZ_CHECK(!reply.Lines.empty());
            FUZZ_CHECK(reply.Lines.size() <= emlsend::kMaxReplyLines);
            FUZZ_CHECK(reply.Lines.size() == linesRead - before);
            for (const std::string& line : reply.Lines)
                FUZZ_CHECK(line.size() <= emlsend::kMaxReplyLine);
            // Every line but the last continues the reply.
            FUZZ_CHECK(reply.Text().size() <= emlsend::kMaxReplyLines * (emlsend::kMaxReplyLine + 2));
        } catch (const emlsend::EInvalidReplyCode& e) {
            FUZZ_CHECK(std::string_view(e.what()).starts_with("Reply Code is not valid: "));
            FUZZ_CHECK(std::string_view(e.what()).size() <= 25 + 3);
        } catch (const emlsend::ESmtpClientError& e) {
            FUZZ_CHECK(std::string_view(e.what()) == "Reply too long.");
            FUZZ_CHECK(linesRead - before <= emlsend::kMaxReplyLines);
            return 0; // the session ends here
        } catch (const EndOfInput&) {
            return 0;
        }
    }
    return 0;
}
