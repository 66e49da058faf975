#pragma once

#include <functional>

namespace porthold::telephony {

// Wakes the engine's resting tick when the telephony service has news: it
// watches the service's event descriptor for the engine's message loop. The
// engine watches only while it rests, so a descriptor left readable during a
// call never spins the loop.
class LineEventWatch {
public:
    virtual ~LineEventWatch() = default;

    // Calls `ready` on the engine's thread whenever `descriptor` polls
    // readable, until Stop. A second Watch replaces the first.
    virtual void Watch(int descriptor, std::function<void()> ready) = 0;
    virtual void Stop() = 0;
};

}  // namespace porthold::telephony
