#include "service/sip_line_settings.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string_view>

namespace porthold::service {
namespace {

// Longer values than these are typing mistakes or attempts to make the
// program allocate, never real addresses, names or paths.
constexpr std::size_t kLongestUri = 256;
constexpr std::size_t kLongestUser = 64;
constexpr std::size_t kLongestPath = 4096;
constexpr std::size_t kLongestPcmName = 64;

bool IsDigit(char character) {
    return character >= '0' && character <= '9';
}

bool IsAllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char character) {
        return static_cast<unsigned char>(character) < 0x20 || character == 0x7f;
    });
}

std::optional<std::uint16_t> ParsePort(std::string_view text) {
    if (!IsAllDigits(text) || text.size() > 5) {
        return std::nullopt;
    }
    const unsigned long port = std::stoul(std::string(text));
    if (port < 1 || port > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(port);
}

std::optional<SipListenAddress> ParseListenAddress(std::string_view value) {
    SipListenAddress address;
    std::string_view host;
    std::size_t portStart = 0;
    if (value.starts_with('[')) {
        const std::size_t close = value.find("]:");
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        host = value.substr(1, close - 1);
        portStart = close + 2;
        address.family = AddressFamily::IPv6;
    } else {
        const std::size_t colon = value.find(':');
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        host = value.substr(0, colon);
        portStart = colon + 1;
    }
    address.host = std::string(host);
    std::array<unsigned char, 16> parsed{};
    const int family = address.family == AddressFamily::IPv6 ? AF_INET6 : AF_INET;
    const std::optional<std::uint16_t> port = ParsePort(value.substr(portStart));
    if (!port || ::inet_pton(family, address.host.c_str(), parsed.data()) != 1) {
        return std::nullopt;
    }
    address.port = *port;
    return address;
}

// A registrar names a domain; RFC 3261 forbids a user part in its URI, and a
// user part could only carry a password into a file that others may read.
bool IsRegistrarUri(std::string_view value) {
    std::string scheme(value.substr(0, value.find(':') + 1));
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](char character) { return static_cast<char>(std::tolower(character)); });
    return (scheme == "sip:" || scheme == "sips:") && value.size() > scheme.size() &&
           value.size() <= kLongestUri && value.find('@') == std::string_view::npos;
}

bool IsHexDigit(char character) {
    return IsDigit(character) || (character >= 'a' && character <= 'f') ||
           (character >= 'A' && character <= 'F');
}

// The characters RFC 3261 allows in the user part of a URI; anything else
// ('#' and '@' among them) is written as a %-escape.
bool IsUserPart(std::string_view value) {
    if (value.empty() || value.size() > kLongestUser) {
        return false;
    }
    constexpr std::string_view kMarks = "-_.!~*'()&=+$,;?/";
    for (std::size_t index = 0; index < value.size(); ++index) {
        const char character = value[index];
        if (character == '%') {
            if (index + 2 >= value.size() || !IsHexDigit(value[index + 1]) ||
                !IsHexDigit(value[index + 2])) {
                return false;
            }
            index += 2;
        } else if (!std::isalnum(static_cast<unsigned char>(character)) &&
                   kMarks.find(character) == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> ResolvePath(std::string_view value, const SipPathBase& paths,
                                       std::string& problem) {
    problem = "password-file= needs a path";
    if (value.empty() || value.size() > kLongestPath) {
        return std::nullopt;
    }
    if (value.front() == '/') {
        return std::string(value);
    }
    if (value.front() != '~') {
        const std::string& folder = paths.configurationFolder;
        return folder + (folder.ends_with('/') ? "" : "/") + std::string(value);
    }
    if (!value.starts_with("~/")) {
        problem = "password-file= may start with \"~/\" only, not another user's folder";
        return std::nullopt;
    }
    if (!paths.home || paths.home->empty() || paths.home->front() != '/') {
        problem = "password-file= starts with \"~/\" but HOME is not an absolute path";
        return std::nullopt;
    }
    std::string home = *paths.home;
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return (home == "/" ? "" : home) + std::string(value.substr(1));
}

// ALSA PCM names such as "default", "plughw:1,0" or "pulse"; anything
// unprintable could only garble the log lines that name the card.
bool IsPcmName(std::string_view value) {
    return !value.empty() && value.size() <= kLongestPcmName &&
           std::all_of(value.begin(), value.end(),
                       [](char character) { return character > ' ' && character < 0x7f; });
}

// Whole seconds with up to three decimals, so that the interval is a whole
// number of milliseconds.
std::optional<std::chrono::milliseconds> ParseRingInterval(std::string_view value) {
    const std::size_t point = value.find('.');
    const std::string_view whole = value.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : value.substr(point + 1);
    if (!IsAllDigits(whole) || whole.size() > 2 ||
        (point != std::string_view::npos && (!IsAllDigits(fraction) || fraction.size() > 3))) {
        return std::nullopt;
    }
    const std::string padded = std::string(fraction) + "000";
    const long milliseconds = std::stol(std::string(whole)) * 1000 + std::stol(padded.substr(0, 3));
    if (milliseconds < 1000 || milliseconds > 60000) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(milliseconds);
}

std::optional<std::string> ApplyOption(std::string_view key, std::string_view value,
                                       const SipPathBase& paths, SipLineSettings& settings) {
    if (key == "listen") {
        const std::optional<SipListenAddress> address = ParseListenAddress(value);
        if (!address) {
            return "listen= needs <IPv4 address>:<port> or [<IPv6 address>]:<port>, "
                   "the port 1 to 65535";
        }
        settings.listen = *address;
    } else if (key == "registrar") {
        if (!IsRegistrarUri(value)) {
            return "registrar= needs a sip: or sips: URI without a user part";
        }
        settings.registrar = std::string(value);
    } else if (key == "user") {
        if (!IsUserPart(value)) {
            return "user= needs the user part of a SIP URI (letters, digits, -_.!~*'()&=+$,;?/ "
                   "and %-escapes)";
        }
        settings.user = std::string(value);
    } else if (key == "password-file") {
        std::string problem;
        const std::optional<std::string> path = ResolvePath(value, paths, problem);
        if (!path) {
            return problem;
        }
        settings.passwordFile = *path;
    } else if (key == "ring-every") {
        const std::optional<std::chrono::milliseconds> interval = ParseRingInterval(value);
        if (!interval) {
            return "ring-every= needs 1 to 60 seconds";
        }
        settings.ringEvery = *interval;
    } else if (key == "sound-card") {
        if (!IsPcmName(value)) {
            return "sound-card= needs an ALSA PCM name of up to 64 printable characters without "
                   "spaces";
        }
        settings.soundCard = std::string(value);
    } else {
        return "unknown option \"" + std::string(key) + "\"";
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ParseSipOptions(std::span<const std::string> options,
                                           const SipPathBase& paths, SipLineSettings& settings) {
    std::set<std::string, std::less<>> given;
    for (const std::string& option : options) {
        const std::size_t equals = option.find('=');
        if (equals == std::string::npos) {
            return "an option of a SIP line is written key=value";
        }
        if (HasControlCharacter(option)) {
            return "an option holds a control character";
        }
        const std::string key = option.substr(0, equals);
        if (!given.insert(key).second) {
            return "option \"" + key + "\" is given twice";
        }
        if (auto problem =
                ApplyOption(key, std::string_view(option).substr(equals + 1), paths, settings)) {
            return problem;
        }
    }
    if (!settings.registrar.empty() && (settings.user.empty() || settings.passwordFile.empty())) {
        return "a line with a registrar needs user= and password-file=";
    }
    return std::nullopt;
}

namespace {

// Opens the password file only when it is private to the user; -1, with the
// reason in `problem`, otherwise. O_NOFOLLOW refuses a link in the file's
// place, O_NONBLOCK keeps a named pipe from stopping the service, and the
// checks are made on what was opened, so the file cannot be swapped between
// check and read.
int OpenPrivateFile(const std::string& path, std::string& problem) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (descriptor < 0) {
        problem = errno == ELOOP
                      ? "password file " + path + " is a symbolic link"
                      : "password file " + path + " cannot be opened: " + std::strerror(errno);
        return -1;
    }
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        problem = "password file " + path + " is not a regular file";
    } else if (status.st_uid != ::geteuid()) {
        problem = "password file " + path + " belongs to another user";
    } else if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        std::array<char, 8> mode{};
        std::snprintf(mode.data(), mode.size(), "%04o", status.st_mode & 07777);
        problem = "password file " + path + " has mode " + mode.data() +
                  ", so others may read or change it; make it 0600";
    } else {
        return descriptor;
    }
    ::close(descriptor);
    return -1;
}

}  // namespace

std::optional<std::string> ReadSipPassword(const std::string& path, std::string& problem) {
    const int descriptor = OpenPrivateFile(path, problem);
    if (descriptor < 0) {
        return std::nullopt;
    }
    // One byte more than the longest password, to tell a long line from one
    // that fits; at most that many reads, since each returns a byte or more.
    std::array<char, kLongestSipPassword + 2> buffer{};
    std::size_t filled = 0;
    ssize_t count = 1;
    while (filled < buffer.size() && count > 0) {
        count = ::read(descriptor, buffer.data() + filled, buffer.size() - filled);
        filled += count > 0 ? static_cast<std::size_t>(count) : 0;
    }
    ::close(descriptor);
    std::string_view content(buffer.data(), filled);
    content = content.substr(0, content.find('\n'));
    if (content.ends_with('\r')) {
        content.remove_suffix(1);
    }
    std::optional<std::string> password;
    if (count < 0) {
        problem = "password file " + path + " cannot be read";
    } else if (content.size() > kLongestSipPassword) {
        problem = "password file " + path + " has a first line longer than 1024 bytes";
    } else if (content.empty() || content.find('\0') != std::string_view::npos) {
        problem = "password file " + path + " holds no password on its first line";
    } else {
        password = std::string(content);
    }
    // The buffer is on the stack; clear it so that the secret does not linger.
    ::explicit_bzero(buffer.data(), buffer.size());
    return password;
}

}  // namespace porthold::service
