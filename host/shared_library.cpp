// Platform code: loading a library and finding its exports.
#include "host/shared_library.h"

#include "host/host_error.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace quorvel::host {

#if defined(_WIN32)

namespace {
std::wstring widen(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string lastErrorText() {
    const DWORD code = GetLastError();
    char* buffer = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    std::string text = length && buffer ? std::string(buffer, length) : "error " + std::to_string(code);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) text.pop_back();
    return text;
}
}  // namespace

SharedLibrary::SharedLibrary(const std::string& path) : libraryPath(path) {
    handle = reinterpret_cast<void*>(LoadLibraryW(widen(path).c_str()));
    if (!handle) throw HostError("cannot load " + path + ": " + lastErrorText());
}

SharedLibrary::~SharedLibrary() {
    if (handle) FreeLibrary(reinterpret_cast<HMODULE>(handle));
}

void* SharedLibrary::symbol(const char* name) const noexcept {
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
}

#else

SharedLibrary::SharedLibrary(const std::string& path) : libraryPath(path) {
    dlerror();
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        throw HostError("cannot load " + path + ": " + (reason ? reason : "unknown reason"));
    }
}

SharedLibrary::~SharedLibrary() {
    if (handle) dlclose(handle);
}

void* SharedLibrary::symbol(const char* name) const noexcept {
    dlerror();
    return dlsym(handle, name);
}

#endif

}  // namespace quorvel::host
