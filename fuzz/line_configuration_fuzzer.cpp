// lines.conf is written by the user, SIP and modem options included. Whatever
// it holds, every line the parser accepts must be one the service can start: a
// usable name, an absolute socket, device or password file, a ring period and
// a port speed in range.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "fuzz_support.h"
#include "platform/environment.h"
#include "service/line_configuration.h"

namespace porthold::fuzz {
namespace {

class FixedEnvironment final : public platform::ProcessEnvironment {
public:
    std::string CurrentDirectory() const override { return "/home/user"; }
    std::optional<std::string> Variable(std::string_view name) const override {
        static const std::map<std::string, std::string, std::less<>> variables = {
            {"HOME", "/home/user"}, {"XDG_RUNTIME_DIR", "/run/user/1000"}};
        const auto found = variables.find(name);
        return found == variables.end() ? std::nullopt : std::optional(found->second);
    }
};

bool IsAbsolute(const std::string& path) {
    return !path.empty() && path.front() == '/';
}

void CheckSipLine(const service::SipLineSettings& sip) {
    using std::chrono::milliseconds;
    Require(sip.ringEvery >= milliseconds(1000) && sip.ringEvery <= milliseconds(60000),
            "a SIP line rings every 1 to 60 seconds");
    Require(sip.passwordFile.empty() || IsAbsolute(sip.passwordFile),
            "a password file is found by its absolute path");
    Require(sip.registrar.empty() || (!sip.user.empty() && !sip.passwordFile.empty()),
            "a line that registers has a user and a password file");
    Require(!sip.listen.host.empty(), "a SIP line listens on an address");
}

void CheckVoiceModemLine(const service::VoiceModemSettings& modem) {
    static const std::set<std::uint32_t> speeds = {9600, 19200, 38400, 57600, 115200, 230400};
    Require(IsAbsolute(modem.device), "a modem is found by its absolute device path");
    Require(speeds.contains(modem.speed), "a modem's port runs at a standard speed");
}

}  // namespace
}  // namespace porthold::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace porthold::fuzz;
    using porthold::service::ProviderKind;
    const std::string_view text = AsText(data, size);
    const FixedEnvironment environment;
    const porthold::service::ServiceConfiguration configuration =
        porthold::service::ParseServiceConfiguration(text, "lines.conf", "/home/user/.config",
                                                     environment);
    const auto textLines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    Require(configuration.lines.size() + configuration.problems.size() <= textLines,
            "one line or one problem at most for each line of text");
    std::set<std::string> names;
    for (const porthold::service::LineConfiguration& line : configuration.lines) {
        Require(names.insert(line.name).second, "line names are unique");
        Require(!line.name.empty() && line.name.find('/') == std::string::npos,
                "a line name is usable in a file name");
        switch (line.provider) {
            case ProviderKind::Sip:
                CheckSipLine(line.sip);
                break;
            case ProviderKind::VoiceModem:
                CheckVoiceModemLine(line.modem);
                break;
            case ProviderKind::SimulatedModem:
                Require(IsAbsolute(line.socketPath),
                        "a simulated line listens on an absolute socket");
                break;
        }
    }
    return 0;
}
