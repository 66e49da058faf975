#pragma once

#include <cstdint>
#include <string_view>

#include "platform/clock.h"

namespace porthold::telephony {

// The pick-up prompt shown once the user chose to answer: it tells the user to
// take the receiver and closes by itself after five seconds. Its timer is
// identifier 0 on this handler. Main thread only.
class PickUpPrompt final : public platform::TimerHandler {
public:
    static constexpr platform::TimerId kCloseTimer = 0;
    static constexpr std::uint32_t kShowMilliseconds = 5000;
    static constexpr std::string_view kText = "Pick up the receiver and begin talking...";
    // The result the prompt ends with; nobody reads it.
    static constexpr int kResult = 1;

    explicit PickUpPrompt(platform::Clock& clock);
    ~PickUpPrompt() override;
    PickUpPrompt(const PickUpPrompt&) = delete;
    PickUpPrompt& operator=(const PickUpPrompt&) = delete;

    void Start();
    void OnTimer(platform::TimerId id) override;

    bool IsFinished() const { return finished_; }

private:
    platform::Clock& clock_;
    bool finished_ = false;
};

}  // namespace porthold::telephony
