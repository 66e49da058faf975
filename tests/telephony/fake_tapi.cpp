#include "fake_tapi.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "variable_size.h"

namespace porthold::testing {

namespace {

using namespace telephony;

constexpr std::size_t kNeededSizeOffset = offsetof(VARSTRING, dwNeededSize);

bool Overlaps(const FakeLineDevice& device, DWORD low, DWORD high) {
    return low <= device.highestVersion && high >= device.lowestVersion;
}

// Line and phone initialisation are recorded alike.
template <typename Parameters>
void RecordInitialize(FakeTapi& service, const char* name, HINSTANCE instance, DWORD version,
                      const Parameters* parameters) {
    service.calls.emplace_back(name);
    service.instances.push_back(instance);
    service.initializeVersions.push_back(version);
    service.initializeParameterSizes.push_back(TotalSize(parameters));
    service.initializeParameterOptions.push_back(
        TotalSize(parameters) >= sizeof(*parameters) ? parameters->dwOptions : 0);
}

}  // namespace

LONG FakeTapi::lineInitializeExW(HLINEAPP* lineApp, HINSTANCE instance, LINECALLBACK callback,
                                 LPCWSTR applicationName, DWORD* deviceCount, DWORD* apiVersion,
                                 LINEINITIALIZEEXPARAMS* parameters) {
    RecordInitialize(*this, "lineInitializeExW", instance, *apiVersion, parameters);
    if (callback != nullptr || applicationName != nullptr) {
        return LINEERR_INVALPARAM;
    }
    if (!HasRoom(parameters, initializeParametersSize)) {
        return LINEERR_STRUCTURETOOSMALL;
    }
    if (initializeError != 0) {
        return initializeError;
    }
    if (*apiVersion > highestApiVersion) {
        return LINEERR_INCOMPATIBLEAPIVERSION;
    }
    *lineApp = kLineApp;
    *deviceCount = static_cast<DWORD>(lineDevices.size());
    return 0;
}

LONG FakeTapi::lineNegotiateAPIVersion(HLINEAPP lineApp, DWORD deviceId, DWORD lowVersion,
                                       DWORD highVersion, DWORD* apiVersion,
                                       LINEEXTENSIONID* extensionId) {
    calls.emplace_back("lineNegotiateAPIVersion");
    lineNegotiations.push_back({deviceId, lowVersion, highVersion});
    if (lineApp != kLineApp || extensionId == nullptr) {
        return LINEERR_INVALAPPHANDLE;
    }
    if (deviceId >= lineDevices.size()) {
        return LINEERR_BADDEVICEID;
    }
    const FakeLineDevice& device = lineDevices[deviceId];
    if (device.negotiationError != 0) {
        return device.negotiationError;
    }
    if (!Overlaps(device, lowVersion, highVersion)) {
        return LINEERR_INCOMPATIBLEAPIVERSION;
    }
    *apiVersion = std::min(highVersion, device.highestVersion);
    *extensionId = {};
    return 0;
}

LONG FakeTapi::lineGetDevCapsW(HLINEAPP lineApp, DWORD deviceId, DWORD apiVersion,
                               DWORD extensionVersion, LINEDEVCAPS* capabilities) {
    calls.emplace_back("lineGetDevCapsW");
    lineCapabilitiesRequests.push_back({deviceId, apiVersion, TotalSize(capabilities)});
    if (lineApp != kLineApp || extensionVersion != 0) {
        return LINEERR_INVALPARAM;
    }
    if (deviceId >= lineDevices.size()) {
        return LINEERR_BADDEVICEID;
    }
    const FakeLineDevice& device = lineDevices[deviceId];
    if (device.capabilitiesError != 0) {
        return device.capabilitiesError;
    }
    if (!HasRoom(capabilities, capabilitiesSize)) {
        return LINEERR_STRUCTURETOOSMALL;
    }
    Put(capabilities, kNeededSizeOffset, capabilitiesSize);
    Put(capabilities, offsetof(LINEDEVCAPS, dwUsedSize), sizeof(LINEDEVCAPS));
    Put(capabilities, offsetof(LINEDEVCAPS, dwMediaModes), device.mediaModes);
    return 0;
}

LONG FakeTapi::lineOpenW(HLINEAPP lineApp, DWORD deviceId, HLINE* line, DWORD apiVersion,
                         DWORD extensionVersion, DWORD_PTR callbackInstance, DWORD privileges,
                         DWORD mediaModes, LINECALLPARAMS* callParameters) {
    calls.emplace_back("lineOpenW");
    lineOpens.push_back({deviceId, apiVersion, extensionVersion, callbackInstance, privileges,
                         mediaModes, callParameters != nullptr});
    if (lineApp != kLineApp) {
        return LINEERR_INVALAPPHANDLE;
    }
    if (deviceId >= lineDevices.size()) {
        return LINEERR_BADDEVICEID;
    }
    if (openError != 0) {
        return openError;
    }
    *line = kFirstLineHandle + deviceId;
    return 0;
}

LONG FakeTapi::lineSetStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates) {
    calls.emplace_back("lineSetStatusMessages");
    lineStatusMessages.push_back({line, lineStates, addressStates, 0});
    return statusMessagesError;
}

LONG FakeTapi::lineGetLineDevStatus(HLINE line, LINEDEVSTATUS* status) {
    calls.emplace_back("lineGetLineDevStatus");
    lineStatusSizes.push_back(TotalSize(status));
    if (lineStatusError != 0) {
        return lineStatusError;
    }
    if (line < kFirstLineHandle || line >= kFirstLineHandle + lineDevices.size()) {
        return LINEERR_INVALLINEHANDLE;
    }
    if (!HasRoom(status, sizeof(LINEDEVSTATUS))) {
        return LINEERR_STRUCTURETOOSMALL;
    }
    status->dwNeededSize = lineStatusNeededSize;
    status->dwUsedSize = sizeof(LINEDEVSTATUS);
    status->dwNumOpens = 1;
    return 0;
}

// The engine's requests; its own tests script them.
LONG FakeTapi::lineAnswer(HCALL, LPCSTR, DWORD) {
    calls.emplace_back("lineAnswer");
    return LINEERR_OPERATIONUNAVAIL;
}

LONG FakeTapi::lineClose(HLINE) {
    calls.emplace_back("lineClose");
    return LINEERR_OPERATIONUNAVAIL;
}

LONG FakeTapi::lineDeallocateCall(HCALL) {
    calls.emplace_back("lineDeallocateCall");
    return LINEERR_OPERATIONUNAVAIL;
}

LONG FakeTapi::lineDrop(HCALL, LPCSTR, DWORD) {
    calls.emplace_back("lineDrop");
    return LINEERR_OPERATIONUNAVAIL;
}

LONG FakeTapi::lineGetIDA(HLINE, DWORD, HCALL, DWORD, VARSTRING*, LPCSTR) {
    calls.emplace_back("lineGetIDA");
    return LINEERR_OPERATIONUNAVAIL;
}

LONG FakeTapi::lineGetMessage(HLINEAPP, LINEMESSAGE*, DWORD) {
    calls.emplace_back("lineGetMessage");
    return LINEERR_OPERATIONUNAVAIL;
}

LONG FakeTapi::lineMonitorDigits(HCALL, DWORD) {
    calls.emplace_back("lineMonitorDigits");
    return LINEERR_OPERATIONUNAVAIL;
}

LONG FakeTapi::lineShutdown(HLINEAPP) {
    calls.emplace_back("lineShutdown");
    return LINEERR_OPERATIONUNAVAIL;
}

LONG FakeTapi::phoneInitializeExA(HPHONEAPP* phoneApp, HINSTANCE instance, PHONECALLBACK callback,
                                  LPCSTR applicationName, DWORD* deviceCount, DWORD* apiVersion,
                                  PHONEINITIALIZEEXPARAMS* parameters) {
    if (phoneEntriesMissing) {
        return PHONEERR_OPERATIONUNAVAIL;
    }
    RecordInitialize(*this, "phoneInitializeExA", instance, *apiVersion, parameters);
    if (callback != nullptr || applicationName != nullptr) {
        return PHONEERR_INVALPARAM;
    }
    if (!HasRoom(parameters, phoneInitializeParametersSize)) {
        return PHONEERR_STRUCTURETOOSMALL;
    }
    if (phoneInitializeError != 0) {
        return phoneInitializeError;
    }
    *phoneApp = kPhoneApp;
    *deviceCount = static_cast<DWORD>(phoneDevices.size());
    return 0;
}

LONG FakeTapi::phoneNegotiateAPIVersion(HPHONEAPP phoneApp, DWORD deviceId, DWORD lowVersion,
                                        DWORD highVersion, DWORD* apiVersion,
                                        PHONEEXTENSIONID* extensionId) {
    if (phoneEntriesMissing) {
        return PHONEERR_OPERATIONUNAVAIL;
    }
    calls.emplace_back("phoneNegotiateAPIVersion");
    phoneNegotiations.push_back({deviceId, lowVersion, highVersion});
    if (phoneApp != kPhoneApp || extensionId == nullptr) {
        return PHONEERR_INVALAPPHANDLE;
    }
    if (deviceId >= phoneDevices.size()) {
        return PHONEERR_BADDEVICEID;
    }
    *apiVersion = highVersion;
    *extensionId = {};
    return 0;
}

LONG FakeTapi::phoneGetDevCapsA(HPHONEAPP phoneApp, DWORD deviceId, DWORD apiVersion,
                                DWORD extensionVersion, PHONECAPS* capabilities) {
    if (phoneEntriesMissing) {
        return PHONEERR_OPERATIONUNAVAIL;
    }
    calls.emplace_back("phoneGetDevCapsA");
    phoneCapabilitiesRequests.push_back({deviceId, apiVersion, TotalSize(capabilities)});
    if (phoneApp != kPhoneApp || extensionVersion != 0) {
        return PHONEERR_INVALPARAM;
    }
    if (deviceId >= phoneDevices.size()) {
        return PHONEERR_BADDEVICEID;
    }
    if (!HasRoom(capabilities, phoneCapabilitiesSize)) {
        return PHONEERR_STRUCTURETOOSMALL;
    }
    Put(capabilities, kNeededSizeOffset, phoneCapabilitiesSize);
    Put(capabilities, offsetof(PHONECAPS, dwUsedSize), sizeof(PHONECAPS));
    Put(capabilities, offsetof(PHONECAPS, dwPhoneStates), phoneDevices[deviceId].phoneStates);
    return 0;
}

LONG FakeTapi::phoneOpen(HPHONEAPP phoneApp, DWORD deviceId, HPHONE* phone, DWORD apiVersion,
                         DWORD extensionVersion, DWORD_PTR callbackInstance, DWORD privilege) {
    if (phoneEntriesMissing) {
        return PHONEERR_OPERATIONUNAVAIL;
    }
    calls.emplace_back("phoneOpen");
    phoneOpens.push_back(
        {deviceId, apiVersion, extensionVersion, callbackInstance, privilege, 0, false});
    if (phoneApp != kPhoneApp) {
        return PHONEERR_INVALAPPHANDLE;
    }
    if (deviceId >= phoneDevices.size()) {
        return PHONEERR_BADDEVICEID;
    }
    if (phoneOpenError != 0) {
        return phoneOpenError;
    }
    *phone = kFirstPhoneHandle + deviceId;
    return 0;
}

LONG FakeTapi::phoneSetStatusMessages(HPHONE phone, DWORD phoneStates, DWORD buttonModes,
                                      DWORD buttonStates) {
    if (phoneEntriesMissing) {
        return PHONEERR_OPERATIONUNAVAIL;
    }
    calls.emplace_back("phoneSetStatusMessages");
    phoneStatusMessages.push_back({phone, phoneStates, buttonModes, buttonStates});
    return 0;
}

LONG FakeTapi::phoneSetHookSwitch(HPHONE, DWORD, DWORD) {
    if (phoneEntriesMissing) {
        return PHONEERR_OPERATIONUNAVAIL;
    }
    calls.emplace_back("phoneSetHookSwitch");
    return 0;
}

LONG FakeTapi::phoneClose(HPHONE) {
    if (phoneEntriesMissing) {
        return PHONEERR_OPERATIONUNAVAIL;
    }
    calls.emplace_back("phoneClose");
    return 0;
}

LONG FakeTapi::phoneShutdown(HPHONEAPP) {
    if (phoneEntriesMissing) {
        return PHONEERR_OPERATIONUNAVAIL;
    }
    calls.emplace_back("phoneShutdown");
    return 0;
}

}  // namespace porthold::testing
