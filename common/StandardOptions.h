#pragma once
// The options every program answers before anything else: "--help" prints
// aUsage and "--version" prints "<aProgram> <version>", each to standard
// output. Only the first argument counts.

#include <cstdio>
#include <cstring>

namespace hostutils {

// True when argv[1] was one of them and has been answered: exit with 0 then.
inline bool AnswerStandardOption(int argc, char** argv, const char* aProgram, const char* aVersion, const char* aUsage)
{
    if (argc < 2)
        return false;
    if (std::strcmp(argv[1], "--help") == 0) {
        std::fputs(aUsage, stdout);
        return true;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s %s\n", aProgram, aVersion);
        return true;
    }
    return false;
}

} // namespace hostutils
