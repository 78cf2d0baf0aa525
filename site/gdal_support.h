// What the gridding and the exports share in their use of GDAL: registering the drivers once, and
// a trap that keeps GDAL's failures for the message instead of letting them print to stderr.
#pragma once

#include <cpl_error.h>
#include <gdal.h>

#include <mutex>
#include <string>

namespace qm::site::gdal {

inline void RegisterDrivers()
{
    static std::once_flag registered;
    std::call_once(registered, [] { GDALAllRegister(); });
}

// Catches GDAL's errors on this thread while it lives; the first failure is kept.
class ErrorTrap {
public:
    ErrorTrap() { CPLPushErrorHandlerEx(&Handle, this); }
    ~ErrorTrap() { CPLPopErrorHandler(); }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    bool Failed() const { return failed_; }
    const std::string& First() const { return first_; }
    std::string What(const std::string& fallback) const { return first_.empty() ? fallback : first_; }
    void Reset()
    {
        failed_ = false;
        first_.clear();
    }

private:
    static void CPL_STDCALL Handle(CPLErr level, CPLErrorNum, const char* message)
    {
        auto* trap = static_cast<ErrorTrap*>(CPLGetErrorHandlerUserData());
        if (level >= CE_Failure && !trap->failed_) {
            trap->failed_ = true;
            trap->first_ = message ? message : "";
        }
    }
    bool failed_ = false;
    std::string first_;
};

} // namespace qm::site::gdal
