#pragma once

namespace porthold::service {

// The event handle a line application may wait on: a descriptor that polls
// readable while messages may be waiting for it. The service sets it as it
// queues a message (or as the line's state changes without one) and clears it
// when the application finds the queue empty, so a waiting application never
// sleeps through news and never spins on old news. Setting and clearing happen
// under the service's lock, in the order the queue changes.
class MessageEvent {
public:
    MessageEvent();
    ~MessageEvent();
    MessageEvent(MessageEvent&& other) noexcept;
    MessageEvent& operator=(MessageEvent&&) = delete;
    MessageEvent(const MessageEvent&) = delete;
    MessageEvent& operator=(const MessageEvent&) = delete;

    // The descriptor, never 0 to 2; 0 when none could be made, and the
    // application must then poll.
    int Descriptor() const { return descriptor_ < 0 ? 0 : descriptor_; }

    void Set();
    void Clear();

private:
    int descriptor_ = -1;
    bool set_ = false;
};

}  // namespace porthold::service
