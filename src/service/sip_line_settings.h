#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace porthold::service {

enum class AddressFamily { IPv4, IPv6 };

// The address of this machine on which a SIP line takes its calls.
struct SipListenAddress {
    // The address as written, without the brackets around an IPv6 address.
    std::string host = "0.0.0.0";
    AddressFamily family = AddressFamily::IPv4;
    std::uint16_t port = 5060;
};

// How a SIP line reaches its provider. The password itself is not kept here:
// the line reads it from `passwordFile` with ReadSipPassword when it starts.
struct SipLineSettings {
    SipListenAddress listen;
    // The "sip:" or "sips:" URI of the server the line registers with; empty
    // when the line only takes calls sent straight to its address.
    std::string registrar;
    // The user part the line registers and calls as.
    std::string user;
    // The absolute path of the file holding the password; empty without one.
    std::string passwordFile;
    // How often a caller hears a ring while the call waits to be answered.
    std::chrono::milliseconds ringEvery{6000};
    // The ALSA PCM of the sound card the user talks to a caller through.
    std::string soundCard = "default";
};

// What paths in a SIP entry are resolved against.
struct SipPathBase {
    // The absolute folder of the configuration file, for relative paths.
    std::string configurationFolder;
    // The user's home folder ($HOME), for paths that start with "~/".
    std::optional<std::string> home;
};

// Reads the options of an entry "line <name> sip ..." (the words after "sip")
// into `settings`:
//
//     listen=<IPv4 address>:<port> | [<IPv6 address>]:<port>  (0.0.0.0:5060)
//     registrar=<sip: or sips: URI without a user part>
//     user=<user part of a SIP URI>         (needed with a registrar)
//     password-file=<path>                  (needed with a registrar)
//     ring-every=<seconds, 1 to 60, up to three decimals>      (6)
//     sound-card=<ALSA PCM name, up to 64 printable characters, no spaces>
//                                           (default)
//
// Each option may be given once. On the first wrong option returns what is
// wrong. The text names the option but never quotes a value, since a password
// typed into the wrong place would otherwise end up in the log.
std::optional<std::string> ParseSipOptions(std::span<const std::string> options,
                                           const SipPathBase& paths, SipLineSettings& settings);

// The longest password a password file may hold.
inline constexpr std::size_t kLongestSipPassword = 1024;

// The password in a SIP line's password file: its first line, without the
// line end. The file must be a regular file, not a link, belonging to the user,
// that no one else may read or write (mode 0600 or narrower); anyone else who
// could read it would learn the password, and anyone who could write it could
// make the line log in elsewhere. None, with the reason in `problem`, when the
// file is refused or holds no usable password; the reason names the file and
// never its content.
std::optional<std::string> ReadSipPassword(const std::string& path, std::string& problem);

}  // namespace porthold::service
