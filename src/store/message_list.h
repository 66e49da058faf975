#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace porthold::store {

// One recorded voice message. Text is kept byte for byte.
struct MessageRecord {
    bool isNew = true;     // not yet played in the Messages dialog
    std::string path;      // full name of the message's WAVE file, "...m0000000.wav"
    std::string pin;       // the keys the caller pressed
    std::string dateTime;  // "%m/%d/%Y %I:%M %p" local time of the recording
};

enum class MessageStatus { New, Heard };

// The messages taken, oldest first, kept in "messages.lst" in the messages
// folder. A message's number as shown to the user is its position, and
// messages are found by their WAVE file's name (see DeleteNode). The list
// writes no log lines and shows nothing; its callers decide how to report.
class MessageList {
public:
    // `messagesFolder` ends in "/".
    explicit MessageList(std::string messagesFolder);

    // Appends a record; false only when memory is exhausted (list unchanged).
    bool AddNode(const std::string& path, const std::string& pin, const std::string& dateTime,
                 MessageStatus status);

    // Removes the first record whose file name matches that of `path`: the
    // text from eight characters before the last ".wav" to the end, which is
    // "m" and seven digits and ".wav" for the names the program makes. False
    // when `path` holds no ".wav" or nothing matches.
    bool DeleteNode(std::string_view path);

    // Clears isNew on the first record matched as by DeleteNode.
    bool MarkHeard(std::string_view path);

    // The path of the record at the 0-based `index`; false (output unchanged)
    // outside the list.
    bool GetPath(int index, std::string& path) const;

    int NodeCount() const;

    // Copies the fields of the record at the 0-based `index`; outside the list
    // the outputs are left unchanged and false is returned.
    bool GetNode(int index, std::string& path, std::string& pin, std::string& dateTime,
                 bool& isNew) const;

    int CountNew() const;

    // Replaces the list with the records of "messages.lst"; false (list
    // unchanged) when it cannot be read.
    bool LoadList();

    // Writes the whole list to "messages.lst", replacing the file whole; false
    // when it could not be written, and the old file then keeps its content.
    bool SaveList() const;

    void ClearList();

private:
    using Records = std::vector<MessageRecord>;

    Records::iterator FindByFileName(std::string_view path);

    std::string listPath_;
    Records records_;
};

}  // namespace porthold::store
