#include "telephony/tapi_binding.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

namespace porthold::telephony {

namespace {

struct EntryDescription {
    const char* name;
    LONG unavailableCode;
};

// Indexed by TapiBinding::Entry. The names are the exported names, A and W
// endings included.
constexpr std::array<EntryDescription, 22> kEntries = {{
    {"lineAnswer", LINEERR_OPERATIONUNAVAIL},
    {"lineClose", LINEERR_OPERATIONUNAVAIL},
    {"lineDeallocateCall", LINEERR_OPERATIONUNAVAIL},
    {"lineDrop", LINEERR_OPERATIONUNAVAIL},
    {"lineGetDevCapsW", LINEERR_OPERATIONUNAVAIL},
    {"lineGetIDA", LINEERR_OPERATIONUNAVAIL},
    {"lineGetLineDevStatus", LINEERR_OPERATIONUNAVAIL},
    {"lineGetMessage", LINEERR_OPERATIONUNAVAIL},
    {"lineInitializeExW", LINEERR_OPERATIONUNAVAIL},
    {"lineMonitorDigits", LINEERR_OPERATIONUNAVAIL},
    {"lineNegotiateAPIVersion", LINEERR_OPERATIONUNAVAIL},
    {"lineOpenW", LINEERR_OPERATIONUNAVAIL},
    {"lineSetStatusMessages", LINEERR_OPERATIONUNAVAIL},
    {"lineShutdown", LINEERR_OPERATIONUNAVAIL},
    {"phoneClose", PHONEERR_OPERATIONUNAVAIL},
    {"phoneGetDevCapsA", PHONEERR_OPERATIONUNAVAIL},
    {"phoneInitializeExA", PHONEERR_OPERATIONUNAVAIL},
    {"phoneNegotiateAPIVersion", PHONEERR_OPERATIONUNAVAIL},
    {"phoneOpen", PHONEERR_OPERATIONUNAVAIL},
    {"phoneSetHookSwitch", PHONEERR_OPERATIONUNAVAIL},
    {"phoneSetStatusMessages", PHONEERR_OPERATIONUNAVAIL},
    {"phoneShutdown", PHONEERR_OPERATIONUNAVAIL},
}};

}  // namespace

std::vector<std::string> DefaultTapiLibraryCandidates() {
    std::vector<std::string> candidates;
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        candidates.push_back((program.parent_path() / kTapiLibraryName).string());
    }
    candidates.emplace_back(kTapiLibraryName);
    return candidates;
}

TapiBinding::TapiBinding() : TapiBinding(DefaultTapiLibraryCandidates(), dynamicLinker_) {}

TapiBinding::TapiBinding(std::vector<std::string> libraryCandidates, LibraryLoader& loader)
    : loader_(loader), libraryCandidates_(std::move(libraryCandidates)) {
    static_assert(kEntries.size() == static_cast<std::size_t>(Entry::Count));
}

void* TapiBinding::LoadTapiEntry(const char* name) {
    if (libraryState_ == LibraryState::NotLoaded) {
        libraryState_ = LibraryState::Failed;
        for (const std::string& candidate : libraryCandidates_) {
            library_ = loader_.Open(candidate);
            if (library_ != nullptr) {
                libraryState_ = LibraryState::Loaded;
                break;
            }
        }
    }
    if (libraryState_ != LibraryState::Loaded) {
        return nullptr;
    }
    return loader_.FindEntry(library_, name);
}

void* TapiBinding::Resolve(Entry entry) {
    Slot& slot = slots_[static_cast<std::size_t>(entry)];
    if (slot.state == SlotState::Unresolved) {
        slot.address = LoadTapiEntry(kEntries[static_cast<std::size_t>(entry)].name);
        slot.state = slot.address != nullptr ? SlotState::Resolved : SlotState::Unavailable;
    }
    return slot.address;
}

template <typename Function, typename... Arguments>
LONG TapiBinding::Forward(Entry entry, Arguments... arguments) {
    void* address = Resolve(entry);
    if (address == nullptr) {
        return kEntries[static_cast<std::size_t>(entry)].unavailableCode;
    }
    return reinterpret_cast<Function>(address)(arguments...);
}

LONG TapiBinding::lineAnswer(HCALL call, LPCSTR userUserInfo, DWORD size) {
    return Forward<LineAnswerFunction>(Entry::LineAnswer, call, userUserInfo, size);
}

LONG TapiBinding::lineClose(HLINE line) {
    return Forward<LineCloseFunction>(Entry::LineClose, line);
}

LONG TapiBinding::lineDeallocateCall(HCALL call) {
    return Forward<LineDeallocateCallFunction>(Entry::LineDeallocateCall, call);
}

LONG TapiBinding::lineDrop(HCALL call, LPCSTR userUserInfo, DWORD size) {
    return Forward<LineDropFunction>(Entry::LineDrop, call, userUserInfo, size);
}

LONG TapiBinding::lineGetDevCapsW(HLINEAPP lineApp, DWORD deviceId, DWORD apiVersion,
                                  DWORD extensionVersion, LINEDEVCAPS* capabilities) {
    return Forward<LineGetDevCapsWFunction>(Entry::LineGetDevCapsW, lineApp, deviceId, apiVersion,
                                            extensionVersion, capabilities);
}

LONG TapiBinding::lineGetIDA(HLINE line, DWORD addressId, HCALL call, DWORD select,
                             VARSTRING* deviceId, LPCSTR deviceClass) {
    return Forward<LineGetIDAFunction>(Entry::LineGetIDA, line, addressId, call, select, deviceId,
                                       deviceClass);
}

LONG TapiBinding::lineGetLineDevStatus(HLINE line, LINEDEVSTATUS* status) {
    return Forward<LineGetLineDevStatusFunction>(Entry::LineGetLineDevStatus, line, status);
}

LONG TapiBinding::lineGetMessage(HLINEAPP lineApp, LINEMESSAGE* message, DWORD timeout) {
    return Forward<LineGetMessageFunction>(Entry::LineGetMessage, lineApp, message, timeout);
}

LONG TapiBinding::lineInitializeExW(HLINEAPP* lineApp, HINSTANCE instance, LINECALLBACK callback,
                                    LPCWSTR applicationName, DWORD* deviceCount, DWORD* apiVersion,
                                    LINEINITIALIZEEXPARAMS* parameters) {
    return Forward<LineInitializeExWFunction>(Entry::LineInitializeExW, lineApp, instance, callback,
                                              applicationName, deviceCount, apiVersion, parameters);
}

LONG TapiBinding::lineMonitorDigits(HCALL call, DWORD digitModes) {
    return Forward<LineMonitorDigitsFunction>(Entry::LineMonitorDigits, call, digitModes);
}

LONG TapiBinding::lineNegotiateAPIVersion(HLINEAPP lineApp, DWORD deviceId, DWORD lowVersion,
                                          DWORD highVersion, DWORD* apiVersion,
                                          LINEEXTENSIONID* extensionId) {
    return Forward<LineNegotiateAPIVersionFunction>(Entry::LineNegotiateAPIVersion, lineApp,
                                                    deviceId, lowVersion, highVersion, apiVersion,
                                                    extensionId);
}

LONG TapiBinding::lineOpenW(HLINEAPP lineApp, DWORD deviceId, HLINE* line, DWORD apiVersion,
                            DWORD extensionVersion, DWORD_PTR callbackInstance, DWORD privileges,
                            DWORD mediaModes, LINECALLPARAMS* callParameters) {
    return Forward<LineOpenWFunction>(Entry::LineOpenW, lineApp, deviceId, line, apiVersion,
                                      extensionVersion, callbackInstance, privileges, mediaModes,
                                      callParameters);
}

LONG TapiBinding::lineSetStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates) {
    return Forward<LineSetStatusMessagesFunction>(Entry::LineSetStatusMessages, line, lineStates,
                                                  addressStates);
}

LONG TapiBinding::lineShutdown(HLINEAPP lineApp) {
    return Forward<LineShutdownFunction>(Entry::LineShutdown, lineApp);
}

LONG TapiBinding::phoneClose(HPHONE phone) {
    return Forward<PhoneCloseFunction>(Entry::PhoneClose, phone);
}

LONG TapiBinding::phoneGetDevCapsA(HPHONEAPP phoneApp, DWORD deviceId, DWORD apiVersion,
                                   DWORD extensionVersion, PHONECAPS* capabilities) {
    return Forward<PhoneGetDevCapsAFunction>(Entry::PhoneGetDevCapsA, phoneApp, deviceId,
                                             apiVersion, extensionVersion, capabilities);
}

LONG TapiBinding::phoneInitializeExA(HPHONEAPP* phoneApp, HINSTANCE instance,
                                     PHONECALLBACK callback, LPCSTR applicationName,
                                     DWORD* deviceCount, DWORD* apiVersion,
                                     PHONEINITIALIZEEXPARAMS* parameters) {
    return Forward<PhoneInitializeExAFunction>(Entry::PhoneInitializeExA, phoneApp, instance,
                                               callback, applicationName, deviceCount, apiVersion,
                                               parameters);
}

LONG TapiBinding::phoneNegotiateAPIVersion(HPHONEAPP phoneApp, DWORD deviceId, DWORD lowVersion,
                                           DWORD highVersion, DWORD* apiVersion,
                                           PHONEEXTENSIONID* extensionId) {
    return Forward<PhoneNegotiateAPIVersionFunction>(Entry::PhoneNegotiateAPIVersion, phoneApp,
                                                     deviceId, lowVersion, highVersion, apiVersion,
                                                     extensionId);
}

LONG TapiBinding::phoneOpen(HPHONEAPP phoneApp, DWORD deviceId, HPHONE* phone, DWORD apiVersion,
                            DWORD extensionVersion, DWORD_PTR callbackInstance, DWORD privilege) {
    return Forward<PhoneOpenFunction>(Entry::PhoneOpen, phoneApp, deviceId, phone, apiVersion,
                                      extensionVersion, callbackInstance, privilege);
}

LONG TapiBinding::phoneSetHookSwitch(HPHONE phone, DWORD hookSwitchDevices, DWORD mode) {
    return Forward<PhoneSetHookSwitchFunction>(Entry::PhoneSetHookSwitch, phone, hookSwitchDevices,
                                               mode);
}

LONG TapiBinding::phoneSetStatusMessages(HPHONE phone, DWORD phoneStates, DWORD buttonModes,
                                         DWORD buttonStates) {
    return Forward<PhoneSetStatusMessagesFunction>(Entry::PhoneSetStatusMessages, phone,
                                                   phoneStates, buttonModes, buttonStates);
}

LONG TapiBinding::phoneShutdown(HPHONEAPP phoneApp) {
    return Forward<PhoneShutdownFunction>(Entry::PhoneShutdown, phoneApp);
}

std::vector<platform::WaveDeviceProvider*> TapiBinding::WaveDeviceProviders() {
    void* address = LoadTapiEntry(kWaveDeviceProvidersEntry);
    if (address == nullptr) {
        return {};
    }
    const auto handOver = reinterpret_cast<WaveDeviceProvidersFunction>(address);
    std::vector<platform::WaveDeviceProvider*> providers(handOver(nullptr, 0));
    providers.resize(std::min(providers.size(), handOver(providers.data(), providers.size())));
    return providers;
}

}  // namespace porthold::telephony
