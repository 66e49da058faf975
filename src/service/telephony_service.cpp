#include "service/telephony_service.h"

#include <algorithm>
#include <string>
#include <utility>

#include "service/service_constants.h"
#include "service/structure_builder.h"

namespace porthold::service {

using namespace telephony;

// Passes one line's far-end events to the service, with the line's number.
class TelephonyService::LineEventsOfDevice final : public LineEvents {
public:
    LineEventsOfDevice(TelephonyService& service, DWORD device)
        : service_(service), device_(device) {}

    OfferResult IncomingCall(FarEndCallId call) override {
        return service_.OnIncomingCall(device_, call);
    }
    void Ring(FarEndCallId call) override { service_.OnRing(device_, call); }
    void KeyPressed(FarEndCallId call, char key, KeyMode mode) override {
        service_.OnKeyPressed(device_, call, key, mode);
    }
    void FarEndHungUp(FarEndCallId call) override { service_.OnFarEndHungUp(device_, call); }
    bool SetOtherCall(OtherCall state) override { return service_.OnSetOtherCall(device_, state); }
    void ServiceChanged(LineService state) override { service_.OnServiceChanged(device_, state); }

private:
    TelephonyService& service_;
    DWORD device_;
};

namespace {

bool IsSupportedVersion(DWORD version) {
    return version >= TelephonyService::kLowestVersion &&
           version <= TelephonyService::kHighestVersion;
}

// The version both sides speak, or 0 when the ranges do not meet.
DWORD NegotiatedVersion(DWORD lowVersion, DWORD highVersion) {
    if (lowVersion > highVersion || highVersion < TelephonyService::kLowestVersion ||
        lowVersion > TelephonyService::kHighestVersion) {
        return 0;
    }
    return std::min(highVersion, TelephonyService::kHighestVersion);
}

bool IsValidLinePrivilege(DWORD privileges) {
    return privileges == LINECALLPRIVILEGE_NONE || privileges == LINECALLPRIVILEGE_MONITOR ||
           privileges == LINECALLPRIVILEGE_OWNER ||
           privileges == (LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER);
}

}  // namespace

TelephonyService::TelephonyService(platform::Clock& clock, ProblemLog problems)
    : clock_(clock), problems_(std::move(problems)) {}

TelephonyService::~TelephonyService() {
    for (LineDevice& line : lines_) {
        line.provider->Attach(nullptr);
    }
}

void TelephonyService::AddLineProvider(std::unique_ptr<LineProvider> provider) {
    const std::lock_guard lock(mutex_);
    const auto device = static_cast<DWORD>(lines_.size());
    LineDevice line;
    line.provider = std::move(provider);
    line.events = std::make_unique<LineEventsOfDevice>(*this, device);
    line.provider->Attach(line.events.get());
    lines_.push_back(std::move(line));
}

std::size_t TelephonyService::LineCount() const {
    const std::lock_guard lock(mutex_);
    return lines_.size();
}

std::vector<platform::WaveDeviceProvider*> TelephonyService::WaveDeviceProviders() const {
    const std::lock_guard lock(mutex_);
    std::vector<platform::WaveDeviceProvider*> providers;
    for (const LineDevice& line : lines_) {
        providers.push_back(&line.provider->VoiceDevices());
    }
    return providers;
}

std::size_t TelephonyService::ApplicationCount() const {
    const std::lock_guard lock(mutex_);
    return lineApps_.size() + phoneApps_.size();
}

// ---------------------------------------------------------------------------
// Applications and their messages.

LONG TelephonyService::lineInitializeExW(HLINEAPP* lineApp, HINSTANCE /*instance*/,
                                         LINECALLBACK /*callback*/, LPCWSTR /*applicationName*/,
                                         DWORD* deviceCount, DWORD* apiVersion,
                                         LINEINITIALIZEEXPARAMS* parameters) {
    if (lineApp == nullptr || deviceCount == nullptr || apiVersion == nullptr ||
        parameters == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    if (TotalSizeOf(parameters) < sizeof(LINEINITIALIZEEXPARAMS)) {
        return AnswerTooSmall(parameters, sizeof(LINEINITIALIZEEXPARAMS),
                              LINEERR_STRUCTURETOOSMALL);
    }
    if (!IsSupportedVersion(*apiVersion)) {
        return LINEERR_INCOMPATIBLEAPIVERSION;
    }
    // Messages are fetched with lineGetMessage; there are no windows to post
    // them to and no completion ports here.
    if (parameters->dwOptions != LINEINITIALIZEEXOPTION_USEEVENT) {
        return LINEERR_INVALPARAM;
    }
    const std::lock_guard lock(mutex_);
    const HLINEAPP handle = NewHandle();
    const auto& application = lineApps_.emplace(handle, LineApplication{}).first->second;
    *lineApp = handle;
    *deviceCount = static_cast<DWORD>(lines_.size());
    *apiVersion = kHighestVersion;
    parameters->dwNeededSize = sizeof(LINEINITIALIZEEXPARAMS);
    parameters->dwUsedSize = sizeof(LINEINITIALIZEEXPARAMS);
    // The application may wait on this event (a descriptor that polls
    // readable while messages may wait), but never has to: polling
    // lineGetMessage is enough.
    parameters->Handles.hEvent = static_cast<DWORD>(application.event.Descriptor());
    return 0;
}

LONG TelephonyService::lineShutdown(HLINEAPP lineApp) {
    const std::lock_guard lock(mutex_);
    if (lineApps_.find(lineApp) == lineApps_.end()) {
        return LINEERR_INVALAPPHANDLE;
    }
    std::vector<HLINE> opens;
    for (const auto& [handle, open] : lineOpens_) {
        if (open.app == lineApp) {
            opens.push_back(handle);
        }
    }
    for (const HLINE line : opens) {
        CloseLineOpen(line);
    }
    std::erase_if(calls_, [&](const auto& entry) { return entry.second.app == lineApp; });
    lineApps_.erase(lineApp);
    return 0;
}

LONG TelephonyService::lineGetMessage(HLINEAPP lineApp, LINEMESSAGE* message, DWORD timeout) {
    if (message == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    const std::uint32_t start = clock_.TickCount();
    for (;;) {
        {
            const std::lock_guard lock(mutex_);
            const auto found = lineApps_.find(lineApp);
            if (found == lineApps_.end()) {
                return LINEERR_INVALAPPHANDLE;
            }
            if (const auto next = found->second.queue.Pop(clock_.TickCount())) {
                *message = *next;
                return 0;
            }
            // A delayed reply still waiting keeps the event set: the
            // application looks again rather than sleeping past it.
            if (found->second.queue.IsEmpty()) {
                found->second.event.Clear();
            }
        }
        const std::uint32_t waited = clock_.TickCount() - start;
        if (timeout != INFINITE && waited >= timeout) {
            return LINEERR_OPERATIONFAILED;
        }
        // Waits go through the clock, so a virtual clock moves on instead of
        // the test blocking.
        const std::uint32_t step = timeout == INFINITE ? 10 : std::min<DWORD>(10, timeout - waited);
        clock_.Sleep(step);
    }
}

// ---------------------------------------------------------------------------
// Line devices.

LONG TelephonyService::lineNegotiateAPIVersion(HLINEAPP lineApp, DWORD deviceId, DWORD lowVersion,
                                               DWORD highVersion, DWORD* apiVersion,
                                               LINEEXTENSIONID* extensionId) {
    const std::lock_guard lock(mutex_);
    if (lineApps_.find(lineApp) == lineApps_.end()) {
        return LINEERR_INVALAPPHANDLE;
    }
    if (deviceId >= lines_.size()) {
        return LINEERR_BADDEVICEID;
    }
    if (apiVersion == nullptr || extensionId == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    const DWORD version = NegotiatedVersion(lowVersion, highVersion);
    if (version == 0) {
        return LINEERR_INCOMPATIBLEAPIVERSION;
    }
    *apiVersion = version;
    // No provider has extensions.
    *extensionId = LINEEXTENSIONID{};
    return 0;
}

LONG TelephonyService::lineOpenW(HLINEAPP lineApp, DWORD deviceId, HLINE* line, DWORD apiVersion,
                                 DWORD extensionVersion, DWORD_PTR callbackInstance,
                                 DWORD privileges, DWORD mediaModes,
                                 LINECALLPARAMS* /*callParameters*/) {
    const std::lock_guard lock(mutex_);
    if (lineApps_.find(lineApp) == lineApps_.end()) {
        return LINEERR_INVALAPPHANDLE;
    }
    if (deviceId >= lines_.size()) {
        return LINEERR_BADDEVICEID;
    }
    if (line == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    if (!IsSupportedVersion(apiVersion)) {
        return LINEERR_INCOMPATIBLEAPIVERSION;
    }
    if (extensionVersion != 0) {
        return LINEERR_INCOMPATIBLEEXTVERSION;
    }
    if (!IsValidLinePrivilege(privileges)) {
        return LINEERR_INVALPRIVSELECT;
    }
    const bool owner = (privileges & LINECALLPRIVILEGE_OWNER) != 0;
    if (owner &&
        (mediaModes == 0 || (mediaModes & ~lines_[deviceId].provider->MediaModes()) != 0)) {
        return LINEERR_INVALMEDIAMODE;
    }
    const HLINE handle = NewHandle();
    lineOpens_.emplace(handle, LineOpen{lineApp, deviceId, apiVersion, callbackInstance, privileges,
                                        owner ? mediaModes : 0});
    *line = handle;
    // A call that came in while no one owned the line goes to the new owner.
    LineDevice& device = lines_[deviceId];
    if (owner && device.farEndCall != 0 && device.call == 0) {
        OfferCall(deviceId, handle);
    }
    return 0;
}

LONG TelephonyService::lineSetStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates) {
    const std::lock_guard lock(mutex_);
    const auto found = lineOpens_.find(line);
    if (found == lineOpens_.end()) {
        return LINEERR_INVALLINEHANDLE;
    }
    if ((lineStates & ~kAllLineStates) != 0) {
        return LINEERR_INVALLINESTATE;
    }
    if ((addressStates & ~kAllAddressStates) != 0) {
        return LINEERR_INVALADDRESSSTATE;
    }
    found->second.lineStates = lineStates;
    found->second.addressStates = addressStates;
    return 0;
}

LONG TelephonyService::lineClose(HLINE line) {
    const std::lock_guard lock(mutex_);
    if (lineOpens_.find(line) == lineOpens_.end()) {
        return LINEERR_INVALLINEHANDLE;
    }
    CloseLineOpen(line);
    return 0;
}

void TelephonyService::CloseLineOpen(HLINE line) {
    // The open's calls end with it: the far end is hung up on and the
    // handles become invalid.
    for (auto it = calls_.begin(); it != calls_.end();) {
        if (it->second.line == line) {
            EndCallForLine(it->first, it->second);
            it = calls_.erase(it);
        } else {
            ++it;
        }
    }
    lineOpens_.erase(line);
}

// ---------------------------------------------------------------------------
// Helpers.

HLINE TelephonyService::FindOwner(DWORD device) const {
    // Opens are handed out in increasing order, so the map's order is the
    // order of opening: the first owner gets the call.
    for (const auto& [handle, open] : lineOpens_) {
        if (open.device == device && (open.privileges & LINECALLPRIVILEGE_OWNER) != 0) {
            return handle;
        }
    }
    return 0;
}

void TelephonyService::Queue(HLINEAPP app, DWORD hDevice, DWORD messageId,
                             DWORD_PTR callbackInstance, DWORD_PTR param1, DWORD_PTR param2,
                             DWORD_PTR param3) {
    const auto found = lineApps_.find(app);
    if (found == lineApps_.end()) {
        return;
    }
    ReportOverflow(app, found->second.queue.Push(LINEMESSAGE{hDevice, messageId, callbackInstance,
                                                             param1, param2, param3},
                                                 0, false));
    found->second.event.Set();
}

void TelephonyService::ReportOverflow(HLINEAPP app, MessageQueue::Overflow overflow) {
    if (overflow == MessageQueue::Overflow::Began && problems_) {
        problems_("line application " + std::to_string(app) +
                  " reads its messages too slowly: " + std::to_string(MessageQueue::kCapacity) +
                  " are waiting, so the oldest rings and digits are dropped");
    }
}

void TelephonyService::DropWaitingRings(DWORD device) {
    for (const auto& [handle, open] : lineOpens_) {
        if (open.device == device) {
            if (const auto app = lineApps_.find(open.app); app != lineApps_.end()) {
                app->second.queue.DropRing(handle);
            }
        }
    }
}

void TelephonyService::QueueCallState(const Call& call, HCALL handle, DWORD state, DWORD mode) {
    const auto open = lineOpens_.find(call.line);
    const DWORD_PTR instance = open == lineOpens_.end() ? 0 : open->second.callbackInstance;
    Queue(call.app, handle, LINE_CALLSTATE, instance, state, mode, 0);
}

DWORD TelephonyService::NewRequestId(HLINEAPP app) {
    LineApplication& application = lineApps_.at(app);
    const DWORD id = application.nextRequestId;
    // Request identifiers are positive as results, so they stay below 2^31.
    application.nextRequestId = id >= 0x7FFFFFFF ? 1 : id + 1;
    return id;
}

void TelephonyService::QueueReply(HLINEAPP app, DWORD requestId, LONG result,
                                  ReplyDelivery delivery, std::uint32_t delayMilliseconds) {
    if (delivery == ReplyDelivery::Withheld) {
        return;
    }
    const auto found = lineApps_.find(app);
    if (found == lineApps_.end()) {
        return;
    }
    ReportOverflow(app,
                   found->second.queue.Push(
                       LINEMESSAGE{0, LINE_REPLY, 0, requestId, static_cast<DWORD_PTR>(result), 0},
                       clock_.TickCount() + delayMilliseconds, delayMilliseconds > 0));
    found->second.event.Set();
}

DWORD TelephonyService::ActiveCallCount(DWORD device) const {
    DWORD count = lines_[device].otherCallHeld ? 1 : 0;
    for (const auto& [handle, call] : calls_) {
        if (call.device == device &&
            (call.state == LINECALLSTATE_CONNECTED || call.state == LINECALLSTATE_DISCONNECTED)) {
            ++count;
        }
    }
    return count;
}

std::optional<DWORD> TelephonyService::PhoneDeviceOfLine(DWORD line) const {
    DWORD phone = 0;
    for (DWORD index = 0; index < lines_.size(); ++index) {
        if (!lines_[index].provider->HasPhoneDevice()) {
            continue;
        }
        if (index == line) {
            return phone;
        }
        ++phone;
    }
    return std::nullopt;
}

DWORD TelephonyService::LineOfPhoneDevice(DWORD phone) const {
    for (DWORD index = 0; index < lines_.size(); ++index) {
        if (lines_[index].provider->HasPhoneDevice() && phone-- == 0) {
            return index;
        }
    }
    return static_cast<DWORD>(lines_.size());
}

std::size_t TelephonyService::PhoneDeviceCount() const {
    return static_cast<std::size_t>(
        std::count_if(lines_.begin(), lines_.end(),
                      [](const LineDevice& line) { return line.provider->HasPhoneDevice(); }));
}

}  // namespace porthold::service
