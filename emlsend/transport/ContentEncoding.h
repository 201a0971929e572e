#pragma once
// Body encodings of the message writer: quoted-printable for text lines and
// base64 for attachments (RFC 2045), and single-line base64 (RFC 4648) for the
// SMTP login.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace emlsend {

// Encodes one source line (without its line break) as quoted-printable lines.
// Bytes 33..60 and 62..126 stay, except a period that would begin an output
// line (written "=2E"); a blank or tab stays unless it is the source line's
// last byte; every other byte becomes "=XX". After any byte that brings the
// output line to 70 characters or more, "=" is added and the line is ended
// (so no encoded line exceeds 73 characters). The last output line is always
// returned, even when empty; an empty source line gives one empty line.
std::vector<std::string> EncodeQuotedPrintable(std::string_view aSourceLine);

// Number of bytes of source data that make one base64 line (76 characters).
inline constexpr std::size_t kBase64LineBytes = 57;

// Encodes aSize bytes at aData as base64 lines: every 57 bytes (the last group
// may be shorter, filled with "=") give one line followed by CRLF. aOut must
// hold Base64LinesSize(aSize) bytes; returns the number of bytes written.
std::size_t EncodeBase64Lines(const unsigned char* aData, std::size_t aSize, char* aOut);

// The size of EncodeBase64Lines' output for aSize source bytes. Saturates at
// the largest 64-bit value instead of wrapping.
std::uint64_t Base64LinesSize(std::uint64_t aSize);

// The whole of aData as one base64 line without line break.
std::string EncodeBase64(std::string_view aData);

} // namespace emlsend
