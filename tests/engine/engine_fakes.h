#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "audio/wave_player.h"
#include "platform/message_boxes.h"
#include "platform/virtual_clock.h"
#include "service/telephony_service.h"
#include "support/forwarding_tapi.h"
#include "telephony/engine_dialogs.h"
#include "telephony/incoming_call_notification.h"
#include "telephony/line_event_watch.h"
#include "telephony/main_controls.h"
#include "telephony/tapi_interface.h"

namespace porthold::telephony::testing {

// The service as the engine sees it, with a record of the requests that
// matter to a call's order ("lineDrop", "LINE_REPLY" when a reply is taken,
// "lineMonitorDigits 0"...), failures on request, and messages slipped in
// ahead of the service's own queue.
class RecordingTapi final : public porthold::testing::ForwardingTapi {
public:
    explicit RecordingTapi(service::TelephonyService& service) : ForwardingTapi(service) {}

    std::vector<std::string> calls;
    // When set, the request answers this instead of reaching the service.
    std::optional<LONG> lineDevStatusResult;
    std::optional<LONG> monitorDigitsResult;
    std::optional<LONG> hookSwitchResult;
    // Handed out by lineGetMessage before anything the service has queued.
    std::deque<LINEMESSAGE> injected;

    LONG lineGetLineDevStatus(HLINE line, LINEDEVSTATUS* status) override;
    LONG lineGetMessage(HLINEAPP lineApp, LINEMESSAGE* message, DWORD timeout) override;
    LONG lineMonitorDigits(HCALL call, DWORD digitModes) override;
    LONG phoneSetHookSwitch(HPHONE phone, DWORD hookSwitchDevices, DWORD mode) override;

private:
    void Forwarded(std::string_view operation, LONG result) override;
};

// The main window's buttons and menu, as a record of what was done to them.
class RecordingMainControls final : public MainControls {
public:
    void LockMainControls() override { events.push_back("lock"); }
    void UnlockMainControls() override { events.push_back("unlock"); }
    void SetMessagesLook(int bitmap, std::string_view caption) override {
        events.push_back("look " + std::to_string(bitmap) + " " + std::string(caption));
    }

    std::vector<std::string> events;
};

// Message boxes that are modal as the desktop's are: while one shows, the
// test may run the clock (and with it the engine's tick) beneath it. The
// answers come from `answers`.
class ModalMessageBoxes final : public platform::MessageBoxes {
public:
    explicit ModalMessageBoxes(platform::MessageBoxes& answers) : answers_(answers) {}

    platform::MessageBoxAnswer Show(std::string_view text, std::string_view caption,
                                    platform::MessageBoxButtons buttons,
                                    platform::MessageBoxIcon icon) override {
        if (whileShown) {
            whileShown();
        }
        return answers_.Show(text, caption, buttons, icon);
    }

    std::function<void()> whileShown;

private:
    platform::MessageBoxes& answers_;
};

// The engine's dialogs run as the desktop application runs them, in virtual
// time: the logic object is started and the clock advanced until it has
// finished, the engine's tick running on beneath. The user may press a button
// at a chosen moment.
class VirtualDialogs final : public EngineDialogs {
public:
    enum class Button { Answer, TakeMessage, Escape };
    struct Press {
        Button button;
        std::uint32_t afterMilliseconds;
    };
    struct Shown {
        std::string dialog;  // "notification", "pick-up" or "talk"
        std::uint32_t openTick = 0;
        std::uint32_t closeTick = 0;
        int result = 0;
        IncomingCallRequest request;
        int repeatCount = 0;
    };

    VirtualDialogs(platform::VirtualClock& clock, audio::WavePlayer& player)
        : clock_(clock), player_(player) {}

    int RunIncomingCall(const IncomingCallRequest& request) override;
    void CloseCallDialog() override;
    void RunPickUp() override;
    void RunTalk(const std::string& callerText) override;

    // The next notification's button, pressed once.
    std::optional<Press> press;
    // When the user hangs up in the talk window; never when unset.
    std::optional<std::uint32_t> hangUpAfterMilliseconds;
    std::vector<Shown> shown;

private:
    platform::VirtualClock& clock_;
    audio::WavePlayer& player_;
    IncomingCallNotification* notification_ = nullptr;
    bool talkEnded_ = false;
};

// Caller actions due at moments of the clock, carried out as time reaches
// them, even while the program's main thread is blocked in a wait (the way a
// real caller does not wait for the program).
class CallerSchedule final : public platform::TimeObserver {
public:
    explicit CallerSchedule(platform::VirtualClock& clock);
    ~CallerSchedule() override;
    CallerSchedule(const CallerSchedule&) = delete;
    CallerSchedule& operator=(const CallerSchedule&) = delete;

    // Runs `action` once the clock reads `tick` or later.
    void At(std::uint32_t tick, std::function<void()> action);
    bool IsEmpty() const { return actions_.empty(); }

    void OnTimeChanged(std::uint32_t tickCount) override;

private:
    struct Action {
        std::uint32_t tick;
        std::function<void()> action;
    };
    platform::VirtualClock& clock_;
    std::vector<Action> actions_;
};

// The service's event looked at every millisecond of virtual time while the
// engine rests: a resting tick wakes for a ring as it does in the program,
// whether the ring came from a scheduled caller or from the test itself.
class VirtualLineEventWatch final : public LineEventWatch, private platform::TimerHandler {
public:
    explicit VirtualLineEventWatch(platform::VirtualClock& clock) : clock_(clock) {}
    ~VirtualLineEventWatch() override { Stop(); }
    VirtualLineEventWatch(const VirtualLineEventWatch&) = delete;
    VirtualLineEventWatch& operator=(const VirtualLineEventWatch&) = delete;

    void Watch(int descriptor, std::function<void()> ready) override;
    void Stop() override;
    bool IsWatching() const { return descriptor_ >= 0; }

private:
    void OnTimer(platform::TimerId id) override;

    platform::VirtualClock& clock_;
    int descriptor_ = -1;
    std::function<void()> ready_;
};

}  // namespace porthold::telephony::testing
