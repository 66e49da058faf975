#include "telephony/line_initializer.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "telephony/line_error.h"

namespace porthold::telephony {

namespace {

// Variable-size structures start small and grow by a fixed step while the
// service answers that they are too small; only their fixed parts are read.
constexpr DWORD kInitialStructureSize = 32;
constexpr DWORD kStructureGrowth = 32;
// No structure the program asks for comes near this; a service that keeps
// answering "too small" beyond it is broken, and its answer is taken as a
// failure instead of growing the buffer until memory runs out.
constexpr DWORD kLargestStructureSize = 0x10000;
constexpr DWORD kLineStatusInitialSize = 4096;

// The versions line initialisation offers, best first.
constexpr std::array<DWORD, 4> kLineApiVersions = {TAPI_VERSION2_1, TAPI_VERSION2_0,
                                                   TAPI_VERSION1_4, TAPI_VERSION1_0};

struct VersionRange {
    DWORD low;
    DWORD high;
};

// The version ranges negotiated per line device, widest first; the last try
// accepts version 1.3 only.
constexpr std::array<VersionRange, 4> kLineNegotiationRanges = {{
    {TAPI_VERSION1_4, TAPI_VERSION2_1},
    {TAPI_VERSION1_4, TAPI_VERSION2_0},
    {TAPI_VERSION1_4, TAPI_VERSION1_4},
    {TAPI_VERSION1_0, TAPI_VERSION1_0},
}};

constexpr VersionRange kPhoneNegotiationRange = {TAPI_VERSION1_4, TAPI_VERSION2_0};

constexpr DWORD kVoiceModemMediaModes = LINEMEDIAMODE_AUTOMATEDVOICE | LINEMEDIAMODE_DATAMODEM;
constexpr DWORD kHookSwitchStates =
    PHONESTATE_HANDSETHOOKSWITCH | PHONESTATE_SPEAKERHOOKSWITCH | PHONESTATE_HEADSETHOOKSWITCH;

bool CanGrow(const TapiBuffer& buffer) {
    return buffer.Size() + kStructureGrowth <= kLargestStructureSize;
}

// Makes `request` with `buffer`, growing the buffer and repeating while the
// answer is `tooSmall`.
template <typename Request>
LONG RequestGrowing(TapiBuffer& buffer, LONG tooSmall, Request request) {
    for (;;) {
        const LONG result = request();
        if (result != tooSmall || !CanGrow(buffer)) {
            return result;
        }
        buffer.Resize(buffer.Size() + kStructureGrowth);
    }
}

}  // namespace

LineInitializer::LineInitializer(Tapi& tapi, TelephonyHandles& handles, StatusLine& statusLine,
                                 platform::MessageBoxes& messageBoxes, config::ErrorLog& errorLog,
                                 HINSTANCE instance)
    : tapi_(tapi),
      handles_(handles),
      statusLine_(statusLine),
      messageBoxes_(messageBoxes),
      errorLog_(errorLog),
      instance_(instance) {}

bool LineInitializer::LineInit() {
    statusLine_.SetStatus(" Initializing Modem...");

    DWORD deviceCount = 0;
    DWORD version = 0;
    if (!InitializeLineApplication(deviceCount, version)) {
        return false;
    }

    // With no line devices nothing is examined and device 0 is opened with the
    // version the initialisation left, which the service then refuses.
    DWORD chosenDevice = 0;
    for (DWORD device = 0; device < deviceCount; ++device) {
        DWORD negotiated = 0;
        if (NegotiateLineVersion(device, negotiated) && IsVoiceModem(device, negotiated)) {
            chosenDevice = device;
            version = negotiated;
            break;
        }
        if (device + 1 == deviceCount) {
            messageBoxes_.Show("No voice modem detected.", platform::kMessageBoxCaption,
                               platform::MessageBoxButtons::Ok, platform::MessageBoxIcon::Stop);
            errorLog_.LogError("LineInit: No voice modem detected.");
            return false;
        }
    }

    if (!OpenLine(chosenDevice, version)) {
        return false;
    }
    // Without status messages no ring is reported, but the line is open and
    // owned; the failure is logged for the user to find and start-up goes on.
    const LONG result =
        tapi_.lineSetStatusMessages(handles_.lineHandle, kReportedLineStates, /*addressStates=*/0);
    if (result < 0) {
        LogLineError(errorLog_, result, "LineInit: lineSetStatusMessages");
    }
    QueryLineStatus();
    return true;
}

bool LineInitializer::InitializeLineApplication(DWORD& deviceCount, DWORD& version) {
    TapiBuffer parameters(kInitialStructureSize);
    // The service signals through an event rather than a callback; the engine
    // polls for messages instead of waiting on it.
    parameters.SetField(offsetof(LINEINITIALIZEEXPARAMS, dwOptions),
                        LINEINITIALIZEEXOPTION_USEEVENT);

    std::size_t step = 0;
    for (;;) {
        version = kLineApiVersions[step];
        const LONG result = tapi_.lineInitializeExW(
            &handles_.lineApp, instance_, /*callback=*/nullptr, /*applicationName=*/nullptr,
            &deviceCount, &version, parameters.As<LINEINITIALIZEEXPARAMS>());
        if (result == LINEERR_STRUCTURETOOSMALL && CanGrow(parameters)) {
            parameters.Resize(parameters.Size() + kStructureGrowth);
            continue;
        }
        if (result == LINEERR_INCOMPATIBLEAPIVERSION && step + 1 < kLineApiVersions.size()) {
            ++step;
            continue;
        }
        if (result < 0) {
            LogLineError(errorLog_, result, "LineInit: lineInitializeEx");
            return false;
        }
        // The union's members all start where it starts.
        handles_.lineEvent = parameters.Field(offsetof(LINEINITIALIZEEXPARAMS, Handles));
        return true;
    }
}

bool LineInitializer::NegotiateLineVersion(DWORD device, DWORD& version) {
    LONG result = 0;
    for (const VersionRange& range : kLineNegotiationRanges) {
        LINEEXTENSIONID extensionId{};
        result = tapi_.lineNegotiateAPIVersion(handles_.lineApp, device, range.low, range.high,
                                               &version, &extensionId);
        if (result >= 0) {
            return true;
        }
        if (result != LINEERR_INCOMPATIBLEAPIVERSION) {
            break;
        }
    }
    LogLineError(errorLog_, result, "LineInit: lineNegotiateAPIVersion");
    return false;
}

bool LineInitializer::IsVoiceModem(DWORD device, DWORD version) {
    // A fresh buffer per device, so that a device whose capabilities cannot be
    // read is never judged by the previous device's.
    TapiBuffer capabilities(kInitialStructureSize);
    const LONG result = RequestGrowing(capabilities, LINEERR_STRUCTURETOOSMALL, [&] {
        return tapi_.lineGetDevCapsW(handles_.lineApp, device, version, /*extensionVersion=*/0,
                                     capabilities.As<LINEDEVCAPS>());
    });
    if (result < 0) {
        LogLineError(errorLog_, result, "LineInit: lineGetDevCaps");
    }
    // After a failure the buffer is judged as it is: a media-mode field the
    // service did not fill, or that the buffer does not reach, reads as none.
    const DWORD mediaModes = capabilities.Field(offsetof(LINEDEVCAPS, dwMediaModes));
    return (mediaModes & kVoiceModemMediaModes) == kVoiceModemMediaModes;
}

bool LineInitializer::OpenLine(DWORD device, DWORD version) {
    const LONG result = tapi_.lineOpenW(
        handles_.lineApp, device, &handles_.lineHandle, version, /*extensionVersion=*/0,
        /*callbackInstance=*/0, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_AUTOMATEDVOICE,
        /*callParameters=*/nullptr);
    if (result < 0) {
        LogLineError(errorLog_, result, "LineInit: lineOpen");
        return false;
    }
    return true;
}

void LineInitializer::QueryLineStatus() {
    TapiBuffer& status = handles_.lineStatus;
    status = TapiBuffer(kLineStatusInitialSize);
    const LONG result = tapi_.lineGetLineDevStatus(handles_.lineHandle, status.As<LINEDEVSTATUS>());
    if (result != 0) {
        LogLineError(errorLog_, result, "LineInit: lineGetLineDevStatus");
    }
    // The engine's polls hand the service the size it asked for. A failed query
    // leaves no needed size, and the engine reads the fixed part on every tick,
    // so the buffer never shrinks below it; nor does it grow without bound.
    const DWORD needed = status.Field(offsetof(LINEDEVSTATUS, dwNeededSize));
    status.Resize(std::clamp<DWORD>(needed, sizeof(LINEDEVSTATUS), kLargestStructureSize));
}

bool LineInitializer::InitPhone() {
    statusLine_.SetStatus(" Initializing Phone...");

    DWORD deviceCount = 0;
    DWORD version = TAPI_VERSION2_0;
    if (!InitializePhoneApplication(deviceCount, version)) {
        return false;
    }

    // With no phone devices, device 0 is tried.
    DWORD chosenDevice = 0;
    DWORD chosenHookSwitchDevices = 0;
    for (DWORD device = 0; device < deviceCount; ++device) {
        NegotiatePhoneVersion(device, version);
        if (HasHookSwitch(device, version, chosenHookSwitchDevices)) {
            chosenDevice = device;
            break;
        }
        if (device + 1 == deviceCount) {
            return false;
        }
    }
    NegotiatePhoneVersion(chosenDevice, version);

    if (tapi_.phoneOpen(handles_.phoneApp, chosenDevice, &handles_.phoneHandle, version,
                        /*extensionVersion=*/0, /*callbackInstance=*/0, PHONEPRIVILEGE_OWNER) < 0) {
        return false;
    }
    handles_.phoneHookSwitchDevices = chosenHookSwitchDevices;
    tapi_.phoneSetStatusMessages(handles_.phoneHandle, kReportedPhoneStates, /*buttonModes=*/0,
                                 /*buttonStates=*/0);
    return true;
}

bool LineInitializer::InitializePhoneApplication(DWORD& deviceCount, DWORD& version) {
    TapiBuffer parameters(kInitialStructureSize);
    parameters.SetField(offsetof(PHONEINITIALIZEEXPARAMS, dwOptions),
                        PHONEINITIALIZEEXOPTION_USEEVENT);
    const LONG result = RequestGrowing(parameters, PHONEERR_STRUCTURETOOSMALL, [&] {
        return tapi_.phoneInitializeExA(&handles_.phoneApp, instance_, /*callback=*/nullptr,
                                        /*applicationName=*/nullptr, &deviceCount, &version,
                                        parameters.As<PHONEINITIALIZEEXPARAMS>());
    });
    return result >= 0;
}

void LineInitializer::NegotiatePhoneVersion(DWORD device, DWORD& version) {
    // Not examined: a refused negotiation shows in the requests that follow.
    PHONEEXTENSIONID extensionId{};
    tapi_.phoneNegotiateAPIVersion(handles_.phoneApp, device, kPhoneNegotiationRange.low,
                                   kPhoneNegotiationRange.high, &version, &extensionId);
}

bool LineInitializer::HasHookSwitch(DWORD device, DWORD version, DWORD& hookSwitchDevices) {
    TapiBuffer capabilities(kInitialStructureSize);
    RequestGrowing(capabilities, PHONEERR_STRUCTURETOOSMALL, [&] {
        return tapi_.phoneGetDevCapsA(handles_.phoneApp, device, version, /*extensionVersion=*/0,
                                      capabilities.As<PHONECAPS>());
    });
    hookSwitchDevices = capabilities.Field(offsetof(PHONECAPS, dwHookSwitchDevs));
    return (capabilities.Field(offsetof(PHONECAPS, dwPhoneStates)) & kHookSwitchStates) != 0;
}

}  // namespace porthold::telephony
