#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace porthold::platform {

// A hierarchical store of typed named values under keys, with the result codes,
// value types and handle rules that the settings code was written against.

using RegistryResult = long;
inline constexpr RegistryResult ERROR_SUCCESS = 0;
inline constexpr RegistryResult ERROR_FILE_NOT_FOUND = 2;
inline constexpr RegistryResult ERROR_ACCESS_DENIED = 5;
inline constexpr RegistryResult ERROR_INVALID_HANDLE = 6;
inline constexpr RegistryResult ERROR_INVALID_PARAMETER = 87;
inline constexpr RegistryResult ERROR_MORE_DATA = 234;

using RegistryValueType = std::uint32_t;
inline constexpr RegistryValueType REG_NONE = 0;
inline constexpr RegistryValueType REG_SZ = 1;
inline constexpr RegistryValueType REG_DWORD = 4;

using RegistryAccess = std::uint32_t;
inline constexpr RegistryAccess KEY_READ = 0x20019;
inline constexpr RegistryAccess KEY_ALL_ACCESS = 0xF003F;

using RegistryOptions = std::uint32_t;
inline constexpr RegistryOptions REG_OPTION_NON_VOLATILE = 0;

// An open key. Zero is never a valid handle.
using RegistryKey = std::uintptr_t;
inline constexpr RegistryKey HKEY_LOCAL_MACHINE = 0x80000002;

class Registry {
public:
    virtual ~Registry() = default;

    // Opens an existing key below `root`; ERROR_FILE_NOT_FOUND when it does not exist.
    virtual RegistryResult OpenKey(RegistryKey root, std::string_view subKey,
                                   RegistryOptions options, RegistryAccess access,
                                   RegistryKey* result) = 0;

    // Opens a key, creating it (and the keys above it) when missing.
    virtual RegistryResult CreateKey(RegistryKey root, std::string_view subKey,
                                     RegistryOptions options, RegistryAccess access,
                                     RegistryKey* result) = 0;

    // Copies a value into `data`, whose capacity in bytes `size` gives; `size`
    // returns the bytes the value holds (text with its terminating zero).
    // ERROR_MORE_DATA when it does not fit, ERROR_FILE_NOT_FOUND when the value
    // does not exist. With `data` null only the size is returned.
    virtual RegistryResult QueryValue(RegistryKey key, std::string_view name,
                                      RegistryValueType* type, std::uint8_t* data,
                                      std::uint32_t* size) = 0;

    // Sets a value. REG_DWORD takes exactly 4 bytes; REG_SZ takes the text's
    // bytes, with or without a terminating zero.
    virtual RegistryResult SetValue(RegistryKey key, std::string_view name, RegistryValueType type,
                                    const std::uint8_t* data, std::uint32_t size) = 0;

    virtual RegistryResult CloseKey(RegistryKey key) = 0;
};

}  // namespace porthold::platform
