#pragma once
// Header-field text as the message writer produces it: encoded words with the
// Q encoding (RFC 2047), folding of long header lines (RFC 5322) and the
// message date. All text is single-byte; nothing here converts character sets.

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace emlsend {

// The longest word written as it stands. A line of the message may hold at
// most 998 octets (RFC 5322 section 2.1.1) and the folding cuts only between
// words, so a longer word is encoded, which splits it into encoded words.
inline constexpr std::size_t kLongestPlainWord = 900;

// Replaces the words of aText that hold a byte from 0 to 31, from 127 to 255
// or from aExtraSpecials, or that are longer than kLongestPlainWord (every
// word with aEncodeAll), by Q-encoded words labelled with aCharset. Runs of
// consecutive such words, with the blanks between them, become one encoded
// word; no encoded word exceeds 75 characters including its marks: a longer
// one is closed and continued after CRLF and one blank. Words are separated by
// blanks, tabs, carriage returns and line feeds; plain words keep the
// separators before them. When aText contains "=?" anywhere, the equals
// sign counts as special too, so the text survives a decoder unchanged. Inside
// encoded words the blank is "_", and "?", "=", "_" and the double quote are
// always written "=XX".
std::string EncodeHeaderText(std::string_view aText, std::string_view aExtraSpecials, std::string_view aCharset,
                             bool aEncodeAll = false);

// True when aText contains "=?charset?Q|B?text?=" that a decoder would turn
// into something else.
bool ContainsEncodedWord(std::string_view aText);

// Folds one header line ("Name: value") and returns its physical lines, each
// without CRLF and without trailing blanks and control characters. A line is
// cut after the last blank, tab or comma outside double quotes once a line
// passes 78 characters; an existing CRLF followed by a blank is kept as a
// cut, inside double quotes too. Lines without a cut point stay long. A
// continuation line that would hold only white space is left out, so the
// result never holds the empty line that ends a header.
std::vector<std::string> FoldHeaderLine(std::string_view aLine);

// "Tue, 3 Mar 2009 14:05:09 +0100": English weekday and month, the day
// without leading zero, and aGmtOffsetSeconds (east of UTC positive) as a
// sign and four digits. Fields of aLocal out of their ranges are reduced into
// them, never used as table indexes unchecked.
std::string FormatDate(const std::tm& aLocal, long aGmtOffsetSeconds);

// The current local date and time in the FormatDate form. Throws
// ETimeZoneError "Failed attempting to retrieve time zone information." when
// the local time cannot be computed.
std::string CurrentDate();

} // namespace emlsend
