#pragma once

#include <cstdint>
#include <string>

#include "platform/multimedia/wave_device_provider.h"
#include "telephony/tapi.h"

namespace porthold::service {

using telephony::DWORD;

// A call as the line's provider numbers it: 0 is no call; each call the far
// end makes gets a new number, so that a late event about an ended call can
// never touch the next one.
using FarEndCallId = std::uint64_t;

enum class OfferResult { Offered, Busy };
enum class KeyMode { Dtmf, Pulse };
enum class OtherCall { Held, Released };
// What a line's phone device holds: a modem's handset and speaker, or, on a
// line with no handset (a network line), the computer's microphone and
// speaker, which the phone device presents as a headset.
enum class PhoneSet { HandsetAndSpeaker, Headset };
enum class HookSwitch { OnHook, OffHook };
// Whether the line can take calls: a modem that has stopped answering, or has
// gone from its port, puts its line out of service until it is back.
enum class LineService { InService, OutOfService };

// How the service answers the asynchronous requests on a line. The defaults
// are the orderly case; the others are real-world behaviours the program must
// survive (a service that reports the connection before the reply, or one
// that is slow or never replies).
enum class AnswerOrder { ReplyThenConnected, ConnectedThenReply };
enum class ReplyDelivery { Queued, Withheld };

struct CallBehaviour {
    AnswerOrder answerOrder = AnswerOrder::ReplyThenConnected;
    ReplyDelivery answerReply = ReplyDelivery::Queued;
    ReplyDelivery dropReply = ReplyDelivery::Queued;
    // LINE_REPLY (and everything queued after it) becomes visible this long
    // after the request.
    std::uint32_t replyDelayMilliseconds = 0;
};

// What a line's provider reports to the service: the far end's doings. Each
// call takes the service's lock, so a provider must not hold a lock of its
// own that the service's calls into it (LineProvider::CallAnswered...) take.
class LineEvents {
public:
    virtual ~LineEvents() = default;

    // The far end dials. Busy while the line has a call that has not gone
    // idle, or another application's call holds it.
    virtual OfferResult IncomingCall(FarEndCallId call) = 0;
    // One ring of the offered call; ignored once it is answered.
    virtual void Ring(FarEndCallId call) = 0;
    // A key of the connected call: a DTMF key (0-9 * # A-D) or a pulse digit.
    virtual void KeyPressed(FarEndCallId call, char key, KeyMode mode) = 0;
    virtual void FarEndHungUp(FarEndCallId call) = 0;
    // Another application's call on the line (counted in dwNumActiveCalls);
    // false when refused because the line has a call.
    virtual bool SetOtherCall(OtherCall state) = 0;
    // The line went out of service or came back. Lines start in service.
    virtual void ServiceChanged(LineService /*state*/) {}
};

// One line device of the service, with the far end behind it: a simulated
// voice modem, later a modem or a network line. The service owns its
// providers and numbers its line devices in the order they were added.
class LineProvider {
public:
    virtual ~LineProvider() = default;

    // The line's name in the service's configuration.
    virtual const std::string& Name() const = 0;
    // The device's name and its provider's description, as the capabilities
    // report them.
    virtual std::string DeviceName() const = 0;
    virtual std::string ProviderInfo() const = 0;
    // LINEDEVCAPS.dwMediaModes.
    virtual DWORD MediaModes() const = 0;
    // Whether the line comes with a phone device, and what it holds.
    virtual bool HasPhoneDevice() const = 0;
    virtual PhoneSet Phone() const { return PhoneSet::HandsetAndSpeaker; }

    // The call's voice channel, as wave devices of the program.
    virtual platform::WaveDeviceProvider& VoiceDevices() = 0;
    virtual std::uint32_t WaveOutputDeviceId() const = 0;
    virtual std::uint32_t WaveInputDeviceId() const = 0;

    virtual CallBehaviour Behaviour() const = 0;

    // The service attaches itself when it takes the provider and detaches
    // (null) before it lets go of it. Far-end events reach no one while
    // detached.
    virtual void Attach(LineEvents* events) = 0;

    // The service's side of the call, for the far end. Called with the
    // service's lock held.
    virtual void CallAnswered(FarEndCallId call) = 0;
    // The line dropped the call (the application hung up or closed the line).
    virtual void CallEndedByLine(FarEndCallId call) = 0;
    // Takes the headset off hook, so that the user talks to the caller of the
    // connected call through it until the call ends, or puts it back. False
    // when the line has no headset, or no connected call to take. Called with
    // the service's lock held.
    virtual bool SetHeadset(HookSwitch /*state*/) { return false; }
};

}  // namespace porthold::service
