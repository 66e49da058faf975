#include "store/message_list.h"

#include <algorithm>
#include <cctype>
#include <new>
#include <optional>
#include <utility>

#include "platform/files.h"
#include "store/list_file.h"

namespace porthold::store {

namespace {

// The part of a path that names the message: from eight characters before the
// last ".wav" to the end, which skips the folder whatever it is. Paths with
// fewer than eight characters before ".wav" are not made by the program; for
// them the key is the whole path, so such a name still matches only itself
// rather than every path that ends in the same few characters.
std::optional<std::string_view> FileKey(std::string_view path) {
    constexpr std::size_t kNameLength = 8;  // "m" and seven digits
    const std::size_t extension = path.rfind(".wav");
    if (extension == std::string_view::npos) {
        return std::nullopt;
    }
    return path.substr(extension >= kNameLength ? extension - kNameLength : 0);
}

// The fourth line of a record: a number after optional white space, the rest
// of the line ignored. Only 0 means heard; anything else, a damaged or missing
// line included, keeps the message new so the user still gets to hear it.
bool ParseIsNew(std::string_view line) {
    std::size_t position = 0;
    while (position < line.size() && std::isspace(static_cast<unsigned char>(line[position]))) {
        ++position;
    }
    if (position < line.size() && (line[position] == '+' || line[position] == '-')) {
        ++position;
    }
    const std::size_t digitsStart = position;
    bool onlyZeros = true;
    while (position < line.size() && std::isdigit(static_cast<unsigned char>(line[position]))) {
        onlyZeros = onlyZeros && line[position] == '0';
        ++position;
    }
    const bool hasDigits = position > digitsStart;
    return !(hasDigits && onlyZeros);
}

std::optional<std::vector<MessageRecord>> ReadMessageFile(const std::string& path) {
    return ReadListFile<MessageRecord>(path, [](std::string messagePath, LineReader& reader) {
        MessageRecord record;
        record.path = std::move(messagePath);
        record.pin = reader.ReadLine().text;
        record.dateTime = reader.ReadLine().text;
        record.isNew = ParseIsNew(reader.ReadLine().text);
        return record;
    });
}

}  // namespace

MessageList::MessageList(std::string messagesFolder)
    : listPath_(std::move(messagesFolder) + "messages.lst") {}

bool MessageList::AddNode(const std::string& path, const std::string& pin,
                          const std::string& dateTime, MessageStatus status) {
    try {
        records_.push_back(MessageRecord{status == MessageStatus::New, path, pin, dateTime});
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool MessageList::DeleteNode(std::string_view path) {
    const auto found = FindByFileName(path);
    if (found == records_.end()) {
        return false;
    }
    records_.erase(found);
    return true;
}

bool MessageList::MarkHeard(std::string_view path) {
    const auto found = FindByFileName(path);
    if (found == records_.end()) {
        return false;
    }
    found->isNew = false;
    return true;
}

bool MessageList::GetPath(int index, std::string& path) const {
    if (index < 0 || index >= NodeCount()) {
        return false;
    }
    path = records_[static_cast<std::size_t>(index)].path;
    return true;
}

int MessageList::NodeCount() const {
    return static_cast<int>(records_.size());
}

bool MessageList::GetNode(int index, std::string& path, std::string& pin, std::string& dateTime,
                          bool& isNew) const {
    if (index < 0 || index >= NodeCount()) {
        return false;
    }
    const MessageRecord& record = records_[static_cast<std::size_t>(index)];
    path = record.path;
    pin = record.pin;
    dateTime = record.dateTime;
    isNew = record.isNew;
    return true;
}

int MessageList::CountNew() const {
    return static_cast<int>(std::ranges::count(records_, true, &MessageRecord::isNew));
}

bool MessageList::LoadList() {
    std::optional<std::vector<MessageRecord>> records = ReadMessageFile(listPath_);
    if (!records) {
        return false;
    }
    records_ = std::move(*records);
    return true;
}

bool MessageList::SaveList() const {
    const std::optional<std::string> contents =
        FormatListFile(records_, [](std::string& text, const MessageRecord& record) {
            AppendLine(text, record.path);
            AppendLine(text, record.pin);
            AppendLine(text, record.dateTime);
            AppendLine(text, record.isNew ? "1" : "0");
        });
    return contents && WriteListFile(listPath_, *contents);
}

void MessageList::ClearList() {
    records_.clear();
}

MessageList::Records::iterator MessageList::FindByFileName(std::string_view path) {
    const std::optional<std::string_view> wanted = FileKey(path);
    if (!wanted) {
        return records_.end();
    }
    // A record whose path holds no ".wav" (a hand-edited file) matches nothing
    // but must not hide the records after it.
    return std::ranges::find_if(
        records_, [&](const MessageRecord& record) { return FileKey(record.path) == wanted; });
}

}  // namespace porthold::store
