#pragma once
// Cleanup that runs when a scope is left: TScopeExit on every way out,
// TScopeFail only when an exception leaves the scope.
//
// While an exception is leaving the scope, a failure of the cleanup itself is
// dropped: the first failure is the one reported. On a normal exit a
// TScopeExit cleanup's failure propagates from the guard's destructor.

#include <exception>
#include <utility>

namespace hostutils {

template <typename F, bool OnNormalExit>
class TScopeGuard {
public:
    explicit TScopeGuard(F aCleanup) : FCleanup(std::move(aCleanup)) {}
    TScopeGuard(const TScopeGuard&) = delete;
    TScopeGuard& operator=(const TScopeGuard&) = delete;

    ~TScopeGuard() noexcept(false)
    {
        if (std::uncaught_exceptions() == FUncaught) {
            if constexpr (OnNormalExit)
                FCleanup();
            return;
        }
        try {
            FCleanup();
        } catch (...) {
            // The failure already leaving the scope is the one to report.
        }
    }

private:
    F FCleanup;
    int FUncaught = std::uncaught_exceptions();
};

// Named types with deduction guides rather than alias templates: not every
// compiler the project builds with deduces through an alias.
template <typename F>
class TScopeExit : public TScopeGuard<F, true> {
public:
    using TScopeGuard<F, true>::TScopeGuard;
};
template <typename F>
TScopeExit(F) -> TScopeExit<F>;

template <typename F>
class TScopeFail : public TScopeGuard<F, false> {
public:
    using TScopeGuard<F, false>::TScopeGuard;
};
template <typename F>
TScopeFail(F) -> TScopeFail<F>;

} // namespace hostutils
