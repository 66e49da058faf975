#include "service/sip/sip_info_dtmf.h"

#include <algorithm>
#include <charconv>

#include "service/sip/telephone_event.h"

namespace porthold::service::sip {
namespace {

std::string_view Trim(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r\n";
    const auto first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

char ToUpper(char character) {
    return character >= 'a' && character <= 'z' ? static_cast<char>(character - 'a' + 'A')
                                                : character;
}

bool EqualIgnoringCase(std::string_view left, std::string_view right) {
    return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                      [](char a, char b) { return ToUpper(a) == ToUpper(b); });
}

// One key character: 0-9, *, #, or A-D in either case.
std::optional<char> KeyOfCharacter(std::string_view text) {
    if (text.size() != 1) {
        return std::nullopt;
    }
    const char key = ToUpper(text[0]);
    const bool digit = key >= '0' && key <= '9';
    const bool letter = key >= 'A' && key <= 'D';
    if (digit || letter || key == '*' || key == '#') {
        return key;
    }
    return std::nullopt;
}

}  // namespace

std::optional<char> KeyFromDtmfRelayBody(std::string_view body) {
    if (body.size() > kMaxDtmfBodyBytes) {
        return std::nullopt;
    }
    while (!body.empty()) {
        const auto lineEnd = body.find('\n');
        const std::string_view line = body.substr(0, lineEnd);
        body = lineEnd == std::string_view::npos ? std::string_view{} : body.substr(lineEnd + 1);
        const auto equals = line.find('=');
        if (equals != std::string_view::npos &&
            EqualIgnoringCase(Trim(line.substr(0, equals)), "Signal")) {
            return KeyOfCharacter(Trim(line.substr(equals + 1)));
        }
    }
    return std::nullopt;
}

std::optional<char> KeyFromDtmfBody(std::string_view body) {
    if (body.size() > kMaxDtmfBodyBytes) {
        return std::nullopt;
    }
    const std::string_view text = Trim(body);
    if (text.size() == 2) {
        // Two characters can only be an event code 10-15.
        unsigned event = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), event);
        if (error != std::errc{} || end != text.data() + text.size()) {
            return std::nullopt;
        }
        return KeyOfEvent(event);
    }
    return KeyOfCharacter(text);
}

std::optional<char> KeyFromSipInfo(std::string_view contentType, std::string_view body) {
    const std::string_view mediaType = Trim(contentType.substr(0, contentType.find(';')));
    if (EqualIgnoringCase(mediaType, "application/dtmf-relay")) {
        return KeyFromDtmfRelayBody(body);
    }
    if (EqualIgnoringCase(mediaType, "application/dtmf")) {
        return KeyFromDtmfBody(body);
    }
    return std::nullopt;
}

}  // namespace porthold::service::sip
