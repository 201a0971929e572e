#pragma once
// Tests that need a real peer (a PDF tool, the barcode decoder, the print
// spooler, an SMTP server) skip with the reason when it is missing. Under
// CI=true they fail instead, so that a green run means every peer was there.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

namespace testpeers {

inline bool PeersRequired()
{
    const char* ci = std::getenv("CI");
    return ci && std::string_view(ci) == "true";
}

} // namespace testpeers

#define SKIP_WITHOUT_PEER(why)                                                                                         \
    do {                                                                                                               \
        if (::testpeers::PeersRequired())                                                                              \
            FAIL() << "a real peer is missing under CI: " << (why);                                                    \
        else                                                                                                           \
            GTEST_SKIP() << (why);                                                                                     \
    } while (false)
