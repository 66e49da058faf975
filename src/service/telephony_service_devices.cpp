// What the service tells about its devices (capabilities and status), and the
// phone devices that come with the lines.

#include <array>
#include <string_view>

#include "service/service_constants.h"
#include "service/structure_builder.h"
#include "service/telephony_service.h"

namespace porthold::service {

using namespace telephony;

namespace {

// The fixed parts grew with the interface versions; an application gets the
// layout of the version it negotiated.
DWORD LineCapabilitiesSize(DWORD version) {
    if (version >= TAPI_VERSION2_0) {
        return sizeof(LINEDEVCAPS);
    }
    return version >= TAPI_VERSION1_4 ? offsetof(LINEDEVCAPS, dwSettableDevStatus)
                                      : offsetof(LINEDEVCAPS, dwLineFeatures);
}

DWORD LineStatusSize(DWORD version) {
    return version >= TAPI_VERSION2_0 ? sizeof(LINEDEVSTATUS)
                                      : offsetof(LINEDEVSTATUS, dwAvailableMediaModes);
}

DWORD PhoneCapabilitiesSize(DWORD version) {
    return version >= TAPI_VERSION2_0 ? sizeof(PHONECAPS)
                                      : offsetof(PHONECAPS, dwDeviceClassesSize);
}

bool IsSupportedVersion(DWORD version) {
    return version >= TelephonyService::kLowestVersion &&
           version <= TelephonyService::kHighestVersion;
}

// Line states the lines report.
constexpr DWORD kReportedLineStates =
    LINEDEVSTATE_OTHER | LINEDEVSTATE_RINGING | LINEDEVSTATE_CONNECTED | LINEDEVSTATE_DISCONNECTED |
    LINEDEVSTATE_INSERVICE | LINEDEVSTATE_OUTOFSERVICE | LINEDEVSTATE_OPEN | LINEDEVSTATE_CLOSE |
    LINEDEVSTATE_NUMCALLS | LINEDEVSTATE_REINIT | LINEDEVSTATE_REMOVED;

// A modem's phone device: a handset and a speaker, each with a hookswitch. A
// network line's: the computer's microphone and speaker, as a headset.
constexpr DWORD kCommonPhoneStates =
    PHONESTATE_OTHER | PHONESTATE_CONNECTED | PHONESTATE_DISCONNECTED | PHONESTATE_OWNER |
    PHONESTATE_MONITORS | PHONESTATE_REINIT | PHONESTATE_CAPSCHANGE | PHONESTATE_REMOVED;
constexpr DWORD kHeadsetModes = PHONEHOOKSWITCHMODE_ONHOOK | PHONEHOOKSWITCHMODE_MICSPEAKER;

void DescribeHookSwitches(PhoneSet phone, PHONECAPS& fixed) {
    if (phone == PhoneSet::Headset) {
        fixed.dwPhoneStates = kCommonPhoneStates | PHONESTATE_HEADSETHOOKSWITCH;
        fixed.dwHookSwitchDevs = PHONEHOOKSWITCHDEV_HEADSET;
        fixed.dwHeadsetHookSwitchModes = kHeadsetModes;
        fixed.dwSettableHeadsetHookSwitchModes = kHeadsetModes;
        fixed.dwMonitoredHeadsetHookSwitchModes = kHeadsetModes;
        return;
    }
    fixed.dwPhoneStates =
        kCommonPhoneStates | PHONESTATE_HANDSETHOOKSWITCH | PHONESTATE_SPEAKERHOOKSWITCH;
    fixed.dwHookSwitchDevs = PHONEHOOKSWITCHDEV_HANDSET | PHONEHOOKSWITCHDEV_SPEAKER;
    fixed.dwHandsetHookSwitchModes = PHONEHOOKSWITCHMODE_ONHOOK | PHONEHOOKSWITCHMODE_MICSPEAKER;
    fixed.dwSpeakerHookSwitchModes =
        PHONEHOOKSWITCHMODE_ONHOOK | PHONEHOOKSWITCHMODE_SPEAKER | PHONEHOOKSWITCHMODE_MICSPEAKER;
    fixed.dwMonitoredHandsetHookSwitchModes = fixed.dwHandsetHookSwitchModes;
    fixed.dwMonitoredSpeakerHookSwitchModes = fixed.dwSpeakerHookSwitchModes;
}

constexpr std::array<std::string_view, 4> kLineDeviceClasses = {"tapi/line", "tapi/phone",
                                                                "wave/in", "wave/out"};
constexpr std::array<std::string_view, 3> kPhoneDeviceClasses = {"tapi/phone", "wave/in",
                                                                 "wave/out"};

}  // namespace

LONG TelephonyService::lineGetDevCapsW(HLINEAPP lineApp, DWORD deviceId, DWORD apiVersion,
                                       DWORD extensionVersion, LINEDEVCAPS* capabilities) {
    const std::lock_guard lock(mutex_);
    if (lineApps_.find(lineApp) == lineApps_.end()) {
        return LINEERR_INVALAPPHANDLE;
    }
    if (deviceId >= lines_.size()) {
        return LINEERR_BADDEVICEID;
    }
    if (!IsSupportedVersion(apiVersion)) {
        return LINEERR_INCOMPATIBLEAPIVERSION;
    }
    if (extensionVersion != 0) {
        return LINEERR_INCOMPATIBLEEXTVERSION;
    }
    if (capabilities == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    const LineProvider& provider = *lines_[deviceId].provider;
    LINEDEVCAPS fixed{};
    fixed.dwPermanentLineID = deviceId + 1;
    fixed.dwStringFormat = STRINGFORMAT_UNICODE;
    fixed.dwAddressModes = LINEADDRESSMODE_ADDRESSID;
    fixed.dwNumAddresses = 1;
    fixed.dwBearerModes = LINEBEARERMODE_VOICE;
    fixed.dwMediaModes = provider.MediaModes();
    fixed.dwMonitorDigitModes = kAllDigitModes;
    fixed.dwMaxNumActiveCalls = 1;
    fixed.dwAnswerMode = LINEANSWERMODE_NONE;
    fixed.dwRingModes = 1;
    fixed.dwLineStates = kReportedLineStates;
    StructureBuilder answer(&fixed, LineCapabilitiesSize(apiVersion));
    answer.AddVariablePart(offsetof(LINEDEVCAPS, dwProviderInfoSize),
                           offsetof(LINEDEVCAPS, dwProviderInfoOffset),
                           WideStringBytes(provider.ProviderInfo()));
    answer.AddVariablePart(offsetof(LINEDEVCAPS, dwLineNameSize),
                           offsetof(LINEDEVCAPS, dwLineNameOffset),
                           WideStringBytes(provider.DeviceName()));
    answer.AddVariablePart(offsetof(LINEDEVCAPS, dwDeviceClassesSize),
                           offsetof(LINEDEVCAPS, dwDeviceClassesOffset),
                           WideStringListBytes(kLineDeviceClasses));
    return answer.WriteTo(capabilities, LINEERR_STRUCTURETOOSMALL);
}

LONG TelephonyService::lineGetLineDevStatus(HLINE line, LINEDEVSTATUS* status) {
    const std::lock_guard lock(mutex_);
    const auto found = lineOpens_.find(line);
    if (found == lineOpens_.end()) {
        return LINEERR_INVALLINEHANDLE;
    }
    if (status == nullptr) {
        return LINEERR_INVALPOINTER;
    }
    const DWORD device = found->second.device;
    LINEDEVSTATUS fixed{};
    for (const auto& [handle, open] : lineOpens_) {
        if (open.device == device) {
            ++fixed.dwNumOpens;
            fixed.dwOpenMediaModes |= open.mediaModes;
        }
    }
    fixed.dwNumActiveCalls = ActiveCallCount(device);
    fixed.dwRingMode = 1;
    fixed.dwSignalLevel = 0xFFFF;
    fixed.dwBatteryLevel = 0xFFFF;
    fixed.dwRoamMode = LINEROAMMODE_UNAVAIL;
    fixed.dwDevStatusFlags = LINEDEVSTATUSFLAGS_CONNECTED;
    if (lines_[device].service == LineService::InService) {
        fixed.dwDevStatusFlags |= LINEDEVSTATUSFLAGS_INSERVICE;
    }
    fixed.dwAvailableMediaModes = lines_[device].provider->MediaModes();
    const StructureBuilder answer(&fixed, LineStatusSize(found->second.apiVersion));
    return answer.WriteTo(status, LINEERR_STRUCTURETOOSMALL);
}

// ---------------------------------------------------------------------------
// Phone devices.

LONG TelephonyService::phoneInitializeExA(HPHONEAPP* phoneApp, HINSTANCE /*instance*/,
                                          PHONECALLBACK /*callback*/, LPCSTR /*applicationName*/,
                                          DWORD* deviceCount, DWORD* apiVersion,
                                          PHONEINITIALIZEEXPARAMS* parameters) {
    if (phoneApp == nullptr || deviceCount == nullptr || apiVersion == nullptr ||
        parameters == nullptr) {
        return PHONEERR_INVALPOINTER;
    }
    if (TotalSizeOf(parameters) < sizeof(PHONEINITIALIZEEXPARAMS)) {
        return AnswerTooSmall(parameters, sizeof(PHONEINITIALIZEEXPARAMS),
                              PHONEERR_STRUCTURETOOSMALL);
    }
    if (!IsSupportedVersion(*apiVersion)) {
        return PHONEERR_INCOMPATIBLEAPIVERSION;
    }
    if (parameters->dwOptions != PHONEINITIALIZEEXOPTION_USEEVENT) {
        return PHONEERR_INVALPARAM;
    }
    const std::lock_guard lock(mutex_);
    const HPHONEAPP handle = NewHandle();
    phoneApps_.emplace(handle, *apiVersion);
    *phoneApp = handle;
    *deviceCount = static_cast<DWORD>(PhoneDeviceCount());
    *apiVersion = kHighestVersion;
    parameters->dwNeededSize = sizeof(PHONEINITIALIZEEXPARAMS);
    parameters->dwUsedSize = sizeof(PHONEINITIALIZEEXPARAMS);
    parameters->Handles.hEvent = NewHandle();
    return 0;
}

LONG TelephonyService::phoneNegotiateAPIVersion(HPHONEAPP phoneApp, DWORD deviceId,
                                                DWORD lowVersion, DWORD highVersion,
                                                DWORD* apiVersion, PHONEEXTENSIONID* extensionId) {
    const std::lock_guard lock(mutex_);
    if (phoneApps_.find(phoneApp) == phoneApps_.end()) {
        return PHONEERR_INVALAPPHANDLE;
    }
    if (deviceId >= PhoneDeviceCount()) {
        return PHONEERR_BADDEVICEID;
    }
    if (apiVersion == nullptr || extensionId == nullptr) {
        return PHONEERR_INVALPOINTER;
    }
    if (lowVersion > highVersion || highVersion < kLowestVersion || lowVersion > kHighestVersion) {
        return PHONEERR_INCOMPATIBLEAPIVERSION;
    }
    *apiVersion = std::min(highVersion, kHighestVersion);
    *extensionId = PHONEEXTENSIONID{};
    return 0;
}

LONG TelephonyService::phoneGetDevCapsA(HPHONEAPP phoneApp, DWORD deviceId, DWORD apiVersion,
                                        DWORD extensionVersion, PHONECAPS* capabilities) {
    const std::lock_guard lock(mutex_);
    if (phoneApps_.find(phoneApp) == phoneApps_.end()) {
        return PHONEERR_INVALAPPHANDLE;
    }
    if (deviceId >= PhoneDeviceCount()) {
        return PHONEERR_BADDEVICEID;
    }
    if (!IsSupportedVersion(apiVersion)) {
        return PHONEERR_INCOMPATIBLEAPIVERSION;
    }
    if (extensionVersion != 0) {
        return PHONEERR_INCOMPATIBLEEXTVERSION;
    }
    if (capabilities == nullptr) {
        return PHONEERR_INVALPOINTER;
    }
    const LineProvider& provider = *lines_[LineOfPhoneDevice(deviceId)].provider;
    PHONECAPS fixed{};
    fixed.dwPermanentPhoneID = deviceId + 1;
    fixed.dwStringFormat = STRINGFORMAT_ASCII;
    DescribeHookSwitches(provider.Phone(), fixed);
    StructureBuilder answer(&fixed, PhoneCapabilitiesSize(apiVersion));
    answer.AddVariablePart(offsetof(PHONECAPS, dwProviderInfoSize),
                           offsetof(PHONECAPS, dwProviderInfoOffset),
                           NarrowStringBytes(provider.ProviderInfo()));
    answer.AddVariablePart(offsetof(PHONECAPS, dwPhoneNameSize),
                           offsetof(PHONECAPS, dwPhoneNameOffset),
                           NarrowStringBytes(provider.DeviceName()));
    answer.AddVariablePart(offsetof(PHONECAPS, dwDeviceClassesSize),
                           offsetof(PHONECAPS, dwDeviceClassesOffset),
                           NarrowStringListBytes(kPhoneDeviceClasses));
    return answer.WriteTo(capabilities, PHONEERR_STRUCTURETOOSMALL);
}

LONG TelephonyService::phoneOpen(HPHONEAPP phoneApp, DWORD deviceId, HPHONE* phone,
                                 DWORD apiVersion, DWORD extensionVersion,
                                 DWORD_PTR /*callbackInstance*/, DWORD privilege) {
    const std::lock_guard lock(mutex_);
    if (phoneApps_.find(phoneApp) == phoneApps_.end()) {
        return PHONEERR_INVALAPPHANDLE;
    }
    if (deviceId >= PhoneDeviceCount()) {
        return PHONEERR_BADDEVICEID;
    }
    if (phone == nullptr) {
        return PHONEERR_INVALPOINTER;
    }
    if (!IsSupportedVersion(apiVersion)) {
        return PHONEERR_INCOMPATIBLEAPIVERSION;
    }
    if (extensionVersion != 0) {
        return PHONEERR_INCOMPATIBLEEXTVERSION;
    }
    if (privilege != PHONEPRIVILEGE_OWNER && privilege != PHONEPRIVILEGE_MONITOR) {
        return PHONEERR_INVALPRIVILEGE;
    }
    // A phone device has one owner at a time.
    if (privilege == PHONEPRIVILEGE_OWNER) {
        for (const auto& [handle, open] : phoneOpens_) {
            if (open.device == deviceId && open.privilege == PHONEPRIVILEGE_OWNER) {
                return PHONEERR_INUSE;
            }
        }
    }
    const HPHONE handle = NewHandle();
    phoneOpens_.emplace(handle, PhoneOpen{phoneApp, deviceId, privilege});
    *phone = handle;
    return 0;
}

// Only a headset is switched by the service: a modem's handset is lifted by the
// user's hand. Completes at once rather than with a PHONE_REPLY, which nobody
// reads.
LONG TelephonyService::phoneSetHookSwitch(HPHONE phone, DWORD hookSwitchDevices, DWORD mode) {
    const std::lock_guard lock(mutex_);
    const auto found = phoneOpens_.find(phone);
    if (found == phoneOpens_.end()) {
        return PHONEERR_INVALPHONEHANDLE;
    }
    if (found->second.privilege != PHONEPRIVILEGE_OWNER) {
        return PHONEERR_NOTOWNER;
    }
    LineProvider& provider = *lines_[LineOfPhoneDevice(found->second.device)].provider;
    if (provider.Phone() != PhoneSet::Headset) {
        return PHONEERR_OPERATIONUNAVAIL;
    }
    if (hookSwitchDevices != PHONEHOOKSWITCHDEV_HEADSET) {
        return PHONEERR_INVALHOOKSWITCHDEV;
    }
    if (mode != PHONEHOOKSWITCHMODE_ONHOOK && mode != PHONEHOOKSWITCHMODE_MICSPEAKER) {
        return PHONEERR_INVALHOOKSWITCHMODE;
    }
    const HookSwitch state =
        mode == PHONEHOOKSWITCHMODE_MICSPEAKER ? HookSwitch::OffHook : HookSwitch::OnHook;
    return provider.SetHeadset(state) ? 0 : PHONEERR_OPERATIONFAILED;
}

LONG TelephonyService::phoneSetStatusMessages(HPHONE phone, DWORD phoneStates,
                                              DWORD /*buttonModes*/, DWORD /*buttonStates*/) {
    const std::lock_guard lock(mutex_);
    const auto found = phoneOpens_.find(phone);
    if (found == phoneOpens_.end()) {
        return PHONEERR_INVALPHONEHANDLE;
    }
    if ((phoneStates & ~kAllPhoneStates) != 0) {
        return PHONEERR_INVALPHONESTATE;
    }
    found->second.phoneStates = phoneStates;
    return 0;
}

LONG TelephonyService::phoneClose(HPHONE phone) {
    const std::lock_guard lock(mutex_);
    return phoneOpens_.erase(phone) == 0 ? PHONEERR_INVALPHONEHANDLE : 0;
}

LONG TelephonyService::phoneShutdown(HPHONEAPP phoneApp) {
    const std::lock_guard lock(mutex_);
    if (phoneApps_.erase(phoneApp) == 0) {
        return PHONEERR_INVALAPPHANDLE;
    }
    std::erase_if(phoneOpens_, [&](const auto& entry) { return entry.second.app == phoneApp; });
    return 0;
}

}  // namespace porthold::service
