// The calls of the service: what the far end does, and what applications do
// with the calls they own.

#include <cstring>
#include <string_view>

#include "service/service_constants.h"
#include "service/structure_builder.h"
#include "service/telephony_service.h"

namespace porthold::service {

using namespace telephony;

namespace {

bool EqualsIgnoringCase(std::string_view left, std::string_view right) {
    if (left.size() != right.size()) {
        return false;
    }
    for (std::size_t index = 0; index < left.size(); ++index) {
        const auto lower = [](char character) {
            return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a')
                                                        : character;
        };
        if (lower(left[index]) != lower(right[index])) {
            return false;
        }
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// The far end.

OfferResult TelephonyService::OnIncomingCall(DWORD device, FarEndCallId call) {
    const std::lock_guard lock(mutex_);
    LineDevice& line = lines_[device];
    if (line.farEndCall != 0 || line.call != 0 || line.otherCallHeld) {
        return OfferResult::Busy;
    }
    const HLINE owner = FindOwner(device);
    // An owner that has fallen this far behind would only learn of the call
    // long after it was over; and a caller who dials and hangs up without
    // pause would fill its queue with calls it can never drop.
    if (owner != 0 && lineApps_.at(lineOpens_.at(owner).app).queue.IsFull()) {
        return OfferResult::Busy;
    }
    line.farEndCall = call;
    line.ringCount = 0;
    if (owner != 0) {
        OfferCall(device, owner);
    }
    return OfferResult::Offered;
}

void TelephonyService::OfferCall(DWORD device, HLINE owner) {
    LineDevice& line = lines_[device];
    const LineOpen& open = lineOpens_.at(owner);
    const HCALL handle = NewHandle();
    const Call& call = calls_
                           .emplace(handle, Call{open.app, owner, device, LINECALLSTATE_OFFERING, 0,
                                                 line.farEndCall, true})
                           .first->second;
    line.call = handle;
    Queue(open.app, owner, LINE_APPNEWCALL, open.callbackInstance, 0, handle,
          LINECALLPRIVILEGE_OWNER);
    QueueCallState(call, handle, LINECALLSTATE_OFFERING, LINEOFFERINGMODE_ACTIVE);
}

void TelephonyService::OnRing(DWORD device, FarEndCallId farEnd) {
    const std::lock_guard lock(mutex_);
    LineDevice& line = lines_[device];
    if (farEnd == 0 || line.farEndCall != farEnd) {
        return;
    }
    if (line.call != 0 && calls_.at(line.call).state != LINECALLSTATE_OFFERING) {
        return;
    }
    // Every open that asked for rings hears them, the owner or not; the
    // count starts at 0 with the first ring of the call.
    for (const auto& [handle, open] : lineOpens_) {
        if (open.device == device && (open.lineStates & LINEDEVSTATE_RINGING) != 0) {
            Queue(open.app, handle, LINE_LINEDEVSTATE, open.callbackInstance, LINEDEVSTATE_RINGING,
                  1, line.ringCount);
        }
    }
    ++line.ringCount;
}

void TelephonyService::OnKeyPressed(DWORD device, FarEndCallId farEnd, char key, KeyMode mode) {
    const std::lock_guard lock(mutex_);
    const LineDevice& line = lines_[device];
    if (farEnd == 0 || line.farEndCall != farEnd || line.call == 0) {
        return;
    }
    const Call& call = calls_.at(line.call);
    if (call.state != LINECALLSTATE_CONNECTED || call.monitoredDigitModes == 0) {
        return;
    }
    const auto open = lineOpens_.find(call.line);
    const DWORD_PTR instance = open == lineOpens_.end() ? 0 : open->second.callbackInstance;
    const auto digit = static_cast<DWORD_PTR>(static_cast<unsigned char>(key));
    const DWORD_PTR tick = clock_.TickCount();
    // A dialled digit is reported whenever keys are monitored at all: a
    // pulse-dialling caller cannot key a PIN, and the application must learn
    // of it to take a message instead.
    if (mode == KeyMode::Pulse) {
        Queue(call.app, line.call, LINE_MONITORDIGITS, instance, digit, LINEDIGITMODE_PULSE, tick);
        return;
    }
    if ((call.monitoredDigitModes & LINEDIGITMODE_DTMF) != 0) {
        Queue(call.app, line.call, LINE_MONITORDIGITS, instance, digit, LINEDIGITMODE_DTMF, tick);
    }
    if ((call.monitoredDigitModes & LINEDIGITMODE_DTMFEND) != 0) {
        Queue(call.app, line.call, LINE_MONITORDIGITS, instance, digit, LINEDIGITMODE_DTMFEND,
              tick);
    }
}

void TelephonyService::OnFarEndHungUp(DWORD device, FarEndCallId farEnd) {
    const std::lock_guard lock(mutex_);
    LineDevice& line = lines_[device];
    if (farEnd == 0 || line.farEndCall != farEnd) {
        return;
    }
    line.farEndCall = 0;
    DropWaitingRings(device);
    if (line.call == 0) {
        return;
    }
    Call& call = calls_.at(line.call);
    call.farEndOn = false;
    QueueCallState(call, line.call, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL);
    if (call.state == LINECALLSTATE_OFFERING) {
        // A call given up while ringing was never the application's to drop.
        QueueCallState(call, line.call, LINECALLSTATE_IDLE, 0);
        call.state = LINECALLSTATE_IDLE;
        line.call = 0;
    } else {
        call.state = LINECALLSTATE_DISCONNECTED;
    }
}

bool TelephonyService::OnSetOtherCall(DWORD device, OtherCall state) {
    const std::lock_guard lock(mutex_);
    LineDevice& line = lines_[device];
    if (state == OtherCall::Held && (line.farEndCall != 0 || line.call != 0)) {
        return false;
    }
    if (line.otherCallHeld != (state == OtherCall::Held)) {
        line.otherCallHeld = state == OtherCall::Held;
        // No message tells of it, but the line's count of calls changed: an
        // application waiting on its event looks at the line again.
        for (const auto& [handle, open] : lineOpens_) {
            const auto app = lineApps_.find(open.app);
            if (open.device == device && app != lineApps_.end()) {
                app->second.event.Set();
            }
        }
    }
    return true;
}

// Every open that asked for the change hears of it, as with rings.
void TelephonyService::OnServiceChanged(DWORD device, LineService state) {
    const std::lock_guard lock(mutex_);
    LineDevice& line = lines_[device];
    if (line.service == state) {
        return;
    }
    line.service = state;
    const DWORD change =
        state == LineService::InService ? LINEDEVSTATE_INSERVICE : LINEDEVSTATE_OUTOFSERVICE;
    for (const auto& [handle, open] : lineOpens_) {
        if (open.device == device && (open.lineStates & change) != 0) {
            Queue(open.app, handle, LINE_LINEDEVSTATE, open.callbackInstance, change, 0, 0);
        }
    }
}

// ---------------------------------------------------------------------------
// The application's requests.

LONG TelephonyService::lineAnswer(HCALL call, LPCSTR userUserInfo, DWORD size) {
    const std::lock_guard lock(mutex_);
    const auto found = calls_.find(call);
    if (found == calls_.end()) {
        return LINEERR_INVALCALLHANDLE;
    }
    Call& answered = found->second;
    if (userUserInfo != nullptr && size > 0) {
        return LINEERR_USERUSERINFOTOOBIG;
    }
    if (answered.state != LINECALLSTATE_OFFERING) {
        return LINEERR_INVALCALLSTATE;
    }
    LineDevice& line = lines_[answered.device];
    const CallBehaviour behaviour = line.provider->Behaviour();
    const DWORD requestId = NewRequestId(answered.app);
    answered.state = LINECALLSTATE_CONNECTED;
    // A ring read after the answer would be taken for a call to answer again.
    DropWaitingRings(answered.device);
    if (behaviour.answerOrder == AnswerOrder::ConnectedThenReply) {
        QueueCallState(answered, call, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
        QueueReply(answered.app, requestId, 0, behaviour.answerReply,
                   behaviour.replyDelayMilliseconds);
    } else {
        QueueReply(answered.app, requestId, 0, behaviour.answerReply,
                   behaviour.replyDelayMilliseconds);
        QueueCallState(answered, call, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
    }
    line.provider->CallAnswered(answered.farEnd);
    return static_cast<LONG>(requestId);
}

LONG TelephonyService::lineDrop(HCALL call, LPCSTR userUserInfo, DWORD size) {
    const std::lock_guard lock(mutex_);
    const auto found = calls_.find(call);
    if (found == calls_.end()) {
        return LINEERR_INVALCALLHANDLE;
    }
    Call& dropped = found->second;
    if (userUserInfo != nullptr && size > 0) {
        return LINEERR_USERUSERINFOTOOBIG;
    }
    if (dropped.state == LINECALLSTATE_IDLE) {
        return LINEERR_INVALCALLSTATE;
    }
    const CallBehaviour behaviour = lines_[dropped.device].provider->Behaviour();
    const DWORD requestId = NewRequestId(dropped.app);
    const bool farEndWasOn = dropped.farEndOn;
    // The call is idle from here on, so the application may deallocate it as
    // soon as it has the reply.
    EndCallForLine(call, dropped);
    QueueReply(dropped.app, requestId, 0, behaviour.dropReply, behaviour.replyDelayMilliseconds);
    if (farEndWasOn) {
        QueueCallState(dropped, call, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL);
    }
    QueueCallState(dropped, call, LINECALLSTATE_IDLE, 0);
    return static_cast<LONG>(requestId);
}

void TelephonyService::EndCallForLine(HCALL handle, Call& call) {
    LineDevice& line = lines_[call.device];
    if (call.state == LINECALLSTATE_OFFERING) {
        DropWaitingRings(call.device);
    }
    if (call.farEndOn) {
        call.farEndOn = false;
        if (line.farEndCall == call.farEnd) {
            line.farEndCall = 0;
        }
        line.provider->CallEndedByLine(call.farEnd);
    }
    if (line.call == handle) {
        line.call = 0;
    }
    call.state = LINECALLSTATE_IDLE;
    call.monitoredDigitModes = 0;
}

LONG TelephonyService::lineDeallocateCall(HCALL call) {
    const std::lock_guard lock(mutex_);
    const auto found = calls_.find(call);
    if (found == calls_.end()) {
        return LINEERR_INVALCALLHANDLE;
    }
    // The owner is the call's only application, and an owner may let go of a
    // call only once it is idle.
    if (found->second.state != LINECALLSTATE_IDLE) {
        return LINEERR_INVALCALLSTATE;
    }
    calls_.erase(found);
    return 0;
}

LONG TelephonyService::lineMonitorDigits(HCALL call, DWORD digitModes) {
    const std::lock_guard lock(mutex_);
    const auto found = calls_.find(call);
    if (found == calls_.end()) {
        return LINEERR_INVALCALLHANDLE;
    }
    if ((digitModes & ~kAllDigitModes) != 0) {
        return LINEERR_INVALDIGITMODE;
    }
    // Switching monitoring off is harmless in any state; the application does
    // so while tearing down a call the far end has already left.
    if (digitModes != 0 && found->second.state == LINECALLSTATE_IDLE) {
        return LINEERR_INVALCALLSTATE;
    }
    found->second.monitoredDigitModes = digitModes;
    return 0;
}

LONG TelephonyService::lineGetIDA(HLINE line, DWORD addressId, HCALL call, DWORD select,
                                  VARSTRING* deviceId, LPCSTR deviceClass) {
    const std::lock_guard lock(mutex_);
    DWORD device = 0;
    if (select == LINECALLSELECT_CALL) {
        const auto found = calls_.find(call);
        if (found == calls_.end()) {
            return LINEERR_INVALCALLHANDLE;
        }
        device = found->second.device;
    } else if (select == LINECALLSELECT_LINE || select == LINECALLSELECT_ADDRESS) {
        const auto found = lineOpens_.find(line);
        if (found == lineOpens_.end()) {
            return LINEERR_INVALLINEHANDLE;
        }
        if (select == LINECALLSELECT_ADDRESS && addressId != 0) {
            return LINEERR_INVALADDRESSID;
        }
        device = found->second.device;
    } else {
        return LINEERR_INVALCALLSELECT;
    }
    if (deviceId == nullptr || deviceClass == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    const LineProvider& provider = *lines_[device].provider;
    const std::string_view name(deviceClass);
    DWORD identifier = 0;
    if (EqualsIgnoringCase(name, "wave/out")) {
        identifier = provider.WaveOutputDeviceId();
    } else if (EqualsIgnoringCase(name, "wave/in")) {
        identifier = provider.WaveInputDeviceId();
    } else if (EqualsIgnoringCase(name, "tapi/line")) {
        identifier = device;
    } else if (EqualsIgnoringCase(name, "tapi/phone") && PhoneDeviceOfLine(device)) {
        identifier = *PhoneDeviceOfLine(device);
    } else {
        return LINEERR_INVALDEVICECLASS;
    }
    VARSTRING fixed{};
    fixed.dwStringFormat = STRINGFORMAT_BINARY;
    StructureBuilder answer(&fixed, sizeof(VARSTRING));
    std::uint8_t bytes[sizeof(DWORD)];
    std::memcpy(bytes, &identifier, sizeof(identifier));
    answer.AddVariablePart(offsetof(VARSTRING, dwStringSize), offsetof(VARSTRING, dwStringOffset),
                           bytes);
    return answer.WriteTo(deviceId, LINEERR_STRUCTURETOOSMALL);
}

}  // namespace porthold::service
