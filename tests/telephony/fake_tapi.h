#pragma once

#include <string>
#include <vector>

#include "telephony/tapi.h"
#include "telephony/tapi_interface.h"

namespace porthold::testing {

using telephony::DWORD;
using telephony::HINSTANCE;
using telephony::LONG;

// One line device of the fake service.
struct FakeLineDevice {
    DWORD mediaModes = telephony::LINEMEDIAMODE_AUTOMATEDVOICE | telephony::LINEMEDIAMODE_DATAMODEM;
    // The versions the device supports; a range outside them is refused with
    // LINEERR_INCOMPATIBLEAPIVERSION.
    DWORD lowestVersion = telephony::TAPI_VERSION1_0;
    DWORD highestVersion = telephony::TAPI_VERSION2_1;
    // When set, every negotiation is answered with it.
    LONG negotiationError = 0;
    // When set, lineGetDevCapsW is answered with it, the buffer left untouched.
    LONG capabilitiesError = 0;
};

// One phone device of the fake service.
struct FakePhoneDevice {
    DWORD phoneStates = telephony::PHONESTATE_HANDSETHOOKSWITCH;
};

struct FakeNegotiation {
    DWORD device;
    DWORD lowVersion;
    DWORD highVersion;
    friend bool operator==(const FakeNegotiation&, const FakeNegotiation&) = default;
};

struct FakeCapabilitiesRequest {
    DWORD device;
    DWORD version;
    DWORD bufferSize;  // dwTotalSize as offered
    friend bool operator==(const FakeCapabilitiesRequest&,
                           const FakeCapabilitiesRequest&) = default;
};

struct FakeOpenRequest {
    DWORD device;
    DWORD version;
    DWORD extensionVersion;
    DWORD callbackInstance;
    DWORD privileges;
    DWORD mediaModes;  // line only
    bool callParametersGiven;
};

// A telephony service in the test's hands: it answers as the script fields
// say and records what it was asked. Variable-size structures are treated as
// the service treats them: a buffer smaller than needed gets only its
// dwNeededSize (where the buffer reaches that field) and the "structure too
// small" error, and nothing is written beyond dwTotalSize.
class FakeTapi final : public telephony::Tapi {
public:
    static constexpr DWORD kLineApp = 0x100;
    static constexpr DWORD kFirstLineHandle = 0x200;  // plus the device number
    static constexpr DWORD kPhoneApp = 0x300;
    static constexpr DWORD kFirstPhoneHandle = 0x400;  // plus the device number

    // --- Script: line ---
    DWORD highestApiVersion = telephony::TAPI_VERSION2_1;  // lineInitializeExW refuses higher
    LONG initializeError = 0;
    DWORD initializeParametersSize = sizeof(telephony::LINEINITIALIZEEXPARAMS);
    std::vector<FakeLineDevice> lineDevices;
    DWORD capabilitiesSize = sizeof(telephony::LINEDEVCAPS);
    LONG openError = 0;
    LONG statusMessagesError = 0;
    LONG lineStatusError = 0;
    DWORD lineStatusNeededSize = sizeof(telephony::LINEDEVSTATUS) + 20;

    // --- Script: phone ---
    // As a service library that exports no phone entry points: every phone
    // request is answered PHONEERR_OPERATIONUNAVAIL and not recorded.
    bool phoneEntriesMissing = false;
    LONG phoneInitializeError = 0;
    DWORD phoneInitializeParametersSize = sizeof(telephony::PHONEINITIALIZEEXPARAMS);
    std::vector<FakePhoneDevice> phoneDevices;
    DWORD phoneCapabilitiesSize = sizeof(telephony::PHONECAPS);
    LONG phoneOpenError = 0;

    // --- Record ---
    std::vector<std::string> calls;    // entry-point names, in order
    std::vector<HINSTANCE> instances;  // given to the two initialisations
    std::vector<DWORD> initializeVersions;
    std::vector<DWORD> initializeParameterSizes;  // line and phone, in call order
    std::vector<DWORD> initializeParameterOptions;
    std::vector<FakeNegotiation> lineNegotiations;
    std::vector<FakeCapabilitiesRequest> lineCapabilitiesRequests;
    std::vector<FakeOpenRequest> lineOpens;
    std::vector<DWORD> lineStatusSizes;
    struct StatusMessages {
        DWORD handle;
        DWORD states;
        DWORD second;  // address states, or button modes
        DWORD third;   // 0 for the line, button states for the phone
        friend bool operator==(const StatusMessages&, const StatusMessages&) = default;
    };
    std::vector<StatusMessages> lineStatusMessages;
    std::vector<FakeNegotiation> phoneNegotiations;
    std::vector<FakeCapabilitiesRequest> phoneCapabilitiesRequests;
    std::vector<FakeOpenRequest> phoneOpens;
    std::vector<StatusMessages> phoneStatusMessages;

    LONG lineAnswer(telephony::HCALL call, telephony::LPCSTR userUserInfo, DWORD size) override;
    LONG lineClose(telephony::HLINE line) override;
    LONG lineDeallocateCall(telephony::HCALL call) override;
    LONG lineDrop(telephony::HCALL call, telephony::LPCSTR userUserInfo, DWORD size) override;
    LONG lineGetDevCapsW(telephony::HLINEAPP lineApp, DWORD deviceId, DWORD apiVersion,
                         DWORD extensionVersion, telephony::LINEDEVCAPS* capabilities) override;
    LONG lineGetIDA(telephony::HLINE line, DWORD addressId, telephony::HCALL call, DWORD select,
                    telephony::VARSTRING* deviceId, telephony::LPCSTR deviceClass) override;
    LONG lineGetLineDevStatus(telephony::HLINE line, telephony::LINEDEVSTATUS* status) override;
    LONG lineGetMessage(telephony::HLINEAPP lineApp, telephony::LINEMESSAGE* message,
                        DWORD timeout) override;
    LONG lineInitializeExW(telephony::HLINEAPP* lineApp, HINSTANCE instance,
                           telephony::LINECALLBACK callback, telephony::LPCWSTR applicationName,
                           DWORD* deviceCount, DWORD* apiVersion,
                           telephony::LINEINITIALIZEEXPARAMS* parameters) override;
    LONG lineMonitorDigits(telephony::HCALL call, DWORD digitModes) override;
    LONG lineNegotiateAPIVersion(telephony::HLINEAPP lineApp, DWORD deviceId, DWORD lowVersion,
                                 DWORD highVersion, DWORD* apiVersion,
                                 telephony::LINEEXTENSIONID* extensionId) override;
    LONG lineOpenW(telephony::HLINEAPP lineApp, DWORD deviceId, telephony::HLINE* line,
                   DWORD apiVersion, DWORD extensionVersion, telephony::DWORD_PTR callbackInstance,
                   DWORD privileges, DWORD mediaModes,
                   telephony::LINECALLPARAMS* callParameters) override;
    LONG lineSetStatusMessages(telephony::HLINE line, DWORD lineStates,
                               DWORD addressStates) override;
    LONG lineShutdown(telephony::HLINEAPP lineApp) override;

    LONG phoneClose(telephony::HPHONE phone) override;
    LONG phoneGetDevCapsA(telephony::HPHONEAPP phoneApp, DWORD deviceId, DWORD apiVersion,
                          DWORD extensionVersion, telephony::PHONECAPS* capabilities) override;
    LONG phoneInitializeExA(telephony::HPHONEAPP* phoneApp, HINSTANCE instance,
                            telephony::PHONECALLBACK callback, telephony::LPCSTR applicationName,
                            DWORD* deviceCount, DWORD* apiVersion,
                            telephony::PHONEINITIALIZEEXPARAMS* parameters) override;
    LONG phoneNegotiateAPIVersion(telephony::HPHONEAPP phoneApp, DWORD deviceId, DWORD lowVersion,
                                  DWORD highVersion, DWORD* apiVersion,
                                  telephony::PHONEEXTENSIONID* extensionId) override;
    LONG phoneOpen(telephony::HPHONEAPP phoneApp, DWORD deviceId, telephony::HPHONE* phone,
                   DWORD apiVersion, DWORD extensionVersion, telephony::DWORD_PTR callbackInstance,
                   DWORD privilege) override;
    LONG phoneSetHookSwitch(telephony::HPHONE phone, DWORD hookSwitchDevices, DWORD mode) override;
    LONG phoneSetStatusMessages(telephony::HPHONE phone, DWORD phoneStates, DWORD buttonModes,
                                DWORD buttonStates) override;
    LONG phoneShutdown(telephony::HPHONEAPP phoneApp) override;
};

}  // namespace porthold::testing
