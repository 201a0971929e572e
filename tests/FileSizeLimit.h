#pragma once
// A full disk for one scope: files of this process cannot grow beyond a
// limit (RLIMIT_FSIZE), so a write past it fails with EFBIG instead of
// raising SIGXFSZ. The limit and the signal's handling are restored after.

#include <sys/resource.h>

#include <csignal>

class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t aBytes)
    {
        getrlimit(RLIMIT_FSIZE, &FSaved);
        FSavedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = FSaved;
        limited.rlim_cur = aBytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~TFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &FSaved);
        std::signal(SIGXFSZ, FSavedHandler);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    rlimit FSaved{};
    void (*FSavedHandler)(int) = nullptr;
};
