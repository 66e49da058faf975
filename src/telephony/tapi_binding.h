#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "telephony/library_loader.h"
#include "telephony/tapi_interface.h"

namespace porthold::platform {
class WaveDeviceProvider;
}

namespace porthold::telephony {

// The name of the telephony service library.
inline constexpr std::string_view kTapiLibraryName = "TAPI32.DLL";

// The service library's one entry point beyond the telephony ones: it hands
// the program the wave devices of the service's lines (the calls' voice
// channels). It writes up to `capacity` providers and returns how many it
// has; both sides are built from the same headers by the same compiler.
inline constexpr const char* kWaveDeviceProvidersEntry = "PortholdWaveDeviceProviders";
using WaveDeviceProvidersFunction = std::size_t (*)(platform::WaveDeviceProvider** providers,
                                                    std::size_t capacity);

// Where the program looks for the service library, in order: beside the
// running program, then wherever the dynamic linker finds it by name.
std::vector<std::string> DefaultTapiLibraryCandidates();

// The telephony operations of the service library, which the program does not
// link against: the library is loaded on the first request and each entry
// point is looked up by its name on its first use, so that the program starts
// and everything but telephony works where the service is missing. A library
// that cannot be loaded is not tried again, and an entry point that is missing
// stays missing: its operation answers LINEERR_OPERATIONUNAVAIL (the phone
// operations PHONEERR_OPERATIONUNAVAIL) at once, every time. Otherwise the
// request is passed on and the service's result returned unchanged. The
// library stays loaded until the process ends.
class TapiBinding final : public Tapi {
public:
    // The default candidates, through the system's dynamic linker.
    TapiBinding();
    // The first of `libraryCandidates` that loads is the service library.
    TapiBinding(std::vector<std::string> libraryCandidates, LibraryLoader& loader);

    TapiBinding(const TapiBinding&) = delete;
    TapiBinding& operator=(const TapiBinding&) = delete;

    LONG lineAnswer(HCALL call, LPCSTR userUserInfo, DWORD size) override;
    LONG lineClose(HLINE line) override;
    LONG lineDeallocateCall(HCALL call) override;
    LONG lineDrop(HCALL call, LPCSTR userUserInfo, DWORD size) override;
    LONG lineGetDevCapsW(HLINEAPP lineApp, DWORD deviceId, DWORD apiVersion, DWORD extensionVersion,
                         LINEDEVCAPS* capabilities) override;
    LONG lineGetIDA(HLINE line, DWORD addressId, HCALL call, DWORD select, VARSTRING* deviceId,
                    LPCSTR deviceClass) override;
    LONG lineGetLineDevStatus(HLINE line, LINEDEVSTATUS* status) override;
    LONG lineGetMessage(HLINEAPP lineApp, LINEMESSAGE* message, DWORD timeout) override;
    LONG lineInitializeExW(HLINEAPP* lineApp, HINSTANCE instance, LINECALLBACK callback,
                           LPCWSTR applicationName, DWORD* deviceCount, DWORD* apiVersion,
                           LINEINITIALIZEEXPARAMS* parameters) override;
    LONG lineMonitorDigits(HCALL call, DWORD digitModes) override;
    LONG lineNegotiateAPIVersion(HLINEAPP lineApp, DWORD deviceId, DWORD lowVersion,
                                 DWORD highVersion, DWORD* apiVersion,
                                 LINEEXTENSIONID* extensionId) override;
    LONG lineOpenW(HLINEAPP lineApp, DWORD deviceId, HLINE* line, DWORD apiVersion,
                   DWORD extensionVersion, DWORD_PTR callbackInstance, DWORD privileges,
                   DWORD mediaModes, LINECALLPARAMS* callParameters) override;
    LONG lineSetStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates) override;
    LONG lineShutdown(HLINEAPP lineApp) override;

    LONG phoneClose(HPHONE phone) override;
    LONG phoneGetDevCapsA(HPHONEAPP phoneApp, DWORD deviceId, DWORD apiVersion,
                          DWORD extensionVersion, PHONECAPS* capabilities) override;
    LONG phoneInitializeExA(HPHONEAPP* phoneApp, HINSTANCE instance, PHONECALLBACK callback,
                            LPCSTR applicationName, DWORD* deviceCount, DWORD* apiVersion,
                            PHONEINITIALIZEEXPARAMS* parameters) override;
    LONG phoneNegotiateAPIVersion(HPHONEAPP phoneApp, DWORD deviceId, DWORD lowVersion,
                                  DWORD highVersion, DWORD* apiVersion,
                                  PHONEEXTENSIONID* extensionId) override;
    LONG phoneOpen(HPHONEAPP phoneApp, DWORD deviceId, HPHONE* phone, DWORD apiVersion,
                   DWORD extensionVersion, DWORD_PTR callbackInstance, DWORD privilege) override;
    LONG phoneSetHookSwitch(HPHONE phone, DWORD hookSwitchDevices, DWORD mode) override;
    LONG phoneSetStatusMessages(HPHONE phone, DWORD phoneStates, DWORD buttonModes,
                                DWORD buttonStates) override;
    LONG phoneShutdown(HPHONEAPP phoneApp) override;

    // The wave device providers the service library hands over, for the
    // program's WaveDevices; none when the library is missing or hands none
    // over. They stay valid for the rest of the run.
    std::vector<platform::WaveDeviceProvider*> WaveDeviceProviders();

private:
    // The entry points, in the order of the slots.
    enum class Entry {
        LineAnswer,
        LineClose,
        LineDeallocateCall,
        LineDrop,
        LineGetDevCapsW,
        LineGetIDA,
        LineGetLineDevStatus,
        LineGetMessage,
        LineInitializeExW,
        LineMonitorDigits,
        LineNegotiateAPIVersion,
        LineOpenW,
        LineSetStatusMessages,
        LineShutdown,
        PhoneClose,
        PhoneGetDevCapsA,
        PhoneInitializeExA,
        PhoneNegotiateAPIVersion,
        PhoneOpen,
        PhoneSetHookSwitch,
        PhoneSetStatusMessages,
        PhoneShutdown,
        Count
    };

    enum class LibraryState { NotLoaded, Loaded, Failed };
    enum class SlotState { Unresolved, Resolved, Unavailable };

    struct Slot {
        SlotState state = SlotState::Unresolved;
        void* address = nullptr;
    };

    // The entry point's address, loading the library on the first call; null
    // when the library failed to load or does not export the name.
    void* LoadTapiEntry(const char* name);

    // The slot's address, resolving it on its first use; null when unavailable.
    void* Resolve(Entry entry);

    template <typename Function, typename... Arguments>
    LONG Forward(Entry entry, Arguments... arguments);

    DynamicLibraryLoader dynamicLinker_;
    LibraryLoader& loader_;
    std::vector<std::string> libraryCandidates_;
    LibraryState libraryState_ = LibraryState::NotLoaded;
    LibraryLoader::Library library_ = nullptr;
    std::array<Slot, static_cast<std::size_t>(Entry::Count)> slots_{};
};

}  // namespace porthold::telephony
