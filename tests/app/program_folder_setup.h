#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "platform/files.h"
#include "support/temporary_folder.h"

namespace porthold::app::testing {

// Prepares `folder` for a run of the real program, as the launcher would: a
// program folder seeded with the default sounds and a private runtime folder.
// Returns the environment that points every location of the program (its
// settings, lines, runtime and data) into `folder`, so that a test never
// touches the user's files.
inline std::map<std::string, std::string> PrepareProgramRun(
    const porthold::testing::TemporaryFolder& folder, const std::string& programFolder,
    const std::string& soundsFolder) {
    platform::CreateDirectory(programFolder);
    std::filesystem::copy(soundsFolder, programFolder + "sounds");
    ::mkdir(folder.File("run").c_str(), 0700);
    return {
        {"HOME", folder.Path()},
        {"PATH", "/usr/bin:/bin"},
        {"QT_QPA_PLATFORM", "offscreen"},
        {"XDG_RUNTIME_DIR", folder.File("run")},
        {"XDG_CONFIG_HOME", folder.File("config")},
        {"XDG_DATA_HOME", folder.File("data")},
        {"XDG_CACHE_HOME", folder.File("cache")},
        {"PORTHOLD_REGISTRY_FILE", folder.File("registry.reg")},
        {"PORTHOLD_LINES_FILE", folder.File("lines.conf")},
    };
}

// A port on the loopback that nothing uses at the moment, for SOCK_DGRAM or
// SOCK_STREAM.
inline std::uint16_t FreePort(int type) {
    const int probe = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address);
    const bool bound = ::bind(probe, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                       ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    ::close(probe);
    return bound ? ntohs(address.sin_port) : 0;
}

}  // namespace porthold::app::testing
