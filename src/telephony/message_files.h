#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "store/message_list.h"

namespace porthold::telephony {

// Recorded messages are "m" followed by seven digits and ".wav"; numbers run
// from 0 to 9999998.
inline constexpr int kMessageFileNumberLimit = 9999999;

// Tells whether a message file of that full name exists.
using MessageFileProbe = std::function<bool(const std::string& path)>;

// Whether the file exists, asked the way the multimedia file services ask.
bool MessageFileExists(const std::string& path);

// The number of a message file named "m", seven digits and ".wav", in any
// folder; none for any other name, which no new message is ever given.
std::optional<int> MessageFileNumber(std::string_view path);

// The full name of the first message file in `messagesFolder` that does not
// exist, counting from 0, so the numbers of deleted messages are used again;
// none when every number up to kMessageFileNumberLimit is taken.
std::optional<std::string> FirstFreeMessageFile(const std::string& messagesFolder,
                                                const MessageFileProbe& exists);

// The first free name for a new message: neither listed in `messages` (a
// listed name stays taken while its file is missing) nor on disk. Listed
// numbers are passed over without asking the disk, which keeps the search
// quick with thousands of messages.
std::optional<std::string> FirstFreeMessageFile(const std::string& messagesFolder,
                                                const store::MessageList& messages,
                                                const MessageFileProbe& exists);

}  // namespace porthold::telephony
