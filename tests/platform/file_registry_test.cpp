#include "platform/file_registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "platform/files.h"
#include "support/fake_environment.h"
#include "support/temporary_folder.h"

namespace porthold::platform {
namespace {

using testing::FakeEnvironment;
using testing::TemporaryFolder;

constexpr std::string_view kProgramKey = "Software\\Quillmoor\\Porthold";

RegistryResult SetText(Registry& registry, RegistryKey key, std::string_view name,
                       std::string_view text) {
    return registry.SetValue(key, name, REG_SZ, reinterpret_cast<const std::uint8_t*>(text.data()),
                             static_cast<std::uint32_t>(text.size()));
}

RegistryResult SetNumber(Registry& registry, RegistryKey key, std::string_view name,
                         std::uint32_t number) {
    std::uint8_t bytes[4];
    std::memcpy(bytes, &number, sizeof bytes);
    return registry.SetValue(key, name, REG_DWORD, bytes, sizeof bytes);
}

// The text of a REG_SZ value, read the way the settings code reads it: into a
// 260-byte buffer. Empty when the read fails.
std::optional<std::string> ReadText(Registry& registry, RegistryKey key, std::string_view name) {
    std::uint8_t buffer[260];
    std::uint32_t size = sizeof buffer;
    RegistryValueType type = REG_NONE;
    if (registry.QueryValue(key, name, &type, buffer, &size) != ERROR_SUCCESS || type != REG_SZ ||
        size == 0 || buffer[size - 1] != 0) {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(buffer), size - 1);
}

std::optional<std::uint32_t> ReadNumber(Registry& registry, RegistryKey key,
                                        std::string_view name) {
    std::uint32_t number = 0;
    std::uint32_t size = sizeof number;
    RegistryValueType type = REG_NONE;
    if (registry.QueryValue(key, name, &type, reinterpret_cast<std::uint8_t*>(&number), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != 4) {
        return std::nullopt;
    }
    return number;
}

class FileRegistryTest : public ::testing::Test {
protected:
    RegistryKey Create(std::string_view subKey = kProgramKey,
                       RegistryAccess access = KEY_ALL_ACCESS) {
        RegistryKey key = 0;
        EXPECT_EQ(
            registry.CreateKey(HKEY_LOCAL_MACHINE, subKey, REG_OPTION_NON_VOLATILE, access, &key),
            ERROR_SUCCESS);
        return key;
    }

    RegistryResult Open(std::string_view subKey, RegistryKey* key,
                        RegistryAccess access = KEY_ALL_ACCESS) {
        return registry.OpenKey(HKEY_LOCAL_MACHINE, subKey, 0, access, key);
    }

    TemporaryFolder folder;
    std::string file = folder.File("registry.reg");
    FileRegistry registry{file};
};

TEST_F(FileRegistryTest, WritesTheExportFormatInTheOrderValuesWereFirstSet) {
    const RegistryKey key = Create();
    EXPECT_EQ(SetNumber(registry, key, "RingsAnswer", 1), ERROR_SUCCESS);
    EXPECT_EQ(SetNumber(registry, key, "SilenceLevel", 0xABCDEF12), ERROR_SUCCESS);
    EXPECT_EQ(SetText(registry, key, "Path", "C:\\Porthold\\ \"x\""), ERROR_SUCCESS);
    EXPECT_EQ(SetText(registry, key, "Beep", "a\nb"), ERROR_SUCCESS);
    EXPECT_EQ(SetNumber(registry, key, "RingsAnswer", 3), ERROR_SUCCESS);  // keeps its place
    EXPECT_EQ(registry.CloseKey(key), ERROR_SUCCESS);
    RegistryKey other = 0;
    EXPECT_EQ(registry.CreateKey(HKEY_LOCAL_MACHINE, "Software\\Other", 0, KEY_ALL_ACCESS, &other),
              ERROR_SUCCESS);

    EXPECT_EQ(folder.Read("registry.reg"),
              "REGEDIT4\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Quillmoor\\Porthold]\n"
              "\"RingsAnswer\"=dword:00000003\n"
              "\"SilenceLevel\"=dword:abcdef12\n"
              "\"Path\"=\"C:\\\\Porthold\\\\ \\\"x\\\"\"\n"
              "\"Beep\"=hex(1):61,0a,62,00\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Other]\n"
              "\n");
}

TEST_F(FileRegistryTest, TextsRoundTripThroughTheFile) {
    const std::vector<std::string> texts = {"C:\\dir\\",
                                            "say \"hi\" \\\"",
                                            "  padded  ",
                                            "",
                                            "tab\there\r\n",
                                            "8-bit \xE9\xFF",
                                            std::string(300, '\x01'),
                                            "/home/x/.local/share/porthold/"};
    const RegistryKey key = Create();
    for (std::size_t index = 0; index < texts.size(); ++index) {
        ASSERT_EQ(SetText(registry, key, "Text" + std::to_string(index), texts[index]),
                  ERROR_SUCCESS);
    }
    FileRegistry reader(file);
    RegistryKey readKey = 0;
    ASSERT_EQ(reader.OpenKey(HKEY_LOCAL_MACHINE, kProgramKey, 0, KEY_READ, &readKey),
              ERROR_SUCCESS);
    for (std::size_t index = 0; index < texts.size(); ++index) {
        const std::string name = "Text" + std::to_string(index);
        std::uint32_t size = 0;
        ASSERT_EQ(reader.QueryValue(readKey, name, nullptr, nullptr, &size), ERROR_SUCCESS);
        std::string read(size, '?');
        ASSERT_EQ(reader.QueryValue(readKey, name, nullptr,
                                    reinterpret_cast<std::uint8_t*>(read.data()), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(read, texts[index] + '\0') << name;
    }
}

TEST_F(FileRegistryTest, NamesMatchWithoutRegardToCaseAndKeepTheirFirstSpelling) {
    const RegistryKey key = Create();
    ASSERT_EQ(SetNumber(registry, key, "RingsAnswer", 1), ERROR_SUCCESS);
    ASSERT_EQ(SetNumber(registry, key, "RINGSANSWER", 2), ERROR_SUCCESS);

    RegistryKey shouted = 0;
    ASSERT_EQ(Open("SOFTWARE\\quillmoor\\PORTHOLD", &shouted), ERROR_SUCCESS);
    EXPECT_EQ(ReadNumber(registry, shouted, "ringsanswer"), 2u);
    Create("software\\QUILLMOOR\\Other");

    const std::string text = folder.Read("registry.reg");
    EXPECT_NE(text.find("\"RingsAnswer\"=dword:00000002"), std::string::npos) << text;
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Quillmoor\\Other]"), std::string::npos)
        << text;
}

TEST_F(FileRegistryTest, MissingKeysAndValuesAreNotFound) {
    RegistryKey key = 0;
    EXPECT_EQ(Open(kProgramKey, &key), ERROR_FILE_NOT_FOUND);  // no file yet
    EXPECT_FALSE(FileExists(file));
    const RegistryKey created = Create();
    EXPECT_EQ(Open("Software\\Quillmoor\\Missing", &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open("Software\\Quill", &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open("Software", &key), ERROR_SUCCESS);  // above an existing key

    std::uint32_t size = 4;
    EXPECT_EQ(registry.QueryValue(created, "Greeting", nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadText(registry, key, "Greeting"), std::nullopt);
}

TEST_F(FileRegistryTest, ReportsSizesAndRefusesBuffersThatAreTooSmall) {
    const RegistryKey key = Create();
    ASSERT_EQ(SetText(registry, key, "Fits", std::string(259, 'a')), ERROR_SUCCESS);
    ASSERT_EQ(SetText(registry, key, "TooLong", std::string(260, 'b')), ERROR_SUCCESS);
    EXPECT_EQ(ReadText(registry, key, "Fits"), std::string(259, 'a'));

    std::uint8_t buffer[260];
    std::uint32_t size = sizeof buffer;
    EXPECT_EQ(registry.QueryValue(key, "TooLong", nullptr, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 261u);

    RegistryValueType type = REG_NONE;
    size = 0;
    EXPECT_EQ(registry.QueryValue(key, "Fits", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 260u);

    // The text ends at the first zero within the given bytes.
    const std::uint8_t withZero[] = {'9', '5', '8', 0, 'x'};
    ASSERT_EQ(registry.SetValue(key, "RemotePIN", REG_SZ, withZero, sizeof withZero),
              ERROR_SUCCESS);
    EXPECT_EQ(ReadText(registry, key, "RemotePIN"), "958");
}

TEST_F(FileRegistryTest, RejectsMalformedValues) {
    const RegistryKey key = Create();
    const std::uint8_t bytes[8] = {};
    EXPECT_EQ(registry.SetValue(key, "Number", REG_DWORD, bytes, 3), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(registry.SetValue(key, "Number", REG_DWORD, bytes, 8), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(registry.SetValue(key, "Binary", 3, bytes, 8), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetText(registry, key, "Line\nBreak", "x"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(registry.SetValue(key, "Empty", REG_SZ, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(ReadText(registry, key, "Empty"), "");
}

TEST_F(FileRegistryTest, ReadOnlyHandlesCannotSetValues) {
    const RegistryKey writable = Create();
    ASSERT_EQ(SetNumber(registry, writable, "UseSitTone", 1), ERROR_SUCCESS);
    RegistryKey readOnly = 0;
    ASSERT_EQ(Open(kProgramKey, &readOnly, KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(SetNumber(registry, readOnly, "UseSitTone", 0), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadNumber(registry, readOnly, "UseSitTone"), 1u);
}

TEST_F(FileRegistryTest, HandlesAreDistinctAndInvalidOnceClosed) {
    const RegistryKey first = Create();
    RegistryKey second = 0;
    ASSERT_EQ(Open(kProgramKey, &second), ERROR_SUCCESS);
    EXPECT_NE(first, 0u);
    EXPECT_NE(first, second);

    // A handle serves as the root of a relative path.
    RegistryKey parent = 0;
    RegistryKey child = 0;
    ASSERT_EQ(Open("Software", &parent), ERROR_SUCCESS);
    ASSERT_EQ(registry.OpenKey(parent, "Quillmoor\\Porthold", 0, KEY_ALL_ACCESS, &child),
              ERROR_SUCCESS);
    ASSERT_EQ(SetNumber(registry, child, "RingsMessage", 4), ERROR_SUCCESS);
    EXPECT_EQ(ReadNumber(registry, first, "RingsMessage"), 4u);

    EXPECT_EQ(registry.CloseKey(first), ERROR_SUCCESS);
    EXPECT_EQ(registry.CloseKey(first), ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry.CloseKey(12345), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetNumber(registry, first, "RingsMessage", 5), ERROR_INVALID_HANDLE);
    std::uint32_t size = 0;
    EXPECT_EQ(registry.QueryValue(first, "RingsMessage", nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);
    RegistryKey key = 0;
    EXPECT_EQ(registry.OpenKey(first, "", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry.CreateKey(0, "Software", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);

    FileRegistry another(file);
    EXPECT_EQ(another.CloseKey(second), ERROR_INVALID_HANDLE);  // handles belong to one object
}

TEST_F(FileRegistryTest, SeesChangesMadeByOthersToTheFile) {
    const RegistryKey key = Create();
    ASSERT_EQ(SetNumber(registry, key, "RingsAnswer", 1), ERROR_SUCCESS);

    FileRegistry other(file);
    RegistryKey otherKey = 0;
    ASSERT_EQ(other.OpenKey(HKEY_LOCAL_MACHINE, kProgramKey, 0, KEY_ALL_ACCESS, &otherKey),
              ERROR_SUCCESS);
    ASSERT_EQ(SetText(other, otherKey, "RemotePIN", "123"), ERROR_SUCCESS);
    ASSERT_EQ(SetNumber(registry, key, "RingsMessage", 2), ERROR_SUCCESS);  // keeps RemotePIN
    EXPECT_EQ(ReadText(registry, key, "RemotePIN"), "123");

    folder.Write("registry.reg",
                 "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Quillmoor\\Porthold]\n"
                 "\"RingsAnswer\"=dword:6\n");
    EXPECT_EQ(ReadNumber(registry, key, "RingsAnswer"), 6u);
    EXPECT_EQ(ReadText(registry, key, "RemotePIN"), std::nullopt);
}

TEST_F(FileRegistryTest, CreatesTheFoldersAboveTheFileAndKeepsAllOfThemPrivate) {
    FileRegistry nested(folder.File("a/b/registry.reg"));
    RegistryKey key = 0;
    ASSERT_EQ(nested.CreateKey(HKEY_LOCAL_MACHINE, kProgramKey, 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(folder.Read("a/b/registry.reg"),
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Quillmoor\\Porthold]\n\n");
    // The file will hold the remote PIN.
    const auto mode = [&](const std::string& name) {
        struct stat status {};
        EXPECT_EQ(::stat(folder.File(name).c_str(), &status), 0) << name;
        return status.st_mode & 07777;
    };
    EXPECT_EQ(mode("a"), 0700u);
    EXPECT_EQ(mode("a/b"), 0700u);
    EXPECT_EQ(mode("a/b/registry.reg"), 0600u);
}

TEST_F(FileRegistryTest, AStoreThatCannotBeWrittenRefusesChangesAndKeepsItsContent) {
    // A file below a regular file cannot be created, not even by root.
    folder.Write("plain-file", "not a folder");
    FileRegistry blocked(folder.File("plain-file/registry.reg"));
    RegistryKey key = 0;
    EXPECT_EQ(blocked.CreateKey(HKEY_LOCAL_MACHINE, kProgramKey, 0, KEY_ALL_ACCESS, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(blocked.OpenKey(HKEY_LOCAL_MACHINE, kProgramKey, 0, KEY_ALL_ACCESS, &key),
              ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(blocked.OpenKey(HKEY_LOCAL_MACHINE, "", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_EQ(SetNumber(blocked, key, "RingsAnswer", 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadNumber(blocked, key, "RingsAnswer"), std::nullopt);

    // An existing file whose replacement cannot be made: the temporary file's
    // name, longer than the file's, exceeds the longest name a folder allows.
    const std::string longName(250, 'r');
    const std::string content =
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Quillmoor\\Porthold]\n\"Path\"=\"/old/\"\n\n";
    ASSERT_TRUE(AppendToFile(folder.File(longName), content));
    FileRegistry stuck(folder.File(longName));
    ASSERT_EQ(stuck.OpenKey(HKEY_LOCAL_MACHINE, kProgramKey, 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(SetText(stuck, key, "Path", "/new/"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(stuck.CreateKey(HKEY_LOCAL_MACHINE, "Software\\New", 0, KEY_ALL_ACCESS, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(folder.Read(longName), content);
}

TEST_F(FileRegistryTest, AFileThatCannotBeReadIsNeitherReadNorOverwritten) {
    ASSERT_TRUE(CreateDirectory(file));
    RegistryKey key = 0;
    EXPECT_EQ(Open("", &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(registry.CreateKey(HKEY_LOCAL_MACHINE, kProgramKey, 0, KEY_ALL_ACCESS, &key),
              ERROR_ACCESS_DENIED);
}

TEST(DefaultRegistryFile, PrefersTheVariableOverTheConfigurationFolder) {
    FakeEnvironment environment;
    environment.variables["HOME"] = "/home/x";
    EXPECT_EQ(DefaultRegistryFile(environment), "/home/x/.config/porthold/registry.reg");
    environment.variables["PORTHOLD_REGISTRY_FILE"] = "";
    EXPECT_EQ(DefaultRegistryFile(environment), "/home/x/.config/porthold/registry.reg");
    environment.variables["PORTHOLD_REGISTRY_FILE"] = "/tmp/test.reg";
    EXPECT_EQ(DefaultRegistryFile(environment), "/tmp/test.reg");
}

}  // namespace
}  // namespace porthold::platform
