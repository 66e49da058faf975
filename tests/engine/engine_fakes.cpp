#include "engine_fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "telephony/incoming_call_notification.h"
#include "telephony/pick_up_prompt.h"

namespace porthold::telephony::testing {

// ---------------------------------------------------------------------------
// RecordingTapi

LONG RecordingTapi::lineAnswer(HCALL call, LPCSTR userUserInfo, DWORD size) {
    calls.push_back("lineAnswer");
    return service_.lineAnswer(call, userUserInfo, size);
}

LONG RecordingTapi::lineClose(HLINE line) {
    calls.push_back("lineClose");
    return service_.lineClose(line);
}

LONG RecordingTapi::lineDeallocateCall(HCALL call) {
    calls.push_back("lineDeallocateCall");
    return service_.lineDeallocateCall(call);
}

LONG RecordingTapi::lineDrop(HCALL call, LPCSTR userUserInfo, DWORD size) {
    calls.push_back("lineDrop");
    return service_.lineDrop(call, userUserInfo, size);
}

LONG RecordingTapi::lineGetDevCapsW(HLINEAPP lineApp, DWORD deviceId, DWORD apiVersion,
                                    DWORD extensionVersion, LINEDEVCAPS* capabilities) {
    return service_.lineGetDevCapsW(lineApp, deviceId, apiVersion, extensionVersion, capabilities);
}

LONG RecordingTapi::lineGetIDA(HLINE line, DWORD addressId, HCALL call, DWORD select,
                               VARSTRING* deviceId, LPCSTR deviceClass) {
    return service_.lineGetIDA(line, addressId, call, select, deviceId, deviceClass);
}

LONG RecordingTapi::lineGetLineDevStatus(HLINE line, LINEDEVSTATUS* status) {
    if (lineDevStatusResult) {
        return *lineDevStatusResult;
    }
    return service_.lineGetLineDevStatus(line, status);
}

LONG RecordingTapi::lineGetMessage(HLINEAPP lineApp, LINEMESSAGE* message, DWORD timeout) {
    if (!injected.empty()) {
        *message = injected.front();
        injected.pop_front();
        return 0;
    }
    const LONG result = service_.lineGetMessage(lineApp, message, timeout);
    if (result == 0 && message->dwMessageID == LINE_REPLY) {
        calls.push_back("LINE_REPLY");
    }
    return result;
}

LONG RecordingTapi::lineInitializeExW(HLINEAPP* lineApp, HINSTANCE instance, LINECALLBACK callback,
                                      LPCWSTR applicationName, DWORD* deviceCount,
                                      DWORD* apiVersion, LINEINITIALIZEEXPARAMS* parameters) {
    return service_.lineInitializeExW(lineApp, instance, callback, applicationName, deviceCount,
                                      apiVersion, parameters);
}

LONG RecordingTapi::lineMonitorDigits(HCALL call, DWORD digitModes) {
    calls.push_back("lineMonitorDigits " + std::to_string(digitModes));
    if (monitorDigitsResult) {
        return *monitorDigitsResult;
    }
    return service_.lineMonitorDigits(call, digitModes);
}

LONG RecordingTapi::lineNegotiateAPIVersion(HLINEAPP lineApp, DWORD deviceId, DWORD lowVersion,
                                            DWORD highVersion, DWORD* apiVersion,
                                            LINEEXTENSIONID* extensionId) {
    return service_.lineNegotiateAPIVersion(lineApp, deviceId, lowVersion, highVersion, apiVersion,
                                            extensionId);
}

LONG RecordingTapi::lineOpenW(HLINEAPP lineApp, DWORD deviceId, HLINE* line, DWORD apiVersion,
                              DWORD extensionVersion, DWORD_PTR callbackInstance, DWORD privileges,
                              DWORD mediaModes, LINECALLPARAMS* callParameters) {
    return service_.lineOpenW(lineApp, deviceId, line, apiVersion, extensionVersion,
                              callbackInstance, privileges, mediaModes, callParameters);
}

LONG RecordingTapi::lineSetStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates) {
    return service_.lineSetStatusMessages(line, lineStates, addressStates);
}

LONG RecordingTapi::lineShutdown(HLINEAPP lineApp) {
    calls.push_back("lineShutdown");
    return service_.lineShutdown(lineApp);
}

LONG RecordingTapi::phoneClose(HPHONE phone) {
    calls.push_back("phoneClose");
    return service_.phoneClose(phone);
}

LONG RecordingTapi::phoneGetDevCapsA(HPHONEAPP phoneApp, DWORD deviceId, DWORD apiVersion,
                                     DWORD extensionVersion, PHONECAPS* capabilities) {
    return service_.phoneGetDevCapsA(phoneApp, deviceId, apiVersion, extensionVersion,
                                     capabilities);
}

LONG RecordingTapi::phoneInitializeExA(HPHONEAPP* phoneApp, HINSTANCE instance,
                                       PHONECALLBACK callback, LPCSTR applicationName,
                                       DWORD* deviceCount, DWORD* apiVersion,
                                       PHONEINITIALIZEEXPARAMS* parameters) {
    return service_.phoneInitializeExA(phoneApp, instance, callback, applicationName, deviceCount,
                                       apiVersion, parameters);
}

LONG RecordingTapi::phoneNegotiateAPIVersion(HPHONEAPP phoneApp, DWORD deviceId, DWORD lowVersion,
                                             DWORD highVersion, DWORD* apiVersion,
                                             PHONEEXTENSIONID* extensionId) {
    return service_.phoneNegotiateAPIVersion(phoneApp, deviceId, lowVersion, highVersion,
                                             apiVersion, extensionId);
}

LONG RecordingTapi::phoneOpen(HPHONEAPP phoneApp, DWORD deviceId, HPHONE* phone, DWORD apiVersion,
                              DWORD extensionVersion, DWORD_PTR callbackInstance, DWORD privilege) {
    return service_.phoneOpen(phoneApp, deviceId, phone, apiVersion, extensionVersion,
                              callbackInstance, privilege);
}

LONG RecordingTapi::phoneSetStatusMessages(HPHONE phone, DWORD phoneStates, DWORD buttonModes,
                                           DWORD buttonStates) {
    return service_.phoneSetStatusMessages(phone, phoneStates, buttonModes, buttonStates);
}

LONG RecordingTapi::phoneShutdown(HPHONEAPP phoneApp) {
    calls.push_back("phoneShutdown");
    return service_.phoneShutdown(phoneApp);
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
    EXPECT_TRUE(finished) << "the notification never closed";
    record.closeTick = clock_.TickCount();
    record.result = notification.Result();
    record.repeatCount = notification.RepeatCount();
    record.request.callerKeyed = nullptr;
    shown.push_back(record);
    return notification.Result();
}

void VirtualDialogs::RunPickUp() {
    Shown record{"pick-up", clock_.TickCount(), 0, PickUpPrompt::kResult, {}, 0};
    PickUpPrompt prompt(clock_);
    prompt.Start();
    EXPECT_TRUE(clock_.AdvanceUntil([&] { return prompt.IsFinished(); }, kModalLimitMilliseconds));
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
    // Actions run in the order of their moments; one may schedule no other.
    while (!actions_.empty() && static_cast<std::int32_t>(tickCount - actions_.front().tick) >= 0) {
        const std::function<void()> action = std::move(actions_.front().action);
        actions_.erase(actions_.begin());
        action();
    }
}

}  // namespace porthold::telephony::testing
