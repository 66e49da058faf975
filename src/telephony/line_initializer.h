#pragma once

#include "config/error_log.h"
#include "platform/message_boxes.h"
#include "telephony/status_line.h"
#include "telephony/tapi.h"
#include "telephony/tapi_buffer.h"
#include "telephony/tapi_interface.h"

namespace porthold::telephony {

// What line and phone initialisation obtain, held by the call engine until
// shutdown. Zero means "not obtained"; whatever was obtained stays here after
// a failed initialisation, so that shutdown can release it.
struct TelephonyHandles {
    HLINEAPP lineApp = 0;
    // The service's event for lineApp: a descriptor that polls readable while
    // messages may wait; 0 when the service offers none.
    DWORD lineEvent = 0;
    HLINE lineHandle = 0;
    // LINEDEVSTATUS of the open line, polled on every engine tick; always at
    // least the structure's fixed size once LineInit has reached it.
    TapiBuffer lineStatus;
    HPHONEAPP phoneApp = 0;
    HPHONE phoneHandle = 0;
    // PHONECAPS.dwHookSwitchDevs of the open phone device.
    DWORD phoneHookSwitchDevices = 0;
};

// The line states whose changes the service reports: OTHER, RINGING,
// CONNECTED, DISCONNECTED, OUTOFSERVICE, MAINTENANCE, OPEN, CLOSE, NUMCALLS,
// NUMCOMPLETIONS, SIGNAL, DEVSPECIFIC, REINIT, LOCK and REMOVED. The engine acts
// on RINGING only.
inline constexpr DWORD kReportedLineStates =
    LINEDEVSTATE_OTHER | LINEDEVSTATE_RINGING | LINEDEVSTATE_CONNECTED | LINEDEVSTATE_DISCONNECTED |
    LINEDEVSTATE_OUTOFSERVICE | LINEDEVSTATE_MAINTENANCE | LINEDEVSTATE_OPEN | LINEDEVSTATE_CLOSE |
    LINEDEVSTATE_NUMCALLS | LINEDEVSTATE_NUMCOMPLETIONS | LINEDEVSTATE_SIGNAL |
    LINEDEVSTATE_DEVSPECIFIC | LINEDEVSTATE_REINIT | LINEDEVSTATE_LOCK | LINEDEVSTATE_REMOVED;
static_assert(kReportedLineStates == 0x010F1F8F);

// The phone states asked for when the phone device is opened; no phone
// message is ever acted on.
inline constexpr DWORD kReportedPhoneStates =
    PHONESTATE_OTHER | PHONESTATE_CONNECTED | PHONESTATE_DISCONNECTED |
    PHONESTATE_HANDSETHOOKSWITCH | PHONESTATE_SPEAKERHOOKSWITCH | PHONESTATE_HEADSETHOOKSWITCH |
    PHONESTATE_DEVSPECIFIC | PHONESTATE_REINIT | PHONESTATE_CAPSCHANGE | PHONESTATE_REMOVED;
static_assert(kReportedPhoneStates == 0x00F09207);

// Finds the voice modem among the line devices and opens it for incoming
// automated-voice calls (LineInit), then opens the modem's phone device
// (InitPhone). Both run once, at start-up, before the engine tick starts, and
// fill `handles`.
class LineInitializer {
public:
    LineInitializer(Tapi& tapi, TelephonyHandles& handles, StatusLine& statusLine,
                    platform::MessageBoxes& messageBoxes, config::ErrorLog& errorLog,
                    HINSTANCE instance);

    // True when the voice-modem line is open and reports its rings. Failures are
    // logged; only a missing voice modem is also told to the user.
    bool LineInit();

    // True when the phone device is open. Failures are not logged: the phone
    // device is only held open, never used.
    bool InitPhone();

private:
    bool InitializeLineApplication(DWORD& deviceCount, DWORD& version);
    bool NegotiateLineVersion(DWORD device, DWORD& version);
    bool IsVoiceModem(DWORD device, DWORD version);
    bool OpenLine(DWORD device, DWORD version);
    void QueryLineStatus();

    bool InitializePhoneApplication(DWORD& deviceCount, DWORD& version);
    void NegotiatePhoneVersion(DWORD device, DWORD& version);
    // Also gives the device's hookswitch devices.
    bool HasHookSwitch(DWORD device, DWORD version, DWORD& hookSwitchDevices);

    Tapi& tapi_;
    TelephonyHandles& handles_;
    StatusLine& statusLine_;
    platform::MessageBoxes& messageBoxes_;
    config::ErrorLog& errorLog_;
    HINSTANCE instance_;
};

}  // namespace porthold::telephony
