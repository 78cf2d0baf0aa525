// Platform-specific console and process calls, kept in this one file.
#include "console.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif
#ifdef __APPLE__
#include <mach-o/dyld.h>
#endif

namespace qm::cli {

bool StderrIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

bool StdoutIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(fileno(stdout)) != 0;
#endif
}

void SetBinaryStdout()
{
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

std::string CoreFileName(const std::string& given)
{
#ifdef _WIN32
    if (given.empty() || given.size() > static_cast<std::size_t>(INT32_MAX))
        return given;
    const int length = static_cast<int>(given.size());
    const int wide = MultiByteToWideChar(CP_ACP, 0, given.data(), length, nullptr, 0);
    if (wide <= 0)
        return given;
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, given.data(), length, text.data(), wide);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return given;
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, utf8.data(), bytes, nullptr, nullptr);
    return utf8;
#else
    return given;
#endif
}

std::filesystem::path ExecutableDir(const char* argv0)
{
    std::error_code error;
#if defined(_WIN32)
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            break;
        }
        if (length < buffer.size()) {
            return std::filesystem::path(std::wstring(buffer.data(), length)).parent_path();
        }
        buffer.resize(buffer.size() * 2);
    }
#elif defined(__APPLE__)
    std::uint32_t size = 0;
    _NSGetExecutablePath(nullptr, &size);
    std::vector<char> buffer(size + 1);
    if (_NSGetExecutablePath(buffer.data(), &size) == 0) {
        return std::filesystem::weakly_canonical(std::filesystem::path(buffer.data()), error).parent_path();
    }
#else
    // Linux and the systems that mimic its /proc; elsewhere argv[0] has to do.
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        return self.parent_path();
    }
#endif
    if (argv0 == nullptr) {
        return std::filesystem::current_path(error);
    }
    return std::filesystem::absolute(std::filesystem::path(argv0), error).parent_path();
}

void* LoadLibrarySymbol(const std::filesystem::path& library, const char* symbol, std::string& error)
{
#ifdef _WIN32
    HMODULE module = LoadLibraryW(library.wstring().c_str());
    if (module == nullptr) {
        error = "error " + std::to_string(GetLastError());
        return nullptr;
    }
    void* address = reinterpret_cast<void*>(GetProcAddress(module, symbol));
    if (address == nullptr) {
        error = "error " + std::to_string(GetLastError());
    }
    return address;
#else
    void* module = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* text = dlerror();
        error = text != nullptr ? text : "unknown error";
        return nullptr;
    }
    void* address = dlsym(module, symbol);
    if (address == nullptr) {
        const char* text = dlerror();
        error = text != nullptr ? text : "symbol not found";
    }
    return address;
#endif
}

} // namespace qm::cli
