#include "store/caller_pin_list.h"

#include <algorithm>
#include <new>
#include <optional>
#include <utility>

#include "platform/files.h"
#include "store/list_file.h"

namespace porthold::store {

namespace {

std::optional<std::vector<CallerRecord>> ReadCallerFile(const std::string& path) {
    return ReadListFile<CallerRecord>(path, [](std::string pin, LineReader& reader) {
        CallerRecord record;
        record.pin = std::move(pin);
        record.message = reader.ReadLine().text;
        record.sound = reader.ReadLine().text;
        return record;
    });
}

}  // namespace

CallerPinList::CallerPinList(std::string programFolder)
    : listPath_(programFolder + "PIN.lst"), backupPath_(std::move(programFolder) + "PIN.bak") {}

bool CallerPinList::AddNode(const std::string& pin, const std::string& message,
                            const std::string& sound) {
    try {
        records_.push_back(CallerRecord{pin, message, sound});
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CallerPinList::UpdateNode(const std::string& oldPin, const std::string& pin,
                               const std::string& message, const std::string& sound) {
    const auto found = FindFirst(oldPin);
    if (found == records_.end()) {
        return false;
    }
    try {
        // Built whole before it replaces the old record, so running out of
        // memory cannot leave a record half-changed.
        CallerRecord replacement{pin, message, sound};
        *found = std::move(replacement);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CallerPinList::RemoveNode(const std::string& pin) {
    const auto found = FindFirst(pin);
    if (found == records_.end()) {
        return false;
    }
    records_.erase(found);
    return true;
}

bool CallerPinList::IsPinFree(const std::string& pin) const {
    return FindFirst(pin) == records_.end();
}

bool CallerPinList::FindPin(const std::string& keyedPin, std::string& message,
                            std::string& sound) const {
    const auto found = FindFirst(keyedPin);
    if (found == records_.end()) {
        return false;
    }
    message = found->message;
    sound = found->sound;
    return true;
}

int CallerPinList::NodeCount() const {
    return static_cast<int>(records_.size());
}

bool CallerPinList::GetNode(int index, std::string& pin, std::string& message,
                            std::string& sound) const {
    if (index < 0 || index >= NodeCount()) {
        return false;
    }
    const CallerRecord& record = records_[static_cast<std::size_t>(index)];
    pin = record.pin;
    message = record.message;
    sound = record.sound;
    return true;
}

bool CallerPinList::LoadList() {
    return LoadFrom(listPath_) || LoadBackup();
}

bool CallerPinList::LoadBackup() {
    return LoadFrom(backupPath_);
}

bool CallerPinList::SaveList() const {
    const std::optional<std::string> contents =
        FormatListFile(records_, [](std::string& text, const CallerRecord& record) {
            AppendLine(text, record.pin);
            AppendLine(text, record.message);
            AppendLine(text, record.sound);
        });
    if (!contents || !WriteListFile(listPath_, *contents)) {
        return false;
    }
    WriteListFile(backupPath_, *contents);
    return true;
}

void CallerPinList::ClearList() {
    records_.clear();
}

CallerPinList::Records::iterator CallerPinList::FindFirst(const std::string& pin) {
    return std::ranges::find(records_, pin, &CallerRecord::pin);
}

CallerPinList::Records::const_iterator CallerPinList::FindFirst(const std::string& pin) const {
    return std::ranges::find(records_, pin, &CallerRecord::pin);
}

bool CallerPinList::LoadFrom(const std::string& path) {
    // Read whole before anything is replaced, so a file that fails part-way
    // leaves no stray records in front of those read from the backup.
    std::optional<std::vector<CallerRecord>> records = ReadCallerFile(path);
    if (!records) {
        return false;
    }
    records_ = std::move(*records);
    return true;
}

}  // namespace porthold::store
