#pragma once
// A file descriptor owned by one object: closed when the object goes, unless
// released first.

#include <unistd.h>

#include <utility>

namespace hostutils {

class TFileHandle {
public:
    TFileHandle() = default;
    explicit TFileHandle(int aHandle) : FHandle(aHandle) {}
    TFileHandle(TFileHandle&& aOther) noexcept : FHandle(aOther.Release()) {}
    TFileHandle& operator=(TFileHandle&& aOther) noexcept
    {
        if (this != &aOther) {
            Close();
            FHandle = aOther.Release();
        }
        return *this;
    }
    ~TFileHandle() { Close(); }

    // The descriptor, -1 for none.
    int Get() const noexcept { return FHandle; }
    bool Valid() const noexcept { return FHandle >= 0; }
    // Hands the descriptor to the caller, who closes it.
    int Release() noexcept { return std::exchange(FHandle, -1); }
    void Close() noexcept
    {
        if (FHandle >= 0)
            ::close(std::exchange(FHandle, -1));
    }

private:
    int FHandle = -1;
};

} // namespace hostutils
