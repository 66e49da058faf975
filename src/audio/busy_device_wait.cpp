#include "audio/busy_device_wait.h"

namespace porthold::audio {

BusyDeviceWait::BusyDeviceWait(platform::Clock& clock)
    : clock_(clock), lastHeldTick_(clock.TickCount()) {}

bool BusyDeviceWait::PauseBeforeRetry(Holder holder) {
    const std::uint32_t now = clock_.TickCount();
    if (holder == Holder::ThisProgram) {
        lastHeldTick_ = now;
    } else if (now - lastHeldTick_ >= kForeignHoldLimitMilliseconds) {
        return false;
    }
    clock_.Sleep(kPollMilliseconds);
    return true;
}

}  // namespace porthold::audio
