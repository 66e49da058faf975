#include "telephony/message_files.h"

#include <algorithm>
#include <vector>

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

std::optional<int> MessageFileNumber(std::string_view path) {
    constexpr std::string_view kPrefix = "m";
    constexpr std::string_view kExtension = ".wav";
    const std::size_t nameStart = path.rfind('/') + 1;  // 0 without a folder
    const std::string_view name = path.substr(nameStart);
    if (name.size() != kPrefix.size() + kNumberDigits + kExtension.size() ||
        !name.starts_with(kPrefix) || !name.ends_with(kExtension)) {
        return std::nullopt;
    }
    int number = 0;
    for (const char digit : name.substr(kPrefix.size(), kNumberDigits)) {
        if (digit < '0' || digit > '9') {
            return std::nullopt;
        }
        number = number * 10 + (digit - '0');
    }
    return number;
}

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

namespace {

// The numbers of the listed messages, in order. A listed name of another form
// can never be a new message's.
std::vector<int> ListedMessageNumbers(const store::MessageList& messages) {
    std::vector<int> numbers;
    numbers.reserve(static_cast<std::size_t>(messages.NodeCount()));
    std::string path;
    for (int index = 0; index < messages.NodeCount(); ++index) {
        if (messages.GetPath(index, path)) {
            if (const std::optional<int> number = MessageFileNumber(path)) {
                numbers.push_back(*number);
            }
        }
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

}  // namespace

std::optional<std::string> FirstFreeMessageFile(const std::string& messagesFolder,
                                                const store::MessageList& messages,
                                                const MessageFileProbe& exists) {
    const std::vector<int> listed = ListedMessageNumbers(messages);
    return FirstFreeMessageFile(messagesFolder, [&](const std::string& candidate) {
        const std::optional<int> number = MessageFileNumber(candidate);
        return (number && std::binary_search(listed.begin(), listed.end(), *number)) ||
               exists(candidate);
    });
}

}  // namespace porthold::telephony
