#pragma once

#include <string>

namespace porthold::telephony {

// Loads shared libraries and finds their exported entry points. The program
// uses the system's dynamic linker; tests wrap it to count what is asked.
class LibraryLoader {
public:
    using Library = void*;

    virtual ~LibraryLoader() = default;

    // The loaded library, or null when it cannot be loaded.
    virtual Library Open(const std::string& path) = 0;

    // The address of the entry point, or null when the library does not export it.
    virtual void* FindEntry(Library library, const char* name) = 0;
};

// The system's dynamic linker. A path without a "/" is looked up the linker's
// own way (the library path, then the system folders).
class DynamicLibraryLoader final : public LibraryLoader {
public:
    Library Open(const std::string& path) override;
    void* FindEntry(Library library, const char* name) override;
};

}  // namespace porthold::telephony
