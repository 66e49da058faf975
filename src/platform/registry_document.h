#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace porthold::platform {

// A key's place below the root, one name per level; empty for the root itself.
using RegistryKeyPath = std::vector<std::string>;

// Key and value names match without regard to the case of ASCII letters, as
// they do in the registry the settings code was written against.
bool RegistryNamesEqual(std::string_view left, std::string_view right);

// A key or value name the store can hold: no control characters, which would
// break the line-based file.
bool IsValidRegistryName(std::string_view name);

// Splits "Software\Quillmoor\Porthold" into its names. Empty names (from doubled
// or outer separators) are dropped; none when a name is not valid.
std::optional<RegistryKeyPath> ParseRegistryKeyPath(std::string_view text);

struct RegistryValue {
    std::string name;
    RegistryValueType type = REG_NONE;
    // REG_SZ: the text without its terminating zero. REG_DWORD: four bytes, least
    // significant first. Other types (only ever read from a hand-edited file,
    // kept so that rewriting the file does not lose them): the bytes as stored.
    std::string data;
};

struct RegistryKeyEntry {
    RegistryKeyPath path;
    std::vector<RegistryValue> values;  // in the order they were first set
};

// The keys and values of the store. Only the keys that were created or hold
// values are listed; the keys above them exist without an entry of their own.
class RegistryDocument {
public:
    const std::vector<RegistryKeyEntry>& Keys() const { return keys_; }

    bool KeyExists(const RegistryKeyPath& path) const;

    // The key's entry, added at the end when it has none. A new entry takes the
    // spelling that existing keys already give the levels above it.
    RegistryKeyEntry& AddKey(const RegistryKeyPath& path);

    // Null when the key or the value does not exist.
    const RegistryValue* FindValue(const RegistryKeyPath& path, std::string_view name) const;

    // Replaces a value in place, keeping its position and the spelling of its
    // name, or appends it (adding the key's entry when needed).
    void SetValue(const RegistryKeyPath& path, RegistryValue value);

private:
    RegistryKeyEntry* FindEntry(const RegistryKeyPath& path);
    const RegistryKeyEntry* FindEntry(const RegistryKeyPath& path) const;

    std::vector<RegistryKeyEntry> keys_;
};

}  // namespace porthold::platform
