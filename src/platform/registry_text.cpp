#include "platform/registry_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

namespace porthold::platform {

namespace {

constexpr RegistryValueType kBinaryType = 3;

// The export format breaks long hexadecimal data into lines of about this width.
constexpr std::size_t kHexLineWidth = 76;

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           RegistryNamesEqual(text.substr(0, prefix.size()), prefix);
}

std::optional<unsigned> HexDigit(char character) {
    if (character >= '0' && character <= '9') {
        return static_cast<unsigned>(character - '0');
    }
    if (character >= 'a' && character <= 'f') {
        return static_cast<unsigned>(character - 'a' + 10);
    }
    if (character >= 'A' && character <= 'F') {
        return static_cast<unsigned>(character - 'A' + 10);
    }
    return std::nullopt;
}

// A number of one to `maximumDigits` hexadecimal digits and nothing else.
std::optional<std::uint32_t> ParseHexNumber(std::string_view text, std::size_t maximumDigits) {
    if (text.empty() || text.size() > maximumDigits) {
        return std::nullopt;
    }
    std::uint32_t number = 0;
    for (const char character : text) {
        const auto digit = HexDigit(character);
        if (!digit) {
            return std::nullopt;
        }
        number = number * 16 + *digit;
    }
    return number;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

// Reads a quoted string at the start of `text` and removes it from `text`. Only
// \\ and \" are escapes; any other backslash stands for itself, so a hand-typed
// unescaped path still reads as written.
std::optional<std::string> TakeQuoted(std::string_view& text) {
    if (text.empty() || text.front() != '"') {
        return std::nullopt;
    }
    std::string result;
    for (std::size_t index = 1; index < text.size(); ++index) {
        const char character = text[index];
        if (character == '"') {
            text.remove_prefix(index + 1);
            return result;
        }
        if (character == '\\' && index + 1 < text.size() &&
            (text[index + 1] == '\\' || text[index + 1] == '"')) {
            ++index;
            result += text[index];
        } else {
            result += character;
        }
    }
    return std::nullopt;  // unterminated
}

std::optional<std::string> ParseHexBytes(std::string_view text) {
    std::string bytes;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = Trim(text.substr(0, comma));
        const bool last = comma == std::string_view::npos;
        text.remove_prefix(last ? text.size() : comma + 1);
        if (item.empty() && Trim(text).empty()) {
            break;  // a trailing comma
        }
        const auto byte = ParseHexNumber(item, 2);
        if (!byte) {
            return std::nullopt;
        }
        bytes += static_cast<char>(*byte);
    }
    return bytes;
}

// Text ends at its terminating zero, however the file writes it: quoted or as
// bytes. The registry keeps text only up to its first zero, and a save writes
// text with a zero in it as bytes, so text kept whole here would come back cut
// after the next save.
void EndAtZero(std::string& text) {
    text.resize(std::min(text.find('\0'), text.size()));
}

std::optional<RegistryValue> ParseData(std::string_view text) {
    text = Trim(text);
    RegistryValue value;
    if (!text.empty() && text.front() == '"') {
        auto quoted = TakeQuoted(text);
        if (!quoted || !Trim(text).empty()) {
            return std::nullopt;
        }
        value.type = REG_SZ;
        value.data = std::move(*quoted);
        EndAtZero(value.data);
        return value;
    }
    if (StartsWithIgnoringCase(text, "dword:")) {
        const auto number = ParseHexNumber(Trim(text.substr(6)), 8);
        if (!number) {
            return std::nullopt;
        }
        value.type = REG_DWORD;
        for (int shift = 0; shift < 32; shift += 8) {
            value.data += static_cast<char>((*number >> shift) & 0xFF);
        }
        return value;
    }
    if (StartsWithIgnoringCase(text, "hex:")) {
        value.type = kBinaryType;
        text.remove_prefix(4);
    } else if (StartsWithIgnoringCase(text, "hex(")) {
        const std::size_t close = text.find("):");
        const auto type = close == std::string_view::npos
                              ? std::nullopt
                              : ParseHexNumber(text.substr(4, close - 4), 8);
        if (!type) {
            return std::nullopt;
        }
        value.type = *type;
        text.remove_prefix(close + 2);
    } else {
        return std::nullopt;
    }
    auto bytes = ParseHexBytes(text);
    if (!bytes) {
        return std::nullopt;
    }
    value.data = std::move(*bytes);
    if (value.type == REG_SZ) {
        EndAtZero(value.data);
    }
    return value;
}

std::optional<RegistryKeyPath> ParseSection(std::string_view line) {
    if (line.size() < 2 || line.back() != ']') {
        return std::nullopt;
    }
    const std::string_view name = Trim(line.substr(1, line.size() - 2));
    if (!StartsWithIgnoringCase(name, kRegistryRootName) ||
        (name.size() > kRegistryRootName.size() && name[kRegistryRootName.size()] != '\\')) {
        return std::nullopt;
    }
    std::optional<RegistryKeyPath> path =
        ParseRegistryKeyPath(name.substr(kRegistryRootName.size()));
    if (!path) {
        return std::nullopt;
    }
    // Blanks around a key's name are taken as typing slips, as around the
    // whole name: a line cannot keep them, since each line is read trimmed, so
    // a key "Porthold " would be saved as one its own save reads as "Porthold".
    RegistryKeyPath trimmed;
    for (const std::string& key : *path) {
        if (const std::string_view kept = Trim(key); !kept.empty()) {
            trimmed.emplace_back(kept);
        }
    }
    return trimmed;
}

std::string Quote(std::string_view text) {
    std::string quoted = "\"";
    for (const char character : text) {
        if (character == '\\' || character == '"') {
            quoted += '\\';
        }
        quoted += character;
    }
    return quoted + '"';
}

// Whether the text survives as a quoted string: no line breaks or other control
// bytes, which a text editor would mangle or the line reader would split.
bool IsQuotable(std::string_view text) {
    return IsValidRegistryName(text);
}

std::string FormatHex(std::string line, std::string_view bytes) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string result;
    for (std::size_t index = 0; index < bytes.size(); ++index) {
        const auto byte = static_cast<unsigned char>(bytes[index]);
        line += kDigits[byte >> 4];
        line += kDigits[byte & 0x0F];
        if (index + 1 < bytes.size()) {
            line += ',';
            if (line.size() > kHexLineWidth) {
                result += line + "\\\n";
                line = "  ";
            }
        }
    }
    return result + line;
}

std::string FormatValue(const RegistryValue& value) {
    std::string line = value.name.empty() ? "@=" : Quote(value.name) + "=";
    if (value.type == REG_SZ && IsQuotable(value.data)) {
        return line + Quote(value.data);
    }
    if (value.type == REG_SZ) {
        return FormatHex(line + "hex(1):", value.data + '\0');
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        std::uint32_t number = 0;
        for (int index = 3; index >= 0; --index) {
            number = (number << 8) | static_cast<unsigned char>(value.data[index]);
        }
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(number));
        return line + "dword:" + digits;
    }
    if (value.type == kBinaryType) {
        return FormatHex(line + "hex:", value.data);
    }
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
    return FormatHex(line + prefix, value.data);
}

}  // namespace

RegistryDocument ParseRegistryText(std::string_view text) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark)) {
        text.remove_prefix(kByteOrderMark.size());
    }
    const std::vector<std::string_view> lines = SplitLines(text);
    RegistryDocument document;
    std::optional<RegistryKeyPath> section;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        std::string_view line = Trim(lines[index]);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            // Values after a section that cannot be read must not land in the key before it.
            section = ParseSection(line);
            if (section) {
                document.AddKey(*section);
            }
            continue;
        }
        if (!section) {
            continue;
        }
        std::optional<std::string> name;
        if (line.front() == '@') {
            name = std::string();
            line.remove_prefix(1);
        } else {
            name = TakeQuoted(line);
        }
        line = Trim(line);
        if (!name || !IsValidRegistryName(*name) || line.empty() || line.front() != '=') {
            continue;
        }
        std::string data(Trim(line.substr(1)));
        // Long hexadecimal data goes on over lines ending in a backslash. A
        // following line that does not start with a digit is not taken, so a
        // damaged value does not swallow the section or value after it.
        if (StartsWithIgnoringCase(data, "hex")) {
            while (!data.empty() && data.back() == '\\' && index + 1 < lines.size()) {
                const std::string_view next = Trim(lines[index + 1]);
                if (next.empty() || !HexDigit(next.front())) {
                    break;
                }
                data.pop_back();
                data += next;
                ++index;
            }
        }
        if (auto value = ParseData(data)) {
            value->name = std::move(*name);
            document.SetValue(*section, std::move(*value));
        }
    }
    return document;
}

std::string FormatRegistryText(const RegistryDocument& document) {
    std::string text = "REGEDIT4\n\n";
    for (const RegistryKeyEntry& key : document.Keys()) {
        text += '[';
        text += kRegistryRootName;
        for (const std::string& name : key.path) {
            text += '\\';
            text += name;
        }
        text += "]\n";
        for (const RegistryValue& value : key.values) {
            text += FormatValue(value);
            text += '\n';
        }
        text += '\n';
    }
    return text;
}

}  // namespace porthold::platform
