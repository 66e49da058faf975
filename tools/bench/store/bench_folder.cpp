#include "bench_folder.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "store/list_file.h"

namespace porthold::tools::store_bench {

namespace {

// A quarter second of 8 kHz 16-bit mono silence: a real, playable recording,
// small enough that ten thousand of them are written in moments.
constexpr std::uint32_t kSampleRate = 8000;
constexpr std::uint32_t kDataBytes = kSampleRate / 4 * 2;

void PutLittleEndian(std::string& bytes, std::uint32_t value, int size) {
    for (int index = 0; index < size; ++index) {
        bytes.push_back(static_cast<char>((value >> (8 * index)) & 0xFF));
    }
}

std::string WaveFileBytes() {
    std::string bytes = "RIFF";
    PutLittleEndian(bytes, 36 + kDataBytes, 4);
    bytes += "WAVEfmt ";
    PutLittleEndian(bytes, 16, 4);
    PutLittleEndian(bytes, 1, 2);  // PCM
    PutLittleEndian(bytes, 1, 2);  // mono
    PutLittleEndian(bytes, kSampleRate, 4);
    PutLittleEndian(bytes, kSampleRate * 2, 4);
    PutLittleEndian(bytes, 2, 2);
    PutLittleEndian(bytes, 16, 2);
    bytes += "data";
    PutLittleEndian(bytes, kDataBytes, 4);
    bytes.append(kDataBytes, '\0');
    return bytes;
}

bool WriteWhole(const std::string& path, std::string_view contents) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return false;
    }
    const bool written = ::write(descriptor, contents.data(), contents.size()) ==
                         static_cast<ssize_t>(contents.size());
    return ::close(descriptor) == 0 && written;
}

std::string MessageName(int number) {
    // Room for any int, so that no build can warn of a cut name.
    std::array<char, 32> name{};
    std::snprintf(name.data(), name.size(), "m%07d.wav", number);
    return name.data();
}

// What a caller keyed before the beep: mostly nothing or a wrong PIN, now and
// then the "#" that ends one.
std::string CallerKeys(int number) {
    switch (number % 4) {
        case 0:
            return "";
        case 1:
            return std::to_string(1000 + number % 9000);
        case 2:
            return std::to_string(20 + number % 80) + "#";
        default:
            return "#";
    }
}

// A message every few hours over the years, in the list's "%m/%d/%Y %I:%M %p".
std::string RecordedAt(int number) {
    const int day = number / 6;
    const int hour = (number * 7) % 24;
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%02d/%02d/%04d %02d:%02d %s", 1 + day / 28 % 12,
                  1 + day % 28, 2015 + day / 336, hour % 12 == 0 ? 12 : hour % 12,
                  (number * 13) % 60, hour < 12 ? "AM" : "PM");
    return text.data();
}

}  // namespace

BenchFolder::BenchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                          "/porthold-store-bench.XXXXXX";
    // mkdtemp makes the folder 0700: recordings are callers' voices.
    if (::mkdtemp(pattern.data()) == nullptr) {
        return;
    }
    root_ = pattern;
    std::error_code error;
    std::filesystem::create_directories(root_ + "/program/sounds", error);
    std::filesystem::create_directories(root_ + "/program/messages", error);
    if (!error) {
        programFolder_ = root_ + "/program/";
        messagesFolder_ = programFolder_ + "messages/";
    }
}

BenchFolder::~BenchFolder() {
    if (!root_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
}

bool WriteMessages(const std::string& messagesFolder, int count) {
    const std::string wave = WaveFileBytes();
    std::string list = store::StartListFile();
    for (int number = 0; number < count; ++number) {
        const std::string path = messagesFolder + MessageName(number);
        if (!WriteWhole(path, wave)) {
            return false;
        }
        store::AppendLine(list, path);
        store::AppendLine(list, CallerKeys(number));
        store::AppendLine(list, RecordedAt(number));
        // The newest third is still to be heard.
        store::AppendLine(list, number >= count - count / 3 ? "1" : "0");
    }
    return WriteWhole(messagesFolder + "messages.lst", list);
}

}  // namespace porthold::tools::store_bench
