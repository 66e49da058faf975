#include "platform/registry_document.h"

#include <algorithm>
#include <utility>

namespace porthold::platform {

namespace {

char LowerAscii(char character) {
    return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a')
                                                : character;
}

// True when the first `prefix.size()` levels of `path` are `prefix`.
bool StartsWith(const RegistryKeyPath& path, const RegistryKeyPath& prefix) {
    return path.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), path.begin(), RegistryNamesEqual);
}

}  // namespace

bool RegistryNamesEqual(std::string_view left, std::string_view right) {
    return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                      [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

bool IsValidRegistryName(std::string_view name) {
    return std::none_of(name.begin(), name.end(), [](char character) {
        const auto byte = static_cast<unsigned char>(character);
        return byte < 0x20 || byte == 0x7F;
    });
}

std::optional<RegistryKeyPath> ParseRegistryKeyPath(std::string_view text) {
    RegistryKeyPath path;
    while (!text.empty()) {
        const std::size_t separator = text.find('\\');
        const std::string_view name = text.substr(0, separator);
        if (!IsValidRegistryName(name)) {
            return std::nullopt;
        }
        if (!name.empty()) {
            path.emplace_back(name);
        }
        text.remove_prefix(separator == std::string_view::npos ? text.size() : separator + 1);
    }
    return path;
}

bool RegistryDocument::KeyExists(const RegistryKeyPath& path) const {
    return path.empty() ||
           std::any_of(keys_.begin(), keys_.end(),
                       [&](const RegistryKeyEntry& entry) { return StartsWith(entry.path, path); });
}

RegistryKeyEntry* RegistryDocument::FindEntry(const RegistryKeyPath& path) {
    for (RegistryKeyEntry& entry : keys_) {
        if (entry.path.size() == path.size() && StartsWith(entry.path, path)) {
            return &entry;
        }
    }
    return nullptr;
}

const RegistryKeyEntry* RegistryDocument::FindEntry(const RegistryKeyPath& path) const {
    return const_cast<RegistryDocument*>(this)->FindEntry(path);
}

RegistryKeyEntry& RegistryDocument::AddKey(const RegistryKeyPath& path) {
    if (RegistryKeyEntry* existing = FindEntry(path)) {
        return *existing;
    }
    RegistryKeyPath spelled;
    for (const std::string& name : path) {
        spelled.push_back(name);
        for (const RegistryKeyEntry& entry : keys_) {
            if (StartsWith(entry.path, spelled)) {
                spelled.back() = entry.path[spelled.size() - 1];
                break;
            }
        }
    }
    return keys_.emplace_back(RegistryKeyEntry{std::move(spelled), {}});
}

const RegistryValue* RegistryDocument::FindValue(const RegistryKeyPath& path,
                                                 std::string_view name) const {
    const RegistryKeyEntry* entry = FindEntry(path);
    if (entry == nullptr) {
        return nullptr;
    }
    for (const RegistryValue& value : entry->values) {
        if (RegistryNamesEqual(value.name, name)) {
            return &value;
        }
    }
    return nullptr;
}

void RegistryDocument::SetValue(const RegistryKeyPath& path, RegistryValue value) {
    RegistryKeyEntry& entry = AddKey(path);
    for (RegistryValue& existing : entry.values) {
        if (RegistryNamesEqual(existing.name, value.name)) {
            existing.type = value.type;
            existing.data = std::move(value.data);
            return;
        }
    }
    entry.values.push_back(std::move(value));
}

}  // namespace porthold::platform
