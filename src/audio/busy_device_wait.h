#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace porthold::audio {

// Paces the retries of a device open that answers MMSYSERR_ALLOCATED.
//
// While this program still holds a sound or a recording that may be what
// keeps the device, the wait has no bound: the sound ends by itself (a
// message played during remote retrieval can last two minutes). Once the
// program holds nothing and the device still answers allocated, another
// program has it, and the wait gives up after kForeignHoldLimitMilliseconds.
class BusyDeviceWait {
public:
    // Short, so that a prompt follows the one before it without a gap the
    // caller could hear; the main thread has nothing else to do meanwhile.
    static constexpr std::uint32_t kPollMilliseconds = 1;
    static constexpr std::uint32_t kForeignHoldLimitMilliseconds = 5000;

    explicit BusyDeviceWait(platform::Clock& clock);

    enum class Holder { ThisProgram, Unknown };

    // Called after a failed attempt: pauses and returns true to try again, or
    // returns false to give up.
    bool PauseBeforeRetry(Holder holder);

private:
    platform::Clock& clock_;
    std::uint32_t lastHeldTick_;
};

}  // namespace porthold::audio
