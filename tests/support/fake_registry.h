#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace porthold::testing {

enum class RegistryOperation { OpenKey, CreateKey, QueryValue, SetValue, CloseKey };

// One call made to the fake, as the test sees it afterwards.
struct RegistryCall {
    RegistryOperation operation;
    std::string name;               // the key name for OpenKey and CreateKey, the value name
                                    // for QueryValue and SetValue, empty for CloseKey
    platform::RegistryKey key = 0;  // the handle passed in (the root for Open/Create)
    platform::RegistryValueType type = platform::REG_NONE;  // SetValue only
    std::uint32_t size = 0;  // SetValue: the byte count given; QueryValue: the capacity given

    friend bool operator==(const RegistryCall&, const RegistryCall&) = default;
};

// An in-memory registry below HKEY_LOCAL_MACHINE that records every call and
// can be told to fail chosen calls. Keys are named by their full path below the
// root; only the root can be opened from. Handles are checked as the real
// registry checks them: an unknown or closed handle gives ERROR_INVALID_HANDLE.
class FakeRegistry final : public platform::Registry {
public:
    static constexpr int kEveryCall = -1;

    platform::RegistryResult OpenKey(platform::RegistryKey root, std::string_view subKey,
                                     platform::RegistryOptions options,
                                     platform::RegistryAccess access,
                                     platform::RegistryKey* result) override;
    platform::RegistryResult CreateKey(platform::RegistryKey root, std::string_view subKey,
                                       platform::RegistryOptions options,
                                       platform::RegistryAccess access,
                                       platform::RegistryKey* result) override;
    platform::RegistryResult QueryValue(platform::RegistryKey key, std::string_view name,
                                        platform::RegistryValueType* type, std::uint8_t* data,
                                        std::uint32_t* size) override;
    platform::RegistryResult SetValue(platform::RegistryKey key, std::string_view name,
                                      platform::RegistryValueType type, const std::uint8_t* data,
                                      std::uint32_t size) override;
    platform::RegistryResult CloseKey(platform::RegistryKey key) override;

    // Makes calls of `operation` fail with `result`: those naming `name` (any
    // when empty), the next `count` of them or every one. A failed CloseKey
    // leaves the handle open.
    void FailCalls(RegistryOperation operation, platform::RegistryResult result,
                   std::string_view name = {}, int count = kEveryCall);

    // Setting up and inspecting the content, without recording calls.
    void AddKey(std::string_view keyName);
    bool HasKey(std::string_view keyName) const;
    void PutNumber(std::string_view keyName, std::string_view valueName, std::uint32_t value);
    // Stored with its terminating zero, as a program writing the key would.
    void PutText(std::string_view keyName, std::string_view valueName, std::string_view text);
    void PutBytes(std::string_view keyName, std::string_view valueName,
                  platform::RegistryValueType type, std::vector<std::uint8_t> bytes);
    void RemoveValue(std::string_view keyName, std::string_view valueName);
    std::optional<std::uint32_t> Number(std::string_view keyName, std::string_view valueName) const;
    // The stored text up to its first zero byte.
    std::optional<std::string> Text(std::string_view keyName, std::string_view valueName) const;
    std::size_t ValueCount(std::string_view keyName) const;

    const std::vector<RegistryCall>& calls() const { return calls_; }
    void ClearCalls() { calls_.clear(); }
    std::size_t OpenHandleCount() const { return handles_.size(); }

private:
    struct StoredValue {
        platform::RegistryValueType type;
        std::vector<std::uint8_t> bytes;
    };
    using Values = std::map<std::string, StoredValue, std::less<>>;

    struct Failure {
        RegistryOperation operation;
        std::string name;
        platform::RegistryResult result;
        int remaining;
    };

    std::optional<platform::RegistryResult> InjectedFailure(RegistryOperation operation,
                                                            std::string_view name);
    Values* ValuesOf(platform::RegistryKey key);
    const StoredValue* Find(std::string_view keyName, std::string_view valueName) const;

    std::map<std::string, Values, std::less<>> keys_;
    std::map<platform::RegistryKey, std::string> handles_;
    platform::RegistryKey nextHandle_ = 0x1000;
    std::vector<Failure> failures_;
    std::vector<RegistryCall> calls_;
};

}  // namespace porthold::testing
