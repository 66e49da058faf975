#include "platform/registry_text.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>

namespace porthold::platform {
namespace {

const RegistryKeyPath kProgramKey = {"Software", "Quillmoor", "Porthold"};

std::string Data(const RegistryDocument& document, std::string_view name) {
    const RegistryValue* value = document.FindValue(kProgramKey, name);
    return value == nullptr ? "<missing>" : value->data;
}

TEST(ParseRegistryText, ReadsAHandEditedFile) {
    const RegistryDocument document = ParseRegistryText(
        "\xEF\xBB\xBFREGEDIT4\r\n"
        "; settings, edited by hand\r\n"
        "\r\n"
        "   [ HKEY_LOCAL_MACHINE\\Software \\ Quillmoor\\Porthold\\ \\]   \r\n"
        "\"RingsAnswer\" = DWORD:3\r\n"
        "  \"Path\"=\"C:\\new\\  folder\\\\\"\t\r\n"
        "@=\"default\"\r\n"
        "\"Multi\"=hex(1):61,0D,\\\r\n"
        "    0a,62,00,ff\r\n"
        "\"Binary\"=hex:01,02,\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Quillmoor\\Porthold]\r\n"
        "\"RingsAnswer\"=dword:00000005\r\n"
        "[hkey_local_machine\\SOFTWARE\\QUILLMOOR\\PORTHOLD]\r\n"
        "\"ringsanswer\"=dword:00000004");
    ASSERT_EQ(document.Keys().size(), 1u);
    EXPECT_EQ(Data(document, "RingsAnswer"), std::string("\x04\0\0\0", 4));
    EXPECT_EQ(Data(document, "Path"), "C:\\new\\  folder\\");
    EXPECT_EQ(Data(document, ""), "default");
    EXPECT_EQ(Data(document, "Multi"), "a\r\nb");
    EXPECT_EQ(Data(document, "Binary"), "\x01\x02");
    EXPECT_EQ(document.FindValue(kProgramKey, "Binary")->type, 3u);
}

TEST(ParseRegistryText, SkipsDamagedLinesAndKeepsTheRest) {
    const RegistryDocument document = ParseRegistryText(
        "REGEDIT4\n"
        "\"Orphan\"=dword:00000001\n"  // before any key
        "[HKEY_LOCAL_MACHINE\\Software\\Quillmoor\\Porthold]\n"
        "\"Unterminated=\"x\"\n"
        "\"Text\"=\"unterminated\n"
        "\"Huge\"=dword:100000000\n"
        "\"BadHex\"=hex:0g,01\n"
        "\"BigByte\"=hex:100\n"
        "\"HugeType\"=hex(100000000):00\n"
        "\"Trailing\"=\"x\" junk\n"
        "\"Deleted\"=-\n"
        "\"Cut\"=hex:01,\\\n"
        "\"Good\"=dword:0000002a\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Quillmoor\\Porthold\n"
        "\"AfterBadSection\"=dword:00000001\n"
        "[-HKEY_LOCAL_MACHINE\\Software]\n"
        "\"AfterDeletion\"=dword:00000001\n");
    ASSERT_EQ(document.Keys().size(), 1u);
    ASSERT_EQ(document.Keys()[0].values.size(), 1u);
    EXPECT_EQ(Data(document, "Good"), std::string("\x2a\0\0\0", 4));
}

TEST(FormatRegistryText, WrapsLongHexadecimalDataAndKeepsOtherTypes) {
    RegistryDocument document;
    document.SetValue(kProgramKey, {"Control", REG_SZ, std::string(40, '\t')});
    document.SetValue(kProgramKey, {"List", 7, std::string("a\0b\0\0", 5)});
    const std::string text = FormatRegistryText(document);
    EXPECT_EQ(text,
              "REGEDIT4\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Quillmoor\\Porthold]\n"
              "\"Control\"=hex(1):09,09,09,09,09,09,09,09,09,09,09,09,09,09,09,09,09,09,09,09,\\\n"
              "  09,09,09,09,09,09,09,09,09,09,09,09,09,09,09,09,09,09,09,09,00\n"
              "\"List\"=hex(7):61,00,62,00,00\n"
              "\n");
    EXPECT_EQ(FormatRegistryText(ParseRegistryText(text)), text);
}

// The registry keeps text up to its first zero byte; a zero typed into a
// quoted text must not survive reading only to cut the text short on a save.
TEST(ParseRegistryText, EndsQuotedTextAtAZeroByteAsItsSaveWould) {
    using namespace std::string_literals;
    const RegistryDocument document = ParseRegistryText(
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Quillmoor\\Porthold]\n"
        "\"Path\"=\"/home/po\x01\0\0rthold/\"\n"s);
    EXPECT_EQ(Data(document, "Path"), "/home/po\x01");
    EXPECT_EQ(Data(ParseRegistryText(FormatRegistryText(document)), "Path"), "/home/po\x01");
}

// Random mixtures of the format's own pieces: whatever comes in, reading must
// not fail, and what is written back must read back to the same file.
TEST(ParseRegistryText, SurvivesGarbageAndWritesWhatItReadsBackUnchanged) {
    const std::array<std::string_view, 24> pieces = {"[",
                                                     "]",
                                                     "HKEY_LOCAL_MACHINE",
                                                     "\\",
                                                     "\"",
                                                     "=",
                                                     "dword:",
                                                     "hex:",
                                                     "hex(1):",
                                                     "hex(",
                                                     "):",
                                                     ",",
                                                     "ff",
                                                     "0",
                                                     "\n",
                                                     "\r\n",
                                                     ";",
                                                     "@",
                                                     " ",
                                                     "\t",
                                                     "\xFF",
                                                     std::string_view("\0", 1),
                                                     "Software",
                                                     "ffffffffffffffffff"};
    std::mt19937 random(20240601);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 80);
        for (int index = 0; index < length; ++index) {
            text += pieces[random() % pieces.size()];
        }
        const std::string written = FormatRegistryText(ParseRegistryText(text));
        ASSERT_EQ(FormatRegistryText(ParseRegistryText(written)), written) << text;
    }
}

}  // namespace
}  // namespace porthold::platform
