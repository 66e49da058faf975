#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/environment.h"
#include "platform/registry.h"
#include "platform/registry_document.h"

namespace porthold::platform {

// The registry kept in one text file in the registry editor's export format
// (see registry_text.h), which a user can read and edit while the program is
// stopped.
//
// The file is the truth, shared with other processes and with the user: every
// call reads its current content, and every change (a value set, a key
// created) is applied to a fresh reading and written back whole, atomically,
// before the call returns. A change that cannot be written is not applied and
// the call fails with ERROR_ACCESS_DENIED; a store that cannot be written thus
// shows up at SetValue or CreateKey, never at CloseKey. A missing file holds no
// keys; a file that exists but cannot be read fails every call with
// ERROR_ACCESS_DENIED rather than being overwritten. Two processes changing the
// file at the same moment are not serialised: the last writer wins.
//
// Handles belong to this object; they are never reused, so a closed handle
// stays invalid.
class FileRegistry final : public Registry {
public:
    explicit FileRegistry(std::string path);

    const std::string& Path() const { return path_; }

    RegistryResult OpenKey(RegistryKey root, std::string_view subKey, RegistryOptions options,
                           RegistryAccess access, RegistryKey* result) override;
    RegistryResult CreateKey(RegistryKey root, std::string_view subKey, RegistryOptions options,
                             RegistryAccess access, RegistryKey* result) override;
    RegistryResult QueryValue(RegistryKey key, std::string_view name, RegistryValueType* type,
                              std::uint8_t* data, std::uint32_t* size) override;
    RegistryResult SetValue(RegistryKey key, std::string_view name, RegistryValueType type,
                            const std::uint8_t* data, std::uint32_t size) override;
    RegistryResult CloseKey(RegistryKey key) override;

private:
    enum class Creation { OpenExisting, CreateMissing };

    struct OpenedKey {
        RegistryKeyPath path;
        bool writable = false;
    };

    RegistryResult Open(RegistryKey root, std::string_view subKey, RegistryAccess access,
                        Creation creation, RegistryKey* result);

    // None when the file exists but cannot be read.
    std::optional<RegistryDocument> Load() const;
    bool Store(const RegistryDocument& document) const;

    std::string path_;
    std::map<RegistryKey, OpenedKey> openedKeys_;
    RegistryKey nextHandle_ = 1;
};

// The file the program keeps its settings in: $PORTHOLD_REGISTRY_FILE when set
// and not empty, else "porthold/registry.reg" in the user's configuration folder.
std::string DefaultRegistryFile(const ProcessEnvironment& environment);

}  // namespace porthold::platform
