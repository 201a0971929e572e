#pragma once
// The address of a MAIL FROM or RCPT TO command (RFC 5321) and of a header
// field (RFC 5322): plain ASCII on the wire. A domain with other characters goes in its IDNA form (RFC 5891,
// "xn--" labels); a local part with other characters has no ASCII form and
// cannot be sent to a server without SMTPUTF8 (RFC 6531), which this client
// does not use.

#include <string>
#include <string_view>

namespace emlsend {

// aAddress as the envelope carries it: unchanged when it is all ASCII,
// else with its domain converted to IDNA. aCharset is the character set of
// aAddress's bytes (the message's, such as "windows-1250").
// Fails with ESmtpClientError, naming the address as given:
//   "The address \"%s\" cannot be sent: its local part is not ASCII."
//   "The address \"%s\" cannot be sent: its domain is no valid international
//    domain name (%s)." with the reason
std::string EnvelopeAddress(std::string_view aAddress, std::string_view aCharset);

// aAddress as a header field writes it: the EnvelopeAddress form when there
// is one, else unchanged (a local part outside ASCII, which only the
// envelope check refuses). Never fails.
std::string HeaderAddress(std::string_view aAddress, std::string_view aCharset);

} // namespace emlsend
