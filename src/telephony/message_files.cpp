#include "telephony/message_files.h"

#include "platform/multimedia/multimedia_file.h"

namespace porthold::telephony {

namespace {

constexpr int kNumberDigits = 7;

// Adds one to the seven-digit number that ends `digitsEnd` in `name`.
void Increment(std::string& name, std::size_t digitsEnd) {
    for (std::size_t index = digitsEnd; index-- > digitsEnd - kNumberDigits;) {
        if (name[index] != '9') {
            ++name[index];
            return;
        }
        name[index] = '0';
    }
}

}  // namespace

bool MessageFileExists(const std::string& path) {
    platform::MultimediaFile file;
    return file.Open(path, platform::MMIO_EXIST) == platform::MMSYSERR_NOERROR;
}

std::optional<std::string> FirstFreeMessageFile(const std::string& messagesFolder,
                                                const MessageFileProbe& exists) {
    // The name is counted up in place: a full folder means ten million
    // probes, and formatting each name anew would dominate them.
    std::string path = messagesFolder + "m0000000.wav";
    const std::size_t digitsEnd = path.size() - 4;
    for (int number = 0; number < kMessageFileNumberLimit; ++number) {
        if (!exists(path)) {
            return path;
        }
        Increment(path, digitsEnd);
    }
    return std::nullopt;
}

}  // namespace porthold::telephony
