#include "service/modem/caller_id.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace porthold::service::modem {
namespace {

// A caller-ID line is short; a longer one is noise or an attack and is left
// to the caller untouched.
constexpr std::size_t kLongestLine = 256;
constexpr std::size_t kLongestTag = 16;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Tags are words such as NMBR or DDN_NMBR. Requiring that shape keeps lines
// like an echoed "AT+VCID=1" from being taken for caller ID.
std::optional<std::string> TagOf(std::string_view text) {
    text = Trimmed(text);
    if (text.empty() || text.size() > kLongestTag ||
        !std::isalpha(static_cast<unsigned char>(text.front()))) {
        return std::nullopt;
    }
    std::string tag;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (!std::isalnum(byte) && c != '_') {
            return std::nullopt;
        }
        tag.push_back(static_cast<char>(std::toupper(byte)));
    }
    return tag;
}

// Printable ASCII only, without blanks at either end, at most
// kLongestCallerIdText characters.
std::string CleanValue(std::string_view value) {
    std::string clean;
    for (const char c : value) {
        if (c >= ' ' && c <= '~') {
            clean.push_back(c);
        }
    }
    std::string_view kept = Trimmed(clean);
    kept = Trimmed(kept.substr(0, kLongestCallerIdText));
    return std::string(kept);
}

std::string UpperCase(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

void SetField(CallerIdField& field, std::string value) {
    if (value.empty()) {
        return;
    }
    const std::string upper = UpperCase(value);
    if (upper == "P" || upper == "PRIVATE") {
        field = {CallerIdPresence::Private, {}};
    } else if (upper == "O" || upper == "UNAVAILABLE" || upper == "OUT OF AREA") {
        field = {CallerIdPresence::Unavailable, {}};
    } else {
        field = {CallerIdPresence::Given, std::move(value)};
    }
}

}  // namespace

bool CallerIdReader::TakeLine(std::string_view line) {
    if (line.size() > kLongestLine) {
        return false;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return false;
    }
    const auto tag = TagOf(line.substr(0, equals));
    if (!tag) {
        return false;
    }
    std::string value = CleanValue(line.substr(equals + 1));
    if (*tag == "DATE") {
        current_.date = std::move(value);
    } else if (*tag == "TIME") {
        current_.time = std::move(value);
    } else if (*tag == "NMBR" || *tag == "DDN_NMBR") {
        SetField(current_.number, std::move(value));
    } else if (*tag == "NAME") {
        SetField(current_.name, std::move(value));
    }
    return true;
}

}  // namespace porthold::service::modem
