#include "support/fake_registry.h"

#include <algorithm>
#include <cstring>

namespace porthold::testing {

using platform::ERROR_FILE_NOT_FOUND;
using platform::ERROR_INVALID_HANDLE;
using platform::ERROR_INVALID_PARAMETER;
using platform::ERROR_MORE_DATA;
using platform::ERROR_SUCCESS;
using platform::HKEY_LOCAL_MACHINE;
using platform::RegistryKey;
using platform::RegistryResult;
using platform::RegistryValueType;

RegistryResult FakeRegistry::OpenKey(RegistryKey root, std::string_view subKey,
                                     platform::RegistryOptions, platform::RegistryAccess,
                                     RegistryKey* result) {
    calls_.push_back({RegistryOperation::OpenKey, std::string(subKey), root});
    *result = 0;
    if (auto failure = InjectedFailure(RegistryOperation::OpenKey, subKey)) {
        return *failure;
    }
    if (root != HKEY_LOCAL_MACHINE) {
        return ERROR_INVALID_HANDLE;
    }
    if (!HasKey(subKey)) {
        return ERROR_FILE_NOT_FOUND;
    }
    *result = nextHandle_++;
    handles_.emplace(*result, std::string(subKey));
    return ERROR_SUCCESS;
}

RegistryResult FakeRegistry::CreateKey(RegistryKey root, std::string_view subKey,
                                       platform::RegistryOptions, platform::RegistryAccess,
                                       RegistryKey* result) {
    calls_.push_back({RegistryOperation::CreateKey, std::string(subKey), root});
    *result = 0;
    if (auto failure = InjectedFailure(RegistryOperation::CreateKey, subKey)) {
        return *failure;
    }
    if (root != HKEY_LOCAL_MACHINE) {
        return ERROR_INVALID_HANDLE;
    }
    AddKey(subKey);
    *result = nextHandle_++;
    handles_.emplace(*result, std::string(subKey));
    return ERROR_SUCCESS;
}

RegistryResult FakeRegistry::QueryValue(RegistryKey key, std::string_view name,
                                        RegistryValueType* type, std::uint8_t* data,
                                        std::uint32_t* size) {
    calls_.push_back({RegistryOperation::QueryValue, std::string(name), key, platform::REG_NONE,
                      size != nullptr ? *size : 0});
    if (auto failure = InjectedFailure(RegistryOperation::QueryValue, name)) {
        return *failure;
    }
    Values* values = ValuesOf(key);
    if (values == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    if (size == nullptr && data != nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const auto found = values->find(name);
    if (found == values->end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::vector<std::uint8_t> bytes = found->second.bytes;
    // Text is handed out with a terminating zero even when it was stored
    // without one.
    if (found->second.type == platform::REG_SZ && (bytes.empty() || bytes.back() != 0)) {
        bytes.push_back(0);
    }
    if (type != nullptr) {
        *type = found->second.type;
    }
    if (size == nullptr) {
        return ERROR_SUCCESS;
    }
    const auto needed = static_cast<std::uint32_t>(bytes.size());
    const std::uint32_t capacity = *size;
    *size = needed;
    if (data == nullptr) {
        return ERROR_SUCCESS;
    }
    if (needed > capacity) {
        return ERROR_MORE_DATA;
    }
    std::copy(bytes.begin(), bytes.end(), data);
    return ERROR_SUCCESS;
}

RegistryResult FakeRegistry::SetValue(RegistryKey key, std::string_view name,
                                      RegistryValueType type, const std::uint8_t* data,
                                      std::uint32_t size) {
    calls_.push_back({RegistryOperation::SetValue, std::string(name), key, type, size});
    if (auto failure = InjectedFailure(RegistryOperation::SetValue, name)) {
        return *failure;
    }
    Values* values = ValuesOf(key);
    if (values == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    if ((type == platform::REG_DWORD && size != 4) || (data == nullptr && size != 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    std::vector<std::uint8_t> bytes(data, data + size);
    (*values)[std::string(name)] = StoredValue{type, std::move(bytes)};
    return ERROR_SUCCESS;
}

RegistryResult FakeRegistry::CloseKey(RegistryKey key) {
    calls_.push_back({RegistryOperation::CloseKey, std::string(), key});
    if (auto failure = InjectedFailure(RegistryOperation::CloseKey, {})) {
        return *failure;
    }
    return handles_.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

void FakeRegistry::FailCalls(RegistryOperation operation, RegistryResult result,
                             std::string_view name, int count) {
    failures_.push_back({operation, std::string(name), result, count});
}

std::optional<RegistryResult> FakeRegistry::InjectedFailure(RegistryOperation operation,
                                                            std::string_view name) {
    for (Failure& failure : failures_) {
        if (failure.operation == operation && failure.remaining != 0 &&
            (failure.name.empty() || failure.name == name)) {
            if (failure.remaining > 0) {
                --failure.remaining;
            }
            return failure.result;
        }
    }
    return std::nullopt;
}

FakeRegistry::Values* FakeRegistry::ValuesOf(RegistryKey key) {
    const auto handle = handles_.find(key);
    if (handle == handles_.end()) {
        return nullptr;
    }
    return &keys_[handle->second];
}

void FakeRegistry::AddKey(std::string_view keyName) {
    if (!HasKey(keyName)) {
        keys_.emplace(std::string(keyName), Values());
    }
}

bool FakeRegistry::HasKey(std::string_view keyName) const {
    return keys_.contains(keyName);
}

void FakeRegistry::PutNumber(std::string_view keyName, std::string_view valueName,
                             std::uint32_t value) {
    std::vector<std::uint8_t> bytes(4);
    std::memcpy(bytes.data(), &value, bytes.size());
    PutBytes(keyName, valueName, platform::REG_DWORD, std::move(bytes));
}

void FakeRegistry::PutText(std::string_view keyName, std::string_view valueName,
                           std::string_view text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    PutBytes(keyName, valueName, platform::REG_SZ, std::move(bytes));
}

void FakeRegistry::PutBytes(std::string_view keyName, std::string_view valueName,
                            RegistryValueType type, std::vector<std::uint8_t> bytes) {
    AddKey(keyName);
    keys_.find(keyName)->second[std::string(valueName)] = StoredValue{type, std::move(bytes)};
}

void FakeRegistry::RemoveValue(std::string_view keyName, std::string_view valueName) {
    if (auto key = keys_.find(keyName); key != keys_.end()) {
        key->second.erase(std::string(valueName));
    }
}

const FakeRegistry::StoredValue* FakeRegistry::Find(std::string_view keyName,
                                                    std::string_view valueName) const {
    const auto key = keys_.find(keyName);
    if (key == keys_.end()) {
        return nullptr;
    }
    const auto value = key->second.find(valueName);
    return value == key->second.end() ? nullptr : &value->second;
}

std::optional<std::uint32_t> FakeRegistry::Number(std::string_view keyName,
                                                  std::string_view valueName) const {
    const StoredValue* value = Find(keyName, valueName);
    if (value == nullptr || value->type != platform::REG_DWORD || value->bytes.size() != 4) {
        return std::nullopt;
    }
    std::uint32_t number = 0;
    std::memcpy(&number, value->bytes.data(), 4);
    return number;
}

std::optional<std::string> FakeRegistry::Text(std::string_view keyName,
                                              std::string_view valueName) const {
    const StoredValue* value = Find(keyName, valueName);
    if (value == nullptr || value->type != platform::REG_SZ) {
        return std::nullopt;
    }
    const auto end = std::find(value->bytes.begin(), value->bytes.end(), std::uint8_t{0});
    return std::string(value->bytes.begin(), end);
}

std::size_t FakeRegistry::ValueCount(std::string_view keyName) const {
    const auto key = keys_.find(keyName);
    return key == keys_.end() ? 0 : key->second.size();
}

}  // namespace porthold::testing
