#include "engine_fakes.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <set>
#include <string_view>
#include <utility>

#include "telephony/incoming_call_notification.h"
#include "telephony/pick_up_prompt.h"

namespace porthold::telephony::testing {

// ---------------------------------------------------------------------------
// RecordingTapi

LONG RecordingTapi::lineGetLineDevStatus(HLINE line, LINEDEVSTATUS* status) {
    if (lineDevStatusResult) {
        return *lineDevStatusResult;
    }
    return Inner().lineGetLineDevStatus(line, status);
}

LONG RecordingTapi::lineGetMessage(HLINEAPP lineApp, LINEMESSAGE* message, DWORD timeout) {
    if (!injected.empty()) {
        *message = injected.front();
        injected.pop_front();
        return 0;
    }
    const LONG result = Inner().lineGetMessage(lineApp, message, timeout);
    if (result == 0 && message->dwMessageID == LINE_REPLY) {
        calls.push_back("LINE_REPLY");
    }
    return result;
}

LONG RecordingTapi::lineMonitorDigits(HCALL call, DWORD digitModes) {
    calls.push_back("lineMonitorDigits " + std::to_string(digitModes));
    if (monitorDigitsResult) {
        return *monitorDigitsResult;
    }
    return Inner().lineMonitorDigits(call, digitModes);
}

LONG RecordingTapi::phoneSetHookSwitch(HPHONE phone, DWORD hookSwitchDevices, DWORD mode) {
    calls.push_back("phoneSetHookSwitch " + std::to_string(hookSwitchDevices) + " " +
                    std::to_string(mode));
    if (hookSwitchResult) {
        return *hookSwitchResult;
    }
    return Inner().phoneSetHookSwitch(phone, hookSwitchDevices, mode);
}

void RecordingTapi::Forwarded(std::string_view operation, LONG /*result*/) {
    // Set-up and queries are left out: the record is of what a call's
    // handling does to the line.
    static const std::set<std::string_view, std::less<>> kRecorded = {
        "lineAnswer",   "lineClose",  "lineDeallocateCall", "lineDrop",
        "lineShutdown", "phoneClose", "phoneShutdown"};
    if (kRecorded.contains(operation)) {
        calls.emplace_back(operation);
    }
}

// ---------------------------------------------------------------------------
// VirtualDialogs

namespace {

// Longer than any dialog stays open in a scenario; a dialog still open then
// is a failure.
constexpr std::uint32_t kModalLimitMilliseconds = 10 * 60 * 1000;

}  // namespace

int VirtualDialogs::RunIncomingCall(const IncomingCallRequest& request) {
    Shown record{"notification", clock_.TickCount(), 0, 0, request, 0};
    const std::optional<Press> pressNow = std::exchange(press, std::nullopt);
    IncomingCallNotification notification(request, player_, clock_);
    IncomingCallNotification* const beneath = std::exchange(notification_, &notification);
    notification.Start();
    const std::uint32_t opened = clock_.TickCount();
    const bool finished = clock_.AdvanceUntil(
        [&] {
            if (pressNow && !notification.IsFinished() &&
                clock_.TickCount() - opened >= pressNow->afterMilliseconds) {
                switch (pressNow->button) {
                    case Button::Answer:
                        notification.Answer();
                        break;
                    case Button::TakeMessage:
                        notification.TakeMessage();
                        break;
                    case Button::Escape:
                        notification.Cancel();
                        break;
                }
            }
            return notification.IsFinished();
        },
        kModalLimitMilliseconds);
    notification_ = beneath;
    EXPECT_TRUE(finished) << "the notification never closed";
    record.closeTick = clock_.TickCount();
    record.result = notification.Result();
    record.repeatCount = notification.RepeatCount();
    record.request.callerKeyed = nullptr;
    shown.push_back(record);
    return notification.Result();
}

void VirtualDialogs::CloseCallDialog() {
    if (notification_ != nullptr) {
        notification_->Cancel();
    }
    talkEnded_ = true;
}

void VirtualDialogs::RunPickUp() {
    Shown record{"pick-up", clock_.TickCount(), 0, PickUpPrompt::kResult, {}, 0};
    PickUpPrompt prompt(clock_);
    prompt.Start();
    EXPECT_TRUE(clock_.AdvanceUntil([&] { return prompt.IsFinished(); }, kModalLimitMilliseconds));
    record.closeTick = clock_.TickCount();
    shown.push_back(record);
}

void VirtualDialogs::RunTalk(const std::string& callerText) {
    Shown record{"talk", clock_.TickCount(), 0, 0, {}, 0};
    record.request.notificationText = callerText;
    talkEnded_ = false;
    const std::uint32_t opened = clock_.TickCount();
    EXPECT_TRUE(clock_.AdvanceUntil(
        [&] {
            return talkEnded_ || (hangUpAfterMilliseconds &&
                                  clock_.TickCount() - opened >= *hangUpAfterMilliseconds);
        },
        kModalLimitMilliseconds));
    record.closeTick = clock_.TickCount();
    shown.push_back(record);
}

// ---------------------------------------------------------------------------
// CallerSchedule

CallerSchedule::CallerSchedule(platform::VirtualClock& clock) : clock_(clock) {
    clock_.AddTimeObserver(*this);
}

CallerSchedule::~CallerSchedule() {
    clock_.RemoveTimeObserver(*this);
}

void CallerSchedule::At(std::uint32_t tick, std::function<void()> action) {
    actions_.push_back(Action{tick, std::move(action)});
    std::stable_sort(actions_.begin(), actions_.end(),
                     [](const Action& a, const Action& b) { return a.tick < b.tick; });
}

void CallerSchedule::OnTimeChanged(std::uint32_t tickCount) {
    // Actions run in the order of their moments. Each is taken off the list
    // before it runs, so that it may schedule others.
    while (!actions_.empty() && static_cast<std::int32_t>(tickCount - actions_.front().tick) >= 0) {
        const std::function<void()> action = std::move(actions_.front().action);
        actions_.erase(actions_.begin());
        action();
    }
}

void VirtualLineEventWatch::Watch(int descriptor, std::function<void()> ready) {
    descriptor_ = descriptor;
    ready_ = std::move(ready);
    clock_.SetTimer(*this, 0, 1);
}

void VirtualLineEventWatch::Stop() {
    if (std::exchange(descriptor_, -1) >= 0) {
        clock_.KillTimer(*this, 0);
    }
}

void VirtualLineEventWatch::OnTimer(platform::TimerId /*id*/) {
    if (descriptor_ < 0) {
        return;
    }
    pollfd watched{.fd = descriptor_, .events = POLLIN, .revents = 0};
    if (::poll(&watched, 1, 0) == 1 && (watched.revents & POLLIN) != 0) {
        ready_();
    }
}

}  // namespace porthold::telephony::testing
