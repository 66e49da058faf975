#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace porthold::fuzz {

// The bytes libFuzzer hands a fuzzer, as the views the parsers take.
inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Writes `contents` to the file `name` in a folder private to this process
// (mode 0700, made once with mkdtemp and removed at exit) and returns its full
// name. Every input reuses the same few names, so a long run leaves one file
// each rather than filling the disk. Aborts when the file cannot be written:
// a fuzzer that reads nothing would report clean runs while testing nothing.
std::string WriteScratchFile(std::string_view name, std::string_view contents);

// The private folder itself, ending in "/".
const std::string& ScratchFolder();

// Stops the run as a finding when a property of the parser does not hold.
void Require(bool condition, const char* what);

}  // namespace porthold::fuzz
