// The service library the program loads at run time as "TAPI32.DLL": the
// telephony entry points, each handed to the one service of the process, and
// the hand-over of the lines' voice channels to the program's wave devices.

#include <iostream>
#include <type_traits>

#include "platform/environment.h"
#include "service/modem_line/voice_modem_line_device.h"
#include "service/service_host.h"
#include "service/sip_stack/sip_line_device.h"
#include "telephony/tapi.h"
#include "telephony/tapi_binding.h"

namespace porthold::telephony {
namespace {

using service::ServiceHost;
using service::TelephonyService;

// The process's service. It is never destroyed: the program may still hold
// the wave device provider while the process ends.
ServiceHost& Host() {
    static platform::SystemEnvironment* environment = new platform::SystemEnvironment;
    static ServiceHost* host =
        new ServiceHost(*environment, std::cerr, service::MakeSipLine, service::MakeVoiceModemLine);
    return *host;
}

// Passes a request to the running service; without one, no application can
// have initialised, and the request fails as the interface says.
template <typename Request>
LONG OnService(LONG notRunning, Request request) {
    const std::shared_ptr<TelephonyService> service = Host().Current();
    return service ? request(*service) : notRunning;
}

}  // namespace

extern "C" {

LONG lineAnswer(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) {
    return OnService(LINEERR_UNINITIALIZED, [&](TelephonyService& service) {
        return service.lineAnswer(hCall, lpsUserUserInfo, dwSize);
    });
}

LONG lineClose(HLINE hLine) {
    return OnService(LINEERR_UNINITIALIZED,
                     [&](TelephonyService& service) { return service.lineClose(hLine); });
}

LONG lineDeallocateCall(HCALL hCall) {
    return OnService(LINEERR_UNINITIALIZED,
                     [&](TelephonyService& service) { return service.lineDeallocateCall(hCall); });
}

LONG lineDrop(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) {
    return OnService(LINEERR_UNINITIALIZED, [&](TelephonyService& service) {
        return service.lineDrop(hCall, lpsUserUserInfo, dwSize);
    });
}

LONG lineGetDevCapsW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                     LINEDEVCAPS* lpLineDevCaps) {
    return OnService(LINEERR_UNINITIALIZED, [&](TelephonyService& service) {
        return service.lineGetDevCapsW(hLineApp, dwDeviceID, dwAPIVersion, dwExtVersion,
                                       lpLineDevCaps);
    });
}

LONG lineGetIDA(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect, VARSTRING* lpDeviceID,
                LPCSTR lpszDeviceClass) {
    return OnService(LINEERR_UNINITIALIZED, [&](TelephonyService& service) {
        return service.lineGetIDA(hLine, dwAddressID, hCall, dwSelect, lpDeviceID, lpszDeviceClass);
    });
}

LONG lineGetLineDevStatus(HLINE hLine, LINEDEVSTATUS* lpLineDevStatus) {
    return OnService(LINEERR_UNINITIALIZED, [&](TelephonyService& service) {
        return service.lineGetLineDevStatus(hLine, lpLineDevStatus);
    });
}

LONG lineGetMessage(HLINEAPP hLineApp, LINEMESSAGE* lpMessage, DWORD dwTimeout) {
    return OnService(LINEERR_UNINITIALIZED, [&](TelephonyService& service) {
        return service.lineGetMessage(hLineApp, lpMessage, dwTimeout);
    });
}

LONG lineInitializeExW(HLINEAPP* lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                       LPCWSTR lpszFriendlyAppName, DWORD* lpdwNumDevs, DWORD* lpdwAPIVersion,
                       LINEINITIALIZEEXPARAMS* lpLineInitializeExParams) {
    return Host().StartApplication([&](TelephonyService& service) {
        return service.lineInitializeExW(lphLineApp, hInstance, lpfnCallback, lpszFriendlyAppName,
                                         lpdwNumDevs, lpdwAPIVersion, lpLineInitializeExParams);
    });
}

LONG lineMonitorDigits(HCALL hCall, DWORD dwDigitModes) {
    return OnService(LINEERR_UNINITIALIZED, [&](TelephonyService& service) {
        return service.lineMonitorDigits(hCall, dwDigitModes);
    });
}

LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                             DWORD dwAPIHighVersion, DWORD* lpdwAPIVersion,
                             LINEEXTENSIONID* lpExtensionID) {
    return OnService(LINEERR_UNINITIALIZED, [&](TelephonyService& service) {
        return service.lineNegotiateAPIVersion(hLineApp, dwDeviceID, dwAPILowVersion,
                                               dwAPIHighVersion, lpdwAPIVersion, lpExtensionID);
    });
}

LONG lineOpenW(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE* lphLine, DWORD dwAPIVersion,
               DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
               DWORD dwMediaModes, LINECALLPARAMS* lpCallParams) {
    return OnService(LINEERR_UNINITIALIZED, [&](TelephonyService& service) {
        return service.lineOpenW(hLineApp, dwDeviceID, lphLine, dwAPIVersion, dwExtVersion,
                                 dwCallbackInstance, dwPrivileges, dwMediaModes, lpCallParams);
    });
}

LONG lineSetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates) {
    return OnService(LINEERR_UNINITIALIZED, [&](TelephonyService& service) {
        return service.lineSetStatusMessages(hLine, dwLineStates, dwAddressStates);
    });
}

LONG lineShutdown(HLINEAPP hLineApp) {
    return Host().EndApplication(
        [&](TelephonyService& service) { return service.lineShutdown(hLineApp); },
        LINEERR_UNINITIALIZED);
}

LONG phoneClose(HPHONE hPhone) {
    return OnService(PHONEERR_UNINITIALIZED,
                     [&](TelephonyService& service) { return service.phoneClose(hPhone); });
}

LONG phoneGetDevCapsA(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                      PHONECAPS* lpPhoneCaps) {
    return OnService(PHONEERR_UNINITIALIZED, [&](TelephonyService& service) {
        return service.phoneGetDevCapsA(hPhoneApp, dwDeviceID, dwAPIVersion, dwExtVersion,
                                        lpPhoneCaps);
    });
}

LONG phoneInitializeExA(HPHONEAPP* lphPhoneApp, HINSTANCE hInstance, PHONECALLBACK lpfnCallback,
                        LPCSTR lpszFriendlyAppName, DWORD* lpdwNumDevs, DWORD* lpdwAPIVersion,
                        PHONEINITIALIZEEXPARAMS* lpPhoneInitializeExParams) {
    return Host().StartApplication([&](TelephonyService& service) {
        return service.phoneInitializeExA(lphPhoneApp, hInstance, lpfnCallback, lpszFriendlyAppName,
                                          lpdwNumDevs, lpdwAPIVersion, lpPhoneInitializeExParams);
    });
}

LONG phoneNegotiateAPIVersion(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                              DWORD dwAPIHighVersion, DWORD* lpdwAPIVersion,
                              PHONEEXTENSIONID* lpExtensionID) {
    return OnService(PHONEERR_UNINITIALIZED, [&](TelephonyService& service) {
        return service.phoneNegotiateAPIVersion(hPhoneApp, dwDeviceID, dwAPILowVersion,
                                                dwAPIHighVersion, lpdwAPIVersion, lpExtensionID);
    });
}

LONG phoneOpen(HPHONEAPP hPhoneApp, DWORD dwDeviceID, HPHONE* lphPhone, DWORD dwAPIVersion,
               DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivilege) {
    return OnService(PHONEERR_UNINITIALIZED, [&](TelephonyService& service) {
        return service.phoneOpen(hPhoneApp, dwDeviceID, lphPhone, dwAPIVersion, dwExtVersion,
                                 dwCallbackInstance, dwPrivilege);
    });
}

LONG phoneSetHookSwitch(HPHONE hPhone, DWORD dwHookSwitchDevs, DWORD dwHookSwitchMode) {
    return OnService(PHONEERR_UNINITIALIZED, [&](TelephonyService& service) {
        return service.phoneSetHookSwitch(hPhone, dwHookSwitchDevs, dwHookSwitchMode);
    });
}

LONG phoneSetStatusMessages(HPHONE hPhone, DWORD dwPhoneStates, DWORD dwButtonModes,
                            DWORD dwButtonStates) {
    return OnService(PHONEERR_UNINITIALIZED, [&](TelephonyService& service) {
        return service.phoneSetStatusMessages(hPhone, dwPhoneStates, dwButtonModes, dwButtonStates);
    });
}

LONG phoneShutdown(HPHONEAPP hPhoneApp) {
    return Host().EndApplication(
        [&](TelephonyService& service) { return service.phoneShutdown(hPhoneApp); },
        PHONEERR_UNINITIALIZED);
}

PORTHOLD_TAPI_EXPORT std::size_t PortholdWaveDeviceProviders(
    platform::WaveDeviceProvider** providers, std::size_t capacity) {
    if (providers != nullptr && capacity > 0) {
        providers[0] = &Host().WaveDevices();
    }
    return 1;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&PortholdWaveDeviceProviders), WaveDeviceProvidersFunction>,
              "the hand-over is declared alike on both sides");

}  // namespace porthold::telephony
