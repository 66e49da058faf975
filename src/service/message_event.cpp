#include "service/message_event.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

namespace porthold::service {
namespace {

// Descriptors 0 to 2 are the standard streams, which a program started with
// them closed hands out first; an application must never mistake one for its
// event, nor the event for "none".
constexpr int kLowestDescriptor = 3;

int MakeDescriptor() {
    const int made = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (made < 0 || made >= kLowestDescriptor) {
        return made;
    }
    const int moved = ::fcntl(made, F_DUPFD_CLOEXEC, kLowestDescriptor);
    ::close(made);
    return moved;
}

}  // namespace

MessageEvent::MessageEvent() : descriptor_(MakeDescriptor()) {}

MessageEvent::~MessageEvent() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

MessageEvent::MessageEvent(MessageEvent&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), set_(std::exchange(other.set_, false)) {}

// Only the change from clear to set is written, so a flood of messages costs
// one system call, not one each.
void MessageEvent::Set() {
    if (descriptor_ < 0 || set_) {
        return;
    }
    const std::uint64_t one = 1;
    set_ = ::write(descriptor_, &one, sizeof(one)) == static_cast<ssize_t>(sizeof(one));
}

void MessageEvent::Clear() {
    if (descriptor_ < 0 || !set_) {
        return;
    }
    std::uint64_t count = 0;
    // A failed read leaves nothing to clear: the descriptor was not readable.
    [[maybe_unused]] const ssize_t read = ::read(descriptor_, &count, sizeof(count));
    set_ = false;
}

}  // namespace porthold::service
