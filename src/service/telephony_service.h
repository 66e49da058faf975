#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/multimedia/wave_device_provider.h"
#include "service/line_provider.h"
#include "service/message_event.h"
#include "service/message_queue.h"
#include "telephony/tapi_interface.h"

namespace porthold::service {

using telephony::DWORD_PTR;
using telephony::HCALL;
using telephony::HINSTANCE;
using telephony::HLINE;
using telephony::HLINEAPP;
using telephony::HPHONE;
using telephony::HPHONEAPP;
using telephony::LONG;
using telephony::LPCSTR;
using telephony::LPCWSTR;

// The telephony service: the line and phone operations of the interface over
// the line devices its providers supply. Applications initialise, open lines
// and the phone devices that come with them, and learn of calls, rings, keys
// and replies through their message queues, which they poll.
//
// Thread-safe: one lock guards the whole model. An application calls it from
// its main thread and from a reply waiter; providers report the far end from
// threads of their own. Time (message visibility, key times) comes from the
// injected clock only, so the whole service runs on a virtual clock in tests.
//
// No far end can make it use unbounded memory or time: an application's
// queue is bounded (see MessageQueue), and a line whose owner's queue is full
// is busy to a new call.
class TelephonyService final : public telephony::Tapi {
public:
    // Takes one line about a problem, such as an application that reads its
    // messages too slowly.
    using ProblemLog = std::function<void(std::string_view)>;

    // The interface versions the service speaks, oldest and newest.
    static constexpr DWORD kLowestVersion = telephony::TAPI_VERSION1_0;
    static constexpr DWORD kHighestVersion = telephony::TAPI_VERSION2_1;

    explicit TelephonyService(platform::Clock& clock, ProblemLog problems = {});
    ~TelephonyService() override;
    TelephonyService(const TelephonyService&) = delete;
    TelephonyService& operator=(const TelephonyService&) = delete;

    // Adds a line device, numbered in the order of addition (and its phone
    // device, numbered among the phone devices likewise). Lines are added
    // before applications initialise.
    template <typename Provider>
    Provider& AddLine(std::unique_ptr<Provider> provider) {
        Provider& added = *provider;
        AddLineProvider(std::move(provider));
        return added;
    }

    std::size_t LineCount() const;
    // The voice channels of all lines, for the program's wave devices.
    std::vector<platform::WaveDeviceProvider*> WaveDeviceProviders() const;
    // Line and phone applications initialised and not shut down.
    std::size_t ApplicationCount() const;

    LONG lineAnswer(HCALL call, LPCSTR userUserInfo, DWORD size) override;
    LONG lineClose(HLINE line) override;
    LONG lineDeallocateCall(HCALL call) override;
    LONG lineDrop(HCALL call, LPCSTR userUserInfo, DWORD size) override;
    LONG lineGetDevCapsW(HLINEAPP lineApp, DWORD deviceId, DWORD apiVersion, DWORD extensionVersion,
                         telephony::LINEDEVCAPS* capabilities) override;
    LONG lineGetIDA(HLINE line, DWORD addressId, HCALL call, DWORD select,
                    telephony::VARSTRING* deviceId, LPCSTR deviceClass) override;
    LONG lineGetLineDevStatus(HLINE line, telephony::LINEDEVSTATUS* status) override;
    LONG lineGetMessage(HLINEAPP lineApp, telephony::LINEMESSAGE* message, DWORD timeout) override;
    LONG lineInitializeExW(HLINEAPP* lineApp, HINSTANCE instance, telephony::LINECALLBACK callback,
                           LPCWSTR applicationName, DWORD* deviceCount, DWORD* apiVersion,
                           telephony::LINEINITIALIZEEXPARAMS* parameters) override;
    LONG lineMonitorDigits(HCALL call, DWORD digitModes) override;
    LONG lineNegotiateAPIVersion(HLINEAPP lineApp, DWORD deviceId, DWORD lowVersion,
                                 DWORD highVersion, DWORD* apiVersion,
                                 telephony::LINEEXTENSIONID* extensionId) override;
    LONG lineOpenW(HLINEAPP lineApp, DWORD deviceId, HLINE* line, DWORD apiVersion,
                   DWORD extensionVersion, DWORD_PTR callbackInstance, DWORD privileges,
                   DWORD mediaModes, telephony::LINECALLPARAMS* callParameters) override;
    LONG lineSetStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates) override;
    LONG lineShutdown(HLINEAPP lineApp) override;

    LONG phoneClose(HPHONE phone) override;
    LONG phoneGetDevCapsA(HPHONEAPP phoneApp, DWORD deviceId, DWORD apiVersion,
                          DWORD extensionVersion, telephony::PHONECAPS* capabilities) override;
    LONG phoneInitializeExA(HPHONEAPP* phoneApp, HINSTANCE instance,
                            telephony::PHONECALLBACK callback, LPCSTR applicationName,
                            DWORD* deviceCount, DWORD* apiVersion,
                            telephony::PHONEINITIALIZEEXPARAMS* parameters) override;
    LONG phoneNegotiateAPIVersion(HPHONEAPP phoneApp, DWORD deviceId, DWORD lowVersion,
                                  DWORD highVersion, DWORD* apiVersion,
                                  telephony::PHONEEXTENSIONID* extensionId) override;
    LONG phoneOpen(HPHONEAPP phoneApp, DWORD deviceId, HPHONE* phone, DWORD apiVersion,
                   DWORD extensionVersion, DWORD_PTR callbackInstance, DWORD privilege) override;
    LONG phoneSetHookSwitch(HPHONE phone, DWORD hookSwitchDevices, DWORD mode) override;
    LONG phoneSetStatusMessages(HPHONE phone, DWORD phoneStates, DWORD buttonModes,
                                DWORD buttonStates) override;
    LONG phoneShutdown(HPHONEAPP phoneApp) override;

private:
    class LineEventsOfDevice;

    struct LineApplication {
        MessageQueue queue;
        MessageEvent event;
        DWORD nextRequestId = 1;
    };
    struct LineOpen {
        HLINEAPP app;
        DWORD device;
        DWORD apiVersion;
        DWORD_PTR callbackInstance;
        DWORD privileges;
        DWORD mediaModes;
        DWORD lineStates = 0;
        DWORD addressStates = 0;
    };
    struct Call {
        HLINEAPP app;
        HLINE line;
        DWORD device;
        DWORD state;
        DWORD monitoredDigitModes = 0;
        FarEndCallId farEnd;
        // The far end is still on the call.
        bool farEndOn = true;
    };
    struct LineDevice {
        std::unique_ptr<LineProvider> provider;
        std::unique_ptr<LineEventsOfDevice> events;
        // The far end's call in progress (0: none), and its handle once an
        // owner was offered it (0: not offered yet, or gone idle).
        FarEndCallId farEndCall = 0;
        HCALL call = 0;
        DWORD ringCount = 0;
        bool otherCallHeld = false;
        LineService service = LineService::InService;
    };
    struct PhoneOpen {
        HPHONEAPP app;
        DWORD device;
        DWORD privilege;
        DWORD phoneStates = 0;
    };

    void AddLineProvider(std::unique_ptr<LineProvider> provider);

    // --- Far-end events (LineEventsOfDevice), each under the lock ---
    OfferResult OnIncomingCall(DWORD device, FarEndCallId call);
    void OnRing(DWORD device, FarEndCallId call);
    void OnKeyPressed(DWORD device, FarEndCallId call, char key, KeyMode mode);
    void OnFarEndHungUp(DWORD device, FarEndCallId call);
    bool OnSetOtherCall(DWORD device, OtherCall state);
    void OnServiceChanged(DWORD device, LineService state);

    // --- Helpers; the lock is held ---
    DWORD NewHandle() { return nextHandle_++; }
    void OfferCall(DWORD device, HLINE owner);
    // The first open of the device with owner privilege, 0 when none.
    HLINE FindOwner(DWORD device) const;
    void Queue(HLINEAPP app, DWORD hDevice, DWORD messageId, DWORD_PTR callbackInstance,
               DWORD_PTR param1, DWORD_PTR param2, DWORD_PTR param3);
    void QueueCallState(const Call& call, HCALL handle, DWORD state, DWORD mode);
    // Logs the first message an application's full queue drops.
    void ReportOverflow(HLINEAPP app, MessageQueue::Overflow overflow);
    // The device stopped ringing: rings its opens have not read are stale.
    void DropWaitingRings(DWORD device);
    void QueueReply(HLINEAPP app, DWORD requestId, LONG result, ReplyDelivery delivery,
                    std::uint32_t delayMilliseconds);
    DWORD NewRequestId(HLINEAPP app);
    // Ends the call for the line: the far end is told, the call goes idle.
    void EndCallForLine(HCALL handle, Call& call);
    void CloseLineOpen(HLINE line);
    DWORD ActiveCallCount(DWORD device) const;
    // The phone device of each line, or none.
    std::optional<DWORD> PhoneDeviceOfLine(DWORD line) const;
    DWORD LineOfPhoneDevice(DWORD phone) const;
    std::size_t PhoneDeviceCount() const;

    platform::Clock& clock_;
    ProblemLog problems_;
    mutable std::mutex mutex_;
    std::vector<LineDevice> lines_;
    std::map<HLINEAPP, LineApplication> lineApps_;
    std::map<HLINE, LineOpen> lineOpens_;
    std::map<HCALL, Call> calls_;
    std::map<HPHONEAPP, DWORD> phoneApps_;
    std::map<HPHONE, PhoneOpen> phoneOpens_;
    // Handles of every kind come from one counter and are never reused, so a
    // handle of the wrong kind or a stale one is always recognised.
    DWORD nextHandle_ = 0x00010001;
};

}  // namespace porthold::service
