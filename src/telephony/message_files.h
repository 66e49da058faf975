#pragma once

#include <functional>
#include <optional>
#include <string>

namespace porthold::telephony {

// Recorded messages are "m" followed by seven digits and ".wav"; numbers run
// from 0 to 9999998.
inline constexpr int kMessageFileNumberLimit = 9999999;

// Tells whether a message file of that full name exists.
using MessageFileProbe = std::function<bool(const std::string& path)>;

// Whether the file exists, asked the way the multimedia file services ask.
bool MessageFileExists(const std::string& path);

// The full name of the first message file in `messagesFolder` that does not
// exist, counting from 0, so the numbers of deleted messages are used again;
// none when every number up to kMessageFileNumberLimit is taken.
std::optional<std::string> FirstFreeMessageFile(const std::string& messagesFolder,
                                                const MessageFileProbe& exists);

}  // namespace porthold::telephony
