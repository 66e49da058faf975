#pragma once

#include <string>

namespace porthold::testing {

// A fresh folder under the system's temporary directory, removed with all its
// content when the object goes. Tests keep every file they make in one.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    // The folder's path, ending in "/" as the program's folders do.
    const std::string& Path() const { return path_; }

    // Path() followed by `name`.
    std::string File(const std::string& name) const { return path_ + name; }

    void Write(const std::string& name, const std::string& contents) const;
    std::string Read(const std::string& name) const;

private:
    std::string path_;
};

}  // namespace porthold::testing
