// A shared library loaded by path, with symbol look-up. All platform code of
// the host kit lives in shared_library.cpp.
#pragma once

#include <string>

namespace quorvel::host {

class SharedLibrary {
public:
    // Loads the library at `path` (which must name an existing file). Throws
    // HostError with the system's reason when the library cannot be loaded.
    explicit SharedLibrary(const std::string& path);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The address of an exported symbol of this library, or null.
    void* symbol(const char* name) const noexcept;

    const std::string& path() const noexcept { return libraryPath; }

private:
    void* handle = nullptr;
    std::string libraryPath;
};

}  // namespace quorvel::host
