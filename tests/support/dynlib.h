// Loads a shared library the way a host loads a plug-in: dlopen on Linux,
// LoadLibrary on Windows. Tests use it to reach the built quorvel.so /
// quorvel.dll through its exported names.
#pragma once

#include <string>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace quorvel {

class DynLib {
public:
    explicit DynLib(const std::string& path) {
#if defined(_WIN32)
        handle_ = LoadLibraryA(path.c_str());
        if (!handle_) error_ = "LoadLibrary failed with error " + std::to_string(GetLastError());
#else
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) {
            const char* why = dlerror();
            error_ = why ? why : "dlopen failed";
        }
#endif
    }
    ~DynLib() {
        if (!handle_) return;
#if defined(_WIN32)
        FreeLibrary(handle_);
#else
        dlclose(handle_);
#endif
    }
    DynLib(const DynLib&) = delete;
    DynLib& operator=(const DynLib&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    // Why loading failed; empty when it succeeded.
    const std::string& error() const { return error_; }

    // The address exported under `name`, or null.
    void* address(const char* name) const {
        if (!handle_) return nullptr;
#if defined(_WIN32)
        return reinterpret_cast<void*>(GetProcAddress(handle_, name));
#else
        return dlsym(handle_, name);
#endif
    }

    // The exported function `name` as a pointer of type F, or null.
    template <class F>
    F function(const char* name) const {
        return reinterpret_cast<F>(address(name));
    }

private:
#if defined(_WIN32)
    HMODULE handle_ = nullptr;
#else
    void* handle_ = nullptr;
#endif
    std::string error_;
};

}  // namespace quorvel
