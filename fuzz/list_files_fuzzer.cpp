// PIN.lst and messages.lst are the program's own files, but they sit in the
// user's folders and anything may have been made of them. Each input is read
// as both lists, looked up the way the dialogs and the engine do, saved, and
// read back: a save must keep every record as it was read.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "store/caller_pin_list.h"
#include "store/message_list.h"

namespace porthold::fuzz {
namespace {

struct CallerFields {
    std::string pin, message, sound;
    bool operator==(const CallerFields&) const = default;
};

CallerFields CallerAt(const store::CallerPinList& list, int index) {
    CallerFields fields;
    Require(list.GetNode(index, fields.pin, fields.message, fields.sound), "a listed caller reads");
    return fields;
}

void ReadCallers(std::string_view contents) {
    WriteScratchFile("PIN.lst", contents);
    store::CallerPinList list(ScratchFolder());
    if (!list.LoadList()) {
        return;
    }
    for (int index = 0; index < list.NodeCount(); ++index) {
        const CallerFields fields = CallerAt(list, index);
        std::string message, sound;
        Require(list.FindPin(fields.pin, message, sound), "every listed PIN is found");
        Require(!list.IsPinFree(fields.pin), "a listed PIN is taken");
    }
    Require(list.SaveList(), "the callers save");
    store::CallerPinList reread(ScratchFolder());
    Require(reread.LoadList() && reread.NodeCount() == list.NodeCount(),
            "the saved callers read back");
    for (int index = 0; index < list.NodeCount(); ++index) {
        Require(CallerAt(reread, index) == CallerAt(list, index), "a saved caller is kept");
    }
}

struct MessageFields {
    std::string path, pin, dateTime;
    bool isNew = false;
    bool operator==(const MessageFields&) const = default;
};

MessageFields MessageAt(const store::MessageList& list, int index) {
    MessageFields fields;
    Require(list.GetNode(index, fields.path, fields.pin, fields.dateTime, fields.isNew),
            "a listed message reads");
    return fields;
}

void ReadMessages(std::string_view contents) {
    WriteScratchFile("messages.lst", contents);
    store::MessageList list(ScratchFolder());
    if (!list.LoadList()) {
        return;
    }
    Require(list.CountNew() <= list.NodeCount(), "no more new messages than messages");
    Require(list.SaveList(), "the messages save");
    store::MessageList reread(ScratchFolder());
    Require(reread.LoadList() && reread.NodeCount() == list.NodeCount(),
            "the saved messages read back");
    for (int index = 0; index < list.NodeCount(); ++index) {
        Require(MessageAt(reread, index) == MessageAt(list, index), "a saved message is kept");
    }
    // Marking and deleting by file name, as the Messages dialog does, until
    // the list is empty or a name no longer matches anything.
    for (int index = list.NodeCount() - 1; index >= 0; --index) {
        const MessageFields fields = MessageAt(list, index);
        const int before = list.NodeCount();
        list.MarkHeard(fields.path);
        if (list.DeleteNode(fields.path)) {
            Require(list.NodeCount() == before - 1, "a deleted message is gone");
        }
    }
}

}  // namespace
}  // namespace porthold::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace porthold::fuzz;
    ReadCallers(AsText(data, size));
    ReadMessages(AsText(data, size));
    return 0;
}
