#include "platform/file_registry.h"

#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/files.h"
#include "platform/registry_text.h"

namespace porthold::platform {

namespace {

// The access right that allows setting values; KEY_ALL_ACCESS holds it,
// KEY_READ does not.
constexpr RegistryAccess kKeySetValue = 0x0002;

}  // namespace

FileRegistry::FileRegistry(std::string path) : path_(std::move(path)) {}

std::optional<RegistryDocument> FileRegistry::Load() const {
    if (auto contents = ReadFileContents(path_)) {
        return ParseRegistryText(*contents);
    }
    std::error_code error;
    if (std::filesystem::status(path_, error).type() == std::filesystem::file_type::not_found) {
        return RegistryDocument{};
    }
    return std::nullopt;
}

bool FileRegistry::Store(const RegistryDocument& document) const {
    // The file holds the remote PIN, so a folder made for it is private too.
    const std::string folder = std::filesystem::path(path_).parent_path().string();
    return (folder.empty() || CreateDirectories(folder)) &&
           ReplaceFileContents(path_, FormatRegistryText(document));
}

RegistryResult FileRegistry::Open(RegistryKey root, std::string_view subKey, RegistryAccess access,
                                  Creation creation, RegistryKey* result) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = 0;
    RegistryKeyPath path;
    if (root != HKEY_LOCAL_MACHINE) {
        const auto opened = openedKeys_.find(root);
        if (opened == openedKeys_.end()) {
            return ERROR_INVALID_HANDLE;
        }
        path = opened->second.path;
    }
    const auto below = ParseRegistryKeyPath(subKey);
    if (!below) {
        return ERROR_INVALID_PARAMETER;
    }
    path.insert(path.end(), below->begin(), below->end());

    auto document = Load();
    if (!document) {
        return ERROR_ACCESS_DENIED;
    }
    if (!document->KeyExists(path)) {
        if (creation == Creation::OpenExisting) {
            return ERROR_FILE_NOT_FOUND;
        }
        document->AddKey(path);
        if (!Store(*document)) {
            return ERROR_ACCESS_DENIED;
        }
    }
    if (nextHandle_ == HKEY_LOCAL_MACHINE) {
        ++nextHandle_;
    }
    *result = nextHandle_++;
    openedKeys_[*result] = OpenedKey{std::move(path), (access & kKeySetValue) != 0};
    return ERROR_SUCCESS;
}

RegistryResult FileRegistry::OpenKey(RegistryKey root, std::string_view subKey,
                                     RegistryOptions /*options*/, RegistryAccess access,
                                     RegistryKey* result) {
    return Open(root, subKey, access, Creation::OpenExisting, result);
}

RegistryResult FileRegistry::CreateKey(RegistryKey root, std::string_view subKey,
                                       RegistryOptions /*options*/, RegistryAccess access,
                                       RegistryKey* result) {
    return Open(root, subKey, access, Creation::CreateMissing, result);
}

RegistryResult FileRegistry::QueryValue(RegistryKey key, std::string_view name,
                                        RegistryValueType* type, std::uint8_t* data,
                                        std::uint32_t* size) {
    const auto opened = openedKeys_.find(key);
    if (opened == openedKeys_.end()) {
        return ERROR_INVALID_HANDLE;
    }
    if (data != nullptr && size == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const auto document = Load();
    if (!document) {
        return ERROR_ACCESS_DENIED;
    }
    const RegistryValue* value = document->FindValue(opened->second.path, name);
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::string bytes = value->data;
    if (value->type == REG_SZ) {
        bytes += '\0';
    }
    const auto needed = static_cast<std::uint32_t>(bytes.size());
    if (type != nullptr) {
        *type = value->type;
    }
    if (size == nullptr) {
        return ERROR_SUCCESS;
    }
    if (data != nullptr && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data != nullptr) {
        std::memcpy(data, bytes.data(), bytes.size());
    }
    *size = needed;
    return ERROR_SUCCESS;
}

RegistryResult FileRegistry::SetValue(RegistryKey key, std::string_view name,
                                      RegistryValueType type, const std::uint8_t* data,
                                      std::uint32_t size) {
    const auto opened = openedKeys_.find(key);
    if (opened == openedKeys_.end()) {
        return ERROR_INVALID_HANDLE;
    }
    if (!opened->second.writable) {
        return ERROR_ACCESS_DENIED;
    }
    if (!IsValidRegistryName(name) || (data == nullptr && size != 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    RegistryValue value{std::string(name), type, {}};
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (type == REG_DWORD && size == 4) {
        value.data = bytes;
    } else if (type == REG_SZ) {
        value.data = bytes.substr(0, bytes.find('\0'));
    } else {
        return ERROR_INVALID_PARAMETER;
    }

    auto document = Load();
    if (!document) {
        return ERROR_ACCESS_DENIED;
    }
    document->SetValue(opened->second.path, std::move(value));
    return Store(*document) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

RegistryResult FileRegistry::CloseKey(RegistryKey key) {
    // The predefined root is never opened, and closing it is harmless.
    if (key == HKEY_LOCAL_MACHINE) {
        return ERROR_SUCCESS;
    }
    return openedKeys_.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

std::string DefaultRegistryFile(const ProcessEnvironment& environment) {
    if (auto configured = environment.Variable("PORTHOLD_REGISTRY_FILE");
        configured && !configured->empty()) {
        return *configured;
    }
    return UserConfigurationFolder(environment) + "/porthold/registry.reg";
}

}  // namespace porthold::platform
